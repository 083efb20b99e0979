#include <gtest/gtest.h>

#include <vector>

#include "core/KvStream.h"
#include "platforms/KvPlatformUKNC.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformUKNC.h"
#include "KvTestHarness.h"

namespace {

TEST(KvSavePlatformUKNC, RegisteredAndOptions) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("UKNC");
  ASSERT_GE(p, 0);
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), 1);
  EXPECT_EQ(list.GetSubTypes(p).GetString(0), "640x288x3");
  auto o = DestEngineClass<TKvUKNCEngine>().Create()->CreateOptions();
  EXPECT_EQ(o->GetWidth(), 640);
  EXPECT_EQ(o->GetHeight(), 288);
  EXPECT_EQ(o->PaletteMode, 16);
  EXPECT_EQ(o->PixelAspect, 7);
}

TEST(KvSavePlatformUKNC, Header) {
  uint8_t h[128];
  InitUkncPcxHeader(h, 640, 288);
  const TKvBytes header(h, sizeof(h));
  EXPECT_TRUE(CheckUkncPcxHeader(header));
  EXPECT_EQ(header.Le16(8), 639);
  EXPECT_EQ(header.Le16(10), 287);
  EXPECT_EQ(header.Le16(66), 80);
  EXPECT_EQ(header.Le16(70), 0x3210);
  EXPECT_EQ(std::vector<uint8_t>(h + 16, h + 28),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0xFF, 0xFF}));
  TKvUKNCPCXScreen s(640, 288, false);
  EXPECT_EQ(s.Planes.size(), 69120u);
  struct {
    int Offset;
    uint8_t Value;
  } bad[] = {{0, 11}, {1, 5}, {64, 64}, {65, 4}, {66, 81}, {12, 0}, {68, 1}, {8, 0x80}};
  for (auto& b : bad) {
    uint8_t c[128];
    std::copy(h, h + 128, c);
    c[b.Offset] = b.Value;
    EXPECT_FALSE(CheckUkncPcxHeader(TKvBytes(c, sizeof(c)))) << b.Offset;
  }
}

TEST(KvSavePlatformUKNC, RunLengthEncoding) {
  struct {
    std::vector<uint8_t> Data;
    int Line;
    std::vector<uint8_t> Code;
  } cases[] = {
      {std::vector<uint8_t>(80, 0), 80, {0xFF, 0x00, 0xD1, 0x00}},
      {{0xC5, 0x12, 0x12}, 3, {0xC1, 0xC5, 0xC2, 0x12}},
      {{7, 7, 7, 7, 7, 7}, 3, {0xC3, 7, 0xC3, 7}},  // runs end with the plane line
      {{0xC0, 0xC0, 1, 2}, 4, {0xC2, 0xC0, 1, 2}},
      {std::vector<uint8_t>(63, 9), 63, {0xFF, 9}},
  };
  for (auto& c : cases) EXPECT_EQ(EncodePcxLines(c.Data.data(), static_cast<int64_t>(c.Data.size()), c.Line), c.Code);
}

TEST(KvSavePlatformUKNC, PlanesAndMono) {
  // Width 9: two bytes per plane line, the spare bits stay 0.
  TKvUKNCPCXScreen s(9, 2, false);
  ASSERT_EQ(s.BytesPerLine, 2);
  s.SetPixel(8, 1, 5);
  s.SetPixel(0, 0, 2);
  EXPECT_EQ(s.Planes, (std::vector<uint8_t>{0, 0, 1, 0, 0, 0,  // row 0: planes 0, 1, 2
                                            0, 1, 0, 0, 0, 1}));
  TKvUKNCPCXScreen m(8, 1, true);
  m.SetPixel(3, 0, 1);
  EXPECT_EQ(m.Planes, (std::vector<uint8_t>{8, 8, 8}));
  auto pic = GradientPicture(9, 5, 3);
  auto r = ConvertPicture(DestEngineClass<TKvUKNCEngine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  ASSERT_EQ(r.Streams->GetCount(), 1);
  EXPECT_EQ(r.Streams->GetExtension(0), "pcx");
  EXPECT_TRUE(CheckUkncPcxHeader(TKvBytes(r.Bytes(0), r.Size(0))));
}

}  // namespace
