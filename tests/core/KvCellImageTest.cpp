#include "core/KvCellImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvCellPalette.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvDoubleCellImage.h"
#include "core/KvThreadJob.h"
#include "rtl/KvSysUtils.h"

namespace {

// A 1-bit screen with one attribute byte per cell, mirroring cell columns as
// it mirrors pixel columns.
class TTestScreen : public TKvCellScreen {
public:
  TTestScreen(int W, int H, int CellsAcross, int CellsDown)
      : TKvCellScreen(W, H, nullptr), Bits(static_cast<size_t>((W + 7) / 8) * H), Attrs(CellsAcross * CellsDown, -1),
        Across(CellsAcross) {
    Data = Bits.data();
  }
  int GetAttr(int CellX, int CellY) override { return Attrs[Index(CellX, CellY)]; }
  void SetAttr(int CellX, int CellY, int AAttr) override { Attrs[Index(CellX, CellY)] = AAttr; }
  std::vector<uint8_t> Bits;
  std::vector<int> Attrs;

private:
  size_t Index(int CellX, int CellY) const {
    return static_cast<size_t>(CellY * Across + (MirrorX ? Across - 1 - CellX : CellX));
  }
  int Across;
};

struct TAttrCall {
  int CellX, CellY;
  TKvCellPalette* Candidate;  // valid only while the conversion runs
  int IndexA, IndexB;
  bool TargetMirror;
};

template <class TBase>
class TTestCellImageOf : public TBase {
public:
  using TBase::TBase;

  std::function<void(TKvPalette256&, TKvCellPaletteList&)> Fill;
  std::function<void()> OnPixel;
  std::function<void(int, int)> OnCell;  // after the attribute of a cell
  std::function<void()> AfterCell;        // at the progress report
  std::vector<TAttrCall> Calls;
  int Frees = 0;

  std::unique_ptr<TKvBitmap> CreateResult() override {
    return std::make_unique<TKvBitmap8>(this->FWidth, this->FHeight, this->FPalette);
  }
  TKvCellPaletteList* CreatePaletteList() override {
    auto* list = new TKvCellPaletteList;
    Fill(*this->FPalette, *list);
    return list;
  }
  void FreePaletteList(TKvCellPaletteList* AList) override {
    ++Frees;
    TBase::FreePaletteList(AList);
  }
  void SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACell) override {
    Calls.push_back({ACellX, ACellY, ACell, ACell->IndexA, ACell->IndexB, ATarget && ATarget->MirrorX});
    if (ATarget) ATarget->SetAttr(ACellX, ACellY, ACell->IndexA * 16 + ACell->IndexB);
    if (OnCell) OnCell(ACellX, ACellY);
  }
  void SetResultPixel(TKvBitmap* AResult, int X, int Y, TKvCellPalette* ACell, int AIndex) override {
    AResult->SetPixel(X, Y, AIndex ? ACell->IndexB : ACell->IndexA);
    if (OnPixel) OnPixel();
  }
  void SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*, int AIndex) override {
    if (ATarget) ATarget->SetPixel(X, Y, AIndex);
  }
  void ReportProgress(TKvDestProgress* AProgress, int ATotal, int ADone) override {
    TBase::ReportProgress(AProgress, ATotal, ADone);
    if (AfterCell) AfterCell();
  }

  // What a converter with its own cell loop sets up.
  void Begin(TKvDestEngineOptions& AOptions) {
    this->PrepareConversion(nullptr, AOptions, nullptr, true);
    this->FPaletteList = CreatePaletteList();
  }
  void End() {
    FreePaletteList(this->FPaletteList);
    this->FWorkOptions.reset();
  }
  void AtCell(int ACellX, int ACellY, bool AMirror) {
    this->FCellX = ACellX;
    this->FCellY = ACellY;
    this->FMirror = AMirror;
    this->FRanges->SetMirror(AMirror);
    this->FDiffusion->SetMirror(AMirror);
  }
  void SetLimitInside(bool AValue) { this->FLimitErrorInsideBlock = AValue; }
  TKvPalette256* GetOptionsPalette() const { return this->FPalette; }
};

using TTestCellImage = TTestCellImageOf<TKvCellImage>;

class TTestDoubleImage : public TTestCellImageOf<TKvDoubleCellImage> {
public:
  using TTestCellImageOf<TKvDoubleCellImage>::TTestCellImageOf;
  using TKvDoubleCellImage::CreatePaletteList;
  std::vector<std::function<void(TKvPalette256&, TKvCellPaletteList&)>> Lists;
  int GetPaletteListCount() override { return static_cast<int>(Lists.size()); }
  TKvCellPaletteList* CreatePaletteList(int AIndex) override {
    auto* list = new TKvCellPaletteList;
    Lists[static_cast<size_t>(AIndex)](*FPalette, *list);
    return list;
  }
  TKvCellPaletteList* CreatePaletteList() override { return CreatePaletteList(0); }
  // Which list a candidate came from.
  int ListOf(TKvCellPalette* ACell) const {
    for (size_t k = 0; k < FPaletteLists.size(); ++k)
      for (int i = 0; i < FPaletteLists[k]->GetCount(); ++i)
        if (FPaletteLists[k]->GetPalette(i) == ACell) return static_cast<int>(k);
    return -1;
  }
};

// The eight colours of a simple RGB machine: index bit 0 blue, 1 red, 2 green.
void FillEight(TKvPalette256& P) {
  for (int i = 0; i < 8; ++i) P.AddRGB(i & 2 ? 255 : 0, i & 4 ? 255 : 0, i & 1 ? 255 : 0);
}

// A picture from a function of (x, y) giving $RRGGBB.
std::unique_ptr<TBitmap32> Picture(int W, int H, const std::function<uint32_t(int, int)>& F) {
  auto b = std::make_unique<TBitmap32>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->GetScanLine(y)[x] = 0xFF000000u | F(x, y);
  return b;
}

// A smooth gradient with noise, reproducible.
std::unique_ptr<TBitmap32> NoisyPicture(int W, int H) {
  uint32_t seed = 12345;
  return Picture(W, H, [&](int x, int y) {
    seed = seed * 1664525u + 1013904223u;
    const int n = static_cast<int>((seed >> 24) % 61) - 30;
    auto ch = [&](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return (ch(x * 255 / W + n) << 16) | (ch(y * 255 / H - n) << 8) | ch((x + y) * 127 / (W + H) + n);
  });
}

void AllPairs(TKvPalette256& P, TKvCellPaletteList& L) {
  for (int a = 0; a < P.Count; ++a)
    for (int b = a; b < P.Count; ++b) L.Add(std::make_unique<TKvCellPaperIncPalette>(P, a, b));
}

// Every width of the lanes in which the searches score candidates together
// on this processor, and a guard that keeps one of them for a while.
std::vector<int> LaneWidths() {
  std::vector<int> v;
  const int saved = KvCellScoreLanes;
  KvCellScoreLanes = 0;
  for (int w = 2; w <= TKvCellHelper::ScoreLanes(); w *= 2) v.push_back(w);
  KvCellScoreLanes = saved;
  return v;
}
struct TLaneWidth {
  explicit TLaneWidth(int AValue) : Saved(KvCellScoreLanes) { KvCellScoreLanes = AValue; }
  ~TLaneWidth() { KvCellScoreLanes = Saved; }
  int Saved;
};

std::vector<int> Pixels(TKvBitmap& B) {
  std::vector<int> v;
  for (int y = 0; y < B.Height; ++y)
    for (int x = 0; x < B.Width; ++x) v.push_back(B.GetPixel(x, y));
  return v;
}

}  // namespace

TEST(KvCellPalette, PairsRangesAndFlags) {
  TKvPalette256 p;
  p.AddLinRGB({0.2, 0.5, 1.0});
  p.AddLinRGB({0.7, 0.5, 0.25});
  TKvCellPalette pair(p, 1, 0);
  EXPECT_EQ(pair.Palette->Count, 2);
  EXPECT_EQ(pair.Palette->GetLinRGB(0).R, 0.7);
  EXPECT_EQ(pair.IndexA, 1);
  EXPECT_EQ(pair.IndexB, 0);
  EXPECT_TRUE(pair.Enabled);
  EXPECT_DOUBLE_EQ(pair.Range.R, 0.5);
  EXPECT_DOUBLE_EQ(pair.Range.G, 0);
  EXPECT_DOUBLE_EQ(pair.Range.B, 0.75);
  EXPECT_TRUE(pair.Palette->GetPColor(1)->LabValid);  // cached before jobs share it

  TKvCellPalette single(p, 0, 0);
  EXPECT_EQ(single.Palette->Count, 2);
  EXPECT_EQ(single.Range.R + single.Range.G + single.Range.B, 0);

  TKvCellPaperIncPalette flagged(p, 0, 1, true, 7);
  EXPECT_TRUE(flagged.PaperIncFlag);
  EXPECT_EQ(flagged.PaperIncValue, 7);
  EXPECT_EQ(flagged.Range.R + flagged.Range.G + flagged.Range.B, 0);
  TKvCellPaperIncPalette plain(p, 0, 1, false, 7);
  EXPECT_FALSE(plain.PaperIncFlag);
  EXPECT_EQ(plain.PaperIncValue, 0);
  EXPECT_DOUBLE_EQ(plain.Range.B, 0.75);

  TKvCellPaletteList list;
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.Add(std::make_unique<TKvCellPalette>(p, 0, 1)), 0);
  EXPECT_EQ(list.Add(std::make_unique<TKvCellPaperIncPalette>(p, 1, 1)), 1);
  EXPECT_EQ(list.GetPalette(1)->IndexA, 1);
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(KvCellImage, Geometry) {
  const struct {
    int w, h, cw, ch;
    int across, lastW, down, lastH;
  } cases[] = {
      {257, 20, 8, 8, 33, 1, 3, 4},
      {256, 192, 8, 8, 32, 8, 24, 8},
      {5, 3, 8, 8, 1, 5, 1, 3},
      {10, 2, 4, 1, 3, 2, 2, 1},
  };
  for (const auto& c : cases) {
    auto bmp = Picture(c.w, c.h, [](int, int) { return 0u; });
    TTestCellImage img(c.cw, c.ch, *bmp);
    EXPECT_EQ(img.GetCellsAcross(), c.across);
    EXPECT_EQ(img.GetLastCellWidth(), c.lastW);
    EXPECT_EQ(img.GetCellsDown(), c.down);
    EXPECT_EQ(img.GetLastCellHeight(), c.lastH);
    EXPECT_EQ(img.GetCellWidth(), c.cw);
  }
  auto bmp = Picture(257, 20, [](int, int) { return 0u; });
  TTestCellImage img(8, 8, *bmp);
  EXPECT_EQ(img.GetCellRect(32, 2), Rect(256, 16, 257, 20));
  EXPECT_EQ(img.GetCellRect(1, 0), Rect(8, 0, 16, 8));
  img.SetMirror(true);  // the narrow cell comes first on a mirrored row
  EXPECT_EQ(img.GetCellRect(0, 1), Rect(0, 8, 1, 16));
  EXPECT_EQ(img.GetCellRect(1, 1), Rect(1, 8, 9, 16));
  EXPECT_EQ(img.GetCellRect(32, 1), Rect(249, 8, 257, 16));
  EXPECT_THROW(TTestCellImage(0, 8, *bmp), Exception);
}

TEST(KvCellImage, RangesDiffusionAndScratch) {
  auto bmp = Picture(24, 16, [](int x, int y) { return static_cast<uint32_t>(x * 10) << 16 | (y * 10); });
  TTestCellImage img(8, 8, *bmp);
  TKvCellRanges& ranges = *img.GetRanges();
  ranges.GetRange(2, 1)->R = 0.5;
  ranges.SetMirror(true);
  EXPECT_EQ(ranges.GetRange(0, 1)->R, 0.5);
  TKvCellDiffusion& diff = *img.GetDiffusion();
  diff.GetDiffusion(3, 2)->G = 1;
  diff.SetMirror(true);
  EXPECT_EQ(diff.GetDiffusion(20, 2)->G, 1);
  diff.Clear();
  diff.SetMirror(false);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      const TKvLinRGBColor d = *diff.GetDiffusion(x, y);
      EXPECT_EQ(d.R + d.G + d.B, 0);
    }

  // A 5 x 8 block into the 10 x 10 scratch picture: the rest stays black.
  img.CacheColors();
  TKvCellHelper helper(img);
  EXPECT_EQ(helper.GetWidth(), 10);
  const TRect r = Rect(19, 8, 24, 16);
  helper.GetPixels(9, 9)->InitLinRGB({1, 1, 1});
  helper.LoadCell(r);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const TKvLinRGBColor v = helper.GetPixels(x, y)->GetLinRGB();
      if (x < 5 && y < 8)
        EXPECT_EQ(v.R, img.GetPixels(19 + x, 8 + y)->GetLinRGB().R);
      else
        EXPECT_EQ(v.R + v.G + v.B, 0) << x << "," << y;
    }
  EXPECT_EQ(helper.CellError(r), 0);
  EXPECT_EQ(helper.BorderError(r), 0);
  // Border error covers columns 5-6 of rows 0-7 and rows 8-9 of columns 0-6.
  helper.GetPixels(6, 7)->InitLinRGB({0.5, 0, 0});
  helper.GetPixels(6, 9)->InitLinRGB({0, 0, 0.25});
  helper.GetPixels(7, 9)->InitLinRGB({1, 1, 1});
  helper.GetPixels(7, 0)->InitLinRGB({1, 1, 1});
  EXPECT_DOUBLE_EQ(helper.BorderError(r), 0.25 + 0.0625);
  helper.GetPixels(0, 0)->InitLinRGB({0, 0, 0});
  const TKvLinRGBColor o = img.GetPixels(19, 8)->GetLinRGB();
  EXPECT_DOUBLE_EQ(helper.CellError(r), o.R * o.R + o.G * o.G + o.B * o.B);
}

// The one-pass score equals the score of the separate steps (load, dither,
// cell and border error) to the last bit, for every kernel and search.
TEST(KvCellImage, CompactScoreMatchesTheSteps) {
  auto bmp = NoisyPicture(21, 11);
  TTestCellImage img(8, 8, *bmp);
  img.GetPixels(3, 3)->InitLinRGB({0, 0, 0});  // an exact black in a cell
  img.CacheColors();
  TKvPalette256 eight;
  FillEight(eight);
  std::vector<std::unique_ptr<TKvPalette256>> palettes;
  for (const auto& [a, b] : std::vector<std::pair<int, int>>{{0, 7}, {2, 5}, {3, 3}}) {
    TKvCellPalette c(eight, a, b);
    palettes.push_back(std::move(c.Palette));
  }
  auto four = std::make_unique<TKvPalette256>();
  for (const double g : {0.0, 0.2, 0.55, 1.0}) four->AddLinRGB({g, g * 0.5, 1 - g});
  four->UpdateCache();
  palettes.push_back(std::move(four));
  const TRect rects[] = {Rect(0, 0, 8, 8), Rect(16, 8, 21, 11), Rect(8, 0, 16, 8)};
  int compared = 0;
  for (int method = 0; method <= 9; ++method)
    for (const bool gray : {false, true})
      for (const bool serpentine : {false, true})
        for (const int strength : {0, 90, 100})
          for (const auto& pal : palettes)
            for (const TRect& r : rects) {
              auto po = TKvDestEngineOptions::Create();
              po->SetDitherMethod(static_cast<uint8_t>(method));
              po->SetUseAsGrayPalette(gray);
              po->SetSerpentine(serpentine);
              po->SetErrorDiffusion(strength);
              ASSERT_TRUE(TKvCellHelper::CanScoreCompact(*po, *pal));
              TKvCellHelper steps(img);
              steps.LoadCell(r);
              steps.DitherRegion(nullptr, *po, pal.get(), r.Width(), r.Height());
              steps.SetMirror(false);
              const double want = steps.CellError(r) + steps.BorderError(r);
              TKvCellHelper compact(img);
              EXPECT_EQ(compact.CompactScore(r, *po, *pal, nullptr), want)
                  << "method " << method << " gray " << gray << " serpentine " << serpentine;
              ++compared;
            }
  EXPECT_EQ(compared, 10 * 2 * 2 * 3 * 4 * 3);
  auto po = TKvDestEngineOptions::Create();
  po->SetColorDiffMethod(1);
  EXPECT_FALSE(TKvCellHelper::CanScoreCompact(*po, eight));
}

// Candidates scored together, each in a lane, get the scores they get one
// by one, to the last bit: pairs, a twin colour, three and four colours side
// by side, a candidate in several lanes, at every lane width.
TEST(KvCellImage, LaneScoresMatchTheSingleScores) {
  auto bmp = NoisyPicture(21, 11);
  TTestCellImage img(8, 8, *bmp);
  img.GetPixels(3, 3)->InitLinRGB({0, 0, 0});
  img.CacheColors();
  TKvPalette256 eight;
  FillEight(eight);
  std::vector<std::unique_ptr<TKvPalette256>> palettes;
  for (const auto& [a, b] : std::vector<std::pair<int, int>>{{0, 7}, {2, 5}, {3, 3}, {1, 6}}) {
    TKvCellPalette c(eight, a, b);
    palettes.push_back(std::move(c.Palette));
  }
  palettes[3]->AddColor(*eight.GetPColor(4));
  palettes[3]->UpdateCache();
  auto four = std::make_unique<TKvPalette256>();
  for (const double g : {0.0, 0.2, 0.55, 1.0}) four->AddLinRGB({g, g * 0.5, 1 - g});
  four->UpdateCache();
  palettes.push_back(std::move(four));
  std::vector<std::vector<TKvCellSearchEntry>> entries;
  for (const auto& pal : palettes) {
    entries.emplace_back();
    for (int i = 0; i < pal->Count; ++i) {
      const TKvLinRGBColor& v = pal->Colors[i].GetLinRGB();
      entries.back().push_back({v.R, v.G, v.B, pal->Colors[i].GetLinGray(), 0});
    }
  }
  const int n = static_cast<int>(palettes.size());
  const TRect rects[] = {Rect(0, 0, 8, 8), Rect(16, 8, 21, 11), Rect(3, 2, 4, 3)};
  for (int method = 1; method <= 8; ++method)
    for (const int strength : {0, 90, 100})
      for (const TRect& r : rects) {
        auto po = TKvDestEngineOptions::Create();
        po->SetDitherMethod(static_cast<uint8_t>(method));
        po->SetErrorDiffusion(strength);
        po->SetSerpentine(false);
        ASSERT_TRUE(TKvCellHelper::CanScoreLanes(*po));
        TKvCellHelper single(img);
        std::vector<double> want;
        for (const auto& pal : palettes) want.push_back(single.CompactScore(r, *po, *pal, nullptr));
        for (const int width : LaneWidths()) {
          const TLaneWidth lanes(width);
          TKvCellHelper helper(img);
          helper.LoadSource(r);
          for (int start = 0; start < n; ++start) {
            const TKvCellSearchEntry* e[TKvCellHelper::kMaxScoreLanes];
            int counts[TKvCellHelper::kMaxScoreLanes];
            double got[TKvCellHelper::kMaxScoreLanes];
            for (int l = 0; l < width; ++l) {
              const size_t k = static_cast<size_t>((start + l) % n);
              e[l] = entries[k].data();
              counts[l] = static_cast<int>(entries[k].size());
            }
            helper.CompactScoreLanes(r, *po, e, counts, got);
            for (int l = 0; l < width; ++l)
              EXPECT_EQ(got[l], want[static_cast<size_t>((start + l) % n)])
                  << "method " << method << " strength " << strength << " width " << width << " lane " << l;
          }
        }
      }
  auto po = TKvDestEngineOptions::Create();
  po->SetDitherMethod(2);
  po->SetSerpentine(true);
  EXPECT_FALSE(TKvCellHelper::CanScoreLanes(*po));
}

// Floyd-Steinberg from cell edges: shares into cells not yet solved wait in
// the deferred buffer, the others go into the pixels at once.
TEST(KvCellImage, DeferredErrorSplitsByCell) {
  struct TShare {
    int x, y;  // scan coordinates
    bool deferred;
    double w;
  };
  const struct {
    int cellX, cellY;
    bool mirror;
    int x, y;
    std::vector<TShare> shares;
  } cases[] = {
      // Rightmost pixel of the first cell.
      {0, 0, false, 7, 2, {{8, 2, true, 7}, {6, 3, false, 3}, {7, 3, false, 5}, {8, 3, true, 1}}},
      // Its last row: the shares below fall into the next cell row.
      {0, 0, false, 7, 7, {{8, 7, true, 7}, {6, 8, true, 3}, {7, 8, true, 5}, {8, 8, true, 1}}},
      // First pixel of the second cell: 3/16 goes back into the first cell.
      {1, 0, false, 8, 2, {{9, 2, false, 7}, {7, 3, false, 3}, {8, 3, false, 5}, {9, 3, false, 1}}},
      // Mirrored row of a 20-wide picture: scan cell 0 is 4 wide, scan cell 1
      // follows to the left in the picture.
      {0, 1, true, 3, 9, {{4, 9, true, 7}, {2, 10, false, 3}, {3, 10, false, 5}, {4, 10, true, 1}}},
      // Right picture edge: the shares beyond the last column are lost.
      {2, 0, false, 19, 0, {{18, 1, false, 3}, {19, 1, false, 5}}},
  };
  for (const auto& c : cases) {
    for (const bool gray : {false, true}) {
      auto bmp = Picture(20, 16, [](int, int) { return 0u; });
      TTestCellImage img(8, 8, *bmp);
      img.CacheColors();
      img.SetLimitInside(false);
      img.AtCell(c.cellX, c.cellY, c.mirror);
      if (gray)
        img.DiffuseCellGrayError(c.x, c.y, 1, 16);
      else
        img.DiffuseCellError(c.x, c.y, 1, {16, 16, 16});
      double pixels = 0, deferred = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) {
          pixels += img.GetPixels(x, y)->GetLinRGB().G;
          deferred += img.GetDiffusion()->GetDiffusion(x, y)->G;
        }
      double wantPixels = 0, wantDeferred = 0;
      for (const TShare& s : c.shares) {
        if (s.deferred) {
          EXPECT_EQ(img.GetDiffusion()->GetDiffusion(s.x, s.y)->B, s.w) << c.x << "," << c.y << " to " << s.x;
          EXPECT_EQ(img.GetPixels(s.x, s.y)->GetLinRGB().B, 0);
          wantDeferred += s.w;
        } else {
          EXPECT_EQ(img.GetPixels(s.x, s.y)->GetLinRGB().B, s.w) << c.x << "," << c.y << " to " << s.x;
          wantPixels += s.w;
        }
      }
      EXPECT_EQ(pixels, wantPixels);
      EXPECT_EQ(deferred, wantDeferred);
    }
  }
}

TEST(KvCellImage, RangeScalesTheDirectShares) {
  for (const bool gray : {false, true}) {
    auto bmp = Picture(16, 8, [](int, int) { return 0u; });
    TTestCellImage img(8, 8, *bmp);
    img.CacheColors();
    img.SetLimitInside(true);
    img.AtCell(0, 0, false);
    *img.GetRanges()->GetRange(0, 0) = {0.5, 0, 0.25};
    if (gray)
      img.DiffuseCellGrayError(2, 2, 1, 16);
    else
      img.DiffuseCellError(2, 2, 1, {16, 16, 16});
    const TKvLinRGBColor v = img.GetPixels(3, 2)->GetLinRGB();  // 7/16 share
    EXPECT_EQ(v.R, 3.5);
    EXPECT_EQ(v.G, gray ? 3.5 : 0);
    EXPECT_EQ(v.B, gray ? 3.5 : 1.75);
  }
  // Methods 0 and 9 spread nothing.
  auto bmp = Picture(16, 8, [](int, int) { return 0u; });
  TTestCellImage img(8, 8, *bmp);
  img.CacheColors();
  img.AtCell(0, 0, false);
  for (const uint8_t m : {0, 9}) {
    img.DiffuseCellError(7, 2, m, {16, 16, 16});
    img.DiffuseCellGrayError(7, 2, m, 16);
  }
  EXPECT_EQ(img.GetPixels(7, 3)->GetLinRGB().R, 0);
  EXPECT_EQ(img.GetDiffusion()->GetDiffusion(8, 2)->R, 0);
}

TEST(KvCellImage, DeferredErrorReachesTheCellAfterItsChoice) {
  const struct {
    bool atBoundary;
    int a, b;  // candidate colours
    double want;
  } cases[] = {
      {true, 0, 7, 0.25},   // black/white: range 1, all of it
      {true, 7, 7, 0},      // one colour twice: range 0, none of it
      {false, 7, 7, 0.25},  // without the limit: all of it, before the search
  };
  for (const auto& c : cases) {
    auto bmp = Picture(16, 8, [](int, int) { return 0u; });
    TTestCellImage img(8, 8, *bmp);
    img.Fill = [&](TKvPalette256& P, TKvCellPaletteList& L) { L.Add(std::make_unique<TKvCellPalette>(P, c.a, c.b)); };
    auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
    FillEight(*o.GetPalette());
    o.SetLimitErrorAtBlockBoundary(c.atBoundary);
    img.Begin(o);
    img.AtCell(1, 0, false);
    img.GetDiffusion()->GetDiffusion(9, 3)->G = 0.25;
    TKvCellPalette* cell = nullptr;
    img.SolveCell(1, 0, img.GetCellRect(1, 0), cell);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(img.GetPixels(9, 3)->GetLinRGB().G, c.want);
    EXPECT_EQ(img.GetDiffusion()->GetDiffusion(9, 3)->G, 0.25);  // the buffer keeps it
    EXPECT_EQ(img.GetRanges()->GetRange(1, 0)->R, c.atBoundary ? cell->Range.R : 0);
    img.End();
  }
}

// Two flat cells: each takes the first candidate that shows it exactly; a
// disabled candidate is never taken; the same with one and with four
// processors.
TEST(KvCellImage, ConvertChoosesTheFirstBestEnabledCandidate) {
  for (const int procs : {1, 4}) {
    for (const bool disableFirst : {false, true}) {
      TKvProcessorCountOverride force(procs);
      auto bmp = Picture(16, 8, [](int x, int) { return x < 8 ? 0xFF0000u : 0x0000FFu; });
      TTestCellImage img(8, 8, *bmp);
      img.Fill = [&](TKvPalette256& P, TKvCellPaletteList& L) {
        L.Add(std::make_unique<TKvCellPalette>(P, 0, 2));  // black/red
        L.Add(std::make_unique<TKvCellPalette>(P, 0, 1));  // black/blue
        L.Add(std::make_unique<TKvCellPalette>(P, 2, 1));  // red/blue
        L.Add(std::make_unique<TKvCellPalette>(P, 7, 7));  // white
        L.GetPalette(0)->Enabled = !disableFirst;
      };
      auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
      FillEight(*o.GetPalette());
      TKvDestProgress progress;
      TTestScreen screen(16, 8, 2, 1);
      std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, o, &progress, &screen);
      ASSERT_EQ(img.Calls.size(), 2u);
      EXPECT_EQ(img.Calls[0].IndexA, disableFirst ? 2 : 0);
      EXPECT_EQ(img.Calls[1].IndexB, 1);
      EXPECT_EQ(img.Calls[1].IndexA, 0);
      EXPECT_EQ(r->GetPixel(3, 3), 2);
      EXPECT_EQ(r->GetPixel(12, 3), 1);
      EXPECT_EQ(screen.Attrs, (std::vector<int>{disableFirst ? 0x21 : 0x02, 0x01}));
      EXPECT_EQ(img.Frees, 1);
      int total = 0, done = 0;
      progress.GetProgress(total, done);
      EXPECT_EQ(total, 2);
      EXPECT_EQ(done, 2);
    }
  }
}

// With Serpentine the odd cell rows run from the right: the hooks get scan
// cell columns and a mirrored target, and the screen still ends up in
// picture order.
TEST(KvCellImage, SerpentineCellRows) {
  const uint32_t colours[2][3] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFFFF, 0xFFFF00, 0x000000}};
  auto bmp = Picture(20, 16, [&](int x, int y) { return colours[y / 8][x / 8]; });
  std::vector<int> attrs[2];
  for (const bool serpentine : {false, true}) {
    TTestCellImage img(8, 8, *bmp);
    img.Fill = AllPairs;
    auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
    FillEight(*o.GetPalette());
    o.SetSerpentine(serpentine);
    TTestScreen screen(20, 16, 3, 2);
    std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, o, nullptr, &screen);
    ASSERT_EQ(img.Calls.size(), 6u);
    EXPECT_EQ(img.Calls[3].CellX, 0);
    EXPECT_EQ(img.Calls[3].TargetMirror, serpentine);
    EXPECT_FALSE(screen.MirrorX);
    EXPECT_FALSE(r->MirrorX);
    attrs[serpentine] = screen.Attrs;
    EXPECT_EQ(r->GetPixel(19, 15), 0);
    EXPECT_EQ(r->GetPixel(8, 8), 6);
    EXPECT_EQ(r->GetPixel(0, 8), 7);
  }
  EXPECT_EQ(attrs[0], attrs[1]);
}

// Ordered 2x2 in the cell renderer: a flat mid gray splits evenly, since the
// threshold map is centred on zero.
TEST(KvCellImage, OrderedRenderKeepsTheMean) {
  auto bmp = Picture(8, 8, [](int, int) { return 0xBCBCBCu; });  // linear ~0.503
  TTestCellImage img(8, 8, *bmp);
  img.Fill = [](TKvPalette256& P, TKvCellPaletteList& L) { L.Add(std::make_unique<TKvCellPalette>(P, 0, 7)); };
  auto po = TKvDestEngineOptions::Create();
  FillEight(*po->GetPalette());
  po->SetDitherMethod(9);
  std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, *po, nullptr, nullptr);
  int white = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      white += r->GetPixel(x, y) == 7;
      EXPECT_EQ(r->GetPixel(x, y), ((x + y) & 1) ? 7 : 0) << x << "," << y;
    }
  EXPECT_EQ(white, 32);
}

TEST(KvCellImage, AbortAndMissingCandidate) {
  auto bmp = Picture(16, 8, [](int x, int) { return x * 0x101010u; });
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  FillEight(*o.GetPalette());
  {
    TTestCellImage img(8, 8, *bmp);
    img.Fill = AllPairs;
    bool abort = false;
    int pixels = 0;
    img.OnPixel = [&] { abort = ++pixels == 5; };
    EXPECT_THROW(img.Convert(&abort, o, nullptr, nullptr), EAbort);
    EXPECT_EQ(pixels, 5);
    EXPECT_EQ(img.Frees, 1);
    EXPECT_EQ(img.GetWorkOptions(), nullptr);
  }
  for (const int procs : {1, 4}) {
    TKvProcessorCountOverride force(procs);
    TTestCellImage img(8, 8, *bmp);
    img.Fill = [](TKvPalette256& P, TKvCellPaletteList& L) {
      L.Add(std::make_unique<TKvCellPalette>(P, 0, 7));
      L.GetPalette(0)->Enabled = false;
    };
    try {
      img.Convert(nullptr, o, nullptr, nullptr);
      FAIL();
    } catch (const EAbort&) {
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Internal error");
    }
    EXPECT_EQ(img.Frees, 1);
    EXPECT_TRUE(img.Calls.empty());
  }
}

// The whole conversion gives the same bytes with one and with four
// processors, under every kind of scan: searched ahead by rows with the
// limit at block boundaries, each search shared by the walk's team without
// it (every search shared here, however few its candidates).
TEST(KvCellImage, SameBytesOnOneAndFourProcessors) {
  const struct {
    uint8_t method;
    bool serpentine, gray, atBoundary;
  } cases[] = {{1, true, false, true},  {7, false, true, false}, {9, true, false, true},
               {8, true, false, false}, {2, false, false, false}, {1, true, false, false}};
  const int savedTeamItems = KvCellTeamMinItems;
  for (const auto& c : cases) {
    std::vector<int> pixels[2];
    std::vector<uint8_t> bits[2];
    std::vector<int> attrs[2];
    for (const int run : {0, 1}) {
      TKvProcessorCountOverride force(run ? 4 : 1);
      KvCellTeamMinItems = 1;
      auto bmp = NoisyPicture(36, 20);
      TTestCellImage img(8, 8, *bmp);
      img.Fill = AllPairs;
      auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
      FillEight(*o.GetPalette());
      o.SetDitherMethod(c.method);
      o.SetSerpentine(c.serpentine);
      o.SetUseAsGrayPalette(c.gray);
      o.SetLimitErrorAtBlockBoundary(c.atBoundary);
      TTestScreen screen(36, 20, 5, 3);
      std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, o, nullptr, &screen);
      KvCellTeamMinItems = savedTeamItems;
      pixels[run] = Pixels(*r);
      bits[run] = screen.Bits;
      attrs[run] = screen.Attrs;
    }
    EXPECT_EQ(pixels[0], pixels[1]) << "method " << int(c.method);
    EXPECT_EQ(bits[0], bits[1]);
    EXPECT_EQ(attrs[0], attrs[1]);
  }
}

// Hooks may change the candidates (Enabled flags, colours) and the pixels of
// cells not yet solved between cells; the searches see the changes whatever
// the number of processors.
TEST(KvCellImage, HooksChangingLaterCellsAreSeen) {
  for (const bool refill : {false, true}) {
    std::vector<int> pixels[2];
    std::vector<int> attrs[2];
    for (const int run : {0, 1}) {
      TKvProcessorCountOverride force(run ? 4 : 1);
      auto bmp = NoisyPicture(40, 16);
      TTestCellImage img(8, 8, *bmp);
      img.Fill = AllPairs;
      img.OnCell = [&](int ACellX, int ACellY) {
        if (refill) return;
        TKvCellPaletteList& list = *img.GetPaletteList();
        for (int k = 0; k < list.GetCount(); ++k) list.GetPalette(k)->Enabled = (k + ACellX + ACellY) % 3 != 0;
        // Brighten the next cell of the row, whichever way the row runs.
        const TRect next = img.GetCellRect(ACellX + 1 < img.GetCellsAcross() ? ACellX + 1 : ACellX, ACellY);
        for (int y = next.Top; y < next.Bottom; ++y) {
          PKvPixel p = img.GetPixels(next.Left, y);
          TKvLinRGBColor v = p->GetLinRGB();
          v.G += 0.3;
          p->SetLinRGB(v);
        }
      };
      // Other candidates after every cell: the list cleared and filled again
      // (its new candidates may have the old addresses).
      int cells = 0;
      if (refill)
        img.AfterCell = [&] {
          TKvCellPaletteList& list = *img.GetPaletteList();
          TKvPalette256& colours = *img.GetOptionsPalette();
          ++cells;
          const int count = list.GetCount();
          list.Clear();
          for (int k = 0; k < count; ++k)
            list.Add(std::make_unique<TKvCellPaperIncPalette>(colours, (k + cells) % 8, (k * 3) % 8));
        };
      auto po = TKvDestEngineOptions::Create();
      FillEight(*po->GetPalette());
      TKvDestProgress progress;
      TTestScreen screen(40, 16, 5, 2);
      std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, *po, &progress, &screen);
      pixels[run] = Pixels(*r);
      attrs[run] = screen.Attrs;
    }
    EXPECT_EQ(pixels[0], pixels[1]) << "refill " << refill;
    EXPECT_EQ(attrs[0], attrs[1]);
  }
}

// The search skips candidates by their lower bounds, yet finds what scoring
// every enabled candidate in list order finds: the least score and, among
// equal scores, the earliest candidate; for every kernel, the gray and the
// full-record searches, whole lists and parts of them.
TEST(KvCellImage, SearchFindsWhatScoringEveryCandidateFinds) {
  auto bmp = NoisyPicture(20, 10);
  TTestCellImage img(8, 8, *bmp);
  img.Fill = [](TKvPalette256& P, TKvCellPaletteList& L) {
    AllPairs(P, L);
    // Twins score alike: the first of them must win.
    L.Add(std::make_unique<TKvCellPaperIncPalette>(P, 3, 6));
    L.Add(std::make_unique<TKvCellPaperIncPalette>(P, 0, 0));
    L.GetPalette(5)->Enabled = false;
    // Three and four colours.
    auto c = std::make_unique<TKvCellPalette>(P, 1, 2);
    c->Palette->AddColor(*P.GetPColor(5));
    c->Palette->UpdateCache();
    L.Add(std::move(c));
    auto d = std::make_unique<TKvCellPalette>(P, 0, 7);
    d->Palette->AddLinRGB({0.3, 0.5, 0.2});
    d->Palette->AddLinRGB({0.6, 0.1, 0.4});
    d->Palette->UpdateCache();
    L.Add(std::move(d));
  };
  const TRect rects[] = {Rect(0, 0, 8, 8), Rect(8, 0, 16, 8), Rect(16, 8, 20, 10), Rect(3, 2, 4, 3)};
  int searched = 0, winners = 0;
  for (const uint8_t method : {0, 1, 2, 7, 8, 9})
    for (const int metric : {0, 2})
      for (const bool gray : {false, true}) {
        auto po = TKvDestEngineOptions::Create();
        FillEight(*po->GetPalette());
        po->SetDitherMethod(method);
        po->SetColorDiffMethod(static_cast<uint8_t>(metric));
        po->SetUseAsGrayPalette(gray);
        img.Begin(*po);
        TKvCellPaletteList& list = *img.GetPaletteList();
        const TKvCellSearchTable& table = list.GetSearchTable();
        TKvCellHelper helper(img);
        const int n = list.GetCount();
        for (const TRect& r : rects)
          for (const auto& [from, to] : std::vector<std::pair<int, int>>{{0, n - 1}, {3, 20}, {30, n - 1}, {5, 5}}) {
            int want = -1;
            double wantScore = 0;
            for (int k = from; k <= to; ++k) {
              if (!list.GetPalette(k)->Enabled) continue;
              const double e = img.ScoreCell(r, *img.GetWorkOptions(), *list.GetPalette(k)->Palette, helper);
              if (want < 0 || e < wantScore) {
                want = k;
                wantScore = e;
              }
            }
            for (const int width : LaneWidths()) {
              const TLaneWidth lanes(width);
              int got = -2;
              const double score = img.SearchCell(r, list, table, nullptr, from, to, helper, got);
              EXPECT_EQ(got, want) << "method " << int(method) << " metric " << metric << " gray " << gray
                                   << " lanes " << width;
              EXPECT_EQ(score, want < 0 ? 0 : wantScore);
            }
            ++searched;
            winners += want >= 0;
          }
        img.End();
      }
  EXPECT_EQ(searched, 6 * 2 * 2 * 4 * 4);
  EXPECT_EQ(winners, searched - 6 * 2 * 2 * 4);  // candidate 5 alone is disabled
}

// Paired cells: a pair of scan cells shares the list with the least sum of
// both cells' best scores; an odd last cell chooses alone; ties keep the
// earlier list. On a mirrored row the narrow cell is the first of a pair.
TEST(KvDoubleCellImage, PairsChooseOneListTogether) {
  // 10 x 2 picture, 4 x 1 cells. Row 0 (plain): cells x 0-3, 4-7, 8-9.
  // Row 1 (mirrored): scan cells x 8-9, 4-7, then 0-3 alone.
  const uint32_t red = 0xFF0000, blue = 0x0000FF;
  auto bmp = Picture(10, 2, [&](int x, int y) {
    if (y == 0) return x < 4 ? red : x < 8 ? blue : blue;
    return x < 4 ? blue : red;
  });
  for (const int procs : {1, 4}) {
    TKvProcessorCountOverride force(procs);
    TTestDoubleImage img(4, 1, *bmp);
    img.Lists = {
        [](TKvPalette256& P, TKvCellPaletteList& L) { L.Add(std::make_unique<TKvCellPalette>(P, 0, 2)); },
        [](TKvPalette256& P, TKvCellPaletteList& L) { L.Add(std::make_unique<TKvCellPalette>(P, 0, 1)); },
        [](TKvPalette256& P, TKvCellPaletteList& L) { L.Add(std::make_unique<TKvCellPalette>(P, 2, 1)); },
        [](TKvPalette256& P, TKvCellPaletteList& L) { L.Add(std::make_unique<TKvCellPalette>(P, 0, 2)); },
    };
    auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
    FillEight(*o.GetPalette());
    TKvDestProgress progress;
    // The list of each cell's candidate, noted while the lists exist.
    std::vector<int> lists;
    img.OnPixel = [&] {
      if (img.Calls.size() > lists.size()) lists.push_back(img.ListOf(img.Calls.back().Candidate));
    };
    std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, o, &progress, nullptr);
    // Row 0: pair (red, blue) -> list 2; cell 2 (blue) alone -> list 1.
    // Row 1: pair (red, red) -> lists 0 and 3 tie -> 0; cell 2 (blue) -> 1.
    EXPECT_EQ(lists, (std::vector<int>{2, 2, 1, 0, 0, 1}));
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(r->GetPixel(x, 0), x < 4 ? 2 : 1);
      EXPECT_EQ(r->GetPixel(x, 1), x < 4 ? 1 : 2);
    }
    int total = 0, done = 0;
    progress.GetProgress(total, done);
    EXPECT_EQ(total, 6);
    EXPECT_EQ(done, 6);
    EXPECT_EQ(img.GetWorkOptions(), nullptr);
  }
}

// The same bytes with one and with four processors, also with hooks that
// change Enabled flags and later cells' pixels between cells, and with the
// deferred error entering cells before their search.
TEST(KvDoubleCellImage, SameBytesOnOneAndFourProcessors) {
  for (const bool hooks : {false, true})
    for (const bool atBoundary : {true, false}) {
      std::vector<int> pixels[2];
      for (const int run : {0, 1}) {
        TKvProcessorCountOverride force(run ? 4 : 1);
        auto bmp = NoisyPicture(22, 6);
        TTestDoubleImage img(4, 3, *bmp);
        auto lowHigh = [](int from) {
          return [from](TKvPalette256& P, TKvCellPaletteList& L) {
            for (int a = from; a < from + 4; ++a)
              for (int b = a; b < from + 4; ++b) L.Add(std::make_unique<TKvCellPalette>(P, a, b));
          };
        };
        img.Lists = {lowHigh(0), lowHigh(4), lowHigh(2)};
        if (hooks)
          img.OnCell = [&](int ACellX, int ACellY) {
            for (int l = 0; l < 3; ++l) {
              TKvCellPaletteList& list = *img.GetPaletteList(l);
              for (int k = 0; k < list.GetCount(); ++k)
                list.GetPalette(k)->Enabled = (k + l + ACellX + ACellY) % 4 != 0;
            }
            if (ACellX + 1 < img.GetCellsAcross()) {
              const TRect next = img.GetCellRect(ACellX + 1, ACellY);
              PKvPixel p = img.GetPixels(next.Left, next.Top);
              TKvLinRGBColor v = p->GetLinRGB();
              v.R += 0.4;
              p->SetLinRGB(v);
            }
          };
        auto po = TKvDestEngineOptions::Create();
        FillEight(*po->GetPalette());
        po->SetLimitErrorAtBlockBoundary(atBoundary);
        TKvDestProgress progress;
        std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, *po, &progress, nullptr);
        pixels[run] = Pixels(*r);
      }
      EXPECT_EQ(pixels[0], pixels[1]) << "hooks " << hooks << " at boundary " << atBoundary;
    }
}

// A cancel during the conversion ends it with the silent abort; the lists and
// the scoring options are freed.
TEST(KvDoubleCellImage, AbortFreesTheLists) {
  static int alive = 0;
  struct TCountedList : TKvCellPaletteList {
    TCountedList() { ++alive; }
    ~TCountedList() override { --alive; }
  };
  struct TCountingImage : TTestDoubleImage {
    using TTestDoubleImage::TTestDoubleImage;
    TKvCellPaletteList* CreatePaletteList(int AIndex) override {
      auto* list = new TCountedList;
      AllPairs(*FPalette, *list);
      if (AIndex == 1) list->GetPalette(0)->Enabled = false;
      return list;
    }
  };
  for (const int procs : {1, 4}) {
    TKvProcessorCountOverride force(procs);
    auto bmp = NoisyPicture(16, 4);
    TCountingImage img(4, 4, *bmp);
    img.Lists.resize(2);
    bool abort = false;
    img.OnCell = [&](int, int) { abort = true; };
    auto po = TKvDestEngineOptions::Create();
    FillEight(*po->GetPalette());
    TKvDestProgress progress;
    EXPECT_THROW(img.Convert(&abort, *po, &progress, nullptr), EAbort);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(img.GetWorkOptions(), nullptr);
    int total = 0, done = 0;
    progress.GetProgress(total, done);
    EXPECT_EQ(done, 0);
  }
}

namespace {

// Sets the least work worth a search job while it lives.
class TMinJobWork {
public:
  explicit TMinJobWork(int64_t AValue) : FSaved(KvCellMinJobWork) { KvCellMinJobWork = AValue; }
  ~TMinJobWork() { KvCellMinJobWork = FSaved; }
  TMinJobWork(const TMinJobWork&) = delete;
  TMinJobWork& operator=(const TMinJobWork&) = delete;

private:
  int64_t FSaved;
};

}  // namespace

// However the searches are batched (on the calling thread when the work is
// small, in jobs of candidates per cell, in jobs of cells per row), the bytes
// are those of one processor: multicolour-like 8 x 1 and 8 x 2 cells searched
// one by one, 8 x 8 cells with and without the limit at block boundaries,
// gray, and paired cells with hooks changing later cells.
TEST(KvCellImage, SameBytesHoweverTheSearchesAreBatched) {
  const struct {
    int cellHeight;
    uint8_t method;
    bool serpentine, gray, atBoundary, paired;
  } cases[] = {{1, 2, false, false, false, false}, {2, 2, true, false, false, false},
               {8, 1, true, false, true, false},   {8, 1, false, false, false, false},
               {1, 7, true, true, true, false},    {2, 1, false, false, true, true},
               {1, 2, true, false, false, true}};
  // One processor; four with the usual threshold; four with a job for every
  // share of work, however small.
  const int64_t usual = KvCellMinJobWork;
  const struct {
    int procs;
    int64_t minWork;
  } runs[] = {{1, usual}, {4, usual}, {4, 1}};
  for (const auto& c : cases) {
    std::vector<int> pixels[3];
    std::vector<uint8_t> bits[3];
    std::vector<int> attrs[3];
    for (int run = 0; run < 3; ++run) {
      TKvProcessorCountOverride force(runs[run].procs);
      TMinJobWork work(runs[run].minWork);
      auto bmp = NoisyPicture(34, 16);
      const int across = (34 + 7) / 8, down = (16 + c.cellHeight - 1) / c.cellHeight;
      auto po = TKvDestEngineOptions::Create();
      TKvDestEngineOptions& o = *po;
      FillEight(*o.GetPalette());
      o.SetDitherMethod(c.method);
      o.SetErrorDiffusion(90);
      o.SetSerpentine(c.serpentine);
      o.SetUseAsGrayPalette(c.gray);
      o.SetLimitErrorInsideBlock(c.atBoundary);
      o.SetLimitErrorAtBlockBoundary(c.atBoundary);
      TTestScreen screen(34, 16, across, down);
      TKvDestProgress progress;
      std::unique_ptr<TKvBitmap> r;
      if (c.paired) {
        TTestDoubleImage img(8, c.cellHeight, *bmp);
        auto from = [](int AFirst) {
          return [AFirst](TKvPalette256& P, TKvCellPaletteList& L) {
            for (int a = AFirst; a < AFirst + 5; ++a)
              for (int b = a; b < AFirst + 5; ++b) L.Add(std::make_unique<TKvCellPaperIncPalette>(P, a % 8, b % 8));
          };
        };
        img.Lists = {from(0), from(3), from(6)};
        img.OnCell = [&](int ACellX, int ACellY) {
          TKvCellPaletteList& list = *img.GetPaletteList(ACellX % 3);
          for (int k = 0; k < list.GetCount(); ++k) list.GetPalette(k)->Enabled = (k + ACellY) % 5 != 0;
        };
        r = img.Convert(nullptr, o, &progress, &screen);
      } else {
        TTestCellImage img(8, c.cellHeight, *bmp);
        img.Fill = AllPairs;
        r = img.Convert(nullptr, o, &progress, &screen);
      }
      pixels[run] = Pixels(*r);
      bits[run] = screen.Bits;
      attrs[run] = screen.Attrs;
    }
    for (int run = 1; run < 3; ++run) {
      EXPECT_EQ(pixels[0], pixels[run]) << "cells 8x" << c.cellHeight << " method " << int(c.method) << " run " << run;
      EXPECT_EQ(bits[0], bits[run]);
      EXPECT_EQ(attrs[0], attrs[run]);
    }
  }
}

// Searches made ahead for several rows at once hold only while the cells
// are untouched: a hook that changes a cell of a later row, or the list, in
// the middle of a batch gives the same bytes as the plain scan.
TEST(KvCellImage, BatchesAheadSeeChangesToLaterRows) {
  for (const bool serpentine : {false, true}) {
    std::vector<int> pixels[2];
    std::vector<int> attrs[2];
    for (const int run : {0, 1}) {
      TKvProcessorCountOverride force(run ? 4 : 1);
      TMinJobWork work(1);
      auto bmp = NoisyPicture(36, 48);
      TTestCellImage img(8, 4, *bmp);
      img.Fill = AllPairs;
      img.OnCell = [&](int ACellX, int ACellY) {
        // Rows 1 and 4 darken the cell two rows below; row 7 disables some
        // candidates for the rest of the picture.
        if ((ACellY == 1 || ACellY == 4) && ACellX == 2) {
          const TRect below = img.GetCellRect(ACellX, ACellY + 2);
          for (int y = below.Top; y < below.Bottom; ++y)
            for (int x = below.Left; x < below.Right; ++x) {
              PKvPixel p = img.GetPixels(x, y);
              TKvLinRGBColor v = p->GetLinRGB();
              v.R *= 0.25;
              p->SetLinRGB(v);
            }
        }
        if (ACellY == 7 && ACellX == 0) {
          TKvCellPaletteList& list = *img.GetPaletteList();
          for (int k = 0; k < list.GetCount(); ++k) list.GetPalette(k)->Enabled = k % 4 != 1;
        }
      };
      auto po = TKvDestEngineOptions::Create();
      FillEight(*po->GetPalette());
      po->SetSerpentine(serpentine);
      TKvDestProgress progress;
      TTestScreen screen(36, 48, 5, 12);
      std::unique_ptr<TKvBitmap> r = img.Convert(nullptr, *po, &progress, &screen);
      pixels[run] = Pixels(*r);
      attrs[run] = screen.Attrs;
    }
    EXPECT_EQ(pixels[0], pixels[1]) << "serpentine " << serpentine;
    EXPECT_EQ(attrs[0], attrs[1]);
  }
}
