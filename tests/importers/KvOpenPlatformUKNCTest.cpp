#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformUKNC.h"
#include "platforms/KvPlatformUKNC.h"
#include "platforms/KvSavePlatformUKNC.h"

namespace {

const char* const kUknc = "KvOpenPlatformUKNC::TKvUKNCEngine";

std::vector<uint8_t> Pcx(int W, int H, std::vector<uint8_t> ABody) {
  std::vector<uint8_t> f(128);
  InitUkncPcxHeader(f.data(), W, H);
  f.insert(f.end(), ABody.begin(), ABody.end());
  return f;
}

TEST(KvOpenPlatformUKNC, MatchAndDescription) {
  auto f = Pcx(640, 288, {0});
  TKvProbe probe("a.pcx", f);
  ASSERT_EQ(probe.Position(kUknc), 0);
  EXPECT_EQ(probe.Flags(kUknc), 3);
  EXPECT_EQ(probe.Find(kUknc)->Description, "UKNC 640x288x3 image");
  EXPECT_EQ(probe.Find(kUknc)->PixelAspect, 7);
  EXPECT_EQ(TKvProbe("a.img", f).Flags(kUknc), 1);
  auto planes4 = f;
  planes4[65] = 4;
  auto marker = f;
  marker[64] = 64;
  auto headerOnly = std::vector<uint8_t>(f.begin(), f.begin() + 128);
  for (auto* bad : {&planes4, &marker, &headerOnly}) EXPECT_EQ(TKvProbe("a.pcx", *bad).Flags(kUknc), 0);
}

TEST(KvOpenPlatformUKNC, DamagedDataFailsWithInvalidData) {
  // 8 x 2: three plane lines of one byte per row.
  const std::vector<std::vector<uint8_t>> bodies = {
      {1, 2, 3, 4},       // two bytes short
      {0xC0, 5, 1, 2},    // the run byte with count 0
      {1, 2, 3, 4, 0xC2}, // a run byte without its value
  };
  for (auto& body : bodies) {
    auto f = Pcx(8, 2, body);
    TKvProbe probe("a.pcx", f);
    TKvSourceEngine* e = probe.Find(kUknc);
    ASSERT_NE(e, nullptr);
    try {
      e->Decode();
      ADD_FAILURE() << "no error";
    } catch (const EOSError& ex) {
      EXPECT_EQ(ex.ErrorCode, 13u);
    }
  }
  // Runs continue from one plane line into the next on reading.
  auto f = Pcx(8, 2, {0xC6, 0x81});
  TKvProbe probe("a.pcx", f);
  auto b = probe.Find(kUknc)->Decode();
  EXPECT_EQ(b->GetPixel(0, 0), 7);
  EXPECT_EQ(b->GetPixel(7, 1), 7);
  EXPECT_EQ(b->GetPixel(1, 1), 0);
}

TEST(KvOpenPlatformUKNC, RoundTripByColour) {
  auto pic = GradientPicture(75, 30, 41);
  for (TKvPaletteMode mode : {pmGRB, pmBlackWhite}) {
    auto r = ConvertPicture(DestEngineClass<TKvUKNCEngine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
    TKvProbe probe("picture.pcx", bytes);
    ASSERT_EQ(probe.Position(kUknc), 0);
    auto b = probe.Find(kUknc)->Decode();
    ASSERT_EQ(b->Width, 75);
    ASSERT_EQ(b->Height, 30);
    ASSERT_EQ(b->Palette->Count, 8);
    const TKvStdRGBColor expect[8] = {StdRGBColor(0, 0, 0),     StdRGBColor(0, 0, 255),   StdRGBColor(255, 0, 0),
                                      StdRGBColor(255, 0, 255), StdRGBColor(0, 255, 0),   StdRGBColor(0, 255, 255),
                                      StdRGBColor(255, 255, 0), StdRGBColor(255, 255, 255)};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(b->Palette->GetStdRGB(i), expect[i]);
    EXPECT_EQ(CountColorDiffs(*b, *r.Preview), 0) << int(mode);
    if (mode == pmGRB) {
      EXPECT_EQ(CountIndexDiffs(*b, *r.Preview), 0);
    }
  }
}

}  // namespace
