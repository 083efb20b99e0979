// The G9B and MAG importers: the block code and the flag code read back,
// pictures written by the V9990 converters and by the MAG encoder opened
// again, the probe's ranking, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformMAG.h"
#include "importers/KvOpenPlatformMSX.h"
#include "platforms/KvPlatformMAG.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvSavePlatformMSX.h"

namespace {

// Bytes and bits of a packed block, in the order the decoder reads them.
struct TPacked {
  std::vector<uint8_t> Out;
  int BitByte = -1;
  uint8_t Mask = 0;
  void Bit(int ABit) {
    if (BitByte < 0) {
      BitByte = static_cast<int>(Out.size());
      Out.push_back(0);
      Mask = 0x80;
    }
    if (ABit) Out[static_cast<size_t>(BitByte)] |= Mask;
    Mask >>= 1;
    if (!Mask) BitByte = -1;
  }
  void Bits(std::initializer_list<int> ABits) {
    for (int b : ABits) Bit(b);
  }
  void Byte(uint8_t AValue) { Out.push_back(AValue); }
  void Literal(uint8_t AValue) {
    Bit(0);
    Byte(AValue);
  }
  // A match of ALength bytes at ADistance <= 128.
  void Match(int ALength, int ADistance) {
    Bit(1);
    const int v = ALength - 1;
    int h = 31;
    while (!((v >> h) & 1)) --h;
    for (int c = h - 1; c >= 0; --c) Bits({1, (v >> c) & 1});
    Bit(0);
    Byte(static_cast<uint8_t>(ADistance - 1));
  }
  void End() {
    for (int i = 0; i < 33; ++i) Bit(1);
    while (BitByte >= 0) Bit(1);
  }
};

std::vector<uint8_t> UnpackOne(const std::vector<uint8_t>& ABlock, size_t AOutput, bool* AOk = nullptr) {
  std::vector<uint8_t> out(AOutput, 0xEE);
  int64_t pos = 0, used = 0;
  const bool ok = TKvG9BEngine::UnpackBlock(TKvBytes(ABlock), out.data(), static_cast<int64_t>(out.size()), pos, used);
  if (AOk) *AOk = ok;
  out.resize(static_cast<size_t>(pos));
  return out;
}

TEST(KvG9BImporter, BlockCode) {
  // 41, bits 1 0 and the byte 00: two bytes from distance 1.
  TPacked a;
  a.Literal(0x41);
  a.Bits({1, 0});
  a.Byte(0x00);
  a.End();
  bool ok = false;
  EXPECT_EQ(UnpackOne(a.Out, 16, &ok), (std::vector<uint8_t>{0x41, 0x41, 0x41}));
  EXPECT_TRUE(ok);
  // The length code of 4 (a length of 5) is 1 0 1 0 0.
  TPacked b;
  b.Literal(0x41);
  b.Bits({1, 1, 0, 1, 0, 0});
  b.Byte(0x00);
  b.End();
  EXPECT_EQ(UnpackOne(b.Out, 16), std::vector<uint8_t>(6, 0x41));
  // The distance byte 80 with the bits 1 0 0 0 reaches 1025 bytes back:
  // B, then 1024 times A, then B A again.
  TPacked c;
  c.Literal('B');
  c.Literal('A');
  c.Match(1023, 1);
  c.Bits({1, 1, 0, 0});  // a length of 3
  c.Byte(0x80);
  c.Bits({1, 0, 0, 0});
  c.End();
  const std::vector<uint8_t> out = UnpackOne(c.Out, 2000, &ok);
  ASSERT_EQ(out.size(), 1028u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(std::vector<uint8_t>(out.end() - 4, out.end()), (std::vector<uint8_t>{'A', 'B', 'A', 'A'}));
  // A distance before the block's start, input cut short, output full.
  TPacked d;
  d.Literal(1);
  d.Match(2, 2);
  d.End();
  EXPECT_EQ(UnpackOne(d.Out, 16, &ok), std::vector<uint8_t>{1});
  EXPECT_FALSE(ok);
  std::vector<uint8_t> cut(a.Out.begin(), a.Out.begin() + 3);
  EXPECT_EQ(UnpackOne(cut, 16, &ok).size(), 3u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(UnpackOne(a.Out, 2, &ok).size(), 2u);
  EXPECT_FALSE(ok);
  // The encoder's blocks read back, matches at offsets 129 and 2048 included.
  std::vector<uint8_t> src;
  for (int i = 0; i < 5000; ++i) src.push_back(static_cast<uint8_t>((i * 7) % 129 + (i / 2048) * 3));
  std::vector<uint8_t> packed(2 * src.size());
  packed.resize(static_cast<size_t>(
      CompressG9bBlock(src.data(), static_cast<int>(src.size()), packed.data(), static_cast<int>(packed.size()))));
  EXPECT_EQ(UnpackOne(packed, src.size(), &ok), src);
}

// A G9B file of the given mode around AData, compressed when APack.
std::vector<uint8_t> G9bFile(int ADepth, int AType, int AWidth, int AHeight, const std::vector<uint8_t>& AData,
                             bool APack, const std::vector<uint8_t>& APalette = {}) {
  std::vector<uint8_t> f(G9bHeaderSize);
  f[0] = 'G';
  f[1] = '9';
  f[2] = 'B';
  f[3] = 11;
  f[5] = static_cast<uint8_t>(ADepth);
  f[6] = static_cast<uint8_t>(AType);
  f[7] = static_cast<uint8_t>(APalette.size() / 3);
  f[8] = static_cast<uint8_t>(AWidth);
  f[9] = static_cast<uint8_t>(AWidth >> 8);
  f[10] = static_cast<uint8_t>(AHeight);
  f[11] = static_cast<uint8_t>(AHeight >> 8);
  for (uint8_t v : APalette) f.push_back(v);
  if (APack) {
    std::vector<uint8_t> p(2 * AData.size() + 64);
    p.resize(static_cast<size_t>(
        CompressG9bData(AData.data(), static_cast<int>(AData.size()), p.data(), static_cast<int>(p.size()))));
    f[12] = 1;
    f.insert(f.end(), p.begin(), p.end());
  } else {
    f.insert(f.end(), AData.begin(), AData.end());
  }
  return f;
}

std::unique_ptr<TKvBitmap> Open(const std::vector<uint8_t>& AFile, const std::string& AName = "x.g9b") {
  TKvMemoryLoadSource source(AName, AFile.data(), static_cast<int32_t>(AFile.size()), false);
  EXPECT_NE(TKvG9BEngine::Match(source), 0);
  TKvG9BEngine e(source);
  return e.Decode();
}

TEST(KvG9BImporter, Modes) {
  // BP4 of width 5: rows of 3 bytes, the third byte's low nibble unused.
  const std::vector<uint8_t> bp4 = {0x12, 0x34, 0x5F, 0x67, 0x89, 0xAF};
  auto b = Open(G9bFile(4, 0, 5, 2, bp4, false, std::vector<uint8_t>(48, 31)));
  EXPECT_EQ(b->Width, 5);
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(b->GetPixel(x, 0), x + 1);
    EXPECT_EQ(b->GetPixel(x, 1), x + 6);
  }
  // A BP2 palette of two entries stays two entries.
  auto b2 = Open(G9bFile(2, 0, 4, 1, {0x1B}, false, {31, 0, 0, 0, 31, 0}));
  EXPECT_EQ(b2->Palette->GetCount(), 2);
  EXPECT_EQ(b2->Palette->GetStdRGB(0), StdRGBColor(255, 0, 0));
  EXPECT_EQ(b2->GetPixel(3, 0), 3);
  // BD16 words: bits 10-14 green, 5-9 red, 0-4 blue.
  auto d = Open(G9bFile(16, 0, 3, 1, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}, false));
  EXPECT_EQ(d->GetPixel(0, 0) & 0xFFFFFF, 0x00FF00);
  EXPECT_EQ(d->GetPixel(1, 0) & 0xFFFFFF, 0xFF0000);
  EXPECT_EQ(d->GetPixel(2, 0) & 0xFFFFFF, 0x0000FF);
  // A count byte of 0 leaves the picture at 0.
  std::vector<uint8_t> empty = G9bFile(8, 64, 4, 2, std::vector<uint8_t>(8, 5), true);
  empty[G9bHeaderSize] = 0;
  auto z = Open(empty);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(z->GetPixel(x, 1), 0);
}

TEST(KvG9BImporter, YJKRowsOfWholeGroups) {
  // Width 6: rows of 8 bytes. The compressed picture opens whole, its last
  // row included, and as the raw one does.
  std::vector<uint8_t> data(24);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x40 + i * 9);
  for (int type : {128, 192}) {
    auto raw = Open(G9bFile(8, type, 6, 3, data, false));
    auto packed = Open(G9bFile(8, type, 6, 3, data, true));
    int nonBlack = 0;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(packed->GetPixel(x, y), raw->GetPixel(x, y)) << type << " " << x << "," << y;
        if (y == 2 && (raw->GetPixel(x, y) & 0xFFFFFF) != 0) ++nonBlack;
      }
    EXPECT_GT(nonBlack, 0);
  }
}

TEST(KvG9BImporter, DamagedPackedData) {
  std::vector<uint8_t> data(40000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 253 ^ i / 253);
  const std::vector<uint8_t> good = G9bFile(8, 64, 200, 200, data, true);
  const std::vector<uint8_t> ref = [&] {
    auto b = Open(good);
    std::vector<uint8_t> v;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) v.push_back(static_cast<uint8_t>(b->GetPixel(x, y)));
    return v;
  }();
  EXPECT_EQ(ref, data);
  // Cut anywhere, or with a block's distance reaching before its start: a
  // prefix of the picture, the rest 0.
  for (size_t cut : {size_t(17), size_t(20), good.size() / 2, good.size() - 1}) {
    std::vector<uint8_t> f(good.begin(), good.begin() + static_cast<long>(cut));
    auto b = Open(f);
    for (int y = 0; y < 200; y += 7)
      for (int x = 0; x < 200; x += 3) {
        const int v = b->GetPixel(x, y);
        EXPECT_TRUE(v == 0 || v == ref[static_cast<size_t>(y * 200 + x)]) << cut;
      }
  }
  // The second block's first match reaches back 2048 bytes, into the first
  // block: it fails, and the third block is not unpacked.
  std::vector<uint8_t> three(48000);
  for (size_t i = 0; i < three.size(); ++i) three[i] = static_cast<uint8_t>(i % 251);
  std::vector<uint8_t> f = G9bFile(8, 64, 240, 200, three, true);
  TPacked bad;
  bad.Bit(1);
  bad.Bit(0);
  bad.Byte(0x10);
  bad.End();
  // Rebuild: block 1 as written, block 2 replaced, block 3 as written.
  const size_t b1 = 17 + 2 + (f[17] | f[18] << 8);
  const size_t b2 = b1 + 2 + (f[b1] | f[b1 + 1] << 8);
  std::vector<uint8_t> g(f.begin(), f.begin() + static_cast<long>(b1));
  g.push_back(static_cast<uint8_t>(bad.Out.size()));
  g.push_back(0);
  g.insert(g.end(), bad.Out.begin(), bad.Out.end());
  g.insert(g.end(), f.begin() + static_cast<long>(b2), f.end());
  auto b = Open(g);
  EXPECT_EQ(b->GetPixel(100, 10), three[10 * 240 + 100]);  // block 1
  EXPECT_EQ(b->GetPixel(0, 70), 0);                          // block 2
  EXPECT_EQ(b->GetPixel(100, 150), 0);                       // block 3
}

// ---------------------------------------------------------------------------
// Converters' files read back

void ExpectRoundTrip(const TKvConversion& AConversion, const std::string& AWhere, int ACompression) {
  SCOPED_TRACE(AWhere);
  ASSERT_TRUE(AConversion.Streams);
  ASSERT_EQ(AConversion.Streams->GetCount(), 1);
  std::vector<uint8_t> bytes(AConversion.Bytes(0), AConversion.Bytes(0) + AConversion.Size(0));
  if (ACompression >= 0) {
    EXPECT_EQ(bytes[12], ACompression);
  }
  TKvProbe probe("x.g9b", bytes);
  ASSERT_GT(probe.List->GetCount(), 0);
  TKvSourceEngine* e = probe.List->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), "TKvG9BEngine");
  EXPECT_EQ(e->MatchFlags, mfHeader | mfExtension);
  auto decoded = e->Decode();
  TKvBitmap& preview = *AConversion.Preview;
  ASSERT_EQ(decoded->Width, preview.Width);
  ASSERT_EQ(decoded->Height, preview.Height);
  EXPECT_EQ(CountColorDiffs(*decoded, preview), 0);
  if (bytes[5] == 8 && bytes[6] == 64) {
    // BD8 never stores code 0.
    for (int y = 0; y < decoded->Height; ++y)
      for (int x = 0; x < decoded->Width; ++x) ASSERT_NE(decoded->GetPixel(x, y), 0);
  }
}

std::unique_ptr<TBitmap32> Noise(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = 11;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      *b->GetPixelPtr(x, y) = 0xFF000000u | (s >> 8);
    }
  return b;
}

void RoundTripMode(int i) {
  // Odd sizes that each mode's width rule allows.
  const int odd[7] = {12, 10, 13, 13, 12, 12, 13};
  {
    const TKvDestEngineClass& c = *V9990DestEngineClasses()[static_cast<size_t>(i)];
    const std::string mode = c.GetModeName();
    // A flat picture packs into blocks; noise stays raw.
    // White, and black for the YJK modes, whose search on white is slow.
    auto r = ConvertPicture(c, *SolidPicture(256, 212, i == 4 || i == 5 ? 0 : 0xFFFFFF));
    ExpectRoundTrip(r, mode + " flat 256x212", 1);
    for (auto [w, h] : {std::pair{8, 8}, std::pair{odd[i], 7}, std::pair{64, 20}}) {
      auto n = ConvertPicture(c, *Noise(w, h), [](TKvDestEngineOptions& o) { o.SetDitherMethod(0); });
      // Noise reduced to a few colours may still pack a little.
      ExpectRoundTrip(n, mode + " noise " + std::to_string(w) + "x" + std::to_string(h), i < 3 ? -1 : 0);
    }
    // The gradient in the mode's other palette modes.
    for (TKvPaletteMode pm : {pmBlackWhite, pmGray}) {
      if (i >= 4 && i <= 5) break;
      if (i == 6 && pm == pmBlackWhite) continue;
      auto g = ConvertPicture(c, *GradientPicture(24, 9, 5), [&](TKvDestEngineOptions& o) { o.SetPaletteMode(pm); });
      ASSERT_TRUE(g.Streams);
      ExpectRoundTrip(g, mode + " palette mode " + std::to_string(pm), -1);
    }
  }
}

TEST(KvV9990RoundTrip, BP2) { RoundTripMode(0); }
TEST(KvV9990RoundTrip, BP4) { RoundTripMode(1); }
TEST(KvV9990RoundTrip, BP6) { RoundTripMode(2); }
TEST(KvV9990RoundTrip, BD8) { RoundTripMode(3); }
TEST(KvV9990RoundTrip, BYJK) { RoundTripMode(4); }
TEST(KvV9990RoundTrip, BYUV) { RoundTripMode(5); }
TEST(KvV9990RoundTrip, BD16) { RoundTripMode(6); }

TEST(KvV9990RoundTrip, BD16OfMoreThan255Blocks) {
  // 1430 x 1430 x 2 bytes: 256 blocks, stored raw although flat.
  TKvBP16Screen screen(1430, 1430);
  for (int y = 0; y < 1430; y += 3) screen.SetPixel(y, y, 0x7C00);
  std::unique_ptr<TKvStreamList> streams;
  TKvBaseBPEngine::WriteG9b(streams, 16, 0, screen, nullptr, nullptr);
  ASSERT_TRUE(streams);
  const uint8_t* f = streams->GetStream(0)->GetMemory();
  std::vector<uint8_t> bytes(f, f + streams->GetStream(0)->GetSize());
  EXPECT_EQ(bytes[12], 0);
  EXPECT_EQ(bytes.size(), 16u + 2u * 1430 * 1430);
  TKvProbe probe("x.g9b", bytes);
  ASSERT_EQ(probe.Position("TKvG9BEngine"), 0);
  auto b = probe.List->GetEngine(0)->Decode();
  EXPECT_EQ(b->GetPixel(1428, 1428) & 0xFFFFFF, 0x00FF00);
  EXPECT_EQ(b->GetPixel(1429, 1428) & 0xFFFFFF, 0);
}

// ---------------------------------------------------------------------------
// MAG

std::vector<uint8_t> MagFile(const char (&AName)[5], uint8_t AMachine, uint8_t AFlag, uint8_t AMode,
                             const std::vector<uint8_t>& ARows, int ARowBytes, int AWidth, const TKvPalette256* APalette,
                             int APaletteCount, const std::string& AComment = "") {
  TMemoryStream s;
  EncodeMag(MagMachineName(AName), AMachine, AFlag, AMode, ARows.data(), AWidth, ARowBytes / 2,
            static_cast<int>(ARows.size()) / ARowBytes, APalette, APaletteCount, AComment, s);
  return std::vector<uint8_t>(s.GetMemory(), s.GetMemory() + s.GetSize());
}

TEST(KvMAGImporter, EncodedBuffersReadBack) {
  struct Case {
    const char* Name;
    uint8_t Machine, Flag, Mode;
    int Bits, PixelsPerByte, WidthUnitsPerByte;
  } cases[] = {
      {"8-bit", 0, 0, 0x80, 8, 1, 1},
      {"4-bit", 0, 0, 0x00, 4, 2, 2},
      {"2-bit", 3, 0x64, 0x00, 2, 4, 2},  // SCREEN 6: the x range counts 4-bit pixels
  };
  for (const Case& c : cases)
    for (bool flat : {true, false}) {
      SCOPED_TRACE(std::string(c.Name) + (flat ? " flat" : " no repeats"));
      const int rowBytes = 16, height = 9;
      std::vector<uint8_t> rows(static_cast<size_t>(rowBytes * height), 0x5A);
      if (!flat)
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 37 + i / 7);
      if (c.Bits == 4 && !flat)
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 5 ^ i >> 4);
      TKvPalette256 pal;
      const int count = 1 << c.Bits;
      for (int i = 0; i < count; ++i) pal.AddRGB(uint8_t(i * 17), uint8_t(255 - i), uint8_t(i * 3));
      const auto file = MagFile("TEST", c.Machine, c.Flag, c.Mode, rows, rowBytes, rowBytes * c.WidthUnitsPerByte,
                                &pal, count, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
      TKvProbe probe("x.mag", file);
      ASSERT_GT(probe.List->GetCount(), 0);
      TKvSourceEngine* e = probe.List->GetEngine(0);
      ASSERT_EQ(e->ClassType().GetClassName(), "TKvMAGv2Engine");
      EXPECT_EQ(e->MatchFlags, mfHeader | mfExtension);
      EXPECT_EQ(e->Comment, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
      EXPECT_EQ(e->Bits, c.Bits);
      ASSERT_EQ(e->Width, rowBytes * c.PixelsPerByte);
      ASSERT_EQ(e->Height, height);
      e->PaletteType = ptRGB888;
      auto b = e->Decode();
      ASSERT_EQ(b->Palette->GetCount(), count);
      for (int i = 0; i < count; ++i) EXPECT_EQ(b->Palette->GetStdRGB(i), pal.GetStdRGB(i)) << i;
      int diffs = 0;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < e->Width; ++x) {
          const uint8_t byte = rows[static_cast<size_t>(y * rowBytes + x / c.PixelsPerByte)];
          const int shift = 8 - c.Bits * (x % c.PixelsPerByte + 1);
          if (b->GetPixel(x, y) != ((byte >> shift) & (count - 1))) ++diffs;
        }
      EXPECT_EQ(diffs, 0);
    }
}

TEST(KvMAGImporter, MSXModes) {
  std::vector<uint8_t> rows(64 * 4, 0x11);
  struct Case {
    uint8_t Flag, Mode;
    const char* Description;
    int Width, Bits;
    uint8_t Aspect;
  } cases[] = {
      {0x00, 0x00, "MSX2 128x4x4 screen 7 interlaced image", 128, 4, 12},
      {0x04, 0x00, "MSX2 128x4x4 screen 7 image", 128, 4, 2},
      {0x14, 0x80, "MSX2 64x4x8 screen 8 image", 64, 8, 12},
      {0x44, 0x00, "MSX2+ 64x4x15 screen 12 image", 128, 15, 12},
      {0x44, 0x80, "MSX2+ 64x4x15 screen 12 image", 64, 15, 12},
      {0x24, 0x80, "MSX2+ 64x4x12 screen 10 image", 64, 12, 12},
      {0x54, 0x00, "MSX2 128x4x4 screen 5 image", 128, 4, 12},
  };
  for (const Case& c : cases) {
    const auto file = MagFile("MSX2", 3, c.Flag, c.Mode, rows, 64, c.Width, nullptr, 16);
    TKvMemoryLoadSource source("a.mag", file.data(), static_cast<int32_t>(file.size()), false);
    TKvMAGv2Engine e(source);
    EXPECT_EQ(e.Description, c.Description);
    EXPECT_EQ(e.PixelAspect, c.Aspect) << c.Description;
    auto b = e.Decode();
    EXPECT_EQ(b->Width, e.Width);
  }
}

TEST(KvMAGImporter, DamagedFiles) {
  std::vector<uint8_t> rows(64 * 40);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i % 61 < 30 ? 7 : i * 13);
  TKvPalette256 pal;
  const auto file = MagFile("TEST", 0, 0, 0x80, rows, 64, 64, &pal, 256);
  // Areas cut short: the file still opens and decodes, partly zero.
  TKvMemoryLoadSource whole("a.mag", file.data(), static_cast<int32_t>(file.size()), false);
  for (size_t cut = file.size() - 1; cut > 47; cut -= 97) {
    std::vector<uint8_t> f(file.begin(), file.begin() + static_cast<long>(cut));
    TKvMemoryLoadSource s("a.mag", f.data(), static_cast<int32_t>(f.size()), false);
    if (!TKvMAGv2Engine::Match(s)) continue;
    TKvMAGv2Engine e(s);
    auto b = e.Decode();
    EXPECT_EQ(b->Width, 64);
  }
  // A 4 GB picture asked for by a small file is not offered.
  std::vector<uint8_t> huge = file;
  const size_t at = static_cast<size_t>(FindMagHeader(TKvBytes(huge)).Data() - huge.data());
  for (size_t i : {at + 8, at + 9, at + 10, at + 11}) huge[i] = 0xFF;
  TKvProbe big("x.mag", huge);
  EXPECT_EQ(big.Flags("TKvMAGv2Engine"), 0);
  huge[at + 8] = 0x40;  // 8001 wide
  huge[at + 9] = 0x1F;
  huge[at + 10] = 0;
  huge[at + 11] = 0;
  TKvProbe wide("x.mag", huge);
  EXPECT_EQ(wide.Flags("TKvMAGv2Engine"), 0);
}

// ---------------------------------------------------------------------------
// Ranking

TEST(KvV9990MAGImport, Ranking) {
  TKvPalette256 pal;
  std::vector<uint8_t> rows(32 * 4, 3);
  const auto mag = MagFile("TEST", 0, 0, 0x80, rows, 32, 32, &pal, 256);
  const auto g9b = G9bFile(8, 64, 16, 4, std::vector<uint8_t>(64, 9), true);
  struct Case {
    std::string Name;
    std::vector<uint8_t> Bytes;
    const char* Class;
    TKvMatchFlags Flags;
  } cases[] = {
      {"x.g9b", g9b, "TKvG9BEngine", mfHeader | mfExtension},
      {"x.dat", g9b, "TKvG9BEngine", mfHeader},
      {"x.mag", mag, "TKvMAGv2Engine", mfHeader | mfExtension},
      {"x.dat", mag, "TKvMAGv2Engine", mfHeader},
  };
  for (const Case& c : cases) {
    TKvProbe probe(c.Name, c.Bytes);
    EXPECT_EQ(probe.Position(c.Class), 0) << c.Name;
    EXPECT_EQ(probe.Flags(c.Class), c.Flags) << c.Name;
    EXPECT_EQ(probe.Flags(c.Class == std::string("TKvG9BEngine") ? "TKvMAGv2Engine" : "TKvG9BEngine"), 0);
  }
  // Nothing for these.
  auto with = [](std::vector<uint8_t> f, size_t AOffset, uint8_t AValue) {
    f[AOffset] = AValue;
    return f;
  };
  const size_t h = static_cast<size_t>(FindMagHeader(TKvBytes(mag)).Data() - mag.data());
  const std::vector<uint8_t> g9bPal = G9bFile(4, 0, 4, 1, {1, 2}, false, std::vector<uint8_t>(48, 3));
  const std::vector<std::vector<uint8_t>> nothing = {
      std::vector<uint8_t>(mag.begin(), mag.begin() + 46),
      with(mag, h + 3, 0x82),
      with(with(mag, h + 1, 3), h + 2, 0x70),
      with(g9bPal, 16, 32),
      with(with(g9b, 8, 0x41), 9, 0x1F),
      with(g9b, 6, 32),
  };
  for (size_t i = 0; i < nothing.size(); ++i)
    for (const char* name : {"x.mag", "x.g9b"}) {
      TKvProbe probe(name, nothing[i]);
      EXPECT_EQ(probe.Flags("TKvMAGv2Engine"), 0) << i;
      EXPECT_EQ(probe.Flags("TKvG9BEngine"), 0) << i;
    }
}

}  // namespace

namespace {

// Files with bytes changed at random still either are refused or decode.
TEST(KvV9990MAGImport, MutatedFiles) {
  TKvPalette256 pal;
  for (int i = 0; i < 16; ++i) pal.AddRGB(uint8_t(i * 16), uint8_t(i), uint8_t(255 - i));
  std::vector<uint8_t> rows(32 * 12);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i % 29 < 10 ? 3 : i * 7);
  std::vector<uint8_t> yjk(64);
  for (size_t i = 0; i < yjk.size(); ++i) yjk[i] = static_cast<uint8_t>(i * 13);
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"a.mag", MagFile("MSX2", 3, 0x44, 0x00, rows, 32, 64, &pal, 16)},
      {"b.mag", MagFile("TEST", 0, 0, 0x00, rows, 32, 64, &pal, 16)},
      {"c.g9b", G9bFile(8, 128, 12, 5, std::vector<uint8_t>(yjk.begin(), yjk.begin() + 60), true)},
      {"d.g9b", G9bFile(4, 0, 16, 8, rows, true, std::vector<uint8_t>(48, 7))},
  };
  uint32_t s = 99;
  for (const auto& [name, file] : files)
    for (int n = 0; n < 300; ++n) {
      std::vector<uint8_t> f = file;
      for (int k = 0; k < 3; ++k) {
        s = s * 1664525u + 1013904223u;
        f[(s >> 8) % f.size()] = static_cast<uint8_t>(s >> 24);
      }
      TKvMemoryLoadSource source(name, f.data(), static_cast<int32_t>(f.size()), false);
      auto list = source.MatchEngines({&SourceEngineClass<TKvMAGv2Engine>(), &SourceEngineClass<TKvG9BEngine>()});
      for (int i = 0; i < list->GetCount(); ++i) {
        auto b = list->GetEngine(i)->Decode();
        ASSERT_NE(b, nullptr);
        EXPECT_LE(static_cast<int64_t>(b->Width) * b->Height, 8000LL * 8000);
      }
    }
}

}  // namespace
