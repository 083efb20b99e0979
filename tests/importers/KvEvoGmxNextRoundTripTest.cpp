// Scorpion GMX, ZX Evolution and ZX Spectrum Next pictures saved as native
// files open again through the importer probe, as the best candidate,
// showing the preview's colour at every pixel.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"
#include "core/KvThreadJob.h"
#include "importers/KvImporterUnits.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformScorpionGMX.h"
#include "platforms/KvSavePlatformZxEvolution.h"
#include "platforms/KvSavePlatformZxSpectrumNext.h"
#include "KvTestHarness.h"

namespace {

// Opens stream AIndex of AConversion as a file named AName through the whole
// importer registry; expects AImporter first with AFlags, a picture of
// AWidth x AHeight, and the preview's colours where the preview lies.
// ASetup may change the importer (its palette kind) before decoding.
void ExpectRoundTrip(const TKvConversion& AConversion, int AIndex, const std::string& AName,
                     const std::string& AImporter, TKvMatchFlags AFlags, int AWidth, int AHeight,
                     const std::function<void(TKvSourceEngine&)>& ASetup = {}) {
  SCOPED_TRACE(AName);
  InitializeImporters();
  std::vector<uint8_t> bytes(AConversion.Bytes(AIndex), AConversion.Bytes(AIndex) + AConversion.Size(AIndex));
  TKvMemoryLoadSource src(AName, bytes.data(), static_cast<int32_t>(bytes.size()), false);
  auto list = src.FindEngines();
  ASSERT_GT(list->GetCount(), 0);
  TKvSourceEngine* e = list->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), AImporter);
  EXPECT_EQ(e->MatchFlags, AFlags);
  if (ASetup) ASetup(*e);
  auto decoded = e->Decode();
  TKvBitmap& preview = *AConversion.Preview;
  ASSERT_EQ(decoded->Width, AWidth);
  ASSERT_EQ(decoded->Height, AHeight);
  EXPECT_EQ(CountColorDiffs(*decoded, preview), 0);
}

// The files read straight from their documented layouts, without the
// importers or the shared header routines: the colour of pixel (x, y).
using TLayout = std::function<TKvStdRGBColor(const std::vector<uint8_t>&, int, int)>;

void ExpectLayout(const TKvConversion& AConversion, int AIndex, const TLayout& ALayout) {
  std::vector<uint8_t> d(AConversion.Bytes(AIndex), AConversion.Bytes(AIndex) + AConversion.Size(AIndex));
  TKvBitmap& preview = *AConversion.Preview;
  int diffs = 0;
  for (int y = 0; y < preview.Height; ++y)
    for (int x = 0; x < preview.Width; ++x)
      if (!(ALayout(d, x, y) == ShownColor(preview, x, y))) ++diffs;
  EXPECT_EQ(diffs, 0) << "read from the layout";
}

TKvStdRGBColor ZxColor(int AIndex) {
  TKvPalette256 p;
  BuildZxSpectrumPalette(p, ptColoredLinear);
  return p.GetStdRGB(AIndex);
}

// 640: pixel rows of 80 bytes, the 8x1 cell's attribute 16384 further on.
TKvStdRGBColor Gmx640Layout(const std::vector<uint8_t>& d, int x, int y) {
  const int o = y * 80 + x / 8, a = d[static_cast<size_t>(16384 + o)];
  const int bright = (a >> 6) & 1;
  return ZxColor((d[static_cast<size_t>(o)] >> (7 - x % 8)) & 1 ? (a & 7) + 8 * bright : ((a >> 3) & 7) + 8 * bright);
}

// 160: after the 128-byte header, one byte per two pixels: the left one in
// bits 3-5, the right one in bits 0-2, bit 6 bright for both.
TKvStdRGBColor Gmx160Layout(const std::vector<uint8_t>& d, int x, int y) {
  const int b = d[static_cast<size_t>(128 + y * 80 + x / 2)];
  return ZxColor(((x % 2 == 0 ? b >> 3 : b) & 7) + 8 * ((b >> 6) & 1));
}

const uint8_t kNextLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};

// 256 little-endian palette words (RRRGGGBB, then the lowest blue bit in
// bit 0 of the second byte), then a byte per pixel.
TKvStdRGBColor NxiLayout(const std::vector<uint8_t>& d, int x, int y) {
  const int v = d[static_cast<size_t>(512 + y * 256 + x)];
  const int lo = d[static_cast<size_t>(2 * v)], hi = d[static_cast<size_t>(2 * v + 1)];
  return StdRGBColor(kNextLevels[lo >> 5], kNextLevels[(lo >> 2) & 7], kNextLevels[((lo & 3) << 1) | (hi & 1)]);
}

// Each byte is its RRRGGGBB colour; two blue bits stand for levels 0, 3, 5, 7.
TKvStdRGBColor Sl2Layout(const std::vector<uint8_t>& d, int x, int y) {
  static const int kBlue[4] = {0, 3, 5, 7};
  const int v = d[static_cast<size_t>(y * 256 + x)];
  return StdRGBColor(kNextLevels[v >> 5], kNextLevels[(v >> 2) & 7], kNextLevels[kBlue[v & 3]]);
}

// SXG: the palette at 14 + the word at 12, the pixels at 16 + the word at
// 14; rows padded to 16 bits (version 3) or bytes (version 2); 5-bit level
// indexes on the scale of the palette family.
TLayout SxgLayout(TKvPaletteType AFamily) {
  return [AFamily](const std::vector<uint8_t>& d, int x, int y) {
    static const uint8_t kEga[25] = {0,   28,  42,  52,  60,  67,  74,  80,  85,  101, 114, 126, 136,
                                     146, 154, 162, 170, 184, 196, 207, 218, 228, 237, 246, 255};
    static const uint8_t kPentevo[25] = {0,   31,  46,  57,  66,  74,  81,  87,  93,  105, 115, 125, 133,
                                         141, 149, 155, 162, 177, 191, 204, 215, 226, 236, 246, 255};
    auto word = [&](size_t o) { return d[o] | (d[o + 1] << 8); };
    const int bits = d[7] == 1 ? 4 : 8, width = word(8);
    const int L = d[4] >= 3 ? ((width * bits + 15) & ~15) / 8 : ((width * bits + 7) & ~7) / 8;
    const uint8_t p = d[static_cast<size_t>(16 + word(14) + y * L + x * bits / 8)];
    const int v = bits == 8 ? p : x % 2 == 0 ? p >> 4 : p & 15;
    const int w = word(static_cast<size_t>(14 + word(12) + 2 * v));
    auto level = [&](int f) {
      if (AFamily == ptVideoDAC) return static_cast<uint8_t>((f * 255 + 15) / 31);
      return f > 24 ? uint8_t{255} : AFamily == ptEvoEGA ? kEga[f] : kPentevo[f];
    };
    return StdRGBColor(level((w >> 10) & 31), level((w >> 5) & 31), level(w & 31));
  };
}

TEST(KvEvoGmxNextRoundTrip, ScorpionGMX) {
  TKvProcessorCountOverride one(1);
  const auto kHeader = mfHeader | mfSize | mfExtension, kSize = mfSize | mfExtension;
  struct {
    const TKvDestEngineClass* Class;
    int Width;
    const char* Importer;
    TKvMatchFlags Flags;
  } modes[] = {{&DestEngineClass<TKvScorpionGMX640Engine>(), 640, "TKvScorpiorGMX640Engine", kSize},
               {&DestEngineClass<TKvScorpionGMX160Engine>(), 160, "TKvScorpiorGMX160Engine", kHeader}};
  // Full-width pictures of fewer rows keep the test quick; the rows below
  // keep the blank screen.
  for (auto& m : modes) {
    auto pic = GradientPicture(m.Width, 40, 31);
    for (TKvColorUsage usage : {cuDarkAndBright, cuDarkOnly, cuDarkOnlyForceBright, cuBrightOnly}) {
      auto r = ConvertPicture(*m.Class, *pic, [&](TKvDestEngineOptions& o) { o.SetColorUsage(usage); });
      ExpectRoundTrip(r, 0, "usage" + std::to_string(usage) + ".c", m.Importer, m.Flags, m.Width, 200);
      ExpectLayout(r, 0, m.Width == 640 ? Gmx640Layout : Gmx160Layout);
    }
    for (TKvPaletteMode mode : {pmBlackWhite, pmGray}) {
      auto r = ConvertPicture(*m.Class, *pic, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
      ExpectRoundTrip(r, 0, mode == pmGray ? "gray.c" : "bw.c", m.Importer, m.Flags, m.Width, 200);
      ExpectLayout(r, 0, m.Width == 640 ? Gmx640Layout : Gmx160Layout);
    }
  }
}

TEST(KvEvoGmxNextRoundTrip, ZxSpectrumNext) {
  const auto& next = DestEngineClass<TKvZxSpectrumNextNxiEngine>();
  // Pictures of fewer rows keep the test quick.
  auto pic = GradientPicture(256, 96, 32);
  auto part = GradientPicture(256, 64, 32);
  auto r333 = ConvertPicture(next, *part);
  ExpectRoundTrip(r333, 0, "picture.nxi", "TKvZxSpectrumNextNxiSourceEngine", mfSize | mfExtension, 256, 192);
  ExpectLayout(r333, 0, NxiLayout);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    auto r332 = ConvertPicture(next, *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptRGB332);
      o.SetPaletteMode(mode);
    });
    ExpectRoundTrip(r332, 0, "picture.sl2", "TKvZxSpectrumNextSl2Engine", mfSize | mfExtension, 256, 192);
    ExpectRoundTrip(r332, 1, "picture.nxi", "TKvZxSpectrumNextNxiSourceEngine", mfSize | mfExtension, 256, 192);
    ExpectLayout(r332, 0, Sl2Layout);
    ExpectLayout(r332, 1, NxiLayout);
  }
  auto gray = ConvertPicture(next, *part, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  ExpectRoundTrip(gray, 0, "gray.nxi", "TKvZxSpectrumNextNxiSourceEngine", mfSize | mfExtension, 256, 192);
  ExpectLayout(gray, 0, NxiLayout);
}

// Flat blocks of colours that every level scale holds: large pictures
// convert quickly.
std::unique_ptr<TBitmap32> BlockPicture(int AWidth, int AHeight) {
  static const uint32_t kColors[6] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FFFF, 0xFFFF00, 0x0000FF};
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) *b->GetPixelPtr(x, y) = 0xFF000000u | kColors[(x / 64 + y / 48) % 6];
  return b;
}

TEST(KvEvoGmxNextRoundTrip, ZxEvolution) {
  const auto kFlags = mfHeader | mfSize | mfExtension;
  // The importer reads the levels on its family's scale.
  auto family = [](TKvPaletteType t) {
    return t == ptVideoDAC ? ptVideoDAC : t <= ptEvoEGAPWM3 ? ptEvoEGA : ptPentevo;
  };
  auto run = [&](const TKvDestEngineClass& c, TBitmap32& pic, TKvPaletteType type, TKvPaletteMode mode) {
    auto r = ConvertPicture(c, pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(type);
      o.SetPaletteMode(mode);
    });
    const std::string name = c.GetModeName() + "-" + std::to_string(type) + "-" + std::to_string(mode) + "-" +
                             std::to_string(pic.GetWidth()) + ".sxg";
    ExpectRoundTrip(r, 0, name, "TKvZxSpectrumSxgEngine", kFlags, pic.GetWidth(), pic.GetHeight(),
                    [&](TKvSourceEngine& e) { e.PaletteType = family(type); });
    ExpectLayout(r, 0, SxgLayout(family(type)));
  };
  // Every mode with every palette kind at the smallest size.
  auto tiny = GradientPicture(8, 8, 41);
  for (const TKvDestEngineClass* c : ZxEvolutionDestEngineClasses())
    for (TKvPaletteType t : ZxEvolutionPaletteTypes) run(*c, *tiny, t, pmColor);
  // Both depths at an odd width (4-bit rows of 130 bytes) and at the largest
  // width, for each family; then gray, black-and-white and "Custom".
  auto odd = GradientPicture(257, 32, 42);
  auto wide = BlockPicture(512, 16);
  for (const TKvDestEngineClass* c :
       {&DestEngineClass<TKvZxEvolution256x192x4Engine>(), &DestEngineClass<TKvZxEvolution360x288x8Engine>()})
    for (TKvPaletteType t : {ptEvoEGA, ptPentevoPWM2, ptVideoDAC}) {
      run(*c, *odd, t, pmColor);
      run(*c, *wide, t, pmColor);
    }
  // The largest picture once, in the largest file.
  run(DestEngineClass<TKvZxEvolution360x288x8Engine>(), *BlockPicture(512, 512), ptVideoDAC, pmColor);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmCustom})
    run(DestEngineClass<TKvZxEvolution320x200x8Engine>(), *odd, ptEvoEGAPWM1, mode);
  run(DestEngineClass<TKvZxEvolution320x240x4Engine>(), *odd, ptPentevo, pmCustom);
}

}  // namespace
