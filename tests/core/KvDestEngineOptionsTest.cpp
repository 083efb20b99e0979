#include "core/KvDestEngineOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/KvDestProgress.h"

namespace {

// A converter's options: its own size, aspect and palette hook.
class TCountingOptions : public TKvDestEngineOptions {
public:
  int UpdateCalls = 0;
  TCountingOptions() { SetPixelAspect(pa1_2); }
  TKvSize GetDefaultSize() const override { return {256, 192}; }
  void UpdatePalette() override {
    if (UpdateCount > 0) return;
    ++UpdateCalls;
  }
};

class TFixedOptions : public TKvDestFixedSizeEngineOptions {
public:
  TKvSize GetDefaultSize() const override { return {320, 200}; }
  int32_t GetWidth() const override { return 320; }
};

}  // namespace

TEST(KvDestEngineOptions, DefaultsAndCreationHook) {
  auto o = TKvDestEngineOptions::Create();
  EXPECT_EQ(o->GetWidth(), 0);
  EXPECT_EQ(o->PixelAspect, 10);
  EXPECT_EQ(o->NativePixelAspect, 10);
  EXPECT_EQ(o->MaxFlickering, 100);
  EXPECT_EQ(o->MaxColorCount, 256);
  EXPECT_EQ(o->HAMInitialLines, 16);
  EXPECT_EQ(o->HAMPrevLines, 4);
  EXPECT_EQ(o->HAMNextLines, 4);
  EXPECT_EQ(o->HAMMaxChangeCount, 1);
  EXPECT_EQ(o->DitherMethod, 1);
  EXPECT_EQ(o->ErrorDiffusion, 90);
  EXPECT_TRUE(o->LimitErrorInsideBlock && o->LimitErrorAtBlockBoundary && o->Serpentine);
  EXPECT_TRUE(o->WriteFileHeader);
  EXPECT_FALSE(o->Modified);
  EXPECT_EQ(CountColorMask(o->ColorMask), 0);
  EXPECT_FALSE(o->Palette);
  EXPECT_EQ(o->GetPalette()->Count, 0);
  EXPECT_EQ(o->GetHardwarePalette()->GetCount(), 0);
  EXPECT_EQ(o->GetMinSize(), (TKvSize{8, 8}));
  EXPECT_EQ(o->GetMaxSize(), (TKvSize{2048, 2048}));
  EXPECT_EQ(o->GetCellWidth(), 1);

  auto c = TKvDestEngineOptions::Create<TCountingOptions>();
  EXPECT_EQ(c->GetWidth(), 256);
  EXPECT_EQ(c->GetHeight(), 192);
  EXPECT_EQ(c->NativePixelAspect, 1);  // the converter's own aspect
  EXPECT_EQ(c->UpdateCalls, 1);
}

TEST(KvDestEngineOptions, SetterClampsAndModifiedFlag) {
  using O = TKvDestEngineOptions;
  struct Case {
    const char* name;
    std::function<void(O&)> set;
    std::function<int64_t(const O&)> get;
    int64_t expected;
  };
  const std::vector<Case> cases = {
      {"MaxColorCount 300", [](O& o) { o.SetMaxColorCount(300); }, [](const O& o) { return o.MaxColorCount; }, 256},
      {"MaxColorCount -1", [](O& o) { o.SetMaxColorCount(-1); }, [](const O& o) { return o.MaxColorCount; }, 0},
      {"MaxFlickering 101", [](O& o) { o.SetMaxFlickering(101); }, [](const O& o) { return o.MaxFlickering; }, 100},
      {"MaxFlickering -5", [](O& o) { o.SetMaxFlickering(-5); }, [](const O& o) { return o.MaxFlickering; }, 0},
      {"GrayPaletteParam 150", [](O& o) { o.SetGrayPaletteParam(150); }, [](const O& o) { return o.GrayPaletteParam; }, 100},
      {"LightnessFix -120", [](O& o) { o.SetLightnessFix(-120); }, [](const O& o) { return o.LightnessFix; }, -90},
      {"SaturationFix 95", [](O& o) { o.SetSaturationFix(95); }, [](const O& o) { return o.SaturationFix; }, 90},
      {"ErrorDiffusion 150", [](O& o) { o.SetErrorDiffusion(150); }, [](const O& o) { return o.ErrorDiffusion; }, 100},
      {"ErrorDiffusion -1", [](O& o) { o.SetErrorDiffusion(-1); }, [](const O& o) { return o.ErrorDiffusion; }, 0},
      {"HAMInitialLines 0", [](O& o) { o.SetHAMInitialLines(0); }, [](const O& o) { return o.HAMInitialLines; }, 1},
      {"HAMPrevLines -3", [](O& o) { o.SetHAMPrevLines(-3); }, [](const O& o) { return o.HAMPrevLines; }, 0},
      {"HAMNextLines -1", [](O& o) { o.SetHAMNextLines(-1); }, [](const O& o) { return o.HAMNextLines; }, 0},
      {"HAMMaxChangeCount -7", [](O& o) { o.SetHAMMaxChangeCount(-7); }, [](const O& o) { return o.HAMMaxChangeCount; }, 1},
      {"HAMInitialLines 40", [](O& o) { o.SetHAMInitialLines(40); }, [](const O& o) { return o.HAMInitialLines; }, 40},
      {"Width", [](O& o) { o.SetWidth(320); }, [](const O& o) { return o.GetWidth(); }, 320},
      {"Position", [](O& o) { o.SetPosition(3); }, [](const O& o) { return o.Position; }, 3},
      {"PixelAspect", [](O& o) { o.SetPixelAspect(pa2_1); }, [](const O& o) { return o.PixelAspect; }, pa2_1},
      {"BorderColor", [](O& o) { o.SetBorderColor(0x123456); }, [](const O& o) { return o.BorderColor; }, 0x123456},
      {"PaletteType", [](O& o) { o.SetPaletteType(30); }, [](const O& o) { return o.PaletteType; }, 30},
      {"PaletteMode", [](O& o) { o.SetPaletteMode(pmColor); }, [](const O& o) { return o.PaletteMode; }, pmColor},
      {"DitherMethod", [](O& o) { o.SetDitherMethod(0); }, [](const O& o) { return o.DitherMethod; }, 0},
      {"Serpentine", [](O& o) { o.SetSerpentine(false); }, [](const O& o) { return o.Serpentine; }, 0},
      {"SafeMode", [](O& o) { o.SetSafeMode(true); }, [](const O& o) { return o.SafeMode; }, 1},
      {"SecondPaletteIndex", [](O& o) { o.SetSecondPaletteIndex(-1); }, [](const O& o) { return o.SecondPaletteIndex; }, -1},
      {"CustomColor3", [](O& o) { o.SetCustomColor3({1, 2, 3}); }, [](const O& o) { return o.CustomColor3.B; }, 3},
  };
  for (const auto& c : cases) {
    auto o = TKvDestEngineOptions::Create();
    // Start away from the bounds, so that a clamped value is a change.
    o->MaxColorCount = 100;
    o->MaxFlickering = 50;
    o->HAMMaxChangeCount = 3;
    o->BeginUpdate();
    c.set(*o);
    EXPECT_EQ(c.get(*o), c.expected) << c.name;
    EXPECT_TRUE(o->Modified) << c.name;
    o->Modified = false;
    c.set(*o);  // the same value again: no change
    EXPECT_FALSE(o->Modified) << c.name;
    o->EndUpdate();
  }
  // Setting the value already held is no change either.
  auto o = TKvDestEngineOptions::Create();
  o->SetMaxColorCount(256);
  o->SetErrorDiffusion(90);
  o->SetCustomColor1({0, 0, 0});
  EXPECT_FALSE(o->Modified);
}

TEST(KvDestEngineOptions, CommentMasksAndPalettes) {
  auto o = TKvDestEngineOptions::Create();
  o->SetComment(" \t hello world\r\n ");
  EXPECT_EQ(o->Comment, "hello world");
  EXPECT_TRUE(o->Modified);
  o->Modified = false;
  o->SetComment("hello world");
  EXPECT_FALSE(o->Modified);

  TKvColorMask a{}, b{};
  EXPECT_TRUE(SameColorMask(a, b));
  b[4095] = 1;
  EXPECT_FALSE(SameColorMask(a, b));
  b[7] = 200;
  EXPECT_EQ(CountColorMask(b), 2);
  o->SetColorMask2(b);
  EXPECT_TRUE(o->Modified);
  EXPECT_EQ(o->ColorMask2[7], 200);
  o->Modified = false;
  o->SetColorMask2(b);
  EXPECT_FALSE(o->Modified);
  ClearColorMask(b);
  EXPECT_EQ(CountColorMask(b), 0);

  // The palette is copied every time; Modified only when the colours differ.
  TKvPalette256 p;
  p.AddRGB(1, 2, 3);
  p.Name = "first";
  o->SetPalette(&p);
  EXPECT_TRUE(o->Modified);
  o->Modified = false;
  p.Name = "second";
  o->SetPalette(&p);
  EXPECT_FALSE(o->Modified);
  EXPECT_EQ(o->GetPalette()->Name, "second");
  o->SetFixedPalette(nullptr);
  EXPECT_FALSE(o->Modified);  // the empty fixed palette stays empty
  o->SetFixedPalette(&p);
  EXPECT_TRUE(o->Modified);
}

TEST(KvDestEngineOptions, UpdateNesting) {
  auto o = TKvDestEngineOptions::Create<TCountingOptions>();
  o->SetLightnessFix(10);
  EXPECT_TRUE(o->Modified);
  o->BeginUpdate();
  EXPECT_FALSE(o->Modified);
  o->BeginUpdate();
  o->SetLightnessFix(20);
  o->EndUpdate();
  EXPECT_EQ(o->UpdateCalls, 1);  // the inner pair rebuilds nothing
  EXPECT_EQ(o->LightnessFix, 20);
  o->EndUpdate();
  EXPECT_EQ(o->UpdateCalls, 2);
  EXPECT_TRUE(o->Modified);
}

TEST(KvDestEngineOptions, FixedSizeAndAspect) {
  auto f = TKvDestEngineOptions::Create<TFixedOptions>();
  EXPECT_EQ(f->Height, 200);
  f->SetWidth(10);
  f->SetHeight(10);
  EXPECT_EQ(f->Width, 320);
  EXPECT_EQ(f->Height, 200);
  EXPECT_FALSE(f->Modified);

  struct Case { TKvPixelAspect aspect; TKvSize ratio; const char* name; };
  const Case cases[] = {{pa1_2p4, {12, 5}, "1:2.4"}, {pa1_1, {1, 1}, "1:1"}, {pa1p138_1, {500, 569}, "1.138:1"},
                        {pa2_1, {1, 2}, "2:1"}, {pa4p552_1, {500, 2276}, "4.552:1"}};
  for (const auto& c : cases) {
    f->SetPixelAspect(c.aspect);
    EXPECT_EQ(f->GetPixelAspectRatio(), c.ratio) << int(c.aspect);
    EXPECT_STREQ(PixelAspectNames[c.aspect], c.name);
  }
  f->PixelAspect = 200;  // a stray byte reads as 1:1 instead of past the table
  EXPECT_EQ(f->GetPixelAspectRatio(), (TKvSize{1, 1}));

  f->SetBorderColor(0x80FF00);
  EXPECT_EQ(f->GetBorderStdRGB(), StdRGBColor(0x80, 0xFF, 0x00));
  EXPECT_DOUBLE_EQ(f->GetBorderLinRGB().R, StdToLin(0x80));
  TKvPalette256 p;
  p.FillRGB8();
  int32_t color = 0x30E010;
  EXPECT_EQ(f->MapColor(color, &p), 2);
  EXPECT_EQ(color, 0x00FF00);
}

TEST(KvDestEngineOptions, AssignCopiesSettingsButNotTheRest) {
  auto src = TKvDestEngineOptions::Create<TFixedOptions>();
  src->Height = 150;
  src->LockDimension = true;
  src->SetPosition(2);
  src->SetPixelAspect(pa0p7375_1);
  src->NativePixelAspect = 6;
  src->SetBorderColor(0x010203);
  src->SetPaletteType(ptRGB444);
  src->SetPaletteUsage(2);
  src->GetPalette()->AddRGB(9, 9, 9);
  src->GetFixedPalette()->AddRGB(8, 8, 8);
  src->GetFixedPalette()->AddRGB(7, 7, 7);
  src->SetPaletteIndex(3);
  src->SetExtraFlag(true);
  src->SetSecondPaletteIndex(-1);
  src->SetMaxColorCount(16);
  src->SetKeepWholePalette(true);
  src->SetUseAsGrayPalette(true);
  src->SetGrayPaletteParam(40);
  src->SetUseSourcePalette(true);
  src->SetUseOnlyOriginalColors(true);
  src->SetMaxFlickering(30);
  src->SetColorUsage(cuBrightOnly);
  src->SetGigaCalculation(1);
  src->SetExcludeGrayMixes(true);
  src->SetPaletteMode(pmCustom);
  TKvColorMask m{};
  m[5] = 1;
  src->SetColorMask(m);
  m[6] = 1;
  src->SetColorMask2(m);
  src->SetGigaStyle(2);
  src->SetSafeMode(true);
  src->SetCustomColor1({1, 1, 1});
  src->SetCustomColor2({2, 2, 2});
  src->SetCustomColor3({3, 3, 3});
  src->SetCustomColor4({4, 4, 4});
  src->SetHAMInitialLines(8);
  src->SetHAMPrevLines(2);
  src->SetHAMNextLines(3);
  src->SetHAMMaxChangeCount(5);
  src->SetDitherMethod(8);
  src->SetErrorDiffusion(50);
  src->SetLimitErrorInsideBlock(false);
  src->SetLimitErrorAtBlockBoundary(false);
  src->SetSerpentine(false);
  src->SetLightnessFix(-10);
  src->SetSaturationFix(20);
  src->SetColorDiffMethod(3);
  src->SetWriteFileHeader(false);
  src->SetComment("note");
  src->SetBorderIndex(7);
  src->GetHardwarePalette();

  auto dst = TKvDestEngineOptions::Create();
  dst->SetBorderIndex(2);
  dst->Modified = false;
  dst->BeginUpdate();
  dst->Assign(src.get());
  EXPECT_EQ(dst->Width, 320);  // through the source's GetWidth
  EXPECT_EQ(dst->Height, 150);
  EXPECT_TRUE(dst->LockDimension);
  EXPECT_EQ(dst->Position, 2);
  EXPECT_EQ(dst->PixelAspect, pa0p7375_1);
  EXPECT_EQ(dst->NativePixelAspect, 6);
  EXPECT_EQ(dst->BorderColor, 0x010203);
  EXPECT_EQ(dst->PaletteType, ptRGB444);
  EXPECT_EQ(dst->PaletteUsage, 2);
  EXPECT_TRUE(dst->GetPalette()->SameColors(src->GetPalette()));
  EXPECT_EQ(dst->GetFixedPalette()->Count, 2);
  EXPECT_NE(dst->GetPalette(), src->GetPalette());
  EXPECT_EQ(dst->PaletteIndex, 3);
  EXPECT_TRUE(dst->ExtraFlag);
  EXPECT_EQ(dst->SecondPaletteIndex, -1);
  EXPECT_EQ(dst->MaxColorCount, 16);
  EXPECT_TRUE(dst->KeepWholePalette && dst->UseAsGrayPalette && dst->UseSourcePalette &&
              dst->UseOnlyOriginalColors && dst->ExcludeGrayMixes && dst->SafeMode);
  EXPECT_EQ(dst->GrayPaletteParam, 40);
  EXPECT_EQ(dst->MaxFlickering, 30);
  EXPECT_EQ(dst->ColorUsage, cuBrightOnly);
  EXPECT_EQ(dst->GigaCalculation, 1);
  EXPECT_EQ(dst->PaletteMode, pmCustom);
  EXPECT_EQ(dst->ColorMask[5], 1);
  EXPECT_EQ(dst->ColorMask[6], 0);
  EXPECT_EQ(dst->ColorMask2[6], 1);
  EXPECT_EQ(dst->GigaStyle, 2);
  EXPECT_EQ(dst->CustomColor1.R, 1);
  EXPECT_EQ(dst->CustomColor4.B, 4);
  EXPECT_EQ(dst->HAMInitialLines, 8);
  EXPECT_EQ(dst->HAMPrevLines, 2);
  EXPECT_EQ(dst->HAMNextLines, 3);
  EXPECT_EQ(dst->HAMMaxChangeCount, 5);
  EXPECT_EQ(dst->DitherMethod, 8);
  EXPECT_EQ(dst->ErrorDiffusion, 50);
  EXPECT_FALSE(dst->LimitErrorInsideBlock || dst->LimitErrorAtBlockBoundary || dst->Serpentine ||
               dst->WriteFileHeader);
  EXPECT_EQ(dst->LightnessFix, -10);
  EXPECT_EQ(dst->SaturationFix, 20);
  EXPECT_EQ(dst->ColorDiffMethod, 3);
  EXPECT_EQ(dst->Comment, "note");
  // Left out: border index, hardware palette, update count, Modified.
  EXPECT_EQ(dst->BorderIndex, 2);
  EXPECT_FALSE(dst->HardwarePalette);
  EXPECT_EQ(dst->UpdateCount, 1);
  EXPECT_FALSE(dst->Modified);
  dst->EndUpdate();
}

TEST(KvDestEngineOptions, NameTables) {
  EXPECT_STREQ(PaletteModeNames[0], "Black/white");
  EXPECT_STREQ(PaletteModeNames[10], "\xD0\xA1olor (bright)");
  EXPECT_STREQ(PaletteModeNames[12], "\xD0\xA1olor without gray");
  EXPECT_STREQ(PaletteModeNames[17], "Custom");
  EXPECT_STREQ(PaletteUsageNames[1], "Black + 15 colors");
  // The named values index the names they stand for.
  const std::pair<TKvPaletteMode, const char*> modes[] = {
      {pmBlackWhite, "Black/white"},
      {pmGray, "Gray"},
      {pmGrayGreen, "Gray (green)"},
      {pmGrayRed, "Gray (red)"},
      {pm5Colors, "5 colors"},
      {pm8Colors, "8 colors"},
      {pm8Of15Colors, "8 from 15 colors"},
      {pm8Of16Colors, "8 from 16 colors"},
      {pmColor17Of256, "Color (17 from 256)"},
      {pmColor64Of256, "Color (64 from 256, slow)"},
      {pmColorBright, "\xD0\xA1olor (bright)"},
      {pmColor, "\xD0\xA1olor"},
      {pmColorWithoutGray, "\xD0\xA1olor without gray"},
      {pm4ColorsPerImage, "4 colors per image"},
      {pm4ColorsPerLine, "4 colors per line"},
      {pmRGB, "RGB"},
      {pmGRB, "GRB"},
      {pmCustom, "Custom"}};
  for (const auto& [mode, name] : modes) EXPECT_STREQ(PaletteModeNames[mode], name) << int(mode);
  const std::pair<TKvPixelAspect, const char*> aspects[] = {
      {pa1_2p4, "1:2.4"},     {pa1_2, "1:2"},           {pa1p138_2, "1.138:2"}, {pa0p6_1, "0.6:1"},
      {pa1_1p37, "1:1.37"},   {pa0p7375_1, "0.7375:1"}, {pa3_4, "3:4"},         {pa2_3, "2:3"},
      {pa1_1p2, "1:1.2"},     {pa0p92_1, "0.92:1"},     {pa1_1, "1:1"},         {pa1p25_1, "1.25:1"},
      {pa1p138_1, "1.138:1"}, {pa1_0p75, "1:0.75"},     {pa7_5, "7:5"},         {pa1p475_1, "1.475:1"},
      {pa1p5_1, "1.5:1"},     {pa2_1, "2:1"},           {pa2p276_1, "2.276:1"}, {pa8_3, "8:3"},
      {pa4_1, "4:1"},         {pa4p552_1, "4.552:1"}};
  for (const auto& [aspect, name] : aspects) EXPECT_STREQ(PixelAspectNames[aspect], name) << int(aspect);
  EXPECT_STREQ(PaletteUsageNames[puColors15], "15 colors");
  EXPECT_STREQ(PaletteUsageNames[puBlackAndColors15], "Black + 15 colors");
  EXPECT_STREQ(PaletteUsageNames[puColors16], "16 colors");
  // A set holds exactly the values it is built from.
  constexpr TKvPaletteModeSet set = PaletteModes(pmBlackWhite, pmColor, pmCustom);
  for (int m = -1; m <= PaletteModeCount; ++m)
    EXPECT_EQ(set.Has(m), m == pmBlackWhite || m == pmColor || m == pmCustom) << m;
  // Each dithering name is the kernel its value selects.
  const char* dither[] = {"None",   "Floyd\xE2\x80\x93Steinberg", "Jarvis, Judice & Ninke",
                          "Burkes", "Sierra",                     "Two-row Sierra",
                          "Sierra Lite", "Stucki",                "Atkinson",
                          "Ordered 2x2"};
  for (int i = 0; i < DitherMethodCount; ++i) EXPECT_STREQ(DitherMethodNames[i], dither[i]) << i;
}

// --- ZX and SPECTRA builders ---------------------------------------------------

TEST(KvZxPalettes, ColourModels) {
  struct Case { uint8_t type; int32_t levels[6]; int32_t diag[3]; };
  const Case cases[] = {{26, {0, 118, 205, 233, 255, 159}, {255, 255, 255}},
                        {27, {0, 150, 188, 232, 255, 188}, {255, 255, 255}},
                        {28, {0, 96, 160, 224, 255, 160}, {255, 255, 255}},
                        {29, {0, 150, 128, 232, 255, 188}, {255, 255, 255}},
                        {30, {0, 118, 205, 233, 255, 159}, {208, 228, 255}},
                        {0, {0, 150, 188, 232, 255, 188}, {255, 255, 255}},
                        {84, {0, 150, 188, 232, 255, 188}, {255, 255, 255}}};
  for (const auto& c : cases) {
    const TKvZxColorModel& m = ZxColorModel(c.type);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(m.Levels[k], c.levels[k]) << int(c.type) << " " << k;
    for (int r = 0; r < 3; ++r)
      for (int col = 0; col < 3; ++col)
        EXPECT_EQ(m.Matrix[r][col], r == col ? c.diag[r] : 0) << int(c.type);
  }
}

TEST(KvZxPalettes, StandardPalettes) {
  auto o = TKvDestEngineOptions::Create();
  struct Case { uint8_t type, mode; int index; uint32_t rgb; };
  const Case cases[] = {{27, 11, 2, 0xBC0000}, {27, 11, 10, 0xFF0000}, {27, 11, 4, 0x00BC00},
                        {27, 11, 1, 0x0000BC}, {30, 11, 7, 0xA7B7CD}, {30, 11, 15, 0xD0E4FF},
                        {26, 11, 7, 0xCDCDCD}, {29, 11, 6, 0x808000}, {5, 11, 2, 0xBC0000}};
  for (const auto& c : cases) {
    o->PaletteType = c.type;
    o->PaletteMode = c.mode;
    o->BuildZxPalette();
    ASSERT_EQ(o->GetPalette()->Count, 16);
    EXPECT_EQ(o->GetPalette()->GetRGBQuad(c.index), c.rgb) << int(c.type) << " " << c.index;
  }
  o->PaletteType = 27;
  o->PaletteMode = 0;
  o->BuildZxPalette();
  ASSERT_EQ(o->GetPalette()->Count, 2);
  EXPECT_EQ(o->GetPalette()->GetRGBQuad(1), 0xFFFFFFu);

  o->BuildZxPaletteSubset();
  EXPECT_EQ(o->GetPalette()->Count, 16);
  o->PaletteMode = 1;
  o->BuildZxPaletteSubset();
  ASSERT_EQ(o->GetPalette()->Count, 4);
  EXPECT_EQ(o->GetPalette()->GetRGBQuad(1), 0xBCBCBCu);
  EXPECT_EQ(o->GetPalette()->GetRGBQuad(2), 0u);
  o->BuildZxBrightPalette();
  ASSERT_EQ(o->GetPalette()->Count, 8);
  EXPECT_EQ(o->GetPalette()->GetRGBQuad(2), 0xFF0000u);

  // While updating, these builders leave the palette alone.
  o->BeginUpdate();
  o->BuildZxPalette();
  o->SetBlackWhitePalette();
  EXPECT_EQ(o->GetPalette()->Count, 8);
  o->EndUpdate();
}

TEST(KvZxPalettes, GigascreenPairs) {
  auto o = TKvDestEngineOptions::Create();
  o->PaletteType = 27;
  o->PaletteMode = 11;
  o->BuildZxGigaPalette(false);
  TKvPalette256* p = o->GetPalette();
  ASSERT_EQ(p->Count, 256);
  struct Case { int i, j; uint32_t rgb; bool skip; };
  const Case standard[] = {
      {0, 0, 0x000000, false},
      {0, 7, 0x969696, false},   // off + on: level 1
      {7, 0, 0x969696, false},
      {2, 10, 0xE80000, false},  // on + bright on: level 3
      {10, 2, 0xE80000, true},   // a bright first frame over a dark second is never kept
      {0, 10, 0xBC0000, false},  // off + bright on: level 5
      {15, 15, 0xFFFFFF, false},
  };
  for (const auto& c : standard) {
    const int k = c.i * 16 + c.j;
    EXPECT_EQ(p->GetRGBQuad(k), c.rgb) << c.i << "," << c.j;
    EXPECT_EQ(p->Colors[k].Skip, c.skip) << c.i << "," << c.j;
  }

  o->BuildZxGigaPalette(true);
  EXPECT_TRUE(p->Colors[7 * 16 + 0].Skip);
  EXPECT_FALSE(p->Colors[0 * 16 + 7].Skip);
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < i; ++j) ASSERT_TRUE(p->Colors[i * 16 + j].Skip);

  o->SafeMode = true;
  o->BuildZxGigaPalette(false);
  EXPECT_TRUE(p->Colors[2 * 16 + 10].Skip);
  EXPECT_TRUE(p->Colors[10 * 16 + 2].Skip);
  o->SafeMode = false;

  // No flicker allowed: only pairs of equal gray survive.
  o->MaxFlickering = 0;
  o->BuildZxGigaPalette(false);
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j) {
      const bool equalGray = o->GetPalette()->Colors[i * 16 + j].Skip == false;
      if (equalGray) {
        EXPECT_TRUE(i == j || (i % 8 == 0 && j % 8 == 0)) << i << "," << j;
      }
    }
  EXPECT_FALSE(p->Colors[3 * 16 + 3].Skip);
  o->MaxFlickering = 100;

  // Colour usage, gray mode and gray mixes.
  o->ColorUsage = 1;
  o->BuildZxGigaPalette(false);
  EXPECT_TRUE(p->Colors[0 * 16 + 9].Skip);
  EXPECT_FALSE(p->Colors[1 * 16 + 2].Skip);
  o->ColorUsage = 3;
  o->BuildZxGigaPalette(false);
  EXPECT_TRUE(p->Colors[1 * 16 + 9].Skip);
  EXPECT_FALSE(p->Colors[9 * 16 + 10].Skip);
  o->ColorUsage = 0;
  o->PaletteMode = 1;
  o->BuildZxGigaPalette(false);
  EXPECT_FALSE(p->Colors[0 * 16 + 15].Skip);
  EXPECT_TRUE(p->Colors[0 * 16 + 1].Skip);
  o->PaletteMode = 11;
  o->ExcludeGrayMixes = true;
  o->BuildZxGigaPalette(false);
  EXPECT_TRUE(p->Colors[0 * 16 + 15].Skip);   // off + bright on: gray 188
  EXPECT_FALSE(p->Colors[0 * 16 + 7].Skip);   // white of either frame stays
  EXPECT_FALSE(p->Colors[0 * 16 + 0].Skip);   // black stays

  // Linear mixing is the mean of the two linear colours.
  o->ExcludeGrayMixes = false;
  o->GigaCalculation = 1;
  o->BuildZxGigaPalette(false);
  EXPECT_DOUBLE_EQ(p->GetLinRGB(0 * 16 + 10).R, StdToLin(255) / 2);
}

TEST(KvZxPalettes, SpectraPalettes) {
  auto o = TKvDestEngineOptions::Create();
  TKvPalette256* p = o->GetPalette();
  struct Case { uint8_t type, mode; int count; int index; uint32_t rgb; };
  const Case cases[] = {{33, 0, 16, 8, 0x000000}, {34, 11, 16, 15, 0xFFFFFF},
                        {33, 1, 3, 1, 0xBCBCBC},  {35, 0, 64, 16 * 1 + 4 * 2 + 3, 0xB959FF},
                        {36, 1, 4, 1, 0x595959},  {0, 0, 64, 63, 0xFFFFFF}};
  for (const auto& c : cases) {
    o->PaletteType = c.type;
    o->PaletteMode = c.mode;
    o->BuildSpectraPalette();
    ASSERT_EQ(p->Count, c.count) << int(c.type) << "/" << int(c.mode);
    EXPECT_EQ(p->GetRGBQuad(c.index), c.rgb) << int(c.type) << "/" << int(c.mode);
  }
  o->BuildSpectra15Palette();
  EXPECT_EQ(p->GetLinRGB(2).R, 0.5);  // red bit, dark
  EXPECT_EQ(p->GetLinRGB(4).G, 0.5);  // green bit
  EXPECT_EQ(p->GetLinRGB(9).B, 1.0);  // blue bit, bright
}

TEST(KvDestProgress, CountsUnderTheLock) {
  TKvDestProgress progress;
  int32_t total = -1, done = -1;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(done, 0);
  progress.SetProgress(16, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) progress.IncProgress();
    });
  for (auto& th : threads) th.join();
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 16);
  EXPECT_EQ(done, 4000);  // nothing clamps to the total
}
