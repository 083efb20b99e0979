#include "importers/KvOpenPlatformPMD85.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformPMD85.h"

namespace KvOpenPlatformPMD85 {

TKvPMD85Engine::TKvPMD85Engine(TKvLoadSource& ASource, TKvPaletteType AType)
    : TKvSourceEngine(ASource), FData(ASource.GetBytes().Sub(0, PMD85FileSize)) {
  Width = 288;
  Height = 256;
  Bits = 2;
  PaletteType = AType;
  Description = "PMD 85" + GetSizeText() + " " + PaletteTypeNames[AType] + " image";
}

TKvMatchFlags TKvPMD85Engine::MatchExtension(TKvLoadSource& ASource, const char* AExtension) {
  if (ASource.GetBytes().Size() != PMD85FileSize) return 0;
  return ASource.GetExtension() == AExtension ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvPMD85Engine::Decode() {
  BuildPMD85Palette(nullptr, *Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 256; ++y)
    for (int j = 0; j < 48; ++j) {
      const uint8_t b = FData.U8(y * 64 + j);
      int LIndex = (b >> 6) + 1;
      // "Standard" has two colours: attributes 2 and 3 repeat 0 and 1.
      if (LIndex >= Palette->Count) LIndex -= 2;
      for (int k = 0; k < 6; ++k) LBitmap->SetPixel(j * 6 + k, y, (b >> k) & 1 ? LIndex : 0);
    }
  return LBitmap;
}

TKvPMD85HEngine::TKvPMD85HEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, PMD85FileSize)) {
  Width = 288;
  Height = 256;
  Bits = 3;
  PaletteType = ptPMD85H;
  Description = "PMD 85" + GetSizeText() + " " + PaletteTypeNames[ptPMD85H] + " image";
}

TKvMatchFlags TKvPMD85HEngine::Match(TKvLoadSource& ASource) {
  return TKvPMD85Engine::MatchExtension(ASource, ".85h");
}

std::unique_ptr<TKvBitmap> TKvPMD85HEngine::Decode() {
  BuildPMD85ColorAcePalette(*Palette);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int i = 0; i < 128; ++i)
    for (int j = 0; j < 48; ++j) {
      const uint8_t e = FData.U8(2 * i * 64 + j);
      const uint8_t o = FData.U8((2 * i + 1) * 64 + j);
      const int c = DecodeColorAceColor(e, o);
      for (int k = 0; k < 6; ++k) {
        LBitmap->SetPixel(j * 6 + k, 2 * i, (e >> k) & 1 ? c : 0);
        LBitmap->SetPixel(j * 6 + k, 2 * i + 1, (o >> k) & 1 ? c : 0);
      }
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformPMD85

void InitKvOpenPlatformPMD85() {
  using namespace KvOpenPlatformPMD85;
  RegisterSourceEngine(SourceEngineClass<TKvPMD85AEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvPMD85BEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvPMD85CEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvPMD85DEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvPMD85EEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvPMD85FEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvPMD85HEngine>());
}
