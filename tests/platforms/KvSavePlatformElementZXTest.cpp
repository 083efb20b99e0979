// eLeMeNt ZX panels and the cell solvers' abort.
#include <gtest/gtest.h>

#include <vector>

#include "core/KvThreadJob.h"
#include "platforms/KvSavePlatformElementZX.h"
#include "KvTestHarness.h"

namespace {

using K = TKvPanelSectionKind;

std::vector<K> Kinds(const TKvDestEngineUIEx& APanel) {
  std::vector<K> r;
  for (auto& s : APanel.GetSections()) r.push_back(s.Kind);
  return r;
}

TEST(KvSavePlatformElementZX, Panels) {
  struct {
    const TKvDestEngineClass* Class;
    std::vector<K> Kinds;
    TKvPaletteModeSet ModeSet;
    int PaletteRows;  // 0: no palette strip
    bool UsageFollowsMode;
  } cases[] = {
      {&DestEngineClass<TKvElementZXSCREngine>(), {K::Position, K::PaletteSeparator, K::PaletteMode, K::ColorUsage,
       K::Dithering}, PaletteModes(pmBlackWhite, pmGray, pmColor), 0, true},
      {&DestEngineClass<TKvElementZXHRCEngine>(), {K::Position, K::PaletteSeparator, K::PaletteMode, K::ColorUsage,
       K::Dithering}, PaletteModes(pmBlackWhite, pmGray, pmColor), 0, true},
      {&DestEngineClass<TKvElementZXLayedSCREngine>(), {K::Position, K::PaletteSeparator, K::PaletteMode, K::Dithering},
       PaletteModes(pmGray, pmColor), 0, false},
      {&DestEngineClass<TKvElementZXLayedHRCEngine>(), {K::Position, K::PaletteSeparator, K::PaletteMode, K::Dithering},
       PaletteModes(pmGray, pmColor), 0, false},
      {&DestEngineClass<TKvElementZXHRXCEngine>(), {K::Position, K::PaletteSeparator, K::PaletteMode, K::DestPalette,
       K::Dithering}, PaletteModes(pmGray, pmColor), 2, false},
      {&DestEngineClass<TKvElementZXLayedHRXCEngine>(), {K::Position, K::PaletteSeparator, K::PaletteMode,
       K::DestPalette, K::Dithering}, PaletteModes(pmGray, pmColor), 4, false},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Class->GetModeName());
    auto engine = c.Class->Create();
    auto options = engine->CreateOptions();
    EXPECT_EQ(options->PaletteMode, pmColor);
    auto ui = engine->CreateUI(options.get());
    auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
    EXPECT_EQ(Kinds(panel), c.Kinds);
    EXPECT_EQ(panel.GetSections()[2].Set, c.ModeSet.Bits);
    if (c.PaletteRows) {
      EXPECT_EQ(panel.GetSections()[3].Columns, 16);
      EXPECT_EQ(panel.GetSections()[3].Rows, c.PaletteRows);
    }
    EXPECT_EQ(panel.GetRelated().size(), c.UsageFollowsMode ? 2u : 0u);
    for (auto& r : panel.GetRelated()) {
      EXPECT_EQ(r.Master, pcModeCombo);
      EXPECT_EQ(r.ItemIndex, 2);
      EXPECT_FALSE(r.Inverse);
    }
  }
  auto hrc = DestEngineClass<TKvElementZXHRCEngine>().Create()->CreateOptions();
  EXPECT_EQ(hrc->GetWidth(), 512);
  EXPECT_EQ(hrc->GetCellHeight(), 4);
  EXPECT_EQ(hrc->PixelAspect, pa1_2);
}

// A set abort flag ends the cell searches with the silent abort, on one
// processor and on several.
TEST(KvSavePlatformElementZX, CellSearchesAbort) {
  auto scr = GradientPicture(256, 192, 2);
  auto hrc = GradientPicture(512, 192, 3);
  TKvPalette256 palette;
  palette.FillGRB16(182);
  for (int n : {1, 4}) {
    TKvProcessorCountOverride count(n);
    bool abort = true;
    TKvDestProgress progress;
    TKvElementZXLayedSCRImage layered(*scr);
    EXPECT_THROW(layered.ConvertCells(&abort, &progress, 8, false, palette), EAbort) << n;
    TKvElementZXHRXCImage pairs(*hrc);
    EXPECT_THROW(pairs.ConvertCells(&abort, &progress, nullptr, palette), EAbort) << n;
    TKvElementZXLayedHRXCImage triples(*hrc);
    EXPECT_THROW(triples.ConvertCells(&abort, &progress, nullptr, palette), EAbort) << n;
    // The wrong size is refused before any cell.
    TKvElementZXHRXCImage small(*scr);
    abort = false;
    EXPECT_THROW(small.ConvertCells(&abort, &progress, nullptr, palette), Exception) << n;
  }
  // Progress counts the cells.
  bool abort = false;
  TKvDestProgress progress;
  TKvElementZXLayedSCRImage layered(*scr);
  layered.ConvertCells(&abort, &progress, 8, true, palette);
  int32_t total = 0, done = 0;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 768);
  EXPECT_EQ(done, 768);
}

}  // namespace
