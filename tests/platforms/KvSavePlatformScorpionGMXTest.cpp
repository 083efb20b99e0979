#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "core/KvCellImage.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformScorpionGMX.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformScorpionGMX.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Gmx640() { return DestEngineClass<TKvScorpionGMX640Engine>(); }
const TKvDestEngineClass& Gmx160() { return DestEngineClass<TKvScorpionGMX160Engine>(); }

TEST(KvSavePlatformScorpionGMX, HeaderRoutines) {
  uint8_t h[GmxHeaderSize];
  std::fill(std::begin(h), std::end(h), 0xEE);
  InitGmxHeader(h);
  EXPECT_EQ(std::vector<uint8_t>(h, h + 5), (std::vector<uint8_t>{0x47, 0x4D, 0x58, 0x0F, 0x00}));
  EXPECT_EQ(std::count(h + 5, h + GmxHeaderSize, 0), GmxHeaderSize - 5);
  EXPECT_TRUE(CheckGmxHeader(TKvBytes(h, GmxHeaderSize)));
  for (int i = 0; i < 5; ++i) {
    h[i] ^= 1;
    EXPECT_FALSE(CheckGmxHeader(TKvBytes(h, GmxHeaderSize))) << i;
    h[i] ^= 1;
  }
}

TEST(KvSavePlatformScorpionGMX, FileSizesAndUnusedBytes) {
  TKvProcessorCountOverride one(1);
  // Small pictures fill the top-left of the screen; the file is whole.
  auto pic = GradientPicture(64, 16, 3);
  auto r = ConvertPicture(Gmx640(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "c");
  ASSERT_EQ(r.Size(0), 32768);
  EXPECT_EQ(std::count(r.Bytes(0) + 16000, r.Bytes(0) + 16384, 0), 384);
  EXPECT_EQ(std::count(r.Bytes(0) + 32384, r.Bytes(0) + 32768, 71), 384);
  EXPECT_EQ(r.Options->PixelAspect, pa1_2);
  EXPECT_EQ(r.Options->DitherMethod, 2);

  auto pic160 = GradientPicture(48, 20, 3);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    auto s = ConvertPicture(Gmx160(), *pic160, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ASSERT_EQ(s.Size(0), 16128) << int(mode);
    EXPECT_TRUE(CheckGmxHeader(TKvBytes(s.Bytes(0), s.Size(0))));
    EXPECT_EQ(std::count(s.Bytes(0) + 5, s.Bytes(0) + 128, 0), 123);
    EXPECT_EQ(s.Options->PixelAspect, pa2_1);
    for (int i = 128; i < 16128; ++i) ASSERT_EQ(s.Bytes(0)[i] & 0x80, 0) << i;
  }
}

// Two pixels per byte: the pattern of the cell chooses paper or ink for
// each half, and the attribute's bright bit covers both.
TEST(KvSavePlatformScorpionGMX, Screen160Bytes) {
  std::vector<uint8_t> d(TKvScorpionGMX160Screen::GetDataSize(), 0xAA);
  TKvScorpionGMX160Screen s(d.data(), false);
  EXPECT_TRUE(CheckGmxHeader(TKvBytes(d)));
  const int attr = 0x40 | (2 << 3) | 5;  // paper 2, ink 5, bright
  struct {
    int Left, Right;
    uint8_t Byte;
  } cases[] = {{0, 0, 0x40 | 2 << 3 | 2}, {1, 0, 0x40 | 5 << 3 | 2}, {0, 1, 0x40 | 2 << 3 | 5}, {1, 1, 0x40 | 5 << 3 | 5}};
  for (auto& c : cases) {
    s.SetPixel(0, 3, c.Left);
    s.SetPixel(1, 3, c.Right);
    s.SetAttr(0, 3, attr);
    EXPECT_EQ(d[128 + 3 * 80], c.Byte) << c.Left << c.Right;
  }
  // Mirrored rows address the cells from the right.
  s.MirrorX = true;
  s.SetPixel(0, 1, 1);  // physical column 159: the right pixel
  s.SetPixel(1, 1, 0);
  s.SetAttr(0, 1, 2 << 3 | 5);
  EXPECT_EQ(d[128 + 80 + 79], 2 << 3 | 5);
  EXPECT_THROW(s.GetPixel(0, 0), Exception);

  TKvScorpionGMX160Screen direct(d.data(), true);
  direct.SetPixel(2, 0, 1);
  EXPECT_EQ(d[129], 0x78);
  direct.SetPixel(3, 0, 1);
  EXPECT_EQ(d[129], 0x7F);
  direct.SetPixel(2, 0, 0);
  EXPECT_EQ(d[129], 0x47);
}

TEST(KvSavePlatformScorpionGMX, BlackAndWhite160UsesFourBytes) {
  auto pic = GradientPicture(160, 200, 4);
  auto r = ConvertPicture(Gmx160(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  std::set<int> bytes(r.Bytes(0) + 128, r.Bytes(0) + 16128);
  EXPECT_EQ(bytes, (std::set<int>{0x40, 0x47, 0x78, 0x7F}));
  auto w = ConvertPicture(Gmx640(), *SolidPicture(640, 200, 0xFFFFFF),
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  EXPECT_EQ(std::count(w.Bytes(0), w.Bytes(0) + 16000, 0xFF), 16000);
  EXPECT_EQ(std::count(w.Bytes(0) + 16384, w.Bytes(0) + 32768, 71), 16384);
}

TEST(KvSavePlatformScorpionGMX, ColourUsageRules) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(160, 40, 6);
  for (TKvColorUsage usage : {cuDarkOnly, cuDarkOnlyForceBright, cuBrightOnly}) {
    auto r = ConvertPicture(Gmx160(), *pic, [&](TKvDestEngineOptions& o) { o.SetColorUsage(usage); });
    for (int i = 128; i < 128 + 40 * 80; ++i)
      ASSERT_EQ((r.Bytes(0)[i] & 0x40) != 0, usage != cuDarkOnly) << int(usage) << " " << i;
    // The preview shows what the machine shows: forced bright raises every
    // colour.
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 160; ++x) ASSERT_EQ(r.Preview->GetPixel(x, y) > 7, usage != cuDarkOnly) << x << " " << y;
  }
  auto pic640 = GradientPicture(640, 8, 6);
  auto r = ConvertPicture(Gmx640(), *pic640, [](TKvDestEngineOptions& o) { o.SetColorUsage(cuDarkOnlyForceBright); });
  for (int i = 16384; i < 16384 + 8 * 80; ++i) ASSERT_EQ(r.Bytes(0)[i] & 0x40, 0x40) << i;
}

TEST(KvSavePlatformScorpionGMX, GrayModeShowsTheFourGrays) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(640, 16, 8);
  auto r = ConvertPicture(Gmx640(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  EXPECT_EQ(r.Options->GetPalette()->Count, 4);
  for (int i = 16384; i < 16384 + 16 * 80; ++i) {
    const int paper = (r.Bytes(0)[i] >> 3) & 7, ink = r.Bytes(0)[i] & 7;
    ASSERT_TRUE((paper == 0 || paper == 7) && (ink == 0 || ink == 7)) << i;
  }
}

TEST(KvSavePlatformScorpionGMX, SameBytesOnOneAndManyProcessors) {
  const int64_t saved = KvCellMinJobWork;
  KvCellMinJobWork = 1;
  for (const TKvDestEngineClass* c : {&Gmx640(), &Gmx160()}) {
    auto pic = GradientPicture(64, 24, 9);
    std::vector<uint8_t> one, many;
    {
      TKvProcessorCountOverride o(1);
      auto r = ConvertPicture(*c, *pic);
      one.assign(r.Bytes(0), r.Bytes(0) + r.Size(0));
    }
    {
      TKvProcessorCountOverride o(4);
      auto r = ConvertPicture(*c, *pic);
      many.assign(r.Bytes(0), r.Bytes(0) + r.Size(0));
    }
    EXPECT_EQ(one, many) << c->GetModeName();
  }
  KvCellMinJobWork = saved;
}

TEST(KvSavePlatformScorpionGMX, ModesAndPanel) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int gmx = l.IndexOf("Scorpion GMX");
  ASSERT_GE(gmx, 1);
  EXPECT_LT(gmx, l.IndexOf("Timex"));
  auto& modes = l.GetSubTypes(gmx);
  ASSERT_EQ(modes.GetCount(), 2);
  EXPECT_EQ(modes.GetString(0), "640x200x4");
  EXPECT_EQ(modes.GetString(1), "160x200x4");

  auto e = Gmx160().Create();
  auto o = e->CreateOptions();
  EXPECT_EQ(o->GetWidth(), 160);
  o->SetWidth(100);
  EXPECT_EQ(o->GetWidth(), 160);
  EXPECT_EQ(o->GetCellWidth(), 2);
  EXPECT_EQ(o->GetCellHeight(), 1);
  EXPECT_FALSE(o->LimitErrorInsideBlock || o->LimitErrorAtBlockBoundary);
  EXPECT_EQ(o->GetPalette()->Count, 16);
  auto ui = e->CreateUI(o.get());
  using K = TKvPanelSectionKind;
  std::vector<std::pair<K, uint32_t>> kinds;
  for (auto& s : dynamic_cast<TKvDestEngineUIEx&>(*ui).GetSections()) kinds.push_back({s.Kind, s.Set});
  EXPECT_EQ(kinds,
            (std::vector<std::pair<K, uint32_t>>{{K::Position, 0},
                                                 {K::ZxPalette, PaletteModes(pmBlackWhite, pmGray, pmColor).Bits},
                                                 {K::ColorUsage, 0},
                                                 {K::Dithering, 0}}));
  std::vector<std::tuple<TKvControlId, int, TKvControlId, bool>> related;
  for (auto& r : dynamic_cast<TKvDestEngineUIEx&>(*ui).GetRelated())
    related.emplace_back(r.Master, r.ItemIndex, r.Control, r.Inverse);
  EXPECT_EQ(related, (std::vector<std::tuple<TKvControlId, int, TKvControlId, bool>>{
                         {pcModeCombo, 2, pcColorUsageLabel, false},
                         {pcModeCombo, 2, pcColorUsageCombo, false},
                         {pcModeCombo, 0, pcLimitInsideCheckBox, true},
                         {pcModeCombo, 0, pcLimitBoundaryCheckBox, true}}));
}

}  // namespace
