#include "importers/KvOpenPlatformZxSpectrumSpectra.h"

#include <string>

#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvPlatformZxSpectrumSpectra.h"

namespace {

constexpr TKvMatchFlags kTrailerFlags = mfHeader | mfSize;

// A 16-colour index from three colour bits and a bright bit (bit 6).
int Spectra16(int AColor, int AByte) { return (AColor & 7) | ((AByte & 0x40) ? 8 : 0); }

}  // namespace

TKvBaseSpectraSourceEngine::TKvBaseSpectraSourceEngine(TKvLoadSource& ASource, uint8_t AMode)
    : TKvSourceEngine(ASource), FData(ASource.GetBytes()), FMode(AMode) {
  Width = 256;
  Height = 192;
  Bits = (AMode & SpectraMode64Colors) ? 6 : 4;
  Description = "ZX Spectrum Spectra" + GetSizeText() + " " + ((AMode & SpectraModeHalfWidth) ? "4" : "8") + "x" +
                std::to_string(SpectraCellHeight(AMode & 3)) + " " +
                ((AMode & SpectraModeDoubleByte) ? "DB" : "SB") + " image";
}

std::unique_ptr<TKvBitmap> TKvBaseSpectraSourceEngine::Decode() {
  const uint8_t m = FMode;
  const int H = SpectraCellHeight(m & 3);
  const bool c64 = (m & SpectraMode64Colors) != 0, dbl = (m & SpectraModeDoubleByte) != 0,
             half = (m & SpectraModeHalfWidth) != 0;
  if ((m & 0x70) != 0 || FData.Size() < SpectraImageSize(m & 3, dbl)) RaiseScreenMismatch();

  TKvDestEngineOptions LColors;
  if (c64)
    LColors.BuildSpectra64Palette();
  else
    LColors.BuildSpectra15Palette();
  Palette->Assign(LColors.GetPalette());
  std::unique_ptr<TKvBitmap> LBitmap;
  if (c64)
    LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());

  for (int y = 0; y < 192; ++y) {
    const int r = SpectraCellRowOf(y, H, dbl);
    for (int c = 0; c < 32; ++c) {
      const int at = SpectraAttrOffset(H, dbl, r, c);
      const int A = FData.U8(at), B = dbl ? FData.U8(at + SpectraSecondByteOffset(H, r)) : 0;
      const uint8_t bits = FData.U8(ZxRowOffset(y) + c);
      if (!half) {
        int paper, ink = c64 ? (A & 63) : Spectra16(A, A);
        if (c64)
          paper = dbl ? (B & 63) : ((A & 0x40) ? 42 : 0);
        else
          paper = dbl ? Spectra16(B, B) : Spectra16(A >> 3, A);
        PutInkPaperByte(LBitmap.get(), bits, paper, ink, c, y, 8);
        continue;
      }
      // Two cells of 4 pixels: the high nibble draws the left one.
      int leftSet, leftClear = 0, rightSet, rightClear = 0;
      if (c64) {
        leftSet = dbl ? (B & 63) : ((A & 0x40) ? 42 : 0);
        rightSet = A & 63;
      } else if (dbl) {
        leftSet = (A >> 3) & 15;
        leftClear = (B >> 3) & 15;
        rightSet = Spectra16(A, A);
        rightClear = Spectra16(B, B);
      } else {
        leftSet = Spectra16(A >> 3, A);
        rightSet = Spectra16(A, A);
      }
      PutInkPaperNibble(LBitmap.get(), bits, leftClear, leftSet, 2 * c, y, 4);
      PutInkPaperNibble(LBitmap.get(), static_cast<uint8_t>(bits << 4), rightClear, rightSet, 2 * c + 1, y, 4);
    }
  }
  return LBitmap;
}

TKvSpectraSourceEngine::TKvSpectraSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, ASource.GetBytes().Empty() ? 0xFF : ASource.GetBytes().U8(ASource.GetSize() - 1)) {}

TKvMatchFlags TKvSpectraSourceEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() < 4) return 0;
  if (!CheckSpectraTrailer(file.Sub(file.Size() - SpectraTrailerSize), file.Size())) return 0;
  return ASource.GetExtension() == ".bin" ? kTrailerFlags | mfExtension : kTrailerFlags;
}

TKvMatchFlags TKvSpectraSourceBinEngine::MatchMode(TKvLoadSource& ASource, uint8_t AMode) {
  uint8_t t[SpectraTrailerSize];
  InitSpectraTrailer(t, AMode);
  if (!CheckSpectraTrailer(TKvBytes(t, SpectraTrailerSize),
                           static_cast<int64_t>(ASource.GetSize()) + SpectraTrailerSize))
    return 0;
  return ASource.GetExtension() == ".bin" ? mfSize | mfExtension : mfSize;
}

const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSpectraSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvSpectraSourceEngine>(),
      &SourceEngineClass<TKvSpectraSource8x1x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x1x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x1x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x1x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x2x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x2x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x2x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x2x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x4x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x4x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x4x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x4x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x8x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x8x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource8x8x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource8x8x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x1x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x1x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x1x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x1x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x2x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x2x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x2x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x2x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x4x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x4x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x4x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x4x16x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x8x64x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x8x64x1Engine>(),
      &SourceEngineClass<TKvSpectraSource4x8x16x2Engine>(),
      &SourceEngineClass<TKvSpectraSource4x8x16x1Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformZxSpectrumSpectra() {
  for (const TKvSourceEngineClass* c : ZxSpectrumSpectraSourceEngineClasses()) RegisterSourceEngine(*c);
}
