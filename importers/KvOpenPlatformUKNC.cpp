#include "importers/KvOpenPlatformUKNC.h"

#include <vector>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformUKNC.h"
#include "shell/noxShellBaseExtension.h"

void TKvPcxRunReader::Init(const uint8_t* AData, int64_t ASize) {
  Data = AData;
  Left = ASize;
  RunValue = 0;
  RunCount = 0;
}

uint8_t TKvPcxRunReader::ReadByte() {
  if (RunCount == 0) {
    if (Left <= 0) RaiseOSError(13);
    const uint8_t b = *Data++;
    --Left;
    if (b < 0xC0) return b;
    RunCount = b & 0x3F;
    if (RunCount == 0 || Left <= 0) RaiseOSError(13);
    RunValue = *Data++;
    --Left;
  }
  --RunCount;
  return RunValue;
}

namespace KvOpenPlatformUKNC {

TKvUKNCEngine::TKvUKNCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FHeader(ASource.GetData()),
      FData(ASource.GetData() + UkncPcxHeaderSize),
      FDataSize(ASource.GetSize() - UkncPcxHeaderSize) {
  Width = UkncPcxWord(FHeader, 8) - UkncPcxWord(FHeader, 4) + 1;
  Height = UkncPcxWord(FHeader, 10) - UkncPcxWord(FHeader, 6) + 1;
  Bits = 3;
  Description = "UKNC" + GetSizeText() + " image";
  PixelAspect = 7;  // "2:3"
}

TKvMatchFlags TKvUKNCEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= UkncPcxHeaderSize || !ASource.GetData()) return 0;
  if (!CheckUkncPcxHeader(ASource.GetData())) return 0;
  return ASource.GetExtension() == ".pcx" ? mfHeader | mfExtension : mfHeader;
}

std::unique_ptr<TKvBitmap> TKvUKNCEngine::Decode() {
  Palette->Clear();
  for (int i = 0; i < 8; ++i) {
    const uint8_t* t = FHeader + 16 + 3 * i;
    Palette->AddRGB(t[1], t[0], t[2]);  // each triple is green, red, blue
  }
  const int B = UkncPcxWord(FHeader, 66);
  std::vector<uint8_t> LLines(static_cast<size_t>(3) * B);
  TKvPcxRunReader LReader;
  LReader.Init(FData, FDataSize);
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
