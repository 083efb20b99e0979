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

// The fixed order of the palette block, whatever order the sections came in.
enum : int {
  slSeparator,
  slOriginalColors,
  slPaletteCombo,
  slCustomPaletteCombo,
  slCustomPaletteComboEx,
  slPaletteIndexCombo,
  slBorderIndex,
  slUsage,
  slMode,
  slDestPalette,
  slMaxColorCount,
  slKeepWhole,
  slGray,
  slFixedCombo,
  slFixedGrid,
};

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
  // The children unlink themselves before the panel's links are gone.
  std::vector<QPointer<QWidget>> LChildren;
  for (QWidget* LChild : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) LChildren.emplace_back(LChild);
  for (QPointer<QWidget>& LChild : LChildren) delete LChild.data();
  if (HasPaletteList()) PaletteList().RemoveGenerated();
}

void TKvDestEngineUIPanel::BuildFromDescription() {
  const std::vector<TKvPanelSection>& LSections = FDescription->GetSections();
  for (size_t i = 0; i < LSections.size(); ++i) {
    const TKvPanelSection& S = LSections[i];
    FCurrentSection = static_cast<int>(i);
    switch (S.Kind) {
      case TKvPanelSectionKind::Dimension: AddDimensionSection(S.Flag); break;
      case TKvPanelSectionKind::Position: AddPositionSection(S.Set); break;
      case TKvPanelSectionKind::PaletteSeparator: AddPaletteSeparator(); break;
      case TKvPanelSectionKind::PaletteLabel: AddPaletteLabel(); break;
      case TKvPanelSectionKind::OriginalColorsCheckBox: AddOriginalColorsCheckBox(); break;
      case TKvPanelSectionKind::DestPalette: {
        TKvDestPalette* LGrid = AddDestPalette(S.Columns, S.Rows, S.Flag);
        LGrid->ReadOnly = S.ReadOnly;
        break;
      }
      case TKvPanelSectionKind::OptimizedPalette: AddOptimizedPaletteSection(); break;
      case TKvPanelSectionKind::Dithering: AddDitheringSection(S.Flag); break;
      case TKvPanelSectionKind::CustomPaletteComboBox: AddCustomPaletteComboBox(S.Items); break;
      case TKvPanelSectionKind::CustomPaletteComboBoxEx:
        AddCustomPaletteComboBoxEx(S.Items, S.Captions, S.Glyphs);
        break;
      case TKvPanelSectionKind::PaletteIndexComboBoxEx: AddPaletteIndexComboBoxEx(S.Captions, S.Glyphs); break;
      case TKvPanelSectionKind::BorderColorComboBoxEx: AddBorderColorComboBoxEx(S.Captions, S.Glyphs); break;
      case TKvPanelSectionKind::PaletteUsage: AddPaletteUsageSection(static_cast<uint8_t>(S.Set)); break;
      case TKvPanelSectionKind::PaletteMode: AddPaletteModeSection(S.Set); break;
      case TKvPanelSectionKind::MaxColorCount: AddMaxColorCountSection(S.Min, S.Max); break;
      case TKvPanelSectionKind::PaletteIndexLabel: AddPaletteIndexLabel(); break;
      case TKvPanelSectionKind::GrayPaletteCheckBox: AddGrayPaletteCheckBox(); break;
      case TKvPanelSectionKind::FixedPalette:
        // A list class of the converter's own: the description filters the palettes.
        AddFixedPaletteSectionEx(S.Caption == "TKvFixedPaletteComboBox"
                                     ? new TKvFixedPaletteComboBox(this)
                                     : new TKvDescribedFixedPaletteComboBox(this, FDescription),
                                 S.Columns, S.Rows);
        break;
      case TKvPanelSectionKind::ZxPalette: AddZxPaletteSection(S.Set); break;
      case TKvPanelSectionKind::ZxGigaScreenPalette: AddZxGigaScreenPaletteSection(S.Flag, S.Set); break;
      case TKvPanelSectionKind::ColorUsage: AddColorUsageSection(S.Flag); break;
      case TKvPanelSectionKind::Calculation: AddCalculationSection(); break;
      case TKvPanelSectionKind::MaxFlickering: AddMaxFlickeringSection(); break;
      case TKvPanelSectionKind::Style: AddStyleSection(); break;
      case TKvPanelSectionKind::SafeModeCheckBox: AddSafeModeCheckBox(); break;
      case TKvPanelSectionKind::Ham: AddHamSection(S.Set & 1, S.Set & 2, S.Set & 4, S.Set & 8); break;
      case TKvPanelSectionKind::FileFormatSeparator: AddFileFormatSeparator(); break;
      case TKvPanelSectionKind::FileFormatCheckBox: AddFileFormatCheckBox(QString::fromStdString(S.Caption)); break;
      case TKvPanelSectionKind::CommentSeparator: AddCommentSeparator(); break;
      case TKvPanelSectionKind::CommentEdit: AddCommentEdit(); break;
      default: AddOwnSection(S, static_cast<int>(i)); break;
    }
  }
  FCurrentSection = -1;
  // Related controls follow their list from now on.
  for (const TKvPanelRelated& R : FDescription->GetRelated()) {
    QWidget* LMaster = ControlOf(R.Master);
    QWidget* LControl = ControlOf(R.Control);
    if (!LMaster || !LControl) continue;
    if (auto* C = dynamic_cast<TKvComboBox*>(LMaster))
      C->AddRelated(R.ItemIndex, LControl, R.Inverse);
    else if (auto* X = dynamic_cast<TKvComboBoxEx*>(LMaster))
      X->AddRelated(R.ItemIndex, LControl, R.Inverse);
  }
}

void TKvDestEngineUIPanel::AddOwnSection(const TKvPanelSection& S, int AIndex) {
  using K = TKvPanelSectionKind;
  TOwn& O = FOwn[AIndex];
  const QString LCaption = QString::fromStdString(S.Caption);
  auto LChange = [this, APalette = S.Flag](QObject* ASender) {
    if (APalette)
      PaletteControlChanged(ASender);
    else
      ControlChanged(ASender);
  };
  switch (S.Kind) {
    case K::OwnComboBox: {
      auto* C = new TKvComboBox(this);
      for (size_t k = 0; k < S.Captions.size(); ++k)
        C->AddItemObject(QString::fromStdString(S.Captions[k]), k < S.Items.size() ? S.Items[k] : int(k));
      C->setMaxVisibleItems(std::max(1, C->count()));
      C->setCurrentIndex(S.Value >= 0 && S.Value < C->count() ? S.Value : -1);
      C->OnChange = LChange;
      O.Control = C;
      break;
    }
    case K::OwnCheckBox: {
      auto* C = AddCheckBox(LCaption, S.Value != 0, S.Flag);
      O.Control = C;
      return;
    }
    case K::OwnTrackBar: O.Control = AddTrackBar(S.Min, S.Max, S.Default, S.Value, S.Flag); break;
    case K::OwnIntEdit: {
      auto* E = new TKvIntEdit(this, S.Min, S.Max);
      E->DefaultValue = S.Default;
      E->SetValue(S.Value);
      E->OnChange = [this](QObject* ASender) { ControlChanged(ASender); };
      O.Control = E;
      break;
    }
    case K::OwnColorBox: {
      auto* B = new TKvColorBox(this);
      B->SetColor(SwapRB(static_cast<uint32_t>(S.Value)));
      O.Control = B;
      if (!S.ButtonCaption.empty()) {
        O.Button = new TKvButton(this, QString::fromStdString(S.ButtonCaption));
        O.Button->OnClick = [this, AIndex](QObject*) { OwnColorSelectClick(AIndex); };
      }
      break;
    }
    case K::OwnButton: {
      auto* B = new TKvButton(this, QString::fromStdString(S.ButtonCaption));
      B->OnClick = [this, AIndex](QObject*) {
        if (FDescription) FDescription->ButtonClick(*this, AIndex);
      };
      O.Control = B;
      AddRow(TRow{nullptr, B});
      return;
    }
    case K::OwnLabel: {
      auto* L = new TKvLabel(this);
      L->SetCaption(LCaption);
      O.Control = L;
      AddRow(TRow{nullptr, L, {}, false, true});
      return;
    }
    case K::OwnSeparator: {
      auto* L = new TKvSeparator(this);
      L->SetCaption(LCaption);
      O.Control = L;
      AddRow(TRow{nullptr, L, {}, true, true});
      return;
    }
    default: return;
  }
  if (!S.Caption.empty()) O.Caption = AddCaption(LCaption, S.Kind == K::OwnColorBox ? nullptr : O.Control);
  TRow LRow{O.Caption, O.Control};
  if (O.Button) {
    LRow.After.push_back(O.Button);
    LRow.RelatedAfter = true;
  }
  AddRow(LRow);
}

void TKvDestEngineUIPanel::OwnColorSelectClick(int ASection) {
  const auto It = FOwn.find(ASection);
  if (It == FOwn.end()) return;
  auto* LBox = dynamic_cast<TKvColorBox*>(It->second.Control);
  if (!LBox) return;
  uint32_t LColor = LBox->GetColor();
  if (!ColorChooser || !ColorChooser(this, LColor)) return;
  if ((LColor & 0xFFFFFF) == (LBox->GetColor() & 0xFFFFFF)) return;
  LBox->SetColor(LColor);
  PaletteControlChanged(LBox);
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

// ---- sections ----

TKvLabel* TKvDestEngineUIPanel::AddCaption(const QString& ACaption, QWidget* AFocus) {
  auto* L = new TKvLabel(this);
  L->SetCaption(ACaption);
  if (AFocus) L->SetFocusControl(AFocus);
  FCaptionLabels.push_back(L);
  return L;
}

TKvCheckBox* TKvDestEngineUIPanel::AddCheckBox(const QString& ACaption, bool AChecked, bool APaletteTarget) {
  auto* C = new TKvCheckBox(this, ACaption);
  C->setChecked(AChecked);
  if (APaletteTarget)
    C->OnClick = [this](QObject* S) { PaletteControlChanged(S); };
  else
    C->OnClick = [this](QObject* S) { ControlChanged(S); };
  AddRow(TRow{nullptr, C, {}, false, true});
  return C;
}

TKvTrackBar* TKvDestEngineUIPanel::AddTrackBar(int AMin, int AMax, int ADefault, int APosition, bool APaletteTarget) {
  auto* B = new TKvTrackBar(this, ADefault);
  B->SetRange(AMin, AMax);
  B->SetPosition(APosition);
  if (APaletteTarget)
    B->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  else
    B->OnChange = [this](QObject* S) { ControlChanged(S); };
  return B;
}

void TKvDestEngineUIPanel::AddDimensionSection(bool ANativeButton) {
  const TKvSize LMin = FOptions->GetMinSize(), LMax = FOptions->GetMaxSize();
  WidthEdit = new TKvIntEdit(this, LMin.Width, LMax.Width);
  WidthEdit->SetValue(FOptions->GetWidth());
  WidthEdit->OnChange = [this](QObject* S) { ControlChanged(S); };
  DimensionLabel = AddCaption("&Dimension:", WidthEdit);
  TimesLabel = new TKvLabel(this);
  TimesLabel->SetCaption(" x ");
  HeightEdit = new TKvIntEdit(this, LMin.Height, LMax.Height);
  HeightEdit->SetValue(FOptions->GetHeight());
  HeightEdit->OnChange = [this](QObject* S) { ControlChanged(S); };
  TRow LRow{DimensionLabel, WidthEdit, {TimesLabel, HeightEdit}};
  if (ANativeButton) {
    NativeButton = new TKvButton(this, "&Native dimension");
    NativeButton->OnClick = [this](QObject* S) { NativeDimensionClick(S); };
    LRow.After.push_back(NativeButton);
  }
  LockCheckBox = new TKvCheckBox(this, "Lock");
  LockCheckBox->OnClick = [this](QObject* S) { ControlChanged(S); };
  LRow.After.push_back(LockCheckBox);
  AddRow(LRow);
}

void TKvDestEngineUIPanel::AddPositionSection(uint32_t AAspectSet) {
  PositionCombo = new TKvComboBox(this);
  for (const char* LName : {"Fit source in result", "Fit result in source", "Stretched", "Centred"})
    PositionCombo->addItem(LName);
  PositionCombo->setCurrentIndex(FOptions->Position);
  PositionCombo->OnChange = [this](QObject* S) { ControlChanged(S); };
  PositionLabel = AddCaption("P&osition:", PositionCombo);
  AddRow(TRow{PositionLabel, PositionCombo});

  uint32_t LSet = AAspectSet;
  if (LSet == 0) {
    switch (FOptions->PixelAspect) {
      case 2: LSet = 1u << 1; break;
      case 18: LSet = 1u << 17; break;
      case 21: LSet = 1u << 20; break;
      default: break;
    }
  }
  LSet |= (1u << 10) | (1u << FOptions->PixelAspect);
  if (LSet != (1u << 10)) {
    AspectCombo = new TKvPixelAspectRatioComboBox(this);
    for (int c = 0; c < PixelAspectCount; ++c)
      if (LSet & (1u << c)) AspectCombo->AddAspectRatio(static_cast<uint8_t>(c));
    AspectCombo->SetAspectRatio(FOptions->PixelAspect);
    AspectCombo->OnChange = [this](QObject* S) { ControlChanged(S); };
    AspectLabel = AddCaption("Pixel aspect &ratio:", AspectCombo);
    AddRow(TRow{AspectLabel, AspectCombo});
  }
  BorderColorBox = new TKvColorBox(this);
  BorderColorBox->SetColor(SwapRB(static_cast<uint32_t>(FOptions->BorderColor)));
  BorderColorButton = new TKvButton(this, "Select...");
  BorderColorButton->OnClick = [this](QObject* S) { BorderColorSelectClick(S); };
  BorderColorLabel = AddCaption("&Border color:", nullptr);
  AddRow(TRow{BorderColorLabel, BorderColorBox, {BorderColorButton}});
}

void TKvDestEngineUIPanel::AddPaletteSeparator() {
  PaletteSeparator = new TKvSeparator(this);
  PaletteSeparator->SetCaption("Palette");
  AddRow(TRow{nullptr, PaletteSeparator, {}, true, true}, slSeparator);
}

void TKvDestEngineUIPanel::AddPaletteLabel() {
  if (!PaletteLabel) PaletteLabel = AddCaption("P&alette:", nullptr);
}

void TKvDestEngineUIPanel::AddOriginalColorsCheckBox() {
  OriginalColorsCheckBox = AddCheckBox("Use only original colors", FOptions->UseOnlyOriginalColors, false);
  FRows.back().PaletteSlot = slOriginalColors;
}

TKvDestPalette* TKvDestEngineUIPanel::AddDestPalette(int AColumns, int ARows, bool ANoDrop) {
  DestPalette = new TKvDestPalette(this);
  DestPalette->SetColCount(AColumns);
  DestPalette->SetRowCount(ARows);
  DestPalette->DropRefused = ANoDrop;
  DestPalette->SetPalette(FOptions->GetPalette());
  FResultStrip = DestPalette;
  // The palette caption goes with the grid only in a panel without a palette
  // list (a list added later takes it back).
  TKvLabel* LCaption = nullptr;
  if (PaletteLabel && !PaletteListControl() && !ModeCombo) LCaption = PaletteLabel;
  AddRow(TRow{LCaption, DestPalette}, slDestPalette);
  return DestPalette;
}

void TKvDestEngineUIPanel::AddMaxColorCountSection(int AMin, int AMax) {
  MaxColorCountEdit = new TKvIntEdit(this, AMin, AMax);
  MaxColorCountEdit->DefaultValue = AMax;
  MaxColorCountEdit->EmptyThreshold = 0;
  MaxColorCountEdit->SetValue(FOptions->MaxColorCount);
  MaxColorCountEdit->OnChange = [this](QObject* S) { ControlChanged(S); };
  MaxColorCountLabel = AddCaption("Max color &count:", MaxColorCountEdit);
  AddRow(TRow{MaxColorCountLabel, MaxColorCountEdit}, slMaxColorCount);
}

void TKvDestEngineUIPanel::AddGrayPaletteCheckBox() {
  GrayPaletteCheckBox = AddCheckBox("Use as &gray palette", FOptions->UseAsGrayPalette, true);
  FRows.back().PaletteSlot = slGray;
}

void TKvDestEngineUIPanel::AddFixedPaletteSection(int AColumns, int ARows) {
  AddFixedPaletteSectionEx(new TKvFixedPaletteComboBox(this), AColumns, ARows);
}

void TKvDestEngineUIPanel::AddFixedPaletteSectionEx(TKvFixedPaletteComboBox* ACombo, int AColumns, int ARows) {
  FixedPaletteCombo = ACombo;
  FixedPaletteCombo->OnChange = [this](QObject* S) { ControlChanged(S); };
  FixedPaletteLabel = AddCaption("&Fixed palette:", FixedPaletteCombo);
  FixedPalette = new TKvDestPalette(this);
  FixedPalette->SetColCount(AColumns);
  FixedPalette->SetRowCount(ARows);
  FixedPalette->FollowResult = false;
  FixedPalette->SetPaletteCombo(FixedPaletteCombo);
  FixedPaletteCombo->SetSourcePalette(FOptions->GetHardwarePalette());
  FixedPaletteCombo->SetLinkedPalette(FixedPalette);
  AddRow(TRow{FixedPaletteLabel, FixedPaletteCombo, {}, true}, slFixedCombo);
  AddRow(TRow{nullptr, FixedPalette}, slFixedGrid);
}

void TKvDestEngineUIPanel::AddOptimizedPaletteSection() {
  AddPaletteSeparator();
  AddPaletteLabel();
  PaletteCombo = new TKvPaletteComboBox(this);
  PaletteCombo->FillItems();
  PaletteCombo->setCurrentIndex(0);
  PaletteCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  PaletteLabel->SetFocusControl(PaletteCombo);
  AddRow(TRow{PaletteLabel, PaletteCombo}, slPaletteCombo);
  TKvDestPalette* LGrid = AddDestPalette(16, 16, false);
  LGrid->SetPaletteCombo(PaletteCombo);
  MaxColorCountEdit = new TKvIntEdit(this, 0, 256);
  MaxColorCountEdit->EmptyThreshold = 1;
  MaxColorCountEdit->DefaultValue = 0;
  MaxColorCountEdit->SetValue(FOptions->MaxColorCount);
  MaxColorCountEdit->OnChange = [this](QObject* S) { ControlChanged(S); };
  MaxColorCountLabel = AddCaption("Max color &count:", MaxColorCountEdit);
  AddRow(TRow{MaxColorCountLabel, MaxColorCountEdit}, slMaxColorCount);
  KeepWholePaletteCheckBox = AddCheckBox("Keep &whole palette in output file", FOptions->KeepWholePalette, false);
  FRows.back().PaletteSlot = slKeepWhole;
  AddGrayPaletteCheckBox();
  AddFixedPaletteSection(16, 1);
}

void TKvDestEngineUIPanel::AddPaletteUsageSection(uint8_t AUsageSet) {
  UsageCombo = new TKvPaletteUgaseComboBox(this);
  for (uint8_t u = 0; u < PaletteUsageCount; ++u)
    if (AUsageSet & (1u << u)) UsageCombo->AddUsage(u);
  if (AUsageSet) UsageCombo->SetUsage(FOptions->PaletteUsage);
  UsageCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  UsageLabel = AddCaption("&Usage:", UsageCombo);
  AddRow(TRow{UsageLabel, UsageCombo}, slUsage);
}

void TKvDestEngineUIPanel::AddPaletteModeSection(uint32_t AModeSet) {
  ModeCombo = new TKvPaletteModeComboBox(this);
  ModeCombo->CanEditPalette = [this] { return CanEditPalette(); };
  for (uint8_t m = 0; m < PaletteModeCount; ++m)
    if (AModeSet & (1u << m)) ModeCombo->AddMode(m);
  if (AModeSet) ModeCombo->SetMode(FOptions->PaletteMode);
  ModeCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  ModeLabel = AddCaption("&Mode:", ModeCombo);
  TRow LRow{ModeLabel, ModeCombo};
  if (AModeSet & (1u << 17)) {
    EditButton = new TKvButton(this, "Edit...");
    EditButton->OnClick = [this](QObject* S) { EditButtonClick(S); };
    ModeCombo->SetEditButton(EditButton);
    LRow.After.push_back(EditButton);
  }
  AddRow(LRow, slMode);
}

void TKvDestEngineUIPanel::AddColorUsageSection(bool AForceBright) {
  ColorUsageCombo = new TKvComboBox(this);
  ColorUsageCombo->AddItemObject("Dark and bright", 0);
  ColorUsageCombo->AddItemObject("Dark only", 1);
  if (AForceBright) ColorUsageCombo->AddItemObject("Dark only but force set bright bit", 2);
  ColorUsageCombo->AddItemObject("Bright only", 3);
  // The converter's own value is shown, so the first store keeps it.
  const int LIndex = ColorUsageCombo->IndexOfObject(FOptions->ColorUsage);
  ColorUsageCombo->setCurrentIndex(LIndex >= 0 ? LIndex : 0);
  ColorUsageCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  ColorUsageLabel = AddCaption("Color &usage:", ColorUsageCombo);
  AddRow(TRow{ColorUsageLabel, ColorUsageCombo});
}

void TKvDestEngineUIPanel::AddCalculationSection() {
  CalculationCombo = new TKvComboBox(this);
  CalculationCombo->addItems({"Standard", "Linear"});
  CalculationCombo->setMaxVisibleItems(CalculationCombo->count());
  CalculationCombo->setCurrentIndex(FOptions->GigaCalculation <= 1 ? FOptions->GigaCalculation : -1);
  CalculationCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  CalculationLabel = AddCaption("&Calculation:", CalculationCombo);
  AddRow(TRow{CalculationLabel, CalculationCombo});
}

void TKvDestEngineUIPanel::AddMaxFlickeringSection() {
  MaxFlickeringBar = AddTrackBar(0, 100, 50, FOptions->MaxFlickering, true);
  MaxFlickeringLabel = AddCaption("Max &flickering:", MaxFlickeringBar);
  AddRow(TRow{MaxFlickeringLabel, MaxFlickeringBar});
}

void TKvDestEngineUIPanel::AddHamSection(bool AInitial, bool APrev, bool ANext, bool AMaxChange) {
  HamSeparator = new TKvSeparator(this);
  HamSeparator->SetCaption("HAM");
  AddRow(TRow{nullptr, HamSeparator, {}, true, true});
  auto LAdd = [&](int AIndex, const QString& ACaption, int AMin, int AMax, int APosition) {
    HamBars[AIndex] = AddTrackBar(AMin, AMax, 1, APosition, false);
    HamLabels[AIndex] = AddCaption(ACaption, HamBars[AIndex]);
    AddRow(TRow{HamLabels[AIndex], HamBars[AIndex]});
  };
  if (AInitial) LAdd(0, "Initial palette lines:", 1, 100, FOptions->HAMInitialLines);
  if (APrev) LAdd(1, ANext ? "Prev lines:" : "Extra lines:", 0, 10, FOptions->HAMPrevLines);
  if (ANext) LAdd(2, "Next lines:", 0, 10, FOptions->HAMNextLines);
  // The converter's own count is kept, and the range leaves room to raise it.
  if (AMaxChange)
    LAdd(3, "Max change count:", 1, std::max(16, FOptions->HAMMaxChangeCount), FOptions->HAMMaxChangeCount);
}

void TKvDestEngineUIPanel::AddDitheringSection(bool ABlockLimits) {
  DitheringSeparator = new TKvSeparator(this);
  DitheringSeparator->SetCaption("Dithering");
  AddRow(TRow{nullptr, DitheringSeparator, {}, true, true});
  DitherMethodCombo = new TKvComboBox(this);
  for (int i = 0; i <= 8; ++i) DitherMethodCombo->addItem(QString::fromUtf8(DitherMethodNames[i]));
  DitherMethodCombo->setMaxVisibleItems(DitherMethodCombo->count());
  DitherMethodCombo->setCurrentIndex(FOptions->DitherMethod <= 8 ? FOptions->DitherMethod : -1);
  DitherMethodCombo->OnChange = [this](QObject* S) { ControlChanged(S); };
  DitherMethodLabel = AddCaption("Me&thod:", DitherMethodCombo);
  AddRow(TRow{DitherMethodLabel, DitherMethodCombo});
  ErrorDiffusionBar = AddTrackBar(0, 100, 100, FOptions->ErrorDiffusion, false);
  ErrorDiffusionLabel = AddCaption("&Error diffusion:", ErrorDiffusionBar);
  AddRow(TRow{ErrorDiffusionLabel, ErrorDiffusionBar});
  DitherMethodCombo->AddRelated(0, ErrorDiffusionLabel, true);
  DitherMethodCombo->AddRelated(0, ErrorDiffusionBar, true);
  if (ABlockLimits) {
    LimitInsideCheckBox = AddCheckBox("Limit error inside block", FOptions->LimitErrorInsideBlock, false);
    // The two block limits belong together: only the related spacing between them.
    FRows.back().RelatedBelow = true;
    LimitBoundaryCheckBox =
        AddCheckBox("Limit error at block boundary", FOptions->LimitErrorAtBlockBoundary, false);
    DitherMethodCombo->AddRelated(0, LimitInsideCheckBox, true);
    DitherMethodCombo->AddRelated(0, LimitBoundaryCheckBox, true);
  }
  SerpentineCheckBox = AddCheckBox("Serpentine scanning", FOptions->Serpentine, false);
  DitherMethodCombo->AddRelated(0, SerpentineCheckBox, true);
  LightnessBar = AddTrackBar(-90, 90, 0, FOptions->LightnessFix, false);
  LightnessLabel = AddCaption("Lightness fix:", LightnessBar);
  AddRow(TRow{LightnessLabel, LightnessBar});
  SaturationBar = AddTrackBar(-90, 90, 0, FOptions->SaturationFix, false);
  SaturationLabel = AddCaption("Saturation fix:", SaturationBar);
  AddRow(TRow{SaturationLabel, SaturationBar});
}

void TKvDestEngineUIPanel::AddCustomPaletteComboBox(const std::vector<int>& AKinds) {
  AddPaletteLabel();
  CustomPaletteCombo = new TKvCustomPaletteComboBox(this);
  for (int k : AKinds) CustomPaletteCombo->AddPaletteType(static_cast<TKvPaletteType>(k));
  if (!AKinds.empty()) CustomPaletteCombo->SetPaletteType(static_cast<TKvPaletteType>(FOptions->PaletteType));
  CustomPaletteCombo->setMaxVisibleItems(std::max(1, CustomPaletteCombo->count()));
  CustomPaletteCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  PaletteLabel->SetFocusControl(CustomPaletteCombo);
  AddRow(TRow{PaletteLabel, CustomPaletteCombo}, slCustomPaletteCombo);
}

void TKvDestEngineUIPanel::AddCustomPaletteComboBoxEx(const std::vector<int>& AKinds,
                                                      const std::vector<std::string>& ACaptions,
                                                      const std::vector<TKvPanelGlyph>& AGlyphs) {
  AddPaletteLabel();
  CustomPaletteComboEx = new TKvCustomPaletteComboBoxEx(this);
  // Entry i shows image i.
  for (size_t i = 0; i < AKinds.size(); ++i) {
    const QString LText = i < ACaptions.size() && !ACaptions[i].empty()
                              ? QString::fromStdString(ACaptions[i])
                              : QString::fromUtf8(PaletteTypeNames[std::clamp(AKinds[i], 0, PaletteTypeCount - 1)]);
    CustomPaletteComboEx->AddItemObject(LText, AKinds[i], static_cast<int>(i));
  }
  CustomPaletteComboEx->setMaxVisibleItems(std::max(1, CustomPaletteComboEx->count()));
  FKindGlyphs = ResolveGlyphs(AKinds.size(), AGlyphs, &AKinds);
  if (!AKinds.empty()) CustomPaletteComboEx->SetPaletteType(static_cast<TKvPaletteType>(FOptions->PaletteType));
  CustomPaletteComboEx->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  PaletteLabel->SetFocusControl(CustomPaletteComboEx);
  AddRow(TRow{PaletteLabel, CustomPaletteComboEx, {}, true}, slCustomPaletteComboEx);
}

void TKvDestEngineUIPanel::AddPaletteIndexComboBoxEx(const std::vector<std::string>& ACaptions,
                                                     const std::vector<TKvPanelGlyph>& AGlyphs) {
  AddPaletteLabel();
  PaletteIndexCombo = new TKvPaletteIndexComboBoxEx(this);
  for (const std::string& C : ACaptions) PaletteIndexCombo->AddItem(QString::fromStdString(C));
  FIndexGlyphs = ResolveGlyphs(ACaptions.size(), AGlyphs, nullptr);
  if (FOptions->PaletteIndex < PaletteIndexCombo->count()) PaletteIndexCombo->setCurrentIndex(FOptions->PaletteIndex);
  PaletteIndexCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  PaletteLabel->SetFocusControl(PaletteIndexCombo);
  AddRow(TRow{PaletteLabel, PaletteIndexCombo, {}, true}, slPaletteIndexCombo);
}

void TKvDestEngineUIPanel::AddBorderColorComboBoxEx(const std::vector<std::string>& ACaptions,
                                                    const std::vector<TKvPanelGlyph>& AGlyphs) {
  BorderIndexCombo = new TKvComboBoxEx(this);
  // Entry i shows colour glyph i.
  for (size_t i = 0; i < ACaptions.size(); ++i)
    BorderIndexCombo->AddItemObject(QString::fromStdString(ACaptions[i]), static_cast<intptr_t>(i), static_cast<int>(i));
  FBorderGlyphs = ResolveGlyphs(ACaptions.size(), AGlyphs, nullptr);
  if (FOptions->BorderIndex < BorderIndexCombo->count()) BorderIndexCombo->setCurrentIndex(FOptions->BorderIndex);
  BorderIndexCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  BorderIndexLabel = AddCaption("Border color:", BorderIndexCombo);
  AddRow(TRow{BorderIndexLabel, BorderIndexCombo}, slBorderIndex);
}

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

void TKvDestEngineUIPanel::AddPaletteIndexLabel() {
  PaletteIndexLabel = new TKvPaletteIndexLabel(this);
  // The label goes beside the destination palette grid when there is one.
  for (TRow& R : FRows)
    if (R.Control == DestPalette && DestPalette) {
      R.After.push_back(PaletteIndexLabel);
      return;
    }
  AddRow(TRow{nullptr, PaletteIndexLabel}, slDestPalette);
}

void TKvDestEngineUIPanel::AddZxPaletteSection(uint32_t AModeSet) {
  AddPaletteSeparator();
  AddCustomPaletteComboBox({ptPulsar, ptColoredLinear, ptAlone});
  if (AModeSet) AddPaletteModeSection(AModeSet);
  AddDestPalette(16, 1, true);
}

void TKvDestEngineUIPanel::AddZxGigaScreenPaletteSection(bool AWith64x1, uint32_t AModeSet) {
  AddPaletteSeparator();
  std::vector<int> LKinds = {ptColored15x1, ptColored15x2};
  if (AWith64x1) LKinds.push_back(ptColored64x1);
  LKinds.push_back(ptColored64x2);
  AddCustomPaletteComboBox(LKinds);
  if (AModeSet) AddPaletteModeSection(AModeSet);
  AddDestPalette(16, 4, true);
}

void TKvDestEngineUIPanel::AddStyleSection() {
  StyleCombo = new TKvComboBox(this);
  StyleCombo->addItems({"Lines", "Chessboard", "Mixed"});
  StyleCombo->setCurrentIndex(FOptions->GigaStyle <= 2 ? FOptions->GigaStyle : -1);
  StyleCombo->OnChange = [this](QObject* S) { PaletteControlChanged(S); };
  StyleLabel = AddCaption("St&yle:", StyleCombo);
  AddRow(TRow{StyleLabel, StyleCombo});
}

void TKvDestEngineUIPanel::AddSafeModeCheckBox() {
  SafeModeCheckBox = AddCheckBox("Safe mode", FOptions->SafeMode, true);
}

void TKvDestEngineUIPanel::AddFileFormatSeparator() {
  FileFormatSeparator = new TKvSeparator(this);
  FileFormatSeparator->SetCaption("File format");
  AddRow(TRow{nullptr, FileFormatSeparator, {}, true, true});
}

void TKvDestEngineUIPanel::AddFileFormatCheckBox(const QString& ACaption) {
  FileFormatCheckBox = AddCheckBox(ACaption, FOptions->WriteFileHeader, false);
}

void TKvDestEngineUIPanel::AddCommentSeparator() {
  CommentSeparator = new TKvSeparator(this);
  CommentSeparator->SetCaption("Comment");
  AddRow(TRow{nullptr, CommentSeparator, {}, true, true});
}

void TKvDestEngineUIPanel::AddCommentEdit() {
  CommentEdit = new TKvEdit(this);
  CommentEdit->SetTrimmedText(FOptions->Comment);
  CommentEdit->ApplyChange();
  CommentEdit->OnChange = [this](QObject* S) { ControlChanged(S); };
  CommentLabel = AddCaption("&Comment:", CommentEdit);
  AddRow(TRow{CommentLabel, CommentEdit, {}, true});
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
  for (auto& [LIndex, O] : FOwn)
    if (auto* LBox = dynamic_cast<TKvColorBox*>(O.Control)) {
      const int LHeight = O.Button ? O.Button->height() : std::max(UI.DialogUnitsY(14), UI.LinesToHeight(1));
      LBox->resize(2 * LHeight, LHeight);
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
    for (QWidget* A : R.After)
      x += ((A == TimesLabel || A == HeightEdit) ? 0 : R.RelatedAfter ? UI.RelatedSpacingX : UI.UnrelatedSpacingX) +
           A->width();
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
  for (QWidget* A : R.After) LHeight = std::max(LHeight, A->height());
  const int LLeft = R.FullWidth ? UI.MarginX : FControlLeft;
  int LWidth = C->width();
  if (R.Stretch) LWidth = std::max(10, LRight - LLeft);
  C->setGeometry(LLeft, ATop + (LHeight - C->height()) / 2, LWidth, C->height());
  int x = LLeft + LWidth;
  for (QWidget* A : R.After) {
    if (A != TimesLabel && A != HeightEdit) x += R.RelatedAfter || A == BorderColorButton ? UI.RelatedSpacingX
                                                                                         : UI.UnrelatedSpacingX;
    A->move(x, ATop + (LHeight - A->height()) / 2);
    x += A->width();
  }
  if (R.Caption) {
    // The caption is lined up with its control the way the control's kind asks.
    R.Caption->move(UI.MarginX, ATop);
    if (!R.After.empty() && dynamic_cast<TKvColorBox*>(C))
      UI.CenterVertically(R.After.front(), R.Caption);
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

QWidget* TKvDestEngineUIPanel::ControlOf(TKvControlId AId) const {
  int LSection = 0, LPart = 0;
  if (IsOwnControl(AId, &LSection, &LPart)) {
    const auto It = FOwn.find(LSection);
    if (It == FOwn.end()) return nullptr;
    switch (LPart) {
      case opControl: return It->second.Control;
      case opCaption: return It->second.Caption;
      case opButton: return It->second.Button;
      default: return nullptr;
    }
  }
  switch (AId) {
    case pcDimensionLabel: return DimensionLabel;
    case pcWidthEdit: return WidthEdit;
    case pcTimesLabel: return TimesLabel;
    case pcHeightEdit: return HeightEdit;
    case pcNativeButton: return NativeButton;
    case pcLockCheckBox: return LockCheckBox;
    case pcPositionLabel: return PositionLabel;
    case pcPositionCombo: return PositionCombo;
    case pcAspectLabel: return AspectLabel;
    case pcAspectCombo: return AspectCombo;
    case pcBorderColorLabel: return BorderColorLabel;
    case pcBorderColorBox: return BorderColorBox;
    case pcBorderColorButton: return BorderColorButton;
    case pcPaletteSeparator: return PaletteSeparator;
    case pcOriginalColorsCheckBox: return OriginalColorsCheckBox;
    case pcPaletteLabel: return PaletteLabel;
    case pcPaletteCombo: return PaletteCombo;
    case pcCustomPaletteCombo: return CustomPaletteCombo;
    case pcCustomPaletteComboEx: return CustomPaletteComboEx;
    case pcPaletteIndexCombo: return PaletteIndexCombo;
    case pcBorderIndexLabel: return BorderIndexLabel;
    case pcBorderIndexCombo: return BorderIndexCombo;
    case pcUsageLabel: return UsageLabel;
    case pcUsageCombo: return UsageCombo;
    case pcModeLabel: return ModeLabel;
    case pcModeCombo: return ModeCombo;
    case pcEditButton: return EditButton;
    case pcDestPalette: return DestPalette;
    case pcPaletteIndexLabel: return PaletteIndexLabel;
    case pcMaxColorCountLabel: return MaxColorCountLabel;
    case pcMaxColorCountEdit: return MaxColorCountEdit;
    case pcKeepWholePaletteCheckBox: return KeepWholePaletteCheckBox;
    case pcGrayPaletteCheckBox: return GrayPaletteCheckBox;
    case pcColorUsageLabel: return ColorUsageLabel;
    case pcColorUsageCombo: return ColorUsageCombo;
    case pcCalculationLabel: return CalculationLabel;
    case pcCalculationCombo: return CalculationCombo;
    case pcMaxFlickeringLabel: return MaxFlickeringLabel;
    case pcMaxFlickeringBar: return MaxFlickeringBar;
    case pcFixedPaletteLabel: return FixedPaletteLabel;
    case pcFixedPaletteCombo: return FixedPaletteCombo;
    case pcFixedPalette: return FixedPalette;
    case pcStyleLabel: return StyleLabel;
    case pcStyleCombo: return StyleCombo;
    case pcSafeModeCheckBox: return SafeModeCheckBox;
    case pcHamSeparator: return HamSeparator;
    case pcHamInitialLabel: return HamLabels[0];
    case pcHamInitialBar: return HamBars[0];
    case pcHamPrevLabel: return HamLabels[1];
    case pcHamPrevBar: return HamBars[1];
    case pcHamNextLabel: return HamLabels[2];
    case pcHamNextBar: return HamBars[2];
    case pcHamMaxChangeLabel: return HamLabels[3];
    case pcHamMaxChangeBar: return HamBars[3];
    case pcLightnessLabel: return LightnessLabel;
    case pcLightnessBar: return LightnessBar;
    case pcSaturationLabel: return SaturationLabel;
    case pcSaturationBar: return SaturationBar;
    case pcDitheringSeparator: return DitheringSeparator;
    case pcDitherMethodLabel: return DitherMethodLabel;
    case pcDitherMethodCombo: return DitherMethodCombo;
    case pcErrorDiffusionLabel: return ErrorDiffusionLabel;
    case pcErrorDiffusionBar: return ErrorDiffusionBar;
    case pcLimitInsideCheckBox: return LimitInsideCheckBox;
    case pcLimitBoundaryCheckBox: return LimitBoundaryCheckBox;
    case pcSerpentineCheckBox: return SerpentineCheckBox;
    case pcFileFormatSeparator: return FileFormatSeparator;
    case pcFileFormatCheckBox: return FileFormatCheckBox;
    case pcCommentSeparator: return CommentSeparator;
    case pcCommentLabel: return CommentLabel;
    case pcCommentEdit: return CommentEdit;
    default: return nullptr;
  }
}

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
