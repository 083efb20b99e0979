// The Vector-06C importers: the files the converters write open again with
// the preview's pixels, the ranking of the readings, and damaged files.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "importers/ImporterRegistration.h"
#include "KvTestHarness.h"
#include "importers/KvOpenPlatformVector.h"
#include "platforms/KvPlatformVector.h"
#include "platforms/KvSavePlatformVector.h"

using namespace KvOpenPlatformVector;

namespace {

const char* const kScr = "KvOpenPlatformVector::TKvVectorSCREngine";
const char* const kSpr = "KvOpenPlatformVector::TKvVectorSPREngine";
const char* const kRmb = "KvOpenPlatformVector::TKvVectorRMBEngine";

// A memory file with companions found by name; ABytes must outlive it.
class TKvVectorFileSource : public TKvMemoryLoadSource {
public:
  TKvVectorFileSource(const std::string& AName, const std::vector<uint8_t>& ABytes)
      : TKvMemoryLoadSource(AName, ABytes.data(), static_cast<int32_t>(ABytes.size()), false) {}
  const TKvLoadSourceRec* GetFile(const std::string& AName) override {
    auto it = Files.find(AName);
    return it == Files.end() ? nullptr : &it->second;
  }
  void Add(const std::string& AName, std::vector<uint8_t> AData) {
    TKvLoadSourceRec& r = Files[AName];
    r.Name = AName;
    r.Bytes = std::move(AData);
    r.Data = r.Bytes.data();
    r.Size = static_cast<int32_t>(r.Bytes.size());
  }
  std::map<std::string, TKvLoadSourceRec> Files;
};

std::vector<uint8_t> StreamBytes(TKvStream& AStream) {
  return std::vector<uint8_t>(AStream.GetMemory(), AStream.GetMemory() + AStream.GetSize());
}

// A ".scr" whose packed data (read backwards from the end) are APacked, with
// escape bytes E1 = 0xE1, E2 = 0xE2, E3 = 0xE3 and fill byte 0x44.
std::vector<uint8_t> ScrFile(const std::vector<uint8_t>& APacked) {
  std::vector<uint8_t> d(64 + APacked.size(), 0);
  std::copy(APacked.begin(), APacked.end(), d.begin() + 64);
  d[2] = static_cast<uint8_t>(APacked.size() - 1);
  d[3] = static_cast<uint8_t>((APacked.size() - 1) >> 8);
  d[4] = 0x44;
  std::copy_n("T.288-31-25", 11, d.begin() + 5);
  d[16] = 0xE1;
  d[32] = 0xE2;
  d[48] = 0xE3;
  return d;
}

// Packed runs of AValue (written value, count, E3 so that reading backwards
// meets E3 first) making ALength bytes.
std::vector<uint8_t> ScrRuns(int ALength, uint8_t AValue) {
  std::vector<uint8_t> r;
  for (; ALength > 0; ALength -= 255) r.insert(r.end(), {AValue, static_cast<uint8_t>(std::min(ALength, 255)), 0xE3});
  return r;
}

// An ".spr" of runs of AValue making ALength bytes, the zero fill after them.
std::vector<uint8_t> SprRuns(int ALength, uint8_t AValue) {
  std::vector<uint8_t> d(18, 0);
  for (; ALength > 0; ALength -= 127) d.insert(d.end(), {AValue, static_cast<uint8_t>(128 + std::min(ALength, 127))});
  d.resize((d.size() + 127) / 128 * 128, 0);
  return d;
}

// The unit registers between the UKNC and ZX Spectrum units, its three
// classes one after another: ".scr", ".spr", ".rmb".
TEST(KvOpenPlatformVector, RegistrationOrder) {
  ExpectUnitRegisteredInOrder("KvOpenPlatformVector", "KvOpenPlatformUKNC", "KvOpenPlatformZxSpectrum",
                              {&SourceEngineClass<TKvVectorSCREngine>(), &SourceEngineClass<TKvVectorSPREngine>(),
                               &SourceEngineClass<TKvVectorRMBEngine>()});
}

TEST(KvOpenPlatformVector, RoundTrips) {
  InitializeImporters();
  struct TCase {
    const TKvDestEngineClass* Engine;
    uint32_t Seed;
    uint8_t PaletteType;
    TKvPaletteUsage Usage;
  };
  for (const TCase& c :
       {TCase{&DestEngineClass<KvSavePlatformVector::TKvVectorEngine>(), 1, ptColoredVirtualVector, puBlackAndColors15},
        TCase{&DestEngineClass<KvSavePlatformVector::TKvVectorEngine>(), 2, ptColoredEMU, puColors15},
        TCase{&DestEngineClass<KvSavePlatformVector::TKvVectorHAM1Engine>(), 3, ptColoredVirtualVector,
              puBlackAndColors15},
        TCase{&DestEngineClass<KvSavePlatformVector::TKvVectorHAM2Engine>(), 4, ptColoredLinear, puColors16}}) {
    const bool ham = c.Engine != &DestEngineClass<KvSavePlatformVector::TKvVectorEngine>();
    SCOPED_TRACE(c.Engine->GetModeName());
    auto pic = GradientPicture(256, 256, c.Seed);
    auto r = ConvertPicture(*c.Engine, *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(c.PaletteType);
      o.SetPaletteUsage(c.Usage);
      o.UpdatePalette();
    });
    ASSERT_EQ(r.Streams->GetCount(), 2);
    for (int s = 0; s < 2; ++s) {
      TKvStream& stream = *r.Streams->GetStream(s);
      const std::string name = "pic." + stream.GetExtension();
      const std::vector<uint8_t> bytes = StreamBytes(stream);
      TKvVectorFileSource src(name, bytes);
      if (ham) {
        ASSERT_EQ(stream.GetSubStreamCount(), 1);
        TKvStream& pals = *stream.GetSubStream(0);
        EXPECT_EQ(pals.GetExtension(), "pals");
        const int k = r.Options->HAMMaxChangeCount;
        ASSERT_EQ(pals.GetSize(), 1 + 510 * k);
        EXPECT_EQ(pals.GetMemory()[0], k);
        src.Add("pic.pals", StreamBytes(pals));
      }
      auto list = src.FindEngines();
      ASSERT_GT(list->GetCount(), 0);
      TKvSourceEngine* e = list->GetEngine(0);
      EXPECT_EQ(e->ClassType().GetClassName(), s == 0 ? kSpr : kRmb);
      EXPECT_EQ(e->MatchFlags, s == 0 ? 9 : 11);
      const std::string words = ham ? " HAM" + std::to_string(r.Options->HAMMaxChangeCount) : "";
      EXPECT_EQ(e->Description, "Vector-06C 256x256x4" + words + " image");
      EXPECT_EQ(e->PixelAspect, pa1_0p75);
      ASSERT_EQ(e->PaletteTypes.size(), 3u);
      e->PaletteType = static_cast<TKvPaletteType>(c.PaletteType);
      auto decoded = e->Decode();
      ASSERT_EQ(decoded->Width, 256);
      ASSERT_EQ(decoded->Height, 256);
      TKvBitmap& preview = *r.Preview;
      EXPECT_EQ(CountColorDiffs(*decoded, preview), 0);
      if (!ham) {
        EXPECT_EQ(CountIndexDiffs(*decoded, preview), 0);
      }
      if (!ham) {
        const TKvPalette256& p = *r.Options->GetPalette();
        for (int i = 0; i < p.Count; ++i) EXPECT_EQ(e->Palette->GetStdRGB(i), p.GetStdRGB(i)) << i;
      } else {
        // Every colour once: the header's and the changes'.
        for (int i = 0; i < e->Palette->Count; ++i)
          EXPECT_EQ(e->Palette->IndexOfStdRGB(e->Palette->GetStdRGB(i)), i);
      }
    }
  }
}

TEST(KvOpenPlatformVector, SprUnpacksToTheWrittenMemory) {
  std::vector<uint8_t> memory(32768);
  for (int i = 0; i < 32768; ++i) memory[size_t(i)] = static_cast<uint8_t>((i / 300) % 3 == 0 ? 7 : i * 13);
  const std::vector<uint8_t> code = KvSavePlatformVector::EncodeVectorSpr(memory.data(), 32768);
  std::vector<uint8_t> file(18 + code.size() + 100, 0);
  std::copy(code.begin(), code.end(), file.begin() + 18);
  std::vector<uint8_t> back(32768, 0xFF);
  UnpackVectorSpr(TKvBytes(file), back.data());
  EXPECT_EQ(back, memory);
}

TEST(KvOpenPlatformVector, ProbeAndBadInput) {
  InitializeImporters();
  {
    TKvProbe probe("x.spr", SprRuns(32768, 0x21));
    EXPECT_EQ(probe.Classes().front(), kSpr);
    EXPECT_EQ(probe.Flags(kSpr), 9);
  }
  {
    TKvProbe probe("x.scr", ScrFile(ScrRuns(32768, 0x0F)));
    EXPECT_EQ(probe.Classes().front(), kScr);
    EXPECT_EQ(probe.Flags(kScr), 11);
    TKvProbe other("x.bin", ScrFile(ScrRuns(32768, 0x0F)));
    EXPECT_EQ(other.Flags(kScr), 9);
    auto bitmap = probe.Find(kScr)->Decode();
    // 0x0F in every plane: value 0 in the left half of each byte, 15 in the
    // right half.
    EXPECT_EQ(bitmap->GetPixel(0, 0), 0);
    EXPECT_EQ(bitmap->GetPixel(4, 0), 15);
    EXPECT_EQ(probe.Find(kScr)->Palette->GetStdRGB(8), StdRGBColor(0, 0, 0));
  }
  {
    // Escape bytes: E1 gives the fill byte twice, E2 the next byte three
    // times; a patch puts E1 back as data at address 5.
    std::vector<uint8_t> packed = ScrRuns(32768 - 5, 0x00);
    packed.insert(packed.begin(), {0x66, 0xE2, 0xE1});
    std::vector<uint8_t> f = ScrFile(packed);
    f[17] = 1;
    f[18] = 5;
    std::vector<uint8_t> m(32768);
    UnpackVectorScr(TKvBytes(f), m.data());
    EXPECT_EQ(std::vector<uint8_t>(m.begin(), m.begin() + 6), (std::vector<uint8_t>{0x66, 0x66, 0x66, 0x44, 0x44, 0xE1}));
  }
  struct TBad {
    const char* Name;
    std::vector<uint8_t> Bytes;
  };
  std::vector<uint8_t> e3zero = ScrRuns(32768, 1);
  e3zero.insert(e3zero.end(), {9, 0, 0xE3});
  std::vector<uint8_t> leftover = ScrRuns(32768, 1);
  leftover.insert(leftover.begin(), 0x31);
  std::vector<uint8_t> sprLeft = SprRuns(32768, 3);
  sprLeft.insert(sprLeft.begin() + 18, {5, 1});
  std::vector<uint8_t> sprZero = SprRuns(32768 - 5, 3);
  sprZero.insert(sprZero.begin() + 18, {1, 2, 3, 4, 5, 0, 7, 7, 131});
  for (const TBad& b : {TBad{"x.scr", ScrFile(ScrRuns(32769, 1))},  // a run past the memory
                        TBad{"x.scr", ScrFile(e3zero)}, TBad{"x.scr", ScrFile(leftover)},
                        TBad{"x.spr", SprRuns(32769, 1)}, TBad{"x.spr", sprLeft}, TBad{"x.spr", sprZero},
                        TBad{"x.spr", std::vector<uint8_t>(640, 0)}, TBad{"x.spr", SprRuns(32000, 1)}}) {
    TKvProbe probe(b.Name, b.Bytes);
    EXPECT_EQ(probe.Flags(kScr), 0) << b.Name << " " << b.Bytes.size();
    EXPECT_EQ(probe.Flags(kSpr), 0) << b.Name << " " << b.Bytes.size();
  }
}

std::vector<uint8_t> RmbFile(int AWidthBytes, int AHeight, uint8_t AFill) {
  const size_t LContent = 19 + size_t(4) * AWidthBytes * (AHeight ? AHeight : 256);
  std::vector<uint8_t> d((LContent + 255) / 256 * 256, 0);
  std::fill(d.begin() + 19, d.begin() + static_cast<ptrdiff_t>(LContent), AFill);
  for (int i = 0; i < 16; ++i) d[size_t(i)] = static_cast<uint8_t>(i * 16);
  d[16] = static_cast<uint8_t>(AWidthBytes);
  d[17] = static_cast<uint8_t>(AHeight);
  d[18] = 15;
  return d;
}

TEST(KvOpenPlatformVector, ShortRmbAndPalsChecks) {
  InitializeImporters();
  // The last block cut after 110 bytes of the last row: planes 1, 2, 4 and
  // 14 bytes of plane 8.
  std::vector<uint8_t> rmb = RmbFile(32, 0, 0xFF);
  rmb.resize(32769);
  TKvProbe probe("x.rmb", rmb);
  ASSERT_EQ(probe.Flags(kRmb), 11);
  auto bitmap = probe.Find(kRmb)->Decode();
  EXPECT_EQ(bitmap->GetPixel(255, 254), 15);
  EXPECT_EQ(bitmap->GetPixel(111, 255), 15);
  EXPECT_EQ(bitmap->GetPixel(112, 255), 7);
  // Entry i is header byte 15 - i.
  EXPECT_EQ(probe.Find(kRmb)->Palette->GetStdRGB(15), StdRGBColor(0, 0, 0));

  struct TPals {
    int Height;
    std::vector<uint8_t> Pals;
    std::string Words;
  };
  std::vector<uint8_t> ham1(511, 3), big(17 * 510 + 1, 3), wrong(512, 3), entry16(511, 3);
  ham1[0] = 1;
  big[0] = 17;
  wrong[0] = 1;
  entry16[0] = 1;
  entry16[301] = 16;
  for (const TPals& c : {TPals{0, ham1, " HAM1"}, TPals{200, ham1, ""}, TPals{0, big, ""}, TPals{0, wrong, ""},
                         TPals{0, entry16, ""}}) {
    std::vector<uint8_t> file = RmbFile(32, c.Height, 0x0F);
    TKvVectorFileSource src("pic.rmb", file);
    src.Add("pic.pals", c.Pals);
    auto list = src.FindEngines();
    ASSERT_GT(list->GetCount(), 0);
    TKvSourceEngine* e = list->GetEngine(0);
    EXPECT_EQ(e->Description, "Vector-06C 256x" + std::to_string(c.Height ? c.Height : 256) + "x4" + c.Words + " image");
    EXPECT_NO_THROW(e->Decode());
  }
}

TEST(KvOpenPlatformVector, HAMDisplayPaletteStaysWithin256) {
  InitializeImporters();
  // Changes through all 256 colour bytes, and a header naming 16 of them
  // twice over: every colour is kept once.
  std::vector<uint8_t> pals(1 + 510 * 16);
  pals[0] = 16;
  for (int i = 0; i < 255 * 16; ++i) {
    pals[1 + 2 * size_t(i)] = static_cast<uint8_t>(i % 16);
    pals[2 + 2 * size_t(i)] = static_cast<uint8_t>(i);
  }
  std::vector<uint8_t> file = RmbFile(32, 0, 0x35);
  for (int i = 0; i < 16; ++i) file[size_t(i)] = static_cast<uint8_t>(i % 8);
  TKvVectorFileSource src("pic.rmb", file);
  src.Add("pic.pals", pals);
  auto list = src.FindEngines();
  TKvSourceEngine* e = list->GetEngine(0);
  ASSERT_EQ(e->Description, "Vector-06C 256x256x4 HAM16 image");
  auto bitmap = e->Decode();
  EXPECT_EQ(e->Palette->Count, 256);
  // Row 255 after the last changes: entry v took colour byte 254 * 16 + v.
  TKvPalette256 table;
  BuildVectorPalette(ptColoredLinear, table);
  // 0x35 in every plane row: value 15 where the bit is set, else 0.
  EXPECT_EQ(bitmap->GetPixelStdRGB(2, 255), table.GetStdRGB((254 * 16 + 15) & 255));
  EXPECT_EQ(bitmap->GetPixelStdRGB(0, 255), table.GetStdRGB((254 * 16) & 255));
  // Row 0 shows the header: entry 0 is byte 15 (colour 7), entry 15 byte 0.
  EXPECT_EQ(bitmap->GetPixelStdRGB(0, 0), table.GetStdRGB(7));
  EXPECT_EQ(bitmap->GetPixelStdRGB(2, 0), table.GetStdRGB(0));
}

}  // namespace
