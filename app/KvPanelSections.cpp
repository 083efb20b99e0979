#include "app/KvPanelSections.h"

#include <algorithm>

#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

using K = TKvPanelSectionKind;

int TKvDestEngineUIEx::Append(TKvPanelSection ASection) {
  ASection.Group = FGroup;
  FSections.push_back(std::move(ASection));
  return static_cast<int>(FSections.size()) - 1;
}

void TKvDestEngineUIEx::AddDimensionSection(bool ANativeButton) {
  Append({.Kind = K::Dimension, .Flag = ANativeButton});
}

void TKvDestEngineUIEx::AddPositionSection(TKvPixelAspectSet AAspects) {
  Append({.Kind = K::Position, .Set = AAspects.Bits});
}

void TKvDestEngineUIEx::AddPaletteSeparator() { Append({.Kind = K::PaletteSeparator}); }

void TKvDestEngineUIEx::AddPaletteLabel() { Append({.Kind = K::PaletteLabel}); }

void TKvDestEngineUIEx::AddOriginalColorsCheckBox() { Append({.Kind = K::OriginalColorsCheckBox}); }

int TKvDestEngineUIEx::AddDestPalette(int AColumns, int ARows, bool ANoDrop) {
  return Append({.Kind = K::DestPalette, .Flag = ANoDrop, .Columns = AColumns, .Rows = ARows});
}

void TKvDestEngineUIEx::SetDestPaletteReadOnly(int ASectionIndex, bool AReadOnly) {
  FSections.at(static_cast<size_t>(ASectionIndex)).ReadOnly = AReadOnly;
}

void TKvDestEngineUIEx::AddOptimizedPaletteSection() { Append({.Kind = K::OptimizedPalette}); }

void TKvDestEngineUIEx::AddDitheringSection(bool ABlockLimits) { Append({.Kind = K::Dithering, .Flag = ABlockLimits}); }

int TKvDestEngineUIEx::AddCustomPaletteComboBox() { return Append({.Kind = K::CustomPaletteComboBox}); }

int TKvDestEngineUIEx::AddCustomPaletteComboBoxEx() { return Append({.Kind = K::CustomPaletteComboBoxEx}); }

int TKvDestEngineUIEx::AddPaletteIndexComboBoxEx() { return Append({.Kind = K::PaletteIndexComboBoxEx}); }

int TKvDestEngineUIEx::AddBorderColorComboBoxEx() { return Append({.Kind = K::BorderColorComboBoxEx}); }

void TKvDestEngineUIEx::AddSectionItem(int ASectionIndex, int AValue, const std::string& ACaption) {
  TKvPanelSection& LSection = FSections.at(static_cast<size_t>(ASectionIndex));
  LSection.Items.push_back(AValue);
  LSection.Captions.push_back(ACaption);
}

void TKvDestEngineUIEx::SetSectionGlyph(int ASectionIndex, int AItemIndex, const TKvPalette* APalette) {
  TKvPanelSection& LSection = FSections.at(static_cast<size_t>(ASectionIndex));
  if (AItemIndex < 0) return;
  const size_t LItem = static_cast<size_t>(AItemIndex);
  if (LSection.Glyphs.size() <= LItem) LSection.Glyphs.resize(LItem + 1);
  TKvPanelGlyph& LGlyph = LSection.Glyphs[LItem];
  LGlyph.Given = true;
  LGlyph.Colors.clear();
  if (!APalette) return;
  const int LCount = std::min(APalette->GetCount(), MaxGlyphColors);
  for (int i = 0; i < LCount; ++i) LGlyph.Colors.push_back(APalette->GetStdRGB(i));
}

TKvPalette* TKvDestEngineUIEx::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  AColumns = 0;
  return &AScratch;
}

void TKvDestEngineUIEx::EditPalette(IKvPanelControls& AControls, TKvPalette* APalette, int AColumns) {
  if (APalette && APalette->GetCount() > 0) AControls.RunPaletteEditor(*APalette, AColumns);
}

void TKvDestEngineUIEx::AddPaletteUsageSection(TKvPaletteUsageSet AUsages) {
  Append({.Kind = K::PaletteUsage, .Set = AUsages.Bits});
}

void TKvDestEngineUIEx::AddPaletteModeSection(TKvPaletteModeSet AModes) {
  Append({.Kind = K::PaletteMode, .Set = AModes.Bits});
}

void TKvDestEngineUIEx::AddMaxColorCountSection(int AMin, int AMax) {
  Append({.Kind = K::MaxColorCount, .Min = AMin, .Max = AMax});
}

void TKvDestEngineUIEx::AddPaletteIndexLabel() { Append({.Kind = K::PaletteIndexLabel}); }

void TKvDestEngineUIEx::AddGrayPaletteCheckBox() { Append({.Kind = K::GrayPaletteCheckBox}); }

void TKvDestEngineUIEx::AddFixedPaletteSectionEx(const std::string& AComboClass, int AColumns, int ARows) {
  Append({.Kind = K::FixedPalette, .Columns = AColumns, .Rows = ARows, .Caption = AComboClass});
}

void TKvDestEngineUIEx::AddZxPaletteSection(TKvPaletteModeSet AModes) {
  Append({.Kind = K::ZxPalette, .Set = AModes.Bits});
}

void TKvDestEngineUIEx::AddZxGigaScreenPaletteSection(bool AWith64x1, TKvPaletteModeSet AModes) {
  Append({.Kind = K::ZxGigaScreenPalette, .Flag = AWith64x1, .Set = AModes.Bits});
}

void TKvDestEngineUIEx::AddColorUsageSection(bool AForceBright) {
  Append({.Kind = K::ColorUsage, .Flag = AForceBright});
}

void TKvDestEngineUIEx::AddCalculationSection() { Append({.Kind = K::Calculation}); }

void TKvDestEngineUIEx::AddMaxFlickeringSection() { Append({.Kind = K::MaxFlickering}); }

void TKvDestEngineUIEx::AddStyleSection() { Append({.Kind = K::Style}); }

void TKvDestEngineUIEx::AddSafeModeCheckBox() { Append({.Kind = K::SafeModeCheckBox}); }

void TKvDestEngineUIEx::AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange) {
  TKvHamSettingSet settings;
  if (AInitial) settings = settings | HamSettings(hsInitialLines);
  if (APrev) settings = settings | HamSettings(hsPrevLines);
  if (ANext) settings = settings | HamSettings(hsNextLines);
  if (AMaxChange) settings = settings | HamSettings(hsMaxChangeCount);
  AddHamSection(settings);
}

void TKvDestEngineUIEx::AddHamSection(TKvHamSettingSet ASettings) { Append({.Kind = K::Ham, .Set = ASettings.Bits}); }

void TKvDestEngineUIEx::AddFileFormatSeparator() { Append({.Kind = K::FileFormatSeparator}); }

void TKvDestEngineUIEx::AddFileFormatCheckBox(const std::string& ACaption) {
  Append({.Kind = K::FileFormatCheckBox, .Caption = ACaption});
}

void TKvDestEngineUIEx::AddCommentSeparator() { Append({.Kind = K::CommentSeparator}); }

void TKvDestEngineUIEx::AddCommentEdit() { Append({.Kind = K::CommentEdit}); }

// ---- own controls ----

int TKvDestEngineUIEx::AddOwnComboBox(const std::string& ACaption, const std::vector<std::string>& AItems,
                                      int AItemIndex, bool APaletteTarget, const std::vector<int>& AValues) {
  return Append({.Kind = K::OwnComboBox,
                 .Flag = APaletteTarget,
                 .Caption = ACaption,
                 .Items = AValues,
                 .Captions = AItems,
                 .Value = AItemIndex});
}

int TKvDestEngineUIEx::AddOwnCheckBox(const std::string& ACaption, bool AChecked, bool APaletteTarget) {
  return Append({.Kind = K::OwnCheckBox, .Flag = APaletteTarget, .Caption = ACaption, .Value = AChecked ? 1 : 0});
}

int TKvDestEngineUIEx::AddOwnTrackBar(const std::string& ACaption, int AMin, int AMax, int ADefault, int APosition,
                                      bool APaletteTarget) {
  return Append({.Kind = K::OwnTrackBar,
                 .Flag = APaletteTarget,
                 .Min = AMin,
                 .Max = AMax,
                 .Caption = ACaption,
                 .Value = APosition,
                 .Default = ADefault});
}

int TKvDestEngineUIEx::AddOwnIntEdit(const std::string& ACaption, int AMin, int AMax, int ADefault, int AValue) {
  return Append(
      {.Kind = K::OwnIntEdit, .Min = AMin, .Max = AMax, .Caption = ACaption, .Value = AValue, .Default = ADefault});
}

int TKvDestEngineUIEx::AddOwnColorBox(const std::string& ACaption, uint32_t AColor, const std::string& ASelectCaption) {
  return Append({.Kind = K::OwnColorBox,
                 .Flag = true,
                 .Caption = ACaption,
                 .Value = static_cast<int>(AColor & 0xFFFFFF),
                 .ButtonCaption = ASelectCaption});
}

int TKvDestEngineUIEx::AddOwnButton(const std::string& ACaption) {
  return Append({.Kind = K::OwnButton, .ButtonCaption = ACaption});
}

int TKvDestEngineUIEx::AddOwnLabel(const std::string& ACaption) {
  return Append({.Kind = K::OwnLabel, .Caption = ACaption});
}

int TKvDestEngineUIEx::AddOwnSeparator(const std::string& ACaption) {
  return Append({.Kind = K::OwnSeparator, .Caption = ACaption});
}

// ---- related controls ----

void TKvDestEngineUIEx::AddRelated(TKvControlId AMaster, int AItemIndex, TKvControlId AControl, bool AInverse) {
  FRelated.push_back({.Master = AMaster, .ItemIndex = AItemIndex, .Control = AControl, .Inverse = AInverse});
}

// ---- hooks ----

void TKvDestEngineUIEx::StoreOptions(IKvPanelControls& C) {
  TKvDestEngineOptions& O = *FOptions;
  auto Has = [&](TKvControlId A) { return C.HasControl(A); };
  auto Selected = [&](TKvControlId A) { return C.HasControl(A) && C.GetItemIndex(A) >= 0; };
  if (Has(pcWidthEdit)) {
    O.SetWidth(C.GetValue(pcWidthEdit));
    C.SetValue(pcWidthEdit, O.GetWidth());
  }
  if (Has(pcHeightEdit)) {
    O.SetHeight(C.GetValue(pcHeightEdit));
    C.SetValue(pcHeightEdit, O.GetHeight());
  }
  // Written directly: the lock alone restarts no conversion.
  if (Has(pcLockCheckBox)) O.LockDimension = C.GetChecked(pcLockCheckBox);
  if (Selected(pcPositionCombo)) O.SetPosition(static_cast<uint8_t>(C.GetItemIndex(pcPositionCombo)));
  if (Selected(pcAspectCombo)) O.SetPixelAspect(static_cast<TKvPixelAspect>(C.GetItemValue(pcAspectCombo)));
  if (Has(pcBorderColorBox)) O.SetBorderColor(static_cast<int32_t>(C.GetColor(pcBorderColorBox)));
  if (Selected(pcCustomPaletteCombo)) O.SetPaletteType(static_cast<uint8_t>(C.GetItemValue(pcCustomPaletteCombo)));
  if (Selected(pcCustomPaletteComboEx))
    O.SetPaletteType(static_cast<uint8_t>(C.GetItemValue(pcCustomPaletteComboEx)));
  if (Selected(pcPaletteIndexCombo)) O.SetPaletteIndex(C.GetItemIndex(pcPaletteIndexCombo));
  if (Selected(pcBorderIndexCombo)) O.SetBorderIndex(C.GetItemIndex(pcBorderIndexCombo));
  if (Has(pcPaletteCombo)) {
    O.SetPalette(C.GetPalette(pcPaletteCombo));
    // The kind of the choice (a loaded palette file answers the colour kind).
    const int LType = C.GetItemValue(pcPaletteCombo);
    if (LType >= 0) O.SetPaletteType(static_cast<uint8_t>(LType));
  }
  if (Selected(pcUsageCombo)) O.SetPaletteUsage(static_cast<uint8_t>(C.GetItemValue(pcUsageCombo)));
  if (Selected(pcModeCombo)) O.SetPaletteMode(static_cast<TKvPaletteMode>(C.GetItemValue(pcModeCombo)));
  if (Has(pcMaxColorCountEdit)) O.SetMaxColorCount(C.GetValue(pcMaxColorCountEdit));
  if (Has(pcKeepWholePaletteCheckBox)) O.SetKeepWholePalette(C.GetChecked(pcKeepWholePaletteCheckBox));
  if (Has(pcGrayPaletteCheckBox)) O.SetUseAsGrayPalette(C.GetChecked(pcGrayPaletteCheckBox));
  if (Has(pcOriginalColorsCheckBox)) O.SetUseOnlyOriginalColors(C.GetChecked(pcOriginalColorsCheckBox));
  if (Selected(pcCalculationCombo)) O.SetGigaCalculation(static_cast<uint8_t>(C.GetItemIndex(pcCalculationCombo)));
  if (Selected(pcColorUsageCombo)) O.SetColorUsage(static_cast<TKvColorUsage>(C.GetItemValue(pcColorUsageCombo)));
  if (Has(pcMaxFlickeringBar)) O.SetMaxFlickering(C.GetValue(pcMaxFlickeringBar));
  if (Selected(pcStyleCombo)) O.SetGigaStyle(static_cast<uint8_t>(C.GetItemIndex(pcStyleCombo)));
  if (Has(pcSafeModeCheckBox)) O.SetSafeMode(C.GetChecked(pcSafeModeCheckBox));
  if (Has(pcHamInitialBar)) O.SetHAMInitialLines(C.GetValue(pcHamInitialBar));
  if (Has(pcHamPrevBar)) O.SetHAMPrevLines(C.GetValue(pcHamPrevBar));
  if (Has(pcHamNextBar)) O.SetHAMNextLines(C.GetValue(pcHamNextBar));
  if (Has(pcHamMaxChangeBar)) O.SetHAMMaxChangeCount(C.GetValue(pcHamMaxChangeBar));
  if (Has(pcLightnessBar)) O.SetLightnessFix(C.GetValue(pcLightnessBar));
  if (Has(pcSaturationBar)) O.SetSaturationFix(C.GetValue(pcSaturationBar));
  if (Selected(pcDitherMethodCombo)) O.SetDitherMethod(static_cast<uint8_t>(C.GetItemIndex(pcDitherMethodCombo)));
  if (Has(pcErrorDiffusionBar)) O.SetErrorDiffusion(C.GetValue(pcErrorDiffusionBar));
  if (Has(pcLimitInsideCheckBox)) O.SetLimitErrorInsideBlock(C.GetChecked(pcLimitInsideCheckBox));
  if (Has(pcLimitBoundaryCheckBox)) O.SetLimitErrorAtBlockBoundary(C.GetChecked(pcLimitBoundaryCheckBox));
  if (Has(pcSerpentineCheckBox)) O.SetSerpentine(C.GetChecked(pcSerpentineCheckBox));
  if (Has(pcFileFormatCheckBox)) O.SetWriteFileHeader(C.GetChecked(pcFileFormatCheckBox));
  if (Has(pcCommentEdit)) O.SetComment(C.GetText(pcCommentEdit));
}

void TKvDestEngineUIEx::ArrangeControls(IKvPanelControls& C, int& ATop) {
  // The control column sits right of the widest caption; the vertical label
  // spacing is what separates them.
  const TnoxShellUIMetrics& M = C.GetMetrics();
  C.SetControlLeft(M.MarginX + C.GetCaptionWidth() + M.LabelSpacingY);
  ATop = 0;
  for (int i = 0; i < static_cast<int>(FSections.size()); ++i) ArrangeSection(C, i, ATop);
}

// ---- the controls of each section ----

uint32_t PositionAspectSet(uint32_t AAspectSet, int APixelAspect) {
  uint32_t set = AAspectSet;
  if (set == 0) {
    // Modes with an unusual native aspect offer its simpler neighbour beside "1:1".
    switch (APixelAspect) {
      case pa1p138_2: set = PixelAspects(pa1_2).Bits; break;
      case pa2p276_1: set = PixelAspects(pa2_1).Bits; break;
      case pa4p552_1: set = PixelAspects(pa4_1).Bits; break;
      default: break;
    }
  }
  if (APixelAspect >= 0 && APixelAspect < PixelAspectCount) set |= 1u << APixelAspect;
  return set | PixelAspects(pa1_1).Bits;
}

namespace {

using CK = TKvPanelControlKind;

int IndexOf(const std::vector<int>& AList, int AValue) {
  const auto it = std::find(AList.begin(), AList.end(), AValue);
  return it == AList.end() ? -1 : static_cast<int>(it - AList.begin());
}

// Builds the control list of one section.
class TSectionBuilder {
public:
  explicit TSectionBuilder(const TKvDestEngineOptions& AOptions) : O(AOptions) {}

  TKvPanelControlInfo& Add(TKvControlId AId, CK AKind, std::string AText = {}) {
    Result.Controls.push_back({.Id = AId, .Kind = AKind, .Text = std::move(AText)});
    return Result.Controls.back();
  }
  void Caption(TKvControlId AId, std::string AText) {
    Add(AId, CK::Caption, std::move(AText)).Place = TKvPanelPlace::Caption;
  }
  TKvPanelControlInfo& Beside(TKvPanelControlInfo& AInfo, TKvPanelGap AGap) {
    AInfo.Place = TKvPanelPlace::Beside;
    AInfo.Gap = AGap;
    return AInfo;
  }
  TKvPanelControlInfo& Check(TKvControlId AId, std::string AText, bool AChecked, bool APaletteChange = false) {
    TKvPanelControlInfo& info = Add(AId, CK::CheckBox, std::move(AText));
    info.Value = AChecked ? 1 : 0;
    info.PaletteChange = APaletteChange;
    return info;
  }
  TKvPanelControlInfo& List(TKvControlId AId, CK AKind, std::vector<std::string> AItems, std::vector<int> AValues,
                            int AItemIndex, bool APaletteChange) {
    TKvPanelControlInfo& info = Add(AId, AKind);
    info.Items = std::move(AItems);
    info.Values = std::move(AValues);
    info.ItemIndex = AItemIndex;
    info.PaletteChange = APaletteChange;
    return info;
  }
  // The values of ASet below ACount, each shown by its name.
  void NamedList(TKvControlId AId, CK AKind, const char* const* ANames, int ACount, uint32_t ASet, int ASelected,
                 bool APaletteChange = true) {
    std::vector<std::string> items;
    std::vector<int> values;
    for (int v = 0; v < ACount && v < 32; ++v)
      if (ASet & (1u << v)) {
        items.emplace_back(ANames[v]);
        values.push_back(v);
      }
    const int index = IndexOf(values, ASelected);
    List(AId, AKind, std::move(items), std::move(values), index, APaletteChange);
  }
  // A list whose entries are the indexes 0..n-1: an index beyond them shows the first.
  void IndexList(TKvControlId AId, CK AKind, const std::vector<std::string>& AItems, int ASelected,
                 const std::vector<TKvPanelGlyph>& AGlyphs) {
    const int count = static_cast<int>(AItems.size());
    std::vector<int> values(AItems.size());
    for (int i = 0; i < count; ++i) values[static_cast<size_t>(i)] = i;
    const int index = ASelected < count ? (ASelected >= 0 ? ASelected : -1) : (count > 0 ? 0 : -1);
    List(AId, AKind, AItems, std::move(values), index, true).Glyphs = AGlyphs;
  }
  void KindList(const std::vector<int>& AKinds) {
    std::vector<std::string> items;
    std::vector<int> values;
    for (int k : AKinds)
      if (k >= 0 && k < PaletteTypeCount) {
        items.emplace_back(PaletteTypeNames[k]);
        values.push_back(k);
      }
    const int index = IndexOf(values, O.PaletteType);
    List(pcCustomPaletteCombo, CK::PaletteKindList, std::move(items), std::move(values), index, true);
  }
  TKvPanelControlInfo& IntEdit(TKvControlId AId, int AMin, int AMax, int AValue, int ADefault = 0,
                               int AEmptyThreshold = -1) {
    TKvPanelControlInfo& info = Add(AId, CK::IntEdit);
    info.Min = AMin;
    info.Max = AMax;
    info.Value = AValue;
    info.Default = ADefault;
    info.EmptyThreshold = AEmptyThreshold;
    return info;
  }
  void TrackBar(TKvControlId AId, int AMin, int AMax, int ADefault, int AValue, bool APaletteChange = false) {
    TKvPanelControlInfo& info = Add(AId, CK::TrackBar);
    info.Min = AMin;
    info.Max = AMax;
    info.Default = ADefault;
    info.Value = AValue;
    info.PaletteChange = APaletteChange;
  }
  void ColorBox(TKvControlId AId, uint32_t AColor) { Add(AId, CK::ColorBox).Value = static_cast<int>(AColor & 0xFFFFFF); }
  void Grid(TKvControlId AId, CK AKind, int AColumns, int ARows, bool ANoDrop) {
    TKvPanelControlInfo& info = Add(AId, AKind);
    info.Columns = AColumns;
    info.Rows = ARows;
    info.NoDrop = ANoDrop;
  }
  void ModeSection(uint32_t AModeSet) {
    Caption(pcModeLabel, "&Mode:");
    NamedList(pcModeCombo, CK::PaletteModeList, PaletteModeNames, PaletteModeCount, AModeSet, O.PaletteMode);
    // "Custom" comes with the button that opens the palette editor.
    if (TKvPaletteModeSet{AModeSet}.Has(pmCustom)) Beside(Add(pcEditButton, CK::Button, "Edit..."), TKvPanelGap::Unrelated);
  }
  void FixedPaletteSection(int AColumns, int ARows, bool AConverterFilter) {
    Caption(pcFixedPaletteLabel, "&Fixed palette:");
    Add(pcFixedPaletteCombo, CK::FixedPaletteList).ConverterFilter = AConverterFilter;
    Grid(pcFixedPalette, CK::FixedPaletteGrid, AColumns, ARows, false);
  }

  const TKvDestEngineOptions& O;
  TKvSectionControls Result;
};

}  // namespace

TKvSectionControls SectionControls(const TKvPanelSection& S, int AIndex, const TKvDestEngineOptions& O) {
  TSectionBuilder b(O);
  switch (S.Kind) {
    case K::Dimension: {
      const TKvSize min = O.GetMinSize(), max = O.GetMaxSize();
      b.Caption(pcDimensionLabel, "&Dimension:");
      b.IntEdit(pcWidthEdit, min.Width, max.Width, O.GetWidth());
      b.Beside(b.Add(pcTimesLabel, CK::Label, " x "), TKvPanelGap::None);
      b.Beside(b.IntEdit(pcHeightEdit, min.Height, max.Height, O.GetHeight()), TKvPanelGap::None);
      if (S.Flag) b.Beside(b.Add(pcNativeButton, CK::Button, "&Native dimension"), TKvPanelGap::Unrelated);
      b.Beside(b.Check(pcLockCheckBox, "Lock", false), TKvPanelGap::Unrelated);
      break;
    }
    case K::Position: {
      b.Caption(pcPositionLabel, "P&osition:");
      b.List(pcPositionCombo, CK::List, {"Fit source in result", "Fit result in source", "Stretched", "Centred"},
             {0, 1, 2, 3}, O.Position <= 3 ? O.Position : -1, false);
      const uint32_t aspects = PositionAspectSet(S.Set, O.PixelAspect);
      if (aspects != PixelAspects(pa1_1).Bits) {
        b.Caption(pcAspectLabel, "Pixel aspect &ratio:");
        b.NamedList(pcAspectCombo, CK::PixelAspectList, PixelAspectNames, PixelAspectCount, aspects, O.PixelAspect,
                    false);
      }
      b.Caption(pcBorderColorLabel, "&Border color:");
      b.ColorBox(pcBorderColorBox, static_cast<uint32_t>(O.BorderColor));
      b.Beside(b.Add(pcBorderColorButton, CK::Button, "Select..."), TKvPanelGap::Related);
      break;
    }
    case K::PaletteSeparator: b.Add(pcPaletteSeparator, CK::Separator, "Palette"); break;
    case K::PaletteLabel: b.Caption(pcPaletteLabel, "P&alette:"); break;
    case K::OriginalColorsCheckBox:
      b.Check(pcOriginalColorsCheckBox, "Use only original colors", O.UseOnlyOriginalColors);
      break;
    case K::DestPalette:
      b.Grid(pcDestPalette, CK::PaletteGrid, S.Columns, S.Rows, S.Flag);
      b.Result.Controls.back().ReadOnly = S.ReadOnly;
      break;
    case K::OptimizedPalette:
      b.Add(pcPaletteSeparator, CK::Separator, "Palette");
      b.Caption(pcPaletteLabel, "P&alette:");
      b.Add(pcPaletteCombo, CK::PaletteFileList).PaletteChange = true;
      b.Grid(pcDestPalette, CK::PaletteGrid, 16, 16, false);
      b.Caption(pcMaxColorCountLabel, "Max color &count:");
      b.IntEdit(pcMaxColorCountEdit, 0, 256, O.MaxColorCount, 0, 1);
      b.Check(pcKeepWholePaletteCheckBox, "Keep &whole palette in output file", O.KeepWholePalette);
      b.Check(pcGrayPaletteCheckBox, "Use as &gray palette", O.UseAsGrayPalette, true);
      b.FixedPaletteSection(16, 1, false);
      break;
    case K::Dithering: {
      b.Add(pcDitheringSeparator, CK::Separator, "Dithering");
      b.Caption(pcDitherMethodLabel, "Me&thod:");
      std::vector<std::string> methods;
      std::vector<int> values;
      for (int m = 0; m <= 8; ++m) {
        methods.emplace_back(DitherMethodNames[m]);
        values.push_back(m);
      }
      b.List(pcDitherMethodCombo, CK::List, std::move(methods), std::move(values),
             O.DitherMethod <= 8 ? O.DitherMethod : -1, false);
      b.Caption(pcErrorDiffusionLabel, "&Error diffusion:");
      b.TrackBar(pcErrorDiffusionBar, 0, 100, 100, O.ErrorDiffusion);
      std::vector<TKvControlId> diffusion = {pcErrorDiffusionLabel, pcErrorDiffusionBar};
      if (S.Flag) {
        // The two block limits belong together.
        b.Check(pcLimitInsideCheckBox, "Limit error inside block", O.LimitErrorInsideBlock).RelatedBelow = true;
        b.Check(pcLimitBoundaryCheckBox, "Limit error at block boundary", O.LimitErrorAtBlockBoundary);
        diffusion.insert(diffusion.end(), {pcLimitInsideCheckBox, pcLimitBoundaryCheckBox});
      }
      b.Check(pcSerpentineCheckBox, "Serpentine scanning", O.Serpentine);
      diffusion.push_back(pcSerpentineCheckBox);
      b.Caption(pcLightnessLabel, "Lightness fix:");
      b.TrackBar(pcLightnessBar, -90, 90, 0, O.LightnessFix);
      b.Caption(pcSaturationLabel, "Saturation fix:");
      b.TrackBar(pcSaturationBar, -90, 90, 0, O.SaturationFix);
      // Without dithering ("None") nothing is diffused.
      for (TKvControlId id : diffusion)
        b.Result.Related.push_back({.Master = pcDitherMethodCombo, .ItemIndex = 0, .Control = id, .Inverse = true});
      break;
    }
    case K::CustomPaletteComboBox:
      b.Caption(pcPaletteLabel, "P&alette:");
      b.KindList(S.Items);
      break;
    case K::CustomPaletteComboBoxEx: {
      b.Caption(pcPaletteLabel, "P&alette:");
      std::vector<std::string> items;
      for (size_t i = 0; i < S.Items.size(); ++i)
        items.push_back(i < S.Captions.size() && !S.Captions[i].empty()
                            ? S.Captions[i]
                            : PaletteTypeNames[std::clamp(S.Items[i], 0, PaletteTypeCount - 1)]);
      b.List(pcCustomPaletteComboEx, CK::PaletteKindImageList, std::move(items), S.Items, IndexOf(S.Items, O.PaletteType),
             true)
          .Glyphs = S.Glyphs;
      break;
    }
    case K::PaletteIndexComboBoxEx:
      b.Caption(pcPaletteLabel, "P&alette:");
      b.IndexList(pcPaletteIndexCombo, CK::PaletteIndexImageList, S.Captions, O.PaletteIndex, S.Glyphs);
      break;
    case K::BorderColorComboBoxEx:
      b.Caption(pcBorderIndexLabel, "Border color:");
      b.IndexList(pcBorderIndexCombo, CK::ColorImageList, S.Captions, O.BorderIndex, S.Glyphs);
      break;
    case K::PaletteUsage:
      b.Caption(pcUsageLabel, "&Usage:");
      b.NamedList(pcUsageCombo, CK::PaletteUsageList, PaletteUsageNames, PaletteUsageCount, S.Set, O.PaletteUsage);
      break;
    case K::PaletteMode: b.ModeSection(S.Set); break;
    case K::MaxColorCount:
      b.Caption(pcMaxColorCountLabel, "Max color &count:");
      b.IntEdit(pcMaxColorCountEdit, S.Min, S.Max, O.MaxColorCount, S.Max, 0);
      break;
    case K::PaletteIndexLabel: b.Add(pcPaletteIndexLabel, CK::PaletteIndexLabel); break;
    case K::GrayPaletteCheckBox: b.Check(pcGrayPaletteCheckBox, "Use as &gray palette", O.UseAsGrayPalette, true); break;
    case K::FixedPalette: b.FixedPaletteSection(S.Columns, S.Rows, S.Caption != "TKvFixedPaletteComboBox"); break;
    case K::ZxPalette:
    case K::ZxGigaScreenPalette: {
      const bool giga = S.Kind == K::ZxGigaScreenPalette;
      b.Add(pcPaletteSeparator, CK::Separator, "Palette");
      b.Caption(pcPaletteLabel, "P&alette:");
      if (giga) {
        std::vector<int> kinds = {ptColored15x1, ptColored15x2};
        if (S.Flag) kinds.push_back(ptColored64x1);
        kinds.push_back(ptColored64x2);
        b.KindList(kinds);
      } else {
        b.KindList({ptPulsar, ptColoredLinear, ptAlone});
      }
      if (S.Set) b.ModeSection(S.Set);
      b.Grid(pcDestPalette, CK::PaletteGrid, 16, giga ? 4 : 1, true);
      break;
    }
    case K::ColorUsage: {
      b.Caption(pcColorUsageLabel, "Color &usage:");
      std::vector<std::string> items = {"Dark and bright", "Dark only"};
      std::vector<int> values = {cuDarkAndBright, cuDarkOnly};
      if (S.Flag) {
        items.emplace_back("Dark only but force set bright bit");
        values.push_back(cuDarkOnlyForceBright);
      }
      items.emplace_back("Bright only");
      values.push_back(cuBrightOnly);
      // The converter's own value is shown, so the first store keeps it.
      const int index = IndexOf(values, O.ColorUsage);
      b.List(pcColorUsageCombo, CK::List, std::move(items), std::move(values), index >= 0 ? index : 0, true);
      break;
    }
    case K::Calculation:
      b.Caption(pcCalculationLabel, "&Calculation:");
      b.List(pcCalculationCombo, CK::List, {"Standard", "Linear"}, {0, 1},
             O.GigaCalculation <= 1 ? O.GigaCalculation : -1, true);
      break;
    case K::MaxFlickering:
      b.Caption(pcMaxFlickeringLabel, "Max &flickering:");
      b.TrackBar(pcMaxFlickeringBar, 0, 100, 50, O.MaxFlickering, true);
      break;
    case K::Style:
      b.Caption(pcStyleLabel, "St&yle:");
      b.List(pcStyleCombo, CK::List, {"Lines", "Chessboard", "Mixed"}, {0, 1, 2}, O.GigaStyle <= 2 ? O.GigaStyle : -1,
             true);
      break;
    case K::SafeModeCheckBox: b.Check(pcSafeModeCheckBox, "Safe mode", O.SafeMode, true); break;
    case K::Ham: {
      const TKvHamSettingSet settings{S.Set};
      b.Add(pcHamSeparator, CK::Separator, "HAM");
      if (settings.Has(hsInitialLines)) {
        b.Caption(pcHamInitialLabel, "Initial palette lines:");
        b.TrackBar(pcHamInitialBar, 1, 100, 1, O.HAMInitialLines);
      }
      if (settings.Has(hsPrevLines)) {
        b.Caption(pcHamPrevLabel, settings.Has(hsNextLines) ? "Prev lines:" : "Extra lines:");
        b.TrackBar(pcHamPrevBar, 0, 10, 1, O.HAMPrevLines);
      }
      if (settings.Has(hsNextLines)) {
        b.Caption(pcHamNextLabel, "Next lines:");
        b.TrackBar(pcHamNextBar, 0, 10, 1, O.HAMNextLines);
      }
      if (settings.Has(hsMaxChangeCount)) {
        // The converter's own count is kept, and the range leaves room to raise it.
        b.Caption(pcHamMaxChangeLabel, "Max change count:");
        b.TrackBar(pcHamMaxChangeBar, 1, std::max(16, O.HAMMaxChangeCount), 1, O.HAMMaxChangeCount);
      }
      break;
    }
    case K::FileFormatSeparator: b.Add(pcFileFormatSeparator, CK::Separator, "File format"); break;
    case K::FileFormatCheckBox: b.Check(pcFileFormatCheckBox, S.Caption, O.WriteFileHeader); break;
    case K::CommentSeparator: b.Add(pcCommentSeparator, CK::Separator, "Comment"); break;
    case K::CommentEdit:
      b.Caption(pcCommentLabel, "&Comment:");
      b.Add(pcCommentEdit, CK::Edit, O.Comment);
      break;
    case K::OwnComboBox:
    case K::OwnTrackBar:
    case K::OwnIntEdit:
    case K::OwnColorBox: {
      if (!S.Caption.empty()) b.Caption(OwnControl(AIndex, opCaption), S.Caption);
      const TKvControlId id = OwnControl(AIndex);
      const int value = std::clamp(S.Value, S.Min, std::max(S.Min, S.Max));
      if (S.Kind == K::OwnComboBox) {
        std::vector<int> values;
        for (size_t k = 0; k < S.Captions.size(); ++k)
          values.push_back(k < S.Items.size() ? S.Items[k] : static_cast<int>(k));
        const bool listed = S.Value >= 0 && S.Value < static_cast<int>(S.Captions.size());
        b.List(id, CK::List, S.Captions, std::move(values), listed ? S.Value : -1, S.Flag);
      } else if (S.Kind == K::OwnTrackBar) {
        b.TrackBar(id, S.Min, S.Max, S.Default, value, S.Flag);
      } else if (S.Kind == K::OwnIntEdit) {
        b.IntEdit(id, S.Min, S.Max, value, S.Default);
      } else {
        b.ColorBox(id, static_cast<uint32_t>(S.Value));
        if (!S.ButtonCaption.empty())
          b.Beside(b.Add(OwnControl(AIndex, opButton), CK::Button, S.ButtonCaption), TKvPanelGap::Related);
      }
      break;
    }
    case K::OwnCheckBox: b.Check(OwnControl(AIndex), S.Caption, S.Value != 0, S.Flag); break;
    case K::OwnButton: b.Add(OwnControl(AIndex), CK::Button, S.ButtonCaption); break;
    case K::OwnLabel: b.Add(OwnControl(AIndex), CK::Label, S.Caption); break;
    case K::OwnSeparator: b.Add(OwnControl(AIndex), CK::Separator, S.Caption); break;
  }
  return std::move(b.Result);
}

// ---- the controls in memory ----

TKvPanelControlState::TKvPanelControlState(TKvDestEngineUIEx& APanel) : FPanel(APanel) {
  const std::vector<TKvPanelSection>& sections = APanel.GetSections();
  for (int i = 0; i < static_cast<int>(sections.size()); ++i) {
    TKvSectionControls section = SectionControls(sections[static_cast<size_t>(i)], i, *APanel.GetOptions());
    for (TKvPanelControlInfo& info : section.Controls) {
      const auto [it, made] = FControls.try_emplace(info.Id);
      if (!made) continue;
      TControl& c = it->second;
      c.Kind = info.Kind;
      c.Text = std::move(info.Text);
      c.Items = std::move(info.Items);
      c.ItemValues = std::move(info.Values);
      c.ItemIndex = info.ItemIndex;
      switch (info.Kind) {
        case CK::CheckBox: c.Checked = info.Value != 0; break;
        case CK::ColorBox: c.Color = static_cast<uint32_t>(info.Value); break;
        case CK::IntEdit:
        case CK::TrackBar: c.Value = info.Value; break;
        default: break;
      }
    }
    FRelated.insert(FRelated.end(), section.Related.begin(), section.Related.end());
  }
  FRelated.insert(FRelated.end(), APanel.GetRelated().begin(), APanel.GetRelated().end());
  UpdateEditButton();
  // In order, as the window links them: for a control two lists switch, the later link has the last word.
  for (const TKvPanelRelated& r : FRelated)
    if (HasControl(r.Master)) SetEnabled(r.Control, r.EnabledFor(GetItemIndex(r.Master)));
}

void TKvPanelControlState::UpdateEditButton() {
  // "Edit..." opens the editor only while the mode list shows "Custom" and the converter allows it.
  if (HasControl(pcEditButton))
    SetEnabled(pcEditButton, GetItemValue(pcModeCombo) == pmCustom && FPanel.CanEditPalette());
}

void TKvPanelControlState::ApplyRelated(TKvControlId AMaster) {
  if (!HasControl(AMaster)) return;
  const int index = GetItemIndex(AMaster);
  for (const TKvPanelRelated& r : FRelated)
    if (r.Master == AMaster) SetEnabled(r.Control, r.EnabledFor(index));
}

TKvPanelControlState::TControl* TKvPanelControlState::Find(TKvControlId AId) {
  const auto It = FControls.find(AId);
  return It == FControls.end() ? nullptr : &It->second;
}

const TKvPanelControlState::TControl* TKvPanelControlState::Find(TKvControlId AId) const {
  const auto It = FControls.find(AId);
  return It == FControls.end() ? nullptr : &It->second;
}

bool TKvPanelControlState::GetEnabled(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C && C->Enabled;
}

void TKvPanelControlState::SetEnabled(TKvControlId AId, bool AEnabled) {
  if (TControl* C = Find(AId)) C->Enabled = AEnabled;
}

bool TKvPanelControlState::GetVisible(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C && C->Visible;
}

void TKvPanelControlState::SetVisible(TKvControlId AId, bool AVisible) {
  if (TControl* C = Find(AId)) C->Visible = AVisible;
}

int TKvPanelControlState::GetItemIndex(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C ? C->ItemIndex : -1;
}

void TKvPanelControlState::SetItemIndex(TKvControlId AId, int AIndex) {
  TControl* C = Find(AId);
  if (!C) return;
  C->ItemIndex = AIndex >= 0 && AIndex < static_cast<int>(C->ItemValues.size()) ? AIndex : -1;
  ApplyRelated(AId);
  if (AId == pcModeCombo) UpdateEditButton();
}

int TKvPanelControlState::GetItemCount(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C ? static_cast<int>(C->ItemValues.size()) : 0;
}

int TKvPanelControlState::GetItemValue(TKvControlId AId) const {
  const TControl* C = Find(AId);
  if (!C || C->ItemIndex < 0 || C->ItemIndex >= static_cast<int>(C->ItemValues.size())) return -1;
  return C->ItemValues[static_cast<size_t>(C->ItemIndex)];
}

bool TKvPanelControlState::GetChecked(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C && C->Checked;
}

void TKvPanelControlState::SetChecked(TKvControlId AId, bool AChecked) {
  if (TControl* C = Find(AId)) C->Checked = AChecked;
}

int TKvPanelControlState::GetValue(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C ? C->Value : 0;
}

void TKvPanelControlState::SetValue(TKvControlId AId, int AValue) {
  if (TControl* C = Find(AId)) C->Value = AValue;
}

uint32_t TKvPanelControlState::GetColor(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C ? C->Color : 0;
}

void TKvPanelControlState::SetColor(TKvControlId AId, uint32_t AColor) {
  if (TControl* C = Find(AId)) C->Color = AColor & 0xFFFFFF;
}

std::string TKvPanelControlState::GetText(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C ? C->Text : std::string();
}

void TKvPanelControlState::SetText(TKvControlId AId, const std::string& AText) {
  if (TControl* C = Find(AId)) C->Text = AText;
}

void TKvPanelControlState::SetBackground(TKvControlId AId, bool ANormal, uint32_t AColor) {
  if (TControl* C = Find(AId)) {
    C->NormalBackground = ANormal;
    C->Background = ANormal ? 0 : AColor;
  }
}

TRect TKvPanelControlState::GetBounds(TKvControlId AId) const {
  const TControl* C = Find(AId);
  return C ? C->Bounds : TRect{};
}

void TKvPanelControlState::SetBounds(TKvControlId AId, const TRect& ABounds) {
  if (TControl* C = Find(AId)) C->Bounds = ABounds;
}

void TKvPanelControlState::ArrangeSection(int ASection, int& ATop) {
  const std::vector<TKvPanelSection>& L = FPanel.GetSections();
  if (ASection < 0 || ASection >= static_cast<int>(L.size())) return;
  for (const TKvPanelControlInfo& info :
       SectionControls(L[static_cast<size_t>(ASection)], ASection, *FPanel.GetOptions()).Controls) {
    TControl& C = FControls[info.Id];
    C.Bounds = Rect(FControlLeft, ATop, FControlLeft + 100, ATop + 20);
    ATop += 20 + Metrics.UnrelatedSpacingY;
  }
}

void TKvPanelControlState::RunPaletteEditor(TKvPalette& APalette, int AColumns) {
  ++EditorRuns;
  EditorColorCount = APalette.GetCount();
  EditorColumns = AColumns;
}
