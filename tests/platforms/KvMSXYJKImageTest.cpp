#include <gtest/gtest.h>

#include <vector>

#include "core/KvDestProgress.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvSavePlatformMSX.h"
#include "KvTestHarness.h"
#include "rtl/KvSysUtils.h"

namespace {

struct TRun {
  std::unique_ptr<TKvBitmap24> Preview;
  std::unique_ptr<TKvMSXScreen8> Target;
  std::unique_ptr<TKvDestEngineOptions> Options;
  int32_t ProgressTotal = 0, ProgressDone = 0;
};

enum class TKind { YJK, YUV, YJKEven, YAE };

template <class TSetup>
TRun Solve(TKind AKind, TBitmap32& APicture, TSetup ASetup) {
  TRun r;
  r.Options = TKvDestEngineOptions::Create();
  ASetup(*r.Options);
  r.Target = std::make_unique<TKvMSXScreen8>(APicture.GetWidth(), APicture.GetHeight());
  TKvDestProgress progress;
  bool abort = false;
  switch (AKind) {
    case TKind::YJK: r.Preview = TKvYJKImage(APicture).Convert(&abort, &progress, *r.Options, r.Target.get()); break;
    case TKind::YUV: r.Preview = TKvYUVImage(APicture).Convert(&abort, &progress, *r.Options, r.Target.get()); break;
    case TKind::YJKEven:
      r.Preview = TKvYJKYAEImage(APicture).ConvertYJK(&abort, &progress, *r.Options, r.Target.get());
      break;
    case TKind::YAE:
      r.Preview = TKvYJKYAEImage(APicture).ConvertYJKYAE(&abort, &progress, *r.Options, r.Target.get());
      break;
  }
  progress.GetProgress(r.ProgressTotal, r.ProgressDone);
  return r;
}
TRun Solve(TKind AKind, TBitmap32& APicture) {
  return Solve(AKind, APicture, [](TKvDestEngineOptions&) {});
}

// Decodes the stored groups as the importers do and compares with the
// preview. The J of a group cut by the right edge is not stored, so only
// whole groups are compared.
void ExpectBytesShowPreview(TKind AKind, const TRun& r) {
  const int w = r.Target->Width, h = r.Target->Height;
  TKvBitmap24 decoded(w, h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = r.Target->GetScanline(y);
    int count = w;
    for (int g = 0; count > 0; ++g) {
      if (AKind == TKind::YUV)
        DecodeYUVGroup(decoded, g, y, p, count);
      else if (AKind == TKind::YAE)
        DecodeYJKYAEGroup(decoded, g, y, p, count, *r.Options->GetPalette());
      else
        DecodeYJKGroup(decoded, g, y, p, count);
    }
  }
  int diffs = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < (w & ~3); ++x) diffs += decoded.GetPixel(x, y) != r.Preview->GetPixel(x, y);
  EXPECT_EQ(diffs, 0);
  if (AKind == TKind::YJKEven) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ((r.Target->GetPixel(x, y) >> 3) & 1, 0);
  }
}

TEST(KvMSXYJKImage, WindowTables) {
  const TKvYJKWindow red = YJKWindows()[31 * 1024];
  EXPECT_EQ(red.JMin, 24);
  EXPECT_EQ(red.JMax, 31);
  EXPECT_EQ(red.KMin, -32);
  EXPECT_EQ(red.KMax, 0);
  const TKvYJKWindow black = YJKWindows()[0];
  EXPECT_EQ(black.JMin, 0);
  EXPECT_EQ(black.JMax, 0);
  EXPECT_EQ(black.KMin, -1);
  EXPECT_EQ(black.KMax, 0);
  // Every entry, reproducible or not, is a real window that holds at least
  // one pair reproducing some colour.
  for (const TKvYJKWindow* t : {YJKWindows(), YJKEvenWindows(), YUVWindows()})
    for (int c = 0; c < 32768; ++c) {
      ASSERT_LE(t[c].JMin, t[c].JMax) << c;
      ASSERT_LE(t[c].KMin, t[c].KMax) << c;
    }
  // The gray 16 lies in the window of (Y 14, K 2, J 2).
  for (const TKvYJKWindow* t : {YJKWindows(), YJKEvenWindows()}) {
    const TKvYJKWindow g = t[16 * 1024 + 16 * 32 + 16];
    EXPECT_TRUE(g.JMin <= 2 && 2 <= g.JMax && g.KMin <= 2 && 2 <= g.KMax);
  }
}

TEST(KvMSXYJKImage, UniformGrayIsReproducedExactly) {
  auto pic = SolidPicture(8, 2, 0x848484);  // (132, 132, 132), the 5-bit gray 16
  for (TKind kind : {TKind::YJK, TKind::YJKEven}) {
    TRun r = Solve(kind, *pic);
    for (int y = 0; y < 2; ++y) {
      const uint8_t* p = r.Target->GetScanline(y);
      EXPECT_EQ(std::vector<uint8_t>(p, p + 8), (std::vector<uint8_t>{0x72, 0x70, 0x72, 0x70, 0x72, 0x70, 0x72, 0x70}));
    }
    EXPECT_EQ(r.Preview->GetPixelStdRGB(5, 1), StdRGBColor(132, 132, 132));
    EXPECT_EQ(r.ProgressTotal, 2);
    EXPECT_EQ(r.ProgressDone, 2);
  }
}

TEST(KvMSXYJKImage, StoredGroupsShowThePreview) {
  // A width that is no multiple of 4: the last group is solved with black
  // beyond the edge, and only its pixels inside the picture are written.
  auto pic = GradientPicture(30, 9, 41);
  for (TKind kind : {TKind::YJK, TKind::YUV, TKind::YJKEven, TKind::YAE}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TRun r = Solve(kind, *pic);
    ExpectBytesShowPreview(kind, r);
    for (int y = 0; y < 9; ++y)
      for (int x = 30; x < r.Target->Stride; ++x) ASSERT_EQ(r.Target->GetScanline(y)[x], 0);
  }
}

TEST(KvMSXYJKImage, SameBytesOnOneAndManyProcessors) {
  auto pic = GradientPicture(37, 23, 42);
  for (TKind kind : {TKind::YJK, TKind::YUV, TKind::YAE}) {
    std::vector<uint8_t> bytes[2];
    for (int n : {1, 4}) {
      TKvProcessorCountOverride count(n);
      TRun r = Solve(kind, *pic, [](TKvDestEngineOptions& o) { o.SetSerpentine(false); });
      bytes[n == 4].assign(r.Target->Data, r.Target->Data + r.Target->Stride * r.Target->Height);
    }
    EXPECT_EQ(bytes[0], bytes[1]) << static_cast<int>(kind);
  }
}

// The palette passes keep the pairs each group may choose while a budget
// lasts and search every pair beyond it: no budget, room for a few rows and
// room for all give the same bytes and palette, on one processor and on
// four.
TEST(KvMSXYJKImage, SameBytesWhateverTheBudgetOfPairsKept) {
  auto pic = GradientPicture(37, 23, 45);
  const int64_t saved = KvYAEFrontBudget;
  std::vector<uint8_t> want;
  TKvPalette256 wantPalette;
  for (const int64_t budget : {saved, int64_t{0}, int64_t{4096}})
    for (int n : {1, 4}) {
      TKvProcessorCountOverride count(n);
      KvYAEFrontBudget = budget;
      TRun r = Solve(TKind::YAE, *pic);
      KvYAEFrontBudget = saved;
      std::vector<uint8_t> bytes(r.Target->Data, r.Target->Data + r.Target->Stride * r.Target->Height);
      if (want.empty()) {
        want = bytes;
        wantPalette.Assign(r.Options->GetPalette());
        ASSERT_GT(wantPalette.GetCount(), 0);
        continue;
      }
      EXPECT_EQ(bytes, want) << "budget " << budget << ", " << n << " processors";
      EXPECT_TRUE(r.Options->GetPalette()->SameColors(&wantPalette));
    }
}

TEST(KvMSXYJKImage, PalettePasses) {
  auto pic = GradientPicture(24, 12, 43);
  // A fixed palette of 16 colours: one pass, progress over the rows once.
  TKvPalette256 fixed;
  BuildMSXPalette(fixed);
  TRun r = Solve(TKind::YAE, *pic, [&](TKvDestEngineOptions& o) { o.SetFixedPalette(&fixed); });
  EXPECT_EQ(r.ProgressTotal, 12);
  EXPECT_EQ(r.ProgressDone, 12);
  EXPECT_TRUE(r.Options->GetPalette()->SameColors(&fixed));
  ExpectBytesShowPreview(TKind::YAE, r);

  // A picture YJK reproduces exactly leaves the histogram empty: the second
  // round takes the fixed palette again and stops.
  auto gray = SolidPicture(8, 4, 0x848484);
  TRun g = Solve(TKind::YAE, *gray);
  EXPECT_EQ(g.ProgressTotal, 17 * 4);
  EXPECT_EQ(g.ProgressDone, 4);
  EXPECT_EQ(g.Options->GetPalette()->GetCount(), 0);

  // Otherwise the palette is chosen from the errors, at most 16 colours of
  // the V9958 levels.
  TRun q = Solve(TKind::YAE, *pic);
  ASSERT_GT(q.Options->GetPalette()->GetCount(), 0);
  ASSERT_LE(q.Options->GetPalette()->GetCount(), 16);
  int odd = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 24; ++x) odd += (q.Target->GetPixel(x, y) >> 3) & 1;
  EXPECT_GT(odd, 0);
  ExpectBytesShowPreview(TKind::YAE, q);
}

TEST(KvMSXYJKImage, AbortRaisesTheSilentAbort) {
  auto pic = GradientPicture(8, 8, 44);
  auto options = TKvDestEngineOptions::Create();
  TKvMSXScreen8 target(8, 8);
  TKvDestProgress progress;
  bool abort = true;
  EXPECT_THROW(TKvYJKImage(*pic).Convert(&abort, &progress, *options, &target), EAbort);
  EXPECT_THROW(TKvYJKYAEImage(*pic).ConvertYJKYAE(&abort, &progress, *options, &target), EAbort);
}

}  // namespace
