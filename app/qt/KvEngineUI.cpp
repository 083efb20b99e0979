#include "app/qt/KvEngineUI.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <algorithm>
#include <cstdlib>

#include "app/KvControls.h"
#include "app/qt/CustomFormUnit.h"
#include "bitmap/B32.h"
#include "core/KvPaletteRGB.h"
#include "shell/qt/noxShellForm.h"

std::function<bool(QWidget*, uint32_t&)> TKvDestEngineUIPanel::ColorChooser = [](QWidget* AOwner, uint32_t& AColor) {
  const QColor LColor = QColorDialog::getColor(QColor(AColor & 0xFF, (AColor >> 8) & 0xFF, (AColor >> 16) & 0xFF),
                                               AOwner, QString(), QColorDialog::DontUseNativeDialog);
  if (!LColor.isValid()) return false;
  AColor = uint32_t(LColor.red()) | (uint32_t(LColor.green()) << 8) | (uint32_t(LColor.blue()) << 16);
  return true;
};

namespace {

using CK = TKvPanelControlKind;

uint32_t SwapRB(uint32_t A) { return ((A & 0xFF) << 16) | (A & 0xFF00) | ((A >> 16) & 0xFF); }

// A fixed-palette list whose class the converter named: the description
// decides which palettes it offers.
class TKvDescribedFixedPaletteComboBox : public TKvFixedPaletteComboBox {
public:
  TKvDescribedFixedPaletteComboBox(QWidget* AParent, TKvDestEngineUIEx* ADescription)
      : TKvFixedPaletteComboBox(AParent), FDescription(ADescription) {}
  bool AcceptPalette(TKvPalette256* APalette) override {
    return APalette && FDescription->AcceptFixedPalette(*APalette);
  }

private:
  TKvDestEngineUIEx* FDescription;
};

// The rows of the palette block in their fixed order, whatever order the
// sections came in, by the control that starts the row; -1 for a row
// outside the block. The palette index label on a row of its own stands where
// the result palette strip would.
int PaletteSlot(TKvControlId AId) {
  static constexpr TKvControlId Order[] = {
      pcPaletteSeparator, pcOriginalColorsCheckBox, pcPaletteCombo, pcCustomPaletteCombo, pcCustomPaletteComboEx,
      pcPaletteIndexCombo, pcBorderIndexCombo,       pcUsageCombo,   pcModeCombo,          pcDestPalette,
      pcMaxColorCountEdit, pcKeepWholePaletteCheckBox, pcGrayPaletteCheckBox, pcFixedPaletteCombo, pcFixedPalette};
  if (AId == pcPaletteIndexLabel) AId = pcDestPalette;
  const auto it = std::find(std::begin(Order), std::end(Order), AId);
  return it == std::end(Order) ? -1 : static_cast<int>(it - std::begin(Order));
}

bool IsPaletteKind(TKvPanelSectionKind AKind) {
  using K = TKvPanelSectionKind;
  switch (AKind) {
    case K::PaletteSeparator:
    case K::PaletteLabel:
    case K::OriginalColorsCheckBox:
    case K::DestPalette:
    case K::OptimizedPalette:
    case K::CustomPaletteComboBox:
    case K::CustomPaletteComboBoxEx:
    case K::PaletteIndexComboBoxEx:
    case K::BorderColorComboBoxEx:
    case K::PaletteUsage:
    case K::PaletteMode:
    case K::MaxColorCount:
    case K::PaletteIndexLabel:
    case K::GrayPaletteCheckBox:
    case K::FixedPalette:
    case K::ZxPalette:
    case K::ZxGigaScreenPalette: return true;
    default: return false;
  }
}

int Gap(const TnoxShellUI& AUI, TKvPanelGap AGap) {
  switch (AGap) {
    case TKvPanelGap::Unrelated: return AUI.UnrelatedSpacingX;
    case TKvPanelGap::Related: return AUI.RelatedSpacingX;
    case TKvPanelGap::None: break;
  }
  return 0;
}

// A list's entries with their values; entry i of an image list shows image i.
void FillList(TKvComboBox& AList, const TKvPanelControlInfo& AInfo) {
  for (size_t i = 0; i < AInfo.Items.size() && i < AInfo.Values.size(); ++i)
    AList.AddItemObject(QString::fromStdString(AInfo.Items[i]), AInfo.Values[i]);
}

void FillList(TKvComboBoxEx& AList, const TKvPanelControlInfo& AInfo) {
  for (size_t i = 0; i < AInfo.Items.size() && i < AInfo.Values.size(); ++i)
    AList.AddItemObject(QString::fromStdString(AInfo.Items[i]), AInfo.Values[i], static_cast<int>(i));
}

}  // namespace

TKvDestEngineUIPanel::TKvDestEngineUIPanel(QWidget* AParent, std::unique_ptr<TKvDestEngineUI> ADescription)
    : QWidget(AParent), FDescriptionOwner(std::move(ADescription)) {
  FDescription = dynamic_cast<TKvDestEngineUIEx*>(FDescriptionOwner.get());
  if (FDescription) FOptions = FDescription->GetOptions();
  // Control events fired while the sections are built are ignored.
  FUpdateCount = 1;
  if (FDescription && FOptions) BuildFromDescription();
  FUpdateCount = 0;
}

TKvDestEngineUIPanel::~TKvDestEngineUIPanel() {
  SetDest(nullptr);
  SetSource(nullptr);
  // The children unlink themselves before the panel's links are gone; none
  // is found by id any more while they go.
  FWidgets.clear();
  std::vector<QPointer<QWidget>> LChildren;
  for (QWidget* LChild : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) LChildren.emplace_back(LChild);
  for (QPointer<QWidget>& LChild : LChildren) delete LChild.data();
  if (HasPaletteList()) PaletteList().RemoveGenerated();
}

void TKvDestEngineUIPanel::BuildFromDescription() {
  const std::vector<TKvPanelSection>& sections = FDescription->GetSections();
  for (size_t i = 0; i < sections.size(); ++i) BuildSection(sections[i], static_cast<int>(i));
  // Related controls follow their list from now on.
  for (const TKvPanelRelated& r : FDescription->GetRelated()) Relate(r);
}

void TKvDestEngineUIPanel::BuildSection(const TKvPanelSection& ASection, int AIndex) {
  const TKvSectionControls section = SectionControls(ASection, AIndex, *FOptions);
  TKvLabel* caption = nullptr;  // the caption waiting for the control it names
  for (const TKvPanelControlInfo& info : section.Controls) {
    if (info.Place == TKvPanelPlace::Caption) {
      // The palette caption several sections name is made once.
      caption = dynamic_cast<TKvLabel*>(ControlOf(info.Id));
      if (!caption) {
        caption = new TKvLabel(this);
        caption->SetCaption(QString::fromStdString(info.Text));
        FCaptionLabels.push_back(caption);
        FWidgets[info.Id] = caption;
      }
      continue;
    }
    if (ControlOf(info.Id)) continue;
    QWidget* w = MakeWidget(info);
    FWidgets[info.Id] = w;
    if (info.Place == TKvPanelPlace::Beside && !FRows.empty()) {
      FRows.back().After.push_back({w, info.Gap});
      continue;
    }
    if (info.Kind == CK::PaletteIndexLabel && DestPalette) {
      // The index goes beside the result palette strip when there is one.
      for (TRow& r : FRows)
        if (r.Control == DestPalette) r.After.push_back({w, TKvPanelGap::Unrelated});
      continue;
    }
    // The palette caption goes with the strip only in a panel without a
    // palette list (a list added later takes it back).
    if (info.Kind == CK::PaletteGrid && !caption && PaletteLabel && !PaletteListControl() && !ModeCombo)
      caption = PaletteLabel;
    TRow row;
    row.Section = AIndex;
    row.PaletteSlot = PaletteSlot(info.Id);
    row.RelatedBelow = info.RelatedBelow;
    row.Caption = caption;
    row.Control = w;
    row.Stretch = info.Kind == CK::Separator || info.Kind == CK::Edit || info.Kind == CK::PaletteKindImageList ||
                  info.Kind == CK::PaletteIndexImageList || info.Kind == CK::FixedPaletteList;
    row.FullWidth = !caption && (info.Kind == CK::Separator || info.Kind == CK::CheckBox || info.Kind == CK::Label);
    // A caption takes the keyboard to its control; colour boxes and palette grids take none.
    if (caption && info.Kind != CK::ColorBox && info.Kind != CK::PaletteGrid) caption->SetFocusControl(w);
    caption = nullptr;
    AddRow(std::move(row));
  }
  for (const TKvPanelRelated& r : section.Related) Relate(r);
}

QWidget* TKvDestEngineUIPanel::MakeWidget(const TKvPanelControlInfo& AInfo) {
  const QString text = QString::fromStdString(AInfo.Text);
  const auto change = [this, palette = AInfo.PaletteChange](QObject* ASender) {
    if (palette)
      PaletteControlChanged(ASender);
    else
      ControlChanged(ASender);
  };
  const bool listed = !AInfo.Values.empty();
  switch (AInfo.Kind) {
    case CK::Caption:
    case CK::Label: {
      auto* label = new TKvLabel(this);
      label->SetCaption(text);
      return label;
    }
    case CK::PaletteIndexLabel: return new TKvPaletteIndexLabel(this);
    case CK::Separator: {
      auto* separator = new TKvSeparator(this);
      separator->SetCaption(text);
      return separator;
    }
    case CK::CheckBox: {
      auto* box = new TKvCheckBox(this, text);
      box->setChecked(AInfo.Value != 0);
      box->OnClick = change;
      return box;
    }
    case CK::Button: {
      auto* button = new TKvButton(this, text);
      button->OnClick = ButtonAction(AInfo.Id);
      // "Edit..." is enabled while the mode list shows "Custom".
      if (AInfo.Id == pcEditButton && ModeCombo) ModeCombo->SetEditButton(button);
      return button;
    }
    case CK::IntEdit: {
      auto* edit = new TKvIntEdit(this, AInfo.Min, AInfo.Max);
      edit->DefaultValue = AInfo.Default;
      edit->EmptyThreshold = AInfo.EmptyThreshold;
      edit->SetValue(AInfo.Value);
      edit->OnChange = change;
      return edit;
    }
    case CK::Edit: {
      auto* edit = new TKvEdit(this);
      edit->SetTrimmedText(AInfo.Text);
      edit->ApplyChange();
      edit->OnChange = change;
      return edit;
    }
    case CK::TrackBar: {
      auto* bar = new TKvTrackBar(this, AInfo.Default);
      bar->SetRange(AInfo.Min, AInfo.Max);
      bar->SetPosition(AInfo.Value);
      bar->OnChange = change;
      return bar;
    }
    case CK::ColorBox: {
      auto* box = new TKvColorBox(this);
      box->SetColor(SwapRB(static_cast<uint32_t>(AInfo.Value)));
      return box;
    }
    case CK::List: {
      auto* list = new TKvComboBox(this);
      FillList(*list, AInfo);
      list->setMaxVisibleItems(std::max(1, list->count()));
      list->setCurrentIndex(AInfo.ItemIndex);
      list->OnChange = change;
      return list;
    }
    case CK::PixelAspectList: {
      auto* list = new TKvPixelAspectRatioComboBox(this);
      FillList(*list, AInfo);
      list->setCurrentIndex(AInfo.ItemIndex);
      list->OnChange = change;
      return list;
    }
    // The lists of usages, modes and palette kinds refuse an option value
    // they do not offer.
    case CK::PaletteUsageList: {
      auto* list = new TKvPaletteUgaseComboBox(this);
      FillList(*list, AInfo);
      if (listed) list->SetUsage(FOptions->PaletteUsage);
      list->OnChange = change;
      return list;
    }
    case CK::PaletteModeList: {
      auto* list = new TKvPaletteModeComboBox(this);
      list->CanEditPalette = [this] { return CanEditPalette(); };
      FillList(*list, AInfo);
      if (listed) list->SetMode(FOptions->PaletteMode);
      list->OnChange = change;
      return list;
    }
    case CK::PaletteKindList: {
      auto* list = new TKvCustomPaletteComboBox(this);
      FillList(*list, AInfo);
      if (listed) list->SetPaletteType(static_cast<TKvPaletteType>(FOptions->PaletteType));
      list->setMaxVisibleItems(std::max(1, list->count()));
      list->OnChange = change;
      return list;
    }
    case CK::PaletteKindImageList: {
      auto* list = new TKvCustomPaletteComboBoxEx(this);
      FillList(*list, AInfo);
      list->setMaxVisibleItems(std::max(1, list->count()));
      FKindGlyphs = ResolveGlyphs(AInfo.Values.size(), AInfo.Glyphs, &AInfo.Values);
      if (listed) list->SetPaletteType(static_cast<TKvPaletteType>(FOptions->PaletteType));
      list->OnChange = change;
      return list;
    }
    case CK::PaletteIndexImageList:
    case CK::ColorImageList: {
      const bool palettes = AInfo.Kind == CK::PaletteIndexImageList;
      auto* list = palettes ? new TKvPaletteIndexComboBoxEx(this) : new TKvComboBoxEx(this);
      FillList(*list, AInfo);
      (palettes ? FIndexGlyphs : FBorderGlyphs) = ResolveGlyphs(AInfo.Items.size(), AInfo.Glyphs, nullptr);
      list->setCurrentIndex(AInfo.ItemIndex);
      list->OnChange = change;
      return list;
    }
    case CK::PaletteFileList: {
      auto* list = new TKvPaletteComboBox(this);
      list->FillItems();
      list->setCurrentIndex(0);
      list->OnChange = change;
      return list;
    }
    case CK::FixedPaletteList: {
      // A list class of the converter's own: the description filters the palettes.
      auto* list = AInfo.ConverterFilter ? new TKvDescribedFixedPaletteComboBox(this, FDescription)
                                         : new TKvFixedPaletteComboBox(this);
      list->OnChange = change;
      return list;
    }
    case CK::PaletteGrid: {
      auto* grid = new TKvDestPalette(this);
      grid->SetColCount(AInfo.Columns);
      grid->SetRowCount(AInfo.Rows);
      grid->DropRefused = AInfo.NoDrop;
      grid->SetPalette(FOptions->GetPalette());
      grid->ReadOnly = AInfo.ReadOnly;
      // A palette dropped on the strip goes into the palette list.
      if (PaletteCombo) grid->SetPaletteCombo(PaletteCombo);
      FResultStrip = grid;
      return grid;
    }
    case CK::FixedPaletteGrid: {
      auto* grid = new TKvDestPalette(this);
      grid->SetColCount(AInfo.Columns);
      grid->SetRowCount(AInfo.Rows);
      grid->FollowResult = false;
      if (FixedPaletteCombo) {
        grid->SetPaletteCombo(FixedPaletteCombo);
        FixedPaletteCombo->SetSourcePalette(FOptions->GetHardwarePalette());
        FixedPaletteCombo->SetLinkedPalette(grid);
      }
      return grid;
    }
  }
  return nullptr;
}

std::function<void(QObject*)> TKvDestEngineUIPanel::ButtonAction(TKvControlId AId) {
  int section = 0, part = 0;
  if (IsOwnControl(AId, &section, &part)) {
    if (part == opButton) return [this, section](QObject*) { OwnColorSelectClick(section); };
    return [this, section](QObject*) {
      if (FDescription) FDescription->ButtonClick(*this, section);
    };
  }
  switch (AId) {
    case pcNativeButton: return [this](QObject* S) { NativeDimensionClick(S); };
    case pcBorderColorButton: return [this](QObject* S) { BorderColorSelectClick(S); };
    case pcEditButton: return [this](QObject* S) { EditButtonClick(S); };
    default: return nullptr;
  }
}

void TKvDestEngineUIPanel::Relate(const TKvPanelRelated& R) {
  QWidget* master = ControlOf(R.Master);
  QWidget* control = ControlOf(R.Control);
  if (!master || !control) return;
  if (auto* list = dynamic_cast<TKvComboBox*>(master))
    list->AddRelated(R.ItemIndex, control, R.Inverse);
  else if (auto* imageList = dynamic_cast<TKvComboBoxEx*>(master))
    imageList->AddRelated(R.ItemIndex, control, R.Inverse);
}

void TKvDestEngineUIPanel::OwnColorSelectClick(int ASection) {
  auto* box = dynamic_cast<TKvColorBox*>(ControlOf(OwnControl(ASection)));
  if (!box) return;
  uint32_t color = box->GetColor();
  if (!ColorChooser || !ColorChooser(this, color)) return;
  if ((color & 0xFFFFFF) == (box->GetColor() & 0xFFFFFF)) return;
  box->SetColor(color);
  PaletteControlChanged(box);
}

// ---- links ----

void TKvDestEngineUIPanel::SetSource(TKvSource* ASource) {
  if (ASource == FSource) return;
  if (FSource) FSource->RemoveClient(this);
  FSource = ASource;
  if (FSource) FSource->AddClient(this);
}

void TKvDestEngineUIPanel::SetDest(TKvDest* ADest) {
  if (ADest == FDest) return;
  if (FDest) FDest->RemoveClient(this);
  FDest = ADest;
  if (FDest) FDest->AddClient(this);
  HandOutDest();
}

void TKvDestEngineUIPanel::HandOutDest() {
  for (QWidget* LChild : findChildren<QWidget*>())
    if (IKvWantDest* LWant = dynamic_cast<IKvWantDest*>(LChild)) LWant->SetDest(FDest);
}

// ---- change handling ----

void TKvDestEngineUIPanel::EndUpdate() {
  if (--FUpdateCount == 0) ControlChanged(nullptr);
}

void TKvDestEngineUIPanel::ControlChanged(QObject*) {
  if (FUpdateCount > 0 || !FOptions) return;
  FOptions->BeginUpdate();
  try {
    StoreOptions();
  } catch (...) {
    FOptions->EndUpdate();
    throw;
  }
  FOptions->EndUpdate();
  if (FixedPaletteCombo) {
    FixedPaletteCombo->PaletteUsage = FOptions->PaletteUsage;
    FixedPaletteCombo->SetSourcePalette(FOptions->GetHardwarePalette());
    FOptions->SetFixedPalette(FixedPaletteCombo->GetPalette());
  }
  UpdateControls();
  CheckOptions();
  if (FOptions->Modified) ApplyOptions();
}

void TKvDestEngineUIPanel::PaletteControlChanged(QObject* ASender) {
  ControlChanged(ASender);
  if (FResultStrip && FOptions) FResultStrip->SetPalette(FOptions->GetPalette());
  if (PaletteIndexLabel) PaletteIndexLabel->SetCaption(QString());
}

void TKvDestEngineUIPanel::StoreOptions() {
  if (FDescription) FDescription->StoreOptions(*this);
}

void TKvDestEngineUIPanel::CheckOptions() {
  if (FDescription) FDescription->CheckOptions(*this);
}

void TKvDestEngineUIPanel::UpdateControls() {
  if (ModeCombo) ModeCombo->UpdateEditButton();
  if (FixedPaletteCombo && FOptions) {
    TKvPalette* LHardware = FOptions->HardwarePalette.get();
    const bool LEnabled = LHardware && LHardware->GetCount() > 0;
    FixedPaletteLabel->setEnabled(LEnabled);
    FixedPaletteCombo->setEnabled(LEnabled);
    if (FixedPalette) FixedPalette->setEnabled(LEnabled);
  }
}

void TKvDestEngineUIPanel::ApplyOptions() {
  if (!FDest || !FOptions) return;
  ++ApplyCount;
  if (FDest->GetPosition() != FOptions->Position || !(FDest->GetPixelAspect() == FOptions->GetPixelAspectRatio()))
    FDest->DropFitted();
  FDest->Invalidate(false);
}

void TKvDestEngineUIPanel::SourceChanged(TBitmap32* APicture, TKvPalette256*, TKvPalette256*) {
  if (APicture) UpdateDimensionFromSource(APicture->GetWidth(), APicture->GetHeight());
}

void TKvDestEngineUIPanel::UpdateDimensionFromSource(int AWidth, int AHeight) {
  if (!FOptions) return;
  if (LockCheckBox && LockCheckBox->isChecked() && WidthEdit && HeightEdit && WidthEdit->GetValue() > 0 &&
      HeightEdit->GetValue() > 0)
    return;
  BeginUpdate();
  try {
    const TKvSize LSize = SourceResultSize(*FOptions, AWidth, AHeight);
    const int w = LSize.Width, h = LSize.Height;
    if (WidthEdit) {
      WidthEdit->DefaultValue = w;
      WidthEdit->SetValue(w);
    }
    if (HeightEdit) {
      HeightEdit->DefaultValue = h;
      HeightEdit->SetValue(h);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TKvDestEngineUIPanel::NativeDimensionClick(QObject* ASender) {
  TBitmap32* LPicture = FSource ? FSource->GetPicture() : nullptr;
  if (NativeSizeShown && LPicture) {
    if (WidthEdit) WidthEdit->SetValue(LPicture->GetWidth());
    if (HeightEdit) HeightEdit->SetValue(LPicture->GetHeight());
    if (AspectCombo) AspectCombo->SetAspectRatio(10);
    NativeSizeShown = false;
    if (NativeButton) NativeButton->setText("&Native dimension");
  } else {
    const TKvSize LSize = FOptions->GetDefaultSize();
    if (WidthEdit) WidthEdit->SetValue(LSize.Width);
    if (HeightEdit) HeightEdit->SetValue(LSize.Height);
    if (AspectCombo) AspectCombo->SetAspectRatio(FOptions->NativePixelAspect);
    if (LPicture) {
      NativeSizeShown = true;
      if (NativeButton) NativeButton->setText("&Image dimension");
    }
  }
  ControlChanged(ASender);
}

void TKvDestEngineUIPanel::BorderColorSelectClick(QObject* ASender) {
  if (!BorderColorBox) return;
  uint32_t LColor = BorderColorBox->GetColor();
  if (!ColorChooser || !ColorChooser(this, LColor)) return;
  BorderColorBox->SetColor(LColor);
  if (FDest) FDest->SetBorderColor(static_cast<int32_t>(SwapRB(LColor)));
  ControlChanged(ASender);
}

void TKvDestEngineUIPanel::EditPalette(TKvPalette* APalette, int AColumns) {
  if (!APalette || APalette->GetCount() < 1) return;
  auto LForm = noxCreateForm<TCustomForm>(APalette, AColumns);
  LForm->Execute(FDest);
}

void TKvDestEngineUIPanel::EditButtonClick(QObject*) {
  // The description fills the palette to edit and names its columns; the
  // base leaves it empty, which opens nothing.
  TKvPalette256 LPalette;
  int LColumns = 0;
  if (!FDescription) return;
  TKvPalette* LEdited = FDescription->GetEditedPalette(LPalette, LColumns);
  FDescription->EditPalette(*this, LEdited, LColumns);
}

// ---- sections outside the description ----

void TKvDestEngineUIPanel::AddSection(const TKvPanelSection& ASection) { BuildSection(ASection, -1); }

void TKvDestEngineUIPanel::AddDimensionSection(bool ANativeButton) {
  AddSection({.Kind = TKvPanelSectionKind::Dimension, .Flag = ANativeButton});
}

void TKvDestEngineUIPanel::AddPositionSection(TKvPixelAspectSet AAspects) {
  AddSection({.Kind = TKvPanelSectionKind::Position, .Set = AAspects.Bits});
}

void TKvDestEngineUIPanel::AddPaletteUsageSection(TKvPaletteUsageSet AUsages) {
  AddSection({.Kind = TKvPanelSectionKind::PaletteUsage, .Set = AUsages.Bits});
}

void TKvDestEngineUIPanel::AddPaletteModeSection(TKvPaletteModeSet AModes) {
  AddSection({.Kind = TKvPanelSectionKind::PaletteMode, .Set = AModes.Bits});
}

void TKvDestEngineUIPanel::AddColorUsageSection(bool AForceBright) {
  AddSection({.Kind = TKvPanelSectionKind::ColorUsage, .Flag = AForceBright});
}

void TKvDestEngineUIPanel::AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange) {
  TKvHamSettingSet settings;
  if (AInitial) settings = settings | HamSettings(hsInitialLines);
  if (APrev) settings = settings | HamSettings(hsPrevLines);
  if (ANext) settings = settings | HamSettings(hsNextLines);
  if (AMaxChange) settings = settings | HamSettings(hsMaxChangeCount);
  AddSection({.Kind = TKvPanelSectionKind::Ham, .Set = settings.Bits});
}

void TKvDestEngineUIPanel::AddDitheringSection(bool ABlockLimits) {
  AddSection({.Kind = TKvPanelSectionKind::Dithering, .Flag = ABlockLimits});
}

void TKvDestEngineUIPanel::AddStyleSection() { AddSection({.Kind = TKvPanelSectionKind::Style}); }

std::vector<TKvPanelGlyph> TKvDestEngineUIPanel::ResolveGlyphs(size_t ACount, const std::vector<TKvPanelGlyph>& AGlyphs,
                                                               const std::vector<int>* AKinds) {
  std::vector<TKvPanelGlyph> LResult(ACount);
  for (size_t i = 0; i < ACount; ++i) {
    TKvPanelGlyph& G = LResult[i];
    G.Given = true;
    if (i < AGlyphs.size() && AGlyphs[i].Given) {
      G.Colors = AGlyphs[i].Colors;
      continue;
    }
    if (!AKinds || (*AKinds)[i] < 0 || (*AKinds)[i] >= PaletteTypeCount) continue;
    // The level-table kinds are built by the colour core; the others have no
    // palette of their own outside their converter.
    std::unique_ptr<TKvPaletteRGB> LPalette;
    try {
      LPalette = TKvPaletteRGB::CreateType(static_cast<TKvPaletteType>((*AKinds)[i]), false);
    } catch (const Exception&) {
      continue;
    }
    const int LCount = std::min(LPalette->GetCount(), TKvDestEngineUIEx::MaxGlyphColors);
    for (int c = 0; c < LCount; ++c) G.Colors.push_back(LPalette->GetStdRGB(c));
  }
  return LResult;
}

void TKvDestEngineUIPanel::RefillGlyphs(int AHeight) {
  if (AHeight < 1) return;
  TKvPalette256 LPalette;
  // The image list of each box is drawn anew; the entries keep their image indexes.
  auto LFill = [&](TKvComboBoxEx* ACombo, const std::vector<TKvPanelGlyph>& AGlyphs, int AWidth) {
    if (!ACombo) return;
    std::vector<QPixmap> LImages;
    for (const TKvPanelGlyph& G : AGlyphs) {
      LPalette.Clear();
      for (const TKvStdRGBColor& C : G.Colors) LPalette.AddStdRGB(C);
      QImage LImage(AWidth, AHeight, QImage::Format_RGB32);
      QImage LMask(AWidth, AHeight, QImage::Format_RGB32);
      DrawPaletteGlyph(&LPalette, LImage, LMask);
      LImages.push_back(QPixmap::fromImage(MaskedGlyph(LImage, LMask)));
    }
    ACombo->SetImages(LImages, QSize(AWidth, AHeight));
  };
  LFill(CustomPaletteComboEx, FKindGlyphs, 4 * AHeight);
  LFill(PaletteIndexCombo, FIndexGlyphs, 4 * AHeight);
  LFill(BorderIndexCombo, FBorderGlyphs, AHeight + 3);
}

namespace {

// Both ends included; pixels outside the image are skipped.
void GlyphLine(QImage& AImage, int AX0, int AY0, int AX1, int AY1, QRgb AColor) {
  const int dx = std::abs(AX1 - AX0), sx = AX0 < AX1 ? 1 : -1;
  const int dy = -std::abs(AY1 - AY0), sy = AY0 < AY1 ? 1 : -1;
  int LError = dx + dy;
  for (;;) {
    if (AImage.valid(AX0, AY0)) AImage.setPixel(AX0, AY0, AColor);
    if (AX0 == AX1 && AY0 == AY1) break;
    const int e2 = 2 * LError;
    if (e2 >= dy) {
      LError += dy;
      AX0 += sx;
    }
    if (e2 <= dx) {
      LError += dx;
      AY0 += sy;
    }
  }
}

// The rectangle [ALeft, ARight) x [ATop, ABottom), clipped to the image.
void GlyphFill(QImage& AImage, int ALeft, int ATop, int ARight, int ABottom, QRgb AColor) {
  ALeft = std::max(ALeft, 0);
  ATop = std::max(ATop, 0);
  ARight = std::min(ARight, AImage.width());
  ABottom = std::min(ABottom, AImage.height());
  for (int y = ATop; y < ABottom; ++y)
    for (int x = ALeft; x < ARight; ++x) AImage.setPixel(x, y, AColor);
}

}  // namespace

void TKvDestEngineUIPanel::DrawPaletteGlyph(const TKvPalette* APalette, QImage& AImage, QImage& AMask) {
  const int W = AImage.width(), H = AImage.height();
  if (W > 0 && H > 0) {
    const QPalette LSystem = QGuiApplication::palette();
    const QRgb LWindow = LSystem.color(QPalette::Active, QPalette::Base).rgb();
    const QRgb LGrayText = LSystem.color(QPalette::Disabled, QPalette::Text).rgb();
    const int s = H - 1;
    GlyphFill(AImage, 0, 0, W, H, LWindow);
    GlyphFill(AImage, 3, 0, W, H, qRgb(255, 255, 255));
    GlyphLine(AImage, 3, 0, W - 1, 0, LGrayText);
    GlyphLine(AImage, W - 1, 0, W - 1, H - 1, LGrayText);
    GlyphLine(AImage, W - 1, H - 1, 3, H - 1, LGrayText);
    GlyphLine(AImage, 3, H - 1, 3, 0, LGrayText);
    const int LCells = W / H;
    for (int k = 1; k <= LCells; ++k) GlyphLine(AImage, 3 + s * k, 0, 3 + s * k, H - 1, LGrayText);
    const int LCount = APalette ? APalette->GetCount() : 0;
    for (int i = 0; i <= LCells; ++i) {
      const int x = 3 + s * i;
      if (i < LCount) {
        const TKvStdRGBColor C = APalette->GetStdRGB(i);
        GlyphFill(AImage, x + 1, 1, x + s, s, qRgb(C.R, C.G, C.B));
      } else {
        GlyphLine(AImage, x, 0, x + s, s, LGrayText);
        GlyphLine(AImage, x + s, 0, x, s, LGrayText);
      }
    }
  }
  if (AMask.width() > 0 && AMask.height() > 0) {
    GlyphFill(AMask, 0, 0, AMask.width(), AMask.height(), qRgb(255, 255, 255));
    GlyphFill(AMask, 3, 0, AMask.width(), AMask.height(), qRgb(0, 0, 0));
  }
}

QImage TKvDestEngineUIPanel::MaskedGlyph(const QImage& AImage, const QImage& AMask) {
  QImage LResult = AImage.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < LResult.height(); ++y)
    for (int x = 0; x < LResult.width(); ++x)
      if (AMask.valid(x, y) && qRed(AMask.pixel(x, y)) >= 128) LResult.setPixel(x, y, 0);
  return LResult;
}

// ---- layout ----

int TKvDestEngineUIPanel::GetCaptionWidth() const {
  int LWidth = 0;
  for (TKvLabel* L : FCaptionLabels) LWidth = std::max(LWidth, L->width());
  return LWidth;
}

void TKvDestEngineUIPanel::ResizeControls(TnoxShellUI& UI) {
  FShellUI = &UI;
  // The glyphs first: the image combo boxes take their height from them.
  RefillGlyphs(UI.LinesToHeight(1) - 2);
  for (TKvLabel* L : FCaptionLabels) L->AdjustBounds();
  // A list is never narrower than its longest entry with its glyph needs.
  auto LComboWidth = [](QComboBox* K, int AWidth) {
    return std::max({AWidth, K->sizeHint().width(), K->minimumSizeHint().width()});
  };
  for (QWidget* W : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (auto* E = dynamic_cast<TKvIntEdit*>(W)) {
      UI.AutoSizeEditHeight(E);
      E->resize(UI.CharsToWidth(6), E->height());
    } else if (auto* B = dynamic_cast<TKvButton*>(W)) {
      UI.AutoSizeButton(B);
    } else if (auto* C = dynamic_cast<TKvCheckBox*>(W)) {
      UI.AutoSizeCheckBox(C);
    } else if (auto* T = dynamic_cast<TKvTrackBar*>(W)) {
      T->resize(UI.CharsToWidth(25), T->height());
      T->ApplyMetrics(UI);
    } else if (auto* K = dynamic_cast<TKvComboBox*>(W)) {
      K->resize(LComboWidth(K, K == ColorUsageCombo ? UI.CharsToWidth(30) : UI.CharsToWidth(25)),
                K->sizeHint().height());
    } else if (auto* X = dynamic_cast<TKvComboBoxEx*>(W)) {
      // The palette block's image lists get their width from the arrangement.
      X->resize(LComboWidth(X, UI.CharsToWidth(25)), X->sizeHint().height());
    } else if (auto* G = dynamic_cast<TKvDestPalette*>(W)) {
      G->SetCellSize(UI.CharsToWidth(1) + 2);
    } else if (auto* S = dynamic_cast<TKvSeparator*>(W)) {
      S->AdjustBounds();
    } else if (auto* L = dynamic_cast<TKvLabel*>(W)) {
      L->AdjustBounds();
    } else if (auto* E2 = dynamic_cast<TKvEdit*>(W)) {
      UI.AutoSizeEditHeight(E2);
    }
  }
  if (BorderColorBox && BorderColorButton)
    BorderColorBox->resize(2 * BorderColorButton->height(), BorderColorButton->height());
  // Own colour boxes: twice as wide as high, as high as their button (or a button).
  for (const auto& [id, w] : FWidgets) {
    int section = 0, part = 0;
    auto* box = dynamic_cast<TKvColorBox*>(w);
    if (!box || !IsOwnControl(id, &section, &part) || part != opControl) continue;
    QWidget* button = ControlOf(OwnControl(section, opButton));
    const int height = button ? button->height() : std::max(UI.DialogUnitsY(14), UI.LinesToHeight(1));
    box->resize(2 * height, height);
  }
  if (FDescription) FDescription->ResizeControls(*this);
}

void TKvDestEngineUIPanel::ArrangeControls(TnoxShellUI& UI, int& ATop) {
  FShellUI = &UI;
  for (TRow& R : FRows) R.Arranged = false;
  if (FDescription) {
    FDescription->ArrangeControls(*this, ATop);
  } else {
    FControlLeft = UI.MarginX + GetCaptionWidth() + UI.LabelSpacingY;
    ATop = 0;
  }
  // Rows added to the panel directly, outside its description, come last.
  // (A row of the description that the converter placed itself stays put.)
  for (TRow& R : FRows)
    if (!R.Arranged && R.Section < 0) ArrangeRow(R, ATop);
}

int TKvDestEngineUIPanel::GetRequiredWidth() const {
  if (!FShellUI) return 0;
  const TnoxShellUI& UI = *FShellUI;
  const int LControlLeft = UI.MarginX + GetCaptionWidth() + UI.LabelSpacingY;
  int LRight = 0;
  for (const TRow& R : FRows) {
    QWidget* C = R.Control;
    int x = R.FullWidth ? UI.MarginX : LControlLeft;
    // A stretched row takes the panel's width; only a list in it has a minimum.
    x += R.Stretch ? (qobject_cast<QComboBox*>(C) ? C->sizeHint().width() : 0) : C->width();
    if (auto* T = dynamic_cast<TKvTrackBar*>(C))
      if (T->GetEdit()) x += UI.RelatedSpacingX + T->GetEdit()->width();
    for (const TAfter& A : R.After) x += Gap(UI, A.Gap) + A.Control->width();
    LRight = std::max(LRight, x);
  }
  return LRight + UI.MarginX;
}

void TKvDestEngineUIPanel::ArrangeSection(int ASection, int& ATop) {
  if (!FDescription || !FShellUI) return;
  const std::vector<TKvPanelSection>& LSections = FDescription->GetSections();
  if (ASection < 0 || ASection >= static_cast<int>(LSections.size())) return;
  if (IsPaletteKind(LSections[static_cast<size_t>(ASection)].Kind)) {
    // The first palette section lays out the whole palette block in its
    // fixed order; the later ones have nothing left to place.
    for (int i = 0; i < ASection; ++i)
      if (IsPaletteKind(LSections[static_cast<size_t>(i)].Kind)) return;
    std::vector<TRow*> LBlock;
    for (TRow& R : FRows)
      if (R.PaletteSlot >= 0) LBlock.push_back(&R);
    std::stable_sort(LBlock.begin(), LBlock.end(),
                     [](const TRow* A, const TRow* B) { return A->PaletteSlot < B->PaletteSlot; });
    for (TRow* R : LBlock) ArrangeRow(*R, ATop);
    return;
  }
  for (TRow& R : FRows)
    if (R.Section == ASection && R.PaletteSlot < 0) ArrangeRow(R, ATop);
}

void TKvDestEngineUIPanel::ArrangeRow(TRow& R, int& ATop) {
  R.Arranged = true;
  TnoxShellUI& UI = *FShellUI;
  const int LRight = width() - UI.MarginX;
  QWidget* C = R.Control;
  int LHeight = C->height();
  for (const TAfter& A : R.After) LHeight = std::max(LHeight, A.Control->height());
  const int LLeft = R.FullWidth ? UI.MarginX : FControlLeft;
  int LWidth = C->width();
  if (R.Stretch) LWidth = std::max(10, LRight - LLeft);
  C->setGeometry(LLeft, ATop + (LHeight - C->height()) / 2, LWidth, C->height());
  int x = LLeft + LWidth;
  for (const TAfter& A : R.After) {
    x += Gap(UI, A.Gap);
    A.Control->move(x, ATop + (LHeight - A.Control->height()) / 2);
    x += A.Control->width();
  }
  if (R.Caption) {
    // The caption is lined up with its control the way the control's kind asks.
    R.Caption->move(UI.MarginX, ATop);
    if (!R.After.empty() && dynamic_cast<TKvColorBox*>(C))
      UI.CenterVertically(R.After.front().Control, R.Caption);
    else if (auto* K = qobject_cast<QComboBox*>(C))
      UI.CenterOnComboBox(R.Caption, K);
    else if (qobject_cast<QLineEdit*>(C))
      UI.AlignToClientTop(R.Caption, C);
    else
      UI.CenterVertically(C, R.Caption);
  }
  if (TimesLabel && C == WidthEdit) UI.AlignToClientTop(TimesLabel, WidthEdit);
  if (auto* T = dynamic_cast<TKvTrackBar*>(C)) T->PlaceEdit();
  ATop += LHeight + (R.RelatedBelow ? UI.RelatedSpacingY : UI.UnrelatedSpacingY);
}

// ---- the controls as the description's hooks see them ----

bool TKvDestEngineUIPanel::GetEnabled(TKvControlId AId) const {
  QWidget* W = ControlOf(AId);
  return W && W->isEnabledTo(const_cast<TKvDestEngineUIPanel*>(this));
}

void TKvDestEngineUIPanel::SetEnabled(TKvControlId AId, bool AEnabled) {
  if (QWidget* W = ControlOf(AId)) W->setEnabled(AEnabled);
}

bool TKvDestEngineUIPanel::GetVisible(TKvControlId AId) const {
  QWidget* W = ControlOf(AId);
  return W && !W->isHidden();
}

void TKvDestEngineUIPanel::SetVisible(TKvControlId AId, bool AVisible) {
  if (QWidget* W = ControlOf(AId)) W->setVisible(AVisible);
}

int TKvDestEngineUIPanel::GetItemIndex(TKvControlId AId) const {
  auto* K = qobject_cast<QComboBox*>(ControlOf(AId));
  return K ? K->currentIndex() : -1;
}

void TKvDestEngineUIPanel::SetItemIndex(TKvControlId AId, int AIndex) {
  QWidget* W = ControlOf(AId);
  // Set from code: no change event, but the related controls follow.
  if (auto* K = dynamic_cast<TKvComboBox*>(W)) {
    ++K->UpdateCount;
    K->setCurrentIndex(AIndex);
    --K->UpdateCount;
  } else if (auto* X = dynamic_cast<TKvComboBoxEx*>(W)) {
    ++X->UpdateCount;
    X->setCurrentIndex(AIndex);
    --X->UpdateCount;
  } else if (auto* Q = qobject_cast<QComboBox*>(W)) {
    Q->setCurrentIndex(AIndex);
  }
}

int TKvDestEngineUIPanel::GetItemCount(TKvControlId AId) const {
  auto* K = qobject_cast<QComboBox*>(ControlOf(AId));
  return K ? K->count() : 0;
}

int TKvDestEngineUIPanel::GetItemValue(TKvControlId AId) const {
  QWidget* W = ControlOf(AId);
  if (auto* P = dynamic_cast<TKvBasePaletteComboBox*>(W)) return P->GetPaletteType();
  if (auto* K = dynamic_cast<TKvComboBox*>(W))
    return K->currentIndex() < 0 ? -1 : static_cast<int>(K->GetItemObject(K->currentIndex()));
  if (auto* X = dynamic_cast<TKvComboBoxEx*>(W))
    return X->currentIndex() < 0 ? -1 : static_cast<int>(X->GetItemObject(X->currentIndex()));
  if (auto* Q = qobject_cast<QComboBox*>(W)) return Q->currentIndex();
  return -1;
}

const TKvPalette256* TKvDestEngineUIPanel::GetPalette(TKvControlId AId) const {
  auto* P = dynamic_cast<TKvBasePaletteComboBox*>(ControlOf(AId));
  return P ? P->GetPalette() : nullptr;
}

bool TKvDestEngineUIPanel::GetChecked(TKvControlId AId) const {
  auto* B = qobject_cast<QAbstractButton*>(ControlOf(AId));
  return B && B->isChecked();
}

void TKvDestEngineUIPanel::SetChecked(TKvControlId AId, bool AChecked) {
  if (auto* B = qobject_cast<QAbstractButton*>(ControlOf(AId))) B->setChecked(AChecked);
}

int TKvDestEngineUIPanel::GetValue(TKvControlId AId) const {
  QWidget* W = ControlOf(AId);
  if (auto* E = dynamic_cast<TKvIntEdit*>(W)) return E->GetValue();
  if (auto* T = dynamic_cast<TKvTrackBar*>(W)) return T->GetPosition();
  return 0;
}

void TKvDestEngineUIPanel::SetValue(TKvControlId AId, int AValue) {
  QWidget* W = ControlOf(AId);
  if (auto* E = dynamic_cast<TKvIntEdit*>(W)) {
    E->SetValue(AValue);
  } else if (auto* T = dynamic_cast<TKvTrackBar*>(W)) {
    // Set from code: the bar's change event stays quiet.
    auto LChange = std::move(T->OnChange);
    T->OnChange = nullptr;
    T->SetPosition(AValue);
    T->OnChange = std::move(LChange);
  }
}

uint32_t TKvDestEngineUIPanel::GetColor(TKvControlId AId) const {
  auto* B = dynamic_cast<TKvColorBox*>(ControlOf(AId));
  return B ? SwapRB(B->GetColor()) & 0xFFFFFF : 0;
}

void TKvDestEngineUIPanel::SetColor(TKvControlId AId, uint32_t AColor) {
  if (auto* B = dynamic_cast<TKvColorBox*>(ControlOf(AId))) B->SetColor(SwapRB(AColor & 0xFFFFFF));
}

std::string TKvDestEngineUIPanel::GetText(TKvControlId AId) const {
  QWidget* W = ControlOf(AId);
  if (auto* E = dynamic_cast<TKvEdit*>(W)) return E->GetTrimmedText();
  if (auto* L = dynamic_cast<TLabel*>(W)) return L->GetCaption().toStdString();
  if (auto* B = qobject_cast<QAbstractButton*>(W)) return B->text().toStdString();
  return std::string();
}

void TKvDestEngineUIPanel::SetText(TKvControlId AId, const std::string& AText) {
  QWidget* W = ControlOf(AId);
  const QString LText = QString::fromStdString(AText);
  if (auto* E = dynamic_cast<TKvEdit*>(W))
    E->SetTrimmedText(AText);
  else if (auto* L = dynamic_cast<TLabel*>(W))
    L->SetCaption(LText);
  else if (auto* B = qobject_cast<QAbstractButton*>(W))
    B->setText(LText);
}

void TKvDestEngineUIPanel::SetBackground(TKvControlId AId, bool ANormal, uint32_t AColor) {
  QWidget* W = ControlOf(AId);
  if (!W) return;
  QPalette LPalette = W->parentWidget() ? W->parentWidget()->palette() : QGuiApplication::palette();
  if (!ANormal) LPalette.setColor(QPalette::Base, QColor((AColor >> 16) & 0xFF, (AColor >> 8) & 0xFF, AColor & 0xFF));
  W->setPalette(LPalette);
}

TRect TKvDestEngineUIPanel::GetBounds(TKvControlId AId) const {
  QWidget* W = ControlOf(AId);
  if (!W) return TRect{};
  const QRect R = W->geometry();
  return Rect(R.left(), R.top(), R.left() + R.width(), R.top() + R.height());
}

void TKvDestEngineUIPanel::SetBounds(TKvControlId AId, const TRect& ABounds) {
  QWidget* W = ControlOf(AId);
  if (!W) return;
  W->setGeometry(ABounds.Left, ABounds.Top, ABounds.Width(), ABounds.Height());
  if (auto* T = dynamic_cast<TKvTrackBar*>(W)) T->PlaceEdit();
}

const TnoxShellUIMetrics& TKvDestEngineUIPanel::GetMetrics() const {
  if (FShellUI) return *FShellUI;
  // Before the first layout: the metrics of the panel's own font.
  if (!FDefaultUI) FDefaultUI = std::make_unique<TnoxShellUI>(this, 96, 96);
  return *FDefaultUI;
}
