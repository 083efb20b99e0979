#include <gtest/gtest.h>

#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformSymbOS.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& SymbOS() { return DestEngineClass<TKvSymbOSEngine>(); }

std::vector<uint8_t> Bytes(const TKvConversion& r) { return {r.Bytes(0), r.Bytes(0) + r.Size(0)}; }

TEST(KvSavePlatformSymbOS, RegisteredAndEvenColourWidth) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("SymbOS");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "");
  EXPECT_LT(list.IndexOf("Specialist"), p);
  auto o = SymbOS().Create()->CreateOptions();
  o->SetWidth(301);
  EXPECT_EQ(o->GetWidth(), 302);
  o->SetPaletteMode(pmGray);
  o->UpdatePalette();
  o->SetWidth(301);
  EXPECT_EQ(o->GetWidth(), 301);
  EXPECT_EQ(o->GetPalette()->GetStdRGB(1), StdRGBColor(85, 85, 85));
  o->SetPaletteMode(pmColor);
  o->UpdatePalette();
  EXPECT_EQ(o->GetWidth(), 302);
  EXPECT_EQ(o->GetPalette()->Count, 16);
  EXPECT_EQ(o->GetPalette()->GetStdRGB(0), StdRGBColor(255, 255, 188));
}

TEST(KvSavePlatformSymbOS, GrayTileRows) {
  auto pic = GradientPicture(300, 300, 5);
  auto r = ConvertPicture(SymbOS(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.UpdatePalette();
  });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "sgx");
  auto d = Bytes(r);
  // Tile data: 63 * 255, 12 * 255, then 63 * 45 and 12 * 45 bytes.
  const size_t t2 = 3 + 63 * 255, sep = t2 + 3 + 12 * 255, t3 = sep + 3, t4 = t3 + 3 + 63 * 45,
               end = t4 + 3 + 12 * 45;
  ASSERT_EQ(d.size(), end + 3);
  EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 3), (std::vector<uint8_t>{63, 252, 255}));
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + t2, d.begin() + t2 + 3), (std::vector<uint8_t>{12, 48, 255}));
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + sep, d.begin() + sep + 3), (std::vector<uint8_t>{0xFF, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + t3, d.begin() + t3 + 3), (std::vector<uint8_t>{63, 252, 45}));
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + t4, d.begin() + t4 + 3), (std::vector<uint8_t>{12, 48, 45}));
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + end, d.end()), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(KvSavePlatformSymbOS, ColourTilesAndBlackWhiteBytes) {
  auto pic = GradientPicture(1000, 150, 6);
  auto r = ConvertPicture(SymbOS(), *pic);
  auto d = Bytes(r);
  EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 8),
            (std::vector<uint8_t>{0x40, 5, 0xFE, 0, 0xFC, 1, 0x64, 0}));
  const size_t t2 = 8 + 254 * 100;
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + t2, d.begin() + t2 + 8),
            (std::vector<uint8_t>{0x40, 5, 246, 0, 0xEC, 1, 100, 0}));
  EXPECT_EQ(d.size(), size_t(8 + 254 * 100 + 8 + 246 * 100 + 3 + 8 + 254 * 50 + 8 + 246 * 50 + 3));
  // Black on the left, white on the right.
  auto bw = SolidPicture(8, 2, 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 4; x < 8; ++x) *bw->GetPixelPtr(x, y) = 0xFFFFFFFF;
  auto b = ConvertPicture(SymbOS(), *bw, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{2, 8, 2, 0xF0, 0x00, 0xF0, 0x00, 0, 0, 0}));
  auto thin = SolidPicture(1, 3, 0x808080);
  auto t = ConvertPicture(SymbOS(), *thin, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.UpdatePalette();
  });
  EXPECT_EQ(Bytes(t).size(), 3u + 3 + 3);
  EXPECT_EQ(Bytes(t)[0], 1);
}

}  // namespace
