#include "importers/KvOpenPlatformPlayStation.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "core/KvColor.h"
#include "platforms/KvPlatformPlayStation.h"

namespace {

// A 15-bit colour word: red in bits 0-4, green 5-9, blue 10-14.
TKvStdRGBColor Color15(uint32_t AWord) {
  return StdRGBColor(Std5ToByte[AWord & 31], Std5ToByte[(AWord >> 5) & 31], Std5ToByte[(AWord >> 10) & 31]);
}

}  // namespace

TKvPlayStationSourceEngine::TKvPlayStationSourceEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const uint8_t* d = ASource.GetData();
  if (CheckTimHeader(d, ASource.GetSize()) < 0) RaiseInternalError();
  const uint8_t* LBlock = d + 8;
  switch (d[4] & 15) {
    case 2:
      Bits = 15;
      break;
    case 3:
      Bits = 24;
      break;
    case 8:
      Bits = 4;
      break;
    case 9:
      Bits = 8;
      break;
    default:
      RaiseInternalError();
  }
  if (Bits <= 8) {
    FClut = LBlock + 12;
    FClutWidth = static_cast<int>(TimWord(LBlock + 8));
    FClutCount = static_cast<int>(TimWord(LBlock + 10));
    if (FClutCount > 1)
      for (int i = 0; i < FClutCount; ++i) Variants.push_back("Clut " + std::to_string(i + 1));
    LBlock += TimLongWord(LBlock);
  }
  const int w = static_cast<int>(TimWord(LBlock + 8));
  FImage = LBlock + 12;
  FLineBytes = w * 2;
  switch (Bits) {
    case 4:
      Width = w * 4;
      break;
    case 8:
      Width = w * 2;
      break;
    case 15:
      Width = w;
      break;
    default:
      Width = (w / 3) * 2;
  }
  Height = static_cast<int>(TimWord(LBlock + 10));
  Description = "PlayStation" + GetSizeText() + " image";
}

TKvMatchFlags TKvPlayStationSourceEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() < 9 || CheckTimHeader(ASource.GetData(), ASource.GetSize()) < 0) return 0;
  return ASource.GetExtension() == ".tim" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

void TKvPlayStationSourceEngine::GetVariantPalette(int AIndex, TKvPalette256& APalette) {
  if (AIndex < 0 || AIndex >= FClutCount) RaiseInternalError();
  APalette.Clear();
  const uint8_t* p = FClut + static_cast<intptr_t>(AIndex) * FClutWidth * 2;
  for (int i = 0; i < FClutWidth; ++i) APalette.AddStdRGB(Color15(TimWord(p + 2 * i)));
}

std::unique_ptr<TKvBitmap> TKvPlayStationSourceEngine::Decode() {
  if (Bits <= 8) {
    int LTable = 0;
    if (!VariantName.empty()) {
      LTable = -1;
      for (int i = 0; i < GetPaletteVariantCount(); ++i)
        if (Variants[static_cast<size_t>(i)] == VariantName) LTable = i;
      if (LTable < 0) RaiseInternalError();
    }
    GetVariantPalette(LTable, *Palette);
  }
  // Every line starts FLineBytes after the last, whatever the pixels it uses.
  switch (Bits) {
    case 4: {
      auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
      for (int y = 0; y < Height; ++y) {
        const uint8_t* p = FImage + static_cast<intptr_t>(y) * FLineBytes;
        for (int c = 0; c < Width / 2; ++c) PutPixels4Bit(LBitmap.get(), p[c], c, y, 2);
      }
      return LBitmap;
    }
    case 8: {
      auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
      for (int y = 0; y < Height; ++y)
        std::memcpy(LBitmap->GetScanline(y), FImage + static_cast<intptr_t>(y) * FLineBytes,
                    static_cast<size_t>(Width));
      return LBitmap;
    }
    case 15:
    case 24: {
      auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
      for (int y = 0; y < Height; ++y) {
        const uint8_t* p = FImage + static_cast<intptr_t>(y) * FLineBytes;
        for (int x = 0; x < Width; ++x) {
          const TKvStdRGBColor c =
              Bits == 15 ? Color15(TimWord(p + 2 * x)) : StdRGBColor(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
          LBitmap->SetPixel(x, y, (c.R << 16) | (c.G << 8) | c.B);
        }
      }
      return LBitmap;
    }
    default:
      RaiseInternalError();
  }
}

void InitKvOpenPlatformPlayStation() { RegisterSourceEngine(SourceEngineClass<TKvPlayStationSourceEngine>()); }
