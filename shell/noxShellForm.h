// UI metrics arithmetic: dialog units, spacing values, compaction and the sizing
// rules of buttons and check boxes. The font itself lives in the Qt layer; this
// part only needs its measured character size and its height value.
#pragma once

#include <cstdint>

#include "shell/noxShellFormUtils.h"

// The 52 letters whose extent gives the average character size of a font.
constexpr const char* noxAverageCharText = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

class TnoxShellUIMetrics {
public:
  TnoxShellUIMetrics() = default;
  virtual ~TnoxShellUIMetrics() = default;

  int32_t DpiX = noxDefaultDpi;
  int32_t DpiY = noxDefaultDpi;
  int32_t AvgCharWidth = 0;
  int32_t CharHeight = 0;
  double AvgCharWidthF = 0;
  double CharHeightF = 0;
  int32_t ShrinkStep = 0;

  int32_t MarginX = 0;
  int32_t MarginY = 0;
  int32_t Spacing11Y = 0;
  int32_t Spacing6X = 0;
  int32_t Spacing7Y = 0;
  int32_t LabelSpacingX = 0;
  int32_t LabelSpacingY = 0;
  int32_t RelatedSpacingX = 0;
  int32_t RelatedSpacingY = 0;
  int32_t UnrelatedSpacingX = 0;
  int32_t UnrelatedSpacingY = 0;
  int32_t ButtonSpacingX = 0;
  int32_t ButtonSpacingY = 0;
  int32_t MinSpacing = 0;

  // Takes the extent of the 52 letters of the font and recomputes everything.
  void SetMeasuredExtent(int32_t ACx, int32_t ACy);
  void UpdateSpacing();

  int32_t DialogUnitsX(int32_t AUnits) const { return MulDiv(AUnits, AvgCharWidth, 4); }
  int32_t DialogUnitsY(int32_t AUnits) const { return MulDiv(AUnits, CharHeight, 8); }

  int32_t CharsToWidth(double ACount) const;
  int32_t LinesToHeight(double ACount) const;

  // One step of shrinking the layout: the spacing first, then the font, down to 10 pixels.
  bool Compact();

protected:
  // The font's height value as in LOGFONTW (-n: n pixels of character height).
  virtual int32_t GetFontHeightValue() const = 0;
  // Gives the font a new height value; the implementation measures the font again
  // and calls SetMeasuredExtent, which resets ShrinkStep.
  virtual void SetFontHeightValue(int32_t AValue) = 0;
};

// Size of a push button: 50 x 14 dialog units at least, else the caption plus 3 average characters.
TnoxSize noxButtonSize(int32_t AAvgWidth, int32_t ATextHeight, TnoxSize ACaption);
// Size of a check box: the glyph plus 2 and the text; a lone blank gives the glyph alone.
TnoxSize noxGlyphButtonSize(TnoxSize AGlyph, TnoxSize AText, bool AHasCaption);
// The classic check-box glyph: 13 x 13.
TnoxSize GetCheckBoxGlyphSize();
// Top of a caption centred on a combo box; a simple combo (neither drop-down style) is one pixel higher.
int32_t noxCenterOnComboBoxTop(int32_t AComboTop, int32_t AComboHeight, int32_t ALabelHeight, bool ADropDownStyle);
