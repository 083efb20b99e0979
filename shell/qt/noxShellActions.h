// The base of every command: displayed properties come from virtual getters at
// each update, and the work runs under the exception box, again on Retry.
#pragma once

#include <QAction>
#include <QPointer>
#include <QString>

class TnoxShellAction : public QAction {
public:
  explicit TnoxShellAction(QObject* AOwner);
  ~TnoxShellAction() override;

  // Takes what the constructors assigned as the defaults.
  virtual void AfterConstruction();

  // Caption, Enabled, Checked, Visible, ImageIndex and ShortCut from the getters, in this order.
  virtual bool Update();
  // Runs the work when enabled; an exception is shown and the work repeated on Retry.
  virtual bool Execute();

  virtual QWidget* GetOwnerWindow();
  virtual QWidget* GetErrorOwnerWindow() { return GetOwnerWindow(); }
  virtual QString QueryCaption() { return text(); }
  virtual bool QueryChecked() { return isChecked(); }
  virtual bool QueryEnabled() { return isEnabled(); }
  virtual int32_t QueryImageIndex() { return FImageIndex; }
  virtual QKeySequence QueryShortCut() { return shortcut(); }
  virtual bool QueryVisible() { return isVisible(); }
  virtual void BeforeExecute() {}
  virtual void DoExecute() {}
  virtual bool IsCaptionStored() { return text() != FDefaultCaption; }
  virtual bool IsShortCutStored() { return shortcut() != FDefaultShortCut; }

  int32_t GetImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t AValue) { FImageIndex = AValue; }
  uint32_t ErrorButtons = 0;
  QAction* GetAdditionalAction() const { return FAdditionalAction; }
  void SetAdditionalAction(QAction* AValue) { FAdditionalAction = AValue; }
  // The control that triggered the action, when there is one.
  QObject* ActionComponent = nullptr;
  const QString& GetDefaultCaption() const { return FDefaultCaption; }
  const QKeySequence& GetDefaultShortCut() const { return FDefaultShortCut; }

private:
  QString FDefaultCaption;
  QKeySequence FDefaultShortCut;
  int32_t FImageIndex = -1;
  QPointer<QAction> FAdditionalAction;
};
