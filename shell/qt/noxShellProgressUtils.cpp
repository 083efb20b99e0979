#include "shell/qt/noxShellProgressUtils.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

namespace {
QRect ToQRect(const TnoxRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
}  // namespace

QColor TnoxShellDrawProgressBar::ShadowColor() { return QApplication::palette().color(QPalette::Dark); }
QColor TnoxShellDrawProgressBar::HighlightColor() { return QApplication::palette().color(QPalette::Light); }
QColor TnoxShellDrawProgressBar::FaceColor() { return QApplication::palette().color(QPalette::Button); }

QColor TnoxShellDrawProgressBar::FillColor(uint8_t AState) {
  switch (AState) {
    case 1: return QColor(255, 0, 0);
    case 2: return QColor(255, 255, 0);
    case 3: return QColor(0, 0, 255);
    default: return QApplication::palette().color(QPalette::Highlight);
  }
}

void TnoxShellDrawProgressBar::ThemeChanged(QWidget* AWnd) {
  CloseTheme();
  OpenTheme(AWnd);
}

void TnoxShellDrawProgressBar::OpenTheme(QWidget* AWnd) {
  CloseTheme();
  if (!ThemesActive()) return;
  FTheme = OpenThemeData(AWnd, "PROGRESS");
  GetThemeMetric(FTheme, nullptr, 3, 0, 2411, FChunkSize);
  GetThemeMetric(FTheme, nullptr, 3, 0, 2412, FSpaceSize);
  GetThemeMetric(FTheme, nullptr, 4, 0, 2411, FChunkSizeVert);
  GetThemeMetric(FTheme, nullptr, 4, 0, 2412, FSpaceSizeVert);
}

void TnoxShellDrawProgressBar::CloseTheme() {
  if (FTheme != 0) {
    CloseThemeData(FTheme);
    FTheme = 0;
  }
}

void TnoxShellDrawProgressBar::Draw(QPainter& ADC, const TnoxRect& ARect, int32_t AMin, int32_t AMax,
                                    int32_t APosition, uint8_t AState, bool AHorizontal, bool ABuffered,
                                    bool ATransparent) {
  if (ABuffered) {
    if (ARect.IsEmpty()) return;
    QImage buffer(ARect.Width(), ARect.Height(), QImage::Format_ARGB32_Premultiplied);
    if (buffer.isNull()) return;
    // Start from what is there, so a transparent bar keeps its background.
    if (auto* img = dynamic_cast<QImage*>(ADC.device()))
      buffer = img->copy(ToQRect(ARect)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    else
      buffer.fill(Qt::transparent);
    {
      QPainter p(&buffer);
      Draw(p, noxRect(0, 0, ARect.Width(), ARect.Height()), AMin, AMax, APosition, AState, AHorizontal, false,
           ATransparent);
    }
    ADC.save();
    ADC.setCompositionMode(QPainter::CompositionMode_Source);
    ADC.drawImage(ARect.Left, ARect.Top, buffer);
    ADC.restore();
    return;
  }
  const double fraction = noxProgressFraction(AMin, AMax, APosition);
  if (FTheme != 0)
    DrawThemed(ADC, ARect, fraction, AState, AHorizontal, ATransparent);
  else
    DrawClassic(ADC, ARect, fraction, AState, AHorizontal);
}

void TnoxShellDrawProgressBar::DrawThemed(QPainter& ADC, const TnoxRect& ARect, double AFraction, uint8_t AState,
                                          bool AHorizontal, bool ATransparent) {
  void* dc = &ADC;
  const int32_t transparentPart = AHorizontal ? 11 : 12;
  const int32_t barPart0 = AHorizontal ? 1 : 2;
  const int32_t fillPart0 = AHorizontal ? 5 : 6;
  const bool transparent = ATransparent && IsThemePartDefined(FTheme, transparentPart, 0);
  const int32_t barPart = transparent ? transparentPart : barPart0;
  const int32_t barState = transparent ? 1 : 0;
  const int32_t fillPart = IsThemePartDefined(FTheme, fillPart0, 0) ? fillPart0 : (AHorizontal ? 3 : 4);
  DrawThemeBackground(FTheme, dc, barPart, barState, ARect, nullptr);
  TnoxRect C;
  if (GetThemeBackgroundContentRect(FTheme, dc, barPart, barState, ARect, C) < 0 || C.IsEmpty()) return;
  if (FSpaceSize == 0 || fillPart == 5 || fillPart == 6) {
    TnoxRect F = C;
    if (AHorizontal)
      F.Right = C.Left + static_cast<int32_t>(Trunc(C.Width() * AFraction));
    else
      F.Top = C.Bottom - static_cast<int32_t>(Trunc(C.Height() * AFraction));
    DrawThemeBackground(FTheme, dc, fillPart, AState + 1, F, nullptr);
    return;
  }
  const auto chunks = AHorizontal ? noxProgressChunks(C, AFraction, true, FChunkSize, FSpaceSize)
                                  : noxProgressChunks(C, AFraction, false, FChunkSizeVert, FSpaceSizeVert);
  for (const TnoxRect& chunk : chunks) {
    bool recoloured = false;
    if (AState != 0 && !chunk.IsEmpty()) {
      // Draw the chunk off screen, then turn its pixels into the state's colour.
      QImage img(chunk.Width(), chunk.Height(), QImage::Format_RGB888);
      if (!img.isNull()) {
        img.fill(Qt::white);
        {
          QPainter p(&img);
          DrawThemeBackground(FTheme, &p, fillPart, 0, noxRect(0, 0, chunk.Width(), chunk.Height()), nullptr);
        }
        QImage bgr = img.rgbSwapped();
        for (int y = 0; y < bgr.height(); ++y) noxRecolourBGR(bgr.scanLine(y), bgr.width(), AState);
        ADC.drawImage(chunk.Left, chunk.Top, bgr.rgbSwapped());
        recoloured = true;
      }
    }
    if (!recoloured) DrawThemeBackground(FTheme, dc, fillPart, 0, chunk, nullptr);
  }
}

void TnoxShellDrawProgressBar::DrawClassic(QPainter& ADC, const TnoxRect& ARect, double AFraction, uint8_t AState,
                                           bool AHorizontal) {
  const int32_t L = ARect.Left, T = ARect.Top, Rt = ARect.Right, B = ARect.Bottom;
  ADC.save();
  ADC.setRenderHint(QPainter::Antialiasing, false);
  // Shadow on the left and top edges, highlight on the bottom and right (end points excluded).
  ADC.setPen(Qt::NoPen);
  ADC.fillRect(QRect(L, T + 1, 1, B - 1 - T), ShadowColor());  // (L, B-1) up to (L, T), excluding (L, T)
  ADC.fillRect(QRect(L, T, Rt - 1 - L, 1), ShadowColor());      // (L, T) to (Rt-1, T), excluding the end
  ADC.fillRect(QRect(L, B - 1, Rt - 1 - L, 1), HighlightColor());
  ADC.fillRect(QRect(Rt - 1, T, 1, B - T), HighlightColor());  // (Rt-1, B-1) up to (Rt-1, T-1), excluding the end
  const TnoxClassicProgressGeometry g = noxClassicProgressGeometry(ARect, AFraction, AHorizontal);
  if (!g.Inner.IsEmpty()) {
    ADC.fillRect(ToQRect(g.Inner), FaceColor());
    const QColor fill = FillColor(AState);
    for (const TnoxRect& s : g.Segments)
      if (!s.IsEmpty()) ADC.fillRect(ToQRect(s), fill);
  }
  ADC.restore();
}
