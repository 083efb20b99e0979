#include "importers/KvOpenPlatformPC8000.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformPC8000.h"

TKvPC8000SourceEngine::TKvPC8000SourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(PC8000HeaderSize, PC8000FileSize - PC8000HeaderSize)) {
  Width = 256;
  Height = 192;
  Bits = 4;
  PaletteTypes = {ptColoredLinear, ptColoredDDp};
  PaletteType = ptColoredLinear;
  Description = "PC8000" + GetSizeText() + " image";
}

TKvMatchFlags TKvPC8000SourceEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != PC8000FileSize || !CheckPC8000Header(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".vm2" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvPC8000SourceEngine::Decode() {
  BuildPC8000Palette(*Palette, PaletteType, 11);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < 192; ++y)
    for (int c = 0; c < 32; ++c) {
      const int o = PC8000Offset(c, y);
      const uint8_t a = FData.U8(o + PC8000PlaneSize);
      PutInkPaperByte(LBitmap.get(), FData.U8(o), a >> 4, a & 15, c, y, 8);
    }
  return LBitmap;
}

void InitKvOpenPlatformPC8000() { RegisterSourceEngine(SourceEngineClass<TKvPC8000SourceEngine>()); }
