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
