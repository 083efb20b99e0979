// The CPC converters: registration, the files they write and the pair colour
// choice of the two-frame modes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/KvImage.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformAmstradCPC.h"
#include "KvTestHarness.h"
#include "rtl/KvSysUtils.h"

namespace {

// A little-endian word of a header or body the converter wrote.
uint16_t WordAt(const uint8_t* AData, int AOffset) { return TKvBytes(AData + AOffset, 2).Le16(0); }

TKvAmstradCPCStream& Cpc(TKvStream* s) { return dynamic_cast<TKvAmstradCPCStream&>(*s); }

TEST(KvSavePlatformAmstradCPC, RegisteredModesInOrder) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  const int p = list.IndexOf("Amstrad CPC");
  ASSERT_GE(p, 0);
  const std::vector<std::string> want = {"0 160x200x4", "0 192x272x4 overscan", "1 320x200x2",
                                         "1 384x272x2 overscan", "2 640x200x1", "2 768x272x1 overscan",
                                         "2 512x256x1", "B0 192x272x8", "B1 384x272x4"};
  ASSERT_EQ(list.GetSubTypes(p).GetCount(), static_cast<int>(want.size()));
  for (int i = 0; i < static_cast<int>(want.size()); ++i) EXPECT_EQ(list.GetSubTypes(p).GetString(i), want[static_cast<size_t>(i)]);
}

TEST(KvSavePlatformAmstradCPC, OptionsKeepTheirSize) {
  auto o = DestEngineClass<TKvAmstradCPCMode1ExEngine>().Create()->CreateOptions();
  EXPECT_EQ(o->GetWidth(), 384);
  EXPECT_EQ(o->GetHeight(), 272);
  o->SetWidth(100);
  EXPECT_EQ(o->GetWidth(), 384);
  EXPECT_EQ(o->PaletteMode, pmColorBright);
  EXPECT_LE(o->GetPalette()->Count, 16);
  o->SetPaletteType(ptCPCPlus);
  o->SetPaletteMode(pmGray);
  o->UpdatePalette();
  EXPECT_EQ(o->GetPalette()->Count, 16);
  EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 4096);
  o->SetPaletteType(ptCPCASIC);
  o->SetPaletteMode(pmColor);
  o->UpdatePalette();
  EXPECT_EQ(o->GetPalette()->Count, 27);
  EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 27);
  o->SetPaletteMode(pm8Colors);
  EXPECT_THROW(o->UpdatePalette(), EOSError);
  auto hgb = DestEngineClass<TKvAmstradCPCMode2HGBEngine>().Create()->CreateOptions();
  EXPECT_FALSE(hgb->WriteFileHeader);
}

TEST(KvSavePlatformAmstradCPC, StandardScreenFile) {
  auto pic = GradientPicture(160, 200, 5);
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode0Engine>(), *pic);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  TKvAmstradCPCStream& scr = Cpc(r.Streams->GetStream(0));
  EXPECT_EQ(scr.GetExtension(), "scr");
  EXPECT_EQ(scr.GetSize(), 16512);
  ASSERT_EQ(scr.GetSubStreamCount(), 1);
  EXPECT_EQ(scr.GetSubStream(0)->GetExtension(), "pal");
  EXPECT_EQ(scr.GetSubStream(0)->GetSize(), 367);
  const uint8_t* b = scr.Body();
  EXPECT_EQ(b[6096], 0);
  EXPECT_EQ(b[2000], 0x3A);
  EXPECT_EQ(b[2035], 0xBB);
  EXPECT_EQ(WordAt(scr.Header(), 21), 0xC000);
  EXPECT_EQ(WordAt(scr.Header(), 26), 0xC7D0);
  // The pens of the display block and of the ".pal" agree.
  const uint8_t* pal = Cpc(scr.GetSubStream(0)).Body();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(CPCFirmwareToHardware[b[6097 + i]], pal[3 + 12 * i]);
}

TEST(KvSavePlatformAmstradCPC, Mode2Pens) {
  auto pic = SolidPicture(640, 200, 0xFFFFFF);
  *pic->GetPixelPtr(0, 0) = 0xFF000000u;
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode2Engine>(), *pic,
                          [](TKvDestEngineOptions& o) { o.SetErrorDiffusion(0); });
  const uint8_t* b = Cpc(r.Streams->GetStream(0)).Body();
  EXPECT_EQ(b[6097], 0);
  EXPECT_EQ(b[6098], 26);
  for (int i = 2; i < 16; ++i) EXPECT_EQ(b[6097 + i], 0);
  const uint8_t* pal = Cpc(r.Streams->GetStream(0)->GetSubStream(0)).Body();
  EXPECT_EQ(pal[3 + 12 * 2], 0x40);
  EXPECT_EQ(b[0], 0x7F);  // the black pixel at the left
  EXPECT_EQ(b[79], 0xFF);
  EXPECT_EQ(b[2048], 0xFF);
}

TEST(KvSavePlatformAmstradCPC, BlackWhiteModeUsesBlackAndBrightWhite) {
  auto pic = GradientPicture(160, 200, 9);
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode0Engine>(), *pic, [](TKvDestEngineOptions& o) {
    o.SetPaletteMode(pmBlackWhite);
    o.UpdatePalette();
  });
  const uint8_t* b = Cpc(r.Streams->GetStream(0)).Body();
  EXPECT_EQ(b[6097], 0);
  EXPECT_EQ(b[6098], 26);
}

TEST(KvSavePlatformAmstradCPC, OverscanFiles) {
  auto pic = GradientPicture(384, 272, 3);
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode1ExEngine>(), *pic);
  TKvAmstradCPCStream& scr = Cpc(r.Streams->GetStream(0));
  EXPECT_EQ(scr.GetSize(), 32400);
  EXPECT_EQ(scr.Header()[18], 0);
  EXPECT_EQ(WordAt(scr.Header(), 21), 0x0170);
  EXPECT_EQ(scr.Body()[20], 0x0F);
  EXPECT_EQ(scr.Body()[60], 0);
  EXPECT_EQ(std::memcmp(scr.Body(), CPCOverscanLoader, 20), 0);
  ASSERT_EQ(scr.GetSubStreamCount(), 1);
  EXPECT_EQ(scr.GetSubStream(0)->GetExtension(), "pal");
  for (int i = 4; i < 16; ++i) EXPECT_EQ(scr.Body()[32144 + i], 0x54);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(scr.Body()[1681 + i], 0);

  // CPC Plus: a white picture gives a white pen word in the ".kit" and the
  // file, and no colour bytes.
  auto white = SolidPicture(192, 272, 0xFFFFFF);
  auto p = ConvertPicture(DestEngineClass<TKvAmstradCPCMode0ExEngine>(), *white, [](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptCPCPlus);
    o.SetPaletteMode(pmCustom);
    o.UpdatePalette();
  });
  TKvAmstradCPCStream& plus = Cpc(p.Streams->GetStream(0));
  EXPECT_EQ(plus.Body()[20], 0x0E);
  EXPECT_EQ(plus.Body()[60], 1);
  ASSERT_EQ(plus.GetSubStreamCount(), 1);
  TKvAmstradCPCStream& kit = Cpc(plus.GetSubStream(0));
  EXPECT_EQ(kit.GetExtension(), "kit");
  EXPECT_EQ(kit.GetSize(), 160);
  EXPECT_EQ(std::memcmp(kit.Body(), plus.Body() + 1681, 32), 0);
  bool white_word = false;
  for (int i = 0; i < 16; ++i) white_word |= WordAt(kit.Body(), 2 * i) == 0x0FFF;
  EXPECT_TRUE(white_word);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(plus.Body()[32144 + i], 0);
}

TEST(KvSavePlatformAmstradCPC, HgbWithAndWithoutHeader) {
  auto pic = GradientPicture(512, 256, 4);
  for (bool header : {false, true}) {
    auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode2HGBEngine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetWriteFileHeader(header); });
    TKvStream* s = r.Streams->GetStream(0);
    EXPECT_EQ(s->GetExtension(), "hgb");
    EXPECT_EQ(s->GetSize(), header ? 16512 : 16384);
    if (header) {
      const uint8_t* h = s->GetMemory();
      EXPECT_EQ(h[18], 2);
      EXPECT_EQ(WordAt(h, 21), 0);
      EXPECT_EQ(WordAt(h, 26), 0);
      EXPECT_EQ(WordAt(h, 24), 16384);
    }
  }
}

TEST(KvSavePlatformAmstradCPC, TwoFrameFiles) {
  for (bool b0 : {true, false}) {
    auto pic = GradientPicture(b0 ? 192 : 384, 272, 6);
    auto r = b0 ? ConvertPicture(DestEngineClass<TKvAmstradCPCModeB0Engine>(), *pic)
                : ConvertPicture(DestEngineClass<TKvAmstradCPCModeB1Engine>(), *pic);
    TKvAmstradCPCStream& pph = Cpc(r.Streams->GetStream(0));
    EXPECT_EQ(pph.GetSize(), b0 ? 150 : 138);
    EXPECT_EQ(pph.Body()[0], b0 ? 4 : 5);
    EXPECT_EQ(WordAt(pph.Body(), 1), 384);
    EXPECT_EQ(WordAt(pph.Body(), 3), 272);
    EXPECT_EQ(WordAt(pph.Header(), 21), 0x2CE0);
    ASSERT_EQ(pph.GetSubStreamCount(), 2);
    EXPECT_EQ(pph.GetSubStream(0)->GetExtension(), "eve");
    EXPECT_EQ(pph.GetSubStream(1)->GetExtension(), "odd");
    EXPECT_EQ(pph.GetSubStream(0)->GetSize(), 26240);
    EXPECT_EQ(pph.GetSubStream(1)->GetSize(), 26240);
    // The result palette is the table of pen pairs.
    EXPECT_EQ(r.Options->GetPalette()->Count, b0 ? 256 : 64);
  }
}

TEST(KvSavePlatformAmstradCPC, FramePairScreenSplitsValues) {
  std::vector<uint8_t> e(96 * 2), d(96 * 2);
  TKvAmstradCPCModeB0Screen s(192, 2, e.data(), d.data(), 16);
  s.SetPixel(0, 1, 37);
  EXPECT_EQ(GetCPCMode0Pixel(e[96], 0), 2);
  EXPECT_EQ(GetCPCMode0Pixel(d[96], 0), 5);
  s.MirrorX = true;
  s.SetPixel(0, 0, 3 * 16 + 1);
  EXPECT_EQ(GetCPCMode0Pixel(e[95], 1), 3);
  EXPECT_EQ(GetCPCMode0Pixel(d[95], 1), 1);
  EXPECT_EQ(GetCPCMode0Pixel(e[95], 0), 0);
}

TEST(KvSavePlatformAmstradCPC, ChoosePairColors) {
  TKvPalette256 base;
  BuildCPCPalette(base, ptCPCGateArrayRGB);
  TKvCPCPairHistogram h{};
  TKvPalette256 p;
  ChooseCPCPairColors(h, 16, base, p);
  EXPECT_EQ(p.Count, 0);

  // Eight disjoint pairs, each adding two colours.
  for (int k = 0; k < 9; ++k) h[static_cast<size_t>((2 * k) * 27 + 2 * k + 1)] = 100 - k;
  ChooseCPCPairColors(h, 16, base, p);
  EXPECT_EQ(p.Count, 16);
  EXPECT_LT(p.IndexOfStdRGB(base.GetStdRGB(16)), 0);  // the ninth pair is left out
  EXPECT_GE(p.IndexOfStdRGB(base.GetStdRGB(15)), 0);

  // A pair already present adds nothing but is used up.
  TKvCPCPairHistogram g{};
  g[0 * 27 + 1] = 50;
  g[2 * 27 + 2] = 10;
  TKvPalette256 q;
  q.AddStdRGB(base.GetStdRGB(0));
  q.AddStdRGB(base.GetStdRGB(1));
  ChooseCPCPairColors(g, 3, base, q);
  EXPECT_EQ(q.Count, 3);
  EXPECT_EQ(g[1], 0u);
}

TEST(KvSavePlatformAmstradCPC, B0WithSixteenFixedColoursKeepsThem) {
  TKvPalette256 hw;
  BuildCPCPalette(hw, ptCPCGateArray);
  TKvPalette256 fixed;
  for (int k = 0; k < 16; ++k) fixed.AddStdRGB(hw.GetStdRGB(k + 5));
  auto pic = GradientPicture(192, 272, 8);
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCModeB0Engine>(), *pic,
                          [&](TKvDestEngineOptions& o) { o.SetFixedPalette(&fixed); });
  const uint8_t* body = Cpc(r.Streams->GetStream(0)).Body();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(body[6 + i], i + 5);
}

TEST(KvSavePlatformAmstradCPC, LargerPictureIsRefused) {
  auto pic = GradientPicture(161, 200, 1);
  EXPECT_THROW(ConvertPicture(DestEngineClass<TKvAmstradCPCMode0Engine>(), *pic), EOSError);
}

}  // namespace

namespace {

TEST(KvSavePlatformAmstradCPC, SameFilesOnOneAndManyProcessors) {
  auto pic0 = GradientPicture(160, 200, 21);
  auto picB = GradientPicture(192, 272, 22);
  std::vector<uint8_t> first[2];
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    auto a = ConvertPicture(DestEngineClass<TKvAmstradCPCMode0Engine>(), *pic0);
    auto b = ConvertPicture(DestEngineClass<TKvAmstradCPCModeB0Engine>(), *picB);
    std::vector<uint8_t> bytes[2] = {
        std::vector<uint8_t>(a.Bytes(0), a.Bytes(0) + a.Size(0)),
        std::vector<uint8_t>(b.Streams->GetStream(0)->GetSubStream(0)->GetMemory(),
                             b.Streams->GetStream(0)->GetSubStream(0)->GetMemory() + 26240)};
    for (int k = 0; k < 2; ++k) {
      if (n == 1)
        first[k] = bytes[k];
      else
        EXPECT_EQ(bytes[k], first[k]) << k;
    }
  }
}

TEST(KvSavePlatformAmstradCPC, MirroredRowsStartAtTheRight) {
  std::vector<uint8_t> body(16384);
  TKvAmstradCPCMode1Screen s(320, 200, body.data());
  s.MirrorX = true;
  s.SetPixel(0, 9, 3);
  EXPECT_EQ(body[2048 + 80 + 79], 0x11);
  std::vector<uint8_t> over(32272);
  TKvAmstradCPCMode2ExScreen o(768, 272, over.data());
  o.MirrorX = true;
  o.SetPixel(0, 271, 1);
  EXPECT_EQ(over[CPCOverscanRowOffset(271) + 95], 0x01);
}

TEST(KvSavePlatformAmstradCPC, Panels) {
  auto find = [](const TKvDestEngineUIEx& AUI, TKvPanelSectionKind AKind) -> const TKvPanelSection* {
    for (const auto& s : AUI.GetSections())
      if (s.Kind == AKind) return &s;
    return nullptr;
  };
  auto o = DestEngineClass<TKvAmstradCPCMode0ExEngine>().Create()->CreateOptions();
  auto ui = DestEngineClass<TKvAmstradCPCMode0ExEngine>().Create()->CreateUI(o.get());
  auto& ex = dynamic_cast<TKvAmstradCPCPaletteUI&>(*ui);
  const TKvPanelSection* kinds = find(ex, TKvPanelSectionKind::CustomPaletteComboBox);
  ASSERT_NE(kinds, nullptr);
  EXPECT_EQ(kinds->Items, (std::vector<int>{16, 17, 18, 19, 20}));
  EXPECT_EQ(find(ex, TKvPanelSectionKind::PaletteMode)->Set,
            PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom).Bits);
  TKvPalette256 scratch;
  int columns = 0;
  EXPECT_EQ(ex.GetEditedPalette(scratch, columns)->GetCount(), 27);
  EXPECT_EQ(columns, 9);
  EXPECT_TRUE(ex.CanEditPalette());
  o->SetPaletteType(ptCPCPlus);
  EXPECT_FALSE(ex.CanEditPalette());

  auto ob = DestEngineClass<TKvAmstradCPCModeB1Engine>().Create()->CreateOptions();
  auto uib = DestEngineClass<TKvAmstradCPCModeB1Engine>().Create()->CreateUI(ob.get());
  auto& b1 = dynamic_cast<TKvDestEngineUIEx&>(*uib);
  EXPECT_EQ(find(b1, TKvPanelSectionKind::CustomPaletteComboBox)->Items, (std::vector<int>{16, 17, 18, 19}));
  EXPECT_NE(find(b1, TKvPanelSectionKind::MaxFlickering), nullptr);
  EXPECT_EQ(find(b1, TKvPanelSectionKind::DestPalette)->Rows, 4);

  auto oh = DestEngineClass<TKvAmstradCPCMode2HGBEngine>().Create()->CreateOptions();
  auto uih = DestEngineClass<TKvAmstradCPCMode2HGBEngine>().Create()->CreateUI(oh.get());
  const TKvPanelSection* header = find(dynamic_cast<TKvDestEngineUIEx&>(*uih), TKvPanelSectionKind::FileFormatCheckBox);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->Caption, "AMSDos header");
}

}  // namespace

namespace {

TEST(KvSavePlatformAmstradCPC, BrightModeKeepsToTheBrightColours) {
  TKvPalette256 bright;
  BuildCPCBrightPalette(bright, ptCPCGateArray);
  auto pic = GradientPicture(320, 200, 23);
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode1Engine>(), *pic);
  const uint8_t* b = Cpc(r.Streams->GetStream(0)).Body();
  TKvPalette256 hw;
  BuildCPCPalette(hw, ptCPCGateArray);
  for (int i = 0; i < 4; ++i) EXPECT_GE(bright.IndexOfStdRGB(hw.GetStdRGB(b[6097 + i])), 0) << i;
}

TEST(KvSavePlatformAmstradCPC, PlusRedPen) {
  auto red = SolidPicture(384, 272, 0xFF0000);
  auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode1ExEngine>(), *red, [](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptCPCPlus);
    o.SetPaletteMode(pmColor);
    o.UpdatePalette();
  });
  const uint8_t* b = Cpc(r.Streams->GetStream(0)).Body();
  bool found = false;
  for (int i = 0; i < 4; ++i) found |= b[1681 + 2 * i] == 0xF0 && b[1682 + 2 * i] == 0x00;
  EXPECT_TRUE(found);
}

}  // namespace
