#include "importers/KvOpenPlatformPlayStation.h"

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
  const TKvBytes d = ASource.GetBytes();
  if (CheckTimHeader(d) < 0) RaiseInternalError();
  TKvBytes LBlock = d.Sub(8);
  switch (d.U8(4) & 15) {
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
    FClutWidth = LBlock.Le16(8);
    FClutCount = LBlock.Le16(10);
    FClut = LBlock.Sub(kTimBlockHeaderSize, int64_t{2} * FClutWidth * FClutCount);
    if (FClutCount > 1)
      for (int i = 0; i < FClutCount; ++i) Variants.push_back("Clut " + std::to_string(i + 1));
    LBlock = LBlock.Sub(LBlock.Le32(0));
  }
  const int w = LBlock.Le16(8);
  FImage = LBlock.Sub(kTimBlockHeaderSize, int64_t{2} * w * LBlock.Le16(10));
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
  Height = LBlock.Le16(10);
  Description = "PlayStation" + GetSizeText() + " image";
}

TKvMatchFlags TKvPlayStationSourceEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() < 9 || CheckTimHeader(ASource.GetBytes()) < 0) return 0;
  return ASource.GetExtension() == ".tim" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

void TKvPlayStationSourceEngine::GetVariantPalette(int AIndex, TKvPalette256& APalette) {
  if (AIndex < 0 || AIndex >= FClutCount) RaiseInternalError();
  APalette.Clear();
  const int64_t p = int64_t{AIndex} * FClutWidth * 2;
  for (int i = 0; i < FClutWidth; ++i) APalette.AddStdRGB(Color15(FClut.Le16(p + 2 * i)));
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
        const int64_t p = int64_t{y} * FLineBytes;
        for (int c = 0; c < Width / 2; ++c) PutPixels4Bit(LBitmap.get(), FImage.U8(p + c), c, y, 2);
      }
      return LBitmap;
    }
    case 8: {
      auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
      for (int y = 0; y < Height; ++y) FImage.Read(int64_t{y} * FLineBytes, LBitmap->GetScanline(y), Width);
      return LBitmap;
    }
    case 15:
    case 24: {
      auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
      for (int y = 0; y < Height; ++y) {
        const int64_t p = int64_t{y} * FLineBytes;
        for (int x = 0; x < Width; ++x) {
          const TKvStdRGBColor c =
              Bits == 15 ? Color15(FImage.Le16(p + 2 * x))
                         : StdRGBColor(FImage.U8(p + 3 * x), FImage.U8(p + 3 * x + 1), FImage.U8(p + 3 * x + 2));
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
