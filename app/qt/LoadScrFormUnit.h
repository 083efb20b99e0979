// The "Import" dialog: the importers that recognised a file, best first, with
// a preview of the decoded picture, its pixel width and height, palette kind,
// variant and colour calculation; it returns the picture, adds the
// importer's palettes to the palette list, or both.
#pragma once

#include <QMenu>
#include <memory>

#include "app/KvSource.h"
#include "app/KvSourceEngines.h"
#include "app/qt/KvControls.h"
#include "app/qt/KvViews.h"
#include "shell/qt/noxShellDialogs.h"

class TLoadScrForm : public TnoxShellCustomDialogForm {
public:
  TLoadScrForm(TKvLoadSource& ASource, TKvSourceEngineList& AEngines);
  ~TLoadScrForm() override;

  // The picture when one is imported (the caller owns it), else nil.
  std::unique_ptr<TBitmap32> Execute();

  void SelectEngine(TKvSourceEngine* AEngine);
  void SetPixelWidth(int A);
  void SetPixelHeight(int A);
  void Refresh();
  void AddPalettes();
  // A fresh decode scaled by the pixel width and height.
  std::unique_ptr<TKvBitmap> GetScaledPicture();
  void CopyImage();
  void SaveImage(const std::string& AExt);

  TKvSourceEngine* GetEngine() const { return FEngine; }
  TBitmap32* GetPreview() const { return FPreview.get(); }

  TKvSourceDestImage* PreviewView = nullptr;
  TLabel* EngineLabel = nullptr;
  TLabel* TypeLabel = nullptr;
  TnoxShellComboBox* TypeCombo = nullptr;
  TLabel* InfoLabel = nullptr;
  TLabel* PixelWidthLabel = nullptr;
  TKvTrackBar* PixelWidthBar = nullptr;
  TLabel* PixelHeightLabel = nullptr;
  TKvTrackBar* PixelHeightBar = nullptr;
  TLabel* PaletteLabel = nullptr;
  TnoxShellComboBox* PaletteCombo = nullptr;
  TLabel* VariantLabel = nullptr;
  TnoxShellComboBox* VariantCombo = nullptr;
  TLabel* CalculationLabel = nullptr;
  TnoxShellComboBox* CalculationCombo = nullptr;
  TKvDestPalette* PaletteGrid = nullptr;
  TnoxShellDialogButton* ImageAndPaletteButton = nullptr;
  TnoxShellDialogButton* PaletteButton = nullptr;
  QMenu* SaveMenu = nullptr;
  QAction* SaveGifItem = nullptr;

  int32_t GetContentWidth() override;
  void LayoutCustomArea(TnoxRect& ARect) override;
  void ResizeControls() override;

private:
  void Guarded(const std::function<void()>& AStep);

  TKvLoadSource& FSource;
  TKvSourceEngineList& FEngines;
  TKvSourceEngine* FEngine = nullptr;
  std::unique_ptr<TKvBitmap> FDecoded;
  std::unique_ptr<TBitmap32> FPreview;
  int FUpdating = 0;
  int FPixelWidth = 1;
  int FPixelHeight = 1;
};

// The import chooser of the program: runs the dialog.
class TKvImportDialogChooser : public TKvImportChooser {
public:
  std::unique_ptr<TBitmap32> Choose(TKvLoadSource& ASource, TKvSourceEngineList& AEngines) override;
};
