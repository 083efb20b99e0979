#include "importers/KvOpenPlatformScorpionGMX.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformScorpionGMX.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace {

constexpr int32_t kGmx640Size = 32768;
constexpr int32_t kGmx160Size = 16128;
constexpr int kRowBytes = 80;

// The common fields: 16 ZX colours under the linear model by default.
void SetUpGmx(TKvSourceEngine& AEngine, int AWidth, uint8_t APixelAspect) {
  AEngine.Width = AWidth;
  AEngine.Height = 200;
  AEngine.Bits = 4;
  AEngine.PixelAspect = APixelAspect;
  AEngine.SetZxPaletteTypes();
  AEngine.PaletteType = ptColoredLinear;
  AEngine.Description = "Scorpion GMX" + AEngine.GetSizeText() + " image";
}

std::unique_ptr<TKvBitmap4> NewGmxBitmap(TKvSourceEngine& AEngine) {
  BuildZxSpectrumPalette(*AEngine.Palette, AEngine.PaletteType);
  return std::make_unique<TKvBitmap4>(AEngine.Width, AEngine.Height, AEngine.Palette.get());
}

}  // namespace

TKvScorpiorGMX640Engine::TKvScorpiorGMX640Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kGmx640Size)) {
  SetUpGmx(*this, 640, 1);  // "1:2"
}

TKvMatchFlags TKvScorpiorGMX640Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kGmx640Size) return 0;
  return ASource.GetExtension() == ".c" ? mfSize | mfExtension : mfSize;
}

std::unique_ptr<TKvBitmap> TKvScorpiorGMX640Engine::Decode() {
  auto LBitmap = NewGmxBitmap(*this);
  // Every pixel byte has its attribute 16384 bytes further on.
  for (int y = 0; y < 200; ++y)
    for (int c = 0; c < kRowBytes; ++c) {
      const int o = y * kRowBytes + c;
      int paper, ink;
      DecodeZxAttribute(FData.U8(16384 + o), paper, ink);
      PutInkPaperByte(LBitmap.get(), FData.U8(o), paper, ink, c, y, 8);
    }
  return LBitmap;
}

TKvScorpiorGMX160Engine::TKvScorpiorGMX160Engine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(GmxHeaderSize, kGmx160Size - GmxHeaderSize)) {
  SetUpGmx(*this, 160, 17);  // "2:1"
}

TKvMatchFlags TKvScorpiorGMX160Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kGmx160Size || !CheckGmxHeader(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".c" ? mfHeader | mfSize | mfExtension : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvScorpiorGMX160Engine::Decode() {
  auto LBitmap = NewGmxBitmap(*this);
  // Each byte: the left pixel takes the paper field, the right one the ink.
  for (int y = 0; y < 200; ++y)
    for (int c = 0; c < kRowBytes; ++c) {
      int paper, ink;
      DecodeZxAttribute(FData.U8(y * kRowBytes + c), paper, ink);
      LBitmap->SetPixel(2 * c, y, paper);
      LBitmap->SetPixel(2 * c + 1, y, ink);
    }
  return LBitmap;
}

const std::vector<const TKvSourceEngineClass*>& ScorpionGMXSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvScorpiorGMX640Engine>(),
      &SourceEngineClass<TKvScorpiorGMX160Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformScorpionGMX() {
  for (const TKvSourceEngineClass* c : ScorpionGMXSourceEngineClasses()) RegisterSourceEngine(*c);
}
