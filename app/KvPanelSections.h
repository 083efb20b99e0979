// The Qt-free description of a converter option panel: the shared sections a
// panel adds, in display order, with their arguments. A converter panel's
// constructor calls the Add operations; the windowed layer later creates and
// arranges the controls of each section in the same order, so what a panel
// holds is checked without any widget.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "core/KvColor.h"

class TKvDestEngineOptions;
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
  MaxFlickering,        // AddMaxFlickeringSection
  Style,                // AddStyleSection
  SafeModeCheckBox,     // AddSafeModeCheckBox
  Ham,                  // AddHamSection(Set: 1 initial, 2 previous, 4 next, 8 max change)
  FileFormatSeparator,  // AddFileFormatSeparator
  FileFormatCheckBox,   // AddFileFormatCheckBox(Caption)
  CommentSeparator,     // AddCommentSeparator
  CommentEdit,          // AddCommentEdit
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
};

// Base of every converter panel. The options belong to the result document.
class TKvDestEngineUIEx : public TKvDestEngineUI {
public:
  explicit TKvDestEngineUIEx(TKvDestEngineOptions* AOptions) : FOptions(AOptions) {}

  TKvDestEngineOptions* GetOptions() const { return FOptions; }
  const std::vector<TKvPanelSection>& GetSections() const { return FSections; }

  void AddDimensionSection(bool ANativeButton);
  void AddPositionSection(uint32_t AAspectSet);
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
  void AddPaletteUsageSection(uint32_t AUsageSet);
  void AddPaletteModeSection(uint32_t AModeSet);
  void AddMaxColorCountSection(int AMin, int AMax);
  void AddPaletteIndexLabel();
  void AddGrayPaletteCheckBox();
  void AddFixedPaletteSectionEx(const std::string& AComboClass, int AColumns, int ARows);
  void AddFixedPaletteSection(int AColumns, int ARows) {
    AddFixedPaletteSectionEx("TKvFixedPaletteComboBox", AColumns, ARows);
  }
  void AddZxPaletteSection(uint32_t AModeSet);
  void AddZxGigaScreenPaletteSection(bool AWith64x1, uint32_t AModeSet);
  void AddColorUsageSection(bool AForceBright);
  void AddMaxFlickeringSection();
  void AddStyleSection();
  void AddSafeModeCheckBox();
  void AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange);
  void AddFileFormatSeparator();
  void AddFileFormatCheckBox(const std::string& ACaption);
  void AddCommentSeparator();
  void AddCommentEdit();

  // The "Edit..." button of the palette mode section. A converter that lets
  // the user edit a palette answers whether that is possible with the
  // current options, and which palette the custom palette editor shows: it
  // either fills AScratch (an empty palette the panel owns for the call) and
  // returns it, or returns a palette of its own, often the options' hardware
  // palette. AColumns is the editor's column count (0: automatic). An empty
  // palette opens no editor, which is what the base gives.
  virtual bool CanEditPalette() { return true; }
  virtual TKvPalette* GetEditedPalette(TKvPalette256& AScratch, int& AColumns);

protected:
  // Sections added between BeginGroup and EndGroup carry the group's name.
  void BeginGroup(const std::string& AName) { FGroup = AName; }
  void EndGroup() { FGroup.clear(); }

private:
  int Append(TKvPanelSection ASection);

  TKvDestEngineOptions* FOptions;
  std::vector<TKvPanelSection> FSections;
  std::string FGroup;
};
