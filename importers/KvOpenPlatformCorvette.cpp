#include "importers/KvOpenPlatformCorvette.h"

#include <vector>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformCorvette.h"

// ---------------------------------------------------------------------------
// Base

TKvBaseCorvetteEngine::TKvBaseCorvetteEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource) {
  PaletteType = ptColoredLinear;
  PaletteTypes = {ptColoredLinear, ptColoredEMU};
  PixelAspect = 7;  // "2:3"
}

std::unique_ptr<TKvBitmap> TKvBaseCorvetteEngine::DecodePlanes(const uint8_t* AData, int64_t ADataSize,
                                                               bool AWinOrder) {
  BuildCorvettePalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int64_t B = CorvettePlaneRowSize(Width);
  const int64_t LPlane = B * Height;
  const int LWeights[3] = {1, AWinOrder ? 2 : 4, AWinOrder ? 4 : 2};
  auto at = [&](int64_t AOffset) -> uint8_t { return AOffset < ADataSize ? AData[AOffset] : 0; };
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const int64_t o = y * B + x / 8;
      const int LBit = 7 - (x & 7);
      int v = 0;
      for (int p = 0; p < 3; ++p)
        if ((at(p * LPlane + o) >> LBit) & 1) v += LWeights[p];
      LBitmap->SetPixel(x, y, v);
    }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// ".grf"

namespace {

struct TKvCorvetteBitReader {
  const uint8_t* P;
  int64_t Left;
  uint8_t Mask = 128;

  bool ReadBit(int& ABit) {
    if (Mask == 0) {
      ++P;
      --Left;
      Mask = 128;
    }
    if (Left <= 0) return false;
    ABit = (*P & Mask) ? 1 : 0;
    Mask = static_cast<uint8_t>(Mask >> 1);
    return true;
  }
  bool ReadBits(int ACount, int& AValue) {
    AValue = 0;
    for (int i = 0; i < ACount; ++i) {
      int b = 0;
      if (!ReadBit(b)) return false;
      AValue = (AValue << 1) | b;
    }
    return true;
  }
};

}  // namespace

bool DecodeCorvetteGrfData(const uint8_t* AData, int64_t ASize, uint8_t* AOut) {
  TKvCorvetteBitReader R{AData, ASize};
  for (int k = 0; k < CorvetteGrfBlockCount; ++k) {
    uint8_t* LBlock = AOut + k * CorvetteGrfBlockSize;
    int LCode = 0, v = 0;
    if (!R.ReadBits(3, LCode)) return false;
    switch (LCode) {
      case 0:
        for (int i = 0; i < CorvetteGrfBlockSize; ++i) {
          if (!R.ReadBits(8, v)) return false;
          LBlock[i] = static_cast<uint8_t>(v);
        }
        break;
      case 1:
        if (!R.ReadBit(v)) return false;
        for (int i = 0; i < CorvetteGrfBlockSize; ++i) LBlock[i] = v ? 0xFF : 0x00;
        break;
      case 2:
        if (!R.ReadBits(8, v)) return false;
        for (int i = 0; i < CorvetteGrfBlockSize; ++i) LBlock[i] = static_cast<uint8_t>(v);
        break;
      case 3: {
        int M = 0;
        if (!R.ReadBits(8, M)) return false;
        for (int i = 0; i < CorvetteGrfBlockSize; ++i) {
          int LFlag = 0;
          if (!R.ReadBit(LFlag)) return false;
          if (LFlag) {
            if (!R.ReadBits(8, v)) return false;
            LBlock[i] = static_cast<uint8_t>(v);
          } else {
            LBlock[i] = static_cast<uint8_t>(M);
          }
        }
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

TKvCorvetteGrfEngine::TKvCorvetteGrfEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FData(ASource.GetData() + CorvetteHeaderSize),
      FDataSize(ASource.GetSize() - CorvetteHeaderSize) {
  Width = CorvetteWidth;
  Height = CorvetteHeight;
  Bits = 3;
  Description = "Corvette" + GetSizeText() + " image";
}

TKvMatchFlags TKvCorvetteGrfEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= CorvetteHeaderSize || !CheckCorvetteGrfHeader(ASource.GetData(), ASource.GetSize()))
    return 0;
  return ASource.GetExtension() == ".grf" ? mfHeader | mfExtension : mfHeader;
}

std::unique_ptr<TKvBitmap> TKvCorvetteGrfEngine::Decode() {
  // A damaged or short file keeps the blocks decoded before the damage and
  // shows black after them.
  std::vector<uint8_t> LPlanes(static_cast<size_t>(CorvettePicSize), 0);
  DecodeCorvetteGrfData(FData, FDataSize, LPlanes.data());
  return DecodePlanes(LPlanes.data(), CorvettePicSize, false);
}

// ---------------------------------------------------------------------------
// ".pic"

TKvCorvettePicEngine::TKvCorvettePicEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Width = CorvetteWidth;
  Height = CorvetteHeight;
  Bits = 3;
  Description = "Corvette" + GetSizeText() + " image";
}

TKvMatchFlags TKvCorvettePicEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != CorvettePicSize || !ASource.GetData()) return 0;
  return ASource.GetExtension() == ".pic" ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvCorvettePicEngine::Decode() { return DecodePlanes(FData, CorvettePicSize, false); }

// ---------------------------------------------------------------------------
// ".win"

TKvCorvetteWinEngine::TKvCorvetteWinEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FData(ASource.GetData() + CorvetteWinHeaderSize),
      FDataSize(ASource.GetSize() - CorvetteWinHeaderSize) {
  const uint8_t* d = ASource.GetData();
  Width = (d[6] | (d[7] << 8)) + 1;
  Height = d[8] + 1;
  Bits = 3;
  Description = "Corvette" + GetSizeText() + " image";
}

TKvMatchFlags TKvCorvetteWinEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= CorvetteWinHeaderSize || !CheckCorvetteWinHeader(ASource.GetData(), ASource.GetSize()))
    return 0;
  return ASource.GetExtension() == ".win" ? mfHeader | mfExtension : mfHeader;
}

std::unique_ptr<TKvBitmap> TKvCorvetteWinEngine::Decode() {
  // A file shorter than its size says shows its missing bytes as 0.
  return DecodePlanes(FData, FDataSize, true);
}

void InitKvOpenPlatformCorvette() {
  RegisterSourceEngine(SourceEngineClass<TKvCorvetteGrfEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvCorvettePicEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvCorvetteWinEngine>());
}
