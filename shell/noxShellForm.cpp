#include "shell/noxShellForm.h"

#include <algorithm>

void TnoxShellUIMetrics::SetMeasuredExtent(int32_t ACx, int32_t ACy) {
  ShrinkStep = 0;
  AvgCharWidth = ACx / 52;
  CharHeight = ACy;
  AvgCharWidthF = ACx / 52.0;
  CharHeightF = ACy;
  UpdateSpacing();
}

void TnoxShellUIMetrics::UpdateSpacing() {
  auto x = [this](int32_t u) { return DialogUnitsX(u) - ShrinkStep; };
  auto y = [this](int32_t u) { return DialogUnitsY(u) - ShrinkStep; };
  MarginX = x(7);
  MinSpacing = MarginX;
  auto take = [this](int32_t& field, int32_t v) {
    field = v;
    MinSpacing = std::min(MinSpacing, v);
  };
  take(MarginY, y(7));
  take(Spacing11Y, y(11));
  take(Spacing6X, x(6));
  take(Spacing7Y, y(7));
  take(LabelSpacingX, x(3));
  take(LabelSpacingY, y(3));
  take(RelatedSpacingX, x(4));
  take(RelatedSpacingY, y(4));
  take(UnrelatedSpacingX, x(7));
  take(UnrelatedSpacingY, y(7));
  take(ButtonSpacingX, x(4));
  take(ButtonSpacingY, y(4));
}

int32_t TnoxShellUIMetrics::CharsToWidth(double ACount) const {
  return static_cast<int32_t>(Round(ACount * AvgCharWidthF));
}

int32_t TnoxShellUIMetrics::LinesToHeight(double ACount) const {
  return static_cast<int32_t>(Round(ACount * CharHeightF));
}

bool TnoxShellUIMetrics::Compact() {
  if (MinSpacing >= 4) {
    ++ShrinkStep;
    UpdateSpacing();
    return true;
  }
  const int32_t h = GetFontHeightValue();
  if (h >= -10) return false;
  SetFontHeightValue(h + 1);
  return true;
}

TnoxSize noxButtonSize(int32_t AAvgWidth, int32_t ATextHeight, TnoxSize ACaption) {
  return {std::max(MulDiv(50, AAvgWidth, 4), ACaption.Width + 3 * AAvgWidth),
          std::max(MulDiv(14, ATextHeight, 8), ACaption.Height)};
}

TnoxSize noxGlyphButtonSize(TnoxSize AGlyph, TnoxSize AText, bool AHasCaption) {
  if (!AHasCaption) return AGlyph;
  return {AGlyph.Width + AText.Width + 2, std::max(AText.Height, AGlyph.Height)};
}

TnoxSize GetCheckBoxGlyphSize() { return {13, 13}; }

int32_t noxCenterOnComboBoxTop(int32_t AComboTop, int32_t AComboHeight, int32_t ALabelHeight, bool ADropDownStyle) {
  return AComboTop + (AComboHeight - ALabelHeight) / 2 - (ADropDownStyle ? 0 : 1);
}
