// The CPC importers on files built here: the ranking among the candidates,
// companion files, the decoders' corner cases and bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformAmstradCPC.h"
#include "platforms/KvSavePlatformAmstradCPC.h"

namespace {

using TFiles = std::map<std::string, std::vector<uint8_t>>;

// AName opened with the files of AFiles beside it (itself among them).
struct TProbe : TKvProbe {
  TProbe(const std::string& AName, const TFiles& AFiles) : TKvProbe(AName, AFiles.at(AName), AFiles) {}
  // CPC candidates, best first.
  std::vector<std::string> Cpc() const {
    std::vector<std::string> r;
    for (const std::string& n : Classes())
      if (n.find("AmstradCPC") != std::string::npos) r.push_back(n);
    return r;
  }
};

std::vector<uint8_t> Saved(TKvAmstradCPCStream& AStream, const std::string& AName) {
  AStream.StoreFileName(AName);
  return std::vector<uint8_t>(AStream.GetMemory(), AStream.GetMemory() + AStream.GetSize());
}

TKvPalette256& Hardware() {
  static TKvPalette256 p;
  if (p.Count == 0) BuildCPCPalette(p, ptCPCGateArray);
  return p;
}

// Colours of AFirmware numbers; the palette lives until the next call.
const TKvPalette256& Pens(std::initializer_list<int> AFirmware) {
  static TKvPalette256 p;
  p.Clear();
  for (int k : AFirmware) p.AddStdRGB(Hardware().GetStdRGB(k));
  return p;
}

// A standard screen of mode AMode with pens 3, 24, 9, 1 and its ".pal".
std::vector<uint8_t> ScrFile(int AMode, const std::string& AName) {
  TKvAmstradCPCScrStream s(static_cast<uint8_t>(AMode), Hardware(), Pens({3, 24, 9, 1}), 0);
  s.Body()[0] = 0x88;  // mode 0: pixel 0 pen 3; mode 1: pixel 0 pen 3
  return Saved(s, AName);
}
std::vector<uint8_t> PalFile(int AMode, const std::string& AName) {
  TKvAmstradCPCPalStream s(static_cast<uint8_t>(AMode), Hardware(), Pens({3, 24, 9, 1}), 0);
  return Saved(s, AName);
}

const std::string M0 = "TKvAmstradCPCMode0SourceEngine";
const std::string M1 = "TKvAmstradCPCMode1SourceEngine";
const std::string M0Ex = "TKvAmstradCPCMode0ExSourceEngine";
const std::string M1Ex = "TKvAmstradCPCMode1ExSourceEngine";
const std::string HGB = "TKvAmstradCPCMode2HGBSourceEngine";
const std::string B0 = "TKvAmstradCPCModeB0SourceEngine";
const std::string B1 = "TKvAmstradCPCModeB1SourceEngine";
const std::string MR = "TKvAmstradCPCModeRSourceEngine";
const std::string M5 = "TKvAmstradCPCMode5SourceEngine";

TEST(KvOpenPlatformAmstradCPC, StandardScreenRanking) {
  {
    TProbe p("a.scr", {{"a.scr", ScrFile(1, "a.scr")}});
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{M1, HGB}));
    EXPECT_EQ(p.Flags(M1), 11);
    EXPECT_EQ(p.Flags(HGB), 9);
  }
  {
    // The ".pal" decides the mode; the screen's own mode byte is not read.
    TProbe p("a.scr", {{"a.scr", ScrFile(1, "a.scr")}, {"a.pal", PalFile(0, "a.pal")}});
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{M0, HGB}));
    EXPECT_EQ(p.Flags(M0), 11);
  }
  {
    TProbe p("a.bin", {{"a.bin", ScrFile(1, "a.bin")}});
    EXPECT_EQ(p.Flags(M1), 9);
  }
  {
    // Without the unused tail of the last block.
    auto d = ScrFile(1, "a.scr");
    d.resize(16464);
    TKvAmstradCPCStream h("scr", 0xC000, 16336, 0xC7D0, 2);
    std::memcpy(d.data(), Saved(h, "a.scr").data(), 128);
    TProbe p("a.scr", {{"a.scr", d}});
    EXPECT_EQ(p.Flags(M1), 11);
  }
}

TEST(KvOpenPlatformAmstradCPC, HgbRanking) {
  {
    TKvAmstradCPCStream s("hgb", 0, 16384, 0, 2);
    TProbe p("a.hgb", {{"a.hgb", Saved(s, "a.hgb")}});
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{HGB}));
    EXPECT_EQ(p.Flags(HGB), 11);
  }
  {
    TProbe p("a.hgb", {{"a.hgb", std::vector<uint8_t>(16384)}});
    EXPECT_EQ(p.Position(HGB), 0);
    EXPECT_EQ(p.Flags(HGB), 10);
    for (int i = 1; i < p.List->GetCount(); ++i) EXPECT_LE(p.List->GetEngine(i)->MatchFlags, 8);
  }
}

std::vector<uint8_t> OverscanFile(const std::string& AName, int AMode, bool APlus) {
  std::unique_ptr<TKvPalette> hw;
  if (APlus)
    hw = TKvPaletteRGB::CreateBits(4, 4, 4, false);
  else
    hw = Hardware().Clone();
  TKvPalette256 pens;
  pens.AddRGB(255, 255, 255);
  pens.AddRGB(255, 0, 0);
  const TKvPalette256& LColours = APlus ? pens : Pens({3, 24});
  TKvAmstradCPCScrExStream s(static_cast<uint8_t>(AMode), *hw, LColours, 0);
  s.Body()[144] = 0x80;  // pixel 0 of row 0: pen 1
  return Saved(s, AName);
}

TEST(KvOpenPlatformAmstradCPC, OverscanScreens) {
  {
    TProbe p("o.scr", {{"o.scr", OverscanFile("o.scr", 1, false)}});
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{M1Ex}));
    EXPECT_EQ(p.Flags(M1Ex), 11);
    TKvSourceEngine* e = p.Find(M1Ex);
    EXPECT_EQ(e->GetPaletteTypeCount(), 4);
    auto b = e->Decode();
    EXPECT_EQ(b->Palette->GetStdRGB(b->GetPixel(0, 0)), Hardware().GetStdRGB(24));
    EXPECT_EQ(e->Description, "Amstrad CPC 384x272x2 Mode 1 Overscan image");
  }
  {
    // Plus words inside the file, no ".kit": white and red.
    TProbe p("o.scr", {{"o.scr", OverscanFile("o.scr", 0, true)}});
    TKvSourceEngine* e = p.Find(M0Ex);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetPaletteTypeCount(), 0);
    auto b = e->Decode();
    EXPECT_EQ(b->Palette->GetStdRGB(0), StdRGBColor(255, 255, 255));
    EXPECT_EQ(b->Palette->GetStdRGB(1), StdRGBColor(255, 0, 0));
    EXPECT_EQ(b->GetPixel(0, 0), 1);
  }
  {
    // A ".kit" overrides the embedded words; one above 4095 rejects the file.
    TKvAmstradCPCKitStream kit;
    kit.Body()[0] = 0xF0;
    auto good = Saved(kit, "o.kit");
    TProbe p("o.scr", {{"o.scr", OverscanFile("o.scr", 0, true)}, {"o.kit", good}});
    auto b = p.Find(M0Ex)->Decode();
    EXPECT_EQ(b->Palette->GetStdRGB(0), StdRGBColor(255, 0, 0));
    kit.Body()[1] = 0x10;
    TProbe q("o.scr", {{"o.scr", OverscanFile("o.scr", 0, true)}, {"o.kit", Saved(kit, "o.kit")}});
    EXPECT_TRUE(q.Cpc().empty());
  }
}

TEST(KvOpenPlatformAmstradCPC, PaletteBytesOutsideTheTable) {
  auto pal = PalFile(0, "a.pal");
  pal[128 + 3] = 0x41;        // pen 0: a second grey byte
  pal[128 + 3 + 12] = 0x20;   // pen 1: no colour at all
  TKvAmstradCPCPalStream fix(0, Hardware(), Pens({0}), 0);
  std::memcpy(fix.Body(), pal.data() + 128, 239);
  TProbe p("a.scr", {{"a.scr", ScrFile(0, "a.scr")}, {"a.pal", Saved(fix, "a.pal")}});
  auto b = p.Find(M0)->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(0), Hardware().GetStdRGB(13));
  EXPECT_EQ(b->Palette->GetStdRGB(1), Hardware().GetStdRGB(0));
}

// A ".pph" of type AType, width AWidth, with frames of AFrameLength bytes.
TFiles FramePair(uint8_t AType, int AWidth, int AFrameLength, const std::string& AExt = ".pph") {
  const TKvPalette256& pens = Pens({1, 2, 3, 4});
  const uint8_t t = AType == 3 ? 4 : AType;
  TKvAmstradCPCPphStream pph(t, static_cast<uint16_t>(AWidth), 272, Hardware(), pens);
  pph.Body()[0] = AType;
  if (AType != 5) pph.Body()[6 + 15] = 40;  // a pen number without a colour
  TFiles f;
  f["p" + AExt] = Saved(pph, "p" + AExt);
  for (const char* e : {"eve", "odd"}) {
    TKvAmstradCPCStream s(e, 0x4000, static_cast<uint16_t>(AFrameLength), 0, 2);
    s.Body()[0] = std::string(e) == "eve" ? 0x08 : 0xA0;  // mode 0 left pixels: pen 2 and pen 5
    f[std::string("p.") + e] = Saved(s, std::string("p.") + e);
  }
  return f;
}

TEST(KvOpenPlatformAmstradCPC, TwoFramePictures) {
  {
    TProbe p("p.pph", FramePair(4, 384, 26112));
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{B0}));
    EXPECT_EQ(p.Flags(B0), 11);
    TKvSourceEngine* e = p.Find(B0);
    EXPECT_EQ(e->Width, 192);
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixel(0, 0), 2 * 16 + 5);
    EXPECT_EQ(b->GetFrames()->GetBitmap(0)->GetPixel(0, 0), 2);
    EXPECT_EQ(b->GetFrames()->GetBitmap(1)->GetPixel(0, 0), 5);
    EXPECT_EQ(e->Palette2->GetStdRGB(15), Hardware().GetStdRGB(0));
    EXPECT_EQ(e->Palette2->GetStdRGB(2), Hardware().GetStdRGB(3));
  }
  {
    TProbe p("p.pph", FramePair(5, 384, 26112));
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{B1}));
    EXPECT_EQ(p.Find(B1)->Decode()->Width, 384);
  }
  {
    TProbe p("p.pph", FramePair(3, 200, 200 * 272 / 4));
    EXPECT_EQ(p.Cpc(), (std::vector<std::string>{MR}));
    TKvSourceEngine* e = p.Find(MR);
    auto b = e->Decode();
    EXPECT_EQ(b->Width, 201);
    EXPECT_EQ(e->Description, "Amstrad CPC 201x272x8 Mode R image");
  }
  {
    TProbe p("p.bin", FramePair(4, 384, 26112, ".bin"));
    EXPECT_EQ(p.Flags(B0), 9);
  }
}

TEST(KvOpenPlatformAmstradCPC, ModeFive) {
  std::vector<uint8_t> cm5(2049, 0x54), gfx(18432, 0);
  cm5[0] = 0x4B;      // pen 3: bright white
  cm5[1 + 8] = 0x4C;  // row 1, pen 2: bright red
  gfx[72] = 0x08;     // row 1, pixel 0: pen 2
  gfx[1] = 0x88;      // row 0, pixel 4: pen 3
  {
    TProbe p("m.cm5", {{"m.cm5", cm5}, {"m.gfx", gfx}});
    TKvSourceEngine* e = p.Find(M5);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->MatchFlags, 10);
    auto b = e->Decode();
    EXPECT_EQ(b->GetPixel(0, 1), 6);
    EXPECT_EQ(b->GetPixel(4, 0), 26);
    EXPECT_EQ(b->GetPixel(5, 0), 0);
  }
  TProbe q("m.cm5", {{"m.cm5", cm5}});
  EXPECT_EQ(q.Find(M5), nullptr);
}

TEST(KvOpenPlatformAmstradCPC, BadInput) {
  auto noCpc = [](const TProbe& p) { return p.Cpc(); };
  std::vector<std::pair<std::string, TFiles>> cases;
  {
    auto d = ScrFile(1, "a.scr");
    d.pop_back();
    cases.push_back({"16511 bytes", {{"a.scr", d}}});
  }
  {
    auto d = OverscanFile("a.scr", 1, false);
    d.push_back(0);
    cases.push_back({"32401 bytes", {{"a.scr", d}}});
  }
  {
    auto d = OverscanFile("a.scr", 1, false);
    d[67] ^= 1;
    cases.push_back({"checksum", {{"a.scr", d}}});
  }
  {
    auto pal = PalFile(1, "a.pal");
    pal[67] ^= 1;
    cases.push_back({"bad pal beside an overscan", {{"a.scr", OverscanFile("a.scr", 1, false)}, {"a.pal", pal}}});
  }
  cases.push_back({"empty", {{"a.scr", {}}}});
  cases.push_back({"pph width 388", FramePair(4, 388, 388 * 68)});
  cases.push_back({"pph width 382", FramePair(4, 382, 382 * 68)});
  {
    auto f = FramePair(4, 384, 26112);
    f["p.eve"].pop_back();
    cases.push_back({"short eve", f});
  }
  {
    auto f = FramePair(4, 384, 26112);
    f.erase("p.odd");
    cases.push_back({"no odd", f});
  }
  for (const auto& [what, files] : cases) {
    const std::string name = files.count("a.scr") ? "a.scr" : "p.pph";
    TProbe p(name, files);
    EXPECT_TRUE(noCpc(p).empty()) << what;
  }
  // An invalid ".pal" beside a standard screen leaves only the 16 KB reading.
  auto pal = PalFile(1, "a.pal");
  pal[128] = 7;
  TKvAmstradCPCPalStream fix(1, Hardware(), Pens({0}), 0);
  std::memcpy(fix.Body(), pal.data() + 128, 239);
  TProbe p("a.scr", {{"a.scr", ScrFile(1, "a.scr")}, {"a.pal", Saved(fix, "a.pal")}});
  EXPECT_EQ(p.Cpc(), (std::vector<std::string>{HGB}));
  EXPECT_EQ(p.Flags(HGB), 9);
}

TEST(KvOpenPlatformAmstradCPC, ScreenPensAbove26AreColourZero) {
  auto d = ScrFile(0, "a.scr");
  d[128 + 6097] = 27;
  d[128 + 6098] = 0xFF;
  // Keep the header valid: only the body changed.
  TProbe p("a.scr", {{"a.scr", d}});
  auto b = p.Find(M0)->Decode();
  EXPECT_EQ(b->Palette->GetStdRGB(0), Hardware().GetStdRGB(0));
  EXPECT_EQ(b->Palette->GetStdRGB(1), Hardware().GetStdRGB(0));
  EXPECT_EQ(b->Palette->GetStdRGB(2), Hardware().GetStdRGB(9));
  EXPECT_EQ(p.Find(M0)->Description, "Amstrad CPC 160x200x4 Mode 0 image");
}

}  // namespace
