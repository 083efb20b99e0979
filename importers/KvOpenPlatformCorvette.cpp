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

std::unique_ptr<TKvBitmap> TKvBaseCorvetteEngine::DecodePlanes(const TKvBytes& AData, bool AWinOrder) {
  BuildCorvettePalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int64_t B = CorvettePlaneRowSize(Width);
  const int64_t LPlane = B * Height;
  const int LWeights[3] = {1, AWinOrder ? 2 : 4, AWinOrder ? 4 : 2};
  auto at = [&](int64_t AOffset) -> uint8_t { return AData.Has(AOffset, 1) ? AData.U8(AOffset) : 0; };
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
  TKvBytes Data;
  int64_t Offset = 0;
  uint8_t Mask = 128;

  bool ReadBit(int& ABit) {
    if (Mask == 0) {
      ++Offset;
      Mask = 128;
    }
    if (!Data.Has(Offset, 1)) return false;
    ABit = (Data.U8(Offset) & Mask) ? 1 : 0;
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

bool DecodeCorvetteGrfData(const TKvBytes& AData, uint8_t* AOut) {
  TKvCorvetteBitReader R{AData};
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
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(CorvetteHeaderSize)) {
  Width = CorvetteWidth;
  Height = CorvetteHeight;
  Bits = 3;
  Description = "Corvette" + GetSizeText() + " image";
}

TKvMatchFlags TKvCorvetteGrfEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= CorvetteHeaderSize || !CheckCorvetteGrfHeader(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".grf" ? mfHeader | mfExtension : mfHeader;
}

std::unique_ptr<TKvBitmap> TKvCorvetteGrfEngine::Decode() {
  // A damaged or short file keeps the blocks decoded before the damage and
  // shows black after them.
  std::vector<uint8_t> LPlanes(static_cast<size_t>(CorvettePicSize), 0);
  DecodeCorvetteGrfData(FData, LPlanes.data());
  return DecodePlanes(TKvBytes(LPlanes), false);
}

// ---------------------------------------------------------------------------
// ".pic"

TKvCorvettePicEngine::TKvCorvettePicEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, CorvettePicSize)) {
  Width = CorvetteWidth;
  Height = CorvetteHeight;
  Bits = 3;
  Description = "Corvette" + GetSizeText() + " image";
}

TKvMatchFlags TKvCorvettePicEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() != CorvettePicSize) return 0;
  return ASource.GetExtension() == ".pic" ? mfExtension | mfSize : mfSize;
}

std::unique_ptr<TKvBitmap> TKvCorvettePicEngine::Decode() { return DecodePlanes(FData, false); }

// ---------------------------------------------------------------------------
// ".win"

TKvCorvetteWinEngine::TKvCorvetteWinEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(CorvetteWinHeaderSize)) {
  const TKvBytes header = ASource.GetBytes().Sub(0, CorvetteWinHeaderSize);
  Width = header.Le16(6) + 1;
  Height = header.U8(8) + 1;
  Bits = 3;
  Description = "Corvette" + GetSizeText() + " image";
}

TKvMatchFlags TKvCorvetteWinEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= CorvetteWinHeaderSize || !CheckCorvetteWinHeader(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".win" ? mfHeader | mfExtension : mfHeader;
}

std::unique_ptr<TKvBitmap> TKvCorvetteWinEngine::Decode() {
  // A file shorter than its size says shows its missing bytes as 0.
  return DecodePlanes(FData, true);
}

void InitKvOpenPlatformCorvette() {
  RegisterSourceEngine(SourceEngineClass<TKvCorvetteGrfEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvCorvettePicEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvCorvetteWinEngine>());
}
