// The task-dialog style form (icon, main instruction, paragraphs, custom area,
// operation log, verification check box and a row of buttons), its layout and
// painting, the message box built on it and the exception box through which
// every error of the program is shown. Modal showing goes through the modal
// presenter of noxShellForm, so tests never block in a loop.
#pragma once

#include <QCheckBox>
#include <QIcon>
#include <QPushButton>
#include <QStringList>
#include <exception>
#include <vector>

#include "shell/noxShellDialogs.h"
#include "shell/qt/noxShellFormEx.h"

class QPlainTextEdit;
class TLabel;

class TnoxShellDialogButton : public QPushButton {
public:
  explicit TnoxShellDialogButton(QWidget* AParent);
  // The button belongs to the left group of the button row.
  bool LeftAligned = false;
  // The width group: buttons with the same tag share one width.
  int32_t Tag = 0;
  int32_t ModalResult = 0;
  bool Cancel = false;
};

class TnoxShellCustomDialogForm : public TnoxShellUIForm {
public:
  // CreateDialog: each window falls back to the other when missing.
  TnoxShellCustomDialogForm(QWidget* AOwnerWnd = nullptr, QWidget* AParentWnd = nullptr);
  ~TnoxShellCustomDialogForm() override;

  void AfterConstruction() override;

  // Shows the dialog modally; the check box is set from and written back to *AChecked.
  int32_t ShowDialog(bool* AChecked);

  TnoxShellDialogButton* NewButton();
  TnoxShellDialogButton* AddButton(const QString& ACaption, int32_t AModalResult, bool ADefault, bool ACancel);
  TnoxShellDialogButton* AddOKButton(const QString& ACaption, bool ADefault, bool ACancel);
  TnoxShellDialogButton* AddCancelButton(const QString& ACaption, bool ADefault, bool ACancel);
  int32_t ButtonCount() const { return static_cast<int32_t>(FButtons.size()); }
  TnoxShellDialogButton* GetButton(int32_t AIndex) const { return FButtons.at(AIndex); }

  QString MainInstruction;
  void SetContentText(const QString& AText);
  const std::vector<QString>& GetParagraphs() const { return FParagraphs; }
  const std::vector<TnoxRect>& GetParagraphRects() const { return FParagraphRects; }
  // For LayoutCustomArea overrides: a separator at ARect.Bottom, never two in a row.
  void AddSeparator(TnoxRect& ARect);
  void AddOperationLog(const QStringList* ALog);

  QCheckBox* GetVerificationCheckBox() const { return FVerificationCheckBox; }
  TLabel* GetLogLabel() const { return FLogLabel; }
  QPlainTextEdit* GetLogMemo() const { return FLogMemo; }

  virtual int32_t GetDefaultWidth();
  virtual int32_t GetContentWidth();
  // The icon at that size; a null icon for none.
  virtual QIcon GetDialogIcon(int32_t AWidth, int32_t AHeight);
  virtual void LayoutCustomArea(TnoxRect& ARect);

  // Stock icons: 1 error, 2 question, 3 warning, 4 information; others none.
  static QIcon LoadStockIcon(uint8_t AKind, int32_t AWidth, int32_t AHeight);

  void ResizeControls() override;
  void ArrangeControls() override;
  void ThemeChanged() override;
  void FreeThemeHandle() override;

  // Layout results.
  const TnoxRect& GetInstructionRect() const { return FInstructionRect; }
  const std::vector<int32_t>& GetSeparatorTops() const { return FSeparatorTops; }
  int32_t GetContentBottom() const { return FContentBottom; }
  int32_t GetLineHeight() const { return FLineHeight; }
  TnoxRect GetIconRect() const { return noxBounds(FIconLeft, FIconTop, FIconWidth, FIconHeight); }
  const QFont& GetInstructionFont() const { return FInstructionFont; }

  // The band colours when no visual style draws them.
  static QColor ContentColor();
  static QColor FooterLineColor();
  static QColor FooterColor();

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;
  void showEvent(QShowEvent* AEvent) override;

  void ClearSeparators() { FSeparatorTops.clear(); }
  void AddSeparatorAt(int32_t& ATop);
  void RemoveTrailingSeparator(TnoxRect& ARect);
  void AutoWidth(int32_t& AWidth, int32_t ATextLeft, int32_t AY);

  HTHEME FTaskDialogTheme = 0;
  bool FTaskDialogThemeForDpi = false;
  std::vector<int32_t> FSeparatorTops;
  int32_t FSeparatorLeft = 0;
  int32_t FSeparatorWidth = 0;
  int32_t FLineHeight = 0;
  QIcon FIcon;
  int32_t FIconLeft = 0, FIconTop = 0, FIconWidth = 0, FIconHeight = 0;
  QFont FInstructionFont;
  TnoxRect FInstructionRect;
  QFont FContentFont;
  std::vector<QString> FParagraphs;
  std::vector<TnoxRect> FParagraphRects;
  int32_t FContentBottom = 0;
  TLabel* FLogLabel = nullptr;
  QPlainTextEdit* FLogMemo = nullptr;
  QCheckBox* FVerificationCheckBox = nullptr;
  std::vector<TnoxShellDialogButton*> FButtons;
};

class TnoxShellMessageBoxForm : public TnoxShellCustomDialogForm {
public:
  // CreateWithButtons.
  TnoxShellMessageBoxForm(QWidget* AOwnerWnd, const QString& ACaption, const QString& AInstruction,
                          const QString& AContent, const QString& AVerificationText, uint8_t AIconKind,
                          const TnoxShellButtonList& AButtons, const QStringList* ALog);
  // CreateFromFlags: the buttons and icon of message-box flags, and copy as text on Ctrl+C.
  static std::unique_ptr<TnoxShellMessageBoxForm> CreateFromFlags(QWidget* AOwnerWnd, const QString& ACaption,
                                                                  const QString& AInstruction,
                                                                  const QString& AContent,
                                                                  const QString& AVerificationText, uint32_t AFlags,
                                                                  const QStringList* ALog);

  uint8_t IconKind = 0;

  int32_t GetContentWidth() override { return 0; }
  QIcon GetDialogIcon(int32_t AWidth, int32_t AHeight) override;
  int32_t ShowWithSound(uint32_t AFlags, bool* AChecked);
  // The whole box as text on the clipboard.
  QString CopyAsText() const;
  void HelpButtonClick();

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
  bool FCopyAsTextKeys = false;
};

int32_t ShowShellMessageBox(QWidget* AOwnerWnd, const QString& AInstruction, const QString& AContent,
                            const QString& ACaption, const QString& AVerificationText, uint32_t AFlags,
                            bool* AChecked);

// Shows an exception: nothing for a cancellation (result 3); a warning always with
// the warning icon. Returns the pressed button.
int32_t ShowExceptionBox(QWidget* AOwnerWnd, const std::exception& E, const QString& APrefix,
                         const QString& ASuffix, const QString& ACaption, uint32_t AButtons, uint8_t AIconKind);
