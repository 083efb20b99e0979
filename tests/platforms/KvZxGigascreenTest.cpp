// The gigascreen classes and converters: candidate lists, the two-frame and
// MGH files, safe mode and the canonical cells of one mixture.
#include <gtest/gtest.h>

#include <cstring>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

TEST(KvZxGigascreen, CandidateListsFollowTheColourUsage) {
  struct {
    TKvColorUsage Usage;
    bool Same;
    int Min, Max;
  } cases[] = {{cuDarkAndBright, false, 0, 15},
               {cuDarkOnly, false, 0, 7},
               {cuBrightOnly, false, 8, 15},
               {cuDarkAndBright, true, 0, 15},
               {cuDarkOnly, true, 0, 7}};
  for (auto& c : cases) {
    TKvZxSpectrumGigascreenEngineOptions o;
    o.SetColorUsage(c.Usage);
    o.SetSafeMode(c.Same);
    o.BuildZxGigaPalette(false);
    TKvZxSpectrumGigascreenPaletteList l(c.Usage, *o.GetPalette(), c.Same);
    ASSERT_GT(l.GetCandidateCount(), 0);
    int last = 4;
    for (int i = 0; i < l.GetCandidateCount(); ++i) {
      const TKvZxGigaCandidate& c0 = l.GetCandidate(i);
      TKvZxSpectrumGigascreenPalette full(*o.GetPalette());
      full.Setup(c0.Paper1, c0.Ink1, c0.Paper2, c0.Ink2);
      ASSERT_EQ(full.GetColorCount(), c0.Count);
      for (int k = 0; k < c0.Count; ++k) ASSERT_EQ(l.GetMixEntries()[c0.Slots[k]], full.Entries[k]);
      TKvZxSpectrumGigascreenPalette* p = &full;
      for (int v : {p->Paper1, p->Ink1, p->Paper2, p->Ink2}) {
        EXPECT_GE(v, c.Min);
        EXPECT_LE(v, c.Max);
      }
      EXPECT_LE(p->Paper1, p->Ink1);
      EXPECT_LE(p->Paper2, p->Ink2);
      EXPECT_LE(p->GetColorCount(), last);  // most colours first
      last = p->GetColorCount();
      if (c.Same) {
        EXPECT_EQ(p->Paper1, p->Paper2);
        EXPECT_EQ(p->Ink1, p->Ink2);
        EXPECT_LE(p->GetColorCount(), 3);
      }
      for (int k = 0; k < p->GetColorCount(); ++k) EXPECT_GE(l.GetUnionPalette().IndexOfStdRGB(p->Palette->GetStdRGB(k)), 0);
    }
  }
  TKvZxSpectrumGigascreenEngineOptions o;
  o.BuildZxGigaPalette(false);
  TKvZxSpectrumGigascreenPalette one(*o.GetPalette());
  one.Setup(3, 3, 3, 3);
  EXPECT_EQ(one.GetColorCount(), 1);
  one.Setup(0, 7, 0, 7);
  EXPECT_EQ(one.GetColorCount(), 3);
  EXPECT_EQ(one.Codes[1], 1);  // black with white: paper, then ink
}

TEST(KvZxGigascreen, MghHeaderAndTwoScreenFile) {
  auto pic = GradientPicture(256, 16, 41);
  for (int32_t border : {0xFFFFFF, 0x0000FF}) {
    auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumGigascreenEngine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetColorUsage(cuDarkOnly);
      o.SetBorderColor(border);
    });
    ASSERT_EQ(r.Streams->GetCount(), 2);
    ASSERT_EQ(r.Size(0), 13824);
    ASSERT_EQ(r.Size(1), 14080);
    const uint8_t* img = r.Bytes(0);
    const uint8_t* mg8 = r.Bytes(1);
    EXPECT_EQ(std::memcmp(mg8, "MGH\x01\x08", 5), 0);
    EXPECT_EQ(mg8[5], border == 0xFFFFFF ? 7 : 1);
    EXPECT_EQ(mg8[6], mg8[5]);
    EXPECT_EQ(mg8[255], 255);
    // The same bitmaps and attributes.
    EXPECT_EQ(std::memcmp(mg8 + 256, img, 6144), 0);
    EXPECT_EQ(std::memcmp(mg8 + 6400, img + 6912, 6144), 0);
    EXPECT_EQ(std::memcmp(mg8 + 12544, img + 6144, 768), 0);
    EXPECT_EQ(std::memcmp(mg8 + 12544 + 768, img + 13056, 768), 0);
    // The preview palette is rebuilt with the ordering flags.
    EXPECT_TRUE(r.Options->GetPalette()->Colors[1 * 16 + 0].Skip);
  }
  struct {
    const TKvDestEngineClass* Class;
    int64_t Size;
    uint8_t Height;
  } modes[] = {{&DestEngineClass<TKvZxSpectrumMultiGigascreen4Engine>(), 15616, 4},
               {&DestEngineClass<TKvZxSpectrumMultiGigascreen2Engine>(), 18688, 2},
               {&DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(), 19456, 1}};
  for (auto& m : modes) {
    auto r = ConvertPicture(*m.Class, *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
    ASSERT_EQ(r.Size(0), m.Size);
    EXPECT_EQ(r.Bytes(0)[4], m.Height);
  }
}

TEST(KvZxGigascreen, SafeModeSharesEveryAttribute) {
  auto pic = GradientPicture(256, 16, 42);
  auto safe = [](TKvDestEngineOptions& o) { o.SetSafeMode(true); };
  auto g = ConvertPicture(DestEngineClass<TKvZxSpectrumGigascreenEngine>(), *pic, safe);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(g.Bytes(0)[6144 + i], g.Bytes(0)[13056 + i]) << i;
  auto m1 = ConvertPicture(DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(), *pic, safe);
  for (int i = 0; i < 2 * 16; ++i) EXPECT_EQ(m1.Bytes(0)[18688 + i], m1.Bytes(0)[19072 + i]);
  for (int i = 0; i < 16 * 16; ++i) EXPECT_EQ(m1.Bytes(0)[12544 + i], m1.Bytes(0)[15616 + i]);
}

TEST(KvZxGigascreen, BlackWhiteMixtureBecomesOneAttributeInAChessboard) {
  // The colour of black shown with white, without dithering.
  TKvZxSpectrumGigascreenEngineOptions o;
  o.BuildZxGigaPalette(false);
  const TKvStdRGBColor gray = o.GetPalette()->GetStdRGB(7);
  // Two character rows: the second is walked mirrored and shows the same
  // chessboard.
  auto pic = SolidPicture(256, 16, (uint32_t(gray.R) << 16) | (uint32_t(gray.G) << 8) | gray.B);
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumGigascreenEngine>(), *pic,
                          [](TKvDestEngineOptions& p) { p.SetErrorDiffusion(0); });
  const uint8_t* d = r.Bytes(0);
  for (int cx = 0; cx < 64; ++cx) {
    EXPECT_EQ(d[6144 + cx], ZxAttribute(0, 7)) << cx;
    EXPECT_EQ(d[13056 + cx], ZxAttribute(0, 7)) << cx;
  }
  for (int y = 0; y < 16; ++y)
    for (int c = 0; c < 32; ++c) {
      const uint8_t a = d[ZxRowOffset(y) + c], b = d[6912 + ZxRowOffset(y) + c];
      EXPECT_EQ(a ^ b, 0xFF);                       // each pixel ink in one frame
      EXPECT_TRUE(a == 0x55 || a == 0xAA);           // a chessboard
      EXPECT_EQ(a, (y & 1) ? 0xAA : 0x55);             // frame 1: ink where x + y is odd
    }
}

TEST(KvZxGigascreen, SameFilesWithOneAndManyProcessors) {
  auto pic = GradientPicture(256, 16, 43);
  auto setup = [](TKvDestEngineOptions& o) { o.SetColorUsage(cuBrightOnly); };
  for (const TKvDestEngineClass* c :
       {&DestEngineClass<TKvZxSpectrumGigascreenEngine>(), &DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>()}) {
    TKvConversion one, many;
    {
      TKvProcessorCountOverride p(1);
      one = ConvertPicture(*c, *pic, setup);
    }
    {
      TKvProcessorCountOverride p(4);
      many = ConvertPicture(*c, *pic, setup);
    }
    ASSERT_EQ(one.Size(0), many.Size(0));
    EXPECT_EQ(std::memcmp(one.Bytes(0), many.Bytes(0), static_cast<size_t>(one.Size(0))), 0) << c->GetModeName();
  }
}

}  // namespace

namespace {

TEST(KvZxInterlaced, FirstVersionWritesEachAttributeTwice) {
  auto pic = GradientPicture(256, 32, 44);
  auto bw = ConvertPicture(DestEngineClass<TKvZxSpectrumInterlacedEngine>(), *pic,
                           [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmBlackWhite); });
  const uint8_t* d = bw.Bytes(0);
  int set = 0;
  for (int i = 0; i < 768; ++i) {
    EXPECT_EQ(d[6144 + i], 0x47);
    EXPECT_EQ(d[6912 + 6144 + i], 0x47);
  }
  for (int i = 0; i < 6144; ++i) set += d[i] != 0 && d[i] != 0x47;
  EXPECT_GT(set, 0);
  auto c = ConvertPicture(DestEngineClass<TKvZxSpectrumInterlacedEngine>(), *pic);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(c.Bytes(0)[6144 + i], c.Bytes(0)[6912 + 6144 + i]);
  EXPECT_EQ(c.Bytes(0)[6144 + 64], 0x47);  // beyond the picture: as filled
  EXPECT_EQ(c.Preview->Height, 32);
}

TEST(KvZxInterlaced, SecondVersionStyles) {
  auto pic = GradientPicture(256, 16, 45);
  for (uint8_t style : {0, 1, 2}) {
    auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumGigaInterlacedEngine1>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetGigaStyle(style); });
    ASSERT_EQ(r.Preview->Width, 512);
    ASSERT_EQ(r.Preview->Height, 32);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 256; ++x) ASSERT_EQ(r.Preview->GetPixel(2 * x + 1, y), r.Preview->GetPixel(2 * x, y));
    int differ = 0;
    for (int i = 0; i < 64; ++i) differ += r.Bytes(0)[6144 + i] != r.Bytes(0)[6912 + 6144 + i];
    if (style == 1)
      EXPECT_EQ(differ, 0);
    else
      EXPECT_GT(differ, 0);
    // The display palette is the 16 colours again.
    EXPECT_EQ(r.Options->GetPalette()->Count, 16);
  }
}

TEST(KvZxInterlaced, NeighbourScoresAreSquaresOfSums) {
  // Frame 1 brighter in both cells, row by row: the frames of this cell are
  // exchanged, so that neighbours show their brighter frames in turn.
  TKvZxSpectrumGigaInterlacedImage::TMeasures T{}, O{};
  for (int i = 0; i < 8; ++i) T[i] = O[i] = 1;
  EXPECT_EQ(TKvZxSpectrumGigaInterlacedImage::CompareWithLeft(T, O), 2);
  for (int i = 0; i < 8; ++i) {
    O[i] = 0;
    O[8 + i] = 1;
  }
  EXPECT_EQ(TKvZxSpectrumGigaInterlacedImage::CompareWithLeft(T, O), 1);
  // Equal rows: the edge columns decide, equal edges swap.
  TKvZxSpectrumGigaInterlacedImage::TMeasures Z{};
  EXPECT_EQ(TKvZxSpectrumGigaInterlacedImage::CompareWithLeft(Z, Z), 2);
  EXPECT_EQ(TKvZxSpectrumGigaInterlacedImage::CompareWithUpper(Z, Z), 0);
  // Above: the last frame-1 row of the cell above next to this cell's first.
  TKvZxSpectrumGigaInterlacedImage::TMeasures U{};
  U[7] = 1;
  T[0] = 1;
  T[8] = 0;
  EXPECT_EQ(TKvZxSpectrumGigaInterlacedImage::CompareWithUpper(T, U), 1);  // rows that match stay
  U[7] = 0;
  U[15] = 1;
  EXPECT_EQ(TKvZxSpectrumGigaInterlacedImage::CompareWithUpper(T, U), 2);
}

}  // namespace

namespace {

TEST(KvZxGigascreen, SkippingHopelessCandidatesKeepsEveryResult) {
  auto pic = GradientPicture(256, 16, 46);
  struct {
    const TKvDestEngineClass* Class;
    TKvPaletteMode Mode;
    uint8_t Dither;
  } cases[] = {{&DestEngineClass<TKvZxSpectrumGigascreenEngine>(), pmColor, 1},
               {&DestEngineClass<TKvZxSpectrumGigascreenEngine>(), pmGray, 1},
               {&DestEngineClass<TKvZxSpectrumGigascreenEngine>(), pmColor, 9},  // ordered
               {&DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(), pmColor, 2},
               {&DestEngineClass<TKvZxSpectrumGigaInterlacedEngine1>(), pmColor, 1}};
  for (auto& c : cases) {
    auto setup = [&](TKvDestEngineOptions& o) {
      o.SetColorUsage(cuBrightOnly);
      o.SetPaletteMode(c.Mode);
      o.SetDitherMethod(c.Dither);
    };
    auto fast = ConvertPicture(*c.Class, *pic, setup);
    KvZxGigaSkipHopelessCandidates = false;
    auto slow = ConvertPicture(*c.Class, *pic, setup);
    KvZxGigaSkipHopelessCandidates = true;
    ASSERT_EQ(fast.Size(0), slow.Size(0));
    EXPECT_EQ(std::memcmp(fast.Bytes(0), slow.Bytes(0), static_cast<size_t>(fast.Size(0))), 0)
        << c.Class->GetModeName() << " " << int(c.Mode) << " " << int(c.Dither);
  }
}

TEST(KvZxGigascreen, AbortRaisesTheSilentAbort) {
  auto pic = GradientPicture(256, 16, 47);
  for (const TKvDestEngineClass* c :
       {&DestEngineClass<TKvZxSpectrumGigascreenEngine>(), &DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>(),
        &DestEngineClass<TKvZxSpectrumGigaInterlacedEngine1>(), &DestEngineClass<TKvZxSpectrumBWGigascreenEngine>()}) {
    auto engine = c->Create();
    auto options = engine->CreateOptions();
    TKvDestProgress progress;
    bool abort = true;
    std::unique_ptr<TKvStreamList> streams;
    EXPECT_THROW(c->Convert(&abort, *pic, nullptr, nullptr, *options, progress, streams), EAbort)
        << c->GetModeName();
  }
}

}  // namespace

namespace {

using K = TKvPanelSectionKind;

std::vector<K> PanelKinds(const TKvDestEngineClass& AClass, std::unique_ptr<TKvDestEngineOptions>& AOptions,
                          std::unique_ptr<TKvDestEngineUI>& AUI) {
  auto engine = AClass.Create();
  AOptions = engine->CreateOptions();
  AUI = engine->CreateUI(AOptions.get());
  std::vector<K> kinds;
  for (const TKvPanelSection& s : static_cast<TKvDestEngineUIEx&>(*AUI).GetSections()) kinds.push_back(s.Kind);
  return kinds;
}

TEST(KvZxGigascreen, PanelsAndDefaults) {
  std::unique_ptr<TKvDestEngineOptions> o;
  std::unique_ptr<TKvDestEngineUI> ui;
  const std::vector<K> giga{K::Position,   K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode,
                            K::DestPalette, K::Calculation,     K::ColorUsage,            K::MaxFlickering,
                            K::SafeModeCheckBox, K::Dithering};
  for (const TKvDestEngineClass* c :
       {&DestEngineClass<TKvZxSpectrumGigascreenEngine>(), &DestEngineClass<TKvZxSpectrumMultiGigascreen4Engine>(),
        &DestEngineClass<TKvZxSpectrumMultiGigascreen2Engine>(), &DestEngineClass<TKvZxSpectrumMultiGigascreen1Engine>()}) {
    EXPECT_EQ(PanelKinds(*c, o, ui), giga) << c->GetModeName();
    EXPECT_EQ(o->GigaCalculation, 1);
    EXPECT_EQ(o->PaletteMode, 11);
    EXPECT_EQ(o->MaxFlickering, 100);
    const auto& s = static_cast<TKvDestEngineUIEx&>(*ui).GetSections();
    EXPECT_EQ(s[2].Items, (std::vector<int>{ptPulsar, ptColoredLinear, ptAlone}));
    EXPECT_EQ(s[3].Set, 2050u);
    EXPECT_EQ(s[4].Columns * s[4].Rows, 256);
    EXPECT_FALSE(s[6].Flag);
    EXPECT_EQ(o->GetPalette()->Count, 256);
  }
  EXPECT_EQ(o->DitherMethod, 2);  // "MultiGiga 8x1"
  EXPECT_EQ(PanelKinds(DestEngineClass<TKvZxSpectrumBWGigascreenEngine>(), o, ui),
            (std::vector<K>{K::Position, K::Dithering}));
  EXPECT_EQ(PanelKinds(DestEngineClass<TKvZxSpectrumGigaInterlacedEngine1>(), o, ui),
            (std::vector<K>{K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode,
                            K::DestPalette, K::ColorUsage, K::Style, K::Dithering}));
  EXPECT_EQ(o->GetPalette()->Count, 16);
  EXPECT_EQ(PanelKinds(DestEngineClass<TKvZxSpectrumInterlacedEngine>(), o, ui),
            PanelKinds(DestEngineClass<TKvZxSpectrumEngine>(), o, ui));
  auto v1 = DestEngineClass<TKvZxSpectrumInterlacedEngine>().Create()->CreateOptions();
  EXPECT_EQ(v1->GetWidth(), 256);
  EXPECT_EQ(v1->GetHeight(), 384);
  EXPECT_EQ(v1->GetCellHeight(), 16);
  EXPECT_EQ(v1->PixelAspect, 17);
}

}  // namespace
