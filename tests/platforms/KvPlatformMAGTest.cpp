#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/KvPalette.h"
#include "platforms/KvPlatformMAG.h"

namespace {

uint32_t LongAt(const std::vector<uint8_t>& AFile, size_t AOffset) {
  return AFile[AOffset] | AFile[AOffset + 1] << 8 | AFile[AOffset + 2] << 16 | uint32_t(AFile[AOffset + 3]) << 24;
}

struct TMagParts {
  std::vector<uint8_t> File;
  size_t Header = 0;  // offset of the header block
  std::vector<uint8_t> FlagA, FlagB, Pixels, Palette;
};

TMagParts Encode(const std::vector<uint16_t>& AUnits, int AUnitsPerRow, int AHeight, const std::string& AComment = "",
                 const TKvPalette256* APalette = nullptr, int APaletteCount = 0) {
  TMemoryStream s;
  EncodeMag(MagMachineName("MSX2"), 3, 0x10, 0x80, AUnits.data(), AUnitsPerRow * 2, AUnitsPerRow, AHeight, APalette,
            APaletteCount, AComment, s);
  TMagParts p;
  p.File.assign(s.GetMemory(), s.GetMemory() + s.GetSize());
  const TKvBytes h = FindMagHeader(TKvBytes(p.File));
  EXPECT_FALSE(h.Empty());
  if (h.Empty()) return p;
  p.Header = static_cast<size_t>(h.Data() - p.File.data());
  auto area = [&](const TKvBytes& a) {
    const auto r = a.Row(0, a.Size());
    return std::vector<uint8_t>(r.begin(), r.end());
  };
  p.Palette = area(GetMagPaletteArea(h));
  p.FlagA = area(GetMagFlagAArea(h));
  p.FlagB = area(GetMagFlagBArea(h));
  p.Pixels = area(GetMagPixelArea(h));
  return p;
}

TEST(KvPlatformMAG, FlatPictureFlags) {
  // 4 units per row, 3 rows, every unit the same.
  const std::vector<uint16_t> units(12, 0xA55A);
  const TMagParts p = Encode(units, 4, 3);
  // Row 0: the first unit literal, then flag 1 everywhere (pairs 0x01, 0x11);
  // row 1: flags 4 and 1 in its first pair (xor 0x01 gives 0x40), the rest
  // repeat; row 2 repeats the whole line.
  EXPECT_EQ(p.FlagB, (std::vector<uint8_t>{0x01, 0x11, 0x40}));
  EXPECT_EQ(p.FlagA, (std::vector<uint8_t>{0xE0}));  // bits 1 1 | 1 0 | 0 0
  EXPECT_EQ(p.Pixels, (std::vector<uint8_t>{0x5A, 0xA5}));
  const uint8_t* h = p.File.data() + p.Header;
  EXPECT_EQ(h[1], 3);
  EXPECT_EQ(h[2], 0x10);
  EXPECT_EQ(h[3], 0x80);
  EXPECT_EQ(h[8] | h[9] << 8, 7);    // x end: width - 1
  EXPECT_EQ(h[10] | h[11] << 8, 2);  // y end
  EXPECT_EQ(LongAt(p.File, p.Header + 12), 32u);
  EXPECT_EQ(LongAt(p.File, p.Header + 20), 3u);  // flag B size
  EXPECT_EQ(LongAt(p.File, p.Header + 28), 2u);  // pixel size
  EXPECT_TRUE(CheckMagFile(TKvBytes(p.File)));
}

TEST(KvPlatformMAG, PictureWithoutRepeats) {
  std::vector<uint16_t> units(8 * 9);
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<uint16_t>(i * 7919 + 1);
  const TMagParts p = Encode(units, 8, 9);
  EXPECT_EQ(p.FlagA, std::vector<uint8_t>(5, 0));  // 36 pairs: 5 bytes of 0 bits
  EXPECT_EQ(p.FlagB, std::vector<uint8_t>{0});
  ASSERT_EQ(p.Pixels.size(), units.size() * 2);
  EXPECT_EQ(std::memcmp(p.Pixels.data(), units.data(), p.Pixels.size()), 0);
}

TEST(KvPlatformMAG, CommentAndPalette) {
  const std::vector<uint16_t> units(4, 0);
  // Short comments are padded to 19 bytes; 25 ASCII characters are not.
  struct Case {
    std::string Comment, Bytes;
  } cases[] = {
      {"  ab ", "ab" + std::string(17, ' ')},
      {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrstuvwxy"},
      {"\xE3\x81\x82", "\x82\xA0" + std::string(17, ' ')},  // U+3042
      {"a\xF0\x9F\x98\x80z", "a?z" + std::string(16, ' ')},  // not in the code page
  };
  for (const Case& c : cases) {
    const TMagParts p = Encode(units, 2, 2, c.Comment);
    ASSERT_GT(p.File.size(), 13 + c.Bytes.size());
    EXPECT_EQ(std::string(p.File.begin(), p.File.begin() + 12), "MAKI02  MSX2");
    EXPECT_EQ(std::string(p.File.begin() + 12, p.File.begin() + 12 + static_cast<long>(c.Bytes.size())), c.Bytes);
    EXPECT_EQ(p.File[12 + c.Bytes.size()], 0x1A);
    EXPECT_EQ(p.Header, 13 + c.Bytes.size());
    EXPECT_EQ(ReadMagComment(TKvBytes(p.File)), c.Comment == "  ab "                          ? "ab"
                                                : c.Comment.find('\xF0') != std::string::npos ? "a?z"
                                                                                              : c.Comment);
  }
  // Entries beyond the palette's count are black; G, R, B order.
  TKvPalette256 pal;
  pal.AddRGB(10, 20, 30);
  const TMagParts p = Encode(units, 2, 2, "", &pal, 3);
  EXPECT_EQ(p.Palette, (std::vector<uint8_t>{20, 10, 30, 0, 0, 0, 0, 0, 0}));
}

TEST(KvPlatformMAG, HeaderChecks) {
  const std::vector<uint16_t> units(4, 0x1234);
  const TMagParts good = Encode(units, 2, 2);
  const auto size = static_cast<int64_t>(good.File.size());
  EXPECT_TRUE(CheckMagFile(TKvBytes(good.File.data(), size)));
  EXPECT_FALSE(CheckMagFile(TKvBytes(good.File.data(), 46)));
  auto with = [&](size_t AOffset, uint8_t AValue) {
    std::vector<uint8_t> f = good.File;
    f[good.Header + AOffset] = AValue;
    return CheckMagFile(TKvBytes(f.data(), size));
  };
  EXPECT_FALSE(with(3, 0x82));      // screen mode
  EXPECT_TRUE(with(3, 0x85));
  EXPECT_FALSE(with(2, 0x70));      // MSX machine flag 7
  EXPECT_TRUE(with(2, 0x60));
  EXPECT_FALSE(with(12, 0x10));     // flag A offset below 32
  EXPECT_FALSE(with(27, 0x7F));     // pixel offset beyond the data
  EXPECT_FALSE(with(0, 1));
  std::vector<uint8_t> sig = good.File;
  sig[6] = '1';
  EXPECT_FALSE(CheckMagFile(TKvBytes(sig.data(), size)));
  // No 0x1A, or no header start after it.
  std::vector<uint8_t> noEnd(60, ' ');
  std::memcpy(noEnd.data(), "MAKI02  MSX2", 12);
  EXPECT_FALSE(CheckMagFile(TKvBytes(noEnd.data(), 60)));
  noEnd[30] = 0x1A;
  EXPECT_FALSE(CheckMagFile(TKvBytes(noEnd.data(), 60)));

  // The flag B area comes from the offsets, whatever the size field says.
  std::vector<uint8_t> f = good.File;
  f[good.Header + 20] = 0x77;
  EXPECT_EQ(GetMagFlagBArea(TKvBytes(f).Sub(static_cast<int64_t>(good.Header))).Size(),
            static_cast<int64_t>(good.FlagB.size()));
}

}  // namespace
