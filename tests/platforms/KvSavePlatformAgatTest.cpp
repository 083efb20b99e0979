#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformAgat.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformAgat.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& AgatClass(int AIndex) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  return *list.GetSubTypes(list.IndexOf("Agat")).GetObject(AIndex);
}

// Converts with the mode's default options changed by ASetup, the palettes
// rebuilt as the option panel does.
template <class TSetup>
TKvConversion AgatConvert(int AMode, TBitmap32& APicture, TSetup ASetup) {
  return ConvertPicture(AgatClass(AMode), APicture, [&](TKvDestEngineOptions& o) {
    ASetup(o);
    o.UpdatePalette();
  });
}
TKvConversion AgatConvert(int AMode, TBitmap32& APicture) {
  return AgatConvert(AMode, APicture, [](TKvDestEngineOptions&) {});
}

TKvFilStream& Fil(const TKvConversion& r) { return static_cast<TKvFilStream&>(*r.Streams->GetStream(0)); }

int Nibble(const uint8_t* AData, int AStride, int x, int row) {
  const uint8_t v = AData[row * AStride + x / 2];
  return (x & 1) ? v & 15 : v >> 4;
}

TEST(KvSavePlatformAgat, RegisteredSecondWithThirteenModes) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Agat");
  ASSERT_EQ(p, 1);
  EXPECT_EQ(list.GetString(0), "Common");
  const std::vector<std::string> modes = {
      "64x64x4",   "64x64x8 Gigascreen",   "128x128x4", "128x128x8 Gigascreen", "128x128x4 HAM",
      "128x256x4", "128x256x8 Gigascreen", "256x256x1", "256x256x2 Gigascreen", "256x256x2",
      "256x256x4 Gigascreen", "512x256x1", "512x256x2 Gigascreen"};
  TKvDestSubTypes& sub = list.GetSubTypes(p);
  ASSERT_EQ(sub.GetCount(), 13);
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(sub.GetString(i), modes[size_t(i)]);
    EXPECT_EQ(sub.GetObject(i)->GetZoomFactor(), i < 2 ? 2 : 1) << modes[size_t(i)];
  }
  auto o = AgatClass(5).Create()->CreateOptions();
  EXPECT_EQ(o->PixelAspect, pa8_3);
  EXPECT_EQ(o->GetWidth(), 128);
  EXPECT_EQ(o->GetHeight(), 256);
  o->SetWidth(20);
  EXPECT_EQ(o->GetWidth(), 128);
  EXPECT_EQ(AgatClass(11).Create()->CreateOptions()->PixelAspect, pa2_3);
  EXPECT_EQ(AgatClass(0).Create()->CreateOptions()->PixelAspect, pa1_0p75);
}

TEST(KvPlatformAgat, CharactersAndPalettes) {
  EXPECT_EQ(EncodeAgatChar(U'Ж'), 246);
  EXPECT_EQ(DecodeAgatChar(246), U'Ж');
  EXPECT_EQ(EncodeAgatChar(U'ж'), 118);
  EXPECT_EQ(EncodeAgatChar(U'~'), 223);
  EXPECT_EQ(DecodeAgatChar(223), U'_');
  EXPECT_EQ(EncodeAgatChar(U'`'), 64);
  EXPECT_EQ(DecodeAgatChar(94), U'`');
  EXPECT_EQ(EncodeAgatChar(U' '), 0xA0);
  EXPECT_EQ(DecodeAgatChar(0xAA), U'*');
  for (int c : {0, 63, 95, 128, 159}) EXPECT_EQ(DecodeAgatChar(uint8_t(c)), U'_') << c;

  auto grays = [](TKvPaletteType t) {
    TKvPalette256 p;
    BuildAgatPalette(p, t);
    std::vector<int> v;
    for (int i = 0; i < p.Count; ++i) {
      EXPECT_EQ(p.GetStdRGB(i).R, p.GetStdRGB(i).B);
      v.push_back(p.GetStdRGB(i).R);
    }
    return v;
  };
  EXPECT_EQ(grays(ptGray8), (std::vector<int>{0x00, 0x8A, 0x5F, 0xEA, 0x45, 0xCD, 0xA0, 0xFF}));
  EXPECT_EQ(grays(ptGrayBRGB), (std::vector<int>{0x00, 0xFF, 0xB2, 0x86}));
  EXPECT_EQ(grays(ptGrayWRGB), (std::vector<int>{0xFF, 0x7D, 0x43, 0x00}));
  TKvPalette256 p;
  BuildAgatPalette(p, ptColoredWRGB);
  ASSERT_EQ(p.Count, 4);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(255, 255, 255));
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(255, 0, 0));
  EXPECT_EQ(p.GetStdRGB(3), StdRGBColor(0, 0, 255));
  BuildAgatPalette(p, ptColored15);
  EXPECT_EQ(p.Count, 15);
  EXPECT_EQ(p.IndexOfStdRGB(StdRGBColor(0x26, 0x26, 0x26)), -1);
  BuildAgatGrayPalette(p, ptColored16);
  ASSERT_EQ(p.Count, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p.GetStdRGB(i).G, (std::vector<int>{0, 0x26, 0xD9, 0xFF})[size_t(i)]);
  BuildAgatBlackWhitePalette(p, ptGrayWRGB);
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(255, 255, 255));
  EXPECT_THROW(BuildAgatPalette(p, ptColored4096), EOSError);
}

TEST(KvPlatformAgat, FilHeaderTrailerAndName) {
  TKvFilStream f("fil");
  f.InitFile(2048, 64, 0, "");
  ASSERT_EQ(f.GetSize(), 2344);
  const uint8_t* h = f.GetHeader();
  EXPECT_EQ(h[39], 4);
  EXPECT_EQ(h[41], 0x20);
  EXPECT_EQ(h[42] | (h[43] << 8), 2048);
  const uint8_t* t = f.GetTrailer();
  EXPECT_EQ(t[0], 0xD6);
  EXPECT_EQ(t[1], 0xD2);
  EXPECT_EQ(t[2], 64);
  for (int i = 60; i < 252; ++i) ASSERT_EQ(t[i], 0xAA);

  f.StoreFileName("Picture.fil");
  const uint8_t name[] = {0xD0, 0x49, 0x43, 0x54, 0x55, 0x52, 0x45};
  EXPECT_EQ(std::memcmp(h, name, 7), 0);
  for (int i = 7; i < 30; ++i) EXPECT_EQ(h[i], 0xA0);
  for (int i = 30; i < 39; ++i) EXPECT_EQ(h[i], 0);
  f.StoreFileName(std::string(40, 'a') + ".x.fil");
  for (int i = 0; i < 30; ++i) EXPECT_EQ(h[i], 65);
  EXPECT_EQ(h[30], 0);
  f.StoreFileName("x.0.fil");
  EXPECT_EQ(h[0], 88);
  EXPECT_EQ(h[1], 0xAE);  // "."
  EXPECT_EQ(h[2], 0xB0);  // "0"
  EXPECT_EQ(h[3], 0xA0);

  std::vector<uint8_t> tr(252);
  InitAgatFilTrailer(tr.data(), 80, 240, std::string(200, 'b') + "Ж");
  for (int i = 60; i < 252; ++i) ASSERT_EQ(tr[size_t(i)], 66);
  EXPECT_EQ(ReadAgatFilComment(tr.data()), std::string(192, 'b'));
  InitAgatFilTrailer(tr.data(), 80, 240, "Hello  ");
  EXPECT_EQ(ReadAgatFilComment(tr.data()), "Hello");
  InitAgatFilTrailer(tr.data(), 80, 240, "Жук");
  EXPECT_EQ(ReadAgatFilComment(tr.data()), "Жук");

  // Entry 1 white: low nibbles F. A palette longer than the block's 16
  // entries stops there: the rest of the block and the comment keep their bytes.
  InitAgatFilTrailer(tr.data(), 80, 240, "");
  TKvPalette256 p;
  p.AddRGB(0, 0, 0);
  for (int i = 1; i < 40; ++i) p.AddRGB(255, 255, 255);
  WriteAgatFilPalette(tr.data(), p);
  for (int c : {4, 20, 36}) {
    EXPECT_EQ(tr[size_t(c)], 0x0F);
    for (int i = c + 1; i < c + 8; ++i) EXPECT_EQ(tr[size_t(i)], 0xFF);
    for (int i = c + 8; i < c + 16; ++i) EXPECT_EQ(tr[size_t(i)], 0);
  }
  for (int i = 52; i < 60; ++i) EXPECT_EQ(tr[size_t(i)], 0);
  EXPECT_EQ(tr[60], 0xAA);
  EXPECT_EQ(ReadAgatFilPaletteEntry(tr.data(), 1), StdRGBColor(255, 255, 255));
}

TEST(KvSavePlatformAgat, FileSizesModeAndKindBytes) {
  struct {
    int Mode, Size, ModeByte, Kind, SubSize, SubMode;
  } cases[] = {
      {0, 2344, 64, 0, 0, 0},        {1, 4392, 77, 0, 2344, 64},     {2, 8488, 80, 0, 0, 0},
      {3, 16680, 93, 0, 8488, 80},   {4, 9256, 80, 224, 0, 0},       {5, 16680, 128, 0, 0, 0},
      {6, 33064, 141, 0, 16680, 128}, {7, 8488, 16, 0, 0, 0},        {8, 16680, 29, 0, 8488, 16},
      {9, 16680, 96, 0, 0, 0},       {10, 33064, 109, 0, 16680, 96}, {11, 16680, 112, 0, 0, 0},
      {12, 33064, 125, 0, 16680, 112},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Mode);
    const TKvAgatMode& m = AgatModes[c.Mode];
    auto pic = GradientPicture(m.Width, m.Height, 3);
    auto r = AgatConvert(c.Mode, *pic, [](TKvDestEngineOptions& o) { o.SetComment("Hi"); });
    ASSERT_EQ(r.Streams->GetCount(), 1);
    TKvFilStream& f = Fil(r);
    EXPECT_EQ(f.GetSize(), c.Size);
    EXPECT_EQ(f.GetExtension(), "fil");
    EXPECT_EQ(f.GetTrailer()[2], c.ModeByte);
    EXPECT_EQ(f.GetTrailer()[3], c.Kind);
    EXPECT_EQ(ReadAgatFilComment(f.GetTrailer()), "Hi");
    ASSERT_EQ(f.GetSubStreamCount(), c.SubSize ? 2 : 0);
    for (int i = 0; i < f.GetSubStreamCount(); ++i) {
      auto& s = static_cast<TKvFilStream&>(*f.GetSubStream(i));
      EXPECT_EQ(s.GetExtension(), i == 0 ? "0.fil" : "1.fil");
      EXPECT_EQ(s.GetSize(), c.SubSize);
      EXPECT_EQ(s.GetTrailer()[2], c.SubMode);
      EXPECT_EQ(std::memcmp(s.GetTrailer() + 3, f.GetTrailer() + 3, 249), 0);
      const int L = s.GetDataLength();
      EXPECT_EQ(std::memcmp(s.GetData(), f.GetData() + i * L, size_t(L)), 0);
    }
  }
  // The palette kinds of the trailer.
  auto pic = GradientPicture(64, 64, 4);
  EXPECT_EQ(Fil(AgatConvert(0, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored4096); }))
                .GetTrailer()[3], 240);
  EXPECT_EQ(Fil(AgatConvert(0, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptGray8); })).GetTrailer()[3],
            128);
  auto big = GradientPicture(256, 256, 4);
  auto wg = AgatConvert(9, *big, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptGrayWRGB); });
  const uint8_t* t = Fil(wg).GetTrailer();
  EXPECT_EQ(t[3], 144);
  EXPECT_EQ(t[4], 0xF7);
  EXPECT_EQ(t[5], 0x40);
  EXPECT_EQ(Fil(AgatConvert(9, *big, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColoredWRGB); }))
                .GetTrailer()[3], 16);
  // The black-and-white screens write black, white whatever the kind.
  auto mono = AgatConvert(7, *big, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored8); });
  EXPECT_EQ(Fil(mono).GetTrailer()[4], 0x0F);
  EXPECT_EQ(Fil(mono).GetTrailer()[3], 0);
}

TEST(KvSavePlatformAgat, ScreenLayouts) {
  std::vector<uint8_t> d(32768, 0);
  auto g = MakeAgatScreen(AgatModes[1], d.data());
  g->SetPixel(3, 5, 0x3A);
  EXPECT_EQ(d[5 * 32 + 1], 0x03);
  EXPECT_EQ(d[2048 + 5 * 32 + 1], 0x0A);
  EXPECT_EQ(g->GetPixel(3, 5), 0x3A);

  std::fill(d.begin(), d.end(), 0);
  auto s = MakeAgatScreen(AgatModes[5], d.data());
  s->SetPixel(0, 1, 7);
  s->SetPixel(1, 2, 5);
  EXPECT_EQ(d[8192], 0x70);
  EXPECT_EQ(d[64], 0x05);
  auto sx = MakeAgatScreen(AgatModes[6], d.data());
  sx->SetPixel(2, 1, 0x12);
  EXPECT_EQ(d[128 * 64 + 1], 0x10);
  EXPECT_EQ(d[16384 + 128 * 64 + 1], 0x20);

  std::fill(d.begin(), d.end(), 0);
  auto a9 = MakeAgatScreen(AgatModes[9], d.data());
  a9->SetPixel(5, 3, 2);
  EXPECT_EQ(d[(1 + 128) * 64 + 1], 0x20);
  auto m2 = MakeAgatScreen(AgatModes[12], d.data());
  m2->MirrorX = true;
  m2->SetPixel(0, 0, 1);
  EXPECT_EQ(d[63], 0);
  EXPECT_EQ(d[16384 + 63], 1);

  std::fill(d.begin(), d.end(), 0);
  TKvAgat7_128x128HAMScreen h(128, 128, d.data());
  h.SetPixel(0, 4, 3);
  h.SetPixel(0, 3, 3);
  EXPECT_EQ(d[4 * 64], 0xB0);
  EXPECT_EQ(d[3 * 64], 0x30);
}

TEST(KvSavePlatformAgat, SingleFrameColourModes) {
  auto pic = GradientPicture(64, 64, 5);
  // "15 colors" leaves colour 8 out of the pixels but lists all 16 in the file.
  auto c15 = AgatConvert(0, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored15); });
  const uint8_t* d = Fil(c15).GetData();
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      ASSERT_NE(Nibble(d, 32, x, y), 8);
      ASSERT_EQ(Nibble(d, 32, x, y), c15.Preview->GetPixel(x, y));
    }
  EXPECT_EQ(ReadAgatFilPaletteEntry(Fil(c15).GetTrailer(), 8), StdRGBColor(0x22, 0x22, 0x22));
  EXPECT_EQ(ReadAgatFilPaletteEntry(Fil(c15).GetTrailer(), 15), StdRGBColor(255, 255, 255));
  // "Gray" of "16 colors": the four grays of the table.
  auto gray = AgatConvert(0, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  d = Fil(gray).GetData();
  for (int i = 0; i < 2048; ++i)
    for (int v : {d[i] >> 4, d[i] & 15}) ASSERT_TRUE(v == 0 || v == 8 || v == 7 || v == 15) << v;
}

// The screen value of every pixel names, in the trailer's palette, the
// preview's colour: the trailer is what the screen shows.
void ExpectTrailerShowsPreview(const TKvConversion& r, int AStride, int ABits) {
  TKvFilStream& f = Fil(r);
  for (int y = 0; y < r.Preview->Height; ++y)
    for (int x = 0; x < r.Preview->Width; ++x) {
      const uint8_t* d = f.GetData();
      int v;
      if (ABits == 4) {
        v = Nibble(d, AStride, x, y);
      } else {
        const int row = y / 2 + (y % 2) * (r.Preview->Height / 2);
        v = (d[row * AStride + x / 4] >> (6 - 2 * (x % 4))) & 3;
      }
      const TKvStdRGBColor c = ReadAgatFilPaletteEntry(f.GetTrailer(), v);
      const TKvStdRGBColor p = r.Preview->GetPixelStdRGB(x, y);
      ASSERT_EQ((std::vector<int>{c.R / 17, c.G / 17, c.B / 17}), (std::vector<int>{(p.R + 8) / 17, (p.G + 8) / 17, (p.B + 8) / 17}))
          << x << " " << y;
    }
}

TEST(KvSavePlatformAgat, Colours4096IndexTheTrailer) {
  auto pic = GradientPicture(64, 64, 8);
  ExpectTrailerShowsPreview(AgatConvert(0, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored4096); }),
                            32, 4);
  auto big = GradientPicture(256, 256, 8);
  // "Gray" with a fixed palette that leaves no room for the picture's
  // grays: the two-level conversion writes the fixed palette's own entries.
  for (bool full : {false, true}) {
    SCOPED_TRACE(full);
    auto r = AgatConvert(9, *big, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptColored4096);
      o.SetPaletteMode(pmGray);
      if (full) {
        TKvPalette256 f;
        for (auto c : {StdRGBColor(0, 0, 0), StdRGBColor(255, 0, 0), StdRGBColor(0, 0, 255), StdRGBColor(255, 255, 255)})
          f.AddStdRGB(c);
        o.SetFixedPalette(&f);
      }
    });
    ExpectTrailerShowsPreview(r, 64, 2);
  }
}

// In a two-frame file the frame values index the trailer palette with the
// preview frames' colours.
void ExpectFramesMatchTrailer(const TKvConversion& r) {
  TKvFilStream& f = Fil(r);
  auto* frames = r.Preview->GetFrames();
  ASSERT_NE(frames, nullptr);
  ASSERT_EQ(frames->GetCount(), 2);
  const int W = r.Preview->Width, H = r.Preview->Height;
  for (int k = 0; k < 2; ++k) {
    auto& s = static_cast<TKvFilStream&>(*f.GetSubStream(k));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const TKvStdRGBColor c = ReadAgatFilPaletteEntry(s.GetTrailer(), Nibble(s.GetData(), W / 2, x, y));
        const TKvStdRGBColor p = frames->GetBitmap(k)->GetPixelStdRGB(x, y);
        ASSERT_EQ(c.R / 17, (p.R + 8) / 17) << k << " " << x << " " << y;
        ASSERT_EQ(c.G / 17, (p.G + 8) / 17);
        ASSERT_EQ(c.B / 17, (p.B + 8) / 17);
      }
  }
}

TEST(KvSavePlatformAgat, GigascreenMixturesOverTheBaseCount) {
  // Two colours quantize to fewer than 16: the values still split by 16.
  auto two = std::make_unique<TBitmap32>(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) *two->GetPixelPtr(x, y) = (x < 32) ? 0xFF2040C0u : 0xFFE0E020u;
  auto q = AgatConvert(1, *two, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored4096); });
  EXPECT_LT(q.Options->GetFixedPalette()->Count, 16);
  ExpectFramesMatchTrailer(q);
  auto pic = GradientPicture(64, 64, 9);
  // The bounded quantization gives the same files on one and on several
  // processors.
  {
    auto setup = [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored4096); };
    TKvProcessorCountOverride one(1);
    auto a = AgatConvert(1, *pic, setup);
    TKvProcessorCountOverride four(4);
    auto b = AgatConvert(1, *pic, setup);
    ASSERT_EQ(Fil(a).GetSize(), Fil(b).GetSize());
    EXPECT_EQ(std::memcmp(Fil(a).GetMemory(), Fil(b).GetMemory(), size_t(Fil(a).GetSize())), 0);
  }
  for (TKvPaletteMode mode : {pmGray, pmColor}) {
    auto g = AgatConvert(1, *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptColored4096);
      o.SetPaletteMode(mode);
    });
    ExpectFramesMatchTrailer(g);
  }
  // "8 colors": the trailer lists the 8 colours twice.
  auto c8 = AgatConvert(1, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored8); });
  ExpectFramesMatchTrailer(c8);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(ReadAgatFilPaletteEntry(Fil(c8).GetTrailer(), i), ReadAgatFilPaletteEntry(Fil(c8).GetTrailer(), i + 8));
  // Agat-9 "Gray" of "4096 colors" converts without an internal error and
  // its frame values are colours of the trailer.
  auto big = GradientPicture(256, 256, 9);
  for (TKvPaletteMode mode : {pmGray, pmColorBright, pmColor}) {
    SCOPED_TRACE(int(mode));
    auto r = AgatConvert(10, *big, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptColored4096);
      o.SetPaletteMode(mode);
    });
    ASSERT_TRUE(r.Preview);
    auto& s = static_cast<TKvFilStream&>(*Fil(r).GetSubStream(1));
    auto* f2 = r.Preview->GetFrames()->GetBitmap(1);
    for (int y = 0; y < 256; y += 7)
      for (int x = 0; x < 256; x += 5) {
        const int row = y / 2 + (y % 2) * 128;
        const int v = (s.GetData()[row * 64 + x / 4] >> (6 - 2 * (x % 4))) & 3;
        EXPECT_EQ(ReadAgatFilPaletteEntry(s.GetTrailer(), v).G / 17, (f2->GetPixelStdRGB(x, y).G + 8) / 17);
      }
  }
}

// "Gray" of "Black + RGB" flickers between black and green. A limit below
// their gray distance leaves no half-tone: every pixel is black or green in
// both frames, and the gray ramp still shows both.
TEST(KvSavePlatformAgat, GrayFlickerLimitDropsTheHalfTone) {
  auto pic = GradientPicture(256, 256, 21);
  for (int limit : {50, 100}) {
    SCOPED_TRACE(limit);
    auto r = AgatConvert(10, *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(ptColoredBRGB);
      o.SetPaletteMode(pmGray);
      o.SetMaxFlickering(limit);
    });
    auto* frames = r.Preview->GetFrames();
    int count[3] = {0, 0, 0};  // black, green, flickering
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const int a = frames->GetBitmap(0)->GetPixel(x, y), b = frames->GetBitmap(1)->GetPixel(x, y);
        ASSERT_TRUE((a == 0 || a == 2) && (b == 0 || b == 2)) << a << " " << b;
        ++count[a != b ? 2 : a / 2];
        ASSERT_EQ(r.Preview->GetPixel(x, y), a * 4 + b);
      }
    EXPECT_GT(count[0], 0);
    EXPECT_GT(count[1], 0);
    if (limit == 100)
      EXPECT_GT(count[2], 0);
    else
      EXPECT_EQ(count[2], 0);
  }
}

TEST(KvSavePlatformAgat, MonochromeGigascreenGray) {
  auto gray = SolidPicture(256, 256, 0x808080);
  auto r = AgatConvert(8, *gray);
  const uint8_t* d = Fil(r).GetData();
  int mixed = 0;
  for (int i = 0; i < 8192; ++i) mixed += __builtin_popcount(d[i] ^ d[8192 + i]);
  EXPECT_GT(mixed, 256 * 256 / 4);
  auto white = SolidPicture(256, 256, 0xFFFFFF);
  auto w = AgatConvert(8, *white);
  for (int i = 0; i < 16384; ++i) ASSERT_EQ(Fil(w).GetData()[i], 0xFF);
}

TEST(KvSavePlatformAgat, HAMBands) {
  auto pic = GradientPicture(128, 128, 12);
  TKvConversion r1, rn;
  {
    TKvProcessorCountOverride one(1);
    r1 = AgatConvert(4, *pic);
  }
  {
    TKvProcessorCountOverride four(4);
    rn = AgatConvert(4, *pic);
  }
  ASSERT_EQ(Fil(r1).GetSize(), 9256);
  EXPECT_EQ(std::memcmp(Fil(r1).GetMemory(), Fil(rn).GetMemory(), 9256), 0);
  const uint8_t* d = Fil(r1).GetData();
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      const int v = Nibble(d, 64, x, y);
      ASSERT_EQ(v >= 8, (y / 4) % 2 == 1) << x << " " << y;
      const uint8_t* rec = d + 8192 + 24 * (y / 4) + 3 * (v & 7);
      const TKvStdRGBColor p = r1.Preview->GetPixelStdRGB(x, y);
      ASSERT_EQ(p, StdRGBColor(uint8_t(rec[0] * 17), uint8_t(rec[1] * 17), uint8_t(rec[2] * 17)));
    }
  // The trailer palette block stays empty; the result palette lists the
  // colours used, sorted by gray.
  for (int i = 4; i < 60; ++i) EXPECT_EQ(Fil(r1).GetTrailer()[i], 0);
  const TKvPalette256& used = *r1.Options->GetPalette();
  EXPECT_GT(used.Count, 16);
  for (int i = 1; i < used.Count; ++i) EXPECT_LE(used.GetLinGray(i - 1), used.GetLinGray(i));
  // A flat band: every pixel uses the record of its colour, and the records
  // the quantization did not fill stay 0.
  auto flat = SolidPicture(128, 128, 0x336699);
  auto f = AgatConvert(4, *flat, [](TKvDestEngineOptions& o) { o.SetHAMPrevLines(0); });
  const uint8_t* fd = Fil(f).GetData();
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      const uint8_t* rec = fd + 8192 + 24 * (y / 4) + 3 * (Nibble(fd, 64, x, y) & 7);
      ASSERT_EQ((std::vector<int>{rec[0], rec[1], rec[2]}), (std::vector<int>{3, 6, 9}));
    }
  EXPECT_EQ(fd[8192 + 23], 0);
}

TEST(KvSavePlatformAgat, PanelsAndBadInput) {
  using K = TKvPanelSectionKind;
  auto kinds = [](int AMode) {
    auto engine = AgatClass(AMode).Create();
    auto o = engine->CreateOptions();
    auto ui = engine->CreateUI(o.get());
    std::vector<K> v;
    for (auto& s : dynamic_cast<TKvDestEngineUIEx&>(*ui).GetSections()) v.push_back(s.Kind);
    return v;
  };
  EXPECT_EQ(kinds(1), (std::vector<K>{K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode,
                                     K::DestPalette, K::FixedPalette, K::MaxFlickering, K::Dithering,
                                     K::CommentSeparator, K::CommentEdit}));
  EXPECT_EQ(kinds(4), (std::vector<K>{K::Position, K::PaletteSeparator, K::DestPalette, K::Ham, K::Dithering,
                                     K::CommentSeparator, K::CommentEdit}));
  EXPECT_EQ(kinds(11), (std::vector<K>{K::Position, K::Dithering, K::CommentSeparator, K::CommentEdit}));
  // The result grids follow the conversion and take no dropped palette file.
  for (int m = 0; m < 13; ++m) {
    auto engine = AgatClass(m).Create();
    auto o = engine->CreateOptions();
    auto ui = engine->CreateUI(o.get());
    for (auto& s : dynamic_cast<TKvDestEngineUIEx&>(*ui).GetSections())
      if (s.Kind == K::DestPalette) {
        EXPECT_TRUE(s.Flag) << m;
      }
  }
  auto wrong = GradientPicture(32, 32, 1);
  EXPECT_THROW(AgatConvert(0, *wrong), EOSError);
  auto pic = GradientPicture(64, 64, 1);
  EXPECT_THROW(AgatConvert(0, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColoredBRGB); }), EOSError);
}

}  // namespace
