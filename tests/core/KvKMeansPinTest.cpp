// Pins the k-means results on a table of pictures, colour counts and
// variants: the palette bytes, the pass count and the cluster every colour
// ends in are hashed and compared with the values the straightforward
// search gave, with one worker and with several. Any change to the nearest
// pass (pruning, layout, jobs) must leave all of them as they are.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvThreadJob.h"

namespace {

struct THash {
  uint64_t V = 1469598103934665603ull;
  void Add(uint64_t X) {
    for (int i = 0; i < 8; ++i) {
      V ^= (X >> (8 * i)) & 0xFF;
      V *= 1099511628211ull;
    }
  }
};

// Palette bytes, the pass count, and per colour its bytes and the table
// place of its cluster.
uint64_t HashOf(const TKvQuantization& Q, const TKvPalette256& ARes) {
  THash h;
  h.Add(uint64_t(ARes.Count));
  for (int i = 0; i < ARes.Count; ++i) {
    const TKvStdRGBColor s = ARes.GetStdRGB(i);
    h.Add((uint64_t(s.R) << 16) | (uint64_t(s.G) << 8) | s.B);
  }
  h.Add(uint64_t(Q.GetIterationCount()));
  h.Add(uint64_t(Q.GetClusterCount()));
  for (int i = 0; i < Q.GetColorCount(); ++i) {
    const TKvQuantizationColor* c = Q.GetColor(i);
    int place = -1;
    for (int k = 0; k < Q.GetClusterCount(); ++k)
      if (Q.GetCluster(k) == c->Cluster) place = k;
    h.Add((uint64_t(c->R) << 16) | (uint64_t(c->G) << 8) | c->B);
    h.Add(uint64_t(int64_t(place)));
  }
  return h.V;
}

using TPicture = std::function<std::unique_ptr<TKvImage>()>;

std::unique_ptr<TKvImage> Photo(int W, int H, unsigned ASeed, int ANoise) {
  std::mt19937 rng(ASeed);
  std::uniform_int_distribution<int> d(-ANoise, ANoise);
  auto img = std::make_unique<TKvImage>(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      auto ch = [&](int v) { return uint8_t(std::clamp(v + d(rng), 0, 255)); };
      // One statement per draw: the order of arguments is the compiler's.
      const uint8_t r = ch(x * 255 / W);
      const uint8_t g = ch(y * 255 / H);
      const uint8_t b = ch(128 + (x - W / 2) * (y - H / 2) / 40);
      img->GetPixels(x, y)->InitRGB(r, g, b);
    }
  return img;
}

// Few distinct colours, each many times (duplicates only).
std::unique_ptr<TKvImage> Duplicates() {
  auto img = std::make_unique<TKvImage>(64, 48);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> d(0, 5);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const int v = d(rng);
      img->GetPixels(x, y)->InitRGB(uint8_t(v * 50), uint8_t(250 - v * 40), uint8_t((v * 97) & 255));
    }
  return img;
}

// Every colour (r, g, b) comes with (g, r, b) and the grays lie on the
// mirror plane: with a mirrored allowed palette many colours are exactly as
// far from two middles, so the first-in-table rule decides.
std::unique_ptr<TKvImage> Mirrored() {
  auto img = std::make_unique<TKvImage>(128, 96);
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> d(0, 31);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; x += 2) {
      const uint8_t r = uint8_t(d(rng) * 8), g = uint8_t(d(rng) * 8), b = uint8_t(d(rng) * 8);
      const bool gray = (x / 2 + y) % 5 == 0;
      img->GetPixels(x, y)->InitRGB(r, gray ? r : g, b);
      img->GetPixels(x + 1, y)->InitRGB(gray ? r : g, r, b);
    }
  return img;
}

// A coarse grid of levels: exact lattice points, many equal distances even
// without an allowed palette.
std::unique_ptr<TKvImage> Lattice() {
  auto img = std::make_unique<TKvImage>(96, 96);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 96; ++x)
      img->GetPixels(x, y)->InitRGB(uint8_t((x % 24) * 11), uint8_t((y % 24) * 11),
                                    uint8_t(((x / 24 + 4 * (y / 24)) % 16) * 17));
  return img;
}

struct TCase {
  const char* Name;
  std::function<uint64_t()> Run;
  uint64_t Expected;
};

uint64_t Plain(const TPicture& APic, int ACount, TKvPalette256* AFixed = nullptr, TKvPalette* AAllowed = nullptr) {
  auto img = APic();
  TKvQuantization q;
  TKvPalette256 res;
  q.Quantize(nullptr, *img, ACount, false, 0, res, AFixed, AAllowed);
  return HashOf(q, res);
}

TKvPalette256& MirroredAllowed() {
  static TKvPalette256* p = [] {
    auto* a = new TKvPalette256;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) a->AddStdRGB({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)});
    return a;
  }();
  return *p;
}

std::vector<TCase> Cases() {
  const TPicture photo = [] { return Photo(120, 90, 3, 10); };
  const TPicture smooth = [] { return Photo(96, 72, 17, 2); };
  return {
      {"photo 256", [=] { return Plain(photo, 256); }, 0xb3efb0c9a293ead4ull},
      {"photo 16", [=] { return Plain(photo, 16); }, 0xff47333c82e48d31ull},
      {"photo 2", [=] { return Plain(photo, 2); }, 0xa61ed9260f644f68ull},
      {"smooth 64", [=] { return Plain(smooth, 64); }, 0x0f1c03977a113d61ull},
      {"duplicates 4", [] { return Plain(Duplicates, 4); }, 0xb8698e595d90d0ccull},
      {"duplicates 6", [] { return Plain(Duplicates, 6); }, 0xa79c9504d7ddf472ull},
      {"mirrored 12", [] { return Plain(Mirrored, 12); }, 0x8d267879c93930dfull},
      {"mirrored allowed 12", [] { return Plain(Mirrored, 12, nullptr, &MirroredAllowed()); }, 0xe145c8864e4f5b90ull},
      {"mirrored allowed 40", [] { return Plain(Mirrored, 40, nullptr, &MirroredAllowed()); }, 0xd8284e529936d098ull},
      {"lattice 16", [] { return Plain(Lattice, 16); }, 0x6026fc71b66c5a12ull},
      {"lattice 256", [] { return Plain(Lattice, 256); }, 0x8b71a96485df2354ull},
      {"photo fixed 16",
       [=] {
         TKvPalette256 f;
         f.AddStdRGB({0, 0, 0});
         f.AddStdRGB({255, 255, 255});
         f.AddStdRGB({128, 128, 128});
         return Plain(photo, 16, &f);
       },
       0x6aee865f17857002ull},
      {"photo bounded 6",
       [=] {
         auto img = Photo(40, 30, 3, 10);
         TKvQuantization q;
         TKvPalette256 res, f;
         q.QuantizeBounded(nullptr, *img, 6, 30, false, 0, res, &f, nullptr);
         return HashOf(q, res);
       },
       0x19425a81717bed26ull},
      {"mirrored bounded 5",
       [] {
         auto img = Mirrored();
         TKvQuantization q;
         TKvPalette256 res, f;
         q.QuantizeBounded(nullptr, *img, 5, 100, false, 0, res, &f, &MirroredAllowed());
         return HashOf(q, res);
       },
       0x8e82f80398cada05ull},
  };
}

}  // namespace

TEST(KvKMeansPin, SameResultsAsTheFullSearchWithOneAndSeveralWorkers) {
  const std::vector<TCase> cases = Cases();
  std::string table;
  for (const TCase& c : cases)
    for (int procs : {1, 3, 8}) {
      TKvProcessorCountOverride o(procs);
      const uint64_t got = c.Run();
      if (procs == 1) {
        char line[128];
        std::snprintf(line, sizeof line, "%s: 0x%016llxull\n", c.Name, static_cast<unsigned long long>(got));
        table += line;
      }
      EXPECT_EQ(got, c.Expected) << c.Name << " with " << procs << " processors";
    }
  if (HasFailure()) std::printf("%s", table.c_str());
}
