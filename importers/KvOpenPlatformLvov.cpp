#include "importers/KvOpenPlatformLvov.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformLvov.h"

namespace KvOpenPlatformLvov {

TKvLvovEngine::TKvLvovEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()) {
  const int64_t LSize = FData.Size();
  Width = LSize == 11251 ? 200 : 256;
  Height = LSize == 11251 ? 225 : 256;
  Bits = 2;
  PixelAspect = 14;  // "7:5"
  // A bare screen of 16384 bytes carries no port byte: the machine's usual 15.
  FPortByte = LSize == 16384 ? 15 : FData.U8(LSize - 1);
  Description = "Lvov" + GetSizeText() + " palette " + std::to_string(FPortByte) + " image";
}

TKvMatchFlags TKvLvovEngine::Match(TKvLoadSource& ASource) {
  const int64_t s = ASource.GetBytes().Size();
  if (s != 11251 && s != 16384 && s != 16385) return 0;
  return ASource.GetExtension() == ".lvs" ? mfSize | mfExtension : mfSize;
}

std::unique_ptr<TKvBitmap> TKvLvovEngine::Decode() {
  TKvStdRGBColor c[4];
  DecodeLvovPortColors(c, FPortByte, false);
  LoadLvovPalette(c, *Palette);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int LRow = Width / 4;
  for (int y = 0; y < Height; ++y)
    for (int j = 0; j < LRow; ++j) {
      const uint8_t b = FData.U8(y * LRow + j);
      for (int i = 0; i < 4; ++i) LBitmap->SetPixel(4 * j + i, y, ((b >> (7 - i)) & 1) * 2 + ((b >> (3 - i)) & 1));
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformLvov

void InitKvOpenPlatformLvov() { RegisterSourceEngine(SourceEngineClass<KvOpenPlatformLvov::TKvLvovEngine>()); }
