#include "core/KvPalette.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "KvTestHarness.h"

namespace {

std::unique_ptr<TKvPalette256> MakePalette(std::initializer_list<TKvStdRGBColor> colors) {
  auto p = std::make_unique<TKvPalette256>();
  for (const auto& c : colors) p->AddStdRGB(c);
  return p;
}

struct ChangeCounter {
  int count = 0;
  void Attach(TKvPalette256& p) {
    p.OnChange = [this, &p](TObject* sender) {
      EXPECT_EQ(sender, &p);
      ++count;
    };
  }
};

}  // namespace

TEST(KvPalette256, LimitOf729Colours) {
  TKvPalette256 p;
  for (int i = 0; i < 728; ++i) p.AddRGB(i & 255, i >> 8, 0);
  EXPECT_EQ(p.AddRGB(1, 2, 3), 728);
  EXPECT_EQ(p.Count, 729);
  const auto adds = std::vector<std::function<void()>>{
      [&] { p.AddRGB(0, 0, 0); },
      [&] { p.AddLinRGB({0, 0, 0}); },
      [&] { p.AddStdRGB({0, 0, 0}); },
      [&] { p.AddColor(p.Colors[0]); },
      [&] { p.AddUniqueRGB(9, 9, 9); },
      [&] { p.InsertColor(0, 9, 9, 9); }};
  for (const auto& add : adds) {
    EXPECT_THROW(add(), ETooManyColors);
    EXPECT_EQ(MessageOf(add), "Too many colors");
    EXPECT_EQ(p.Count, 729);
  }
  // A colour already present is found, not appended, even when full.
  EXPECT_EQ(p.AddUniqueRGB(1, 2, 3), 728);
}

TEST(KvPalette256, InternalErrors) {
  auto p = MakePalette({{1, 2, 3}});
  EXPECT_EQ(MessageOf([&] { p->Delete(1); }), "Internal error");
  EXPECT_EQ(MessageOf([&] { p->LocateStdRGB({3, 2, 1}); }), "Internal error");
  EXPECT_EQ(MessageOf([] { RaiseInternalError(); }), "Internal error");
  EXPECT_EQ(p->LocateStdRGB({1, 2, 3}), 0);
  EXPECT_EQ(p->IndexOfStdRGB({3, 2, 1}), -1);
}

TEST(KvPalette256, UniqueAddsAndUseCounts) {
  TKvPalette256 p;
  ChangeCounter changes;
  changes.Attach(p);
  EXPECT_EQ(p.AddUniqueRGB(10, 20, 30), 0);
  EXPECT_EQ(p.AddUniqueRGB(40, 50, 60), 1);
  EXPECT_EQ(changes.count, 2);
  EXPECT_EQ(p.AddUniqueRGB(10, 20, 30), 0);
  EXPECT_EQ(p.Colors[0].UseCount, 1);
  EXPECT_EQ(changes.count, 2);  // finding sends nothing

  // Two linear colours that round to the same bytes: one entry, second value.
  const double a = StdToLin(100) + 1e-6, b = StdToLin(100) - 1e-6;
  const int i = p.AddUniqueLinRGB({a, a, a});
  EXPECT_EQ(p.AddUniqueLinRGB({b, b, b}), i);
  EXPECT_EQ(p.Count, 3);
  EXPECT_EQ(p.Colors[i].GetLinRGB().R, b);

  // AddColor copies the whole record; the other appends start fresh.
  TKvColor c;
  c.Clear();
  c.InitRGB(7, 7, 7);
  c.Skip = true;
  c.UseCount = 4;
  c.Scratch = 1.5;
  const int j = p.AddColor(c);
  EXPECT_TRUE(p.Colors[j].Skip);
  EXPECT_EQ(p.Colors[j].UseCount, 4);
  p.Reserve(p.Count + 1);
  p.Colors[p.Count].UseCount = 99;  // stale slot past the end
  const int k = p.AddRGB(7, 7, 7);
  EXPECT_FALSE(p.Colors[k].Skip);
  EXPECT_EQ(p.Colors[k].UseCount, 0);
}

TEST(KvPalette256, Notifications) {
  TKvPalette256 p;
  ChangeCounter changes;
  changes.Attach(p);
  p.Clear();
  EXPECT_EQ(changes.count, 0);
  p.BeginUpdate();
  p.AddRGB(1, 1, 1);
  p.AddRGB(2, 2, 2);
  p.AddRGB(3, 3, 3);
  EXPECT_EQ(changes.count, 0);
  p.EndUpdate();
  EXPECT_EQ(changes.count, 1);
  // In-place operations send nothing.
  p.MakeGray();
  p.UpdateCache();
  p.ClearSkipFlags();
  p.NormalizeToWhite(0, 0);
  p.Delete(0);
  EXPECT_EQ(changes.count, 1);
  p.InsertColor(0, 9, 9, 9);
  p.SortByGray(0);
  p.Clear();
  EXPECT_EQ(changes.count, 4);
}

TEST(KvPalette256, NearestByLinearRGB) {
  TKvPalette256 empty;
  EXPECT_EQ(empty.FindNearest({0.5, 0.5, 0.5}), -1);
  EXPECT_EQ(empty.FindNearestGray(0.5), 0);

  auto p = MakePalette({{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 0, 0}, {128, 128, 128}});
  struct Case { TKvStdRGBColor c; int expected; };
  const Case cases[] = {
      {{250, 10, 10}, 1},  // equidistant duplicates: the lower index
      {{0, 200, 0}, 2},
      {{30, 30, 30}, 0},
      {{100, 100, 100}, 4},
      {{70, 70, 70}, 0},  // nearer 128 as bytes, nearer black in linear light
  };
  for (const auto& c : cases)
    EXPECT_EQ(p->FindNearestStdRGB(c.c), c.expected) << int(c.c.R) << "," << int(c.c.G);
  // Skip is not consulted.
  p->Colors[0].Skip = true;
  EXPECT_EQ(p->FindNearestStdRGB({0, 0, 0}), 0);
}

TEST(KvPalette256, NearestByGray) {
  auto p = MakePalette({{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {128, 128, 128}, {128, 128, 128}});
  struct Case { double gray; int expected; };
  const Case cases[] = {{0.0, 0}, {0.06, 2}, {0.03, 0}, {1.0, 1}, {0.2, 3}, {0.7, 1}};
  for (const auto& c : cases) EXPECT_EQ(p->FindNearestGray(c.gray), c.expected) << c.gray;
  TKvColor c;
  c.Clear();
  c.InitRGB(120, 130, 125);
  EXPECT_EQ(p->FindNearestByGray(c), 3);

  int dark, bright;
  double range;
  p->Colors[0].Skip = true;
  p->Colors[1].Skip = true;
  p->GetGrayRange(dark, bright, range);
  EXPECT_EQ(dark, 2);
  EXPECT_EQ(bright, 3);
  EXPECT_DOUBLE_EQ(range, p->GetLinGray(3) - p->GetLinGray(2));
}

TEST(KvPalette256, WholePaletteOperations) {
  auto p = MakePalette({{1, 2, 3}, {4, 5, 6}});
  p->FileName = "/x/a.pal";
  p->Name = "a.pal";
  p->Generated = true;
  TKvPalette256 q;
  q.Assign(p.get());
  EXPECT_EQ(q.FileName, "/x/a.pal");
  EXPECT_EQ(q.Name, "a.pal");
  EXPECT_TRUE(q.Generated);
  EXPECT_TRUE(q.SameColors(p.get()));
  q.AssignColors(p.get());
  EXPECT_FALSE(q.Generated);
  auto clone = p->Clone();
  EXPECT_EQ(clone->GetCount(), 2);
  EXPECT_EQ(clone->GetRGBQuad(1), 0x040506u);

  TKvPalette256 empty;
  EXPECT_TRUE(empty.SameColors(nullptr));
  EXPECT_FALSE(p->SameColors(nullptr));
  EXPECT_FALSE(empty.ContainsColors(p.get()));
  EXPECT_FALSE(p->ContainsColors(&empty));
  EXPECT_TRUE(p->ContainsColors(MakePalette({{4, 5, 6}}).get()));
  EXPECT_FALSE(p->ContainsColors(MakePalette({{4, 5, 6}, {7, 7, 7}}).get()));
  q.Assign(nullptr);
  EXPECT_EQ(q.Count, 0);

  // Stable sort from index 2; entries 0 and 1 stay.
  auto s = MakePalette({{255, 255, 255}, {0, 0, 0}, {200, 0, 0}, {10, 10, 10}, {200, 0, 0}, {50, 50, 50}});
  s->Colors[2].Scratch = 1;
  s->Colors[4].Scratch = 2;
  s->SortByGray(2);
  const uint32_t order[] = {0xFFFFFF, 0x000000, 0x0A0A0A, 0x323232, 0xC80000, 0xC80000};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s->GetRGBQuad(i), order[i]) << i;
  EXPECT_EQ(s->Colors[4].Scratch, 1);
  EXPECT_EQ(s->Colors[5].Scratch, 2);

  s->InsertStdRGB(1, {9, 9, 9});
  EXPECT_EQ(s->GetRGBQuad(1), 0x090909u);
  EXPECT_EQ(s->GetRGBQuad(2), 0u);
  s->Delete(1);
  EXPECT_EQ(s->GetRGBQuad(1), 0u);
  EXPECT_EQ(s->Count, 6);
}

TEST(KvPalette256, Normalisers) {
  auto white = MakePalette({{255, 255, 255}, {255, 255, 255}});
  white->NormalizeToBlack(0, 0);
  EXPECT_EQ(white->GetLinRGB(0).R, 1.0);
  auto black = MakePalette({{0, 0, 0}});
  black->NormalizeToWhite(0, 0);
  EXPECT_EQ(black->GetLinRGB(0).R, 0.0);

  TKvPalette256 p;
  p.AddLinRGB({0.1, 0.2, 0.25});
  p.AddLinRGB({0.5, 0.3, 0.2});
  p.NormalizeToWhite(0, 0);
  EXPECT_DOUBLE_EQ(p.GetLinRGB(1).R, 1.0);
  EXPECT_DOUBLE_EQ(p.GetLinRGB(0).R, 0.2);
  p.NormalizeToBlack(0, 0);
  EXPECT_DOUBLE_EQ(p.GetLinRGB(0).R, 0.0);
  EXPECT_DOUBLE_EQ(p.GetLinRGB(1).R, 1.0);
}

TEST(KvPalette256, SelectedColorsStayInsideThePalette) {
  auto src = MakePalette({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
  TKvColorMask mask{};
  mask[0] = 1;
  mask[2] = 1;
  mask[4095] = 1;  // past the palette: selects nothing
  TKvPalette256 p;
  p.AddSelectedColors(mask, src.get());
  ASSERT_EQ(p.Count, 2);
  EXPECT_EQ(p.GetRGBQuad(1), 0x030303u);
}

// Published reference pairs for CIEDE2000 (kL = kC = kH = 1).
TEST(KvPaletteMetrics, CIEDE2000ReferencePairs) {
  struct Case { TKvLinRGBColor a, b; double dE; };
  const Case cases[] = {
      {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
      {{50.0, 3.1571, -77.2803}, {50.0, 0.0, -82.7485}, 2.8615},
      {{50.0, 2.8361, -74.0200}, {50.0, 0.0, -82.7485}, 3.4412},
      {{50.0, -1.3802, -84.2814}, {50.0, 0.0, -82.7485}, 1.0000},
      {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
      {{50.0, -1.0, 2.0}, {50.0, 0.0, 0.0}, 2.3669},
      {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0009}, 7.1792},
      {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0010}, 7.1792},
      {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0011}, 7.2195},
      {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0012}, 7.2195},
      {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
      {{50.0, 2.5, 0.0}, {61.0, -5.0, 29.0}, 22.8977},
      {{50.0, 2.5, 0.0}, {56.0, -27.0, -3.0}, 31.9030},
      {{50.0, 2.5, 0.0}, {58.0, 24.0, 15.0}, 19.4535},
      {{50.0, 2.5, 0.0}, {50.0, 3.1736, 0.5854}, 1.0000},
      {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
      {{63.0109, -31.0961, -5.8663}, {62.8187, -29.7946, -4.0864}, 1.2630},
      {{22.7233, 20.0904, -46.6940}, {23.0331, 14.9730, -42.5619}, 2.0373},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(ColorDiffCIEDE2000(c.a, c.b), c.dE, 5e-5) << c.a.R << " " << c.a.G << " " << c.b.G;
}

TEST(KvPaletteMetrics, SearchesByEveryMetric) {
  TKvPalette256 empty;
  TKvColor probe;
  probe.Clear();
  probe.InitRGB(200, 30, 40);
  for (uint8_t m = 0; m <= 4; ++m) EXPECT_EQ(empty.FindNearestByMetric(m, probe), -1) << int(m);

  auto p = MakePalette({{0, 0, 0}, {255, 255, 255}, {210, 20, 40}, {210, 20, 40}, {0, 0, 255}});
  for (uint8_t m = 0; m <= 4; ++m) EXPECT_EQ(p->FindNearestByMetric(m, probe), 2) << int(m);
  // Unknown metrics answer entry 0 without searching.
  EXPECT_EQ(p->FindNearestByMetric(5, probe), 0);
  EXPECT_EQ(p->FindNearestByMetric(255, probe), 0);

  EXPECT_EQ(ColorDiffCIE94({50, 0, 0}, {50, 0, 0}), 0.0);
  EXPECT_EQ(ColorDiffCMC({50, 10, 10}, {50, 10, 10}), 0.0);
  EXPECT_EQ(ColorDiffCIEDE2000({50, 10, 10}, {50, 10, 10}), 0.0);
}

// After the warm-up, concurrent searches by every metric read the palette
// without writing a byte of it.
TEST(KvPaletteMetrics, WarmedPaletteIsReadOnlyForSearches) {
  TKvPalette256 p;
  for (int i = 0; i < 64; ++i) p.AddRGB((i & 3) * 85, ((i >> 2) & 3) * 85, (i >> 4) * 85);
  p.AddLinRGB({0.3, 0.1, 0.7});
  p.UpdateCache();
  const size_t bytes = sizeof(TKvColor) * static_cast<size_t>(p.Colors.GetCapacity());
  std::vector<unsigned char> before(bytes);
  std::memcpy(before.data(), p.Colors.Data(), bytes);

  std::vector<std::thread> threads;
  std::vector<int> sums(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      TKvColor c;
      for (int v = 0; v < 200; ++v) {
        c.Clear();
        c.InitRGB(v, 255 - v, (v * 7) & 255);
        c.UpdateCache();
        for (uint8_t m = 0; m <= 4; ++m) sums[t] += p.FindNearestByMetric(m, c);
        sums[t] += p.FindNearestByGray(c);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(std::memcmp(before.data(), p.Colors.Data(), bytes), 0);
  for (int t = 1; t < 4; ++t) EXPECT_EQ(sums[t], sums[0]);
}

TEST(KvPaletteGrowth, AddDistantColors) {
  auto src = MakePalette({{20, 20, 20}, {255, 255, 255}, {255, 0, 0}, {0, 0, 0}});
  auto p = MakePalette({{0, 0, 0}});
  p->AddDistantColors(src.get(), 1);  // no room
  EXPECT_EQ(p->Count, 1);
  p->AddDistantColors(src.get(), 2);
  ASSERT_EQ(p->Count, 2);
  EXPECT_EQ(p->GetRGBQuad(1), 0xFFFFFFu);
  // The next one is the candidate with the largest distance to any entry:
  // dark gray lies farther from white than red does from either.
  p->AddDistantColors(src.get(), 3);
  ASSERT_EQ(p->Count, 3);
  EXPECT_EQ(p->GetRGBQuad(2), 0x141414u);
  p->AddDistantColors(src.get(), 10);
  EXPECT_EQ(p->Count, 4);
  p->AddDistantColors(src.get(), 10);  // everything present already
  EXPECT_EQ(p->Count, 4);
}

TEST(KvPaletteGrowth, AddColorPair) {
  auto pair = MakePalette({{250, 0, 0}, {0, 0, 250}});
  int a = -1, b = -1;
  TKvPalette256 p;
  p.AddColorPair(pair.get(), 4, a, b);
  EXPECT_EQ(p.Count, 2);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);

  auto full = MakePalette({{0, 0, 0}, {255, 0, 0}, {0, 0, 255}});
  full->AddColorPair(pair.get(), 3, a, b);
  EXPECT_EQ(full->Count, 3);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);

  // One slot left and both colours new: exactly one is added.
  auto room = MakePalette({{0, 0, 0}, {255, 255, 255}});
  auto pair2 = MakePalette({{200, 0, 0}, {0, 0, 200}});
  room->AddColorPair(pair2.get(), 3, a, b);
  EXPECT_EQ(room->Count, 3);
  EXPECT_TRUE((a == 2) != (b == 2));

  // Over the limit: the palette becomes the two nearest colours.
  auto over = MakePalette({{0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 255, 255}});
  over->AddColorPair(pair.get(), 2, a, b);
  ASSERT_EQ(over->Count, 2);
  EXPECT_EQ(over->GetRGBQuad(0), 0xFF0000u);
  EXPECT_EQ(over->GetRGBQuad(1), 0x0000FFu);

  auto three = MakePalette({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
  EXPECT_EQ(MessageOf([&] { p.AddColorPair(three.get(), 4, a, b); }), "Internal error");
}

TEST(KvPaletteGrowth, MergeColors) {
  // Room for the grays of the candidates, spread evenly.
  auto self = MakePalette({{255, 0, 0}});
  TKvPalette256 cand;
  for (int v = 0; v <= 255; v += 15) cand.AddRGB(v, v, v);
  int dark = -1, bright = -1;
  EXPECT_TRUE(self->MergeColors(&cand, 5, dark, bright));
  EXPECT_EQ(self->Count, 5);
  EXPECT_EQ(cand.Count, 4);
  EXPECT_EQ(self->GetRGBQuad(dark), 0u);
  EXPECT_EQ(self->GetRGBQuad(bright), 0xFFFFFFu);
  for (int i = 2; i < self->Count; ++i) EXPECT_LE(self->GetLinGray(i - 1), self->GetLinGray(i));

  // No room: the candidates are cut to those present plus the darkest and
  // brightest entries; two or fewer gives False.
  auto full = MakePalette({{0, 0, 0}, {255, 255, 255}, {255, 0, 0}});
  auto cand2 = MakePalette({{10, 10, 10}, {20, 20, 20}});
  EXPECT_FALSE(full->MergeColors(cand2.get(), 3, dark, bright));
  EXPECT_EQ(full->Count, 3);
  ASSERT_EQ(cand2->Count, 2);
  EXPECT_EQ(cand2->GetRGBQuad(0), 0u);
  EXPECT_EQ(cand2->GetRGBQuad(1), 0xFFFFFFu);
  EXPECT_EQ(dark, 0);
  EXPECT_EQ(bright, 1);
}

// The table grows with the colours: a pair keeps a small table, a full
// palette reaches 729, and an entry added from the palette's own table
// survives the move of the table it came from.
TEST(KvPaletteStorage, GrowsWithTheColours) {
  TKvPalette256 p;
  p.AddRGB(1, 2, 3);
  p.AddRGB(4, 5, 6);
  EXPECT_LE(p.Colors.GetCapacity(), 8);
  for (int i = 2; i < TKvPalette256::MaxColors; ++i) {
    const int k = i % 2 ? p.AddColor(p.Colors[i - 1]) : p.AddLinRGB(p.Colors[i - 2].GetLinRGB());
    ASSERT_EQ(k, i);
    ASSERT_EQ(p.Colors[k].GetStdRGB(), p.Colors[i % 2 ? i - 1 : i - 2].GetStdRGB()) << i;
  }
  EXPECT_EQ(p.Colors.GetCapacity(), TKvPalette256::MaxColors);
  EXPECT_THROW(p.AddRGB(0, 0, 0), ETooManyColors);
  EXPECT_THROW(p.InsertStdRGB(0, {9, 9, 9}), ETooManyColors);

  // Copies take the colours whatever the tables' sizes.
  TKvPalette256 small;
  small.AddRGB(7, 7, 7);
  small.Assign(&p);
  ASSERT_EQ(small.Count, TKvPalette256::MaxColors);
  EXPECT_TRUE(small.SameColors(&p));
  auto clone = p.Clone();
  EXPECT_TRUE(static_cast<TKvPalette256&>(*clone).SameColors(&p));
  TKvPalette256 grown;
  grown.AddRGB(10, 20, 30);
  for (int i = 0; i < 40; ++i) grown.InsertStdRGB(0, grown.Colors[grown.Count - 1].GetStdRGB());
  EXPECT_EQ(grown.Count, 41);
  for (int i = 0; i < grown.Count; ++i) ASSERT_EQ(grown.Colors[i].GetStdRGB(), (TKvStdRGBColor{10, 20, 30}));
}
