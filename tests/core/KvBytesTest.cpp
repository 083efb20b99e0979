#include "core/KvBytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

const std::vector<uint8_t> kEight = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

// The code and message a raise leaves, "" when nothing is raised.
template <class TWork>
std::pair<uint32_t, std::string> Raised(TWork AWork) {
  try {
    AWork();
  } catch (const EOSError& e) {
    return {e.ErrorCode, e.Message()};
  }
  return {0, ""};
}

TEST(KvBytes, HasNeverWrapsAround) {
  const TKvBytes b(kEight);
  struct {
    int64_t Offset, Count;
    bool Inside;
  } cases[] = {
      {0, 0, true},        {0, 8, true},         {8, 0, true},   {7, 1, true},     {8, 1, false},
      {0, 9, false},       {-1, 1, false},       {1, -1, false}, {kMax, 1, false}, {1, kMax, false},
      {kMax, kMax, false}, {4, kMax - 3, false}, {9, 0, false},
  };
  for (const auto& c : cases) EXPECT_EQ(b.Has(c.Offset, c.Count), c.Inside) << c.Offset << " " << c.Count;
  EXPECT_TRUE(TKvBytes().Has(0, 0));
  EXPECT_FALSE(TKvBytes().Has(0, 1));
  // A null pointer or a negative size is an empty view.
  EXPECT_EQ(TKvBytes(nullptr, 8).Size(), 0);
  EXPECT_EQ(TKvBytes(kEight.data(), -8).Size(), 0);
}

TEST(KvBytes, ReadsBothByteOrders) {
  const TKvBytes b(kEight);
  EXPECT_EQ(b.U8(7), 0x08);
  EXPECT_EQ(b.Le16(1), 0x0302);
  EXPECT_EQ(b.Be16(1), 0x0203);
  EXPECT_EQ(b.Le24(5), 0x080706u);
  EXPECT_EQ(b.Le32(4), 0x08070605u);
  EXPECT_EQ(b.Be32(4), 0x05060708u);
  uint8_t two[2] = {};
  b.Read(6, two, 2);
  EXPECT_EQ(two[0], 7);
  EXPECT_EQ(two[1], 8);
  EXPECT_TRUE(b.Same(2, "\x03\x04", 2));
  EXPECT_FALSE(b.Same(7, "\x08\x09", 2));
}

TEST(KvBytes, ReadsOutsideRaiseTheTruncatedDataError) {
  const TKvBytes b(kEight);
  const auto truncated = Raised([] { RaiseOSError(87); });
  uint8_t buffer[4];
  const std::function<void()> reads[] = {
      [&] { b.U8(8); },          [&] { b.U8(-1); },  [&] { b.Le16(7); },  [&] { b.Be16(kMax); },
      [&] { b.Le32(5); },        [&] { b.Le24(6); }, [&] { b.Be32(-4); }, [&] { b.Read(6, buffer, 4); },
      [&] { TKvBytes().U8(0); },
  };
  for (size_t i = 0; i < std::size(reads); ++i) EXPECT_EQ(Raised(reads[i]), truncated) << i;
}

TEST(KvBytes, RowAndSubGiveOnlyWhatLiesInside) {
  const TKvBytes b(kEight);
  struct {
    int64_t Offset, Count;
    int64_t Size;   // of what is given
    uint8_t First;  // its first byte when not empty
  } cases[] = {
      {0, 8, 8, 1},  {2, 3, 3, 3},    {6, 5, 2, 7}, {6, kMax, 2, 7}, {8, 1, 0, 0},
      {-1, 4, 0, 0}, {kMax, 2, 0, 0}, {3, 0, 0, 0}, {3, -2, 0, 0},
  };
  for (const auto& c : cases) {
    const auto row = b.Row(c.Offset, c.Count);
    const TKvBytes sub = b.Sub(c.Offset, c.Count);
    EXPECT_EQ(static_cast<int64_t>(row.size()), c.Size) << c.Offset << " " << c.Count;
    EXPECT_EQ(sub.Size(), c.Size) << c.Offset << " " << c.Count;
    if (c.Size == 0) continue;
    EXPECT_EQ(row[0], c.First);
    EXPECT_EQ(sub.U8(0), c.First);
  }
  // A window reads its own offsets and nothing beyond its end.
  const TKvBytes w = b.Sub(2, 3);
  EXPECT_EQ(w.Le16(1), 0x0504);
  EXPECT_FALSE(w.Has(2, 2));
  EXPECT_EQ(b.Sub(5).Size(), 3);
}

TEST(KvBytes, NamedErrorsKeepThePinnedCodesAndTexts) {
  struct {
    void (*Raise)();
    uint32_t Code;
  } cases[] = {
      {RaiseTruncatedData, 87}, {RaiseBadHeader, 87},         {RaiseSizeOutOfRange, 87},     {RaiseScreenMismatch, 86},
      {RaiseCorruptData, 13},   {RaiseUnsupportedOption, 87}, {RaiseUnsupportedPalette, 86},
  };
  for (const auto& c : cases) {
    const auto got = Raised(c.Raise);
    EXPECT_EQ(got.first, c.Code);
    EXPECT_EQ(got.second, OSErrorMessage(c.Code));
    EXPECT_EQ(got, Raised([&] { RaiseOSError(c.Code); }));
  }
}

}  // namespace
