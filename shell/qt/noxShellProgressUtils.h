// Paints a progress bar into any painter: through the visual style when one is
// active, by hand otherwise. Not a control: its owner decides where and when.
#pragma once

#include <QColor>

#include "shell/noxShellProgressUtils.h"

class QPainter;
class QWidget;

class TnoxShellDrawProgressBar {
public:
  TnoxShellDrawProgressBar() = default;
  ~TnoxShellDrawProgressBar() { CloseTheme(); }
  TnoxShellDrawProgressBar(const TnoxShellDrawProgressBar&) = delete;
  TnoxShellDrawProgressBar& operator=(const TnoxShellDrawProgressBar&) = delete;

  void ThemeChanged(QWidget* AWnd);
  void OpenTheme(QWidget* AWnd);
  void CloseTheme();
  // AState: 0 normal, 1 red, 2 yellow, 3 blue.
  void Draw(QPainter& ADC, const TnoxRect& ARect, int32_t AMin, int32_t AMax, int32_t APosition, uint8_t AState,
            bool AHorizontal, bool ABuffered, bool ATransparent);

  HTHEME GetTheme() const { return FTheme; }

  // The hand-drawn bar's colours (system colours: shadow, highlight, face, selection).
  static QColor ShadowColor();
  static QColor HighlightColor();
  static QColor FaceColor();
  static QColor FillColor(uint8_t AState);

private:
  void DrawThemed(QPainter& ADC, const TnoxRect& ARect, double AFraction, uint8_t AState, bool AHorizontal,
                  bool ATransparent);
  void DrawClassic(QPainter& ADC, const TnoxRect& ARect, double AFraction, uint8_t AState, bool AHorizontal);

  HTHEME FTheme = 0;
  int32_t FChunkSize = 0;
  int32_t FSpaceSize = 0;
  int32_t FChunkSizeVert = 0;
  int32_t FSpaceSizeVert = 0;
};
