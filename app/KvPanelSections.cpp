#include "app/KvPanelSections.h"

#include <algorithm>

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

void TKvDestEngineUIEx::AddMaxFlickeringSection() { Append({.Kind = K::MaxFlickering}); }

void TKvDestEngineUIEx::AddStyleSection() { Append({.Kind = K::Style}); }

void TKvDestEngineUIEx::AddSafeModeCheckBox() { Append({.Kind = K::SafeModeCheckBox}); }

void TKvDestEngineUIEx::AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange) {
  Append(
      {.Kind = K::Ham, .Set = (AInitial ? 1u : 0u) | (APrev ? 2u : 0u) | (ANext ? 4u : 0u) | (AMaxChange ? 8u : 0u)});
}

void TKvDestEngineUIEx::AddFileFormatSeparator() { Append({.Kind = K::FileFormatSeparator}); }

void TKvDestEngineUIEx::AddFileFormatCheckBox(const std::string& ACaption) {
  Append({.Kind = K::FileFormatCheckBox, .Caption = ACaption});
}

void TKvDestEngineUIEx::AddCommentSeparator() { Append({.Kind = K::CommentSeparator}); }

void TKvDestEngineUIEx::AddCommentEdit() { Append({.Kind = K::CommentEdit}); }
