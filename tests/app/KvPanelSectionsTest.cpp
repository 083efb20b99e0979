#include "app/KvPanelSections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvDestEngineOptions.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"
#include "core/KvPalette.h"

namespace {

// A family base that adds an operation of its own (its mode set) and a
// check step; the converter below builds on it.
class TFamilyUI : public TKvDestEngineUIEx {
public:
  explicit TFamilyUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {}
  virtual TKvPaletteModeSet GetModeSet() const { return PaletteModes(pmBlackWhite, pmGray, pmColor); }
  void CheckOptions(IKvPanelControls& C) override {
    TKvDestEngineUIEx::CheckOptions(C);
    Log.push_back("family check");
  }
  std::vector<std::string> Log;
};

class TConverterUI : public TFamilyUI {
public:
  explicit TConverterUI(TKvDestEngineOptions* AOptions) : TFamilyUI(AOptions) {
    AddPositionSection();
    AddPaletteSeparator();
    AddPaletteModeSection(GetModeSet());
    AddColorUsageSection(true);
    Rows = AddOwnComboBox("&Rows:", {"One", "Two", "Four"}, 1, false, {1, 2, 4});
    Safe = AddOwnCheckBox("Extra care", false);
    Color = AddOwnColorBox("Ink:", 0x00FF00);
    AddDitheringSection(true);
    AddRelated(pcModeCombo, 2, pcColorUsageLabel, false);
    AddRelated(pcModeCombo, 2, pcColorUsageCombo, false);
    AddRelated(pcModeCombo, 0, pcLimitInsideCheckBox, true);
    AddRelated(pcRowsMaster(), 2, OwnControl(Color), false);
    AddRelated(pcRowsMaster(), 2, OwnControl(Color, opCaption), false);
  }
  TKvControlId pcRowsMaster() const { return OwnControl(Rows); }

  void StoreOptions(IKvPanelControls& C) override {
    TFamilyUI::StoreOptions(C);
    // The inherited step has written the shared controls already.
    SharedStoredFirst = GetOptions()->DitherMethod == C.GetItemIndex(pcDitherMethodCombo) &&
                        GetOptions()->Position == C.GetItemIndex(pcPositionCombo);
    GetOptions()->SetPaletteIndex(C.GetItemValue(OwnControl(Rows)));
    GetOptions()->SetExtraFlag(C.GetChecked(OwnControl(Safe)));
    if (C.GetEnabled(OwnControl(Color))) {
      const uint32_t L = C.GetColor(OwnControl(Color));
      GetOptions()->SetCustomColor1({static_cast<uint8_t>(L >> 16), static_cast<uint8_t>(L >> 8), static_cast<uint8_t>(L)});
    }
  }
  void CheckOptions(IKvPanelControls& C) override {
    TFamilyUI::CheckOptions(C);
    Log.push_back("converter check");
    C.SetEnabled(OwnControl(Safe), GetOptions()->PaletteMode != 0);
  }
  void ArrangeSection(IKvPanelControls& C, int ASection, int& ATop) override {
    if (ASection != Rows) return TFamilyUI::ArrangeSection(C, ASection, ATop);
    // Own layout: the list at the control column, its caption beside it.
    RowsArrangedAt = ATop;
    ColumnAtRows = C.GetControlLeft();
    const TRect L = Rect(C.GetControlLeft(), ATop, C.GetControlLeft() + 80, ATop + 21);
    C.SetBounds(OwnControl(Rows), L);
    C.SetBounds(OwnControl(Rows, opCaption), Rect(L.Right + 4, ATop, L.Right + 60, ATop + 13));
    ATop += 21 + C.GetMetrics().RelatedSpacingY;
  }
  bool CanEditPalette() override { return GetOptions()->PaletteMode == 11; }
  void EditPalette(IKvPanelControls& C, TKvPalette* APalette, int) override {
    auto* LPalette = static_cast<TKvPalette256*>(APalette);
    for (int i = 0; i < 12; ++i) LPalette->AddStdRGB({static_cast<uint8_t>(i * 20), 0, 0});
    TFamilyUI::EditPalette(C, APalette, 4);
  }

  int Rows = -1, Safe = -1, Color = -1;
  bool SharedStoredFirst = false;
  int RowsArrangedAt = -1, ColumnAtRows = -1;
};

struct TFixture {
  std::unique_ptr<TKvDestEngineOptions> Options = TKvDestEngineOptions::Create();
  TConverterUI UI{Options.get()};
  TKvPanelControlState State{UI};
  void Store() {
    Options->BeginUpdate();
    UI.StoreOptions(State);
    Options->EndUpdate();
    UI.CheckOptions(State);
  }
};

}  // namespace

TEST(KvPanelHooks, RelatedControlsFollowTheirMastersItem) {
  TFixture F;
  const int LColor = OwnControl(F.UI.Color), LColorCaption = OwnControl(F.UI.Color, opCaption);
  struct TCase {
    TKvControlId Master;
    int Item;
    TKvControlId Control;
    bool Enabled;
  };
  const TCase Cases[] = {
      {pcModeCombo, 2, pcColorUsageLabel, true},      {pcModeCombo, 2, pcColorUsageCombo, true},
      {pcModeCombo, 1, pcColorUsageCombo, false},     {pcModeCombo, 0, pcColorUsageLabel, false},
      {pcModeCombo, -1, pcColorUsageCombo, false},    {pcModeCombo, 0, pcLimitInsideCheckBox, false},
      {pcModeCombo, 1, pcLimitInsideCheckBox, true},  {pcModeCombo, -1, pcLimitInsideCheckBox, true},
      {pcModeCombo, 1, pcLimitBoundaryCheckBox, true}, {F.UI.pcRowsMaster(), 2, LColor, true},
      {F.UI.pcRowsMaster(), 2, LColorCaption, true},  {F.UI.pcRowsMaster(), 0, LColorCaption, false},
  };
  // Applied at once: the mode list starts on "Black/white", the rows on "Two".
  EXPECT_FALSE(F.State.GetEnabled(pcColorUsageCombo));
  EXPECT_FALSE(F.State.GetEnabled(pcLimitInsideCheckBox));
  EXPECT_FALSE(F.State.GetEnabled(LColor));
  for (const TCase& C : Cases) {
    F.State.SetItemIndex(C.Master, C.Item);
    EXPECT_EQ(F.State.GetEnabled(C.Control), C.Enabled) << "master " << C.Master << " item " << C.Item
                                                        << " control " << C.Control;
  }
}

TEST(KvPanelHooks, StoreRunsTheSharedStepFirstAndKeepsTheConvertersValues) {
  TFixture F;
  struct TCase {
    const char* Name;
    void (*Act)(TKvPanelControlState&, const TConverterUI&);
    bool (*Holds)(const TKvDestEngineOptions&);
  };
  const TCase Cases[] = {
      {"mode Сolor", [](TKvPanelControlState& S, const TConverterUI&) { S.SetItemIndex(pcModeCombo, 2); },
       [](const TKvDestEngineOptions& O) { return O.PaletteMode == 11; }},
      {"colour usage force bright",
       [](TKvPanelControlState& S, const TConverterUI&) { S.SetItemIndex(pcColorUsageCombo, 2); },
       [](const TKvDestEngineOptions& O) { return O.ColorUsage == 2; }},
      {"own list value", [](TKvPanelControlState& S, const TConverterUI& U) { S.SetItemIndex(OwnControl(U.Rows), 2); },
       [](const TKvDestEngineOptions& O) { return O.PaletteIndex == 4; }},
      {"own check box", [](TKvPanelControlState& S, const TConverterUI& U) { S.SetChecked(OwnControl(U.Safe), true); },
       [](const TKvDestEngineOptions& O) { return O.ExtraFlag; }},
      {"own colour while enabled",
       [](TKvPanelControlState& S, const TConverterUI& U) { S.SetColor(OwnControl(U.Color), 0x123456); },
       [](const TKvDestEngineOptions& O) { return O.CustomColor1.R == 0x12 && O.CustomColor1.B == 0x56; }},
      {"dither method", [](TKvPanelControlState& S, const TConverterUI&) { S.SetItemIndex(pcDitherMethodCombo, 4); },
       [](const TKvDestEngineOptions& O) { return O.DitherMethod == 4; }},
      {"error diffusion", [](TKvPanelControlState& S, const TConverterUI&) { S.SetValue(pcErrorDiffusionBar, 33); },
       [](const TKvDestEngineOptions& O) { return O.ErrorDiffusion == 33; }},
  };
  for (const TCase& C : Cases) {
    C.Act(F.State, F.UI);
    F.Store();
    EXPECT_TRUE(F.UI.SharedStoredFirst) << C.Name;
    EXPECT_TRUE(C.Holds(*F.Options)) << C.Name;
  }
  // A store that finds nothing new leaves the options unmodified.
  F.Store();
  EXPECT_FALSE(F.Options->Modified);
  // What the converter stored survives a later shared store.
  EXPECT_EQ(F.Options->PaletteIndex, 4);
  EXPECT_TRUE(F.Options->ExtraFlag);
  EXPECT_EQ(F.Options->PaletteMode, 11);
}

TEST(KvPanelHooks, CheckArrangeAndEditHooksRunAfterTheInheritedStep) {
  TFixture F;
  F.Store();
  EXPECT_EQ(F.UI.Log, (std::vector<std::string>{"family check", "converter check"}));
  // Black/white: the converter's check disables its box; Gray enables it.
  EXPECT_FALSE(F.State.GetEnabled(OwnControl(F.UI.Safe)));
  F.State.SetItemIndex(pcModeCombo, 1);
  F.Store();
  EXPECT_TRUE(F.State.GetEnabled(OwnControl(F.UI.Safe)));

  // The inherited arrangement set the column and placed the earlier
  // sections before the converter laid out its own row.
  int LTop = -5;
  F.UI.ArrangeControls(F.State, LTop);
  const TnoxShellUIMetrics& M = F.State.GetMetrics();
  EXPECT_EQ(F.UI.ColumnAtRows, M.MarginX + F.State.GetCaptionWidth() + M.LabelSpacingY);
  EXPECT_GT(F.UI.RowsArrangedAt, 0);
  const TRect LRows = F.State.GetBounds(OwnControl(F.UI.Rows));
  EXPECT_EQ(LRows.Left, F.UI.ColumnAtRows);
  EXPECT_EQ(F.State.GetBounds(OwnControl(F.UI.Rows, opCaption)).Left, LRows.Right + 4);
  // The sections after it follow it, one related spacing lower.
  EXPECT_EQ(F.State.GetBounds(OwnControl(F.UI.Safe)).Top, LRows.Bottom + M.RelatedSpacingY);
  EXPECT_GT(LTop, F.State.GetBounds(pcSaturationBar).Top);

  // Editing: the converter fills the scratch palette and names its columns.
  EXPECT_FALSE(F.UI.CanEditPalette());
  TKvPalette256 LScratch;
  F.UI.EditPalette(F.State, &LScratch, 0);
  EXPECT_EQ(F.State.EditorRuns, 1);
  EXPECT_EQ(F.State.EditorColorCount, 12);
  EXPECT_EQ(F.State.EditorColumns, 4);
  // The base opens nothing for an empty palette.
  TKvPalette256 LEmpty;
  F.UI.TKvDestEngineUIEx::EditPalette(F.State, &LEmpty, 3);
  EXPECT_EQ(F.State.EditorRuns, 1);
}

TEST(KvPanelHooks, ControlsOfEachSectionAndMissingOnesAreHarmless) {
  TFixture F;
  EXPECT_TRUE(F.State.HasControl(pcModeCombo));
  EXPECT_FALSE(F.State.HasControl(pcEditButton));  // no "Custom" mode
  EXPECT_FALSE(F.State.HasControl(pcAspectCombo));  // only "1:1"
  EXPECT_TRUE(F.State.HasControl(pcLimitBoundaryCheckBox));
  EXPECT_EQ(F.State.GetItemCount(pcColorUsageCombo), 4);
  EXPECT_EQ(F.State.GetItemValue(pcModeCombo), 0);
  EXPECT_EQ(F.State.GetItemIndex(OwnControl(F.UI.Rows)), 1);
  // Reads of a control the panel lacks give nothing, writes do nothing.
  EXPECT_EQ(F.State.GetItemIndex(pcStyleCombo), -1);
  EXPECT_EQ(F.State.GetValue(pcWidthEdit), 0);
  F.State.SetEnabled(pcStyleCombo, true);
  EXPECT_FALSE(F.State.GetEnabled(pcStyleCombo));
  F.Store();  // the shared store skips every absent control
  EXPECT_EQ(F.Options->GetWidth(), TKvDestEngineOptions::Create()->GetWidth());

  TKvDestEngineUIEx LBare(F.Options.get());
  LBare.AddPositionSection(PixelAspects(pa1p138_1));
  TKvPanelControlState LBareState(LBare);
  EXPECT_EQ(LBareState.GetItemCount(pcAspectCombo), 2);
  EXPECT_EQ(LBareState.GetItemValue(pcAspectCombo), F.Options->PixelAspect);
}

TEST(KvPanelHooks, ZxColourUsageFollowsTheModeList) {
  struct TCase {
    const TKvDestEngineClass* Engine;
    int ModeItem;
    bool Enabled;
  };
  const TKvDestEngineClass* LStandard = &DestEngineClass<TKvZxSpectrumEngine>();
  const TKvDestEngineClass* LMulti = &DestEngineClass<TKvZxSpectrumMultiColor1Engine>();
  // Standard: "Black/white", "Gray", "Сolor"; multicolour: "Gray", "Сolor".
  const TCase Cases[] = {{LStandard, 0, false}, {LStandard, 1, false}, {LStandard, 2, true},
                         {LMulti, 0, false},    {LMulti, 1, true}};
  for (const TCase& C : Cases) {
    auto LEngine = C.Engine->Create();
    auto LOptions = LEngine->CreateOptions();
    auto LUI = LEngine->CreateUI(LOptions.get());
    auto& LPanel = dynamic_cast<TKvDestEngineUIEx&>(*LUI);
    TKvPanelControlState LState(LPanel);
    LState.SetItemIndex(pcModeCombo, C.ModeItem);
    EXPECT_EQ(LState.GetEnabled(pcColorUsageLabel), C.Enabled) << C.Engine->GetModeName() << " " << C.ModeItem;
    EXPECT_EQ(LState.GetEnabled(pcColorUsageCombo), C.Enabled) << C.Engine->GetModeName() << " " << C.ModeItem;
  }
}

TEST(KvPanelHooks, EveryConverterPanelStartsFromItsOptions) {
  InitializePlatforms();
  TKvDestEngineList& LEngines = DestEngineList();
  for (int p = 0; p < LEngines.GetCount(); ++p) {
    TKvDestSubTypes& LModes = LEngines.GetSubTypes(p);
    for (int m = 0; m < LModes.GetCount(); ++m) {
      auto LEngine = LModes.GetObject(m)->Create();
      auto LOptions = LEngine->CreateOptions();
      auto LUI = LEngine->CreateUI(LOptions.get());
      auto* LPanel = dynamic_cast<TKvDestEngineUIEx*>(LUI.get());
      if (!LPanel) continue;
      // What the controls show at first is what the options hold: a store
      // changes nothing, and every related link names controls that exist.
      TKvPanelControlState LState(*LPanel);
      LOptions->BeginUpdate();
      LPanel->StoreOptions(LState);
      LOptions->EndUpdate();
      const std::string LName = LEngines.GetString(p) + " " + LModes.GetString(m);
      EXPECT_FALSE(LOptions->Modified) << LName;
      for (const TKvPanelRelated& R : LPanel->GetRelated()) {
        EXPECT_TRUE(LState.HasControl(R.Master)) << LName;
        EXPECT_TRUE(LState.HasControl(R.Control)) << LName;
      }
    }
  }
}
