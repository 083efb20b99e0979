// The ATM Turbo ".grf" routines and converters.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platforms/KvPlatformATMTurbo.h"
#include "platforms/KvPlatformProfi.h"
#include "platforms/KvSavePlatformATMTurbo.h"
#include "KvTestHarness.h"

namespace {

TEST(KvPlatformATMTurbo, HeaderAndPaletteDigits) {
  TKvPalette256 hw, pal;
  hw.FillRGB64();
  pal.AddRGB(255, 0, 0);
  pal.AddRGB(0, 0, 255);
  pal.AddRGB(0x55, 0xAA, 0xFF);
  uint8_t h[ATMGrfHeaderSize];
  WriteATMGrfPalette(h, 633, 200, hw, pal, StdRGBColor(0, 0, 250));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 12), "030003213000");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 12), 36), std::string(36, '0'));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 48), 3), "GRF");
  EXPECT_EQ(h[51], 1);
  EXPECT_EQ(h[52], 1);
  EXPECT_EQ(h[130], 80);
  EXPECT_EQ(h[131], 200);
  InitATMGrfHeader(h, 8, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 9), "000333000");
  EXPECT_EQ(ATMGrfFileSize(640, 200), 48132);
  pal.AddRGB(1, 2, 3);
  EXPECT_THROW(WriteATMGrfPalette(h, 8, 1, hw, pal, StdRGBColor(0, 0, 0)), Exception);
}

TEST(KvPlatformATMTurbo, CheckHeader) {
  uint8_t h[ATMGrfHeaderSize];
  InitATMGrfHeader(h, 80, 3);  // B = 10, H = 3
  // A one-run file of W*H + 134 bytes is what the converter writes for a
  // small uniform picture.
  EXPECT_TRUE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 30 + 134));
  EXPECT_FALSE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 30 + 133));
  h[130] = 0;
  EXPECT_FALSE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 100000));
  h[130] = 129;
  EXPECT_FALSE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 100000));
  h[130] = 128;
  EXPECT_TRUE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 100000));
  h[131] = 0;
  EXPECT_FALSE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 100000));
  h[131] = 1;
  h[17] = '4';
  EXPECT_FALSE(CheckATMGrfHeader(TKvBytes(h, ATMGrfHeaderSize), 100000));
}

TEST(KvPlatformATMTurbo, RunLengthEncoding) {
  // 300 equal attributes then one other: (255, v), (45, v), (1, w).
  const int64_t s = 301;
  std::vector<uint8_t> d(3 * s, 0xEE);
  std::memset(d.data() + 2 * s, 7, 300);
  d[2 * s + 300] = 9;
  EXPECT_EQ(EncodeATMGrfAttributes(d.data(), s), s + 6);
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + s, d.begin() + s + 6), (std::vector<uint8_t>{255, 7, 45, 7, 1, 9}));
  bool exact = false;
  EXPECT_TRUE(CheckATMGrfRuns(TKvBytes(d.data() + s, 6), 301, exact));
  EXPECT_TRUE(exact);
  EXPECT_TRUE(CheckATMGrfRuns(TKvBytes(d.data() + s, 6), 299, exact));
  EXPECT_FALSE(exact);
  EXPECT_FALSE(CheckATMGrfRuns(TKvBytes(d.data() + s, 5), 301, exact));
  const uint8_t zero[] = {0, 1, 5, 1};
  EXPECT_FALSE(CheckATMGrfRuns(TKvBytes(zero, 4), 5, exact));
}

TEST(KvSavePlatformATMTurbo, Files) {
  auto& multi = DestEngineClass<TKvATMMultiColorEngine>();
  auto options = multi.Create()->CreateOptions();
  options->SetWidth(633);
  EXPECT_EQ(options->GetWidth(), 640);
  EXPECT_EQ(options->GetHeight(), 200);
  EXPECT_EQ(options->PixelAspect, pa1_2);

  auto pic = GradientPicture(640, 200, 3);
  auto bw = ConvertPicture(multi, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  const uint8_t* d = bw.Bytes(0);
  ASSERT_GE(bw.Size(0), 16132 + 2);
  EXPECT_EQ((bw.Size(0) - 16132) % 2, 0);
  EXPECT_EQ(d[130], 80);
  EXPECT_EQ(d[131], 200);
  // Black and white: one attribute for every cell.
  int64_t covered = 0;
  for (int64_t o = 16132; o < bw.Size(0); o += 2) {
    EXPECT_EQ(d[o + 1], d[16133]);
    covered += d[o];
  }
  EXPECT_EQ(covered, 16000);

  auto preview = ConvertPicture(DestEngineClass<TKvATMEngine>(), *GradientPicture(64, 40, 2));
  EXPECT_EQ(preview.Streams, nullptr);
  ASSERT_NE(preview.Preview, nullptr);
  EXPECT_LE(preview.Options->GetPalette()->Count, 16);
}

TEST(KvSavePlatformATMTurbo, UnknownModeRaises87) {
  auto pic = GradientPicture(16, 8, 1);
  for (auto* c : {&DestEngineClass<TKvATMEngine>(), &DestEngineClass<TKvATMMultiColorEngine>()}) {
    try {
      ConvertPicture(*c, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGrayRed); });
      ADD_FAILURE();
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
}

}  // namespace
