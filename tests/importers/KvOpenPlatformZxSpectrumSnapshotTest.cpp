// Tape images and snapshots built here from the formats' rules, around
// screens written by the standard converter, open through the probe as their
// screens do; damaged ones are not offered.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/KvAppUnits.h"
#include "core/KvBitmap.h"
#include "importers/KvImporterUnits.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "importers/KvOpenPlatformZxSpectrumSnapshot.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "KvTestHarness.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Append(Bytes& b, const Bytes& a) { b.insert(b.end(), a.begin(), a.end()); }
void AppendText(Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

Bytes Deflate(const Bytes& a) {
  uLongf size = compressBound(static_cast<uLong>(a.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, a.data(), static_cast<uLong>(a.size()), 9), Z_OK);
  out.resize(size);
  return out;
}

// ---------------------------------------------------------------------------
// Screens from the standard converter.

Bytes ConvertScreen(uint32_t ASeed, bool ABlackAndWhite) {
  auto pic = GradientPicture(256, 192, ASeed);
  auto r = ConvertPicture(DestEngineClass<TKvZxSpectrumEngine>(), *pic,
                          [&](TKvDestEngineOptions& o) { o.SetPaletteMode(ABlackAndWhite ? pmBlackWhite : pmColor); });
  return Bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
}
const Bytes& ColorScr() {
  static const Bytes b = ConvertScreen(31, false);
  return b;
}
const Bytes& OtherScr() {
  static const Bytes b = ConvertScreen(32, false);
  return b;
}
const Bytes& BWScr() {
  static const Bytes b = ConvertScreen(33, true);
  return b;
}

// The 48K memory from 0x4000: the screen, then code-like filler with runs and
// 0xED bytes so that the run-length coder has work to do.
Bytes Memory48(const Bytes& AScr) {
  Bytes m(AScr);
  m.resize(49152);
  for (size_t i = AScr.size(); i < m.size(); ++i) m[i] = (i % 7 == 0) ? 0xED : (i / 64) % 3 == 0 ? 0 : i & 0xFF;
  return m;
}

// ---------------------------------------------------------------------------
// Containers.

Bytes TapBlock(uint8_t AFlag, const Bytes& APayload) {
  Bytes block{AFlag};
  Append(block, APayload);
  uint8_t x = 0;
  for (uint8_t c : block) x ^= c;
  block.push_back(x);
  Bytes b;
  Put16(b, static_cast<uint32_t>(block.size()));
  Append(b, block);
  return b;
}

Bytes TapHeaderPayload(size_t ALength) {
  Bytes h{3};
  AppendText(h, "picture   ");
  Put16(h, static_cast<uint32_t>(ALength));
  Put16(h, 16384);
  Put16(h, 32768);
  return h;
}

Bytes Tap(const Bytes& AScr) {
  Bytes t = TapBlock(0, TapHeaderPayload(AScr.size()));
  Append(t, TapBlock(255, AScr));
  return t;
}

Bytes TzxHeader(uint8_t AEnd = 0x1A) {
  Bytes t;
  AppendText(t, "ZXTape!");
  t.push_back(AEnd);
  t.push_back(1);
  t.push_back(20);
  return t;
}

// A standard-speed block holding a tape block (length word dropped).
Bytes TzxStandard(const Bytes& ATapBlock) {
  Bytes b{0x10};
  Put16(b, 1000);
  b.insert(b.end(), ATapBlock.begin(), ATapBlock.end());
  return b;
}

Bytes Tzx(const Bytes& AScr, const Bytes& ABefore = {}, uint8_t AEnd = 0x1A) {
  Bytes t = TzxHeader(AEnd);
  Append(t, ABefore);
  Append(t, TzxStandard(TapBlock(0, TapHeaderPayload(AScr.size()))));
  Append(t, TzxStandard(TapBlock(255, AScr)));
  return t;
}

Bytes Sp(const Bytes& AScr) {
  Bytes s;
  AppendText(s, "SP");
  Put16(s, 0xC000);
  Put16(s, 0x4000);
  s.resize(38, 0);
  s[6] = 0x12;  // a register or two, which the reader ignores
  s[36] = 0x80;
  Append(s, Memory48(AScr));
  return s;
}

Bytes Sna(const Bytes& AScr) {
  Bytes s(27, 0);
  s[0] = 0x3F;
  s[25] = 1;
  s[26] = 7;
  Append(s, Memory48(AScr));
  return s;
}

// The run-length code: runs of five or more, and any run of 0xED bytes of two
// or more, as 0xED 0xED count value; the byte after a lone 0xED is stored as
// it stands.
Bytes Z80Rle(const Bytes& AData) {
  Bytes out;
  size_t i = 0;
  while (i < AData.size()) {
    size_t n = 1;
    while (i + n < AData.size() && AData[i + n] == AData[i] && n < 255) ++n;
    if (n >= 5 || (AData[i] == 0xED && n >= 2)) {
      out.insert(out.end(), {0xED, 0xED, static_cast<uint8_t>(n), AData[i]});
      i += n;
    } else if (AData[i] == 0xED) {
      out.push_back(0xED);
      ++i;
      if (i < AData.size()) out.push_back(AData[i++]);
    } else {
      out.push_back(AData[i++]);
    }
  }
  return out;
}

Bytes Z80Header(uint16_t APc, uint8_t AFlags) {
  Bytes h(30, 0);
  h[6] = APc & 0xFF;
  h[7] = APc >> 8;
  h[12] = AFlags;
  return h;
}

Bytes Z80v1(const Bytes& AScr, bool ACompressed) {
  Bytes z = Z80Header(0x8000, ACompressed ? 0x20 | 0x0E : 0x0E);
  if (ACompressed) {
    Append(z, Z80Rle(Memory48(AScr)));
    z.insert(z.end(), {0x00, 0xED, 0xED, 0x00});
  } else {
    Append(z, Memory48(AScr));
  }
  return z;
}

Bytes Z80Page(uint8_t APage, const Bytes& AMemory, bool ACompressed) {
  Bytes b;
  const Bytes data = ACompressed ? Z80Rle(AMemory) : AMemory;
  Put16(b, ACompressed ? static_cast<uint32_t>(data.size()) : 0xFFFF);
  b.push_back(APage);
  Append(b, data);
  return b;
}

// A version-3 128K snapshot: page 8 (RAM page 5) holds AScr5 (stored), page
// 10 (RAM page 7) holds AScr7 (coded); APort is the last write to 0x7FFD.
Bytes Z80v3(const Bytes& AScr5, const Bytes& AScr7, uint8_t APort, uint8_t AMode = 4) {
  Bytes z = Z80Header(0, 0x0E);
  Put16(z, 54);
  Bytes extra(54, 0);
  extra[0] = 0x00;
  extra[1] = 0x80;  // PC
  extra[2] = AMode;
  extra[3] = APort;
  Append(z, extra);
  Append(z, Z80Page(3, Bytes(16384, 0x11), true));
  Bytes page7 = Memory48(AScr7);
  page7.resize(16384);
  Append(z, Z80Page(10, page7, true));
  Bytes page5 = AScr5;
  page5.resize(16384, 0);
  Append(z, Z80Page(8, page5, false));
  return z;
}

Bytes SzxBlock(const char* AId, const Bytes& ABody) {
  Bytes b;
  AppendText(b, AId);
  Put32(b, static_cast<uint32_t>(ABody.size()));
  Append(b, ABody);
  return b;
}

Bytes SzxRamp(uint8_t APage, const Bytes& AScr, bool ACompressed) {
  Bytes page = AScr;
  page.resize(16384, 0x22);
  Bytes body;
  Put16(body, ACompressed ? 1 : 0);
  body.push_back(APage);
  Append(body, ACompressed ? Deflate(page) : page);
  return SzxBlock("RAMP", body);
}

Bytes SzxSpcr(uint8_t APort) { return SzxBlock("SPCR", {7, APort, 0, 0, 0, 0, 0, 0}); }

Bytes SzxHeader() {
  Bytes s;
  AppendText(s, "ZXST");
  s.insert(s.end(), {1, 4, 2, 0});
  return s;
}

// Pages 5 and 7 hold AScr5 and AScr7; the blocks in ABefore come first.
Bytes Szx(const Bytes& AScr5, const Bytes& AScr7, bool ACompressed, const Bytes& ABefore = {},
          const Bytes& AAfter = {}) {
  Bytes s = SzxHeader();
  Append(s, SzxBlock("CRTR", Bytes(37, 0x41)));
  Append(s, ABefore);
  Append(s, SzxRamp(0, Bytes(), ACompressed));
  Append(s, SzxRamp(5, AScr5, ACompressed));
  Append(s, SzxRamp(7, AScr7, ACompressed));
  Append(s, AAfter);
  return s;
}

Bytes RzxBlock(uint8_t AId, const Bytes& ABody) {
  Bytes b{AId};
  Put32(b, static_cast<uint32_t>(ABody.size() + 5));
  Append(b, ABody);
  return b;
}

Bytes RzxCreator() {
  Bytes c;
  AppendText(c, "Test recorder");
  c.resize(20, 0);
  Put16(c, 1);
  Put16(c, 0);
  return RzxBlock(0x10, c);
}

Bytes RzxSnapshotBody(const char* AExt, const Bytes& ASnapshot, bool ACompressed, uint32_t AFlags = 0,
                      int64_t AUnpacked = -1) {
  Bytes body;
  Put32(body, AFlags | (ACompressed ? 2 : 0));
  Bytes ext(4, 0);
  std::memcpy(ext.data(), AExt, std::min<size_t>(4, std::strlen(AExt)));
  Append(body, ext);
  Put32(body, static_cast<uint32_t>(AUnpacked >= 0 ? AUnpacked : static_cast<int64_t>(ASnapshot.size())));
  Append(body, ACompressed ? Deflate(ASnapshot) : ASnapshot);
  return body;
}

Bytes RzxHeader() {
  Bytes r;
  AppendText(r, "RZX!");
  r.insert(r.end(), {0, 13});
  Put32(r, 0);
  return r;
}

Bytes Rzx(const Bytes& ASnapshotBody, const Bytes& ABefore = {}) {
  Bytes r = RzxHeader();
  Append(r, RzxCreator());
  Append(r, ABefore);
  Append(r, RzxBlock(0x30, ASnapshotBody));
  Append(r, RzxBlock(0x80, Bytes(40, 0x5A)));  // an input recording
  return r;
}

// ---------------------------------------------------------------------------
// The probe over the ZX screen importers and this unit's, in unit order.

const std::vector<const TKvSourceEngineClass*>& ZxClasses() {
  static const std::vector<const TKvSourceEngineClass*> all = [] {
    std::vector<const TKvSourceEngineClass*> v = ZxSpectrumSourceEngineClasses();
    for (const TKvSourceEngineClass* c : ZxSpectrumSnapshotSourceEngineClasses()) v.push_back(c);
    return v;
  }();
  return all;
}

// The ZX screen and container importers only, in unit order.
struct TProbe : TKvProbe {
  TProbe(const std::string& AName, TKvTestBytes ABytes) : TKvProbe(AName, std::move(ABytes), ZxClasses()) {}
};

// Decodes both engines under the same palette type and compares pixels and
// palettes.
void ExpectSameDecode(TKvSourceEngine& AEngine, TKvSourceEngine& AReference, TKvPaletteType AType) {
  SCOPED_TRACE(static_cast<int>(AType));
  AEngine.PaletteType = AType;
  AReference.PaletteType = AType;
  auto got = AEngine.Decode();
  auto want = AReference.Decode();
  ASSERT_TRUE(got && want);
  ASSERT_EQ(got->Width, want->Width);
  ASSERT_EQ(got->Height, want->Height);
  EXPECT_TRUE(got->Palette->SameColors(want->Palette.get()));
  EXPECT_TRUE(AEngine.Palette->SameColors(AReference.Palette.get()));
  EXPECT_EQ(CountIndexDiffs(*got, *want), 0);
}

// AContainer, named AName, is offered first by AClass with the flags AFlags
// and opens as the ".scr" file AScr does, under both palette types.
void ExpectOpensAs(const std::string& AName, const Bytes& AContainer, const std::string& AClass, const Bytes& AScr,
                   TKvMatchFlags AFlags = mfHeader | mfExtension | mfSize) {
  SCOPED_TRACE(AName);
  TProbe p(AName, AContainer);
  TProbe ref("picture.scr", AScr);
  ASSERT_NE(p.First(), nullptr);
  ASSERT_NE(ref.First(), nullptr);
  TKvSourceEngine& e = *p.First();
  TKvSourceEngine& r = *ref.First();
  EXPECT_EQ(e.ClassType().GetClassName(), AClass);
  EXPECT_EQ(e.MatchFlags, AFlags);
  EXPECT_EQ(e.Description, r.Description);
  EXPECT_EQ(e.Width, r.Width);
  EXPECT_EQ(e.Height, r.Height);
  EXPECT_EQ(e.Bits, r.Bits);
  EXPECT_EQ(e.PaletteTypes, r.PaletteTypes);
  EXPECT_EQ(e.PaletteType, r.PaletteType);
  EXPECT_EQ(e.ColorCount, r.ColorCount);
  ExpectSameDecode(e, r, r.PaletteType);
  if (!r.PaletteTypes.empty()) ExpectSameDecode(e, r, ptPulsar);
}

TEST(KvOpenPlatformZxSpectrumSnapshot, ScreensOpenFromEveryContainer) {
  const Bytes& scr = ColorScr();
  const Bytes& other = OtherScr();
  ASSERT_EQ(scr.size(), 6912u);
  ASSERT_NE(scr, other);
  ExpectOpensAs("x.tap", Tap(scr), "TKvZxSpectrumTAPEngine", scr);
  ExpectOpensAs("x.tzx", Tzx(scr), "TKvZxSpectrumTZXEngine", scr);
  ExpectOpensAs("x.tzx", Tzx(scr, {}, 0x00), "TKvZxSpectrumTZXEngine", scr);
  // A select block of length 5 (one entry) before the screen.
  ExpectOpensAs("x.tzx", Tzx(scr, {0x28, 5, 0, 1, 1, 0, 1, 'A'}), "TKvZxSpectrumTZXEngine", scr);
  ExpectOpensAs("x.sp", Sp(scr), "TKvZxSpectrumSPEngine", scr);
  ExpectOpensAs("x.sna", Sna(scr), "TKvZxSpectrumSNAEngine", scr);
  Bytes sna128 = Sna(scr);
  sna128.resize(131103, 0x33);
  ExpectOpensAs("x.sna", sna128, "TKvZxSpectrumSNAEngine", scr);
  ExpectOpensAs("x.z80", Z80v1(scr, false), "TKvZxSpectrumZ80Engine", scr);
  ExpectOpensAs("x.slt", Z80v1(scr, true), "TKvZxSpectrumZ80Engine", scr);
  ExpectOpensAs("x.z80", Z80v3(other, scr, 0x18), "TKvZxSpectrumZ80Engine", scr);
  ExpectOpensAs("x.z80", Z80v3(scr, other, 0x10), "TKvZxSpectrumZ80Engine", scr);
  // A 48K machine ignores the port.
  ExpectOpensAs("x.z80", Z80v3(scr, other, 0x18, 0), "TKvZxSpectrumZ80Engine", scr);
  ExpectOpensAs("x.szx", Szx(scr, other, true), "TKvZxSpectrumSZXEngine", scr);
  ExpectOpensAs("x.szx", Szx(scr, other, false), "TKvZxSpectrumSZXEngine", scr);
  ExpectOpensAs("x.szx", Szx(other, scr, true, SzxSpcr(0x08)), "TKvZxSpectrumSZXEngine", scr);
  ExpectOpensAs("x.szx", Szx(scr, other, false, {}, SzxSpcr(0x08)), "TKvZxSpectrumSZXEngine", scr);
  ExpectOpensAs("x.rzx", Rzx(RzxSnapshotBody("z80", Z80v1(scr, true), true)), "TKvZxSpectrumRZXEngine", scr);
  ExpectOpensAs("x.rzx", Rzx(RzxSnapshotBody("SNA", Sna(scr), false), RzxBlock(0x80, Bytes(9, 1))),
                "TKvZxSpectrumRZXEngine", scr);
}

TEST(KvOpenPlatformZxSpectrumSnapshot, TapeBitmapOpensInBlackAndWhite) {
  const Bytes& bw = BWScr();
  ASSERT_EQ(bw.size(), 6144u);
  ExpectOpensAs("x.tap", Tap(bw), "TKvZxSpectrumTAPEngine", bw);
  TProbe p("x.tap", Tap(bw));
  EXPECT_EQ(p.First()->Description, "ZX Spectrum 256x192x1 B/W image");
}

TEST(KvOpenPlatformZxSpectrumSnapshot, NestedSnapshotSeesItsOwnFile) {
  TProbe p("x.rzx", Rzx(RzxSnapshotBody("sna", Sna(ColorScr()), false)));
  auto* e = dynamic_cast<TKvBaseZxSpectrumSnapshotEngine*>(p.First());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Description, "ZX Spectrum 256x192x4 image");
  ASSERT_NE(e->GetInnerSource(), nullptr);
  EXPECT_EQ(e->GetInnerSource()->GetFileName(), "Snapshot.sna");
  EXPECT_EQ(e->GetInnerSource()->GetSize(), 49179);
  EXPECT_EQ(e->GetInnerEngine()->ClassType().GetClassName(), "TKvZxSpectrumSNAEngine");
  auto* sna = dynamic_cast<TKvBaseZxSpectrumSnapshotEngine*>(e->GetInnerEngine());
  ASSERT_NE(sna, nullptr);
  EXPECT_EQ(sna->GetInnerSource()->GetFileName(), "screen.scr");
  EXPECT_EQ(sna->GetInnerEngine()->ClassType().GetClassName(), "TKvZxSpectrumColorEngine");
}

TEST(KvOpenPlatformZxSpectrumSnapshot, RunLengthCodeRepeatsAndPassesLoneMarkers) {
  Bytes mem = Memory48(ColorScr());
  Bytes z = Z80Header(0x8000, 0x20);
  z.insert(z.end(), {0xED, 0xED, 0x05, 0xAA, 0xED, 0x00, 0xED, 0xED, 0x00, 0x77, 0x12});
  Bytes rest(mem.begin() + 8, mem.end());
  Append(z, Z80Rle(rest));
  TProbe p("x.z80", z);
  auto* e = dynamic_cast<TKvBaseZxSpectrumSnapshotEngine*>(p.First());
  ASSERT_NE(e, nullptr);
  const uint8_t* s = e->GetInnerSource()->GetData();
  EXPECT_EQ(Bytes(s, s + 8), (Bytes{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xED, 0x00, 0x12}));
  EXPECT_EQ(Bytes(s + 8, s + 6912), Bytes(mem.begin() + 8, mem.begin() + 6912));
  // Coded data that ends before the screen is complete.
  Bytes shortz = Z80Header(0x8000, 0x20);
  shortz.insert(shortz.end(), {0xED, 0xED, 0xFF, 0x00, 0xED, 0xED, 0x00, 0x00});
  Append(shortz, Bytes(6912 - 256, 0x01));
  EXPECT_EQ(TProbe("x.z80", shortz).Classes(), std::vector<std::string>{});
}

TEST(KvOpenPlatformZxSpectrumSnapshot, ProbeRanksContainers) {
  const Bytes& scr = ColorScr();
  using Names = std::vector<std::string>;
  Bytes badTap = Tap(scr);
  badTap[2 + 18] ^= 1;  // the header block's checksum
  // The screen only in a pure-data block.
  Bytes pure = TzxHeader();
  pure.insert(pure.end(), {0x14, 0, 8, 0, 0, 0, 0, 0});
  {
    Bytes data = TapBlock(255, scr);
    Put16(pure, static_cast<uint32_t>(data.size() - 2));
    pure.push_back(0);
    pure.insert(pure.end(), data.begin() + 2, data.end());
  }
  Bytes sna49180 = Sna(scr);
  sna49180.push_back(0);
  // The 128K forms: the 48K part, then the paging state and the other pages.
  Bytes sna128k = Sna(scr);
  sna128k.resize(131103, 0x33);
  Bytes sna128kPaged = Sna(scr);
  sna128kPaged.resize(147487, 0x44);
  Bytes sp16k = Sp(scr);
  sp16k.resize(38 + 0x4000);
  sp16k[3] = 0x40;
  struct Case {
    const char* Name;
    Bytes Data;
    Names Expected;
    TKvMatchFlags Flags;
  } cases[] = {
      {"x.tap", Tap(scr), {"TKvZxSpectrumTAPEngine"}, 11},
      {"x.bin", Tap(scr), {}, 0},
      {"x.tap", badTap, {}, 0},
      {"x.tzx", Tzx(scr), {"TKvZxSpectrumTZXEngine"}, 11},
      {"x.dat", Tzx(scr), {"TKvZxSpectrumTZXEngine"}, 9},
      {"x.tzx", pure, {}, 0},
      {"x.sna", Sna(scr), {"TKvZxSpectrumSNAEngine"}, 11},
      {"x.dat", Sna(scr), {}, 0},
      {"x.sna", sna49180, {}, 0},
      {"x.sna", sna128k, {"TKvZxSpectrumSNAEngine"}, 11},
      {"x.sna", sna128kPaged, {"TKvZxSpectrumSNAEngine"}, 11},
      {"x.z80", Z80v1(scr, true), {"TKvZxSpectrumZ80Engine"}, 11},
      {"x.slt", Z80v3(scr, scr, 0), {"TKvZxSpectrumZ80Engine"}, 11},
      {"x.dat", Z80v1(scr, false), {}, 0},
      {"x.sp", Sp(scr), {"TKvZxSpectrumSPEngine"}, 11},
      {"x.sp", sp16k, {"TKvZxSpectrumSPEngine"}, 11},
      {"x.dat", Sp(scr), {"TKvZxSpectrumSPEngine"}, 9},
      {"x.szx", Szx(scr, scr, true), {"TKvZxSpectrumSZXEngine"}, 11},
      {"x.dat", Szx(scr, scr, true), {"TKvZxSpectrumSZXEngine"}, 9},
      {"x.rzx", Rzx(RzxSnapshotBody("z80", Z80v1(scr, true), true)), {"TKvZxSpectrumRZXEngine"}, 11},
      {"x.dat", Rzx(RzxSnapshotBody("z80", Z80v1(scr, true), true)), {"TKvZxSpectrumRZXEngine"}, 9},
  };
  for (const Case& c : cases) {
    TProbe p(c.Name, c.Data);
    EXPECT_EQ(p.Classes(), c.Expected) << c.Name << " " << c.Data.size();
    if (p.First()) {
      EXPECT_EQ(p.First()->MatchFlags, c.Flags) << c.Name;
    }
  }
}

// Each row: a container that must not be offered.
TEST(KvOpenPlatformZxSpectrumSnapshot, BadStructuresAreNotOffered) {
  const Bytes& scr = ColorScr();
  const Bytes z80 = Z80v1(scr, true);
  struct Case {
    const char* What;
    const char* Name;
    Bytes Data;
  };
  std::vector<Case> cases = {
      {"unknown TZX block", "x.tzx", Tzx(scr, {0x4B, 0, 0, 0, 0})},
      {"SZX without page 5", "x.szx", [&] {
         Bytes s = SzxHeader();
         Append(s, SzxRamp(7, scr, false));
         return s;
       }()},
      {"SZX page 7 wanted but absent", "x.szx", [&] {
         Bytes s = SzxHeader();
         Append(s, SzxSpcr(0x08));
         Append(s, SzxRamp(5, scr, true));
         return s;
       }()},
      {"SZX stored page too short", "x.szx", [&] {
         Bytes s = SzxHeader();
         Bytes body{0, 0, 5};
         Append(body, Bytes(6911, 0));
         Append(s, SzxBlock("RAMP", body));
         Append(s, SzxBlock("CRTR", Bytes(37, 0)));
         return s;
       }()},
      {"SZX empty compressed page", "x.szx", [&] {
         Bytes s = SzxHeader();
         Append(s, SzxBlock("RAMP", {1, 0, 5}));
         return s;
       }()},
      {"RZX external snapshot", "x.rzx", Rzx(RzxSnapshotBody("z80", z80, false, 1))},
      {"RZX unknown extension", "x.rzx", Rzx(RzxSnapshotBody("tap", Tap(scr), false))},
      {"RZX zero length", "x.rzx", Rzx(RzxSnapshotBody("z80", z80, true, 0, 0))},
      {"RZX short creator", "x.rzx", [&] {
         Bytes r = RzxHeader();
         Append(r, RzxBlock(0x10, Bytes(23, 0)));
         Append(r, RzxBlock(0x30, RzxSnapshotBody("z80", z80, true)));
         return r;
       }()},
      {"RZX SNA of the wrong size", "x.rzx", [&] {
         Bytes sna = Sna(scr);
         sna.pop_back();
         return Rzx(RzxSnapshotBody("sna", sna, false));
       }()},
      {"RZX wrong unpacked length", "x.rzx", Rzx(RzxSnapshotBody("z80", z80, true, 0, z80.size() + 1))},
  };
  for (const Case& c : cases) EXPECT_EQ(TProbe(c.Name, c.Data).Classes(), std::vector<std::string>{}) << c.What;
}

// Lengths read from 32-bit fields are unsigned counts: one beyond the file,
// however large, ends the walk, and never steps backwards.
TEST(KvOpenPlatformZxSpectrumSnapshot, HugeLengthsEndTheWalk) {
  const Bytes& scr = ColorScr();
  for (uint8_t id : {0x16, 0x17, 0x18, 0x19, 0x2A, 0x2B, 0x35}) {
    for (uint32_t length : {0u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
      Bytes block{id};
      if (id == 0x35) Append(block, Bytes(16, 'x'));
      Put32(block, length);
      TProbe p("x.tzx", Tzx(scr, block));
      EXPECT_EQ(p.Classes().size(), length == 0 ? 1u : 0u) << int(id) << " " << length;
    }
  }
  for (uint32_t size : {0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
    for (const char* id : {"CRTR", "SPCR", "RAMP"}) {
      Bytes s = SzxHeader();
      AppendText(s, id);
      Put32(s, size);
      Bytes body{0, 0, 0, 0};
      Append(s, body);
      Append(s, SzxRamp(5, scr, false));
      EXPECT_EQ(TProbe("x.szx", s).Classes(), std::vector<std::string>{}) << id << " " << size;
    }
    Bytes r = RzxHeader();
    r.push_back(0x80);
    Put32(r, size);
    Append(r, Bytes(4, 0));
    Append(r, RzxBlock(0x30, RzxSnapshotBody("z80", Z80v1(scr, true), true)));
    EXPECT_EQ(TProbe("x.rzx", r).Classes(), std::vector<std::string>{}) << size;
  }
  // A block length below its own header.
  Bytes r = RzxHeader();
  r.push_back(0x80);
  Put32(r, 4);
  Append(r, RzxBlock(0x30, RzxSnapshotBody("z80", Z80v1(scr, true), true)));
  EXPECT_EQ(TProbe("x.rzx", r).Classes(), std::vector<std::string>{});
  // Unpacked lengths no file source could hold are refused before anything
  // is allocated.
  const Bytes z80 = Z80v1(scr, true);
  for (size_t u : {0x9FFFFFu, 0xA00000u}) {
    Bytes padded = Z80v1(scr, false);
    padded.resize(u, 0);
    EXPECT_EQ(TProbe("x.rzx", Rzx(RzxSnapshotBody("z80", padded, true))).Classes().size(), u < 0xA00000 ? 1u : 0u);
  }
  for (uint32_t u : {0xA00000u, 0x7FFFFFFFu, 0xFFFFFFFFu})
    EXPECT_EQ(TProbe("x.rzx", Rzx(RzxSnapshotBody("z80", z80, true, 0, u))).Classes(), std::vector<std::string>{})
        << u;
}

struct TSample {
  const char* Name;
  Bytes Data;
  size_t ScreenAt;  // where the screen (or its packed stream) starts
  bool Plain;       // the screen lies there as it stands
};

std::vector<TSample> Samples() {
  const Bytes& scr = ColorScr();
  const Bytes z80 = Z80v1(scr, true);
  const size_t rzxAt = RzxHeader().size() + RzxCreator().size() + 5 + 12;
  auto szxAt = [&](bool ACompressed) {
    return SzxHeader().size() + 45 + SzxRamp(0, Bytes(), ACompressed).size() + 8 + 3;
  };
  return {
      {"x.tap", Tap(scr), 2 + 19 + 3, true},
      {"x.tzx", Tzx(scr), 10 + 24 + 6, true},
      {"x.sp", Sp(scr), 38, true},
      {"x.sna", Sna(scr), 27, true},
      {"x.z80", Z80v1(scr, false), 30, true},
      {"x.z80", z80, 30, false},
      {"x.z80", Z80v3(OtherScr(), scr, 0x18), 30 + 2 + 54, false},
      {"x.szx", Szx(scr, scr, true), szxAt(true), false},
      {"x.szx", Szx(scr, scr, false), szxAt(false), true},
      {"x.rzx", Rzx(RzxSnapshotBody("z80", z80, true)), rzxAt, false},
      {"x.rzx", Rzx(RzxSnapshotBody("sna", Sna(scr), false)), rzxAt + 27, true},
  };
}

// Offered engines must decode whatever they accepted.
void ProbeAndDecode(const std::string& AName, const Bytes& AData, size_t& AOffered) {
  TProbe p(AName, AData);
  for (int i = 0; i < p.List->GetCount(); ++i) {
    TKvSourceEngine* e = p.List->GetEngine(i);
    if (!dynamic_cast<TKvBaseZxSpectrumSnapshotEngine*>(e)) continue;
    ++AOffered;
    auto b = e->Decode();
    EXPECT_TRUE(b);
  }
}

TEST(KvOpenPlatformZxSpectrumSnapshot, TruncatedContainersAreNotOffered) {
  for (const TSample& s : Samples()) {
    SCOPED_TRACE(std::string(s.Name) + " " + std::to_string(s.Data.size()));
    // Every cut inside the structure before the screen, one byte into it,
    // one byte short of it, and cuts across the rest.
    const size_t needed = s.Plain ? s.ScreenAt + 6912 : s.ScreenAt + 2;
    std::vector<size_t> cuts;
    for (size_t n = 0; n <= s.ScreenAt + 1; ++n) cuts.push_back(n);
    cuts.push_back(s.ScreenAt + 6911);
    for (size_t n = s.ScreenAt + 1; n < s.Data.size(); n += 509) cuts.push_back(n);
    size_t whole = 0;
    ProbeAndDecode(s.Name, s.Data, whole);
    EXPECT_EQ(whole, 1u);
    for (size_t n : cuts) {
      if (n >= s.Data.size()) continue;
      size_t offered = 0;
      ProbeAndDecode(s.Name, Bytes(s.Data.begin(), s.Data.begin() + static_cast<ptrdiff_t>(n)), offered);
      if (n < needed) {
        EXPECT_EQ(offered, 0u) << "cut at " << n;
      }
    }
  }
}

TEST(KvOpenPlatformZxSpectrumSnapshot, CorruptContainersNeverCrash) {
  uint32_t seed = 7;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (const TSample& s : Samples()) {
    SCOPED_TRACE(s.Name);
    size_t offered = 0;
    for (int round = 0; round < 60; ++round) {
      Bytes d = s.Data;
      // Damage a few bytes, mostly in the headers and block structure.
      for (int k = 0; k < 3; ++k) {
        const size_t at = (next() >> 8) % std::min<size_t>(d.size(), round % 2 ? d.size() : s.ScreenAt + 16);
        d[at] = static_cast<uint8_t>(next() >> 24);
      }
      ProbeAndDecode(s.Name, d, offered);
    }
    size_t unused = 0;
    ProbeAndDecode(s.Name, Bytes(), unused);
    ProbeAndDecode(s.Name, Bytes(200000, 0xED), unused);
  }
}

TEST(KvOpenPlatformZxSpectrumSnapshot, UnitRegistersAfterTheScreenUnit) {
  const auto& units = ImporterUnits().Units();
  auto at = [&](const char* name) {
    return std::find_if(units.begin(), units.end(), [&](const TKvUnitEntry& u) { return std::string(u.Name) == name; });
  };
  ASSERT_NE(at("KvOpenPlatformZxSpectrumSnapshot"), units.end());
  EXPECT_EQ(at("KvOpenPlatformZxSpectrumSnapshot") - at("KvOpenPlatformZxSpectrum"), 1);

  InitializeAppCore();
  const size_t before = SourceEngineClasses().size();
  InitKvOpenPlatformZxSpectrumSnapshot();
  const auto& all = SourceEngineClasses();
  const auto& mine = ZxSpectrumSnapshotSourceEngineClasses();
  ASSERT_EQ(all.size(), before + 7);
  const char* order[] = {"TKvZxSpectrumTAPEngine", "TKvZxSpectrumTZXEngine", "TKvZxSpectrumSZXEngine",
                         "TKvZxSpectrumRZXEngine", "TKvZxSpectrumSPEngine",  "TKvZxSpectrumSNAEngine",
                         "TKvZxSpectrumZ80Engine"};
  for (size_t i = 0; i < mine.size(); ++i) {
    EXPECT_EQ(all[before + i], mine[i]);
    EXPECT_EQ(mine[i]->GetClassName(), order[i]);
  }
}

}  // namespace
