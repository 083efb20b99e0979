#include "platforms/KvSavePlatformPMD85.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screens

void TKvPMD85Screen::SetPixel(int X, int Y, int AValue) {
  if (MirrorX) X = 287 - X;
  uint8_t& b = Data[Y * 64 + X / 6];
  const uint8_t m = static_cast<uint8_t>(1 << (X % 6));
  b = static_cast<uint8_t>(AValue ? (b | m) : (b & ~m));
}

void TKvPMD85Screen::SetAttr(int CellX, int CellY, int AAttr) {
  if (MirrorX) CellX = 47 - CellX;
  uint8_t& b = Data[CellY * 64 + CellX];
  b = static_cast<uint8_t>((b & 0x3F) | ((AAttr & 3) << 6));
}

void TKvPMD85Screen::FillAttributes(uint8_t AAttr) {
  for (int cy = 0; cy < 256; ++cy)
    for (int cx = 0; cx < 48; ++cx) SetAttr(cx, cy, AAttr);
}

void TKvPMD85CAScreen::SetAttr(int CellX, int CellY, int ACode) {
  if (MirrorX) CellX = 47 - CellX;
  uint8_t* p = Data + CellY * 128 + CellX;
  p[0] = static_cast<uint8_t>((p[0] & 0x3F) | ((ACode & 3) << 6));
  p[64] = static_cast<uint8_t>((p[64] & 0x3F) | (((ACode >> 2) & 3) << 6));
}

// ---------------------------------------------------------------------------
// Candidates and cell images

TKvPMD85PaletteList::TKvPMD85PaletteList(TKvPalette256& APalette) {
  const int n = APalette.Count;
  for (int i = 0; i < n; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, i, i));
  for (int i = 1; i < n; ++i) Add(std::make_unique<TKvCellPaperIncPalette>(APalette, 0, i));
}

TKvCellPaletteList* TKvPMD85Image::CreatePaletteList() { return new TKvPMD85PaletteList(*FPalette); }

void TKvPMD85Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY, TKvCellPalette* ACellPalette) {
  if (!ATarget) return;
  const int A = ACellPalette->IndexA, B = ACellPalette->IndexB;
  ATarget->SetAttr(ACellX, ACellY, A == 0 && B == 0 ? 0 : CellAttr(B));
}

void TKvPMD85Image::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette* ACellPalette, int AIndex) {
  if (!ATarget) return;
  const int A = ACellPalette->IndexA, B = ACellPalette->IndexB;
  // Clear pixels are black: a cell of one colour other than black is all set.
  int v;
  if (A == 0 && B == 0)
    v = 0;
  else if (A == B)
    v = 1;
  else
    v = AIndex > 0 ? 1 : 0;
  ATarget->SetPixel(X, Y, v);
}

// ---------------------------------------------------------------------------
// Options and panels

TKvPMD85ScreenOptions::TKvPMD85ScreenOptions() {
  SetPaletteMode(pmColor);
  SetLimitErrorInsideBlock(false);
  SetLimitErrorAtBlockBoundary(false);
  SetDitherMethod(2);
}

TKvPMD85EngineOptions::TKvPMD85EngineOptions() {
  SetPaletteType(ptPMD85A);
  SetErrorDiffusion(90);
  SetCustomColor1(StdRGBColor(255, 255, 255));
  SetCustomColor2(StdRGBColor(0, 255, 255));
  SetCustomColor3(StdRGBColor(255, 255, 0));
  SetCustomColor4(StdRGBColor(255, 0, 0));
}

void TKvPMD85EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  BuildPMD85Palette(this, *GetPalette(), static_cast<TKvPaletteType>(PaletteType));
}

TKvPMD85CAEngineOptions::TKvPMD85CAEngineOptions() {
  SetPaletteType(ptPMD85H);
  SetErrorDiffusion(60);
}

namespace {

uint32_t ColorBoxValue(const TKvStdRGBColor& AColor) {
  return (static_cast<uint32_t>(AColor.R) << 16) | (static_cast<uint32_t>(AColor.G) << 8) | AColor.B;
}

TKvStdRGBColor ColorBoxColor(uint32_t AValue) {
  return StdRGBColor(static_cast<uint8_t>(AValue >> 16), static_cast<uint8_t>(AValue >> 8),
                     static_cast<uint8_t>(AValue));
}

}  // namespace

TKvPMD85EngineUI::TKvPMD85EngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  for (TKvPaletteType t : {ptPMD85A, ptPMD85B, ptPMD85C, ptPMD85D, ptPMD85E, ptPMD85F, ptPMD85GCustom})
    AddSectionItem(kinds, t);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmColor));
  AddDestPalette(8, 1, true);
  const TKvStdRGBColor* colors[4] = {&AOptions->CustomColor1, &AOptions->CustomColor2, &AOptions->CustomColor3,
                                     &AOptions->CustomColor4};
  static const char* const captions[4] = {"Attribute 00:", "Attribute 01:", "Attribute 10:", "Attribute 11:"};
  for (int r = 0; r < 4; ++r) {
    FColorRows[r] = AddOwnColorBox(captions[r], ColorBoxValue(*colors[r]));
    // The rows mean something only for the "Custom" kind (item 6).
    for (int part : {opCaption, opControl, opButton})
      AddRelated(pcCustomPaletteCombo, 6, OwnControl(FColorRows[r], part), false);
  }
  AddDitheringSection(false);
}

void TKvPMD85EngineUI::StoreOptions(IKvPanelControls& AControls) {
  TKvDestEngineUIEx::StoreOptions(AControls);
  TKvDestEngineOptions* o = GetOptions();
  if (o->PaletteType != ptPMD85GCustom) return;
  o->SetCustomColor1(ColorBoxColor(AControls.GetColor(OwnControl(FColorRows[0]))));
  o->SetCustomColor2(ColorBoxColor(AControls.GetColor(OwnControl(FColorRows[1]))));
  o->SetCustomColor3(ColorBoxColor(AControls.GetColor(OwnControl(FColorRows[2]))));
  o->SetCustomColor4(ColorBoxColor(AControls.GetColor(OwnControl(FColorRows[3]))));
}

TKvPMD85CAEngineUI::TKvPMD85CAEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(true);
}

// ---------------------------------------------------------------------------
// Engines

namespace {

// The screen memory of a new file AExtension in AStreams; a picture larger
// than the 288 x 256 screen raises.
uint8_t* NewScreenFile(TKvStreamList& AStreams, TBitmap32& ABitmap, const std::string& AExtension) {
  if (ABitmap.GetWidth() > 288 || ABitmap.GetHeight() > 256) RaiseOSError(87);
  return AStreams.NewStream(AExtension, PMD85FileSize)->GetMemory();
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvPMD85Engine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TBitmap32& bitmap = AArgs.Bitmap;
  const int type = options.PaletteType;
  if (type < ptPMD85A || type > ptPMD85GCustom) RaiseOSError(87);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = NewScreenFile(*streams, bitmap, std::string("85") + static_cast<char>('A' + (type - ptPMD85A)));
  TKvPMD85Image image(6, 1, bitmap);
  TKvPMD85Screen screen(bitmap.GetWidth(), bitmap.GetHeight(), data);
  TKvPalette256& palette = *options.GetPalette();
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite: {
      // The lit pixels show the palette's colour nearest to white.
      int white = 0;
      double best = 1e30;
      for (int i = 0; i < palette.Count; ++i) {
        const TKvLinRGBColor c = palette.GetLinRGB(i);
        const double d = (1 - c.R) * (1 - c.R) + (1 - c.G) * (1 - c.G) + (1 - c.B) * (1 - c.B);
        if (d < best) {
          best = d;
          white = i;
        }
      }
      screen.FillAttributes(static_cast<uint8_t>((white - 1) & 3));
      result = image.ConvertBWBits(AArgs.Abort, options, &screen, &palette, 0, white);
      break;
    }
    case pmColor:
      AdjustOnce(image, options);
      image.FitToPaletteGray(palette);
      // The gray kinds of one machine match colours by their gray.
      if (type == ptPMD85A || type == ptPMD85B) options.SetUseAsGrayPalette(true);
      result = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
      break;
    default:
      RaiseOSError(87);
  }
  AArgs.Streams = std::move(streams);
  return result;
}

std::unique_ptr<TKvBitmap> TKvPMD85CAEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TBitmap32& bitmap = AArgs.Bitmap;
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = NewScreenFile(*streams, bitmap, "85H");
  BuildPMD85ColorAcePalette(*options.GetPalette());
  TKvPMD85CAImage image(6, 2, bitmap);
  TKvPMD85CAScreen screen(bitmap.GetWidth(), bitmap.GetHeight(), data);
  AdjustOnce(image, options);
  auto result = image.Convert(AArgs.Abort, options, &AArgs.Progress, &screen);
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformPMD85() { RegisterDestEngines<TKvPMD85Engine, TKvPMD85CAEngine>(); }
