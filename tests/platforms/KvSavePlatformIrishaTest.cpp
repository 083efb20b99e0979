#include <gtest/gtest.h>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformIrisha.h"
#include "KvTestHarness.h"

namespace {

TEST(KvSavePlatformIrisha, RegisteredModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Irisha");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 2);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "320x200x1");
  EXPECT_EQ(list.GetSubTypes(p).GetString(1), "640x200x1");
  EXPECT_LT(list.IndexOf("Elektronika MC 0515"), p);
  auto o = DestEngineClass<TKvIrisha320Engine>().Create()->CreateOptions();
  o->SetWidth(100);
  EXPECT_EQ(o->GetWidth(), 320);
  EXPECT_EQ(o->PixelAspect, 8);
  EXPECT_EQ(DestEngineClass<TKvIrisha640Engine>().Create()->CreateOptions()->PixelAspect, 0);
}

TEST(KvSavePlatformIrisha, FileLayouts) {
  struct {
    const TKvDestEngineClass& Class;
    int Width, Size;
  } cases[] = {{DestEngineClass<TKvIrisha320Engine>(), 320, 8000}, {DestEngineClass<TKvIrisha640Engine>(), 640, 16000}};
  for (auto& c : cases) {
    auto pic = GradientPicture(c.Width, 200, 9);
    auto r = ConvertPicture(c.Class, *pic);
    ASSERT_EQ(r.Streams->GetCount(), 1);
    EXPECT_EQ(r.Streams->GetExtension(0), "pic");
    ASSERT_EQ(r.Size(0), c.Size);
    const int rb = c.Width / 8;
    for (int y : {0, 1, 199})
      for (int x : {0, 7, 8, c.Width - 1})
        EXPECT_EQ((r.Bytes(0)[y * rb + x / 8] >> (7 - x % 8)) & 1, r.Preview->GetPixel(x, y)) << x << "," << y;
  }
  auto white = SolidPicture(320, 200, 0xFFFFFF);
  auto w = ConvertPicture(DestEngineClass<TKvIrisha320Engine>(), *white);
  EXPECT_EQ(w.Bytes(0)[40], 0xFF);
  EXPECT_EQ(w.Bytes(0)[7999], 0xFF);
}

}  // namespace
