// The MSX SCREEN 5 to 8 pictures with a size header, run-length, packed,
// 1-bit and publisher files, and the SCREEN 10 to 12 (YJK) importers: their
// ranking in the probe, damaged files, and the formats' examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformMSX.h"
#include "importers/MSXTestFiles.h"
#include "platforms/KvPlatformMSX.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes GlFile(int AWidth, int AHeight, size_t ADataSize, uint8_t AFill = 0) {
  Bytes b(4 + ADataSize, AFill);
  b[0] = static_cast<uint8_t>(AWidth);
  b[1] = static_cast<uint8_t>(AWidth >> 8);
  b[2] = static_cast<uint8_t>(AHeight);
  b[3] = static_cast<uint8_t>(AHeight >> 8);
  return b;
}

Bytes Dump(int ASize) {
  Bytes b(static_cast<size_t>(ASize), 0);
  InitBsaveHeader(b.data(), ASize - 7, 0);
  return b;
}

// A run-length file: 0xFD header, then AStream.
Bytes SrFile(const Bytes& AStream) {
  Bytes b(7, 0);
  InitBsaveHeader(b.data(), static_cast<int>(AStream.size()), 0);
  b[0] = 0xFD;
  b.insert(b.end(), AStream.begin(), AStream.end());
  return b;
}

// The candidates named, in the order the probe offers them; the first with
// AFirstFlags, the others with {header, exact size}.
void ExpectRanking(const std::string& AName, const Bytes& AData, const std::vector<std::string>& AOrder,
                   TKvMatchFlags AFirstFlags) {
  SCOPED_TRACE(AName);
  TKvProbe probe(AName, AData);
  std::vector<std::string> found;
  for (const std::string& c : probe.Classes())
    if (std::find(AOrder.begin(), AOrder.end(), c) != AOrder.end()) found.push_back(c);
  EXPECT_EQ(found, AOrder);
  for (size_t i = 0; i < AOrder.size(); ++i)
    EXPECT_EQ(probe.Flags(AOrder[i]), i == 0 ? AFirstFlags : mfHeader | mfSize) << AOrder[i];
}

constexpr TKvMatchFlags kOwn = mfHeader | mfExtension | mfSize;

TEST(KvMSX2Importers, Ranking) {
  const Bytes gl4 = GlFile(4, 2, 4);
  ExpectRanking("x.gl5", gl4, {"TKvGL5Engine", "TKvGL7Engine"}, kOwn);
  ExpectRanking("x.gl7", gl4, {"TKvGL7Engine", "TKvGL5Engine"}, kOwn);
  ExpectRanking("x.dat", gl4, {"TKvGL5Engine", "TKvGL7Engine"}, mfHeader | mfSize);
  ExpectRanking("x.gl8", GlFile(4, 2, 8), {"TKvGL8Engine", "TKvGLAEngine", "TKvGLCEngine"}, kOwn);
  const Bytes d64 = Dump(64167);
  ExpectRanking("x.sca", d64, {"TKvSCAEngine", "TKvSC7Engine", "TKvSCCEngine"}, kOwn);
  ExpectRanking("x.scc", d64, {"TKvSCCEngine", "TKvSC7Engine", "TKvSCAEngine"}, kOwn);
  ExpectRanking("x.sc7", d64, {"TKvSC7Engine", "TKvSCAEngine", "TKvSCCEngine"}, kOwn);
  ExpectRanking("x.sc8", Dump(54279), {"TKvSC8Engine", "TKvSC7Engine", "TKvSCCEngine"}, kOwn);
  ExpectRanking("x.sc6", Dump(30375), {"TKvSC6Engine", "TKvSC5Engine"}, kOwn);
}

// Damaged files: no candidate of the class, or a picture whose missing part
// stays at index 0.
TEST(KvMSX2Importers, DamagedFiles) {
  struct Case {
    const char* Name;
    Bytes Data;
    const char* Class;
  } refused[] = {
      {"x.gl5", GlFile(0, 2, 4), "TKvGL5Engine"},
      {"x.gl5", GlFile(8001, 1, 4001), "TKvGL5Engine"},
      {"x.gl5", GlFile(4, 2, 5), "TKvGL5Engine"},
      {"x.gl8", GlFile(4, 2, 7), "TKvGL8Engine"},
      {"x.gla", GlFile(8001, 1, 8001), "TKvGLAEngine"},
      {"x.stp", GlFile(3, 3, 2), "TKvSTPEngine"},  // c + 3 bytes
      {"x.stp", GlFile(3, 3, 8), "TKvSTPEngine"},  // c + 9 bytes
      {"x.cmp", Bytes{32, 2, 2}, "TKvCMPEngine"},   // no packed data
      {"x.cmp", Bytes{32, 2, 2, 0x80}, "TKvCMPEngine"},        // short by a mask byte
      {"x.cmp", Bytes{32, 2, 2, 0x00, 0x00}, "TKvCMPEngine"},  // a trailing byte
      {"x.cmp", Bytes{32, 2, 3, 0x00}, "TKvCMPEngine"},        // more plain rows than rows
      {"x.pct", Bytes(384, 0), "TKvPCTEngine"},
      {"x.sca", Dump(64166), "TKvSCAEngine"},
      {"x.scc", Dump(49158), "TKvSCCEngine"},
      {"x.sr5", Bytes{0xFD, 0, 0}, "TKvSR5Engine"},
  };
  for (Case& c : refused) {
    SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(c.Data.size()));
    if (std::string(c.Name) == "x.pct") std::memcpy(c.Data.data(), "DYNAMIC PUBLISHER SCREEN", 24);
    TKvProbe probe(c.Name, c.Data);
    EXPECT_EQ(probe.Flags(c.Class), 0);
  }

  // A run-length SCREEN 5 stream of 100 bytes: the rows it does not reach
  // stay at index 0.
  TKvProbe sr("x.sr5", SrFile(Bytes(100, 0x21)));
  TKvSourceEngine* e = sr.Find("TKvSR5Engine");
  ASSERT_NE(e, nullptr);
  auto bitmap = e->Decode();
  ASSERT_EQ(bitmap->Width, 256);
  ASSERT_EQ(bitmap->Height, 212);
  EXPECT_EQ(bitmap->GetPixel(0, 0), 2);
  EXPECT_EQ(bitmap->GetPixel(199, 0), 1);
  EXPECT_EQ(bitmap->GetPixel(200, 0), 0);
  EXPECT_EQ(bitmap->GetPixel(255, 211), 0);
  // A run cut after its count, and a count cut after the 00.
  for (const Bytes& cut : {Bytes{0x05}, Bytes{0x00}, Bytes{0x00, 0x04}}) {
    TKvMSXRunReader r{TKvBytes(cut)};
    uint8_t b;
    EXPECT_FALSE(r.NextByte(b));
  }
}

TEST(KvMSX2Importers, RunLengthStreams) {
  auto all = [](const Bytes& AData) {
    TKvMSXRunReader r{TKvBytes(AData)};
    Bytes out;
    uint8_t b;
    while (r.NextByte(b)) out.push_back(b);
    return out;
  };
  EXPECT_EQ(all({0x00, 0x00, 0x55}), Bytes(256, 0x55));
  EXPECT_EQ(all({0x00, 0x02, 0x01}), (Bytes{1, 1}));
  EXPECT_EQ(all({0x03, 0x20}), (Bytes{0x20, 0x20, 0x20}));
  EXPECT_EQ(all({0x10, 0xFF, 0x01, 0x00}), (Bytes{0x10, 0xFF, 0x00}));

  // SCREEN 8: one pixel per byte, left to right, row by row.
  TKvProbe sr8("x.sr8", SrFile({0x00, 0x00, 0x1C, 0x02, 0xE0, 0x11}));
  TKvSourceEngine* e = sr8.Find("TKvSR8Engine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->MatchFlags, kOwn);
  auto bitmap = e->Decode();
  EXPECT_EQ(bitmap->GetPixel(255, 0), 0x1C);
  EXPECT_EQ(bitmap->GetPixel(0, 1), 0xE0);
  EXPECT_EQ(bitmap->GetPixel(1, 1), 0xE0);
  EXPECT_EQ(bitmap->GetPixel(2, 1), 0x11);
  EXPECT_EQ(bitmap->GetPixel(3, 1), 0);
  EXPECT_EQ(e->Description, "MSX2 256x212x8 screen 8 image");
}

TEST(KvMSX2Importers, PackedAndOneBitPictures) {
  // One group with a zero control byte: 64 zero bytes from a single byte.
  TKvProbe zero("x.cmp", {32, 2, 2, 0x00});
  TKvSourceEngine* e = zero.Find("TKvCMPEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->MatchFlags, kOwn);
  EXPECT_EQ(e->Description, "MSX2 64x2x4 screen 5 image");
  auto b = e->Decode();
  for (int x = 0; x < 64; ++x) EXPECT_EQ(b->GetPixel(x, 1), 0);
  // Row 1 is XOR-ed with row 0: the first byte 0x12 repeats.
  TKvProbe xored("x.cmp", {32, 2, 1, 0x80, 0x80, 0x12});
  e = xored.Find("TKvCMPEngine");
  ASSERT_NE(e, nullptr);
  b = e->Decode();
  EXPECT_EQ(b->GetPixel(0, 0), 1);
  EXPECT_EQ(b->GetPixel(1, 0), 2);
  EXPECT_EQ(b->GetPixel(0, 1), 1);
  EXPECT_EQ(b->GetPixel(1, 1), 2);
  EXPECT_EQ(b->GetPixel(2, 1), 0);

  // ".stp": the low bit of each pair; up to 4 spare bytes.
  Bytes stp = GlFile(8, 1, 2 + 4);
  stp[4] = 0x55;
  stp[5] = 0xAA;
  TKvProbe sp("x.stp", stp);
  e = sp.Find("TKvSTPEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->MatchFlags, kOwn);
  b = e->Decode();
  for (int x = 0; x < 8; ++x) EXPECT_EQ(b->GetPixel(x, 0), x < 4 ? 1 : 0) << x;
  EXPECT_EQ(b->Palette->GetStdRGB(0), StdRGBColor(255, 255, 255));

  // ".pct": 81 0F gives 0F twice, the low nibble's pixels first.
  Bytes pct(388, ' ');
  std::memcpy(pct.data(), "E U R O PUBLISHER SCREEN", 24);
  pct[384] = 0x81;
  pct[385] = 0x0F;
  pct[386] = 0x00;
  pct[387] = 0xF0;
  TKvProbe pc("x.pct", pct);
  e = pc.Find("TKvPCTEngine");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->MatchFlags, mfHeader | mfExtension);
  b = e->Decode();
  ASSERT_EQ(b->Width, 512);
  ASSERT_EQ(b->Height, 704);
  const int want[24] = {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1};
  for (int x = 0; x < 24; ++x) EXPECT_EQ(b->GetPixel(x, 0), want[x]) << x;
}

TEST(KvMSX2Importers, YJKPictures) {
  // A ".gla" of width 6: a whole group and a group of two bytes per row.
  Bytes gla = GlFile(6, 2, 12);
  const uint8_t row[6] = {0x80 | 1, 0x80, 0x40 | 2, 0x40, 0x20, 0x48};
  std::copy(row, row + 6, gla.begin() + 4);
  std::copy(row, row + 6, gla.begin() + 10);
  TKvTestFiles files("x.gla", gla);
  auto e = files.Open(SourceEngineClass<TKvGLAEngine>());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "MSX2 6x2x12 screen 10/11 image");
  auto b = e->Decode();
  TKvBitmap24 want(6, 2);
  for (int y = 0; y < 2; ++y) {
    const uint8_t* p = row;
    int count = 6;
    DecodeYJKYAEGroup(want, 0, y, p, count, *e->Palette);
    DecodeYJKYAEGroup(want, 1, y, p, count, *e->Palette);
    EXPECT_EQ(count, 0);
  }
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b->GetPixelStdRGB(x, y), want.GetPixelStdRGB(x, y)) << x;
  // 0x48: Y byte with bit 3 set shows palette entry 4 (the MSX2 default).
  EXPECT_EQ(b->GetPixelStdRGB(5, 0), e->Palette->GetStdRGB(4));

  // SCREEN 12 dumps: 192 rows in 49159 bytes, 212 in 54279; an interlaced
  // ".sca" pair gives 424.
  struct Case {
    const char* Name;
    int Size;
    int Height;
  } dumps[] = {{"x.scc", 49159, 192}, {"x.scc", 54279, 212}, {"x.yjk", 64167, 212}};
  for (const Case& c : dumps) {
    TKvTestFiles f(c.Name, Dump(c.Size));
    f.Add("x.s1c", Dump(54279));
    auto s = f.Open(SourceEngineClass<TKvSCCEngine>());
    ASSERT_NE(s, nullptr);
    // Only ".scc" looks for its second page.
    const int h = std::string(c.Name) == "x.scc" ? 2 * c.Height : c.Height;
    EXPECT_EQ(s->Height, h) << c.Size;
    EXPECT_EQ(s->Decode()->Height, h);
  }
  Bytes even = Dump(64167), odd = Dump(54279);
  even[7] = 0x80;
  odd[7] = 0x40;
  TKvTestFiles pair("x.sca", even);
  pair.Add("x.s1a", odd);
  auto sca = pair.Open(SourceEngineClass<TKvSCAEngine>());
  ASSERT_NE(sca, nullptr);
  EXPECT_EQ(sca->Description, "MSX2+ 256x424x14 screen 10/11 interlaced image");
  EXPECT_EQ(sca->PixelAspect, 18);
  auto b2 = sca->Decode();
  EXPECT_EQ(b2->GetPixelStdRGB(0, 0), StdRGBColor(132, 132, 165));  // YJKToRGB(16, 0, 0)
  EXPECT_EQ(b2->GetPixelStdRGB(0, 1), StdRGBColor(66, 66, 82));     // Y 8
}

// Files whose headers pass but whose data is arbitrary, cut or padded:
// every candidate decodes without reading past the data.
TEST(KvMSX2Importers, ArbitraryContent) {
  uint32_t seed = 7;
  auto fill = [&](Bytes& b, size_t from) {
    for (size_t i = from; i < b.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      b[i] = static_cast<uint8_t>(seed >> 24);
    }
  };
  std::vector<std::pair<std::string, Bytes>> files;
  for (const char* ext : {"x.gl5", "x.gl6", "x.gl8", "x.gla", "x.glc", "x.stp"}) {
    Bytes b = GlFile(7, 5, 35);
    fill(b, 4);
    files.emplace_back(ext, b);
  }
  for (const char* ext : {"x.sr5", "x.sr7", "x.sr8"}) {
    Bytes s(300);
    fill(s, 0);
    files.emplace_back(ext, SrFile(s));
  }
  for (const char* ext : {"x.sca", "x.scc"}) {
    Bytes d = Dump(ext[4] == 'a' ? 64167 : 49159);
    fill(d, 7);
    files.emplace_back(ext, d);
  }
  Bytes pct(600);
  fill(pct, 0);
  std::memcpy(pct.data(), "DYNAMIC PUBLISHER SCREEN", 24);
  files.emplace_back("x.pct", pct);
  int decoded = 0;
  for (const auto& [name, data] : files)
    for (size_t cut : {size_t{0}, size_t{1}, size_t{3}}) {
      SCOPED_TRACE(name + " less " + std::to_string(cut));
      TKvProbe probe(name, Bytes(data.begin(), data.end() - static_cast<ptrdiff_t>(cut)));
      for (int i = 0; i < probe.List->GetCount(); ++i) {
        auto b = probe.List->GetEngine(i)->Decode();
        ASSERT_NE(b, nullptr);
        ++decoded;
      }
    }
  EXPECT_GT(decoded, 10);
}

}  // namespace
