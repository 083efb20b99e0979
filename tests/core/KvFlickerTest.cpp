#include "core/KvFlicker.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "KvTestHarness.h"

namespace {

std::unique_ptr<TKvImage> FlatLin(int W, int H, double AValue) {
  auto img = std::make_unique<TKvImage>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) img->GetPixels(x, y)->InitLinRGB({AValue, AValue, AValue});
  return img;
}

std::unique_ptr<TKvDestEngineOptions> Options(uint8_t AMethod, bool ASerpentine) {
  auto o = TKvDestEngineOptions::Create<>();
  o->DitherMethod = AMethod;
  o->Serpentine = ASerpentine;
  return o;
}

// The n x n mixture palette of the given linear grays.
std::unique_ptr<TKvPalette256> Mixtures(const std::vector<double>& AGrays) {
  auto p = std::make_unique<TKvPalette256>();
  for (double a : AGrays)
    for (double b : AGrays) {
      const double m = (a + b) / 2;
      p->AddLinRGB({m, m, m});
    }
  return p;
}

}  // namespace

TEST(KvFlickMap, NeighbourTable) {
  TKvFlickMap map(4, 4);
  ASSERT_EQ(map.GetNeighbourCount(), 628);
  const TKvFlickMap::TNeighbour first[] = {{0, -1, 1}, {-1, 0, 1}, {1, -1, 2}, {-1, -1, 2}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(map.GetNeighbour(i).DX, first[i].DX) << i;
    EXPECT_EQ(map.GetNeighbour(i).DY, first[i].DY) << i;
    EXPECT_EQ(map.GetNeighbour(i).D2, first[i].D2) << i;
  }
  for (int i = 1; i < 628; ++i) EXPECT_LE(map.GetNeighbour(i - 1).D2, map.GetNeighbour(i).D2);
  EXPECT_EQ(map.GetNeighbour(627).D2, 400);
  // Only pixels a scan from the left has already visited.
  for (int i = 0; i < 628; ++i) {
    const auto& e = map.GetNeighbour(i);
    EXPECT_TRUE(e.DY < 0 || (e.DY == 0 && e.DX < 0)) << i;
  }
}

TEST(KvFlickMap, StatesAndDecisions) {
  TKvFlickMap map(5, 3);
  EXPECT_EQ(map.GetState(-1, 0), nullptr);
  EXPECT_EQ(map.GetState(5, 0), nullptr);
  EXPECT_EQ(map.GetState(0, 3), nullptr);
  // Nothing placed: the checkerboard.
  EXPECT_TRUE(map.Decide(0, 0));
  EXPECT_FALSE(map.Decide(1, 0));
  // A brighter frame 0 to the left puts the lighter colour into frame 1.
  map.SetState(0, 1, 1, 0);
  EXPECT_FALSE(map.Decide(1, 1));
  // Equal near sums go to the first ring holding a pixel with different
  // values: for (4, 1) the ring at squared distance 4, where (2, 1) has
  // frame 1 brighter, so frame 0 takes the lighter colour.
  map.SetState(2, 1, 0, 1);
  map.SetState(3, 0, 1, 1);
  EXPECT_TRUE(map.Decide(4, 1));
  // Mirrored, column 0 is stored at the last column.
  map.SetMirror(true);
  map.SetState(0, 2, 0.25, 0.75);
  map.SetMirror(false);
  EXPECT_EQ(map.GetState(4, 2)[0], 0.25);
  EXPECT_TRUE(map.DefaultPhase(4, 2));
  map.SetMirror(true);
  EXPECT_TRUE(map.DefaultPhase(0, 2));
}

TEST(KvFlicker, FlatGrayGivesCheckerboardFrames) {
  for (bool serpentine : {false, true}) {
    auto img = FlatLin(7, 5, 0.5);
    auto opt = Options(0, serpentine);
    std::vector<uint8_t> mem(7 * 5, 0xEE);
    TKvScreen8 target(7, 5, mem.data());
    auto res = ConvertBWFlicker(*img, nullptr, *opt, &target);
    ASSERT_EQ(res->BitCount, 4);
    ASSERT_EQ(res->GetFrames()->GetCount(), 2);
    TKvBitmap* f0 = res->GetFrames()->GetBitmap(0);
    TKvBitmap* f1 = res->GetFrames()->GetBitmap(1);
    EXPECT_EQ(f0->BitCount, 1);
    EXPECT_FALSE(res->MirrorX);
    EXPECT_FALSE(target.MirrorX);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        const bool even = (x + y) % 2 == 0;
        EXPECT_EQ(res->GetPixel(x, y), 1) << x << "," << y;
        EXPECT_EQ(f0->GetPixel(x, y), even ? 1 : 0) << serpentine << " " << x << "," << y;
        EXPECT_EQ(f1->GetPixel(x, y), even ? 0 : 1) << serpentine << " " << x << "," << y;
        EXPECT_EQ(mem[size_t(y * 7 + x)], even ? 2 : 1);
      }
  }
}

TEST(KvFlicker, BlackAndWhiteGetEqualFrames) {
  auto img = std::make_unique<TKvImage>(4, 1);
  for (int x = 0; x < 4; ++x) {
    const double v = x % 2 ? 1.0 : 0.0;
    img->GetPixels(x, 0)->InitLinRGB({v, v, v});
  }
  auto opt = Options(0, false);
  auto res = ConvertBWFlicker(*img, nullptr, *opt, nullptr);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(res->GetPixel(x, 0), x % 2 ? 2 : 0);
    EXPECT_EQ(res->GetFrames()->GetBitmap(0)->GetPixel(x, 0), x % 2);
    EXPECT_EQ(res->GetFrames()->GetBitmap(1)->GetPixel(x, 0), x % 2);
  }
}

TEST(KvFlicker, TwoColourMixing) {
  auto opt = Options(0, true);
  auto img = FlatLin(3, 3, 0.5);
  TKvPalette256 ten;
  for (int i = 0; i < 10; ++i) ten.AddRGB(uint8_t(i), 0, 0);
  EXPECT_EQ(MessageOf([&] { ConvertFlicker2(*img, nullptr, *opt, nullptr, ten, 0, 1); }), "Internal error");

  auto mix = Mixtures({0.0, 0.2, 0.6, 1.0});  // n = 4
  std::vector<uint8_t> mem(9, 0);
  TKvScreen8 target(3, 3, mem.data());
  auto res = ConvertFlicker2(*img, nullptr, *opt, &target, *mix, 1, 3);
  ASSERT_EQ(res->BitCount, 4);
  TKvBitmap* f0 = res->GetFrames()->GetBitmap(0);
  TKvBitmap* f1 = res->GetFrames()->GetBitmap(1);
  EXPECT_EQ(f0->Palette->Count, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      const bool even = (x + y) % 2 == 0;
      const int p = even ? 3 : 1, q = even ? 1 : 3;
      EXPECT_EQ(res->GetPixel(x, y), p * 4 + q);
      EXPECT_EQ(mem[size_t(y * 3 + x)], p * 4 + q);
      EXPECT_EQ(f0->GetPixel(x, y), p);
      EXPECT_EQ(f1->GetPixel(x, y), q);
    }
}

TEST(KvFlicker, GeneralMixingRemapsToTheLeastAmplitude) {
  auto opt = Options(0, false);
  // Bases black, 50 % gray and white: the black/white mixture has the colour
  // of the gray base, which shows it without flicker.
  auto mix = Mixtures({0.0, 0.5, 1.0});
  auto img = FlatLin(4, 2, 0.5);
  std::vector<uint8_t> mem(8, 0);
  TKvScreen8 target(4, 2, mem.data());
  auto res = ConvertFlicker(*img, nullptr, *opt, &target, *mix, nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(res->GetPixel(x, y), 4);
      EXPECT_EQ(mem[size_t(y * 4 + x)], 4);
      EXPECT_EQ(res->GetFrames()->GetBitmap(0)->GetPixel(x, y), 1);
      EXPECT_EQ(res->GetFrames()->GetBitmap(1)->GetPixel(x, y), 1);
    }

  // Black and white bases only: (0, 1) and (1, 0) have the same colour and
  // amplitude, so neither replaces the other; the frames alternate, the
  // lighter colour in frame 0 where the checkerboard says so.
  auto bw = Mixtures({0.0, 1.0});
  auto img2 = FlatLin(4, 2, 0.5);
  TKvPalette256 display;
  display.AddLinRGB(LinRGBWhite);
  display.AddLinRGB({0.2, 0.2, 0.2});
  display.AddLinRGB(LinRGBBlack);
  auto res2 = ConvertFlicker(*img2, nullptr, *opt, &target, *bw, &display);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool even = (x + y) % 2 == 0;
      // The preview holds the mixture found, (0, 1), before the frames are
      // ordered.
      EXPECT_EQ(res2->GetPixel(x, y), 1);
      // Frames and target use display indexes: white 0, black 2.
      EXPECT_EQ(res2->GetFrames()->GetBitmap(0)->GetPixel(x, y), even ? 0 : 2);
      EXPECT_EQ(res2->GetFrames()->GetBitmap(1)->GetPixel(x, y), even ? 2 : 0);
      EXPECT_EQ(mem[size_t(y * 4 + x)], even ? 0 * 3 + 2 : 2 * 3 + 0);
    }

  // A display palette without a base colour fails.
  TKvPalette256 partial;
  partial.AddLinRGB(LinRGBWhite);
  auto img3 = FlatLin(2, 2, 0.5);
  EXPECT_EQ(MessageOf([&] { ConvertFlicker(*img3, nullptr, *opt, nullptr, *bw, &partial); }), "Internal error");
}

TEST(KvFlicker, CancelRaisesSilentAbort) {
  auto img = FlatLin(3, 3, 0.5);
  auto opt = Options(1, true);
  bool abort = true;
  EXPECT_THROW(ConvertBWFlicker(*img, &abort, *opt, nullptr), EAbort);
}
