// The converter option panel on screen: turns the engine's panel description
// (its sections in order) into option controls, shows the options' values,
// writes every control back into the options in a fixed order on each
// change, and restarts the conversion only when an option really changed.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/KvDest.h"
#include "app/KvPanelSections.h"
#include "app/KvSource.h"
#include "app/qt/KvControls.h"
#include "shell/qt/noxShellForm.h"


class TKvDestEngineUIPanel : public QWidget,
                             public TObject,
                             public IKvSourceClient,
                             public IKvDestClient,
                             public IKvPanelControls {
public:
  // ADescription is the engine's panel description bound to the options.
  TKvDestEngineUIPanel(QWidget* AParent, std::unique_ptr<TKvDestEngineUI> ADescription);
  ~TKvDestEngineUIPanel() override;

  TKvDestEngineOptions* GetOptions() const { return FOptions; }
  TKvDestEngineUIEx* GetDescription() const { return FDescription; }

  void SetSource(TKvSource* ASource);
  void SetDest(TKvDest* ADest);
  TKvDest* GetDest() const { return FDest; }

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  void ControlChanged(QObject* ASender);
  void PaletteControlChanged(QObject* ASender);
  // The description's store step (the shared controls, then the
  // converter's own) and its check step.
  virtual void StoreOptions();
  virtual void CheckOptions();
  // Whether "Edit..." may open the editor: the description decides.
  virtual bool CanEditPalette() { return !FDescription || FDescription->CanEditPalette(); }
  // Runs the custom palette dialog over APalette (nothing for an empty one).
  virtual void EditPalette(TKvPalette* APalette, int AColumns);
  void EditButtonClick(QObject* ASender);
  void UpdateControls();
  void ApplyOptions();
  void UpdateDimensionFromSource(int AWidth, int AHeight);
  void NativeDimensionClick(QObject* ASender);
  void BorderColorSelectClick(QObject* ASender);

  virtual void ResizeControls(TnoxShellUI& AShellUI);
  // Places the sections from ATop down; ATop ends below the last one.
  virtual void ArrangeControls(TnoxShellUI& AShellUI, int& ATop);

  // The sections (each at most once per panel).
  void AddDimensionSection(bool ANativeButton);
  void AddPositionSection(uint32_t AAspectSet);
  void AddPaletteSeparator();
  void AddPaletteLabel();
  void AddOriginalColorsCheckBox();
  TKvDestPalette* AddDestPalette(int AColumns, int ARows, bool ANoDrop);
  void AddMaxColorCountSection(int AMin, int AMax);
  void AddGrayPaletteCheckBox();
  void AddFixedPaletteSection(int AColumns, int ARows);
  // With the panel's fixed-palette list ACombo (a child of the panel).
  void AddFixedPaletteSectionEx(TKvFixedPaletteComboBox* ACombo, int AColumns, int ARows);
  void AddOptimizedPaletteSection();
  void AddPaletteUsageSection(uint8_t AUsageSet);
  void AddPaletteModeSection(uint32_t AModeSet);
  void AddColorUsageSection(bool AForceBright);
  void AddMaxFlickeringSection();
  void AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange);
  void AddDitheringSection(bool ABlockLimits);
  void AddCustomPaletteComboBox(const std::vector<int>& AKinds);
  void AddCalculationSection();
  // The image combo boxes of the palette kinds, indexes and border colours.
  // Each entry shows the glyph of its palette (AGlyphs, by entry); an entry
  // without one shows, for a palette kind, the palette the colour core builds
  // for that kind, otherwise no palette.
  void AddCustomPaletteComboBoxEx(const std::vector<int>& AKinds, const std::vector<std::string>& ACaptions,
                                  const std::vector<TKvPanelGlyph>& AGlyphs = {});
  void AddPaletteIndexComboBoxEx(const std::vector<std::string>& ACaptions,
                                 const std::vector<TKvPanelGlyph>& AGlyphs = {});
  void AddBorderColorComboBoxEx(const std::vector<std::string>& ACaptions,
                                const std::vector<TKvPanelGlyph>& AGlyphs = {});
  // Redraws the glyphs of the image combo boxes at a glyph height of
  // AHeight: palette glyphs are four heights wide, colour glyphs one height
  // plus 3 (ResizeControls uses one text line minus 2).
  void RefillGlyphs(int AHeight);

  // The image-list glyph of a palette: a framed row of square cells of step
  // H - 1 starting at x = 3, cell i filled with colour i, or crossed where
  // the palette (nullptr: none) has no colour i. AMask (same size) is white
  // where the glyph is transparent: the first 3 columns. The background is
  // the application palette's Base colour (what list and edit controls are
  // painted on), the frame and crosses its disabled Text colour.
  static void DrawPaletteGlyph(const TKvPalette* APalette, QImage& AImage, QImage& AMask);
  // The glyph with the mask's white pixels made transparent.
  static QImage MaskedGlyph(const QImage& AImage, const QImage& AMask);
  void AddPaletteIndexLabel();
  void AddZxPaletteSection(uint32_t AModeSet);
  void AddZxGigaScreenPaletteSection(bool AWith64x1, uint32_t AModeSet);
  void AddStyleSection();
  void AddSafeModeCheckBox();
  void AddFileFormatSeparator();
  void AddFileFormatCheckBox(const QString& ACaption);
  void AddCommentSeparator();
  void AddCommentEdit();

  // The controls, nil while their section was not added.
  TKvIntEdit* WidthEdit = nullptr;
  TKvIntEdit* HeightEdit = nullptr;
  TKvLabel* DimensionLabel = nullptr;
  TKvLabel* TimesLabel = nullptr;
  TKvButton* NativeButton = nullptr;
  bool NativeSizeShown = false;
  TKvCheckBox* LockCheckBox = nullptr;
  TKvLabel* PositionLabel = nullptr;
  TKvComboBox* PositionCombo = nullptr;
  TKvLabel* AspectLabel = nullptr;
  TKvPixelAspectRatioComboBox* AspectCombo = nullptr;
  TKvLabel* BorderColorLabel = nullptr;
  TKvColorBox* BorderColorBox = nullptr;
  TKvButton* BorderColorButton = nullptr;
  TKvSeparator* PaletteSeparator = nullptr;
  TKvCheckBox* OriginalColorsCheckBox = nullptr;
  TKvLabel* PaletteLabel = nullptr;
  TKvPaletteComboBox* PaletteCombo = nullptr;
  TKvCustomPaletteComboBox* CustomPaletteCombo = nullptr;
  TKvCustomPaletteComboBoxEx* CustomPaletteComboEx = nullptr;
  TKvPaletteIndexComboBoxEx* PaletteIndexCombo = nullptr;
  TKvLabel* BorderIndexLabel = nullptr;
  TKvComboBoxEx* BorderIndexCombo = nullptr;
  TKvPaletteIndexLabel* PaletteIndexLabel = nullptr;
  TKvLabel* StyleLabel = nullptr;
  TKvComboBox* StyleCombo = nullptr;
  TKvCheckBox* SafeModeCheckBox = nullptr;
  TKvLabel* UsageLabel = nullptr;
  TKvPaletteUgaseComboBox* UsageCombo = nullptr;
  TKvLabel* ModeLabel = nullptr;
  TKvPaletteModeComboBox* ModeCombo = nullptr;
  TKvButton* EditButton = nullptr;
  TKvDestPalette* DestPalette = nullptr;
  TKvLabel* MaxColorCountLabel = nullptr;
  TKvIntEdit* MaxColorCountEdit = nullptr;
  TKvCheckBox* KeepWholePaletteCheckBox = nullptr;
  TKvCheckBox* GrayPaletteCheckBox = nullptr;
  TKvLabel* ColorUsageLabel = nullptr;
  TKvComboBox* ColorUsageCombo = nullptr;
  TKvLabel* CalculationLabel = nullptr;
  TKvComboBox* CalculationCombo = nullptr;
  TKvLabel* MaxFlickeringLabel = nullptr;
  TKvTrackBar* MaxFlickeringBar = nullptr;
  TKvLabel* FixedPaletteLabel = nullptr;
  TKvFixedPaletteComboBox* FixedPaletteCombo = nullptr;
  TKvDestPalette* FixedPalette = nullptr;
  TKvSeparator* HamSeparator = nullptr;
  TKvLabel* HamLabels[4] = {};
  TKvTrackBar* HamBars[4] = {};
  TKvSeparator* DitheringSeparator = nullptr;
  TKvLabel* DitherMethodLabel = nullptr;
  TKvComboBox* DitherMethodCombo = nullptr;
  TKvLabel* ErrorDiffusionLabel = nullptr;
  TKvTrackBar* ErrorDiffusionBar = nullptr;
  TKvCheckBox* LimitInsideCheckBox = nullptr;
  TKvCheckBox* LimitBoundaryCheckBox = nullptr;
  TKvCheckBox* SerpentineCheckBox = nullptr;
  TKvLabel* LightnessLabel = nullptr;
  TKvTrackBar* LightnessBar = nullptr;
  TKvLabel* SaturationLabel = nullptr;
  TKvTrackBar* SaturationBar = nullptr;
  TKvSeparator* FileFormatSeparator = nullptr;
  TKvCheckBox* FileFormatCheckBox = nullptr;
  TKvSeparator* CommentSeparator = nullptr;
  TKvLabel* CommentLabel = nullptr;
  TKvEdit* CommentEdit = nullptr;

  // The result palette strip of the panel (the last destination palette added
  // by a palette section), for the palette actions.
  TKvDestPalette* GetResultPaletteStrip() const { return FResultStrip; }
  bool IsResultStripReadOnly() const { return FResultStrip && FResultStrip->ReadOnly; }
  // The palette list of the panel, whichever kind it has; nil without one.
  QComboBox* PaletteListControl() const {
    if (PaletteCombo) return PaletteCombo;
    if (CustomPaletteCombo) return CustomPaletteCombo;
    if (CustomPaletteComboEx) return CustomPaletteComboEx;
    return PaletteIndexCombo;
  }
  // A panel that changes its layout asks the window to arrange again.
  std::function<void()> OnArrangeRequest;
  // The colour dialog; tests replace it. Returns false on cancel.
  static std::function<bool(QWidget*, uint32_t&)> ColorChooser;
  // How often the conversion was restarted (for tests and diagnostics).
  int ApplyCount = 0;

  // The widget of a control id (nullptr when the panel has no such control).
  QWidget* ControlOf(TKvControlId AId) const;

  // IKvPanelControls: the hooks of the description work on the widgets.
  bool HasControl(TKvControlId AId) const override { return ControlOf(AId) != nullptr; }
  bool GetEnabled(TKvControlId AId) const override;
  void SetEnabled(TKvControlId AId, bool AEnabled) override;
  bool GetVisible(TKvControlId AId) const override;
  void SetVisible(TKvControlId AId, bool AVisible) override;
  int GetItemIndex(TKvControlId AId) const override;
  void SetItemIndex(TKvControlId AId, int AIndex) override;
  int GetItemCount(TKvControlId AId) const override;
  int GetItemValue(TKvControlId AId) const override;
  const TKvPalette256* GetPalette(TKvControlId AId) const override;
  bool GetChecked(TKvControlId AId) const override;
  void SetChecked(TKvControlId AId, bool AChecked) override;
  int GetValue(TKvControlId AId) const override;
  void SetValue(TKvControlId AId, int AValue) override;
  uint32_t GetColor(TKvControlId AId) const override;
  void SetColor(TKvControlId AId, uint32_t AColor) override;
  std::string GetText(TKvControlId AId) const override;
  void SetText(TKvControlId AId, const std::string& AText) override;
  void SetBackground(TKvControlId AId, bool ANormal, uint32_t AColor) override;
  TRect GetBounds(TKvControlId AId) const override;
  void SetBounds(TKvControlId AId, const TRect& ABounds) override;
  const TnoxShellUIMetrics& GetMetrics() const override;
  int GetControlLeft() const override { return FControlLeft; }
  void SetControlLeft(int ALeft) override { FControlLeft = ALeft; }
  int GetCaptionWidth() const override;
  int GetClientWidth() const override { return width(); }
  void ArrangeSection(int ASection, int& ATop) override;
  // The width the panel needs so that no control is cut, after ResizeControls.
  int GetRequiredWidth() const;
  void RequestArrange() override {
    if (OnArrangeRequest) OnArrangeRequest();
  }
  void RunPaletteEditor(TKvPalette& APalette, int AColumns) override { EditPalette(&APalette, AColumns); }

  // IKvSourceClient
  void PictureChanged(TBitmap32*) override {}
  void SourceChanged(TBitmap32* APicture, TKvPalette256* APalette, TKvPalette256* APalette2) override;
  // IKvDestClient
  void FittedChanged(int, TBitmap32*, bool) override {}
  void ResultChanged(const TKvSize&, int, TBitmap32*, TKvBitmapList*, bool) override {}
  void ResultPaletteChanged(TKvPalette256*, int, int) override {}

private:
  void BuildFromDescription();
  void AddOwnSection(const TKvPanelSection& ASection, int AIndex);
  void OwnColorSelectClick(int ASection);
  TKvLabel* AddCaption(const QString& ACaption, QWidget* AFocus);
  TKvCheckBox* AddCheckBox(const QString& ACaption, bool AChecked, bool APaletteTarget);
  TKvTrackBar* AddTrackBar(int AMin, int AMax, int ADefault, int APosition, bool APaletteTarget);
  void HandOutDest();
  static std::vector<TKvPanelGlyph> ResolveGlyphs(size_t ACount, const std::vector<TKvPanelGlyph>& AGlyphs,
                                                  const std::vector<int>* AKinds);

  // One row of the layout, in the order the sections made them.
  struct TRow {
    TRow(TKvLabel* ACaption, QWidget* AControl, std::vector<QWidget*> AAfter = {}, bool AStretch = false,
         bool AFullWidth = false)
        : Caption(ACaption), Control(AControl), After(std::move(AAfter)), Stretch(AStretch), FullWidth(AFullWidth) {}
    int Section = -1;              // the description's section that made the row
    int PaletteSlot = -1;          // place in the palette block's fixed order (-1: not in it)
    bool RelatedBelow = false;     // the next row follows at the related spacing
    bool RelatedAfter = false;     // the After controls follow at the related spacing
    bool Arranged = false;         // placed in the current arrangement
    TKvLabel* Caption = nullptr;   // in the caption column
    QWidget* Control = nullptr;    // at the control column (or the margin without a caption)
    std::vector<QWidget*> After;   // placed one after the other behind the control
    bool Stretch = false;          // the control reaches the right margin
    bool FullWidth = false;        // separators and caption-less check boxes start at the margin
  };
  void AddRow(TRow ARow, int APaletteSlot = -1) {
    ARow.Section = FCurrentSection;
    ARow.PaletteSlot = APaletteSlot;
    // "P&alette:" names the palette list; a grid added before it gives it up.
    if (ARow.Caption && ARow.Caption == PaletteLabel && ARow.Control == PaletteListControl())
      for (TRow& R : FRows)
        if (R.Caption == PaletteLabel && dynamic_cast<TKvDestPalette*>(R.Control)) R.Caption = nullptr;
    FRows.push_back(std::move(ARow));
  }
  void ArrangeRow(TRow& ARow, int& ATop);
  std::vector<TRow> FRows;
  int FCurrentSection = -1;
  // The widgets of the converter's own sections, by section index.
  struct TOwn {
    QWidget* Control = nullptr;
    TKvLabel* Caption = nullptr;
    TKvButton* Button = nullptr;
  };
  std::map<int, TOwn> FOwn;
  TnoxShellUI* FShellUI = nullptr;
  mutable std::unique_ptr<TnoxShellUI> FDefaultUI;
  // The palettes the image combo boxes show, one per entry.
  std::vector<TKvPanelGlyph> FKindGlyphs, FIndexGlyphs, FBorderGlyphs;
  std::unique_ptr<TKvDestEngineUI> FDescriptionOwner;
  TKvDestEngineUIEx* FDescription = nullptr;
  TKvDestEngineOptions* FOptions = nullptr;
  std::vector<TKvLabel*> FCaptionLabels;
  int FControlLeft = 0;
  int FUpdateCount = 1;
  TKvSource* FSource = nullptr;
  TKvDest* FDest = nullptr;
  TKvDestPalette* FResultStrip = nullptr;
};
