// UI metrics of a form and the base of every window: the message font, spacing
// in dialog units, control sizing, and the two layout hooks ResizeControls and
// ArrangeControls. Text measuring and modal showing go through replaceable
// objects so that layout and dialogs can be tested without real fonts or loops.
#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "shell/noxShellForm.h"

class QAbstractButton;
class QComboBox;
class QEventLoop;

// ---- text measuring ----

class TnoxTextMeasurer {
public:
  virtual ~TnoxTextMeasurer() = default;
  // Extent of one line of text, ampersands measured as plain characters.
  virtual TnoxSize TextExtent(const QFont& AFont, const QString& AText);
  // The rectangle a text needs when drawn from ARect's top-left corner: with word
  // wrapping lines break at ARect's width; line breaks in the text always count.
  virtual TnoxRect TextRect(const QFont& AFont, const TnoxRect& ARect, const QString& AText, bool AWordWrap);
};

TnoxTextMeasurer* GetTextMeasurer();
// Installs a measurer (not owned); nullptr restores the one that asks the font engine.
void SetTextMeasurer(TnoxTextMeasurer* AMeasurer);

// ---- modal showing ----

class TnoxShellBaseUIForm;

class TnoxShellModalPresenter {
public:
  virtual ~TnoxShellModalPresenter() = default;
  // Shows the form modally and returns its modal result.
  virtual int32_t ShowModal(TnoxShellBaseUIForm& AForm);
  // The system sound of a message-box icon (0 = the default beep).
  virtual void MessageBeep(uint32_t AType);
};

TnoxShellModalPresenter* GetModalPresenter();
// Installs a presenter (not owned) and returns the previous one; nullptr restores the real one.
TnoxShellModalPresenter* SetModalPresenter(TnoxShellModalPresenter* APresenter);

// ---- UI metrics ----

class TnoxShellUI : public TnoxShellUIMetrics {
public:
  TnoxShellUI(const QWidget* AWnd, int32_t ADpiX, int32_t ADpiY);
  ~TnoxShellUI() override = default;

  QFont Font;

  virtual QFont CreateMessageFont();
  virtual void UpdateFont();
  // Gives the metrics a new font and measures it.
  void SetFont(const QFont& AFont);
  bool SetDpi(const QWidget* AWnd, int32_t ADpiX, int32_t ADpiY);
  bool SetSingleDpi(const QWidget* AWnd, int32_t ADpi) { return SetDpi(AWnd, ADpi, ADpi); }

  void AutoSizeButton(QAbstractButton* AButton);
  int32_t AutoSizeButtons(const std::vector<QAbstractButton*>& AButtons);
  int32_t AutoSizeButtonList(const QList<QAbstractButton*>& AList);
  void AutoSizeTwoButtons(QAbstractButton* A, QAbstractButton* B);
  void AutoSizeThreeButtons(QAbstractButton* A, QAbstractButton* B, QAbstractButton* C);
  void AutoSizeCheckBox(QAbstractButton* ACheckBox);
  void AutoSizeGlyphButton(QAbstractButton* AControl, int32_t APart, int32_t AState);
  void AutoSizeEditHeight(QWidget* AControl);
  void AlignToClientTop(QWidget* AControl, QWidget* AReference);
  void CenterOnComboBox(QWidget* ALabel, QComboBox* ACombo);
  void SetLineHeight(QWidget* AControl);
  void CenterVertically(QWidget* AReference, QWidget* AControl);
  // Theme fonts: there is no visual-style engine, so no font is made and AFont is left alone.
  bool ApplyThemeFont(intptr_t ATheme, bool AThemeScaled, int32_t APart, int32_t AState, int32_t AProp,
                      QFont& AFont);

protected:
  void FontChanged();
  int32_t GetFontHeightValue() const override;
  void SetFontHeightValue(int32_t AValue) override;
};

// Measures the 52 letters in a font: (cx div 52, cy) and (cx / 52.0, cy).
void MeasureFontCharSize(const QFont& AFont, TnoxSize& ASize, double& AAverageWidth, double& AAverageHeight);

// ---- base form ----

class TnoxShellBaseUIForm : public QWidget {
public:
  explicit TnoxShellBaseUIForm(QWidget* AParent = nullptr);
  ~TnoxShellBaseUIForm() override;

  // The steps that follow the most derived constructor. Forms are made with
  // noxCreateForm, which calls it.
  virtual void AfterConstruction();

  virtual int32_t ShowModal();
  // The modal loop itself (the real presenter calls it).
  int32_t RunModalLoop();
  int32_t GetModalResult() const { return FModalResult; }
  // A non-zero result ends a running modal loop.
  void SetModalResult(int32_t AResult);

  TnoxShellUI* GetShellUI();
  virtual void RescaleUI(int32_t ADpiX, int32_t ADpiY);
  void RefreshUI() { RescaleUI(0, 0); }
  void ApplyUI();
  virtual void ResizeControls() {}
  virtual void ArrangeControls() {}
  virtual void ThemeChanged() {}
  virtual void FreeThemeHandle() {}
  virtual bool IsInitialized() const { return FInitialized; }
  virtual bool CanArrange() const { return !FInArrange && IsInitialized(); }
  // The close box and Alt+F4; a form whose close command is disabled ignores them.
  void SetCloseCommandEnabled(bool AEnabled) { FCloseEnabled = AEnabled; }
  bool IsCloseCommandEnabled() const { return FCloseEnabled; }

protected:
  virtual std::unique_ptr<TnoxShellUI> CreateShellUI();
  void resizeEvent(QResizeEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;

  bool FInitialized = false;
  bool FInArrange = false;

private:
  std::unique_ptr<TnoxShellUI> FShellUI;
  int32_t FModalResult = 0;
  QEventLoop* FModalLoop = nullptr;
  bool FCloseEnabled = true;
};

// Builds a form and runs its AfterConstruction, as a form is made in one step.
template <class T, class... Args>
std::unique_ptr<T> noxCreateForm(Args&&... AArgs) {
  auto form = std::make_unique<T>(std::forward<Args>(AArgs)...);
  form->AfterConstruction();
  return form;
}
