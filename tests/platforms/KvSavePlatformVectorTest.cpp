#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platforms/KvPlatformUnits.h"
#include "platforms/KvPlatformVector.h"
#include "platforms/KvSavePlatformVector.h"
#include "KvTestHarness.h"
#include "shell/noxShellBaseExtension.h"

using namespace KvSavePlatformVector;

namespace {

TEST(KvPlatformVector, PalettesFollowTheColourByte) {
  struct TCase {
    TKvPaletteType Type;
    TKvStdRGBColor Color;  // of byte 3 * 64 + 2 * 8 + 1
  };
  for (const TCase& c : {TCase{ptColoredEMU, StdRGBColor(50, 92, 255)},
                         TCase{ptColoredVirtualVector, StdRGBColor(38, 75, 255)},
                         TCase{ptColoredLinear, StdRGBColor(36, 73, 255)}}) {
    TKvPalette256 p;
    p.AddRGB(1, 2, 3);
    BuildVectorPalette(c.Type, p);
    ASSERT_EQ(p.Count, 256);
    EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 0, 0));
    EXPECT_EQ(p.GetStdRGB(255), StdRGBColor(255, 255, 255));
    EXPECT_EQ(p.GetStdRGB(3 * 64 + 2 * 8 + 1), c.Color) << int(c.Type);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(p.LocateStdRGB(p.GetStdRGB(i)), i);
  }
  TKvPalette256 p;
  try {
    BuildVectorPalette(ptColoredEMUStudio, p);
    ADD_FAILURE() << "no error";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 87u);
  }
}

TEST(KvPlatformVector, RunLengthCode) {
  // One colour: 258 runs of 127 zero bytes, then the literal block 0, 0, 2.
  const std::vector<uint8_t> zeros(32768, 0);
  const std::vector<uint8_t> code = EncodeVectorSpr(zeros.data(), 32768);
  ASSERT_EQ(code.size(), 519u);
  for (int i = 0; i < 258; ++i) {
    ASSERT_EQ(code[2 * i], 0);
    ASSERT_EQ(code[2 * i + 1], 128 + 127);
  }
  EXPECT_EQ(std::vector<uint8_t>(code.end() - 3, code.end()), (std::vector<uint8_t>{0, 0, 2}));
  struct TCase {
    std::vector<uint8_t> In, Out;
  };
  for (const TCase& c : {TCase{{1, 2, 2, 3}, {1, 2, 2, 3, 4}},         // two equal bytes stay literals
                         TCase{{1, 2, 2, 2}, {1, 1, 2, 131}},          // the third starts a run of 3
                         TCase{{5, 5, 5, 5, 6}, {5, 132, 6, 1}},       // a run, then a literal
                         TCase{{7}, {7, 1}}}) {
    EXPECT_EQ(EncodeVectorSpr(c.In.data(), static_cast<int>(c.In.size())), c.Out);
  }
  // 127 different bytes fill one literal block.
  std::vector<uint8_t> ramp(128);
  for (int i = 0; i < 128; ++i) ramp[size_t(i)] = static_cast<uint8_t>(i);
  const std::vector<uint8_t> r = EncodeVectorSpr(ramp.data(), 128);
  ASSERT_EQ(r.size(), 130u);
  EXPECT_EQ(r[127], 127);
  EXPECT_EQ(r[128], 127);
  EXPECT_EQ(r[129], 1);
}

TEST(KvPlatformVector, HeaderChecks) {
  std::vector<uint8_t> rmb(33024, 0);
  rmb[16] = 32;
  rmb[18] = 15;
  EXPECT_TRUE(CheckVectorRmbHeader(TKvBytes(rmb), 33024));
  EXPECT_TRUE(CheckVectorRmbHeader(TKvBytes(rmb), 32769));  // the last block need not be whole
  EXPECT_FALSE(CheckVectorRmbHeader(TKvBytes(rmb), 32768));
  EXPECT_FALSE(CheckVectorRmbHeader(TKvBytes(rmb), 33025));
  rmb[18] = 14;
  EXPECT_FALSE(CheckVectorRmbHeader(TKvBytes(rmb), 33024));
  rmb[18] = 15;
  rmb[16] = 33;
  EXPECT_FALSE(CheckVectorRmbHeader(TKvBytes(rmb), 33024));

  std::vector<uint8_t> scr(200, 0);
  scr[2] = 100;  // packed data end
  std::copy_n("T.288-31-25", 11, scr.begin() + 5);
  EXPECT_TRUE(CheckVectorScrHeader(TKvBytes(scr), 200));
  EXPECT_FALSE(CheckVectorScrHeader(TKvBytes(scr), 164));
  scr[33] = 8;  // eight patches in the second list
  EXPECT_FALSE(CheckVectorScrHeader(TKvBytes(scr), 200));
  scr[33] = 1;
  scr[35] = 0x80;  // an address of 32768
  EXPECT_FALSE(CheckVectorScrHeader(TKvBytes(scr), 200));
  scr[35] = 0x7F;
  EXPECT_TRUE(CheckVectorScrHeader(TKvBytes(scr), 200));
  scr[15] = '6';
  EXPECT_FALSE(CheckVectorScrHeader(TKvBytes(scr), 200));
}

TEST(KvPlatformVector, ScreensTakeAtMost16HeaderColours) {
  TKvPalette256 display;
  BuildVectorPalette(ptColoredEMU, display);
  TKvPalette256 many;
  for (int i = 0; i < 20; ++i) many.AddStdRGB(display.GetStdRGB(10 + i));
  std::vector<uint8_t> block(128 * 256, 0x5A);
  TKvScreen4 source(256, 256, block.data());
  TKvVectorSPRScreen spr(source, many, display);
  TKvVectorRMBScreen rmb(source, many, display);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(spr.GetHeader()[i], 10 + i);
    EXPECT_EQ(rmb.GetHeader()[15 - i], 10 + i);
  }
  EXPECT_EQ(spr.GetHeader()[16], 0);
  EXPECT_EQ(rmb.GetHeader()[16], 32);
  EXPECT_EQ(rmb.GetHeader()[17], 0);
  EXPECT_EQ(rmb.GetHeader()[18], 15);
  // Pixel 0 (value 5 = planes 4 and 1) sits at the bottom of column 0.
  EXPECT_EQ(spr.GetPixel(0, 0), 5);
  EXPECT_EQ(spr.GetPixel(1, 255), 10);
  EXPECT_EQ(spr.GetMemory()[255] & 0x80, 0);
  EXPECT_EQ(spr.GetMemory()[8192 + 255] & 0x80, 0x80);
  EXPECT_EQ(spr.GetMemory()[24576 + 255] & 0x80, 0x80);
  EXPECT_EQ(spr.GetMemory()[24576 + 0] & 0x40, 0);
  EXPECT_EQ(spr.GetMemory()[16384 + 0] & 0x40, 0x40);
}

TEST(KvSavePlatformVector, FilesByWidth) {
  struct TCase {
    int W, H;
    std::vector<std::string> Exts;
    std::vector<int64_t> Sizes;
  };
  for (const TCase& c : {TCase{256, 256, {"spr", "rmb"}, {-1, 129 * 256}}, TCase{248, 200, {"rmb"}, {97 * 256}},
                         TCase{252, 256, {}, {}}}) {
    SCOPED_TRACE(c.W);
    auto pic = GradientPicture(c.W, c.H, 4);
    auto r = ConvertPicture(DestEngineClass<TKvVectorEngine>(), *pic);
    if (c.Exts.empty()) {
      EXPECT_EQ(r.Streams, nullptr);
      continue;
    }
    ASSERT_NE(r.Streams, nullptr);
    ASSERT_EQ(r.Streams->GetCount(), static_cast<int>(c.Exts.size()));
    for (int i = 0; i < r.Streams->GetCount(); ++i) {
      EXPECT_EQ(r.Streams->GetExtension(i), c.Exts[size_t(i)]);
      if (c.Sizes[size_t(i)] >= 0) {
        EXPECT_EQ(r.Size(i), c.Sizes[size_t(i)]);
      }
    }
    const int n = r.Streams->GetCount() - 1;
    const uint8_t* rmb = r.Bytes(n);
    EXPECT_EQ(rmb[16], c.W / 8);
    EXPECT_EQ(rmb[17], c.H & 255);
    EXPECT_EQ(rmb[18], 15);
    // Default usage "Black + 15 colors": black is entry 0.
    const TKvPalette256& p = *r.Options->GetPalette();
    ASSERT_GE(p.Count, 1);
    ASSERT_LE(p.Count, 16);
    EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 0, 0));
    EXPECT_EQ(rmb[15], 0);
    // Row 3 of the planes: bit k of the value in plane row k.
    for (int x = 0; x < c.W; x += 5) {
      const uint8_t* row = rmb + 19 + 3 * 4 * (c.W / 8) + x / 8;
      int v = 0;
      for (int k = 0; k < 4; ++k)
        if (row[k * (c.W / 8)] & (0x80 >> (x % 8))) v |= 1 << k;
      ASSERT_EQ(v, r.Preview->GetPixel(x, 3)) << x;
    }
    if (c.Exts[0] == "spr") {
      EXPECT_EQ(r.Size(0) % 128, 0);
      for (int i = 0; i < 16; ++i) EXPECT_EQ(r.Bytes(0)[i], rmb[15 - i]);
      EXPECT_EQ(r.Bytes(0)[16], 0);
      EXPECT_EQ(r.Bytes(0)[17], 0);
    }
  }
}

TEST(KvSavePlatformVector, FifteenColoursPutBlackFirst) {
  auto pic = GradientPicture(64, 64, 9);
  auto r = ConvertPicture(DestEngineClass<TKvVectorEngine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteUsage(puColors15);
    o.SetPaletteType(ptColoredEMU);
    o.UpdatePalette();
  });
  const TKvPalette256& p = *r.Options->GetPalette();
  ASSERT_EQ(p.Count, 16);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(r.Bytes(0)[15], 0);
}

TEST(KvSavePlatformVector, BlackWhiteAndGray) {
  auto pic = GradientPicture(64, 32, 3);
  auto bw = ConvertPicture(DestEngineClass<TKvVectorEngine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  ASSERT_EQ(bw.Options->GetPalette()->Count, 2);
  EXPECT_EQ(std::vector<uint8_t>(bw.Bytes(0) + 14, bw.Bytes(0) + 16), (std::vector<uint8_t>{255, 0}));

  auto gray = ConvertPicture(DestEngineClass<TKvVectorEngine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.UpdatePalette();
    const TKvPalette256& p = *o.GetPalette();
    EXPECT_EQ(p.Count, 4);
    EXPECT_EQ(p.GetStdRGB(3), StdRGBColor(255, 255, 255));
  });
  EXPECT_EQ(gray.Options->GetPalette()->Count, 4);

  // A full fixed palette leaves no room for the grays: the screen must hold
  // indexes of the written palette.
  TKvPalette256 display;
  BuildVectorPalette(ptColoredVirtualVector, display);
  auto merged = ConvertPicture(DestEngineClass<TKvVectorEngine>(), *pic, [&](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    o.SetPaletteUsage(puColors16);
    TKvPalette256 fixed;
    fixed.AddRGB(255, 255, 255);
    fixed.AddRGB(0, 0, 0);
    for (int n = 1; n <= 14; ++n) fixed.AddStdRGB(display.GetStdRGB(n * 3));
    o.SetFixedPalette(&fixed);
    o.UpdatePalette();
  });
  const TKvPalette256& p = *merged.Options->GetPalette();
  ASSERT_EQ(p.Count, 16);
  const uint8_t* rmb = merged.Bytes(0);
  for (int y = 0; y < 32; y += 3)
    for (int x = 0; x < 64; x += 3) {
      int v = 0;
      for (int k = 0; k < 4; ++k)
        if (rmb[19 + y * 32 + k * 8 + x / 8] & (0x80 >> (x % 8))) v |= 1 << k;
      ASSERT_LE(v, 1);
      EXPECT_EQ(display.GetStdRGB(rmb[15 - v]), merged.Preview->GetPixelStdRGB(x, y));
    }
}

TEST(KvSavePlatformVector, FixedPalettesWithBlackFirstUnderBlackPlus15) {
  auto engine = DestEngineClass<TKvVectorEngine>().Create();
  auto o = engine->CreateOptions();
  auto ui = engine->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvVectorEngineUI&>(*ui);
  TKvPalette256 blackFirst, whiteFirst;
  blackFirst.AddRGB(0, 0, 0);
  blackFirst.AddRGB(255, 255, 255);
  whiteFirst.AddRGB(255, 255, 255);
  whiteFirst.AddRGB(0, 0, 0);
  EXPECT_TRUE(panel.AcceptFixedPalette(blackFirst));
  EXPECT_FALSE(panel.AcceptFixedPalette(whiteFirst));
  o->SetPaletteUsage(puColors16);
  EXPECT_TRUE(panel.AcceptFixedPalette(whiteFirst));
}

TEST(KvSavePlatformVector, RegisteredModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Vector-06C");
  ASSERT_GE(p, 0);
  EXPECT_LT(list.IndexOf("UKNC"), p);
  EXPECT_GT(list.IndexOf("ZX Evolution"), p);
  TKvDestSubTypes& modes = list.GetSubTypes(p);
  ASSERT_EQ(modes.GetCount(), 3);
  EXPECT_EQ(modes.GetString(0), "256x256x4");
  EXPECT_EQ(modes.GetString(1), "256x256x4 HAM1");
  EXPECT_EQ(modes.GetString(2), "256x256x4 HAM2");
  EXPECT_EQ(VectorHAMScreenWidth(3), 248);
  for (int k : {1, 2}) {
    auto o = modes.GetObject(k)->Create()->CreateOptions();
    EXPECT_EQ(o->HAMMaxChangeCount, k);
    EXPECT_EQ(o->GetWidth(), 256);
    EXPECT_EQ(o->GetHeight(), 256);
    o->SetWidth(100);
    EXPECT_EQ(o->GetWidth(), 256);
  }
}

}  // namespace

namespace {

TEST(KvSavePlatformVector, OneColourSprIs640Bytes) {
  auto pic = SolidPicture(256, 256, 0);
  auto r = ConvertPicture(DestEngineClass<TKvVectorEngine>(), *pic);
  ASSERT_EQ(r.Streams->GetExtension(0), "spr");
  ASSERT_EQ(r.Size(0), 640);
  const uint8_t* d = r.Bytes(0);
  EXPECT_EQ(std::vector<uint8_t>(d + 18 + 516, d + 18 + 519), (std::vector<uint8_t>{0, 0, 2}));
  for (int i = 18 + 519; i < 640; ++i) ASSERT_EQ(d[i], 0);
}

}  // namespace

namespace {

TEST(KvSavePlatformVector, HAMWritesPalsBesideBothFiles) {
  TKvPalette256 display;
  BuildVectorPalette(ptColoredVirtualVector, display);
  // Sixteen stripes of display colours, black among them: every row has the
  // same colours, so no change slot alters what an entry shows.
  const int bytes[16] = {0, 7, 56, 192, 255, 9, 18, 36, 72, 144, 33, 66, 99, 132, 165, 198};
  auto pic = std::make_unique<TBitmap32>(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) *pic->GetPixelPtr(x, y) = 0xFF000000u | display.GetRGBQuad(bytes[x / 16]);
  for (int k : {1, 2}) {
    SCOPED_TRACE(k);
    const TKvDestEngineClass& engine =
        k == 1 ? DestEngineClass<TKvVectorHAM1Engine>() : DestEngineClass<TKvVectorHAM2Engine>();
    auto r = ConvertPicture(engine, *pic, [](TKvDestEngineOptions& o) { o.SetDitherMethod(0); });
    ASSERT_EQ(r.Streams->GetCount(), 2);
    for (int s = 0; s < 2; ++s) {
      TKvStream& stream = *r.Streams->GetStream(s);
      EXPECT_EQ(stream.GetExtension(), s == 0 ? "spr" : "rmb");
      ASSERT_EQ(stream.GetSubStreamCount(), 1);
      TKvStream& pals = *stream.GetSubStream(0);
      EXPECT_EQ(pals.GetExtension(), "pals");
      ASSERT_EQ(pals.GetSize(), 1 + 510 * k);
      const uint8_t* p = pals.GetMemory();
      EXPECT_EQ(p[0], k);
      // Every pair leaves its entry as it was on row 0.
      const uint8_t* spr = r.Bytes(0);
      for (int i = 1; i < pals.GetSize(); i += 2) {
        ASSERT_LE(p[i], 15);
        ASSERT_EQ(p[i + 1], spr[p[i]]) << i;
      }
    }
    // The header holds the first row's 16 colours, black first ("Black + 15
    // colors"); the ".rmb" header holds them reversed.
    const uint8_t* spr = r.Bytes(0);
    const uint8_t* rmb = r.Bytes(1);
    EXPECT_EQ(spr[0], 0);
    std::vector<uint8_t> header(spr, spr + 16), expected(bytes, bytes + 16);
    std::sort(header.begin(), header.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(header, expected);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(rmb[15 - i], spr[i]);
    for (int x = 0; x < 256; x += 7) EXPECT_EQ(r.Preview->GetPixel(x, 200), bytes[x / 16]) << x;
    EXPECT_EQ(r.Options->GetPalette()->Count, 16);
  }
}

TEST(KvSavePlatformVector, HAMKeepsEntryZeroBlackUnderFifteenColours) {
  auto pic = GradientPicture(256, 256, 21);
  auto r = ConvertPicture(DestEngineClass<TKvVectorHAM2Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteUsage(puColors15);
    o.SetPaletteType(ptColoredEMU);
  });
  EXPECT_EQ(r.Bytes(0)[0], 0);
  TKvStream& pals = *r.Streams->GetStream(0)->GetSubStream(0);
  ASSERT_EQ(pals.GetSize(), 1021);
  int changes = 0;
  for (int i = 1; i < 1021; i += 2) {
    if (pals.GetMemory()[i] == 0) {
      ASSERT_EQ(pals.GetMemory()[i + 1], 0) << i;
    } else {
      ++changes;
    }
  }
  EXPECT_GT(changes, 0);
}

}  // namespace
