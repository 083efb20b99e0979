#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrumUlaPlus.h"
#include "platforms/UlaPlusTestPictures.h"
#include "KvTestHarness.h"

namespace {

const TKvDestEngineClass& Classic() { return DestEngineClass<TKvULAPlusEngine>(); }
const TKvDestEngineClass& Timex() { return DestEngineClass<TKvULAPlusTimexEngine>(); }

std::vector<uint32_t> Quads(const TKvPalette256& APalette) {
  std::vector<uint32_t> r;
  for (int i = 0; i < APalette.Count; ++i) r.push_back(APalette.GetRGBQuad(i));
  return r;
}

// A palette of colours given as $RRGGBB.
void FillQuads(TKvPalette256& APalette, const std::vector<uint32_t>& AQuads) {
  APalette.Clear();
  for (uint32_t q : AQuads) APalette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
}

uint32_t Gray(int g) { return uint32_t(g) * 0x010101u; }

TEST(KvSavePlatformZxSpectrumUlaPlus, LastPlatformWithItsTwoModes) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int p = l.IndexOf("ZX Spectrum UlaPlus");
  ASSERT_EQ(p, l.GetCount() - 1);
  ASSERT_EQ(l.GetSubTypes(p).GetCount(), 2);
  EXPECT_EQ(l.GetSubTypes(p).GetString(0), "256x192x8 (8x8)");
  EXPECT_EQ(l.GetSubTypes(p).GetString(1), "256x192x8 (8x1)");
}

TEST(KvSavePlatformZxSpectrumUlaPlus, GrayRampsAndLayouts) {
  TKvPalette256 p;
  BuildUlaPlusGrayPalette(p, ptV11, 0);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{Gray(0), Gray(109), Gray(182), Gray(255)}));
  BuildUlaPlusGrayPalette(p, ptV10, 0);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{Gray(0), Gray(109), Gray(146), Gray(255)}));
  BuildUlaPlusGrayPalette(p, ptV11, 4);  // eight grays, the inexact ones nearest first
  EXPECT_EQ(p.Count, 8);
  EXPECT_THROW(BuildUlaPlusGrayPalette(p, ptV11Gray, 0), EOSError);

  // Src colour i is (i, i, i); every two of them share a CLUT, the earlier
  // one as paper.
  for (int n : {9, 10, 17}) {
    SCOPED_TRACE(n);
    TKvPalette256 l;
    for (int i = 0; i < n; ++i) l.AddRGB(uint8_t(i), uint8_t(i), uint8_t(i));
    UlaPlusLayout17(l);
    ASSERT_EQ(l.Count, n > 9 ? 48 : 16);
    auto at = [&](int e) { return l.Colors[e].Skip ? -1 : int(l.GetStdRGB(e).R); };
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) {
        bool found = false;
        for (int k = 0; k * 16 < l.Count && !found; ++k)
          for (int a = 0; a < 8 && !found; ++a)
            for (int b = 0; b < 8 && !found; ++b) found = at(16 * k + a) == i && at(16 * k + 8 + b) == j;
        EXPECT_TRUE(found) << i << "," << j;
      }
    if (n == 10) {
      EXPECT_EQ(at(32), 8);      // paper 0 of CLUT 2
      EXPECT_EQ(at(8 + 7), 8);   // ink 7 of CLUT 0
      EXPECT_EQ(at(32 + 2), -1);  // a filler
    }
  }
  TKvPalette256 big;
  for (int i = 0; i < 18; ++i) big.AddRGB(uint8_t(i), 0, 0);
  EXPECT_THROW(UlaPlusLayout17(big), EOSError);
}

// The attribute and pixel each candidate kind writes, the palette bytes, and
// the two-colour fallback.
TEST(KvSavePlatformZxSpectrumUlaPlus, AttributesPaletteBytesAndFallback) {
  TKvPalette256 layout;
  for (int i = 0; i < 64; ++i) layout.AddRGB(uint8_t(i * 4), 0, 0);
  auto pic = SolidPicture(256, 192, 0);
  TKvULAPlusImage image(8, 8, *pic);
  std::vector<uint8_t> data(6976, 0);
  TKvULAPlusScreen screen(data.data());
  struct {
    int A, B;
    bool Single;
    uint8_t Value;
    int Attr, Pixel;
  } cases[] = {{17, 26, false, 0, 0x4A, 1}, {43, 43, true, 0, 0x83, 1}, {20, 20, true, 1, 0x60, 0}};
  for (auto& c : cases) {
    std::unique_ptr<TKvCellPalette> cand;
    if (c.Single)
      cand = std::make_unique<TKvCellPaperIncPalette>(layout, c.A, c.B, true, c.Value);
    else
      cand = std::make_unique<TKvCellPalette>(layout, c.A, c.B);
    image.SetCellAttr(&screen, 3, 2, cand.get());
    image.SetTargetPixel(&screen, 24, 16, cand.get(), 1);
    EXPECT_EQ(data[6144 + 2 * 32 + 3], c.Attr) << c.A;
    EXPECT_EQ(screen.GetPixel(24, 16), c.Pixel) << c.A;
  }
  TKvCellPalette split(layout, 15, 16);
  EXPECT_THROW(image.SetCellAttr(&screen, 0, 0, &split), EOSError);

  // File byte 0 is ink 0 of CLUT 0 (layout entry 8), byte 8 its paper 0.
  TKvPalette256 full;
  BuildUlaPlusPalette(full, ptV11);
  TKvPalette256 l2;
  for (int i = 0; i < 64; ++i) l2.AddColor(full.Colors[(i * 5 + 1) % 256]);
  l2.Colors[63].Skip = true;
  std::vector<uint8_t> file(6976, 0xEE);
  WriteUlaPlusPalette(l2, full, file.data(), 6976);
  EXPECT_EQ(file[6912], (8 * 5 + 1) % 256);
  EXPECT_EQ(file[6912 + 8], 1);
  EXPECT_EQ(file[6912 + 48 + 7], 0xEE);  // ink 7 of CLUT 3 is a filler: its byte stays
  EXPECT_EQ(file[6911], 0xEE);
  l2.Colors[0].SetStdRGB({1, 2, 3});
  EXPECT_THROW(WriteUlaPlusPalette(l2, full, file.data(), 6976), Exception);

  // Dark Src 9 and light Src 3 share only CLUT 1, with light as the paper.
  std::vector<uint8_t> d2(12352, 0);
  TKvULAPlusExtendedScreen tscreen(d2.data());
  int dark = 9, light = 3;
  bool inverted = false;
  FindUlaPlusTwoColorAttribute(tscreen, 1, dark, light, inverted);
  EXPECT_TRUE(inverted);
  EXPECT_EQ(dark, 24);
  EXPECT_EQ(light, 19);
  EXPECT_EQ(std::count(d2.begin() + 6144, d2.begin() + 12288, 0x58), 6144);
  tscreen.TwoColorMode = true;
  tscreen.TwoColorDark = dark;
  tscreen.TwoColorLight = light;
  tscreen.TwoColorInverted = inverted;
  tscreen.SetPixel(0, 0, dark);
  EXPECT_EQ(tscreen.GetPixel(0, 0), 1);
  EXPECT_THROW(tscreen.SetPixel(0, 0, 5), EOSError);
}

// A candidate list of the used entries of a palette of ACount colours, with
// counts given per candidate index (pairs only unless ASingles).
std::unique_ptr<TKvULAPlusPreparePaletteList> UsedCandidates(TKvPalette256& APalette, int ACount, int AUsed,
                                                             bool ASingles) {
  FillQuads(APalette, UlaPlusTestColors(ACount));
  auto list = std::make_unique<TKvULAPlusPreparePaletteList>(APalette);
  EXPECT_EQ(list->GetCount(), ACount + ACount * (ACount - 1) / 2);
  int used = 0;
  for (int i = 0; i < list->GetCount() && used < AUsed; ++i) {
    TKvULAPlusColor* c = list->GetPalette(i);
    if (c->IsSingle() != ASingles || (!ASingles && (i * 7) % 3 == 1)) continue;
    c->PaperCount = 10 + i % 17;
    c->InkCount = ASingles ? 0 : 5 + i % 11;
    ++used;
  }
  list->Prune();
  EXPECT_EQ(list->GetCount(), AUsed);
  return list;
}

void ExpectLayout(const TKvPalette256& AResult, const TKvPalette256& AAllowed) {
  ASSERT_EQ(AResult.Count, 64);
  for (int i = 0; i < 64; ++i) {
    if (AResult.Colors[i].Skip)
      EXPECT_EQ(AResult.GetRGBQuad(i), 0u);
    else
      EXPECT_GE(AAllowed.IndexOfStdRGB(AResult.GetStdRGB(i)), 0) << i;
  }
  // Each group sorted by gray, its fillers last.
  for (int g = 0; g < 8; ++g)
    for (int i = 8 * g; i + 1 < 8 * g + 8; ++i)
      if (!AResult.Colors[i + 1].Skip) {
        EXPECT_FALSE(AResult.Colors[i].Skip);
        EXPECT_LE(AResult.GetLinGray(i), AResult.GetLinGray(i + 1));
      }
}

int UsedEntries(const TKvPalette256& AResult) {
  int n = 0;
  for (int i = 0; i < AResult.Count; ++i) n += AResult.Colors[i].Skip ? 0 : 1;
  return n;
}

TEST(KvULAPlusQuantization, ClustersPairsAndSingles) {
  TKvPalette256 full;
  BuildUlaPlusPalette(full, ptV11);
  struct {
    int Colors, Used;
    bool Singles;
  } cases[] = {{20, 40, false}, {40, 40, true}, {30, 120, false}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Used);
    TKvPalette256 work, result;
    auto list = UsedCandidates(work, c.Colors, c.Used, c.Singles);
    TKvULAPlusQuantization q;
    q.Quantize(nullptr, list.get(), false, result, &full);
    ExpectLayout(result, full);
    // Flat cells only: the singles are spread out over the CLUTs.
    if (c.Singles) {
      EXPECT_GT(UsedEntries(result), 32);
    }
    EXPECT_GT(UsedEntries(result), 16);
  }
}

// With few used candidates the clustering deals them out; the groups then
// hold exactly the dealt colours instead of black fillers.
TEST(KvULAPlusQuantization, FewColoursKeepTheirColours) {
  TKvPalette256 full, work, result;
  BuildUlaPlusPalette(full, ptV11);
  auto list = UsedCandidates(work, 12, 20, false);
  std::set<uint32_t> wanted;
  for (int i = 0; i < list->GetCount(); ++i) {
    wanted.insert(work.GetRGBQuad(list->GetPalette(i)->IndexA));
    wanted.insert(work.GetRGBQuad(list->GetPalette(i)->IndexB));
  }
  TKvULAPlusQuantization q;
  q.Quantize(nullptr, list.get(), false, result, &full);
  ExpectLayout(result, full);
  std::set<uint32_t> got;
  for (int i = 0; i < 64; ++i)
    if (!result.Colors[i].Skip) got.insert(result.GetRGBQuad(i));
  EXPECT_EQ(got, wanted);
  // Every dealt pair has its paper and its ink in one CLUT.
  for (int i = 0; i < list->GetCount(); ++i) {
    const uint32_t a = work.GetRGBQuad(list->GetPalette(i)->IndexA), b = work.GetRGBQuad(list->GetPalette(i)->IndexB);
    bool found = false;
    for (int k = 0; k < 4; ++k) {
      bool pa = false, ib = false;
      for (int m = 0; m < 8; ++m) {
        pa = pa || (!result.Colors[16 * k + m].Skip && result.GetRGBQuad(16 * k + m) == a);
        ib = ib || (!result.Colors[16 * k + 8 + m].Skip && result.GetRGBQuad(16 * k + 8 + m) == b);
      }
      found = found || (pa && ib);
    }
    EXPECT_TRUE(found) << i;
  }
}

// Lowers the work a clustering pass needs for jobs while it lives.
struct TJobsForAnyWork {
  int64_t Saved = KvULAPlusMinJobWork;
  TJobsForAnyWork() { KvULAPlusMinJobWork = 0; }
  ~TJobsForAnyWork() { KvULAPlusMinJobWork = Saved; }
};

TEST(KvULAPlusQuantization, SamePaletteOnOneAndManyWorkers) {
  TKvPalette256 full;
  BuildUlaPlusPalette(full, ptV11);
  std::vector<uint32_t> results[2];
  int n = 0;
  TJobsForAnyWork jobs;
  for (int workers : {1, 4}) {
    TKvProcessorCountOverride count(workers);
    TKvPalette256 work, result;
    auto list = UsedCandidates(work, 30, 150, false);
    TKvULAPlusQuantization q;
    q.Quantize(nullptr, list.get(), false, result, &full);
    results[n++] = Quads(result);
  }
  EXPECT_EQ(results[0], results[1]);
}

// The whole slow mode: first pass, clustering and final pass give the same
// palette and file on one processor and on several.
TEST(KvSavePlatformZxSpectrumUlaPlus, SlowModeSameOnOneAndManyWorkers) {
  auto pic = UlaPlusPairPicture(12);
  TJobsForAnyWork jobs;
  std::vector<uint32_t> palettes[2];
  std::vector<uint8_t> files[2];
  int n = 0;
  for (int workers : {1, 4}) {
    TKvProcessorCountOverride count(workers);
    auto r = ConvertPicture(Classic(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); });
    palettes[n] = Quads(*r.Options->GetPalette());
    files[n++].assign(r.Bytes(0), r.Bytes(0) + r.Size(0));
  }
  EXPECT_EQ(palettes[0].size(), 64u);
  EXPECT_EQ(palettes[0], palettes[1]);
  EXPECT_EQ(files[0], files[1]);
}

TEST(KvULAPlusQuantization, AbortLeavesTheResultAlone) {
  TKvPalette256 full, work, result;
  BuildUlaPlusPalette(full, ptV11);
  result.AddRGB(1, 2, 3);
  auto list = UsedCandidates(work, 20, 40, false);
  bool abort = true;
  TKvULAPlusQuantization q;
  EXPECT_THROW(q.Quantize(&abort, list.get(), false, result, &full), EAbort);
  EXPECT_EQ(Quads(result), std::vector<uint32_t>{0x010203u});

  // An abort in the middle of the first pass.
  class TAbortingPass : public TKvULAPlusQuantizationImage {
  public:
    using TKvULAPlusQuantizationImage::TKvULAPlusQuantizationImage;
    void ReportProgress(TKvDestProgress*, int, int ADone) override {
      if (ADone == 10) *Flag = true;
    }
    bool* Flag = nullptr;
  };
  auto pic = UlaPlusPairPicture(6);
  auto options = Classic().Create()->CreateOptions();
  FillQuads(*options->GetPalette(), UlaPlusTestColors(6));
  TAbortingPass pass(8, 8, *pic);
  bool flag = false;
  pass.Flag = &flag;
  TKvDestProgress progress;
  EXPECT_THROW(pass.Convert(&flag, *options, &progress, nullptr), EAbort);
}

// The first pass counts the pixels of the candidates the cells use.
TEST(KvULAPlusQuantization, FirstPassCountsUsedCandidates) {
  auto pic = UlaPlusPairPicture(6);
  auto options = Classic().Create()->CreateOptions();
  FillQuads(*options->GetPalette(), UlaPlusTestColors(6));
  TKvULAPlusQuantizationImage pass(8, 8, *pic);
  TKvDestProgress progress;
  pass.Convert(nullptr, *options, &progress, nullptr);
  TKvULAPlusPreparePaletteList* used = pass.GetColors();
  ASSERT_GT(used->GetCount(), 0);
  int64_t pixels = 0;
  for (int i = 0; i < used->GetCount(); ++i) {
    const TKvULAPlusColor* c = used->GetPalette(i);
    EXPECT_GT(c->PaperCount + c->InkCount, 0);
    pixels += c->PaperCount + c->InkCount;
  }
  EXPECT_EQ(pixels, 256 * 192);
  int32_t total = 0, done = 0;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 768 * 3 / 2);
  EXPECT_EQ(done, 768);
}

TEST(KvSavePlatformZxSpectrumUlaPlus, FilesAndProgress) {
  auto pic = UlaPlusPairPicture(12);
  struct {
    const TKvDestEngineClass* Class;
    TKvPaletteMode Mode;
    int Size;
  } cases[] = {{&Classic(), pmColor17Of256, 6976},
               {&Timex(), pmColor17Of256, 12352},
               {&Classic(), pmCustom, 6976},
               {&Classic(), pmColor64Of256, 6976}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Size + c.Mode);
    auto r = ConvertPicture(*c.Class, *pic, [&](TKvDestEngineOptions& o) { o.SetPaletteMode(c.Mode); });
    ASSERT_EQ(r.Streams->GetCount(), 1);
    EXPECT_EQ(r.Streams->GetExtension(0), "scr");
    ASSERT_EQ(r.Size(0), c.Size);
    EXPECT_EQ(r.Preview->Width, 256);
    EXPECT_EQ(r.Options->GetPalette()->Count, c.Mode == pmColor64Of256 ? 64 : 48);
  }
  TKvDestProgress progress;
  auto o = Classic().Create()->CreateOptions();
  o->SetPaletteMode(pmCustom);
  std::unique_ptr<TKvStreamList> streams;
  auto small = UlaPlusFlatPicture(3);
  Classic().Convert(nullptr, *small, nullptr, nullptr, *o, progress, streams);
  int32_t total = 0, done = 0;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 3 * 768);
  EXPECT_EQ(done, 3 * 768);
}

// A picture of a few flat colours of the hardware comes out exactly in the
// slow mode: its few singles are dealt to the CLUTs and keep their colours.
TEST(KvSavePlatformZxSpectrumUlaPlus, FewFlatColoursExactInTheSlowMode) {
  auto pic = UlaPlusFlatPicture(5);
  auto r = ConvertPicture(Classic(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); });
  int wrong = 0;
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      wrong += r.Preview->Palette->GetRGBQuad(r.Preview->GetPixel(x, y)) != (*pic->GetPixelPtr(x, y) & 0xFFFFFFu);
  EXPECT_EQ(wrong, 0);
}

TEST(KvSavePlatformZxSpectrumUlaPlus, AbortWritesNoPalette) {
  auto pic = UlaPlusPairPicture(12);
  for (const TKvDestEngineClass* cls : {&Classic(), &Timex()}) {
    auto o = cls->Create()->CreateOptions();
    o->SetPaletteMode(pmColor64Of256);
    TKvDestProgress progress;
    std::unique_ptr<TKvStreamList> streams;
    bool abort = true;
    EXPECT_THROW(cls->Convert(&abort, *pic, nullptr, nullptr, *o, progress, streams), EAbort);
    ASSERT_TRUE(streams);
    TKvStream& s = *streams->GetStream(0);
    EXPECT_EQ(std::count(s.GetMemory() + s.GetSize() - 64, s.GetMemory() + s.GetSize(), 0), 64);
  }
}

TEST(KvSavePlatformZxSpectrumUlaPlus, GrayModes) {
  TKvProcessorCountOverride one(1);
  auto pic = GradientPicture(256, 192, 9);
  // The ramp: four grays in CLUT 0.
  auto r = ConvertPicture(Classic(), *pic, [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); });
  EXPECT_TRUE(r.Options->UseAsGrayPalette);
  EXPECT_EQ(r.Options->GetPalette()->Count, 16);
  // Seventeen kept colours leave no room: two colours in one attribute.
  auto f = ConvertPicture(Timex(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmGray);
    TKvPalette256 fixed;
    FillQuads(fixed, UlaPlusTestColors(17));
    o.SetFixedPalette(&fixed);
  });
  ASSERT_EQ(f.Size(0), 12352);
  const uint8_t attr = f.Bytes(0)[6144];
  EXPECT_EQ(std::count(f.Bytes(0) + 6144, f.Bytes(0) + 12288, attr), 6144);
  EXPECT_EQ(f.Preview->Palette->GetCount(), 48);
}

TEST(KvSavePlatformZxSpectrumUlaPlus, OptionsAndPanel) {
  auto e = Timex().Create();
  auto o = e->CreateOptions();
  EXPECT_EQ(o->PaletteType, ptV11);
  EXPECT_EQ(o->PaletteMode, 8);
  EXPECT_EQ(o->ErrorDiffusion, 80);
  EXPECT_EQ(o->GetCellHeight(), 1);
  EXPECT_FALSE(o->LimitErrorAtBlockBoundary);
  EXPECT_EQ(o->DitherMethod, 2);
  EXPECT_EQ(o->GetPalette()->Count, 256);
  EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 256);
  o->SetPaletteMode(pmGray);
  o->UpdatePalette();
  EXPECT_EQ(o->GetPalette()->Count, 4);
  auto ui = e->CreateUI(o.get());
  auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
  using K = TKvPanelSectionKind;
  std::vector<K> kinds;
  for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Position, K::PaletteSeparator, K::CustomPaletteComboBox, K::PaletteMode,
                                   K::DestPalette, K::FixedPalette, K::Dithering}));
  EXPECT_EQ(panel.GetSections()[2].Items, (std::vector<int>{ptV10, ptV11, ptV11Gray}));
  EXPECT_EQ(panel.GetSections()[3].Set, (1u << 1) | (1u << 8) | (1u << 9) | (1u << 17));
  TKvPalette256 scratch;
  int columns = 5;
  EXPECT_EQ(panel.GetEditedPalette(scratch, columns)->GetCount(), 256);
  EXPECT_EQ(columns, 0);
}

}  // namespace
