#include "importers/KvOpenPlatformDVK.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformDVK.h"

TKvDVKEngine::TKvDVKEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FPixels(ASource.GetData() + 4),
      FPalette(ASource.GetData() + ASource.GetSize() - DvkPaletteBlockSize) {
  const uint8_t* d = ASource.GetData();
  Width = d[0] | (d[1] << 8);
  Height = d[2] | (d[3] << 8);
  Bits = 4;
  Description = "DVK KCGD" + GetSizeText() + " image";
  PaletteTypes = {ptColoredLinear, ptColoredEMUStudio};
  PaletteType = ptColoredEMUStudio;
}

TKvMatchFlags TKvDVKEngine::Match(TKvLoadSource& ASource) {
  const int64_t LSize = ASource.GetSize();
  if (LSize <= 20 || !ASource.GetData()) return 0;
  if (!CheckDvkPicHeader(ASource.GetData(), LSize)) return 0;
  if (!CheckDvkPaletteBytes(ASource.GetData() + LSize - DvkPaletteBlockSize)) return 0;
  return ASource.GetExtension() == ".pic" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvDVKEngine::Decode() {
  TKvPalette256 LCodes;
  BuildDvkPalette(PaletteType, LCodes);
  Palette->Clear();
  for (int i = 0; i < DvkPaletteBlockSize; ++i) Palette->AddStdRGB(LCodes.GetStdRGB(FPalette[i]));
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int64_t R = DvkRowSize(Width);
  for (int j = 0; j < Height; ++j) {
    const uint8_t* p = FPixels + static_cast<int64_t>(Height - 1 - j) * R;
    uint16_t w = 0;
    for (int x = 0; x < Width; ++x) {
      if ((x & 3) == 0) {
        w = static_cast<uint16_t>(p[0] | (p[1] << 8));
        p += 2;
      }
      LBitmap->SetPixel(x, j, w >> 12);
      w = static_cast<uint16_t>(w << 4);
    }
  }
  return LBitmap;
}

void InitKvOpenPlatformDVK() { RegisterSourceEngine(SourceEngineClass<TKvDVKEngine>()); }
