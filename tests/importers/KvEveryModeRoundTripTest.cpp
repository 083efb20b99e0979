// Every registered mode, with its defaults and the panel choices of the walk,
// writes native files that open again: each file is found by the importer
// probe and the best candidate decodes it to the preview's colours (and its
// frames to the preview's frames). The files that cannot show the preview
// whole are listed below with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "importers/KvEveryModeWalk.h"

namespace {

// What a file of the walk is known to hold instead of the whole preview,
// and so what is compared.
enum TKvKnownGap {
  kgNone,           // the whole preview
  kgCompanion,      // not a picture alone: only read beside the picture it belongs to
  kgIndexes,        // the preview's palette indexes, shown in another palette
  kgFrame0,         // the preview's first frame only
  kgFrame1,         // the preview's second frame only
  kgSwappedFrames,  // the preview, with its two frames in the other order
  kgOddIndexRows,   // the palette indexes of the preview's odd rows (the second field)
  kgOtherReading,   // read as something else by the best candidate: decoded, not compared
};

struct TKvKnownException {
  const char* Platform;
  const char* Mode;     // empty: every mode of the platform
  const char* Ext;      // the file's extension, without the dot, any case
  const char* Variant;  // empty: every case; else a part of the variant's name
  TKvKnownGap Gap;
  const char* Reason;
};

// The first row that fits a file wins.
const TKvKnownException KnownExceptions[] = {
    {"Agat", "", "0.fil", "", kgFrame0, "a two-frame picture also writes each frame as a picture of its own"},
    {"Agat", "", "1.fil", "", kgFrame1, "a two-frame picture also writes each frame as a picture of its own"},
    {"Amstrad CPC", "", "pal", "", kgCompanion, "the palette file of the screen beside it"},
    {"Amstrad CPC", "", "odd", "", kgCompanion, "one frame's data of the two-frame picture whose header file names it"},
    {"Amstrad CPC", "", "eve", "", kgCompanion, "one frame's data of the two-frame picture whose header file names it"},
    {"Amstrad CPC", "2 640x200x1", "scr", "", kgIndexes,
     "the two-pen preview is plain black and white; the importer shows the pens' colours from the palette file"},
    {"Amstrad CPC", "2 768x272x1 overscan", "scr", "", kgIndexes,
     "the two-pen preview is plain black and white; the importer shows the pens' colours from the palette file"},
    {"BK-0011", "512x256x1", "bin", "", kgOtherReading,
     "the same bytes as a four-colour screen, which the probe ranks first; the black-and-white reading comes second"},
    {"Corvette", "", "", "Black/white", kgOtherReading,
     "black and white are written as screen values 0 and 7, which every reading shows as normal-intensity gray"},
    {"Corvette", "", "", "", kgIndexes,
     "the file holds colour values 0 to 7 without intensity: the preview shows them bright, the importer at normal "
     "intensity"},
    {"Elektronika MC 0515", "640x200x1", "scr", "", kgOtherReading,
     "the same bytes as a four-colour screen, which the probe ranks first; the black-and-white reading comes second"},
    {"eLeMeNt ZX", "256x192x4", "scr", "", kgIndexes,
     "a plain Spectrum screen: the importer shows it in a Spectrum palette, the preview in eLeMeNt ZX's own levels"},
    {"MSX", "2 256x192x4", "sc2", "Black/white", kgOtherReading,
     "black is written as colour code 1, which the palette shows as 01 01 01, where the preview shows 00 00 00"},
    {"MSX", "", "pl5", "", kgCompanion, "the palette file of the GL picture beside it"},
    {"MSX", "", "pl6", "", kgCompanion, "the palette file of the GL picture beside it"},
    {"MSX", "", "pl7", "", kgCompanion, "the palette file of the GL picture beside it"},
    {"MSX", "", "pla", "", kgCompanion, "the palette file of the GL picture beside it"},
    {"MSX", "", "s15", "", kgOddIndexRows,
     "the odd lines of an interlaced screen: alone, a screen of its own in the default palette (the palette is in "
     "the even lines' file)"},
    {"MSX", "", "s17", "", kgOddIndexRows,
     "the odd lines of an interlaced screen: alone, a screen of its own in the default palette (the palette is in "
     "the even lines' file)"},
    {"MSX", "", "s16", "", kgOtherReading,
     "the odd lines of an interlaced screen: alone, only its size tells the mode, and that size is SCREEN 5's"},
    {"MSX", "", "s18", "", kgOtherReading,
     "the odd lines of an interlaced screen: alone, only its size tells the mode, and that size is SCREEN 7's"},
    {"MSX", "", "s1a", "", kgOtherReading,
     "the odd lines of an interlaced screen: alone, only its size tells the mode, and that size is SCREEN 7's"},
    {"MSX", "", "s1c", "", kgOtherReading,
     "the odd lines of an interlaced screen: alone, only its size tells the mode, and that size is SCREEN 7's"},
    {"Okean-240", "512x256x2 Gigascreen", "oks", "", kgSwappedFrames,
     "the two-frame black-and-white file comes back in the other frame phase: the same mixtures"},
    {"SAM Coupé", "", "eve.ss4", "", kgOddIndexRows,
     "the odd lines of an interlaced screen, a screen of its own"},
    {"TI-99/4A", "", "tiac", "", kgCompanion, "the colour table of the pattern file beside it"},
    {"TI-99/4A", "", "tiam", "", kgCompanion, "the palette file of the pattern file beside it"},
    {"UKNC", "", "pcx", "RGB", kgIndexes,
     "the header's colour map is always the GRB one, so colour numbers chosen for the RGB order show in GRB"},
    {"Vector-06C", "", "pals", "", kgCompanion, "the per-line palettes of the screen file beside it"},
    {"ZX Spectrum", "256x192x4 B/W Giga", "lcm", "", kgSwappedFrames,
     "the file's first bitmap holds the preview's second frame: the same mixtures"},
};

// AName ends in "." + AExt, in any case; every name does for an empty AExt.
bool EndsWith(const std::string& AName, const std::string& AExt) {
  if (AExt.empty()) return true;
  if (AName.size() <= AExt.size() || AName[AName.size() - AExt.size() - 1] != '.') return false;
  return std::equal(AExt.begin(), AExt.end(), AName.end() - static_cast<std::ptrdiff_t>(AExt.size()), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

const TKvKnownException* FindException(const TKvWalkCase& ACase, const std::string& AFileName) {
  for (const TKvKnownException& e : KnownExceptions)
    if (ACase.Platform == e.Platform && (!*e.Mode || ACase.Mode == e.Mode) && EndsWith(AFileName, e.Ext) &&
        (!*e.Variant || ACase.Variant.find(e.Variant) != std::string::npos))
      return &e;
  return nullptr;
}

// The pixels of ADecoded that differ from the preview's pixel that covers
// it, in shown colour or, AByIndex, in palette index; a bitmap of another
// size compares when one is a whole multiple of the other on each axis (a
// mode shown with wider or doubled pixels); ARow0 is the preview row of the
// first decoded row.
int CountDiffs(TKvBitmap& APreview, TKvBitmap& ADecoded, bool AByIndex = false, int ARow0 = 0) {
  auto scale = [](int p, int d, int x) { return p >= d ? x * (p / d) : x / (d / p); };
  int diffs = 0;
  for (int y = 0; y < ADecoded.Height; ++y)
    for (int x = 0; x < ADecoded.Width; ++x) {
      const int px = scale(APreview.Width, ADecoded.Width, x);
      const int py = std::min(APreview.Height - 1, ARow0 + scale(APreview.Height, ADecoded.Height, y));
      diffs += AByIndex ? APreview.GetPixel(px, py) != ADecoded.GetPixel(x, y)
                        : !(ShownColor(APreview, px, py) == ShownColor(ADecoded, x, y));
    }
  return diffs;
}

TKvBitmap* Frame(TKvBitmap& ABitmap, int AIndex) {
  TKvBitmapList* frames = ABitmap.GetFrames();
  return frames && AIndex < frames->GetCount() ? frames->GetBitmap(AIndex) : nullptr;
}

bool Commensurate(int A, int B) { return A > 0 && B > 0 && (A >= B ? A % B == 0 : B % A == 0); }

// Each file of AResult opens through the probe and shows the preview, or
// what its known exception says it holds.
void Check(const TKvWalkCase& c, const TKvWalkResult& r) {
  if (!r.Error.empty()) return;
  ASSERT_TRUE(r.Preview);
  for (size_t f = 0; f < r.Files.size(); ++f) {
    const std::string& name = r.Files[f].Name;
    SCOPED_TRACE(name);
    const TKvKnownException* known = FindException(c, name);
    if (known && known->Gap == kgCompanion) continue;
    auto files = OpenWalkFile(r, f);
    auto list = files->FindEngines();
    ASSERT_GT(list->GetCount(), 0) << "no importer finds the file";
    TKvSourceEngine& e = *list->GetEngine(0);
    SCOPED_TRACE(e.ClassType().GetClassName());
    // Read back as the converter wrote it: the import dialog offers the
    // palette kind and the two-frame calculation the conversion used.
    for (int i = 0; i < e.GetPaletteTypeCount(); ++i)
      if (e.GetPaletteType(i) == r.PaletteType) e.PaletteType = e.GetPaletteType(i);
    if ((e.MixModes >> r.GigaCalculation) & 1) e.MixMode = static_cast<uint8_t>(r.GigaCalculation);
    std::unique_ptr<TKvBitmap> decoded;
    ASSERT_EQ(MessageOf([&] { decoded = e.Decode(); }), "<no exception>");
    ASSERT_TRUE(decoded);
    const TKvKnownGap gap = known ? known->Gap : kgNone;
    SCOPED_TRACE(known ? known->Reason : "");
    if (gap == kgOtherReading) continue;
    TKvBitmap* preview = r.Preview.get();
    if (gap == kgFrame0 || gap == kgFrame1) preview = Frame(*r.Preview, gap == kgFrame0 ? 0 : 1);
    ASSERT_TRUE(preview);
    ASSERT_TRUE(Commensurate(preview->Width, decoded->Width) && Commensurate(preview->Height, decoded->Height))
        << "decoded " << decoded->Width << "x" << decoded->Height << ", preview " << preview->Width << "x"
        << preview->Height;
    EXPECT_EQ(CountDiffs(*preview, *decoded, gap == kgIndexes || gap == kgOddIndexRows, gap == kgOddIndexRows ? 1 : 0), 0);
    if (gap == kgFrame0 || gap == kgFrame1) continue;
    // Frames, where both have them.
    const bool swapped = gap == kgSwappedFrames;
    for (int i = 0; i < 2; ++i) {
      TKvBitmap* pf = Frame(*r.Preview, swapped ? 1 - i : i);
      TKvBitmap* df = Frame(*decoded, i);
      if (pf && df) {
        EXPECT_EQ(CountDiffs(*pf, *df, gap == kgIndexes), 0) << "frame " << i;
      }
    }
  }
}


class KvEveryModeRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(KvEveryModeRoundTrip, FilesOpenToThePreview) {
  ForEveryCaseOfGroup(GetParam(), Check);
}

INSTANTIATE_TEST_SUITE_P(Modes, KvEveryModeRoundTrip,
                         ::testing::Range(0, static_cast<int>(EveryModeCaseGroups().size())),
                         [](const ::testing::TestParamInfo<int>& AInfo) { return ModeTestName(AInfo.param); });

}  // namespace
