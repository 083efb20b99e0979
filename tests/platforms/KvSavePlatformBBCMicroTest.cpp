#include <gtest/gtest.h>

#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformBBCMicro.h"
#include "KvTestHarness.h"

namespace {

TEST(KvSavePlatformBBCMicro, RegisteredModesAndOptions) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("BBC Micro");
  ASSERT_GE(p, 0);
  EXPECT_LT(list.IndexOf("ATM Turbo"), p);
  EXPECT_LT(p, list.IndexOf("BK-0011"));
  const std::vector<std::string> names = {"0 640x256x1", "1 320x256x2", "2 160x256x4", "4 320x256x1", "5 160x256x2"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.GetSubTypes(p).GetString(i), names[i]);
  auto o = DestEngineClass<TKvBBCMicro2Engine>().Create()->CreateOptions();
  EXPECT_EQ(o->GetWidth(), 160);
  EXPECT_EQ(o->GetHeight(), 256);
  o->SetWidth(300);
  EXPECT_EQ(o->GetWidth(), 160);
  EXPECT_EQ(o->PixelAspect, 17);
  EXPECT_EQ(DestEngineClass<TKvBBCMicro0Engine>().Create()->CreateOptions()->PixelAspect, 1);
}

TEST(KvSavePlatformBBCMicro, ScreenLayouts) {
  std::vector<uint8_t> m(BbcLargeScreenSize, 0);
  TKvBBCMicro0Screen s0(640, 256, m.data());
  s0.SetPixel(0, 0, 1);
  s0.SetPixel(8, 0, 1);
  s0.SetPixel(0, 8, 1);
  s0.SetPixel(0, 1, 1);
  EXPECT_EQ(m[0], 0x80);
  EXPECT_EQ(m[8], 0x80);
  EXPECT_EQ(m[640], 0x80);
  EXPECT_EQ(m[1], 0x80);
  s0.SetPixel(0, 0, 0);
  EXPECT_EQ(m[0], 0);
  // Mirrored, pixel 0 lands in bit 0 of the row's last cell.
  s0.MirrorX = true;
  s0.SetPixel(0, 16, 1);
  EXPECT_EQ(m[2 * 640 + 79 * 8], 0x01);

  std::vector<uint8_t> m4(BbcSmallScreenSize, 0);
  TKvBBCMicro4Screen s4(320, 256, m4.data());
  s4.SetPixel(0, 8, 1);
  EXPECT_EQ(m4[320], 0x80);

  std::fill(m.begin(), m.end(), 0);
  TKvBBCMicro1Screen s1(320, 256, m.data());
  s1.SetPixel(1, 0, 3);
  s1.SetPixel(0, 0, 1);
  EXPECT_EQ(m[0], 0x44 | 0x08);

  std::fill(m.begin(), m.end(), 0);
  TKvBBCMicro2Screen s2(160, 256, m.data());
  s2.SetPixel(0, 0, 6);
  EXPECT_EQ(m[0], 0x28);
  s2.SetPixel(1, 0, 6);
  EXPECT_EQ(m[0], 0x28 | 0x14);

  std::fill(m4.begin(), m4.end(), 0);
  TKvBBCMicro5Screen s5(160, 256, m4.data());
  s5.SetPixel(4, 0, 2);
  s5.SetPixel(0, 8, 2);
  EXPECT_EQ(m4[8], 0x80);
  EXPECT_EQ(m4[320], 0x80);
}

TEST(KvSavePlatformBBCMicro, FilesAndPalettes) {
  struct {
    const TKvDestEngineClass* Class;
    int W;
    const char* Ext;
    int Size;
    int Colors;
  } cases[] = {
      {&DestEngineClass<TKvBBCMicro0Engine>(), 640, "bb0", 20480, 0},
      {&DestEngineClass<TKvBBCMicro1Engine>(), 320, "bb1", 20480, 4},
      {&DestEngineClass<TKvBBCMicro2Engine>(), 160, "bb2", 20480, 8},
      {&DestEngineClass<TKvBBCMicro4Engine>(), 320, "bb4", 10240, 0},
      {&DestEngineClass<TKvBBCMicro5Engine>(), 160, "bb5", 10240, 4},
  };
  for (auto& c : cases) {
    auto pic = GradientPicture(c.W, 256, 3);
    auto r = ConvertPicture(*c.Class, *pic);
    ASSERT_EQ(r.Streams->GetCount(), 1);
    EXPECT_EQ(r.Streams->GetStream(0)->GetExtension(), c.Ext);
    EXPECT_EQ(r.Size(0), c.Size);
    if (c.Colors) {
      EXPECT_EQ(r.Options->GetPalette()->Count, c.Colors);
    }
  }
  auto white = SolidPicture(160, 256, 0xFFFFFF);
  auto r = ConvertPicture(DestEngineClass<TKvBBCMicro5Engine>(), *white);
  EXPECT_EQ(r.Options->GetPalette()->GetStdRGB(2), StdRGBColor(255, 255, 0));
  EXPECT_EQ(r.Bytes(0)[0], 0xFF);
}

}  // namespace
