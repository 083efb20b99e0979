#include "importers/KvOpenPlatformBBCMicro.h"

#include "core/KvBitmap.h"
#include "platforms/KvSavePlatformBBCMicro.h"

namespace KvOpenPlatformBBCMicro {

namespace {

struct TBbcMode {
  int Size;
  const char* Extension1;
  const char* Extension2;
  int Width, Bits;
  uint8_t PixelAspect;
};

const TBbcMode& ModeOf(int AMode) {
  static const TBbcMode LModes[6] = {
      {BbcLargeScreenSize, ".bb0", ".as0", 640, 1, 1},  {BbcLargeScreenSize, ".bb1", ".as1", 320, 2, 10},
      {BbcLargeScreenSize, ".bb2", ".as2", 160, 3, 17}, {0, "", "", 0, 0, 0},
      {BbcSmallScreenSize, ".bb4", ".as4", 320, 1, 10}, {BbcSmallScreenSize, ".bb5", ".as5", 160, 2, 17},
  };
  return LModes[AMode];
}

}  // namespace

TKvBBCMicroEngine::TKvBBCMicroEngine(TKvLoadSource& ASource, int AMode)
    : TKvSourceEngine(ASource), FMode(AMode), FData(ASource.GetBytes().Sub(0, ModeOf(AMode).Size)) {
  const TBbcMode& m = ModeOf(AMode);
  Width = m.Width;
  Height = 256;
  Bits = m.Bits;
  PixelAspect = m.PixelAspect;
  Description = "BBC Micro" + GetSizeText() + " Mode " + std::to_string(AMode) + " image";
}

TKvMatchFlags TKvBBCMicroEngine::MatchMode(TKvLoadSource& ASource, int AMode) {
  const TBbcMode& m = ModeOf(AMode);
  if (ASource.GetBytes().Size() != m.Size) return 0;
  const std::string LExt = ASource.GetExtension();
  return LExt == m.Extension1 || LExt == m.Extension2 ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvBBCMicroEngine::Decode() {
  const int LCells = FMode <= 2 ? 80 : 40;
  std::unique_ptr<TKvBitmap> LBitmap;
  switch (FMode) {
    case 0:
      SetMonoPalette(false);
      break;
    case 4:
      BuildBbcTwoColourPalette(*Palette);
      break;
    case 2:
      Palette->FillBGR8();
      break;
    default:
      BuildBbcFourColourPalette(*Palette);
      break;
  }
  ColorCount = Palette->Count;
  if (FMode == 0 || FMode == 4)
    LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  // Exactly the file's size: 32 character rows of LCells cells of 8 bytes.
  int64_t p = 0;
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < LCells; ++c)
      for (int k = 0; k < 8; ++k) {
        const uint8_t b = FData.U8(p++);
        const int y = 8 * r + k;
        switch (FMode) {
          case 0:
          case 4:
            LBitmap->GetScanline(y)[c] = b;
            break;
          case 2:
            for (int i = 0; i < 2; ++i)
              LBitmap->SetPixel(2 * c + i, y,
                                ((b >> (5 - i)) & 1) * 4 + ((b >> (3 - i)) & 1) * 2 + ((b >> (1 - i)) & 1));
            break;
          default:
            for (int i = 0; i < 4; ++i) LBitmap->SetPixel(4 * c + i, y, ((b >> (7 - i)) & 1) * 2 + ((b >> (3 - i)) & 1));
            break;
        }
      }
  return LBitmap;
}

}  // namespace KvOpenPlatformBBCMicro

void InitKvOpenPlatformBBCMicro() {
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformBBCMicro::TKvBBCMicro0Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformBBCMicro::TKvBBCMicro1Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformBBCMicro::TKvBBCMicro2Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformBBCMicro::TKvBBCMicro4Engine>());
  RegisterSourceEngine(SourceEngineClass<KvOpenPlatformBBCMicro::TKvBBCMicro5Engine>());
}
