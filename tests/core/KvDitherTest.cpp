#include "core/KvDither.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

namespace {

std::unique_ptr<TKvImage> GrayImage(int W, int H, double G) {
  auto img = std::make_unique<TKvImage>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) img->GetPixels(x, y)->InitLinRGB({G, G, G});
  return img;
}

void FillBlackWhite(TKvPalette256& P) {
  P.AddLinRGB({0, 0, 0});
  P.AddLinRGB({1, 1, 1});
}

struct TTap {
  int dx, dy, w;
  bool operator==(const TTap&) const = default;
};

struct TKernelCase {
  uint8_t method;
  int d;
  std::vector<TTap> taps;
};

const std::vector<TKernelCase>& KernelCases() {
  static const std::vector<TKernelCase> cases = {
      {1, 16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
      {2, 48, {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5},
               {2, 1, 3}, {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}},
      {3, 32, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
      {4, 32, {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
               {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}},
      {5, 16, {{1, 0, 4}, {2, 0, 3}, {-2, 1, 1}, {-1, 1, 2}, {0, 1, 3}, {1, 1, 2}, {2, 1, 1}}},
      {6, 4, {{1, 0, 2}, {-1, 1, 1}, {0, 1, 1}}},
      {7, 42, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
               {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}},
      {8, 8, {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}},
  };
  return cases;
}

// Array-order values of channel R.
std::vector<double> Reds(TKvImage& AImage) {
  std::vector<double> v;
  const int n = AImage.GetWidth() * AImage.GetHeight();
  for (int i = 0; i < n; ++i) v.push_back(AImage.GetData()[i].GetLinRGB().R);
  return v;
}

}  // namespace

// An impulse of D at one pixel hands each neighbour exactly its weight, in the
// listed order; with the mirror flag the taps run to the left; at the borders
// the taps outside are dropped and the others keep their weights.
TEST(KvDither, KernelsOnAnImpulse) {
  for (const TKernelCase& c : KernelCases()) {
    const TKvDitherKernel* k = GetDitherKernel(c.method);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->D, c.d);
    std::vector<TTap> order;
    for (int t = 0; t < k->Count; ++t) order.push_back({k->Taps[t].DX, k->Taps[t].DY, k->Taps[t].W});
    EXPECT_EQ(order, c.taps) << "method " << int(c.method);

    for (const bool mirror : {false, true}) {
      for (const bool gray : {false, true}) {
        const int W = 9, H = 5, X = 4, Y = 1;
        auto img = GrayImage(W, H, 0);
        img->SetMirror(mirror);
        if (gray)
          img->DiffuseGrayError(X, Y, c.method, c.d);
        else
          img->DiffuseError(X, Y, c.method, {double(c.d), double(c.d), double(c.d)});
        img->SetMirror(false);
        std::vector<double> want(W * H, 0.0);
        for (const TTap& t : c.taps) {
          const int col = mirror ? W - 1 - (W - 1 - X + t.dx) : X + t.dx;
          want[(Y + t.dy) * W + col] = t.w;
        }
        EXPECT_EQ(Reds(*img), want) << "method " << int(c.method) << " mirror " << mirror << " gray " << gray;
      }
    }

    // Bottom-right corner: everything falls outside.
    auto corner = GrayImage(3, 3, 0);
    corner->DiffuseError(2, 2, c.method, {1, 1, 1});
    EXPECT_EQ(Reds(*corner), std::vector<double>(9, 0.0));
    // Left edge, last-but-one row: only the taps inside are kept, unscaled.
    auto edge = GrayImage(4, 2, 0);
    edge->DiffuseError(0, 0, c.method, {double(c.d), double(c.d), double(c.d)});
    std::vector<double> want(8, 0.0);
    for (const TTap& t : c.taps)
      if (t.dx >= 0 && t.dx < 4 && t.dy < 2) want[t.dy * 4 + t.dx] = t.w;
    EXPECT_EQ(Reds(*edge), want) << "method " << int(c.method);
  }
  for (const uint8_t none : {0, 9, 10, 255}) EXPECT_EQ(GetDitherKernel(none), nullptr);
  auto img = GrayImage(3, 3, 0.25);
  img->DiffuseError(0, 0, 9, {1, 1, 1});
  EXPECT_EQ(Reds(*img), std::vector<double>(9, 0.25));
}

// The two-level conversion splits at linear gray 0.5: exactly 0.5 is light.
TEST(KvDither, BlackWhiteThresholdInLinearLight) {
  TKvImage img(4, 1);
  const double g[4] = {0.5, 0.49999999, 0.75, 0.2};
  // The grays are set exactly (the weighted sum of three equal channels may
  // miss 0.5 by an ulp).
  for (int x = 0; x < 4; ++x) img.GetPixels(x, 0)->SetLinGray(g[x]);
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  o.SetErrorDiffusion(0);
  std::vector<uint8_t> mem(4, 0xEE);
  TKvScreen8 target(4, 1, mem.data());
  std::unique_ptr<TKvBitmap> r = img.ConvertBWBits(nullptr, o, &target, nullptr, 5, 6);
  EXPECT_EQ(r->BitCount, 1);
  EXPECT_EQ(mem, (std::vector<uint8_t>{1, 0, 1, 0}));
  EXPECT_EQ(img.GetData()[0].GetLinGray(), 1);
  EXPECT_EQ(img.GetData()[1].GetLinGray(), 0);

  TKvImage img2(4, 1);
  for (int x = 0; x < 4; ++x) img2.GetPixels(x, 0)->SetLinGray(g[x]);
  TKvPalette256 pal;
  for (int i = 0; i < 8; ++i) pal.AddRGB(static_cast<uint8_t>(i * 30), 0, 0);
  r = img2.ConvertBW(nullptr, o, &target, &pal, 5, 6);
  EXPECT_EQ(r->BitCount, 4);
  EXPECT_EQ(mem, (std::vector<uint8_t>{6, 5, 6, 5}));
  EXPECT_EQ(r->GetPixel(0, 0), 6);
  EXPECT_EQ(r->GetPixel(3, 0), 5);
  EXPECT_FALSE(target.MirrorX);
}

// A flat 50% linear gray keeps its mean under ordered 2x2: the threshold
// map is centred on zero, so half the pixels go each way, in the 2x2 pattern.
TEST(KvDither, OrderedTwoByTwoKeepsTheMean) {
  auto img = GrayImage(6, 4, 0.5);
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  o.SetDitherMethod(9);
  o.SetSerpentine(false);
  TKvPalette256 bw;
  FillBlackWhite(bw);
  img->DitherRegion(nullptr, o, &bw, 0, 0);
  int white = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      const double v = img->GetPixels(x, y)->GetLinRGB().R;
      white += v == 1;
      // (x odd, y even) and (x even, y odd) are the light ones.
      EXPECT_EQ(v, ((x + y) & 1) ? 1.0 : 0.0) << x << "," << y;
    }
  EXPECT_EQ(white, 12);

  // The offsets on a flat 0.3 with an identity-like palette of many grays.
  TKvPalette256 grays;
  for (int i = 0; i <= 80; ++i) grays.AddLinRGB({i / 40.0 - 0.5, i / 40.0 - 0.5, i / 40.0 - 0.5});
  auto flat = GrayImage(2, 2, 0.3);
  flat->DitherRegion(nullptr, o, &grays, 0, 0);
  EXPECT_NEAR(flat->GetPixels(0, 0)->GetLinRGB().R, 0.3 - 0.375, 1e-9);
  EXPECT_NEAR(flat->GetPixels(1, 0)->GetLinRGB().R, 0.3 + 0.375, 1e-9);
  EXPECT_NEAR(flat->GetPixels(0, 1)->GetLinRGB().R, 0.3 + 0.125, 1e-9);
  EXPECT_NEAR(flat->GetPixels(1, 1)->GetLinRGB().R, 0.3 - 0.125, 1e-9);
}

// With Serpentine, row 1 runs right to left: Floyd-Steinberg's 7/16 goes to
// the left neighbour and the dither pattern comes out mirrored.
TEST(KvDither, SerpentineWalksOddRowsBackwards) {
  for (const bool serpentine : {false, true}) {
    auto img = GrayImage(4, 2, 0.45);
    for (int x = 0; x < 4; ++x) img->GetPixels(x, 0)->InitLinRGB({0, 0, 0});
    auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
    o.SetDitherMethod(1);
    o.SetErrorDiffusion(100);
    o.SetSerpentine(serpentine);
    TKvPalette256 bw;
    FillBlackWhite(bw);
    std::vector<uint8_t> mem(8, 0);
    TKvScreen8 target(4, 2, mem.data());
    std::unique_ptr<TKvBitmap> r = img->ConvertIndexed(nullptr, o, &target, bw, nullptr);
    const std::vector<uint8_t> row1(mem.begin() + 4, mem.end());
    const std::vector<uint8_t> want = serpentine ? std::vector<uint8_t>{1, 0, 1, 0} : std::vector<uint8_t>{0, 1, 0, 1};
    EXPECT_EQ(row1, want);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(r->GetPixel(x, 1), row1[x]);
    EXPECT_FALSE(r->MirrorX);
    EXPECT_FALSE(target.MirrorX);
    EXPECT_EQ(img->GetMirror(), false);  // flipped after both rows
  }
  // Three rows leave the image's own flag set.
  auto img = GrayImage(3, 3, 0.3);
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  TKvPalette256 bw;
  FillBlackWhite(bw);
  img->DitherToPalette(nullptr, o, bw, false);
  EXPECT_TRUE(img->GetMirror());
}

// Without diffusion the conversion is a plain nearest mapping, and the error
// total still sums every squared distance.
TEST(KvDither, NoDiffusionStillSumsTheError) {
  for (const auto& [method, strength] : std::vector<std::pair<int, int>>{{0, 90}, {1, 0}}) {
    auto img = GrayImage(3, 1, 0.3);
    img->GetPixels(2, 0)->InitLinRGB({0.9, 0.9, 0.9});
    auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
    o.SetDitherMethod(static_cast<uint8_t>(method));
    o.SetErrorDiffusion(strength);
    TKvPalette256 bw;
    FillBlackWhite(bw);
    std::unique_ptr<TKvBitmap> r = img->ConvertIndexed(nullptr, o, nullptr, bw, nullptr);
    EXPECT_EQ(r->GetPixel(0, 0), 0);
    EXPECT_EQ(r->GetPixel(1, 0), 0);
    EXPECT_EQ(r->GetPixel(2, 0), 1);
    EXPECT_NEAR(img->GetErrorTotal(), 2 * 3 * 0.09 + 3 * 0.01, 1e-12);
  }
}

TEST(KvDither, ResultDepthFollowsThePalette) {
  const struct {
    int colors;
    int bits;
  } cases[] = {{2, 4}, {16, 4}, {17, 8}, {256, 8}, {512, 24}};
  for (const auto& c : cases) {
    auto img = GrayImage(5, 3, 0.4);
    TKvPalette256 pal;
    for (int i = 0; i < c.colors; ++i) pal.AddRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x40);
    auto po = TKvDestEngineOptions::Create();
    TKvDestEngineOptions& o = *po;
    std::unique_ptr<TKvBitmap> r = img->Convert(nullptr, o, pal, nullptr);
    EXPECT_EQ(r->BitCount, c.bits) << c.colors;
    if (c.bits == 24) {
      const int i = pal.FindNearestColor(img->GetData()[0]);
      EXPECT_EQ(static_cast<uint32_t>(r->GetPixel(0, 0)), pal.GetRGBQuad(i));
    }
  }
  auto img = GrayImage(5, 3, 0.4);
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  EXPECT_EQ(img->ConvertBW(nullptr, o, nullptr, nullptr, 0, 1)->BitCount, 1);
}

TEST(KvDither, DisplayPaletteIndexes) {
  TKvPalette256 pal, display;
  pal.AddRGB(0, 0, 0);
  pal.AddRGB(255, 255, 255);
  display.AddRGB(255, 0, 0);
  display.AddRGB(255, 255, 255);
  display.AddRGB(0, 0, 0);
  auto img = GrayImage(2, 1, 0);
  img->GetPixels(1, 0)->InitLinRGB({1, 1, 1});
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  std::unique_ptr<TKvBitmap> r = img->ConvertIndexed(nullptr, o, nullptr, pal, &display);
  EXPECT_EQ(r->GetPixel(0, 0), 2);
  EXPECT_EQ(r->GetPixel(1, 0), 1);
  EXPECT_EQ(r->Palette->Count, 3);

  TKvPalette256 lacking;
  lacking.AddRGB(255, 255, 255);
  auto img2 = GrayImage(2, 1, 0);
  try {
    img2->ConvertIndexed(nullptr, o, nullptr, pal, &lacking);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Internal error");
  }
}

TEST(KvDither, AbortBeforeAPixel) {
  bool abort = true;
  auto img = GrayImage(2, 2, 0.5);
  auto po = TKvDestEngineOptions::Create();
  TKvDestEngineOptions& o = *po;
  TKvPalette256 bw;
  FillBlackWhite(bw);
  EXPECT_THROW(img->ConvertIndexed(&abort, o, nullptr, bw, nullptr), EAbort);
  EXPECT_THROW(img->ConvertBW(&abort, o, nullptr, nullptr, 0, 1), EAbort);
  EXPECT_THROW(img->DitherRegion(&abort, o, &bw, 0, 0), EAbort);
}

// The walk by red finds what the plain search finds, colour after colour:
// on a grid palette with repeated entries and reds shared by many entries,
// for colours on, between and far outside the entries, ties between twins
// and between equally distant entries, and colours that are not finite.
TEST(KvDither, NearestByRedMatchesThePlainSearch) {
  TKvPalette256 grid;
  for (const int r : {0, 146, 255})
    for (const int g : {0, 73, 219})
      for (const int b : {0, 170}) grid.AddRGB(r, g, b);
  grid.AddRGB(146, 73, 170);  // a twin of an earlier entry
  grid.AddRGB(0, 0, 0);
  TKvPalette256 two;
  two.AddLinRGB({0.25, 0.5, 0.5});
  two.AddLinRGB({0.75, 0.5, 0.5});  // (0.5, 0.5, 0.5) lies as far from both
  // The search starts at the last answer: the second colour begins at the
  // later of two equally distant entries.
  std::vector<TKvLinRGBColor> colors = {{0.8, 0.5, 0.5}, {0.5, 0.5, 0.5}, {0, 0, 0}, {1, 1, 1}, {-3, 0.2, 7}, {2.5, -1, 0.4}};
  uint32_t seed = 99;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / (1 << 24) * 1.6 - 0.3;
  };
  for (int i = 0; i < 3000; ++i) colors.push_back({next(), next(), next()});
  for (int i = 0; i < grid.Count; ++i) colors.push_back(grid.Colors[i].GetLinRGB());
  const double inf = std::numeric_limits<double>::infinity();
  for (const TKvLinRGBColor& odd : std::vector<TKvLinRGBColor>{
           {std::nan(""), 0.5, 0.5}, {0.5, inf, 0.5}, {-inf, 0.2, 0.2}, {0.5, 0.5, 0.5}})
    colors.push_back(odd);
  for (TKvPalette256* pal : {&grid, &two}) {
    pal->UpdateCache();
    TKvNearestLinRGB walk(*pal);
    for (const TKvLinRGBColor& c : colors)
      EXPECT_EQ(walk.Find(c), pal->FindNearest(c)) << c.R << " " << c.G << " " << c.B;
  }
}
