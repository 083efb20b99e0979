// The Profi ".grf" header routines and the converter's files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/KvCellWavefront.h"
#include "core/KvThreadJob.h"
#include "platforms/KvPlatformProfi.h"
#include "platforms/KvSavePlatformProfi.h"
#include "KvTestHarness.h"

namespace {

std::vector<uint8_t> Header(int AWidth, int AHeight, uint8_t AKind, int ARow, uint8_t APaletteType,
                            uint8_t ABlocks = 1) {
  std::vector<uint8_t> h(128, 0);
  h[0] = static_cast<uint8_t>(AWidth), h[1] = static_cast<uint8_t>(AWidth >> 8);
  h[2] = static_cast<uint8_t>(AHeight), h[3] = static_cast<uint8_t>(AHeight >> 8);
  h[4] = AKind;
  h[6] = static_cast<uint8_t>(ARow), h[7] = static_cast<uint8_t>(ARow >> 8);
  h[8] = ABlocks;
  h[9] = APaletteType;
  return h;
}

TEST(KvPlatformProfi, CheckHeader) {
  struct {
    std::vector<uint8_t> Header;
    int64_t Size;
    bool Ok;
  } cases[] = {
      {Header(512, 240, 8, 64, 0), 15488, true},
      {Header(512, 240, 8, 64, 0), 15487, false},
      {Header(512, 240, 4, 128, 19), 30848, true},
      {Header(512, 240, 4, 64, 19), 30848, false},   // a colour row needs two bytes a cell
      {Header(500, 2, 4, 126, 0), 128 + 252, true},
      {Header(500, 2, 4, 125, 0), 10000, false},
      {Header(0, 2, 8, 1, 0), 10000, false},
      {Header(8, 0, 8, 1, 0), 10000, false},
      {Header(8, 2, 5, 1, 0), 10000, false},
      {Header(8, 2, 8, 1, 7), 10000, false},
      {Header(8, 2, 8, 1, 0, 0), 130, true},         // no block count means one block
      {Header(8, 2, 8, 1, 0, 3), 385, false},
      {Header(8, 2, 8, 1, 0, 3), 386, true},
      // Height times row length beyond 32 bits signed: must not wrap.
      {Header(8, 0xFFFF, 8, 0xFFFF, 0, 255), 300, false},
      {Header(8, 0x8001, 8, 0xFFFF, 0), 300, false},
  };
  cases[5].Header[5] = 0;
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(CheckProfiGrfHeader(TKvBytes(cases[i].Header), cases[i].Size), cases[i].Ok) << i;
  auto h = Header(8, 2, 8, 1, 0);
  h[5] = 1;
  EXPECT_FALSE(CheckProfiGrfHeader(TKvBytes(h), 10000));
}

TEST(KvPlatformProfi, PaletteAndSizes) {
  TKvPalette256 p;
  FillProfi256Palette(p);
  ASSERT_EQ(p.Count, 256);
  EXPECT_EQ(p.GetStdRGB(28), StdRGBColor(0, 255, 0));
  EXPECT_EQ(ProfiPaletteByte(28), 0xE0);
  EXPECT_EQ(p.GetStdRGB(7 * 32 + 5 * 4 + 1), StdRGBColor(255, 182, 85));
  EXPECT_EQ(ProfiPaletteByte(7 * 32 + 5 * 4 + 1), (5 << 5) | (7 << 2) | 1);
  EXPECT_EQ(ProfiMonoGrfFileSize(512, 240), 15488);
  EXPECT_EQ(ProfiColorGrfFileSize(512, 240), 30848);
  EXPECT_EQ(ProfiAttribute(9, 14), (6 | (1 << 3) | 0x40 | 0x80));
  int paper, ink;
  DecodeProfiAttribute(ProfiAttribute(9, 6), paper, ink);
  EXPECT_EQ(paper, 9);
  EXPECT_EQ(ink, 6);
  TKvPalette256 big;
  for (int i = 0; i < 17; ++i) big.AddColor(p.Colors[i]);
  uint8_t hdr[128];
  try {
    InitProfiColorPaletteGrfHeader(hdr, 8, 8, p, big);
    ADD_FAILURE();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 13u);
  }
}

TKvConversion ConvertProfi(TBitmap32& APicture, uint8_t AType, TKvPaletteMode AMode) {
  return ConvertPicture(DestEngineClass<TKvProfiEngine>(), APicture, [&](TKvDestEngineOptions& o) {
    o.SetPaletteType(AType);
    o.SetPaletteMode(AMode);
    o.UpdatePalette();
  });
}

TEST(KvSavePlatformProfi, FileLayouts) {
  TKvProcessorCountOverride one(1);
  auto full = GradientPicture(512, 240, 5);
  auto mono = ConvertProfi(*full, ptColored15, pmBlackWhite);
  ASSERT_EQ(mono.Size(0), 15488);
  const uint8_t* d = mono.Bytes(0);
  EXPECT_EQ(d[4], 8);
  EXPECT_EQ(d[6] | (d[7] << 8), 64);
  EXPECT_EQ(d[9], 0);
  auto bw = ConvertProfi(*full, ptColored16of256, pmBlackWhite);
  ASSERT_EQ(bw.Size(0), 30848);
  d = bw.Bytes(0);
  EXPECT_EQ(d[4], 4);
  EXPECT_EQ(d[6] | (d[7] << 8), 128);
  EXPECT_EQ(d[9], 19);
  // Every attribute is the one of the black/white pair; the header holds
  // the two colours.
  const uint8_t a = d[129];
  for (int i = 0; i < 512 / 8 * 240; ++i) ASSERT_EQ(d[128 + 2 * i + 1], a) << i;
  TKvPalette256& pal = *bw.Options->GetPalette();
  int paper, ink;
  DecodeProfiAttribute(a, paper, ink);
  EXPECT_EQ(pal.GetStdRGB(paper), StdRGBColor(0, 0, 0));
  EXPECT_EQ(pal.GetStdRGB(ink), StdRGBColor(255, 255, 255));
  EXPECT_EQ(d[10 + ink], ProfiPaletteByte(255));

  auto narrow = GradientPicture(500, 16, 6);
  auto color = ConvertProfi(*narrow, ptColored16of256, pmColor);
  ASSERT_EQ(color.Size(0), 128 + 126 * 16);
  d = color.Bytes(0);
  EXPECT_EQ(d[6] | (d[7] << 8), 126);
  TKvPalette256 p256;
  FillProfi256Palette(p256);
  TKvPalette256& cp = *color.Options->GetPalette();
  ASSERT_LE(cp.Count, 16);
  for (int i = 0; i < cp.Count; ++i) EXPECT_EQ(d[10 + i], ProfiPaletteByte(p256.LocateStdRGB(cp.GetStdRGB(i))));
  auto zx = ConvertProfi(*narrow, ptColored15, pmColor);
  d = zx.Bytes(0);
  EXPECT_EQ(d[9], 0);
  for (int i = 10; i < 128; ++i) EXPECT_EQ(d[i], 0) << i;
}

// Without a serpentine scan the cells are solved by rows on several threads
// at once, each row trailing the one above: the files and previews are
// those of the plain scan on one processor, for kernels of every reach, the
// ordered dither and none, gray cells, the error limited inside blocks and a
// last cell narrower than the others.
TEST(KvSavePlatformProfi, WavefrontMatchesThePlainScan) {
  struct TCase {
    int Method;
    uint8_t Type;
    TKvPaletteMode Mode;
    bool LimitInside;
    int Width;
  };
  const TCase cases[] = {
      {2, ptColored16of256, pmColor, false, 64}, {1, ptColored16of256, pmColor, false, 61},
      {8, ptColored15, pmColor, false, 64},      {7, ptColored15, pmGray, false, 59},
      {2, ptColored15, pmColor, true, 64},       {9, ptColored16of256, pmColor, false, 64},
      {0, ptColored15, pmColor, false, 64},
  };
  struct TMinPixels {
    int64_t Saved = KvCellWavefrontMinPixels;
    TMinPixels() { KvCellWavefrontMinPixels = 0; }
    ~TMinPixels() { KvCellWavefrontMinPixels = Saved; }
  } everyPicture;
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.Method << " width " << c.Width);
    auto picture = GradientPicture(c.Width, 24, 7);
    auto convert = [&](int AProcessors) {
      TKvProcessorCountOverride count(AProcessors);
      return ConvertPicture(DestEngineClass<TKvProfiEngine>(), *picture, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(c.Type);
        o.SetPaletteMode(c.Mode);
        o.SetDitherMethod(static_cast<uint8_t>(c.Method));
        o.SetSerpentine(false);
        o.SetLimitErrorInsideBlock(c.LimitInside);
        o.UpdatePalette();
      });
    };
    const TKvConversion plain = convert(1);
    for (int processors : {2, 4}) {
      const TKvConversion rows = convert(processors);
      EXPECT_EQ(rows.File(0), plain.File(0)) << processors;
      EXPECT_EQ(CountIndexDiffs(*rows.Preview, *plain.Preview), 0) << processors;
    }
  }
}

TEST(KvSavePlatformProfi, RefusesUnknownModesAndKinds) {
  auto pic = GradientPicture(16, 8, 1);
  for (auto [type, mode] :
       {std::pair<int, TKvPaletteMode>{ptColored15, pmGrayGreen}, {ptColored16of256, pm8Colors}, {ptRGB888, pmColor}}) {
    try {
      ConvertProfi(*pic, static_cast<uint8_t>(type), mode);
      ADD_FAILURE() << type << " " << int(mode);
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
}

// The same file with one processor and with several.
TEST(KvSavePlatformProfi, SameBytesOnAnyProcessorCount) {
  auto pic = GradientPicture(64, 24, 9);
  std::vector<uint8_t> first;
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    auto r = ConvertProfi(*pic, ptColored16of256, pmColor);
    std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
    if (first.empty())
      first = bytes;
    else
      EXPECT_EQ(bytes, first);
  }
}

}  // namespace

namespace {

// The panels: sections in order, the Profi's kinds, and which controls
// follow the mode list.
TEST(KvSavePlatformProfi, Panels) {
  using K = TKvPanelSectionKind;
  auto options = DestEngineClass<TKvProfiEngine>().Create()->CreateOptions();
  auto ui = DestEngineClass<TKvProfiEngine>().Create()->CreateUI(options.get());
  auto& panel = dynamic_cast<TKvProfiColorEngineUI&>(*ui);
  std::vector<K> kinds;
  for (auto& s : panel.GetSections()) kinds.push_back(s.Kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::Dimension, K::Position, K::PaletteSeparator, K::CustomPaletteComboBox,
                                   K::PaletteMode, K::DestPalette, K::FixedPalette, K::Dithering}));
  EXPECT_EQ(panel.GetSections()[3].Items, (std::vector<int>{ptColored15, ptColored16of256}));
  EXPECT_EQ(panel.GetSections()[4].Set, 133123u);
  EXPECT_TRUE(panel.CanEditPalette());
  options->SetPaletteType(ptColored15);
  EXPECT_FALSE(panel.CanEditPalette());
  TKvPalette256 scratch;
  int columns = -1;
  EXPECT_EQ(panel.GetEditedPalette(scratch, columns)->GetCount(), 256);
  EXPECT_EQ(columns, 0);
}

}  // namespace
