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


// A shared control of a panel by its id: the widget the panel made for it,
// nullptr while its section was not added.
template <class T>
class TKvPanelWidget {
public:
  TKvPanelWidget(const std::map<TKvControlId, QWidget*>& AWidgets, TKvControlId AId) : FWidgets(&AWidgets), FId(AId) {}
  T* get() const {
    const auto it = FWidgets->find(FId);
    return it == FWidgets->end() ? nullptr : dynamic_cast<T*>(it->second);
  }
  operator T*() const { return get(); }
  T* operator->() const { return get(); }

private:
  const std::map<TKvControlId, QWidget*>* FWidgets;
  TKvControlId FId;
};

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

  // Adds a section outside the description (its rows come last): its
  // widgets are made from the section's controls as the description's are.
  void AddSection(const TKvPanelSection& ASection);
  void AddDimensionSection(bool ANativeButton);
  void AddPositionSection(TKvPixelAspectSet AAspects = {});
  void AddPaletteUsageSection(TKvPaletteUsageSet AUsages);
  void AddPaletteModeSection(TKvPaletteModeSet AModes);
  void AddColorUsageSection(bool AForceBright);
  void AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange);
  void AddDitheringSection(bool ABlockLimits);
  void AddStyleSection();
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

  // "Native dimension" shows the converter's size; clicked again, the picture's.
  bool NativeSizeShown = false;
  // The shared controls by name (nullptr while their section was not added).
  TKvPanelWidget<TKvIntEdit> WidthEdit{FWidgets, pcWidthEdit};
  TKvPanelWidget<TKvIntEdit> HeightEdit{FWidgets, pcHeightEdit};
  TKvPanelWidget<TKvLabel> DimensionLabel{FWidgets, pcDimensionLabel};
  TKvPanelWidget<TKvLabel> TimesLabel{FWidgets, pcTimesLabel};
  TKvPanelWidget<TKvButton> NativeButton{FWidgets, pcNativeButton};
  TKvPanelWidget<TKvCheckBox> LockCheckBox{FWidgets, pcLockCheckBox};
  TKvPanelWidget<TKvLabel> PositionLabel{FWidgets, pcPositionLabel};
  TKvPanelWidget<TKvComboBox> PositionCombo{FWidgets, pcPositionCombo};
  TKvPanelWidget<TKvLabel> AspectLabel{FWidgets, pcAspectLabel};
  TKvPanelWidget<TKvPixelAspectRatioComboBox> AspectCombo{FWidgets, pcAspectCombo};
  TKvPanelWidget<TKvLabel> BorderColorLabel{FWidgets, pcBorderColorLabel};
  TKvPanelWidget<TKvColorBox> BorderColorBox{FWidgets, pcBorderColorBox};
  TKvPanelWidget<TKvButton> BorderColorButton{FWidgets, pcBorderColorButton};
  TKvPanelWidget<TKvSeparator> PaletteSeparator{FWidgets, pcPaletteSeparator};
  TKvPanelWidget<TKvCheckBox> OriginalColorsCheckBox{FWidgets, pcOriginalColorsCheckBox};
  TKvPanelWidget<TKvLabel> PaletteLabel{FWidgets, pcPaletteLabel};
  TKvPanelWidget<TKvPaletteComboBox> PaletteCombo{FWidgets, pcPaletteCombo};
  TKvPanelWidget<TKvCustomPaletteComboBox> CustomPaletteCombo{FWidgets, pcCustomPaletteCombo};
  TKvPanelWidget<TKvCustomPaletteComboBoxEx> CustomPaletteComboEx{FWidgets, pcCustomPaletteComboEx};
  TKvPanelWidget<TKvPaletteIndexComboBoxEx> PaletteIndexCombo{FWidgets, pcPaletteIndexCombo};
  TKvPanelWidget<TKvLabel> BorderIndexLabel{FWidgets, pcBorderIndexLabel};
  TKvPanelWidget<TKvComboBoxEx> BorderIndexCombo{FWidgets, pcBorderIndexCombo};
  TKvPanelWidget<TKvPaletteIndexLabel> PaletteIndexLabel{FWidgets, pcPaletteIndexLabel};
  TKvPanelWidget<TKvLabel> StyleLabel{FWidgets, pcStyleLabel};
  TKvPanelWidget<TKvComboBox> StyleCombo{FWidgets, pcStyleCombo};
  TKvPanelWidget<TKvCheckBox> SafeModeCheckBox{FWidgets, pcSafeModeCheckBox};
  TKvPanelWidget<TKvLabel> UsageLabel{FWidgets, pcUsageLabel};
  TKvPanelWidget<TKvPaletteUgaseComboBox> UsageCombo{FWidgets, pcUsageCombo};
  TKvPanelWidget<TKvLabel> ModeLabel{FWidgets, pcModeLabel};
  TKvPanelWidget<TKvPaletteModeComboBox> ModeCombo{FWidgets, pcModeCombo};
  TKvPanelWidget<TKvButton> EditButton{FWidgets, pcEditButton};
  TKvPanelWidget<TKvDestPalette> DestPalette{FWidgets, pcDestPalette};
  TKvPanelWidget<TKvLabel> MaxColorCountLabel{FWidgets, pcMaxColorCountLabel};
  TKvPanelWidget<TKvIntEdit> MaxColorCountEdit{FWidgets, pcMaxColorCountEdit};
  TKvPanelWidget<TKvCheckBox> KeepWholePaletteCheckBox{FWidgets, pcKeepWholePaletteCheckBox};
  TKvPanelWidget<TKvCheckBox> GrayPaletteCheckBox{FWidgets, pcGrayPaletteCheckBox};
  TKvPanelWidget<TKvLabel> ColorUsageLabel{FWidgets, pcColorUsageLabel};
  TKvPanelWidget<TKvComboBox> ColorUsageCombo{FWidgets, pcColorUsageCombo};
  TKvPanelWidget<TKvLabel> CalculationLabel{FWidgets, pcCalculationLabel};
  TKvPanelWidget<TKvComboBox> CalculationCombo{FWidgets, pcCalculationCombo};
  TKvPanelWidget<TKvLabel> MaxFlickeringLabel{FWidgets, pcMaxFlickeringLabel};
  TKvPanelWidget<TKvTrackBar> MaxFlickeringBar{FWidgets, pcMaxFlickeringBar};
  TKvPanelWidget<TKvLabel> FixedPaletteLabel{FWidgets, pcFixedPaletteLabel};
  TKvPanelWidget<TKvFixedPaletteComboBox> FixedPaletteCombo{FWidgets, pcFixedPaletteCombo};
  TKvPanelWidget<TKvDestPalette> FixedPalette{FWidgets, pcFixedPalette};
  TKvPanelWidget<TKvSeparator> HamSeparator{FWidgets, pcHamSeparator};
  TKvPanelWidget<TKvLabel> HamLabels[4] = {{FWidgets, pcHamInitialLabel}, {FWidgets, pcHamPrevLabel},
                                         {FWidgets, pcHamNextLabel}, {FWidgets, pcHamMaxChangeLabel}};
  TKvPanelWidget<TKvTrackBar> HamBars[4] = {{FWidgets, pcHamInitialBar}, {FWidgets, pcHamPrevBar},
                                           {FWidgets, pcHamNextBar}, {FWidgets, pcHamMaxChangeBar}};
  TKvPanelWidget<TKvSeparator> DitheringSeparator{FWidgets, pcDitheringSeparator};
  TKvPanelWidget<TKvLabel> DitherMethodLabel{FWidgets, pcDitherMethodLabel};
  TKvPanelWidget<TKvComboBox> DitherMethodCombo{FWidgets, pcDitherMethodCombo};
  TKvPanelWidget<TKvLabel> ErrorDiffusionLabel{FWidgets, pcErrorDiffusionLabel};
  TKvPanelWidget<TKvTrackBar> ErrorDiffusionBar{FWidgets, pcErrorDiffusionBar};
  TKvPanelWidget<TKvCheckBox> LimitInsideCheckBox{FWidgets, pcLimitInsideCheckBox};
  TKvPanelWidget<TKvCheckBox> LimitBoundaryCheckBox{FWidgets, pcLimitBoundaryCheckBox};
  TKvPanelWidget<TKvCheckBox> SerpentineCheckBox{FWidgets, pcSerpentineCheckBox};
  TKvPanelWidget<TKvLabel> LightnessLabel{FWidgets, pcLightnessLabel};
  TKvPanelWidget<TKvTrackBar> LightnessBar{FWidgets, pcLightnessBar};
  TKvPanelWidget<TKvLabel> SaturationLabel{FWidgets, pcSaturationLabel};
  TKvPanelWidget<TKvTrackBar> SaturationBar{FWidgets, pcSaturationBar};
  TKvPanelWidget<TKvSeparator> FileFormatSeparator{FWidgets, pcFileFormatSeparator};
  TKvPanelWidget<TKvCheckBox> FileFormatCheckBox{FWidgets, pcFileFormatCheckBox};
  TKvPanelWidget<TKvSeparator> CommentSeparator{FWidgets, pcCommentSeparator};
  TKvPanelWidget<TKvLabel> CommentLabel{FWidgets, pcCommentLabel};
  TKvPanelWidget<TKvEdit> CommentEdit{FWidgets, pcCommentEdit};

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
  QWidget* ControlOf(TKvControlId AId) const {
    const auto it = FWidgets.find(AId);
    return it == FWidgets.end() ? nullptr : it->second;
  }

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
  // Makes the widgets of ASection (AIndex: its place in the description, -1
  // outside it) from the controls it lists, with their rows.
  void BuildSection(const TKvPanelSection& ASection, int AIndex);
  QWidget* MakeWidget(const TKvPanelControlInfo& AInfo);
  std::function<void(QObject*)> ButtonAction(TKvControlId AId);
  void Relate(const TKvPanelRelated& ARelated);
  void OwnColorSelectClick(int ASection);
  void HandOutDest();
  // The glyphs of an image combo box's ACount entries: the section's glyph
  // of each; without one, for a palette kind (AKinds), the palette the
  // colour core builds for that kind, otherwise no palette.
  static std::vector<TKvPanelGlyph> ResolveGlyphs(size_t ACount, const std::vector<TKvPanelGlyph>& AGlyphs,
                                                  const std::vector<int>* AKinds);

  // A control placed behind the row's control, after a gap.
  struct TAfter {
    QWidget* Control = nullptr;
    TKvPanelGap Gap = TKvPanelGap::Unrelated;
  };
  // One row of the layout, in the order the sections made them.
  struct TRow {
    int Section = -1;              // the description's section that made the row
    int PaletteSlot = -1;          // place in the palette block's fixed order (-1: not in it)
    bool RelatedBelow = false;     // the next row follows at the related spacing
    bool Arranged = false;         // placed in the current arrangement
    TKvLabel* Caption = nullptr;   // in the caption column
    QWidget* Control = nullptr;    // at the control column (or the margin without a caption)
    std::vector<TAfter> After{};   // placed one after the other behind the control
    bool Stretch = false;          // the control reaches the right margin
    bool FullWidth = false;        // separators, labels and caption-less check boxes start at the margin
  };
  void AddRow(TRow ARow) {
    // "P&alette:" names the palette list; a grid added before it gives it up.
    if (ARow.Caption && ARow.Caption == PaletteLabel && ARow.Control == PaletteListControl())
      for (TRow& R : FRows)
        if (R.Caption == PaletteLabel && dynamic_cast<TKvDestPalette*>(R.Control)) R.Caption = nullptr;
    FRows.push_back(std::move(ARow));
  }
  void ArrangeRow(TRow& ARow, int& ATop);
  std::vector<TRow> FRows;
  // Every control the panel made, shared and own, by id.
  std::map<TKvControlId, QWidget*> FWidgets;
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
