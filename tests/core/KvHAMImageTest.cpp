#include "core/KvHAMImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "core/KvPaletteRGB.h"
#include "core/KvThreadJob.h"
#include "KvTestHarness.h"

namespace {

std::unique_ptr<TKvImage> RowImage(const std::vector<TKvStdRGBColor>& ARow) {
  auto img = std::make_unique<TKvImage>(int(ARow.size()), 1);
  for (int x = 0; x < int(ARow.size()); ++x) img->GetPixels(x, 0)->InitRGB(ARow[size_t(x)].R, ARow[size_t(x)].G, ARow[size_t(x)].B);
  return img;
}

// Random pixels out of the 64 colours of 2-bit channels, as a picture that
// was dithered to such a platform palette; each row favours its own hues.
std::unique_ptr<TKvImage> PlatformPicture(int W, int H, unsigned ASeed) {
  std::mt19937 rng(ASeed);
  auto img = std::make_unique<TKvImage>(W, H);
  for (int y = 0; y < H; ++y) {
    std::uniform_int_distribution<int> lv(0, 3);
    const int base = (y / 8) % 4;
    for (int x = 0; x < W; ++x) {
      const int r = (x + base) % 4, g = lv(rng), b = (y + x / 5) % 4;
      img->GetPixels(x, y)->InitRGB(uint8_t(r * 85), uint8_t(g * 85), uint8_t(b * 85));
    }
  }
  return img;
}

int RealChanges(TKvHAMPalette& APlan, int ALine) {
  TKvHAMChange* ch = APlan.GetChangeBuffer();
  APlan.GetLine(ALine - 1)->GetChanges(*APlan.GetLine(ALine), ch);
  int n = 0;
  for (int i = 0; i < APlan.GetMaxChanges(); ++i) n += ch[i].NoChange == 0;
  return n;
}

int SameEntries(const TKvHAMLine& A, const TKvHAMLine& B, int AFrom) {
  int n = 0;
  for (int e = AFrom; e < std::min(A.GetCount(), B.GetCount()); ++e)
    n += A.GetColor(e)->GetStdRGB() == B.GetColor(e)->GetStdRGB();
  return n;
}

const TKvStdRGBColor Red{255, 0, 0}, Green{0, 255, 0}, Blue{0, 0, 255}, Black{0, 0, 0};

}  // namespace

TEST(KvHAMPalette, FirstPalettesOfSmallRows) {
  auto img = RowImage({Green, Red, Blue, Red});
  {
    TKvHAMPalette plan(nullptr, *img, nullptr, 3, 1, 0, 2);
    const TKvHAMLine& l = *plan.GetLine(0);
    ASSERT_EQ(l.GetCount(), 3);
    // Sorted by gray.
    EXPECT_EQ(l.GetColor(0)->GetStdRGB(), Blue);
    EXPECT_EQ(l.GetColor(1)->GetStdRGB(), Red);
    EXPECT_EQ(l.GetColor(2)->GetStdRGB(), Green);
  }
  for (int usage : {0, 1}) {
    TKvHAMPalette plan(nullptr, *img, nullptr, 4, 1, 0, usage);
    const TKvHAMLine& l = *plan.GetLine(0);
    ASSERT_EQ(l.GetCount(), 4);
    EXPECT_EQ(l.GetColor(0)->GetStdRGB(), Black);
    EXPECT_EQ(l.GetColor(3)->GetStdRGB(), Green);
  }
  // Usage 0 with more colours than fit: K - 1 chosen, black in front.
  std::vector<TKvStdRGBColor> many;
  for (int i = 0; i < 10; ++i) many.push_back({uint8_t(40 + i * 20), uint8_t(200 - i * 15), 90});
  auto wide = RowImage(many);
  TKvHAMPalette plan(nullptr, *wide, nullptr, 4, 1, 0, 0);
  ASSERT_EQ(plan.GetLine(0)->GetCount(), 4);
  EXPECT_EQ(plan.GetLine(0)->GetColor(0)->GetStdRGB(), Black);

  EXPECT_EQ(MessageOf([&] { TKvHAMPalette bad(nullptr, *wide, nullptr, 4, 1, 0, 3); }), "Internal error");
}

TEST(KvHAMPalette, AtMostCChangesBetweenLines) {
  auto img = PlatformPicture(24, 24, 5);
  auto allowed = TKvPaletteRGB::CreateBits(2, 2, 2, false);
  for (int usage : {0, 1, 2}) {
    TKvHAMPalette plan(nullptr, *img, allowed.get(), 16, 1, 0, usage);
    ASSERT_EQ(plan.GetLineCount(), 24);
    EXPECT_LT(plan.GetPassCount(), TKvHAMPalette::MaxPasses);
    for (int y = 1; y < 24; ++y) {
      const TKvHAMLine& a = *plan.GetLine(y - 1);
      const TKvHAMLine& b = *plan.GetLine(y);
      ASSERT_EQ(b.GetCount(), 16);
      EXPECT_LE(RealChanges(plan, y), 1);
      if (usage == 2) {
        EXPECT_GE(SameEntries(a, b, 0), 15) << y;
      } else {
        EXPECT_EQ(b.GetColor(0)->GetStdRGB(), Black);
        EXPECT_GE(SameEntries(a, b, 1), 14) << y;
      }
      // Every planned colour is one of the platform's.
      for (int e = 0; e < 16; ++e) {
        const TKvStdRGBColor c = b.GetColor(e)->GetStdRGB();
        EXPECT_EQ(allowed->GetStdRGB(allowed->FindNearestStdRGB(c)), c);
      }
    }
  }
}

TEST(KvHAMPalette, LineLimitFreezesTransitions) {
  auto img = PlatformPicture(12, 192, 8);
  auto allowed = TKvPaletteRGB::CreateBits(2, 2, 2, false);
  TKvHAMPalette plan(nullptr, *img, allowed.get(), 16, 1, 127, 2);
  int unchanged = 0;
  for (int y = 1; y < 192; ++y) unchanged += RealChanges(plan, y) == 0;
  EXPECT_GE(unchanged, 65);
}

TEST(KvHAMPalette, ChangeRecords) {
  // Two rows with a limit of one transition with changes: the transition is
  // frozen, so both records are fillers naming entry 0 with its colour.
  auto img = std::make_unique<TKvImage>(3, 2);
  for (int y = 0; y < 2; ++y) {
    img->GetPixels(0, y)->InitRGB(Red.R, Red.G, Red.B);
    img->GetPixels(1, y)->InitRGB(Blue.R, Blue.G, Blue.B);
    img->GetPixels(2, y)->InitRGB(Green.R, Green.G, Green.B);
  }
  TKvHAMPalette plan(nullptr, *img, nullptr, 3, 2, 1, 2);
  TKvHAMChange* ch = plan.GetChangeBuffer();
  plan.GetLine(0)->GetChanges(*plan.GetLine(1), ch);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(ch[i].Index, 0);
    EXPECT_EQ(ch[i].NoChange, 1);
    EXPECT_EQ((TKvStdRGBColor{ch[i].R, ch[i].G, ch[i].B}), plan.GetLine(1)->GetColor(0)->GetStdRGB());
  }
  // Without the limit only K - C entries continue: the other two count as
  // changes, in entry order, even where the value stays.
  TKvHAMPalette free(nullptr, *img, nullptr, 3, 2, 0, 2);
  EXPECT_EQ(RealChanges(free, 1), 2);
  TKvHAMChange* fc = free.GetChangeBuffer();
  EXPECT_LT(fc[0].Index, fc[1].Index);

  // A line of another count cannot be compared.
  auto* extra = new TKvHAMLine(&plan, *img, 0);  // owned by the plan, no colours
  EXPECT_EQ(MessageOf([&] { plan.GetLine(0)->GetChanges(*extra, ch); }), "Internal error");
}

TEST(KvHAMPalette, SamePlanOnOneAndFourProcessors) {
  // The rows' first palettes are made side by side; the plan must not
  // depend on how the rows were shared out.
  auto img = PlatformPicture(40, 64, 9);
  auto allowed = TKvPaletteRGB::CreateBits(2, 2, 2, false);
  auto plan = [&](int AProcessors, int AUsage) {
    TKvProcessorCountOverride o(AProcessors);
    TKvHAMPalette p(nullptr, *img, allowed.get(), 16, 1, 40, AUsage);
    std::vector<TKvStdRGBColor> colors;
    for (int y = 0; y < p.GetLineCount(); ++y)
      for (int e = 0; e < p.GetLine(y)->GetCount(); ++e) colors.push_back(p.GetLine(y)->GetColor(e)->GetStdRGB());
    colors.push_back({uint8_t(p.GetPassCount()), 0, 0});
    return colors;
  };
  for (int usage : {0, 1, 2}) EXPECT_EQ(plan(1, usage), plan(4, usage)) << usage;
}

TEST(KvHAMPalette, CancelRaisesSilentAbort) {
  auto img = PlatformPicture(8, 8, 1);
  bool abort = true;
  EXPECT_THROW(TKvHAMPalette(&abort, *img, nullptr, 4, 1, 0, 2), EAbort);
}

namespace {

class TRecordingHAMImage : public TKvHAMImage {
public:
  using TKvHAMImage::TKvHAMImage;
  struct TCall {
    int Line;  // -1 for the initial palette
    int Index;
    TKvStdRGBColor Color;
    int Count;
  };
  std::vector<TCall> Calls;
  void StoreInitialPalette(TKvPalette*, TKvPalette256& ALinePalette) override {
    Calls.push_back({-1, 0, {}, ALinePalette.Count});
  }
  void StorePaletteChange(TKvPalette*, int AIndex, const TKvStdRGBColor& AColor, int ALine) override {
    Calls.push_back({ALine, AIndex, AColor, 0});
  }
};

}  // namespace

TEST(KvHAMImage, HooksAndIndexes) {
  auto src = PlatformPicture(10, 6, 3);
  auto allowed = TKvPaletteRGB::CreateBits(2, 2, 2, false);
  TKvHAMPalette plan(nullptr, *src, allowed.get(), 4, 2, 0, 2);
  TKvPalette256 display;
  display.AssignColors(allowed.get());
  auto opt = TKvDestEngineOptions::Create<>();
  opt->Serpentine = true;
  TRecordingHAMImage img(*src);
  std::vector<uint8_t> mem(5 * 6, 0);
  TKvScreen4 target(10, 6, mem.data());
  auto res = img.Convert(nullptr, *opt, &target, plan, &display);
  ASSERT_EQ(img.Calls.size(), 1u + 5u * 2u);
  EXPECT_EQ(img.Calls[0].Line, -1);
  EXPECT_EQ(img.Calls[0].Count, 4);
  for (size_t i = 1; i < img.Calls.size(); ++i) EXPECT_EQ(img.Calls[i].Line, 1 + int(i - 1) / 2);
  EXPECT_FALSE(res->MirrorX);
  EXPECT_FALSE(target.MirrorX);
  TKvPalette256 lp;
  for (int y = 0; y < 6; ++y) {
    plan.GetLine(y)->GetPalette(lp);
    for (int x = 0; x < 10; ++x) {
      const int i = target.GetPixel(x, y);
      ASSERT_LT(i, 4);
      // The result holds the display index of the same colour.
      EXPECT_EQ(display.GetStdRGB(res->GetPixel(x, y)), lp.GetStdRGB(i));
    }
  }
  ASSERT_NE(img.GetUsedPalette(), nullptr);
  for (int i = 1; i < img.GetUsedPalette()->Count; ++i)
    EXPECT_LE(img.GetUsedPalette()->GetLinGray(i - 1), img.GetUsedPalette()->GetLinGray(i));

  // Without a display palette the result is true colour; a cancelled run
  // drops the used colours.
  TRecordingHAMImage img2(*src);
  auto rgb = img2.Convert(nullptr, *opt, nullptr, plan, nullptr);
  EXPECT_EQ(rgb->BitCount, 24);
  TRecordingHAMImage img3(*src);
  bool abort = true;
  EXPECT_THROW(img3.Convert(&abort, *opt, nullptr, plan, nullptr), EAbort);
  EXPECT_EQ(img3.GetUsedPalette(), nullptr);
}
