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

class TKvDestEngineOptions;

enum class TKvPanelSectionKind {
  Dimension,            // AddDimensionSection(Flag = native-size button)
  Position,             // AddPositionSection(Set = pixel-aspect set)
  PaletteSeparator,     // AddPaletteSeparator
  PaletteLabel,         // AddPaletteLabel
  OriginalColorsCheckBox,  // AddOriginalColorsCheckBox
  DestPalette,          // AddDestPalette(Columns, Rows, Flag = drops refused); ReadOnly for a save-only strip
  OptimizedPalette,     // AddOptimizedPaletteSection
  Dithering,            // AddDitheringSection(Flag = block limits)
};

struct TKvPanelSection {
  TKvPanelSectionKind Kind = TKvPanelSectionKind::Dimension;
  bool Flag = false;
  uint32_t Set = 0;
  int Columns = 0;
  int Rows = 0;
  bool ReadOnly = false;
  // The converter's own arrangement that lays this section out together with
  // its neighbours of the same group; empty for a shared section arranged by
  // itself.
  std::string Group;
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
