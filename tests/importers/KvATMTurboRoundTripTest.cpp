// ATM Turbo ".grf" pictures written by the converter open again through the
// importer probe as the best candidate with the preview's colours; damaged
// attribute runs and headers give no candidate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "platforms/KvPlatformATMTurbo.h"
#include "platforms/KvSavePlatformATMTurbo.h"

namespace {

const char* const kATM = "TKvATMTurboMultiColorEngine";

void ExpectSameColors(TKvBitmap& ADecoded, TKvBitmap& APreview) {
  ASSERT_EQ(ADecoded.Width, APreview.Width);
  ASSERT_EQ(ADecoded.Height, APreview.Height);
  EXPECT_EQ(CountColorDiffs(ADecoded, APreview), 0);
}

TKvSourceEngine* OpenFirst(TKvProbe& AProbe, TKvMatchFlags AFlags) {
  EXPECT_GT(AProbe.List->GetCount(), 0);
  if (AProbe.List->GetCount() == 0) return nullptr;
  TKvSourceEngine* e = AProbe.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), kATM);
  EXPECT_EQ(e->MatchFlags, AFlags);
  return e;
}

// The picture read straight from the file's documented layout, without the
// importer or the shared attribute routines: palette digits green, red,
// blue; pixel bytes column by column; the attributes run-length encoded in
// the same order.
void ExpectLayoutColors(const std::vector<uint8_t>& d, TKvBitmap& APreview) {
  static const uint8_t kLevels[4] = {0, 85, 170, 255};
  const int B = d[130], H = d[131];
  ASSERT_EQ(APreview.Width, 8 * B);
  std::vector<uint8_t> attrs;
  for (size_t o = 132 + static_cast<size_t>(B) * H; o + 1 < d.size(); o += 2) attrs.insert(attrs.end(), d[o], d[o + 1]);
  ASSERT_EQ(attrs.size(), static_cast<size_t>(B) * H);
  int diffs = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < 8 * B; ++x) {
      const size_t at = static_cast<size_t>(x / 8) * H + y;
      const uint8_t a = attrs[at];
      const int ink = (a & 7) + 8 * ((a >> 6) & 1), paper = ((a >> 3) & 7) + 8 * (a >> 7);
      const int v = (d[132 + at] >> (7 - x % 8)) & 1 ? ink : paper;
      const uint8_t* e = d.data() + 3 * v;
      const TKvStdRGBColor c = StdRGBColor(kLevels[e[1] - '0'], kLevels[e[0] - '0'], kLevels[e[2] - '0']);
      if (!(c == APreview.Palette->GetStdRGB(APreview.GetPixel(x, y)))) ++diffs;
    }
  EXPECT_EQ(diffs, 0) << "read from the layout";
}

TEST(KvATMTurboRoundTrip, EveryModeAndSize) {
  TKvProcessorCountOverride one(1);
  const auto& multi = DestEngineClass<TKvATMMultiColorEngine>();
  struct {
    int Width, Height;
    TKvPaletteMode Mode;
  } cases[] = {
      {640, 200, pmBlackWhite}, {640, 40, pmColor}, {640, 40, pmGray}, {640, 40, pmCustom}, {633, 24, pmColor}};
  for (auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height) + " mode " + std::to_string(c.Mode));
    auto options = multi.Create()->CreateOptions();
    options->SetWidth(c.Width);
    auto pic = GradientPicture(options->GetWidth(), c.Height, static_cast<uint32_t>(c.Mode + c.Height));
    auto r = ConvertPicture(multi, *pic, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(c.Mode); });
    TKvProbe probe("pic.grf", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    TKvSourceEngine* e = OpenFirst(probe, mfHeader | mfExtension | mfSize);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Description,
              "ATM Turbo " + std::to_string(options->GetWidth()) + "x" + std::to_string(c.Height) + "x4 multicolor image");
    auto decoded = e->Decode();
    ExpectSameColors(*decoded, *r.Preview);
    ExpectLayoutColors(std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)), *r.Preview);
  }
  // A small uniform picture is a single run: W*H + 134 bytes.
  auto solid = SolidPicture(64, 8, 0x55AAFF);
  auto r = ConvertPicture(multi, *solid, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor); });
  ASSERT_EQ(r.Size(0), 64 / 8 * 8 + 134);
  TKvProbe probe("one.grf", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
  TKvSourceEngine* e = OpenFirst(probe, mfHeader | mfExtension | mfSize);
  ASSERT_NE(e, nullptr);
  ExpectSameColors(*e->Decode(), *r.Preview);
}

// A header for B byte columns and H rows, W*H pixel bytes, then ARuns.
std::vector<uint8_t> ATMFile(int B, int H, std::vector<uint8_t> ARuns) {
  std::vector<uint8_t> d(ATMGrfHeaderSize, 0);
  InitATMGrfHeader(d.data(), 8 * B, H);
  d[130] = static_cast<uint8_t>(B);
  d.resize(d.size() + static_cast<size_t>(B) * H, 0xA5);
  d.insert(d.end(), ARuns.begin(), ARuns.end());
  return d;
}

TEST(KvATMTurboRoundTrip, RankingAndBadFiles) {
  struct {
    const char* What;
    const char* Name;
    std::vector<uint8_t> Bytes;
    TKvMatchFlags Flags;  // 0: not offered
  } cases[] = {
      {"one exact run", "x.grf", ATMFile(4, 5, {20, 0x47}), mfHeader | mfExtension | mfSize},
      {"one exact run, other name", "x.bin", ATMFile(4, 5, {20, 0x47}), mfHeader | mfSize},
      {"one run too long", "x.grf", ATMFile(4, 5, {21, 0x47}), mfHeader | mfExtension},
      {"two runs and bytes after", "x.grf", ATMFile(4, 5, {12, 1, 8, 2, 9, 9, 9}), mfHeader | mfExtension | mfSize},
      {"runs short of W*H", "x.grf", ATMFile(4, 5, {12, 1, 7, 2}), 0},
      {"run of count 0", "x.grf", ATMFile(4, 5, {0, 1, 20, 2}), 0},
      {"half a pair", "x.grf", ATMFile(4, 5, {12, 1, 8}), 0},
      {"W = 0", "x.grf", ATMFile(0, 5, {20, 1, 20, 1}), 0},
      {"W above 128", "x.grf", ATMFile(129, 1, {129, 1}), 0},
      {"H = 0", "x.grf", ATMFile(4, 0, {20, 1, 20, 1}), 0},
      {"no runs", "x.grf", ATMFile(4, 5, {}), 0},
      {"header only", "x.grf", ATMFile(0, 0, {}), 0},
      {"empty", "x.grf", {}, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.What);
    TKvProbe probe(c.Name, c.Bytes);
    EXPECT_EQ(probe.Flags(kATM), c.Flags);
    if (c.Flags != 0) {
      EXPECT_EQ(probe.Position(kATM), 0);
      auto b = probe.Find(kATM)->Decode();
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->Width, 32);
    }
  }
  // A bad digit in the palette.
  auto d = ATMFile(4, 5, {20, 1});
  d[40] = 'x';
  TKvProbe bad("x.grf", d);
  EXPECT_EQ(bad.Flags(kATM), 0);
}

// Runs that end before the picture leave attribute 0 (black on black with
// the default digits); a long run stops at the picture's end.
TEST(KvATMTurboRoundTrip, DecodeStopsAtTheRuns) {
  auto d = ATMFile(1, 2, {1, 0x38, 5, 0x38});
  TKvProbe probe("x.grf", d);
  auto b = probe.Find(kATM)->Decode();
  // Pixel bytes 0xA5: bit 7 set shows ink 0, bit 6 clear paper 7.
  EXPECT_EQ(b->GetPixel(0, 0), 0);
  EXPECT_EQ(b->GetPixel(1, 0), 7);
  EXPECT_EQ(b->GetPixel(1, 1), 7);
}

}  // namespace
