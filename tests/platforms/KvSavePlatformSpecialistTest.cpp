#include <gtest/gtest.h>

#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformSpecialist.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Specialist() { return DestEngineClass<TKvSpecialistEngine>(); }
const TKvDestEngineClass& MX() { return DestEngineClass<TKvSpecialistMXEngine>(); }

TEST(KvSavePlatformSpecialist, RegisteredModesAndOptions) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Specialist");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 2);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "384x256");
  EXPECT_EQ(list.GetSubTypes(p).GetString(1), "384x256 MX");
  auto o = Specialist().Create()->CreateOptions();
  o->SetWidth(100);
  o->SetHeight(100);
  EXPECT_EQ(o->GetWidth(), 384);
  EXPECT_EQ(o->GetHeight(), 256);
  EXPECT_EQ(o->PaletteMode, 5);
  EXPECT_EQ(o->GetCellWidth(), 8);
  EXPECT_EQ(o->PixelAspect, 9);
  EXPECT_EQ(MX().Create()->CreateOptions()->PaletteMode, 11);
  struct {
    int Mode, Colors, Candidates;
  } cases[] = {{1, 4, 10}, {4, 5, 5}, {5, 8, 8}, {11, 16, 136}};
  TKvPalette256 pal;
  for (auto& c : cases) {
    BuildSpecialistPalette(pal, c.Mode);
    EXPECT_EQ(pal.Count, c.Colors) << c.Mode;
    EXPECT_EQ(TKvSpecialistColorPaletteList(pal, c.Mode).GetCount(), c.Candidates) << c.Mode;
  }
  BuildSpecialistPalette(pal, 0);
  EXPECT_EQ(pal.Count, 2);
  EXPECT_THROW(BuildSpecialistPalette(pal, 2), EOSError);
  EXPECT_THROW(TKvSpecialistColorPaletteList(pal, 0), EOSError);
}

TEST(KvSavePlatformSpecialist, BlackWhiteFileColumnByColumn) {
  // Row 0: pixels 8..15 white, the rest black.
  auto pic = SolidPicture(384, 256, 0);
  for (int x = 8; x < 16; ++x) *pic->GetPixelPtr(x, 0) = 0xFFFFFFFF;
  auto r = ConvertPicture(Specialist(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
    o.SetErrorDiffusion(0);
  });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "sps");
  ASSERT_EQ(r.Size(0), 12288);
  EXPECT_EQ(r.Bytes(0)[256], 0xFF);
  EXPECT_EQ(r.Bytes(0)[0], 0);
  EXPECT_EQ(r.Bytes(0)[1], 0);
  EXPECT_EQ(r.Bytes(0)[257], 0);
}

TEST(KvSavePlatformSpecialist, ColourModesGivePreviewOnly) {
  auto pic = GradientPicture(384, 16, 8);
  auto r = ConvertPicture(Specialist(), *pic);
  EXPECT_EQ(r.Streams, nullptr);
  ASSERT_NE(r.Preview, nullptr);
  // "5 colors": black paper (4) with one colour in every cell.
  auto five = ConvertPicture(Specialist(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pm5Colors);
    o.UpdatePalette();
  });
  for (int y = 0; y < 16; ++y)
    for (int cx = 0; cx < 48; ++cx) {
      int other = -1;
      for (int x = cx * 8; x < cx * 8 + 8; ++x) {
        const int v = five.Preview->GetPixel(x, y);
        if (v == 4) continue;
        ASSERT_TRUE(other < 0 || other == v) << cx << "," << y;
        other = v;
      }
    }
  auto gray = ConvertPicture(MX(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.UpdatePalette();
  });
  EXPECT_EQ(gray.Streams, nullptr);
  for (int x = 0; x < 384; ++x) ASSERT_LT(gray.Preview->GetPixel(x, 5), 4);
}

}  // namespace
