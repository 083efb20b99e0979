#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformSymbOS.h"
#include "platforms/KvSavePlatformSymbOS.h"

namespace {

const char* const kSymbOS = "TKvSymbOS4Engine";

// Two 4-colour tiles of 4 x 2 side by side, one row of 8 x 2 more.
std::vector<uint8_t> SmallGray() {
  return {1, 4, 2, 0xF0, 0x0F, 1, 4, 2, 0x00, 0x8F, 0xFF, 0, 0, 2, 8, 1, 0xAA, 0x55, 0, 0, 0};
}

TEST(KvOpenPlatformSymbOS, ParsesAndDecodesGray) {
  TKvProbe probe("a.sgx", SmallGray());
  ASSERT_EQ(probe.Flags(kSymbOS), 3);
  TKvSourceEngine* e = probe.Find(kSymbOS);
  EXPECT_EQ(e->Description, "SymbOS 8x3x2 gray image");
  EXPECT_EQ(e->GetPaletteTypeCount(), 0);
  auto b = e->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(85, 85, 85));
  const int row0[8] = {0, 0, 0, 0, 3, 3, 3, 3};
  const int row1[8] = {2, 2, 2, 2, 1, 2, 2, 2};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(b->GetPixel(x, 0), row0[x]) << x;
    EXPECT_EQ(b->GetPixel(x, 1), row1[x]) << x;
  }
  // Without the terminator the file still reads.
  auto cut = SmallGray();
  cut.resize(cut.size() - 3);
  EXPECT_EQ(TKvProbe("a.sgx", cut).Flags(kSymbOS), 3);
  EXPECT_EQ(TKvProbe("a.bin", SmallGray()).Flags(kSymbOS), 0);
}

TEST(KvOpenPlatformSymbOS, RefusesBrokenStructure) {
  // The second row 4 pixels narrower than the first.
  std::vector<uint8_t> narrower = {1, 4, 2, 0xF0, 0x0F, 1, 4, 2, 0x00, 0x8F, 0xFF, 0, 0, 1, 4, 1, 0xAA, 0, 0, 0};
  auto zeroHeight = SmallGray();
  zeroHeight[2] = 0;
  auto wrongBytes = SmallGray();
  wrongBytes[0] = 2;
  auto longTile = SmallGray();
  longTile[15] = 200;  // more lines than the data holds
  auto otherHeight = SmallGray();
  otherHeight[7] = 1;
  std::vector<std::vector<uint8_t>> bad = {narrower, zeroHeight, wrongBytes, longTile, otherHeight, {}, {0, 0, 0},
                                           {64, 1, 2}, {0x41, 5, 1, 0, 2, 0, 1, 0, 0xAB}, {0x80, 1, 1}};
  // A colour tile whose bytes-per-line value does not fit its width.
  bad.push_back({0x40, 5, 2, 0, 2, 0, 1, 0, 0xAB});
  for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(TKvProbe("a.sgx", bad[i]).Flags(kSymbOS), 0) << i;
  std::vector<uint8_t> colour = {0x40, 5, 1, 0, 2, 0, 1, 0, 0xAB, 0, 0, 0};
  TKvProbe ok("a.sgx", colour);
  ASSERT_EQ(ok.Flags(kSymbOS), 3);
  EXPECT_EQ(ok.Find(kSymbOS)->Description, "SymbOS 2x1x4 color image");
  EXPECT_EQ(ok.Find(kSymbOS)->GetPaletteTypeCount(), 3);
}

TEST(KvOpenPlatformSymbOS, RoundTrips) {
  struct {
    TKvPaletteMode Mode;
    int Width, Height;
  } cases[] = {{pmBlackWhite, 301, 260}, {pmGray, 300, 300}, {pmColor, 1000, 150}, {pmColor, 6, 4}};
  for (auto& c : cases) {
    auto pic = GradientPicture(c.Width, c.Height, 7);
    auto r = ConvertPicture(DestEngineClass<TKvSymbOSEngine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(c.Mode);
      o.UpdatePalette();
    });
    TKvProbe probe("p.sgx", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_EQ(probe.Flags(kSymbOS), 3) << static_cast<int>(c.Mode);
    auto b = probe.Find(kSymbOS)->Decode();
    ASSERT_EQ(b->Width, c.Width);
    ASSERT_EQ(b->Height, c.Height);
    EXPECT_EQ(CountColorDiffs(*b, *r.Preview), 0) << static_cast<int>(c.Mode);
  }
}

}  // namespace
