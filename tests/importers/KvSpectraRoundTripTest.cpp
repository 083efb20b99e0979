// Spectra ".bin" files written by the converters open again through the
// importer probe as the best candidate and show the preview's colours; the
// probe ranks the Spectra importers among the ZX screen importers; bad files
// give no candidate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/KvBitmap.h"
#include "importers/KvImporterUnits.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "importers/KvOpenPlatformZxSpectrumSpectra.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvPlatformZxSpectrumSpectra.h"
#include "platforms/KvSavePlatformZxSpectrumSpectra.h"
#include "KvTestHarness.h"

namespace {

// The ZX screen importers and the Spectra importers, in unit order.
std::vector<const TKvSourceEngineClass*> ZxClasses() {
  std::vector<const TKvSourceEngineClass*> r = ZxSpectrumSourceEngineClasses();
  for (const TKvSourceEngineClass* c : ZxSpectrumSpectraSourceEngineClasses()) r.push_back(c);
  return r;
}

// The ZX screen importers and the Spectra importers only, in unit order.
struct TProbe : TKvProbe {
  TProbe(const std::string& AName, TKvTestBytes ABytes) : TKvProbe(AName, std::move(ABytes), ZxClasses()) {}
};

using Names = std::vector<std::string>;

// The colour of pixel (x, y) read straight from the file's documented
// layout, without the importer or the converter's address routines: the
// mode byte of the trailer, the bitmap and the attribute bytes of the cell.
TKvStdRGBColor LayoutColor(const std::vector<uint8_t>& d, int x, int y) {
  const uint8_t m = d.back();
  const int H = 8 >> (m & 3);
  const bool c64 = m & 4, db = m & 8, half = m & 0x80;
  const int c = x / 8, row = ((y & 7) << 8) | ((y & 0x38) << 2) | ((y & 0xC0) << 5);
  const bool set = (d[static_cast<size_t>(row + c)] >> (7 - x % 8)) & 1;
  const int r = y / H;
  int a = 0, b = 0;
  switch (H) {
    case 8: a = 6144 + r * 32 + c, b = a + 1024; break;
    case 4: a = 8192 + ((r >> 4) & 3) * 512 + (r & 1) * 256 + ((r >> 1) & 7) * 32 + c, b = a + 2048; break;
    case 2: a = 8192 + ((r >> 5) & 3) * 1024 + (r & 3) * 256 + ((r >> 2) & 7) * 32 + c, b = a + 4096; break;
    default:
      if (!db || y < 128) {
        a = 8192 + row + c, b = 12288 + row + c;
      } else {
        const int k = (y - 128) / 2;
        a = 6144 + (k & 3) * 256 + ((k >> 2) & 7) * 32 + c, b = a + 1024;
      }
  }
  const int A = d[static_cast<size_t>(a)], B = db ? d[static_cast<size_t>(b)] : 0;
  auto zx = [](int AColor, int AByte) { return (AColor & 7) + ((AByte >> 6) & 1) * 8; };
  int v;
  if (!half) {
    const int ink = c64 ? A & 63 : zx(A, A);
    const int paper = c64 ? (db ? B & 63 : ((A & 0x40) ? 42 : 0)) : (db ? zx(B, B) : zx(A >> 3, A));
    v = set ? ink : paper;
  } else if (x % 8 < 4) {
    if (c64) v = set ? (db ? B & 63 : ((A & 0x40) ? 42 : 0)) : 0;
    else if (db) v = set ? (A >> 3) & 15 : (B >> 3) & 15;
    else v = set ? zx(A >> 3, A) : 0;
  } else {
    if (c64) v = set ? A & 63 : 0;
    else if (db) v = set ? zx(A, A) : zx(B, B);
    else v = set ? zx(A, A) : 0;
  }
  if (c64) {
    static const uint8_t kLevels[4] = {0x00, 0x59, 0xB9, 0xFF};
    return StdRGBColor(kLevels[(v >> 2) & 3], kLevels[(v >> 4) & 3], kLevels[v & 3]);
  }
  TKvDestEngineOptions o;
  o.BuildSpectra15Palette();
  return o.GetPalette()->GetStdRGB(v);
}

void ExpectRoundTrip(const TKvConversion& AConversion) {
  std::vector<uint8_t> bytes(AConversion.Bytes(0), AConversion.Bytes(0) + AConversion.Size(0));
  {
    int diffs = 0;
    TKvBitmap& preview = *AConversion.Preview;
    for (int y = 0; y < preview.Height; ++y)
      for (int x = 0; x < preview.Width; ++x) diffs += !(LayoutColor(bytes, x, y) == ShownColor(preview, x, y));
    EXPECT_EQ(diffs, 0) << "read from the layout";
  }
  TProbe p("picture.bin", bytes);
  ASSERT_GT(p.List->GetCount(), 0);
  TKvSourceEngine* e = p.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), "TKvSpectraSourceEngine");
  EXPECT_EQ(e->MatchFlags, mfHeader | mfExtension | mfSize);
  auto decoded = e->Decode();
  TKvBitmap& preview = *AConversion.Preview;
  ASSERT_EQ(decoded->Width, 256);
  ASSERT_EQ(decoded->Height, 192);
  EXPECT_EQ(CountColorDiffs(*decoded, preview), 0);
}

// Every mode and palette type it offers, in colour, gray and black and
// white. The engines convert the picture they are given: a band of a few
// cell rows serves all but the double-byte height-1 walk, which needs the
// whole screen. One test per mode.
class KvSpectraRoundTripMode : public testing::TestWithParam<int> {};

TEST_P(KvSpectraRoundTripMode, EveryPaletteType) {
  const TKvDestEngineClass* cls = ZxSpectrumSpectraDestEngineClasses()[static_cast<size_t>(GetParam())];
  auto full = GradientPicture(256, 192, 31);
  auto band = GradientPicture(256, 16, 31);
  auto options = cls->Create()->CreateOptions();
  const int H = options->GetCellHeight();
  const bool half = options->GetCellWidth() == 4;
  for (uint8_t type : {ptColored15x1, ptColored15x2, ptColored64x1, ptColored64x2}) {
    if (half && type == ptColored64x1) continue;
    const bool walk = H == 1 && (type == ptColored15x2 || type == ptColored64x2);
    for (TKvPaletteMode mode : {pmColor, pmGray, pmBlackWhite}) {
      // The 2080 candidates of every 64-colour pair cost seconds per
      // picture; the gray and black-and-white forms write the same file
      // layout and the 8x8 mode takes the colours.
      if (type == ptColored64x2 && mode == pmColor && H != 8) continue;
      SCOPED_TRACE(testing::Message() << cls->GetModeName() << " type " << int(type) << " mode " << int(mode));
      for (TKvColorUsage usage : {cuDarkAndBright, cuDarkOnlyForceBright}) {
        if (usage != cuDarkAndBright && (type != ptColored15x1 || mode != pmColor)) continue;
        auto r = ConvertPicture(*cls, walk ? *full : *band, [&](TKvDestEngineOptions& o) {
          o.SetPaletteType(type);
          o.SetPaletteMode(mode);
          o.SetColorUsage(usage);
        });
        ExpectRoundTrip(r);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(KvSpectraRoundTrip, KvSpectraRoundTripMode, testing::Range(0, 8));

// The 8x1 double-byte 64-colour walk in colour, with pairs of twelve spread
// colours in place of all 2080 pairs (which cost seconds): the preview of
// 64 colours and the file agree.
class TFewPairs8x1x64x2Image : public TKvZxSpectrumSpectraColor8x1x64x2Image {
public:
  using TKvZxSpectrumSpectraColor8x1x64x2Image::TKvZxSpectrumSpectraColor8x1x64x2Image;
  TKvCellPaletteList* CreatePaletteList() override {
    static const int kColors[12] = {0, 5, 10, 16, 21, 26, 37, 42, 48, 53, 58, 63};
    auto* l = new TKvCellPaletteList;
    for (int i = 0; i < 12; ++i)
      for (int j = i; j < 12; ++j) l->Add(std::make_unique<TKvCellPaperIncPalette>(*FPalette, kColors[i], kColors[j]));
    return l;
  }
};

TEST(KvSpectraRoundTrip, DoubleByte64ColourWalk) {
  auto pic = GradientPicture(256, 192, 33);
  TKvConversion r;
  r.Options = DestEngineClass<TKvZxSpectrumSpectra8x1Engine>().Create()->CreateOptions();
  r.Options->SetPaletteType(ptColored64x2);
  r.Options->BuildSpectra64Palette();
  r.Streams = std::make_unique<TKvStreamList>();
  TKvStream* s = r.Streams->NewStreamFilled("bin", 16387, 255);
  WriteSpectraTrailer(*s, ptColored64x2, 1, false);
  TKvZxSpectrumSpectraColor8x1x64x2Screen screen(s->GetMemory());
  TFewPairs8x1x64x2Image image(8, 2, *pic);
  TKvDestProgress progress;
  bool abort = false;
  r.Preview = image.Convert(&abort, *r.Options, &progress, &screen);
  ExpectRoundTrip(r);
}

// A colour usage of 2 left from the single-byte choice: the double-byte
// preview shows what the file holds.
TEST(KvSpectraRoundTrip, DoubleByteWithLeftOverColourUsage) {
  auto band = GradientPicture(256, 16, 32);
  for (const TKvDestEngineClass* cls : {&DestEngineClass<TKvZxSpectrumSpectra8x8Engine>(),
                                        &DestEngineClass<TKvZxSpectrumSpectra8x2Engine>()}) {
    SCOPED_TRACE(cls->GetModeName());
    auto r = ConvertPicture(*cls, *band, [](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptColored15x2);
      o.SetColorUsage(cuDarkOnlyForceBright);
    });
    ExpectRoundTrip(r);
  }
}

// The order among the ZX screen importers and the Spectra importers.
TEST(KvSpectraProbe, Ranking) {
  auto trailer = [](size_t ASize, uint8_t AMode) {
    std::vector<uint8_t> b(ASize, 0x55);
    b[ASize - 3] = 'P';
    b[ASize - 2] = 'S';
    b[ASize - 1] = AMode;
    return b;
  };
  struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
    Names Expected;
  } cases[] = {
      {"x.bin", trailer(6915, 0x84), {"TKvSpectraSourceEngine"}},
      {"x.dat", trailer(6915, 0x84), {"TKvSpectraSourceEngine"}},
      {"x.bin", trailer(6915, 0x08), {}},
      {"x.bin",
       std::vector<uint8_t>(6912, 0x55),
       {"TKvSpectraSource8x8x64x1Engine", "TKvSpectraSource8x8x16x1Engine", "TKvSpectraSource4x8x64x1Engine",
        "TKvSpectraSource4x8x16x1Engine", "TKvZxSpectrumColorEngine", "TKvZxSpectrumFlashColorEngine"}},
      {"x.scr",
       std::vector<uint8_t>(6912, 0x55),
       {"TKvZxSpectrumColorEngine", "TKvZxSpectrumFlashColorEngine", "TKvSpectraSource8x8x64x1Engine",
        "TKvSpectraSource8x8x16x1Engine", "TKvSpectraSource4x8x64x1Engine", "TKvSpectraSource4x8x16x1Engine"}},
      {"x.dat",
       std::vector<uint8_t>(16384, 0x55),
       {"TKvSpectraSource8x1x64x2Engine", "TKvSpectraSource8x1x16x2Engine", "TKvSpectraSource4x1x64x2Engine",
        "TKvSpectraSource4x1x16x2Engine"}},
  };
  for (auto& c : cases) {
    TProbe p(c.Name, c.Bytes);
    EXPECT_EQ(p.Classes(), c.Expected) << c.Name << " " << c.Bytes.size();
  }
  TProbe bin("x.bin", trailer(6915, 0x84));
  ASSERT_EQ(bin.List->GetCount(), 1);
  EXPECT_EQ(bin.List->GetEngine(0)->MatchFlags, 11);
  EXPECT_EQ(bin.List->GetEngine(0)->Description, "ZX Spectrum Spectra 256x192x6 4x8 SB image");
  TProbe dat("x.dat", trailer(6915, 0x84));
  EXPECT_EQ(dat.List->GetEngine(0)->MatchFlags, 9);
  TProbe raw("x.bin", std::vector<uint8_t>(6912));
  EXPECT_EQ(raw.List->GetEngine(0)->MatchFlags, 10);
  EXPECT_EQ(raw.List->GetEngine(4)->MatchFlags, 8);
  TProbe db("x.bin", std::vector<uint8_t>(16384));
  EXPECT_EQ(db.List->GetEngine(3)->Description, "ZX Spectrum Spectra 256x192x4 4x1 DB image");

  // The same order holds in the whole registry, whatever other platforms
  // read files of these sizes.
  InitializeImporters();
  for (auto& c : cases) {
    std::vector<uint8_t> bytes = c.Bytes;
    TKvMemoryLoadSource src(c.Name, bytes.data(), static_cast<int32_t>(bytes.size()), false);
    auto list = src.FindEngines();
    Names ours;
    for (int i = 0; i < list->GetCount(); ++i) {
      const std::string n = list->GetEngine(i)->ClassType().GetClassName();
      if (n.rfind("TKvSpectraSource", 0) == 0 || n == "TKvZxSpectrumColorEngine" ||
          n == "TKvZxSpectrumFlashColorEngine")
        ours.push_back(n);
    }
    EXPECT_EQ(ours, c.Expected) << c.Name << " " << c.Bytes.size();
  }
}

// Truncated, oversized, empty and corrupt files give no Spectra candidate.
TEST(KvSpectraProbe, BadFiles) {
  const int sizes[] = {6915, 7939, 9731, 11779, 11267, 15363, 14339, 16387};
  const uint8_t modes[] = {0x00, 0x08, 0x01, 0x09, 0x02, 0x0A, 0x03, 0x0B};
  auto spectra = [](const TProbe& p) {
    int n = 0;
    for (const std::string& c : p.Classes()) n += c.rfind("TKvSpectraSource", 0) == 0;
    return n;
  };
  for (int k = 0; k < 8; ++k) {
    SCOPED_TRACE(sizes[k]);
    for (int delta : {-1, 1}) {
      std::vector<uint8_t> b(static_cast<size_t>(sizes[k] + delta), 0);
      std::memcpy(b.data() + b.size() - 3, "PS", 2);
      b.back() = modes[k];
      // One byte off a trailer size is no memory image size either.
      EXPECT_EQ(spectra(TProbe("x.bin", b)), 0) << delta;
    }
    std::vector<uint8_t> b(static_cast<size_t>(sizes[k]), 0);
    std::memcpy(b.data() + b.size() - 3, "SP", 2);
    b.back() = modes[k];
    EXPECT_EQ(spectra(TProbe("x.bin", b)), 0);
    std::memcpy(b.data() + b.size() - 3, "PS", 2);
    EXPECT_EQ(spectra(TProbe("x.bin", b)), 1);
    for (uint8_t bad : {uint8_t(modes[k] ^ 0x08), uint8_t(modes[k] | 0x10), uint8_t(modes[k] | 0x40),
                        uint8_t((modes[k] + 1) & 3)}) {
      b.back() = bad;
      EXPECT_EQ(spectra(TProbe("x.bin", b)), 0) << std::hex << int(bad);
    }
  }
  for (size_t n : {0, 1, 3, 4, 6912 + 1, 200000}) EXPECT_EQ(spectra(TProbe("x.bin", std::vector<uint8_t>(n, 'P'))), 0) << n;
}

// Every mode decodes files of arbitrary content within their bytes.
TEST(KvSpectraImporter, ArbitraryContent) {
  uint32_t seed = 77;
  for (int code = 0; code < 4; ++code)
    for (bool dbl : {false, true}) {
      const int size = SpectraImageSize(code, dbl);
      std::vector<uint8_t> b(static_cast<size_t>(size) + 3);
      for (uint8_t& v : b) v = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
      for (uint8_t extra : {0x00, 0x04, 0x80, 0x84}) {
        b[b.size() - 3] = 'P';
        b[b.size() - 2] = 'S';
        b.back() = static_cast<uint8_t>(code | (dbl ? 8 : 0) | extra);
        TProbe withTrailer("x.bin", b);
        ASSERT_EQ(withTrailer.Classes().front(), "TKvSpectraSourceEngine");
        EXPECT_NE(withTrailer.List->GetEngine(0)->Decode(), nullptr);
      }
      TProbe raw("x.dat", std::vector<uint8_t>(b.begin(), b.begin() + size));
      int decoded = 0;
      for (int i = 0; i < raw.List->GetCount(); ++i)
        if (raw.Classes()[static_cast<size_t>(i)].rfind("TKvSpectraSource", 0) == 0) {
          EXPECT_NE(raw.List->GetEngine(i)->Decode(), nullptr);
          ++decoded;
        }
      EXPECT_EQ(decoded, 4);
    }
}

TEST(KvSpectraImporter, Decoding) {
  // 64 colours, single byte: attribute 0x45 gives ink 5 (red and blue at
  // level 89) and paper 42 (gray 185).
  std::vector<uint8_t> b(6915, 0);
  std::memcpy(b.data() + 6912, "PS\x04", 3);
  b[0] = 0xF0;
  b[6144] = 0x45;
  {
    TProbe p("x.bin", b);
    auto d = p.List->GetEngine(0)->Decode();
    EXPECT_EQ(d->GetPixel(0, 0), 5);
    EXPECT_EQ(d->GetPixel(4, 0), 42);
    EXPECT_EQ(d->Palette->GetStdRGB(5), StdRGBColor(0x59, 0, 0x59));
    EXPECT_EQ(d->Palette->GetStdRGB(42), StdRGBColor(0xB9, 0xB9, 0xB9));
  }
  // 16 colours, half width, single byte: the left half cell shows the colour
  // of bits 3-5, the right one that of bits 0-2, on black.
  b[6912 + 2] = 0x80;
  b[6144] = 0x40 | (2 << 3) | 5;
  b[0] = 0xA5;  // 1010 0101
  {
    TProbe p("x.bin", b);
    auto d = p.List->GetEngine(0)->Decode();
    const int row[8] = {10, 0, 10, 0, 0, 13, 0, 13};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(d->GetPixel(x, 0), row[x]) << x;
    EXPECT_EQ(d->Palette->GetCount(), 16);
    EXPECT_EQ(d->Palette->GetStdRGB(8), StdRGBColor(0, 0, 0));
  }
  // Mode 11 (8x1, 16 colours, double byte): lines 128 and 129 share their
  // attribute pair.
  std::vector<uint8_t> m(16387, 0);
  std::memcpy(m.data() + 16384, "PS\x0B", 3);
  m[ZxRowOffset(129)] = 0x80;
  m[6144] = 0x42;  // ink bright red
  m[7168] = 0x01;  // paper blue
  TProbe p("x.bin", m);
  auto d = p.List->GetEngine(0)->Decode();
  EXPECT_EQ(d->GetPixel(0, 128), 1);
  EXPECT_EQ(d->GetPixel(0, 129), 10);
  EXPECT_EQ(d->GetPixel(1, 129), 1);
  EXPECT_EQ(d->GetPixel(0, 130), d->GetPixel(0, 0));
}

}  // namespace
