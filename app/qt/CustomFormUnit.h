// The "Custom palette" dialog: the platform's palette as a grid of swatches
// in which the user picks the colours of palette mode "Custom", with the
// colours of the last result and those nearest to the fitted picture
// outlined. Every pick goes into the options at once; the conversion restarts
// 1000 ms after the last click. Finding the colours nearest to the picture
// runs on a thread of its own, so a large picture never freezes the window.
#pragma once

#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/KvDest.h"
#include "app/qt/KvControls.h"
#include "shell/qt/noxShellFormEx.h"

class TKvCustomPalette : public TKvBorderControl, public IKvDestClient {
public:
  explicit TKvCustomPalette(QWidget* AParent);
  ~TKvCustomPalette() override;

  void SetPalette(TKvPalette* APalette);
  TKvPalette* GetPalette() const { return FPalette; }
  // At least 3, plus 10.
  void SetCellSize(int ASize);
  int GetCellSize() const { return FCellSize; }
  void SetColCount(int ACount);
  void SetRowCount(int ACount);
  int GetColCount() const { return FColCount; }
  int GetRowCount() const { return FRowCount; }

  void SetDest(TKvDest* ADest);
  TKvDest* GetDest() const { return FDest; }
  void Select(int AIndex);
  void Deselect(int AIndex);
  void Toggle(int AIndex);
  void ClearSelection();
  void LoadSelection(const std::string& AFileName);
  void ApplySelection(bool AImmediate);
  bool IsRestartPending() const { return FRestartPending; }
  QTimer* GetRestartTimer() const { return FTimer; }

  const TKvColorMask& GetSelectionMask() const { return FSelectionMask; }
  const TKvColorMask& GetResultMask() const { return FResultMask; }
  const TKvColorMask& GetPictureMask() const { return FPictureMask; }
  // True while the picture's colours are still being looked up.
  bool IsPictureMaskPending() const { return FPictureThread.joinable() && !FPictureDone; }
  void WaitForPictureMask();
  int GetHotIndex() const { return FHotIndex; }
  // The cell at a client point, -1 outside the cells' active areas.
  int CellAt(QPoint APoint) const;
  QImage RenderImage();

  std::function<void(bool AValid, const TKvStdRGBColor& AColor)> OnHotColor;
  std::function<void()> OnChange;

  // IKvDestClient
  void FittedChanged(int, TBitmap32*, bool) override {}
  void ResultChanged(const TKvSize&, int, TBitmap32*, TKvBitmapList*, bool) override {}
  void ResultPaletteChanged(TKvPalette256* APalette, int, int) override;

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void leaveEvent(QEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;
  void dragEnterEvent(QDragEnterEvent* AEvent) override;
  void dragMoveEvent(QDragMoveEvent* AEvent) override;
  void dropEvent(QDropEvent* AEvent) override;

private:
  void AutoSize();
  void SetHotIndex(int AIndex);
  void WriteMask();
  void StartPictureMask(const TBitmap32& APicture);
  void StopPictureMask();

  TKvPalette* FPalette = nullptr;
  int FCellSize = 15;
  int FColCount = 16;
  int FRowCount = 16;
  TKvColorMask FResultMask{};
  TKvColorMask FSelectionMask{};
  TKvColorMask FPictureMask{};
  TKvDest* FDest = nullptr;
  int FHotIndex = -1;
  QTimer* FTimer = nullptr;
  bool FRestartPending = false;
  std::thread FPictureThread;
  std::atomic<bool> FPictureAbort{false};
  std::atomic<bool> FPictureDone{false};
  std::shared_ptr<TKvColorMask> FPictureResult;
};

class TCustomForm : public TnoxShellUIForm {
public:
  TCustomForm(TKvPalette* APalette, int AColumns);
  ~TCustomForm() override;
  void Execute(TKvDest* ADest);
  void UpdateButtons();
  void LoadClick();
  void SaveClick();
  void ResetClick();
  TnoxSize GetInitialClientSize() override;
  void ResizeControls() override;
  void ArrangeControls() override;

  TKvCustomPalette* Grid = nullptr;
  TLabel* PaletteLabel = nullptr;
  TLabel* InfoLabel = nullptr;
  QPushButton* LoadButton = nullptr;
  QPushButton* SaveButton = nullptr;
  QPushButton* ResetButton = nullptr;

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
};

// The column count of a palette of ACount colours in the dialog.
int CustomPaletteColumns(int ACount);
