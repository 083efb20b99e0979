// The Qt-free description of a converter option panel: the shared sections a
// panel adds, in display order, with their arguments, the converter's own
// controls, the links between them, and the converter's hooks. A converter
// panel's constructor calls the Add operations; the windowed layer later
// makes the controls each section lists (SectionControls), one widget class
// per kind of control, and arranges them in the same order, so what a panel
// holds is checked without any widget.
//
// How a converter panel uses this (a subclass of TKvDestEngineUIEx in
// platforms/, no Qt):
//
//   class TKvFooEngineUI : public TKvDestEngineUIEx {
//   public:
//     explicit TKvFooEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
//       AddPositionSection();
//       AddPaletteSeparator();
//       AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor));
//       FRows = AddOwnComboBox("&Rows:", {"One", "Two"}, GetOptions()->PaletteIndex);
//       AddDitheringSection(true);
//       // Enabled only while the mode list shows its third item ("Color").
//       AddRelated(pcModeCombo, 2, OwnControl(FRows), false);
//       AddRelated(pcModeCombo, 2, OwnControl(FRows, opCaption), false);
//     }
//     void StoreOptions(IKvPanelControls& C) override {
//       TKvDestEngineUIEx::StoreOptions(C);           // the shared controls first
//       GetOptions()->SetPaletteIndex(C.GetItemIndex(OwnControl(FRows)));
//     }
//     void CheckOptions(IKvPanelControls& C) override {
//       TKvDestEngineUIEx::CheckOptions(C);
//       C.SetEnabled(pcSerpentineCheckBox, GetOptions()->PaletteMode != pmBlackWhite);
//     }
//   private:
//     int FRows = -1;
//   };
//
// Controls are addressed by id: every control of a shared section has a fixed
// id (TKvPanelControl, pcXxx); a converter's own control is addressed by the
// section index its AddOwnXxx returned, OwnControl(index, part). The hooks get
// the panel's controls as IKvPanelControls, which the windowed layer
// implements (and TKvPanelControlState in memory, for headless tests). Asking
// for a control the panel does not have is harmless: reads give 0, false or
// empty, writes do nothing (HasControl tells).
//
// The hooks, each virtual; an override calls the inherited one FIRST:
// - StoreOptions: writes the controls into the options after every change.
//   The base writes all shared controls, in a fixed order, through the
//   options' setters; an override then writes its own controls.
// - CheckOptions: called after every store and once after the panel is linked
//   to its documents: enable or disable controls from option values.
// - ResizeControls: after the shared sizing (every control, own ones too,
//   already has its size from the font metrics), adjust sizes (SetBounds).
// - ArrangeControls: the base sets the control column and ATop := 0, then
//   arranges every section in order through ArrangeSection. Override
//   ArrangeSection to lay out one section (usually an own one) yourself, or
//   ArrangeControls to move things after the whole layout.
// - CanEditPalette / EditPalette: the "Edit..." button of the palette mode
//   section. EditPalette(C, APalette, AColumns) gets an empty scratch palette:
//   fill it (or pass a palette of your own, often the options' hardware
//   palette) and call the inherited EditPalette with your column count; the
//   base opens the custom palette editor for a palette with colours.
// - ButtonClick: an own button (AddOwnButton) was clicked.
// A family base may add virtual operations of its own (for example a mode set
// its subclasses answer) and call them from its constructor or hooks.
//
// Related controls: AddRelated(master combo box, item, control, inverse)
// enables the control exactly while the master shows that item (inverse: while
// it shows any other item, or none). The link is applied at once and after
// every change of the master's selection, after that change was stored and
// checked: for a control that is both related and set by CheckOptions, the
// link has the last word.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellForm.h"

class TKvPalette;
class TKvPalette256;

enum class TKvPanelSectionKind {
  Dimension,            // AddDimensionSection(Flag = native-size button)
  Position,             // AddPositionSection(Set = pixel-aspect set)
  PaletteSeparator,     // AddPaletteSeparator
  PaletteLabel,         // AddPaletteLabel
  OriginalColorsCheckBox,  // AddOriginalColorsCheckBox
  DestPalette,          // AddDestPalette(Columns, Rows, Flag = drops refused); ReadOnly for a save-only strip
  OptimizedPalette,     // AddOptimizedPaletteSection
  Dithering,            // AddDitheringSection(Flag = block limits)
  CustomPaletteComboBox,    // AddCustomPaletteComboBox; Items = the palette kinds offered
  CustomPaletteComboBoxEx,  // AddCustomPaletteComboBoxEx; Items = kinds, Captions = their texts
  PaletteIndexComboBoxEx,   // AddPaletteIndexComboBoxEx; Captions = the entries
  BorderColorComboBoxEx,    // AddBorderColorComboBoxEx; Captions = the entries
  PaletteUsage,         // AddPaletteUsageSection(Set = usage set)
  PaletteMode,          // AddPaletteModeSection(Set = mode set)
  MaxColorCount,        // AddMaxColorCountSection(Min, Max)
  PaletteIndexLabel,    // AddPaletteIndexLabel
  GrayPaletteCheckBox,  // AddGrayPaletteCheckBox
  FixedPalette,         // AddFixedPaletteSectionEx(Caption = combo box class, Columns, Rows)
  ZxPalette,            // AddZxPaletteSection(Set = mode set)
  ZxGigaScreenPalette,  // AddZxGigaScreenPaletteSection(Flag = with 64 x 1, Set = mode set)
  ColorUsage,           // AddColorUsageSection(Flag = force bright)
  Calculation,          // AddCalculationSection: "&Calculation:" "Standard", "Linear" (gigascreen mixing)
  MaxFlickering,        // AddMaxFlickeringSection
  Style,                // AddStyleSection
  SafeModeCheckBox,     // AddSafeModeCheckBox
  Ham,                  // AddHamSection(Set: 1 initial, 2 previous, 4 next, 8 max change)
  FileFormatSeparator,  // AddFileFormatSeparator
  FileFormatCheckBox,   // AddFileFormatCheckBox(Caption)
  CommentSeparator,     // AddCommentSeparator
  CommentEdit,          // AddCommentEdit
  // The converter's own controls (see AddOwnXxx): Caption is the caption
  // label's text (none when empty), Flag = palette target.
  OwnComboBox,          // Captions = the entries, Items = their values, Value = item index
  OwnCheckBox,          // Caption = the box's text, Value = checked
  OwnTrackBar,          // Min, Max, Default, Value = position
  OwnIntEdit,           // Min, Max, Default, Value
  OwnColorBox,          // Value = colour $00RRGGBB; ButtonCaption = its "Select..." button (none when empty)
  OwnButton,            // ButtonCaption = the button's text
  OwnLabel,             // Caption = the text
  OwnSeparator,         // Caption = the separator's caption
};

// The palette an entry of an image combo box shows as its glyph: its first
// colours, in order. Not Given: the panel draws its default glyph for the
// entry. Given with no colours: no palette, every cell crossed.
struct TKvPanelGlyph {
  bool Given = false;
  std::vector<TKvStdRGBColor> Colors{};
};

struct TKvPanelSection {
  TKvPanelSectionKind Kind = TKvPanelSectionKind::Dimension;
  bool Flag = false;
  uint32_t Set = 0;
  int Columns = 0;
  int Rows = 0;
  int Min = 0;
  int Max = 0;
  bool ReadOnly = false;
  std::string Caption{};
  std::vector<int> Items{};
  std::vector<std::string> Captions{};
  // The converter's own arrangement that lays this section out together with
  // its neighbours of the same group; empty for a shared section arranged by
  // itself.
  std::string Group{};
  // The glyph of each entry of an image combo box, by entry index; entries
  // past the end get the default glyph.
  std::vector<TKvPanelGlyph> Glyphs{};
  // Own controls: the first value, the default value (edits and track bars
  // show it for empty text) and the button's caption.
  int Value = 0;
  int Default = 0;
  std::string ButtonCaption{};
};

// ---- control ids ----

using TKvControlId = int;

// The controls of the shared sections, one id each.
enum TKvPanelControl : int {
  pcDimensionLabel, pcWidthEdit, pcTimesLabel, pcHeightEdit, pcNativeButton, pcLockCheckBox,
  pcPositionLabel, pcPositionCombo, pcAspectLabel, pcAspectCombo, pcBorderColorLabel, pcBorderColorBox,
  pcBorderColorButton,
  pcPaletteSeparator, pcOriginalColorsCheckBox, pcPaletteLabel, pcPaletteCombo, pcCustomPaletteCombo,
  pcCustomPaletteComboEx, pcPaletteIndexCombo, pcBorderIndexLabel, pcBorderIndexCombo, pcUsageLabel, pcUsageCombo,
  pcModeLabel, pcModeCombo, pcEditButton, pcDestPalette, pcPaletteIndexLabel, pcMaxColorCountLabel,
  pcMaxColorCountEdit, pcKeepWholePaletteCheckBox, pcGrayPaletteCheckBox,
  pcColorUsageLabel, pcColorUsageCombo, pcCalculationLabel, pcCalculationCombo, pcMaxFlickeringLabel,
  pcMaxFlickeringBar,
  pcFixedPaletteLabel, pcFixedPaletteCombo, pcFixedPalette,
  pcStyleLabel, pcStyleCombo, pcSafeModeCheckBox,
  pcHamSeparator, pcHamInitialLabel, pcHamInitialBar, pcHamPrevLabel, pcHamPrevBar, pcHamNextLabel, pcHamNextBar,
  pcHamMaxChangeLabel, pcHamMaxChangeBar,
  pcLightnessLabel, pcLightnessBar, pcSaturationLabel, pcSaturationBar,
  pcDitheringSeparator, pcDitherMethodLabel, pcDitherMethodCombo, pcErrorDiffusionLabel, pcErrorDiffusionBar,
  pcLimitInsideCheckBox, pcLimitBoundaryCheckBox, pcSerpentineCheckBox,
  pcFileFormatSeparator, pcFileFormatCheckBox, pcCommentSeparator, pcCommentLabel, pcCommentEdit,
  pcSharedCount
};

// The parts of an own section: its control, its caption label, its button
// (the "Select..." of a colour box).
enum TKvOwnPart : int { opControl = 0, opCaption = 1, opButton = 2 };

// The id of a part of the own section ASection (the index AddOwnXxx returned).
constexpr TKvControlId OwnControl(int ASection, int APart = opControl) { return pcSharedCount + ASection * 4 + APart; }
// The section index and part of an own control id; false for a shared id.
inline bool IsOwnControl(TKvControlId AId, int* ASection = nullptr, int* APart = nullptr) {
  if (AId < pcSharedCount) return false;
  if (ASection) *ASection = (AId - pcSharedCount) / 4;
  if (APart) *APart = (AId - pcSharedCount) % 4;
  return true;
}

// The pixel-aspect codes the position section's list offers (bit c = code c)
// for the section's set and the options' pixel aspect; "1:1" alone means the
// list is not made.
uint32_t PositionAspectSet(uint32_t AAspectSet, int APixelAspect);

// A control enabled only while (or, inverse, except while) a combo box shows
// one item.
struct TKvPanelRelated {
  TKvControlId Master = -1;
  int ItemIndex = 0;
  TKvControlId Control = -1;
  bool Inverse = false;
  // Enabled for the master's item index AMasterIndex (-1: nothing selected).
  bool EnabledFor(int AMasterIndex) const { return (AMasterIndex == ItemIndex) != Inverse; }
};

// ---- the controls a section makes ----

// What a control is; the windowed layer makes one widget class for each kind.
enum class TKvPanelControlKind {
  Caption,                // names the row that follows it, in the caption column
  Label,                  // a line of text
  PaletteIndexLabel,      // the palette index (and second index) the converter chose
  Separator,              // a caption centred on a rule
  CheckBox,
  Button,
  IntEdit,
  Edit,                   // a line of text the user types
  TrackBar,               // with an integer edit that follows it
  ColorBox,
  List,                   // fixed entries
  PixelAspectList,
  PaletteUsageList,
  PaletteModeList,
  PaletteKindList,
  PaletteKindImageList,   // palette kinds, each entry with the glyph of its palette
  PaletteIndexImageList,  // the converter's palettes by index, each with its glyph
  ColorImageList,         // entries with a colour glyph each
  PaletteFileList,        // the palette kinds and the loaded palette files (filled on screen)
  FixedPaletteList,       // "None" and the loaded palettes within the hardware palette (filled on screen)
  PaletteGrid,            // the result palette strip
  FixedPaletteGrid,       // the palette the fixed-palette list chose
};

// Where a control goes in the panel's rows.
enum class TKvPanelPlace {
  Caption,  // beside the next control of its section that starts a row (no row when none follows)
  Row,      // starts a row
  Beside,   // follows the previous control on its row
};

// The space before a control placed beside another.
enum class TKvPanelGap { Unrelated, Related, None };

// One control of a section: what it is, where it goes, what it shows at first.
struct TKvPanelControlInfo {
  TKvControlId Id = -1;
  TKvPanelControlKind Kind = TKvPanelControlKind::Label;
  TKvPanelPlace Place = TKvPanelPlace::Row;
  TKvPanelGap Gap = TKvPanelGap::Unrelated;
  // The next row follows at the related spacing.
  bool RelatedBelow = false;
  // The caption of a label, separator, check box or button; an edit's text.
  std::string Text{};
  // Lists with fixed entries: the entries, their values and the entry shown
  // at first (-1: none). A list of palette kinds, usages or modes refuses to
  // show a value it does not offer.
  std::vector<std::string> Items{};
  std::vector<int> Values{};
  int ItemIndex = -1;
  // Image lists: the glyph the converter gave each entry.
  std::vector<TKvPanelGlyph> Glyphs{};
  // Check boxes: 1 when checked; colour boxes: $00RRGGBB; integer edits and
  // track bars: the value within Min..Max, Default for an empty text, and
  // the value up to which an edit shows no text.
  int Value = 0;
  int Min = 0;
  int Max = 0;
  int Default = 0;
  int EmptyThreshold = -1;
  // Palette grids.
  int Columns = 0;
  int Rows = 0;
  bool NoDrop = false;
  bool ReadOnly = false;
  // A fixed-palette list whose palettes the converter chooses (AcceptFixedPalette).
  bool ConverterFilter = false;
  // A change also refreshes the result palette.
  bool PaletteChange = false;
};

struct TKvSectionControls {
  // In order: a caption comes before the control it names.
  std::vector<TKvPanelControlInfo> Controls;
  // The section's own links (the error diffusion controls follow the dither method).
  std::vector<TKvPanelRelated> Related;
};

// The controls section ASectionIndex makes from its arguments and the options
// the panel was made for: what the in-memory panel holds and what the window
// shows. A control id a panel has already made (the palette caption) is not
// made again.
TKvSectionControls SectionControls(const TKvPanelSection& ASection, int ASectionIndex,
                                   const TKvDestEngineOptions& AOptions);

// ---- the panel's controls as the hooks see them ----

class IKvPanelControls {
public:
  virtual ~IKvPanelControls() = default;

  virtual bool HasControl(TKvControlId AId) const = 0;
  virtual bool GetEnabled(TKvControlId AId) const = 0;
  virtual void SetEnabled(TKvControlId AId, bool AEnabled) = 0;
  virtual bool GetVisible(TKvControlId AId) const = 0;
  virtual void SetVisible(TKvControlId AId, bool AVisible) = 0;
  // Combo boxes: the selected entry (-1: none), setting it fires nothing but
  // applies the related controls.
  virtual int GetItemIndex(TKvControlId AId) const = 0;
  virtual void SetItemIndex(TKvControlId AId, int AIndex) = 0;
  virtual int GetItemCount(TKvControlId AId) const = 0;
  // The value of the selected entry: palette kind, pixel-aspect code, usage,
  // mode, colour usage, or an own list's value (its index when it gave none);
  // -1 without a selection.
  virtual int GetItemValue(TKvControlId AId) const = 0;
  // The palette the palette combo box chose (nullptr: none).
  virtual const TKvPalette256* GetPalette(TKvControlId AId) const = 0;
  // Check boxes.
  virtual bool GetChecked(TKvControlId AId) const = 0;
  virtual void SetChecked(TKvControlId AId, bool AChecked) = 0;
  // Integer edits and track bars (their position); setting fires nothing.
  virtual int GetValue(TKvControlId AId) const = 0;
  virtual void SetValue(TKvControlId AId, int AValue) = 0;
  // Colour boxes, $00RRGGBB.
  virtual uint32_t GetColor(TKvControlId AId) const = 0;
  virtual void SetColor(TKvControlId AId, uint32_t AColor) = 0;
  // Edits (trimmed), labels, buttons and check boxes.
  virtual std::string GetText(TKvControlId AId) const = 0;
  virtual void SetText(TKvControlId AId, const std::string& AText) = 0;
  // The background of an edit: ANormal restores the usual one, otherwise AColor ($00RRGGBB).
  virtual void SetBackground(TKvControlId AId, bool ANormal, uint32_t AColor = 0) = 0;
  // Geometry in panel pixels (Right and Bottom exclusive).
  virtual TRect GetBounds(TKvControlId AId) const = 0;
  virtual void SetBounds(TKvControlId AId, const TRect& ABounds) = 0;

  // Layout: the font metrics and spacing of the window, the x of the control
  // column, the panel's width, and the shared layout of one section.
  virtual const TnoxShellUIMetrics& GetMetrics() const = 0;
  virtual int GetControlLeft() const = 0;
  virtual void SetControlLeft(int ALeft) = 0;
  virtual int GetCaptionWidth() const = 0;
  virtual int GetClientWidth() const = 0;
  virtual void ArrangeSection(int ASection, int& ATop) = 0;
  // Asks the window to arrange the whole panel again (after a layout change).
  virtual void RequestArrange() = 0;
  // The custom palette editor over APalette (AColumns 0: automatic).
  virtual void RunPaletteEditor(TKvPalette& APalette, int AColumns) = 0;
};

// Base of every converter panel. The options belong to the result document.
class TKvDestEngineUIEx : public TKvDestEngineUI {
public:
  explicit TKvDestEngineUIEx(TKvDestEngineOptions* AOptions) : FOptions(AOptions) {}

  TKvDestEngineOptions* GetOptions() const { return FOptions; }
  const std::vector<TKvPanelSection>& GetSections() const { return FSections; }
  const std::vector<TKvPanelRelated>& GetRelated() const { return FRelated; }

  void AddDimensionSection(bool ANativeButton);
  // AAspects: the pixel aspects offered beside "1:1" and the mode's own.
  void AddPositionSection(TKvPixelAspectSet AAspects = {});
  void AddPaletteSeparator();
  void AddPaletteLabel();
  void AddOriginalColorsCheckBox();
  // Returns the index of the new section.
  int AddDestPalette(int AColumns, int ARows, bool ANoDrop);
  void SetDestPaletteReadOnly(int ASectionIndex, bool AReadOnly);
  void AddOptimizedPaletteSection();
  void AddDitheringSection(bool ABlockLimits);
  // The colour-difference choice is not offered: adds nothing.
  void AddColorDiffSection() {}
  // The combo box sections return their index, so the converter can fill
  // their lists with AddSectionItem.
  int AddCustomPaletteComboBox();
  int AddCustomPaletteComboBoxEx();
  int AddPaletteIndexComboBoxEx();
  int AddBorderColorComboBoxEx();
  // An entry of a combo box section: a value (a palette kind) and/or a caption.
  void AddSectionItem(int ASectionIndex, int AValue, const std::string& ACaption = std::string());
  // Gives entry AItemIndex of an image combo box section the glyph of
  // APalette (nullptr: no palette). A glyph never shows more than a few
  // cells, so only the first MaxGlyphColors colours are kept.
  void SetSectionGlyph(int ASectionIndex, int AItemIndex, const TKvPalette* APalette);
  static constexpr int MaxGlyphColors = 64;
  void AddPaletteUsageSection(TKvPaletteUsageSet AUsages);
  void AddPaletteModeSection(TKvPaletteModeSet AModes);
  void AddMaxColorCountSection(int AMin, int AMax);
  void AddPaletteIndexLabel();
  void AddGrayPaletteCheckBox();
  // AComboClass names the fixed-palette list's class: "TKvFixedPaletteComboBox"
  // offers every listed palette that is a strict subset of the hardware
  // palette; a converter with its own rule overrides AcceptFixedPalette and
  // names any other class.
  void AddFixedPaletteSectionEx(const std::string& AComboClass, int AColumns, int ARows);
  void AddFixedPaletteSection(int AColumns, int ARows) {
    AddFixedPaletteSectionEx("TKvFixedPaletteComboBox", AColumns, ARows);
  }
  void AddZxPaletteSection(TKvPaletteModeSet AModes);
  void AddZxGigaScreenPaletteSection(bool AWith64x1, TKvPaletteModeSet AModes);
  void AddColorUsageSection(bool AForceBright);
  // "&Calculation:" with "Standard" and "Linear", set from and stored into
  // the options' GigaCalculation; a palette change.
  void AddCalculationSection();
  void AddMaxFlickeringSection();
  void AddStyleSection();
  void AddSafeModeCheckBox();
  void AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange);
  void AddHamSection(TKvHamSettingSet ASettings);
  void AddFileFormatSeparator();
  void AddFileFormatCheckBox(const std::string& ACaption);
  void AddCommentSeparator();
  void AddCommentEdit();

  // The converter's own controls, each a section of its own placed where it
  // is added; each returns the section index (see OwnControl). ACaption is
  // the caption label in the caption column (none when empty); a palette
  // target's change also refreshes the result palette strip.
  int AddOwnComboBox(const std::string& ACaption, const std::vector<std::string>& AItems, int AItemIndex,
                     bool APaletteTarget = false, const std::vector<int>& AValues = {});
  int AddOwnCheckBox(const std::string& ACaption, bool AChecked, bool APaletteTarget = false);
  int AddOwnTrackBar(const std::string& ACaption, int AMin, int AMax, int ADefault, int APosition,
                     bool APaletteTarget = false);
  int AddOwnIntEdit(const std::string& ACaption, int AMin, int AMax, int ADefault, int AValue);
  // A colour box ($00RRGGBB) with, when ASelectCaption is not empty, a button
  // that opens the colour dialog; a changed colour is a palette change.
  int AddOwnColorBox(const std::string& ACaption, uint32_t AColor, const std::string& ASelectCaption = "Select...");
  int AddOwnButton(const std::string& ACaption);
  int AddOwnLabel(const std::string& ACaption);
  int AddOwnSeparator(const std::string& ACaption);

  // AControl is enabled exactly while the combo box AMaster shows item
  // AItemIndex (AInverse: while it shows any other item or none).
  void AddRelated(TKvControlId AMaster, int AItemIndex, TKvControlId AControl, bool AInverse);

  // ---- hooks (see the top of this file) ----
  virtual void StoreOptions(IKvPanelControls& AControls);
  virtual void CheckOptions(IKvPanelControls&) {}
  virtual void ResizeControls(IKvPanelControls&) {}
  virtual void ArrangeControls(IKvPanelControls& AControls, int& ATop);
  virtual void ArrangeSection(IKvPanelControls& AControls, int ASection, int& ATop) {
    AControls.ArrangeSection(ASection, ATop);
  }
  virtual void ButtonClick(IKvPanelControls&, int /*ASection*/) {}
  // Whether "Edit..." may open the editor with the current options.
  virtual bool CanEditPalette() { return true; }
  // Opens the editor for a palette with at least one colour; an empty one
  // does nothing (what the base gets from "Edit...").
  virtual void EditPalette(IKvPanelControls& AControls, TKvPalette* APalette, int AColumns);
  // A shorter way to name the palette "Edit..." shows: fill AScratch (or
  // return a palette of your own) and set AColumns; the panel then calls
  // EditPalette with it. The base returns AScratch as it is, with 0 columns.
  virtual TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns);
  // Whether a fixed-palette list whose class is not "TKvFixedPaletteComboBox"
  // offers APalette (already a strict subset of the hardware palette); the
  // options' PaletteUsage is the usage the list is filled for.
  virtual bool AcceptFixedPalette(const TKvPalette256&) { return true; }

protected:
  // Sections added between BeginGroup and EndGroup carry the group's name.
  void BeginGroup(const std::string& AName) { FGroup = AName; }
  void EndGroup() { FGroup.clear(); }

private:
  int Append(TKvPanelSection ASection);

  TKvDestEngineOptions* FOptions;
  std::vector<TKvPanelSection> FSections;
  std::vector<TKvPanelRelated> FRelated;
  std::string FGroup;
};

// The panel's controls held in memory, made from a description through
// SectionControls, as the window makes its widgets: what the hooks see
// without any window. Related controls follow SetItemIndex as on screen.
class TKvPanelControlState : public IKvPanelControls {
public:
  explicit TKvPanelControlState(TKvDestEngineUIEx& APanel);

  struct TControl {
    TKvPanelControlKind Kind = TKvPanelControlKind::Label;
    // A list's entries (the palette-file lists are filled on screen only).
    std::vector<std::string> Items{};
    bool Enabled = true;
    bool Visible = true;
    int ItemIndex = -1;
    std::vector<int> ItemValues{};
    bool Checked = false;
    int Value = 0;
    uint32_t Color = 0;
    std::string Text{};
    bool NormalBackground = true;
    uint32_t Background = 0;
    TRect Bounds{};
  };
  // The state of a control the panel has (nullptr otherwise).
  TControl* Find(TKvControlId AId);
  const TControl* Find(TKvControlId AId) const;

  // What the palette editor was last asked to show.
  int EditorRuns = 0;
  int EditorColorCount = 0;
  int EditorColumns = 0;
  // The metrics of a 13-pixel font 6 pixels wide on average.
  class TFixedMetrics : public TnoxShellUIMetrics {
  public:
    TFixedMetrics() { SetMeasuredExtent(312, 13); }

  protected:
    int32_t GetFontHeightValue() const override { return -13; }
    void SetFontHeightValue(int32_t) override {}
  };
  TFixedMetrics Metrics;
  int ClientWidth = 400;

  bool HasControl(TKvControlId AId) const override { return Find(AId) != nullptr; }
  bool GetEnabled(TKvControlId AId) const override;
  void SetEnabled(TKvControlId AId, bool AEnabled) override;
  bool GetVisible(TKvControlId AId) const override;
  void SetVisible(TKvControlId AId, bool AVisible) override;
  int GetItemIndex(TKvControlId AId) const override;
  void SetItemIndex(TKvControlId AId, int AIndex) override;
  int GetItemCount(TKvControlId AId) const override;
  int GetItemValue(TKvControlId AId) const override;
  const TKvPalette256* GetPalette(TKvControlId) const override { return nullptr; }
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
  const TnoxShellUIMetrics& GetMetrics() const override { return Metrics; }
  int GetControlLeft() const override { return FControlLeft; }
  void SetControlLeft(int ALeft) override { FControlLeft = ALeft; }
  int GetCaptionWidth() const override { return 0; }
  int GetClientWidth() const override { return ClientWidth; }
  // One row per control of the section, 20 pixels high.
  void ArrangeSection(int ASection, int& ATop) override;
  void RequestArrange() override {}
  void RunPaletteEditor(TKvPalette& APalette, int AColumns) override;

private:
  void ApplyRelated(TKvControlId AMaster);
  void UpdateEditButton();

  TKvDestEngineUIEx& FPanel;
  std::map<TKvControlId, TControl> FControls;
  // The sections' links, then the converter's.
  std::vector<TKvPanelRelated> FRelated;
  int FControlLeft = 0;
};
