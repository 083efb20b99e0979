#include "app/KvPanelSections.h"

#include <algorithm>

#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"

using K = TKvPanelSectionKind;

int TKvDestEngineUIEx::Append(TKvPanelSection ASection) {
  ASection.Group = FGroup;
  FSections.push_back(std::move(ASection));
  return static_cast<int>(FSections.size()) - 1;
}

void TKvDestEngineUIEx::AddDimensionSection(bool ANativeButton) {
  Append({.Kind = K::Dimension, .Flag = ANativeButton});
}

void TKvDestEngineUIEx::AddPositionSection(uint32_t AAspectSet) { Append({.Kind = K::Position, .Set = AAspectSet}); }

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

void TKvDestEngineUIEx::AddPaletteUsageSection(uint32_t AUsageSet) {
  Append({.Kind = K::PaletteUsage, .Set = AUsageSet});
}

void TKvDestEngineUIEx::AddPaletteModeSection(uint32_t AModeSet) { Append({.Kind = K::PaletteMode, .Set = AModeSet}); }

void TKvDestEngineUIEx::AddMaxColorCountSection(int AMin, int AMax) {
  Append({.Kind = K::MaxColorCount, .Min = AMin, .Max = AMax});
}

void TKvDestEngineUIEx::AddPaletteIndexLabel() { Append({.Kind = K::PaletteIndexLabel}); }

void TKvDestEngineUIEx::AddGrayPaletteCheckBox() { Append({.Kind = K::GrayPaletteCheckBox}); }

void TKvDestEngineUIEx::AddFixedPaletteSectionEx(const std::string& AComboClass, int AColumns, int ARows) {
  Append({.Kind = K::FixedPalette, .Columns = AColumns, .Rows = ARows, .Caption = AComboClass});
}

void TKvDestEngineUIEx::AddZxPaletteSection(uint32_t AModeSet) { Append({.Kind = K::ZxPalette, .Set = AModeSet}); }

void TKvDestEngineUIEx::AddZxGigaScreenPaletteSection(bool AWith64x1, uint32_t AModeSet) {
  Append({.Kind = K::ZxGigaScreenPalette, .Flag = AWith64x1, .Set = AModeSet});
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

void TKvDestEngineUIEx::ApplyRelated(IKvPanelControls& AControls, TKvControlId AMaster) const {
  if (!AControls.HasControl(AMaster)) return;
  const int LIndex = AControls.GetItemIndex(AMaster);
  for (const TKvPanelRelated& R : FRelated)
    if (R.Master == AMaster) AControls.SetEnabled(R.Control, R.EnabledFor(LIndex));
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
  if (Selected(pcAspectCombo)) O.SetPixelAspect(static_cast<uint8_t>(C.GetItemValue(pcAspectCombo)));
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
  if (Selected(pcModeCombo)) O.SetPaletteMode(static_cast<uint8_t>(C.GetItemValue(pcModeCombo)));
  if (Has(pcMaxColorCountEdit)) O.SetMaxColorCount(C.GetValue(pcMaxColorCountEdit));
  if (Has(pcKeepWholePaletteCheckBox)) O.SetKeepWholePalette(C.GetChecked(pcKeepWholePaletteCheckBox));
  if (Has(pcGrayPaletteCheckBox)) O.SetUseAsGrayPalette(C.GetChecked(pcGrayPaletteCheckBox));
  if (Has(pcOriginalColorsCheckBox)) O.SetUseOnlyOriginalColors(C.GetChecked(pcOriginalColorsCheckBox));
  if (Selected(pcCalculationCombo)) O.SetGigaCalculation(static_cast<uint8_t>(C.GetItemIndex(pcCalculationCombo)));
  if (Selected(pcColorUsageCombo)) O.SetColorUsage(static_cast<uint8_t>(C.GetItemValue(pcColorUsageCombo)));
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
  uint32_t LSet = AAspectSet;
  if (LSet == 0) {
    // Modes with an unusual native aspect offer it beside "1:1".
    switch (APixelAspect) {
      case 2: LSet = 1u << 1; break;
      case 18: LSet = 1u << 17; break;
      case 21: LSet = 1u << 20; break;
      default: break;
    }
  }
  if (APixelAspect >= 0 && APixelAspect < PixelAspectCount) LSet |= 1u << APixelAspect;
  return LSet | (1u << 10);
}

std::vector<TKvControlId> SectionControls(const TKvPanelSection& S, int AIndex, const TKvDestEngineOptions& AOptions) {
  std::vector<TKvControlId> L;
  auto Add = [&](std::initializer_list<int> AIds) { L.insert(L.end(), AIds.begin(), AIds.end()); };
  auto AddMode = [&](uint32_t ASet) {
    if (!ASet) return;
    Add({pcModeLabel, pcModeCombo});
    if (ASet & (1u << 17)) Add({pcEditButton});
  };
  switch (S.Kind) {
    case K::Dimension:
      Add({pcDimensionLabel, pcWidthEdit, pcTimesLabel, pcHeightEdit});
      if (S.Flag) Add({pcNativeButton});
      Add({pcLockCheckBox});
      break;
    case K::Position:
      Add({pcPositionLabel, pcPositionCombo});
      if (PositionAspectSet(S.Set, AOptions.PixelAspect) != (1u << 10)) Add({pcAspectLabel, pcAspectCombo});
      Add({pcBorderColorLabel, pcBorderColorBox, pcBorderColorButton});
      break;
    case K::PaletteSeparator: Add({pcPaletteSeparator}); break;
    case K::PaletteLabel: Add({pcPaletteLabel}); break;
    case K::OriginalColorsCheckBox: Add({pcOriginalColorsCheckBox}); break;
    case K::DestPalette: Add({pcDestPalette}); break;
    case K::OptimizedPalette:
      Add({pcPaletteSeparator, pcPaletteLabel, pcPaletteCombo, pcDestPalette, pcMaxColorCountLabel,
           pcMaxColorCountEdit, pcKeepWholePaletteCheckBox, pcGrayPaletteCheckBox, pcFixedPaletteLabel,
           pcFixedPaletteCombo, pcFixedPalette});
      break;
    case K::Dithering:
      Add({pcDitheringSeparator, pcDitherMethodLabel, pcDitherMethodCombo, pcErrorDiffusionLabel,
           pcErrorDiffusionBar});
      if (S.Flag) Add({pcLimitInsideCheckBox, pcLimitBoundaryCheckBox});
      Add({pcSerpentineCheckBox, pcLightnessLabel, pcLightnessBar, pcSaturationLabel, pcSaturationBar});
      break;
    case K::CustomPaletteComboBox: Add({pcPaletteLabel, pcCustomPaletteCombo}); break;
    case K::CustomPaletteComboBoxEx: Add({pcPaletteLabel, pcCustomPaletteComboEx}); break;
    case K::PaletteIndexComboBoxEx: Add({pcPaletteLabel, pcPaletteIndexCombo}); break;
    case K::BorderColorComboBoxEx: Add({pcBorderIndexLabel, pcBorderIndexCombo}); break;
    case K::PaletteUsage: Add({pcUsageLabel, pcUsageCombo}); break;
    case K::PaletteMode:
      Add({pcModeLabel, pcModeCombo});
      if (S.Set & (1u << 17)) Add({pcEditButton});
      break;
    case K::MaxColorCount: Add({pcMaxColorCountLabel, pcMaxColorCountEdit}); break;
    case K::PaletteIndexLabel: Add({pcPaletteIndexLabel}); break;
    case K::GrayPaletteCheckBox: Add({pcGrayPaletteCheckBox}); break;
    case K::FixedPalette: Add({pcFixedPaletteLabel, pcFixedPaletteCombo, pcFixedPalette}); break;
    case K::ZxPalette:
    case K::ZxGigaScreenPalette:
      Add({pcPaletteSeparator, pcPaletteLabel, pcCustomPaletteCombo});
      AddMode(S.Set);
      Add({pcDestPalette});
      break;
    case K::ColorUsage: Add({pcColorUsageLabel, pcColorUsageCombo}); break;
    case K::Calculation: Add({pcCalculationLabel, pcCalculationCombo}); break;
    case K::MaxFlickering: Add({pcMaxFlickeringLabel, pcMaxFlickeringBar}); break;
    case K::Style: Add({pcStyleLabel, pcStyleCombo}); break;
    case K::SafeModeCheckBox: Add({pcSafeModeCheckBox}); break;
    case K::Ham:
      Add({pcHamSeparator});
      if (S.Set & 1) Add({pcHamInitialLabel, pcHamInitialBar});
      if (S.Set & 2) Add({pcHamPrevLabel, pcHamPrevBar});
      if (S.Set & 4) Add({pcHamNextLabel, pcHamNextBar});
      if (S.Set & 8) Add({pcHamMaxChangeLabel, pcHamMaxChangeBar});
      break;
    case K::FileFormatSeparator: Add({pcFileFormatSeparator}); break;
    case K::FileFormatCheckBox: Add({pcFileFormatCheckBox}); break;
    case K::CommentSeparator: Add({pcCommentSeparator}); break;
    case K::CommentEdit: Add({pcCommentLabel, pcCommentEdit}); break;
    case K::OwnComboBox:
    case K::OwnTrackBar:
    case K::OwnIntEdit:
    case K::OwnColorBox:
      if (!S.Caption.empty()) L.push_back(OwnControl(AIndex, opCaption));
      L.push_back(OwnControl(AIndex));
      if (S.Kind == K::OwnColorBox && !S.ButtonCaption.empty()) L.push_back(OwnControl(AIndex, opButton));
      break;
    case K::OwnCheckBox:
    case K::OwnButton:
    case K::OwnLabel:
    case K::OwnSeparator: L.push_back(OwnControl(AIndex)); break;
  }
  return L;
}

// ---- the controls in memory ----

namespace {

std::vector<int> SetBits(uint32_t ASet, int ACount) {
  std::vector<int> L;
  for (int i = 0; i < ACount && i < 32; ++i)
    if (ASet & (1u << i)) L.push_back(i);
  return L;
}

int IndexOf(const std::vector<int>& AList, int AValue) {
  const auto It = std::find(AList.begin(), AList.end(), AValue);
  return It == AList.end() ? -1 : static_cast<int>(It - AList.begin());
}

}  // namespace

TKvPanelControlState::TKvPanelControlState(TKvDestEngineUIEx& APanel) : FPanel(APanel) {
  const TKvDestEngineOptions& O = *APanel.GetOptions();
  const std::vector<TKvPanelSection>& LSections = APanel.GetSections();
  for (int i = 0; i < static_cast<int>(LSections.size()); ++i) {
    const TKvPanelSection& S = LSections[static_cast<size_t>(i)];
    for (TKvControlId LId : SectionControls(S, i, O)) FControls[LId];
    // The values the sections show at first.
    auto Combo = [&](TKvControlId AId, std::vector<int> AValues, int ASelected) {
      TControl& C = FControls[AId];
      C.ItemValues = std::move(AValues);
      C.ItemIndex = IndexOf(C.ItemValues, ASelected);
    };
    switch (S.Kind) {
      case K::Dimension:
        FControls[pcWidthEdit].Value = O.GetWidth();
        FControls[pcHeightEdit].Value = O.GetHeight();
        break;
      case K::Position:
        Combo(pcPositionCombo, {0, 1, 2, 3}, O.Position);
        if (Find(pcAspectCombo))
          Combo(pcAspectCombo, SetBits(PositionAspectSet(S.Set, O.PixelAspect), PixelAspectCount), O.PixelAspect);
        FControls[pcBorderColorBox].Color = static_cast<uint32_t>(O.BorderColor) & 0xFFFFFF;
        break;
      case K::PaletteMode: Combo(pcModeCombo, SetBits(S.Set, PaletteModeCount), O.PaletteMode); break;
      case K::PaletteUsage: Combo(pcUsageCombo, SetBits(S.Set, PaletteUsageCount), O.PaletteUsage); break;
      case K::CustomPaletteComboBox: Combo(pcCustomPaletteCombo, S.Items, O.PaletteType); break;
      case K::CustomPaletteComboBoxEx: Combo(pcCustomPaletteComboEx, S.Items, O.PaletteType); break;
      case K::ZxPalette:
        Combo(pcCustomPaletteCombo, {ptPulsar, ptColoredLinear, ptAlone}, O.PaletteType);
        if (S.Set) Combo(pcModeCombo, SetBits(S.Set, PaletteModeCount), O.PaletteMode);
        break;
      case K::ZxGigaScreenPalette: {
        std::vector<int> L = {ptColored15x1, ptColored15x2};
        if (S.Flag) L.push_back(ptColored64x1);
        L.push_back(ptColored64x2);
        Combo(pcCustomPaletteCombo, L, O.PaletteType);
        if (S.Set) Combo(pcModeCombo, SetBits(S.Set, PaletteModeCount), O.PaletteMode);
        break;
      }
      case K::Style: Combo(pcStyleCombo, {0, 1, 2}, O.GigaStyle); break;
      case K::Calculation: Combo(pcCalculationCombo, {0, 1}, O.GigaCalculation); break;
      case K::MaxFlickering: FControls[pcMaxFlickeringBar].Value = O.MaxFlickering; break;
      case K::SafeModeCheckBox: FControls[pcSafeModeCheckBox].Checked = O.SafeMode; break;
      case K::GrayPaletteCheckBox: FControls[pcGrayPaletteCheckBox].Checked = O.UseAsGrayPalette; break;
      case K::OriginalColorsCheckBox: FControls[pcOriginalColorsCheckBox].Checked = O.UseOnlyOriginalColors; break;
      case K::FileFormatCheckBox: FControls[pcFileFormatCheckBox].Checked = O.WriteFileHeader; break;
      case K::MaxColorCount: FControls[pcMaxColorCountEdit].Value = O.MaxColorCount; break;
      case K::CommentEdit: FControls[pcCommentEdit].Text = O.Comment; break;
      case K::Ham:
        if (S.Set & 1) FControls[pcHamInitialBar].Value = O.HAMInitialLines;
        if (S.Set & 2) FControls[pcHamPrevBar].Value = O.HAMPrevLines;
        if (S.Set & 4) FControls[pcHamNextBar].Value = O.HAMNextLines;
        if (S.Set & 8) FControls[pcHamMaxChangeBar].Value = O.HAMMaxChangeCount;
        break;
      case K::PaletteIndexComboBoxEx:
        Combo(pcPaletteIndexCombo, SetBits(0xFFFFFFFFu, static_cast<int>(S.Captions.size())), O.PaletteIndex);
        break;
      case K::BorderColorComboBoxEx:
        Combo(pcBorderIndexCombo, SetBits(0xFFFFFFFFu, static_cast<int>(S.Captions.size())), O.BorderIndex);
        break;
      case K::OptimizedPalette:
        FControls[pcMaxColorCountEdit].Value = O.MaxColorCount;
        FControls[pcKeepWholePaletteCheckBox].Checked = O.KeepWholePalette;
        FControls[pcGrayPaletteCheckBox].Checked = O.UseAsGrayPalette;
        break;
      case K::ColorUsage: {
        std::vector<int> L = {0, 1};
        if (S.Flag) L.push_back(2);
        L.push_back(3);
        const int LIndex = IndexOf(L, O.ColorUsage);
        Combo(pcColorUsageCombo, L, 0);
        FControls[pcColorUsageCombo].ItemIndex = LIndex >= 0 ? LIndex : 0;
        break;
      }
      case K::Dithering:
        Combo(pcDitherMethodCombo, SetBits(0x1FF, 9), O.DitherMethod);
        FControls[pcErrorDiffusionBar].Value = O.ErrorDiffusion;
        FControls[pcSerpentineCheckBox].Checked = O.Serpentine;
        FControls[pcLightnessBar].Value = O.LightnessFix;
        FControls[pcSaturationBar].Value = O.SaturationFix;
        if (S.Flag) {
          FControls[pcLimitInsideCheckBox].Checked = O.LimitErrorInsideBlock;
          FControls[pcLimitBoundaryCheckBox].Checked = O.LimitErrorAtBlockBoundary;
        }
        break;
      case K::OwnComboBox: {
        TControl& C = FControls[OwnControl(i)];
        for (size_t k = 0; k < S.Captions.size(); ++k)
          C.ItemValues.push_back(k < S.Items.size() ? S.Items[k] : static_cast<int>(k));
        C.ItemIndex = S.Value >= 0 && S.Value < static_cast<int>(S.Captions.size()) ? S.Value : -1;
        break;
      }
      case K::OwnCheckBox:
        FControls[OwnControl(i)].Checked = S.Value != 0;
        FControls[OwnControl(i)].Text = S.Caption;
        break;
      case K::OwnTrackBar:
      case K::OwnIntEdit: FControls[OwnControl(i)].Value = std::clamp(S.Value, S.Min, std::max(S.Min, S.Max)); break;
      case K::OwnColorBox: FControls[OwnControl(i)].Color = static_cast<uint32_t>(S.Value); break;
      case K::OwnButton: FControls[OwnControl(i)].Text = S.ButtonCaption; break;
      case K::OwnLabel:
      case K::OwnSeparator: FControls[OwnControl(i)].Text = S.Caption; break;
      default: break;
    }
  }
  std::vector<TKvControlId> LMasters;
  for (const TKvPanelRelated& R : APanel.GetRelated())
    if (IndexOf(LMasters, R.Master) < 0) LMasters.push_back(R.Master);
  for (TKvControlId LMaster : LMasters) APanel.ApplyRelated(*this, LMaster);
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
  FPanel.ApplyRelated(*this, AId);
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
  for (TKvControlId LId : SectionControls(L[static_cast<size_t>(ASection)], ASection, *FPanel.GetOptions())) {
    TControl& C = FControls[LId];
    C.Bounds = Rect(FControlLeft, ATop, FControlLeft + 100, ATop + 20);
    ATop += 20 + Metrics.UnrelatedSpacingY;
  }
}

void TKvPanelControlState::RunPaletteEditor(TKvPalette& APalette, int AColumns) {
  ++EditorRuns;
  EditorColorCount = APalette.GetCount();
  EditorColumns = AColumns;
}
