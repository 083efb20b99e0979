// A label that is a widget of its own: automatic size, alignment, vertical
// layout, word wrap, ellipsis, an accelerator character that focuses another
// control, and transparency. Text is measured through the form's text measurer.
#pragma once

#include <QPointer>
#include <QWidget>

#include "shell/noxShellThemes.h"

class QShortcut;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TEllipsisPosition { epNone, epPathEllipsis, epEndEllipsis, epWordEllipsis };

// Text drawing flags (the values of the system's DrawText flags).
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_EXPANDTABS = 0x40;
constexpr uint32_t DT_CALCRECT = 0x400;
constexpr uint32_t DT_NOPREFIX = 0x800;
constexpr uint32_t DT_PATH_ELLIPSIS = 0x4000;
constexpr uint32_t DT_END_ELLIPSIS = 0x8000;
constexpr uint32_t DT_WORD_ELLIPSIS = 0x40000;
constexpr uint32_t DT_HIDEPREFIX = 0x100000;
constexpr uint32_t DT_COMPOSITED = 0x800000;

constexpr int UIS_SET = 1;
constexpr int UIS_CLEAR = 2;
constexpr int UISF_HIDEACCEL = 2;

class TLabel : public QWidget {
public:
  explicit TLabel(QWidget* AParent = nullptr);

  QString GetCaption() const { return FCaption; }
  void SetCaption(const QString& AValue);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment AValue);
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool AValue);
  TEllipsisPosition GetEllipsisPosition() const { return FEllipsisPosition; }
  void SetEllipsisPosition(TEllipsisPosition AValue);
  QWidget* GetFocusControl() const { return FFocusControl; }
  void SetFocusControl(QWidget* AValue);
  int32_t GetGlowSize() const { return FGlowSize; }
  void SetGlowSize(int32_t AValue);
  TTextLayout GetLayout() const { return FLayout; }
  void SetLayout(TTextLayout AValue);
  bool GetShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool AValue);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool AValue);
  bool GetWordWrap() const { return FWordWrap; }
  void SetWordWrap(bool AValue);
  QColor GetColor() const;
  void SetColor(const QColor& AValue);
  bool GetKeyboardCuesVisible() const { return FKeyboardCuesVisible; }

  // The text to draw; the base gives the caption.
  virtual QString GetLabelText() const;
  // Draws the text in ARect, or with DT_CALCRECT measures it into ARect.
  virtual void DoDrawText(TnoxRect& ARect, uint32_t AFlags);
  // Sizes the control to its text when AutoSize is on.
  virtual void AdjustBounds();

  // The text that drawing in ARect with AFlags shows once shortened by words for an ellipsis.
  QString ShortenedText(const TnoxRect& ARect, uint32_t AFlags);
  // The accelerator character: focuses FocusControl and returns true when consumed.
  bool DialogChar(QChar AChar);
  // Keyboard-cue changes of the window (show or hide accelerator underlines).
  void UpdateUIState(int AAction, int AFlags);

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;

private:
  uint32_t AlignmentFlag() const;
  uint32_t EllipsisFlag() const;
  int32_t FontHeightValue() const;
  void UpdateShortcut();
  void DrawTextLine(const QString& AText, const TnoxRect& ARect, uint32_t AFlags, const QColor& AColor);

  QPointer<QWidget> FFocusControl;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = true;
  int32_t FGlowSize = 0;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
  bool FShowAccelChar = true;
  bool FKeyboardCuesVisible = true;
  TEllipsisPosition FEllipsisPosition = epNone;
  bool FTransparent = false;
  QString FCaption;
  QPainter* FCanvas = nullptr;
  QShortcut* FShortcut = nullptr;
  bool FConstructing = true;
};
