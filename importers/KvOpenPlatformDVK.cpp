#include "importers/KvOpenPlatformDVK.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformDVK.h"

TKvDVKEngine::TKvDVKEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvBytes file = ASource.GetBytes();
  Width = file.Le16(0);
  Height = file.Le16(2);
  FPixels = file.Sub(4, DvkRowSize(Width) * Height);
  FPalette = file.Sub(file.Size() - DvkPaletteBlockSize, DvkPaletteBlockSize);
  Bits = 4;
  Description = "DVK KCGD" + GetSizeText() + " image";
  PaletteTypes = {ptColoredLinear, ptColoredEMUStudio};
  PaletteType = ptColoredEMUStudio;
}

TKvMatchFlags TKvDVKEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() <= 20) return 0;
  if (!CheckDvkPicHeader(file)) return 0;
  if (!CheckDvkPaletteBytes(file.Sub(file.Size() - DvkPaletteBlockSize))) return 0;
  return ASource.GetExtension() == ".pic" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvDVKEngine::Decode() {
  TKvPalette256 LCodes;
  BuildDvkPalette(PaletteType, LCodes);
  Palette->Clear();
  for (int i = 0; i < DvkPaletteBlockSize; ++i) Palette->AddStdRGB(LCodes.GetStdRGB(FPalette.U8(i)));
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int64_t R = DvkRowSize(Width);
  for (int j = 0; j < Height; ++j) {
    const int64_t row = static_cast<int64_t>(Height - 1 - j) * R;
    uint16_t w = 0;
    for (int x = 0; x < Width; ++x) {
      if ((x & 3) == 0) w = FPixels.Le16(row + x / 2);
      LBitmap->SetPixel(x, j, w >> 12);
      w = static_cast<uint16_t>(w << 4);
    }
  }
  return LBitmap;
}

void InitKvOpenPlatformDVK() { RegisterSourceEngine(SourceEngineClass<TKvDVKEngine>()); }
