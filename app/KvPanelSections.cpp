#include "app/KvPanelSections.h"

int TKvDestEngineUIEx::Append(TKvPanelSection ASection) {
  ASection.Group = FGroup;
  FSections.push_back(std::move(ASection));
  return static_cast<int>(FSections.size()) - 1;
}

void TKvDestEngineUIEx::AddDimensionSection(bool ANativeButton) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::Dimension;
  LSection.Flag = ANativeButton;
  Append(LSection);
}

void TKvDestEngineUIEx::AddPositionSection(uint32_t AAspectSet) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::Position;
  LSection.Set = AAspectSet;
  Append(LSection);
}

void TKvDestEngineUIEx::AddPaletteSeparator() {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::PaletteSeparator;
  Append(LSection);
}

void TKvDestEngineUIEx::AddPaletteLabel() {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::PaletteLabel;
  Append(LSection);
}

void TKvDestEngineUIEx::AddOriginalColorsCheckBox() {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::OriginalColorsCheckBox;
  Append(LSection);
}

int TKvDestEngineUIEx::AddDestPalette(int AColumns, int ARows, bool ANoDrop) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::DestPalette;
  LSection.Columns = AColumns;
  LSection.Rows = ARows;
  LSection.Flag = ANoDrop;
  return Append(LSection);
}

void TKvDestEngineUIEx::SetDestPaletteReadOnly(int ASectionIndex, bool AReadOnly) {
  FSections.at(static_cast<size_t>(ASectionIndex)).ReadOnly = AReadOnly;
}

void TKvDestEngineUIEx::AddOptimizedPaletteSection() {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::OptimizedPalette;
  Append(LSection);
}

void TKvDestEngineUIEx::AddDitheringSection(bool ABlockLimits) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::Dithering;
  LSection.Flag = ABlockLimits;
  Append(LSection);
}

int TKvDestEngineUIEx::AppendKind(TKvPanelSectionKind AKind) {
  TKvPanelSection LSection;
  LSection.Kind = AKind;
  return Append(LSection);
}

int TKvDestEngineUIEx::AddCustomPaletteComboBox() { return AppendKind(TKvPanelSectionKind::CustomPaletteComboBox); }

int TKvDestEngineUIEx::AddCustomPaletteComboBoxEx() {
  return AppendKind(TKvPanelSectionKind::CustomPaletteComboBoxEx);
}

int TKvDestEngineUIEx::AddPaletteIndexComboBoxEx() { return AppendKind(TKvPanelSectionKind::PaletteIndexComboBoxEx); }

int TKvDestEngineUIEx::AddBorderColorComboBoxEx() { return AppendKind(TKvPanelSectionKind::BorderColorComboBoxEx); }

void TKvDestEngineUIEx::AddSectionItem(int ASectionIndex, int AValue, const std::string& ACaption) {
  TKvPanelSection& LSection = FSections.at(static_cast<size_t>(ASectionIndex));
  LSection.Items.push_back(AValue);
  LSection.Captions.push_back(ACaption);
}

void TKvDestEngineUIEx::AddPaletteUsageSection(uint32_t AUsageSet) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::PaletteUsage;
  LSection.Set = AUsageSet;
  Append(LSection);
}

void TKvDestEngineUIEx::AddPaletteModeSection(uint32_t AModeSet) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::PaletteMode;
  LSection.Set = AModeSet;
  Append(LSection);
}

void TKvDestEngineUIEx::AddMaxColorCountSection(int AMin, int AMax) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::MaxColorCount;
  LSection.Min = AMin;
  LSection.Max = AMax;
  Append(LSection);
}

void TKvDestEngineUIEx::AddPaletteIndexLabel() { AppendKind(TKvPanelSectionKind::PaletteIndexLabel); }

void TKvDestEngineUIEx::AddGrayPaletteCheckBox() { AppendKind(TKvPanelSectionKind::GrayPaletteCheckBox); }

void TKvDestEngineUIEx::AddFixedPaletteSectionEx(const std::string& AComboClass, int AColumns, int ARows) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::FixedPalette;
  LSection.Caption = AComboClass;
  LSection.Columns = AColumns;
  LSection.Rows = ARows;
  Append(LSection);
}

void TKvDestEngineUIEx::AddZxPaletteSection(uint32_t AModeSet) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::ZxPalette;
  LSection.Set = AModeSet;
  Append(LSection);
}

void TKvDestEngineUIEx::AddZxGigaScreenPaletteSection(bool AWith64x1, uint32_t AModeSet) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::ZxGigaScreenPalette;
  LSection.Flag = AWith64x1;
  LSection.Set = AModeSet;
  Append(LSection);
}

void TKvDestEngineUIEx::AddColorUsageSection(bool AForceBright) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::ColorUsage;
  LSection.Flag = AForceBright;
  Append(LSection);
}

void TKvDestEngineUIEx::AddMaxFlickeringSection() { AppendKind(TKvPanelSectionKind::MaxFlickering); }

void TKvDestEngineUIEx::AddStyleSection() { AppendKind(TKvPanelSectionKind::Style); }

void TKvDestEngineUIEx::AddSafeModeCheckBox() { AppendKind(TKvPanelSectionKind::SafeModeCheckBox); }

void TKvDestEngineUIEx::AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::Ham;
  LSection.Set = (AInitial ? 1u : 0u) | (APrev ? 2u : 0u) | (ANext ? 4u : 0u) | (AMaxChange ? 8u : 0u);
  Append(LSection);
}

void TKvDestEngineUIEx::AddFileFormatSeparator() { AppendKind(TKvPanelSectionKind::FileFormatSeparator); }

void TKvDestEngineUIEx::AddFileFormatCheckBox(const std::string& ACaption) {
  TKvPanelSection LSection;
  LSection.Kind = TKvPanelSectionKind::FileFormatCheckBox;
  LSection.Caption = ACaption;
  Append(LSection);
}

void TKvDestEngineUIEx::AddCommentSeparator() { AppendKind(TKvPanelSectionKind::CommentSeparator); }

void TKvDestEngineUIEx::AddCommentEdit() { AppendKind(TKvPanelSectionKind::CommentEdit); }
