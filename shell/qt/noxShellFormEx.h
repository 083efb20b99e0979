// The form every window and dialog derives from: an initial rectangle on the
// right monitor, an initial client size, fitting to the monitor's work area
// (shrinking spacing and font when needed), centring, batched bounds updates and
// a first-in first-out queue of DPI changes. Also the edit and combo-box bases.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <vector>

#include "shell/noxShellFormEx.h"
#include "shell/qt/noxShellForm.h"

class TnoxShellUIForm : public TnoxShellBaseUIForm {
public:
  // A form without placement references (Create, CreateNew).
  TnoxShellUIForm();
  // CreateForWindows: a missing owner takes the parent and a missing parent the owner.
  // The windows only serve placement (initial monitor, the window to centre over).
  TnoxShellUIForm(QWidget* AOwnerWnd, QWidget* AParentWnd);
  ~TnoxShellUIForm() override = default;

  void AfterConstruction() override;

  virtual void AdjustInitialBounds(TnoxRect& ARect) { (void)ARect; }
  // Minimum window size; 0 in a half means no minimum.
  virtual TnoxSize GetMinSize() { return {0, 0}; }
  // Preferred client size applied after construction; 0 or less in a half is not applied.
  virtual TnoxSize GetInitialClientSize();
  // Whether the form can be resized by the user (the sizeable border style).
  bool IsSizeable() const { return FSizeable; }
  void SetSizeable(bool ASizeable) { FSizeable = ASizeable; }

  void BeginBoundsUpdate();
  void EndBoundsUpdate();
  // Inside a bounds update it only records the values.
  virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  void FitToMonitor();

  bool IsInitialized() const override { return FFormInitialized && TnoxShellBaseUIForm::IsInitialized(); }
  bool CanArrange() const override { return FBoundsUpdateLevel == 0 && TnoxShellBaseUIForm::CanArrange(); }

  int32_t GetLayoutLeft() const;
  void SetLayoutLeft(int32_t AValue);
  int32_t GetLayoutTop() const;
  void SetLayoutTop(int32_t AValue);
  int32_t GetLayoutWidth() const;
  void SetLayoutWidth(int32_t AValue);
  int32_t GetLayoutHeight() const;
  void SetLayoutHeight(int32_t AValue);
  int32_t GetLayoutClientWidth() const;
  void SetLayoutClientWidth(int32_t AValue);
  int32_t GetLayoutClientHeight() const;
  void SetLayoutClientHeight(int32_t AValue);

  // The window messages of DPI changes, display changes and moves. A DPI change
  // without a suggested rectangle queues nothing but drains the queue.
  void DpiChanged(int32_t ADpiX, int32_t ADpiY, const TnoxRect* ASuggestedRect);
  void DisplayChanged();
  void EnterSizeMove() { FDpiChangedDuringMove = false; }
  void ExitSizeMove();

  QWidget* GetOwnerWnd() const { return FOwnerWnd; }
  QWidget* GetParentWnd() const { return FParentWnd; }
  int32_t GetBoundsUpdateLevel() const { return FBoundsUpdateLevel; }
  int32_t GetDpiChangeCount() const { return FDpiChangeCount; }
  int32_t GetDpiChangeCapacity() const { return static_cast<int32_t>(FDpiChanges.size()); }
  bool GetDpiChangedDuringMove() const { return FDpiChangedDuringMove; }
  bool GetInitialBoundsAdjusted() const { return FInitialBoundsAdjusted; }

protected:
  virtual void ApplyDpiChange(const TnoxDpiChange& AChange);
  void BroadcastDpiMessage(bool AAfterParent);
  // The window frame: window size minus client size.
  int32_t FrameWidth() const;
  int32_t FrameHeight() const;

  bool FInitialBoundsAdjusted = false;
  bool FDpiChangedDuringMove = false;
  bool FDrainingDpiChanges = false;
  std::vector<TnoxDpiChange> FDpiChanges;
  int32_t FDpiChangeCount = 0;
  QPointer<QWidget> FOwnerWnd;
  QPointer<QWidget> FParentWnd;
  bool FFormInitialized = false;
  int32_t FBoundsUpdateLevel = 0;
  int32_t FPendingLeft = 0, FPendingTop = 0, FPendingWidth = 0, FPendingHeight = 0;
  int32_t FFrameDeltaWidth = 0, FFrameDeltaHeight = 0;
  bool FSizeable = true;
  // The first events after showing: once the window manager has framed the
  // window, a frame other than the one it was placed with moves it back into
  // the work area.
  bool event(QEvent* AEvent) override;

private:
  void CenterInitially();
  QMargins FPlacedFrame;
  bool FFrameChecked = false;
};

class TnoxShellEdit : public QLineEdit {
public:
  explicit TnoxShellEdit(QWidget* AParent = nullptr);
};

class TnoxShellComboBox : public QComboBox {
public:
  explicit TnoxShellComboBox(QWidget* AParent = nullptr);

  // The text that owner drawing paints; the base gives the item's string.
  virtual QString GetItemText(int AIndex) const;
  // Paints one item: nothing for an index out of range.
  virtual void DrawItem(QPainter& APainter, int AIndex, const QRect& ARect, bool ASelected);
  int32_t GetItemHeight() const { return FItemHeight; }

  // A re-created box keeps the user's edit selection.
  void DestroyWnd();
  void CreateWnd();

  int32_t SavedSelStart = -1;
  int32_t SavedSelLength = -1;

protected:
  void changeEvent(QEvent* AEvent) override;
  void paintEvent(QPaintEvent* AEvent) override;
  void UpdateItemHeight();
  int32_t FItemHeight = 0;
};

class TnoxShellComboBoxEx : public QComboBox {
public:
  explicit TnoxShellComboBoxEx(QWidget* AParent = nullptr);
  int32_t GetItemHt() const { return FItemHeight; }

protected:
  void changeEvent(QEvent* AEvent) override;
  void UpdateItemHeight();
  int32_t FItemHeight = 0;
};
