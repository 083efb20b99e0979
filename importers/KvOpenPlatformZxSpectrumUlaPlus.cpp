#include "importers/KvOpenPlatformZxSpectrumUlaPlus.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformZxSpectrum.h"

TKvBaseZxSpectrumUlaPlusEngine::TKvBaseZxSpectrumUlaPlusEngine(TKvLoadSource& ASource)
    : TKvZxSpectrumSourceEngine(ASource) {
  PaletteTypes = {ptV10, ptV11, ptV11Gray};
  PaletteType = ptV11;
}

void TKvBaseZxSpectrumUlaPlusEngine::BuildUlaPlusPalette(const TKvBytes& APalette) {
  Palette->Clear();
  for (int i = 0; i < 64; ++i) {
    TKvStdRGBColor c;
    DecodeUlaPlusColor(c, APalette.U8(i), PaletteType);
    Palette->AddStdRGB(c);
  }
}

template <class TAttrOf>
std::unique_ptr<TKvBitmap> TKvBaseZxSpectrumUlaPlusEngine::DecodeUlaPlusScreen(int APaletteOffset,
                                                                             TAttrOf AAttrOf) {
  BuildUlaPlusPalette(FData.Sub(APaletteOffset, 64));
  auto LBitmap = std::make_unique<TKvBitmap8>(256, 192, Palette.get());
  for (int y = 0; y < 192; ++y) {
    const int row = ZxRowOffset(y);
    for (int c = 0; c < 32; ++c) {
      const uint8_t a = AAttrOf(y, c);
      const uint8_t b = FData.U8(row + c);
      const int group = (a >> 6) * 16;
      const int ink = group + (a & 7), paper = group + 8 + ((a >> 3) & 7);
      for (int i = 0; i < 8; ++i) LBitmap->SetPixel(c * 8 + i, y, (b & (0x80 >> i)) ? ink : paper);
    }
  }
  return LBitmap;
}

TKvZxSpectrumUlaPlusEngine::TKvZxSpectrumUlaPlusEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 4, kAspect1To1, " ULAPlus");
}

TKvMatchFlags TKvZxSpectrumUlaPlusEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, ZxScreenSize + 64, ".scr");
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumUlaPlusEngine::Decode() {
  const TKvBytes& d = FData;
  return DecodeUlaPlusScreen(ZxScreenSize, [&d](int y, int c) { return d.U8(ZxBitmapSize + (y >> 3) * 32 + c); });
}

TKvTimexUlaPlusEngine::TKvTimexUlaPlusEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(256, 192, 4, kAspect1To1, " ULAPlus", "Timex");
}

TKvMatchFlags TKvTimexUlaPlusEngine::Match(TKvLoadSource& ASource) {
  return MatchSizeExt(ASource, 2 * ZxBitmapSize + 64, ".scr");
}

std::unique_ptr<TKvBitmap> TKvTimexUlaPlusEngine::Decode() {
  const TKvBytes& d = FData;
  return DecodeUlaPlusScreen(2 * ZxBitmapSize, [&d](int y, int c) { return d.U8(ZxBitmapSize + ZxRowOffset(y) + c); });
}

const std::vector<const TKvSourceEngineClass*>& ZxSpectrumUlaPlusSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvZxSpectrumUlaPlusEngine>(),
      &SourceEngineClass<TKvTimexUlaPlusEngine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformZxSpectrumUlaPlus() {
  for (const TKvSourceEngineClass* c : ZxSpectrumUlaPlusSourceEngineClasses()) RegisterSourceEngine(*c);
}
