#include "importers/KvOpenPlatformElectronikaMS0515.h"

#include "core/KvBitmap.h"

namespace KvOpenPlatformElectronikaMS0515 {

namespace {
constexpr int32_t kFileSize = 16000;

TKvMatchFlags SizeFlags(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() != kFileSize) return 0;
  return ASource.GetExtension() == ".scr" ? mfSize | mfExtension : mfSize;
}
}  // namespace

TKvMS0515Engine::TKvMS0515Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kFileSize)) {
  Width = 320;
  Height = 200;
  Bits = 4;
  Description = "Elektronika MC 0515" + GetSizeText() + " image";
}

TKvMatchFlags TKvMS0515Engine::Match(TKvLoadSource& ASource) { return SizeFlags(ASource); }

std::unique_ptr<TKvBitmap> TKvMS0515Engine::Decode() {
  SetZxSpectrumPalette(0xBC);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  int64_t p = 0;
  for (int y = 0; y < Height; ++y)
    for (int cx = 0; cx < 40; ++cx, p += 2) {
      int LPaper = 0, LInk = 0;
      DecodeZxAttribute(FData.U8(p + 1), LPaper, LInk);
      PutInkPaperByte(LBitmap.get(), FData.U8(p), LPaper, LInk, cx, y, 8);
    }
  return LBitmap;
}

TKvMS0515BWEngine::TKvMS0515BWEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kFileSize)) {
  Width = 640;
  Height = 200;
  Bits = 1;
  PixelAspect = 1;  // "1:2"
  Description = "Elektronika MC 0515" + GetSizeText() + " B/W image";
}

TKvMatchFlags TKvMS0515BWEngine::Match(TKvLoadSource& ASource) { return SizeFlags(ASource); }

std::unique_ptr<TKvBitmap> TKvMS0515BWEngine::Decode() {
  SetMonoPalette(false);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) ReadBytes(LBitmap->GetScanline(y), FData.Row(y * 80, 80));
  return LBitmap;
}

}  // namespace KvOpenPlatformElectronikaMS0515

void InitKvOpenPlatformElectronikaMS0515() {
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformElectronikaMS0515::TKvMS0515Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformElectronikaMS0515::TKvMS0515BWEngine>());
}
