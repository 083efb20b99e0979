// Palette files: the six formats read, the one written, and damaged input.
#include "core/KvPaletteFiles.h"

#include "KvPictureFixtures.h"
#include "core/KvPalette.h"
#include "rtl/KvClasses.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace fixtures;

namespace {

std::vector<uint32_t> Quads(const TKvPalette256& P) {
  std::vector<uint32_t> v;
  for (int i = 0; i < P.Count; ++i) v.push_back(P.GetRGBQuad(i));
  return v;
}

std::string Bytes(std::initializer_list<int> AList) {
  std::string s;
  for (int b : AList) s += static_cast<char>(b);
  return s;
}

// Loads AData through LoadFromStream; returns the message of the exception
// raised, or "" on success.
std::string Load(TKvPalette256& P, const std::string& AData) {
  std::istringstream s(AData, std::ios::binary);
  try {
    P.LoadFromStream(s);
  } catch (const Exception& e) {
    return e.Message().empty() ? "(silent)" : e.Message();
  }
  return "";
}

std::string Riff(const std::string& AChunks, uint32_t ASize = 0) {
  std::string s = "RIFF";
  PutLE32(s, ASize ? ASize : static_cast<uint32_t>(4 + AChunks.size()));
  return s + "PAL " + AChunks;
}

std::string DataChunk(int ACount, const std::string& AEntries, int ASizeDelta = 0) {
  std::string s = "data";
  PutLE32(s, static_cast<uint32_t>(ACount * 4 + 4 + ASizeDelta));
  PutLE16(s, 0x0300);
  PutLE16(s, static_cast<uint32_t>(ACount));
  return s + AEntries;
}

std::string Act(int AColors, const std::string& ATrailer) {
  std::string s;
  for (int i = 0; i < 256; ++i) s += Bytes({i, (i * 2) & 255, i < AColors ? 7 : 9});
  return s + ATrailer;
}

struct TTempDir {
  std::filesystem::path Path;
  TTempDir() : Path(std::filesystem::temp_directory_path() / ("kv_palfiles_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(Path);
  }
  ~TTempDir() { std::filesystem::remove_all(Path); }
  std::string Write(const std::string& AName, const std::string& AData) const {
    const std::string name = (Path / AName).string();
    std::ofstream(name, std::ios::binary) << AData;
    return name;
  }
};

std::string Slurp(const std::string& AName) {
  std::ifstream f(AName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

TEST(PaletteFiles, JASC) {
  TKvPalette256 p;
  EXPECT_EQ(Load(p, "JASC-PAL  \r\n0100\r\n3\r\n   12   34  56   \r\n\r\n1 2 3\n1 2 3\r\n"), "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x0C2238, 0x010203, 0x010203}));
  const char* bad[] = {
      "JASC-PAL\r\n0100\r\n1\r\n12,34,56\r\n",  "JASC-PAL\r\n0100\r\n0\r\n",
      "JASC-PAL\r\n0100\r\n257\r\n1 2 3\r\n",   "JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n",
      "JASC-PAL\r\n0101\r\n1\r\n1 2 3\r\n",     "JASC-PAL\r\n0100\r\n1\r\n1 2 256\r\n",
      "JASC-PAL\r\n0100\r\n1\r\n1 2 3 4\r\n",   "JASC-PAL\r\n0100\r\n1\r\n1 2\t3\r\n",
      "JASC-PAL\r\n0100\r\nx\r\n1 2 3\r\n",     "JASC-PAL\r\n0100\r\n1\r\n1 2 99999999999999999\r\n",
  };
  for (const char* b : bad) EXPECT_EQ(Load(p, b), "Invalid palette") << b;
}

TEST(PaletteFiles, ReadersNotifyOnceAndEmptyOnlyAfterTheHeader) {
  TKvPalette256 p;
  p.AddRGB(1, 1, 1);
  int notices = 0;
  p.OnChange = [&](TObject*) { ++notices; };
  // A bad header leaves the palette alone.
  EXPECT_EQ(Load(p, "JASC-PAL\r\n0200\r\n1\r\n1 2 3\r\n"), "Invalid palette");
  EXPECT_EQ(p.Count, 1);
  EXPECT_EQ(notices, 0);
  // Failing part-way: the colours read so far, and one notification.
  EXPECT_EQ(Load(p, "JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n4 5 6\r\nbad\r\n"), "Invalid palette");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x010203, 0x040506}));
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(p.UpdateCount, 0);
  EXPECT_EQ(Load(p, Riff(DataChunk(2, Bytes({1, 1, 1, 0, 2, 2, 2, 0})))), "");
  EXPECT_EQ(notices, 2);
}

TEST(PaletteFiles, GIMP) {
  TKvPalette256 p;
  EXPECT_EQ(Load(p, "GIMP Palette\nName: Test\nColumns: 4\n#\n255   0   0\tRed\n  0 128 255 Sky blue\n"
                    "# comment\n255 0 0\n"),
            "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0xFF0000, 0x0080FF}));
  EXPECT_EQ(p.Colors[0].UseCount, 1);  // duplicates merge
  EXPECT_EQ(Load(p, "GIMP Palette\n255 0 0\n"), "Invalid palette");  // no comment line: no colours
  EXPECT_EQ(Load(p, "GIMP Palette\n#\n255\t0 0\n"), "Invalid palette");
  EXPECT_EQ(Load(p, "GIMP Palette\n#\n255 0\n"), "Invalid palette");
  EXPECT_EQ(Load(p, "GIMP Palette\n#\n255 0 0x\n"), "Invalid palette");
  std::string many = "GIMP Palette\n#\n";
  for (int i = 0; i < 730; ++i) many += std::to_string(i / 256) + " " + std::to_string(i % 256) + " 0\n";
  EXPECT_EQ(Load(p, many), "Too many colors");
  EXPECT_EQ(p.Count, 729);
}

TEST(PaletteFiles, RIFF) {
  TKvPalette256 p;
  std::string other = "LIST";
  PutLE32(other, 3);
  other += "abc";
  EXPECT_EQ(Load(p, Riff(other + DataChunk(2, Bytes({10, 20, 30, 0, 10, 20, 30, 5})))), "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x0A141E}));
  EXPECT_EQ(Load(p, Riff(DataChunk(2, Bytes({1, 2, 3, 0, 4, 5, 6, 0}), 4))), "Invalid palette");
  EXPECT_EQ(Load(p, Riff(DataChunk(1, Bytes({1, 2, 3, 0})), 3000)), "Invalid palette");
  EXPECT_EQ(Load(p, "RIFF" + Bytes({8, 0, 0, 0}) + "WAVEdata"), "Invalid palette");
  EXPECT_EQ(Load(p, Riff(DataChunk(0, ""))), "Invalid palette");
  std::string small = "data";
  PutLE32(small, 4);
  EXPECT_EQ(Load(p, Riff(small + "abcd")), "Invalid palette");
  // Truncated: entries missing, or no data chunk at all, or a chunk larger than the file.
  EXPECT_EQ(Load(p, Riff(DataChunk(2, Bytes({1, 2, 3, 0})))), "Stream read error");
  EXPECT_EQ(Load(p, Riff(other)), "Stream read error");
  std::string hugeChunk = "JUNK";
  PutLE32(hugeChunk, 0x7FFFFFFF);
  EXPECT_EQ(Load(p, Riff(hugeChunk)), "Stream read error");
}

TEST(PaletteFiles, AdobeColourTables) {
  TKvPalette256 p;
  EXPECT_EQ(Load(p, Act(16, Bytes({0, 16, 0xFF, 0xFF}))), "");
  EXPECT_EQ(p.Count, 16);
  EXPECT_EQ(p.GetRGBQuad(3), 0x030607u);
  EXPECT_EQ(Load(p, Act(16, Bytes({0, 16, 0, 5}))), "");
  EXPECT_EQ(p.Count, 256);
  EXPECT_EQ(Load(p, Act(0, "")), "");
  EXPECT_EQ(p.Count, 256);
  // Other sizes are no colour table.
  EXPECT_EQ(Load(p, Act(0, "x")), "Unknown palette type");
  std::istringstream shortAct(Act(0, "").substr(0, 700), std::ios::binary);
  EXPECT_THROW(p.LoadFromACTStream(shortAct), EReadError);

  TTempDir dir;
  // A 768-byte file with another extension is still a colour table, and a
  // .act file is read as one even when it starts like a bitmap.
  TKvPalette256 q;
  q.LoadFromFile(dir.Write("colours.bin", Act(0, "")));
  EXPECT_EQ(q.Count, 256);
  std::string bm = Act(0, Bytes({0, 2, 0xFF, 0xFF}));
  bm[0] = 'B';
  bm[1] = 'M';
  q.LoadFromFile(dir.Write("x.ACT", bm));
  EXPECT_EQ(q.Count, 2);
  EXPECT_EQ(q.Name, "x.ACT");
}

TEST(PaletteFiles, PicturePalettes) {
  TKvPalette256 p;
  EXPECT_EQ(Load(p, MakeBMP(1, 1, 8, {0x112233, 0x445566}, Bytes({1, 0, 0, 0}), 0, 2)), "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x112233, 0x445566}));
  EXPECT_EQ(Load(p, MakePNG(2, 1, PNG_COLOR_TYPE_PALETTE, 8, Bytes({0, 0}), {1, 2, 3})), "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(Load(p, MakeGIF(2, 1, 0, 0, 2, 1, {5, 6}, {0, 1})), "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{5, 6}));
  // A direct-colour picture gives its distinct colours...
  std::string rgb;
  for (int i = 0; i < 4; ++i) rgb += Bytes({i / 2, 0, 0});
  EXPECT_EQ(Load(p, MakePNG(4, 1, PNG_COLOR_TYPE_RGB, 8, rgb)), "");
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0x010000}));
  // ...up to 256 of them; 300 are too many, and beyond 729 there is no palette.
  auto distinct = [](int n) {
    std::string rows;
    for (int i = 0; i < n; ++i) rows += Bytes({i / 256, i % 256, 0});
    return MakePNG(n, 1, PNG_COLOR_TYPE_RGB, 8, rows);
  };
  EXPECT_EQ(Load(p, distinct(300)), "Too many colors");
  EXPECT_EQ(Load(p, distinct(800)), "Invalid palette");
  std::vector<uint8_t> jpeg(8 * 8 * 3, 50);
  EXPECT_EQ(Load(p, MakeJPEG(8, 8, jpeg)), "Unknown palette type");
  EXPECT_EQ(Load(p, std::string(100, 'q')), "Unknown palette type");
  EXPECT_EQ(Load(p, "JASC"), "Stream read error");
}

TEST(PaletteFiles, SaveToFileWritesJASCText) {
  TTempDir dir;
  TKvPalette256 p;
  const std::string empty = dir.Write("e.pal", "old content that is longer");
  p.SaveToFile(empty);
  EXPECT_EQ(Slurp(empty), "JASC-PAL\r\n0100\r\n0\r\n");
  p.AddRGB(12, 34, 56);
  p.AddRGB(0, 0, 255);
  const std::string name = (dir.Path / "two.pal").string();
  p.SaveToFile(name);
  EXPECT_EQ(Slurp(name), "JASC-PAL\r\n0100\r\n2\r\n12 34 56\r\n0 0 255\r\n");
  TKvPalette256 q;
  q.LoadFromFile(name);
  EXPECT_TRUE(q.SameColors(&p));
  EXPECT_EQ(q.FileName, name);
  EXPECT_EQ(q.Name, "two.pal");
  // Name and file name are set even when the read fails.
  TKvPalette256 r;
  EXPECT_THROW(r.LoadFromFile(dir.Write("bad.gpl", "GIMP Palette\n")), Exception);
  EXPECT_EQ(r.Name, "bad.gpl");
  EXPECT_THROW(r.LoadFromFile((dir.Path / "missing.pal").string()), EFOpenError);
  EXPECT_THROW(p.SaveToFile((dir.Path / "no" / "x.pal").string()), Exception);
}

TEST(PaletteFiles, LineReaderLimitsLines) {
  std::istringstream s("\r\n\r\nab\r\r\ncd\n" + std::string(1600, 'x') + "\n" + std::string(1601, 'y'));
  std::string line;
  ASSERT_TRUE(ReadPaletteLine(s, line));
  EXPECT_EQ(line, "ab");
  ASSERT_TRUE(ReadPaletteLine(s, line));
  EXPECT_EQ(line, "cd");
  ASSERT_TRUE(ReadPaletteLine(s, line));
  EXPECT_EQ(line.size(), 1600u);
  try {
    ReadPaletteLine(s, line);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid palette");
  }
}

// Every prefix of every format, and every single-byte change, gives a palette
// or an exception: never a crash, a hang or a runaway allocation.
TEST(PaletteFiles, TruncatedAndGarbledInputsFailCleanly) {
  std::vector<uint8_t> photo(6 * 4 * 3);
  for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<uint8_t>(i * 37);
  const std::string files[] = {
      "JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n",
      "GIMP Palette\nName: x\n#\n1 2 3 a\n4 5 6\n",
      Riff(DataChunk(2, Bytes({1, 2, 3, 0, 4, 5, 6, 0}))),
      MakeBMP(3, 2, 4, {0x010203, 0x040506}, Bytes({0x10, 0x10, 0, 0, 0x01, 0x10, 0, 0})),
      MakeBMP(2, 2, 24, {}, std::string(16, '\x40')),
      MakePNG(3, 2, PNG_COLOR_TYPE_PALETTE, 2, Bytes({0x1B, 0xE4}), {7, 8, 9, 10}),
      MakePNG(4, 3, PNG_COLOR_TYPE_RGB, 8, std::string(photo.begin(), photo.begin() + 36), {}, true),
      MakeGIF(3, 3, 0, 0, 3, 3, {1, 2, 3, 4}, {0, 1, 2, 3, 0, 1, 2, 3, 0}, true),
  };
  int failures = 0;
  for (const std::string& f : files) {
    TKvPalette256 p;
    ASSERT_EQ(Load(p, f), "") << f.substr(0, 8);
    for (size_t n = 0; n < f.size(); ++n)
      if (!Load(p, f.substr(0, n)).empty()) ++failures;
    for (size_t i = 0; i < f.size(); ++i)
      for (int v : {0x00, 0xFF, 0x80}) {
        std::string g = f;
        g[i] = static_cast<char>(v);
        Load(p, g);
      }
  }
  EXPECT_GT(failures, 0);
}
