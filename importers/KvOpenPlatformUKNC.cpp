#include "importers/KvOpenPlatformUKNC.h"

#include <vector>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformUKNC.h"

void TKvPcxRunReader::Init(const TKvBytes& AData) {
  Data = AData;
  Offset = 0;
  RunValue = 0;
  RunCount = 0;
}

uint8_t TKvPcxRunReader::ReadByte() {
  if (RunCount == 0) {
    if (!Data.Has(Offset, 1)) RaiseCorruptData();
    const uint8_t b = Data.U8(Offset++);
    if (b < 0xC0) return b;
    RunCount = b & 0x3F;
    if (RunCount == 0 || !Data.Has(Offset, 1)) RaiseCorruptData();
    RunValue = Data.U8(Offset++);
  }
  --RunCount;
  return RunValue;
}

namespace KvOpenPlatformUKNC {

TKvUKNCEngine::TKvUKNCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FHeader(ASource.GetBytes().Sub(0, UkncPcxHeaderSize)),
      FData(ASource.GetBytes().Sub(UkncPcxHeaderSize)) {
  Width = FHeader.Le16(8) - FHeader.Le16(4) + 1;
  Height = FHeader.Le16(10) - FHeader.Le16(6) + 1;
  Bits = 3;
  Description = "UKNC" + GetSizeText() + " image";
  PixelAspect = 7;  // "2:3"
}

TKvMatchFlags TKvUKNCEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() <= UkncPcxHeaderSize) return 0;
  if (!CheckUkncPcxHeader(file.Sub(0, UkncPcxHeaderSize))) return 0;
  return ASource.GetExtension() == ".pcx" ? mfHeader | mfExtension : mfHeader;
}

std::unique_ptr<TKvBitmap> TKvUKNCEngine::Decode() {
  Palette->Clear();
  for (int i = 0; i < 8; ++i) {
    const int t = 16 + 3 * i;
    Palette->AddRGB(FHeader.U8(t + 1), FHeader.U8(t), FHeader.U8(t + 2));  // each triple is green, red, blue
  }
  const int B = FHeader.Le16(66);
  std::vector<uint8_t> LLines(static_cast<size_t>(3) * B);
  TKvPcxRunReader LReader;
  LReader.Init(FData);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) {
    for (uint8_t& b : LLines) b = LReader.ReadByte();
    for (int x = 0; x < Width; ++x) {
      const uint8_t LMask = static_cast<uint8_t>(1 << (x & 7));
      int v = 0;
      for (int p = 0; p < 3; ++p)
        if (LLines[static_cast<size_t>(p) * B + x / 8] & LMask) v |= 1 << p;
      LBitmap->SetPixel(x, y, v);
    }
  }
  return LBitmap;
}

}  // namespace KvOpenPlatformUKNC

void InitKvOpenPlatformUKNC() { RegisterSourceEngine(SourceEngineClass<KvOpenPlatformUKNC::TKvUKNCEngine>()); }
