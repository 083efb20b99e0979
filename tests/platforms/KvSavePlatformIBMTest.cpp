#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "app/KvPanelSections.h"
#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformIBM.h"
#include "KvTestHarness.h"

namespace {

TEST(KvSavePlatformIBM, RegisteredModesMakeNoStreamAndGridsRefuseDrops) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("IBM");
  ASSERT_GE(p, 0);
  EXPECT_LT(list.IndexOf("eLeMeNt ZX"), p);
  EXPECT_LT(p, list.IndexOf("Irisha"));
  const std::vector<std::string> names = {"CGA 320x200x2", "CGA 640x200x1", "EGA 320x200x4", "EGA 640x200x4",
                                          "EGA 640x350x4", "VGA 320x200x8", "VGA 640x480x4"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 7);
  auto pic = GradientPicture(32, 16, 4);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(list.GetSubTypes(p).GetString(i), names[i]);
    auto& cls = *static_cast<const TKvDestEngineClass*>(list.GetSubTypes(p).GetObject(i));
    auto r = ConvertPicture(cls, *pic);
    ASSERT_NE(r.Preview, nullptr) << names[i];
    EXPECT_EQ(r.Preview->Width, 32);
    EXPECT_TRUE(!r.Streams || r.Streams->GetCount() == 0) << names[i];
    // The result palette grid follows the conversion and is linked to no
    // palette list: a palette file dropped on it would go nowhere.
    auto engine = cls.Create();
    auto options = engine->CreateOptions();
    auto ui = engine->CreateUI(options.get());
    const auto& sections = dynamic_cast<TKvDestEngineUIEx&>(*ui).GetSections();
    const auto grid = std::find_if(sections.begin(), sections.end(), [](const TKvPanelSection& s) {
      return s.Kind == TKvPanelSectionKind::DestPalette;
    });
    if (names[i] != "CGA 640x200x1") {
      ASSERT_NE(grid, sections.end()) << names[i];
      EXPECT_TRUE(grid->Flag) << names[i];
    }
  }
}

TEST(KvSavePlatformIBM, CGAPalettes) {
  auto o = DestEngineClass<TKvCGAEngine>().Create()->CreateOptions();
  EXPECT_EQ(o->PaletteType, ptAuto);
  EXPECT_EQ(o->GetPalette()->Count, 0);
  o->BeginUpdate();
  o->SetPaletteType(ptBackCyanMagentaWhiteLow);
  o->SetBorderIndex(14);
  o->EndUpdate();
  const TKvPalette256& p = *o->GetPalette();
  ASSERT_EQ(p.Count, 4);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(0, 0xAA, 0xAA));
  EXPECT_EQ(p.GetStdRGB(2), StdRGBColor(0xAA, 0, 0xAA));
  EXPECT_EQ(p.GetStdRGB(3), StdRGBColor(0xAA, 0xAA, 0xAA));
  EXPECT_STREQ(CGAColors[8].Name, "Blue");
  EXPECT_EQ(CGAColors[8].B, 0xFF);
  TKvPalette256 scratch;
  EXPECT_THROW(BuildCGAPalette(ptAuto, 0, scratch), std::exception);
}

// "Auto" tries 44, 46 and 48 with a black background; ties keep the earlier.
TEST(KvSavePlatformIBM, CGAAutoChoosesByErrorEarlierOnTies) {
  struct {
    uint32_t Color;
    std::vector<TKvStdRGBColor> Expected;
  } cases[] = {
      // Black fits every candidate exactly: 44 wins.
      {0x000000, {StdRGBColor(0, 0, 0), StdRGBColor(0x55, 0xFF, 0x55), StdRGBColor(0xFF, 0x55, 0x55),
                  StdRGBColor(0xFF, 0xFF, 0x55)}},
      // Magenta is only in 46.
      {0xFF55FF, {StdRGBColor(0, 0, 0), StdRGBColor(0x55, 0xFF, 0xFF), StdRGBColor(0xFF, 0x55, 0xFF),
                  StdRGBColor(0xFF, 0xFF, 0xFF)}},
      // White is in 46 and 48: 46 wins.
      {0xFFFFFF, {StdRGBColor(0, 0, 0), StdRGBColor(0x55, 0xFF, 0xFF), StdRGBColor(0xFF, 0x55, 0xFF),
                  StdRGBColor(0xFF, 0xFF, 0xFF)}},
  };
  for (int procs : {1, 4}) {
    TKvProcessorCountOverride LProcs(procs);
    for (auto& c : cases) {
      auto pic = SolidPicture(40, 20, c.Color);
      auto r = ConvertPicture(DestEngineClass<TKvCGAEngine>(), *pic, [](TKvDestEngineOptions& o) {
        o.SetBorderIndex(8);  // "Blue" plays no part
      });
      const TKvPalette256& p = *r.Options->GetPalette();
      ASSERT_EQ(p.Count, 4);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(p.GetStdRGB(i), c.Expected[i]) << std::hex << c.Color << " " << i;
      EXPECT_EQ(r.Options->BorderIndex, 0);
      EXPECT_EQ(r.Options->GetPalette()->GetStdRGB(r.Preview->GetPixel(3, 3)),
                StdRGBColor(c.Color >> 16, (c.Color >> 8) & 255, c.Color & 255));
    }
  }
}

TEST(KvSavePlatformIBM, EGAAndVGAColourLimits) {
  auto pic = GradientPicture(64, 32, 9);
  auto gray = ConvertPicture(DestEngineClass<TKvEGA320x200Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.SetMaxColorCount(256);
  });
  EXPECT_LE(gray.Options->GetPalette()->Count, 16);
  auto ega = ConvertPicture(DestEngineClass<TKvEGA640x350Engine>(), *pic);
  const TKvPalette256& e = *ega.Options->GetPalette();
  ASSERT_GT(e.Count, 2);
  EXPECT_LE(e.Count, 16);
  for (int i = 0; i < e.Count; ++i) {
    const TKvStdRGBColor c = e.GetStdRGB(i);
    for (uint8_t v : {c.R, c.G, c.B}) EXPECT_EQ(v % 0x55, 0);
  }
  auto vga = ConvertPicture(DestEngineClass<TKvVGA320x200Engine>(), *pic);
  const TKvPalette256& v = *vga.Options->GetPalette();
  ASSERT_GT(v.Count, 16);
  EXPECT_LE(v.Count, 256);
  auto levels = TKvPaletteRGB::CreateBits(6, 6, 6, false);
  for (int i = 0; i < v.Count; ++i) {
    const TKvStdRGBColor c = v.GetStdRGB(i);
    EXPECT_EQ(levels->GetStdRGB(levels->FindNearest(v.GetLinRGB(i))), c);
  }
  // VGA 640x480 runs the same routine: the same result at the same options.
  auto setup = [](TKvDestEngineOptions& o) {
    o.SetPixelAspect(pa1_1);
    o.SetMaxColorCount(16);
  };
  auto a = ConvertPicture(DestEngineClass<TKvVGA320x200Engine>(), *pic, setup);
  auto b = ConvertPicture(DestEngineClass<TKvVGA640x480Engine>(), *pic, setup);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(a.Preview->GetPixelStdRGB(x, y), b.Preview->GetPixelStdRGB(x, y));
  auto bad = DestEngineClass<TKvEGA320x200Engine>().Create()->CreateOptions();
  bad->SetPaletteMode(pm8Colors);
  TKvDestProgress progress;
  bool abort = false;
  std::unique_ptr<TKvStreamList> streams;
  EXPECT_THROW(DestEngineClass<TKvEGA320x200Engine>().Convert(&abort, *pic, nullptr, nullptr, *bad, progress, streams),
               std::exception);
}

}  // namespace
