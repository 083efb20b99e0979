#include "rtl/KvLargeBlocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

struct TBlock {
  unsigned char* P;
  size_t Size;
  unsigned char Tag;
};

// Every byte of the block still holds its tag.
bool Intact(const TBlock& ABlock) {
  for (size_t i = 0; i < ABlock.Size; ++i)
    if (ABlock.P[i] != ABlock.Tag) return false;
  return true;
}

TBlock Make(size_t ASize, unsigned char ATag) {
  auto* p = static_cast<unsigned char*>(KvAllocLarge(ASize));
  if (p) std::memset(p, ATag, ASize);
  return {p, ASize, ATag};
}

}  // namespace

// Small, threshold-sized, region-sized and larger-than-a-region blocks live
// side by side without overlapping, freed in a mixed order, and the space
// they leave is handed out again intact.
TEST(LargeBlocks, BlocksOfEverySizeKeepTheirBytes) {
  const size_t sizes[] = {0,
                          1,
                          100,
                          KvLargeBlockMin - 1,
                          KvLargeBlockMin,
                          KvLargeBlockMin + 1,
                          size_t{1} << 20,
                          (size_t{3} << 20) + 5,
                          size_t{40} << 20,
                          300000};
  for (int round = 0; round < 2; ++round) {
    std::vector<TBlock> blocks;
    for (size_t i = 0; i < std::size(sizes); ++i) {
      blocks.push_back(Make(sizes[i], static_cast<unsigned char>(0x11 * (i + 1) + round)));
      ASSERT_NE(blocks.back().P, nullptr) << sizes[i];
      EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks.back().P) % 64, 0u) << sizes[i];
    }
    // Free every other block, fill the holes with blocks of other sizes.
    for (size_t i = 0; i < blocks.size(); i += 2) KvFreeLarge(blocks[i].P);
    for (size_t i = 0; i < blocks.size(); i += 2) blocks[i] = Make(sizes[blocks.size() - 1 - i], 0xEE);
    for (const TBlock& b : blocks) {
      EXPECT_TRUE(Intact(b)) << b.Size;
      KvFreeLarge(b.P);
    }
  }
  KvFreeLarge(nullptr);
}

TEST(LargeBlocks, ThreadsAllocateAndFreeAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> faults(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &faults] {
      std::mt19937 random(static_cast<unsigned>(t));
      std::uniform_int_distribution<size_t> size(1000, size_t{600} << 10);
      std::vector<TBlock> live;
      for (int i = 0; i < 300; ++i) {
        if (live.size() > 6 || (!live.empty() && random() % 3 == 0)) {
          const size_t k = random() % live.size();
          if (!Intact(live[k])) ++faults[size_t(t)];
          KvFreeLarge(live[k].P);
          live.erase(live.begin() + static_cast<ptrdiff_t>(k));
        }
        live.push_back(Make(size(random), static_cast<unsigned char>(i)));
        if (!live.back().P) ++faults[size_t(t)];
      }
      for (const TBlock& b : live) {
        if (!Intact(b)) ++faults[size_t(t)];
        KvFreeLarge(b.P);
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(faults, std::vector<int>(4, 0));
}

// Vectors on the allocators: the large one value-initialises (also in reused
// space), both pass on given values.
TEST(LargeBlocks, AllocatorsFillAsVectorsPromise) {
  KvFreeLarge(Make(800000, 0xFF).P);
  std::vector<double, TKvLargeAllocator<double>> zeroed(100000);
  for (double v : zeroed) ASSERT_EQ(v, 0.0);
  std::vector<uint32_t, TKvUninitAllocator<uint32_t>> given(100000, 7u);
  for (uint32_t v : given) ASSERT_EQ(v, 7u);
  given.resize(300000);
  given.push_back(9);
  EXPECT_EQ(given[99999], 7u);
  EXPECT_EQ(given.back(), 9u);
}
