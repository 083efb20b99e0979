#include "app/qt/LoadScrFormUnit.h"

#include <QApplication>
#include <QClipboard>

#include "app/KvControls.h"
#include "app/KvGraphics.h"
#include "app/qt/KvActions.h"
#include "app/qt/KvQtPictures.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPaletteRGB.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellBaseExtensionFilters.h"
#include "shell/qt/noxShellForm.h"

namespace {

QString Q(const std::string& A) { return QString::fromStdString(A); }

TLabel* NewLabel(QWidget* AParent, const QString& ACaption) {
  auto* L = new TLabel(AParent);
  L->SetCaption(ACaption);
  return L;
}

}  // namespace

TLoadScrForm::TLoadScrForm(TKvLoadSource& ASource, TKvSourceEngineList& AEngines)
    : TnoxShellCustomDialogForm(QApplication::activeWindow(), nullptr), FSource(ASource), FEngines(AEngines) {
  setWindowTitle("Import");
  PreviewView = new TKvSourceDestImage(this);
  if (FEngines.GetCount() == 1) {
    EngineLabel = NewLabel(this, Q(FEngines.GetEngine(0)->Description));
    EngineLabel->SetAlignment(taCenter);
  } else {
    TypeLabel = NewLabel(this, "Image &type:");
    TypeCombo = new TnoxShellComboBox(this);
    for (int i = 0; i < FEngines.GetCount(); ++i) TypeCombo->addItem(Q(FEngines.GetEngine(i)->Description));
    TypeCombo->setCurrentIndex(0);
    TypeLabel->SetFocusControl(TypeCombo);
    connect(TypeCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
      if (FUpdating == 0 && i >= 0) Guarded([this, i] { SelectEngine(FEngines.GetEngine(i)); });
    });
  }
  InfoLabel = NewLabel(this, QString());
  InfoLabel->SetAlignment(taCenter);
  InfoLabel->SetAutoSize(false);
  PixelWidthLabel = NewLabel(this, "Pixel &width:");
  PixelWidthBar = new TKvTrackBar(this, 1);
  PixelWidthBar->SetRange(1, 8);
  PixelWidthBar->SetPosition(1);
  PixelWidthBar->OnChange = [this](QObject*) { Guarded([this] { SetPixelWidth(PixelWidthBar->GetPosition()); }); };
  PixelHeightLabel = NewLabel(this, "Pixel &height:");
  PixelHeightBar = new TKvTrackBar(this, 1);
  PixelHeightBar->SetRange(1, 8);
  PixelHeightBar->SetPosition(1);
  PixelHeightBar->OnChange = [this](QObject*) { Guarded([this] { SetPixelHeight(PixelHeightBar->GetPosition()); }); };
  PaletteLabel = NewLabel(this, "P&alette:");
  PaletteCombo = new TnoxShellComboBox(this);
  VariantLabel = NewLabel(this, "&Variant:");
  VariantCombo = new TnoxShellComboBox(this);
  CalculationLabel = NewLabel(this, "&Calculation:");
  CalculationCombo = new TnoxShellComboBox(this);
  connect(PaletteCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (FUpdating || !FEngine || i < 0) return;
    Guarded([this, i] {
      FEngine->PaletteType = FEngine->GetPaletteType(i);
      Refresh();
    });
  });
  connect(VariantCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (FUpdating || !FEngine || i < 0) return;
    Guarded([this, i] {
      FEngine->VariantName = FEngine->GetPaletteVariant(i);
      Refresh();
    });
  });
  connect(CalculationCombo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
    if (FUpdating || !FEngine || i < 0) return;
    Guarded([this, i] {
      FEngine->MixMode = static_cast<uint8_t>(i);
      Refresh();
    });
  });
  PaletteGrid = new TKvDestPalette(this);
  PaletteGrid->DropRefused = true;
  PaletteGrid->FollowResult = false;

  SaveMenu = new QMenu(this);
  for (const char* LExt : {"BMP", "PNG", "GIF"}) {
    QAction* LItem = SaveMenu->addAction(QString("Save as &%1...").arg(LExt));
    const std::string e = QString(".%1").arg(QString(LExt).toLower()).toStdString();
    connect(LItem, &QAction::triggered, this, [this, e] { Guarded([this, e] { SaveImage(e); }); });
    if (e == ".gif") SaveGifItem = LItem;
  }
  TnoxShellDialogButton* LCopy = AddButton("&Copy image", 0, false, false);
  LCopy->LeftAligned = true;
  LCopy->Tag = 1;
  connect(LCopy, &QPushButton::clicked, this, [this] { Guarded([this] { CopyImage(); }); });
  TnoxShellDialogButton* LSave = AddButton("&Save image", 0, false, false);
  LSave->LeftAligned = true;
  LSave->Tag = 2;
  connect(LSave, &QPushButton::clicked, this, [this, LSave] { SaveMenu->popup(LSave->mapToGlobal(LSave->rect().bottomLeft())); });
  AddButton("&Import image", 1, true, false)->Tag = 3;
  ImageAndPaletteButton = AddButton("Import image and palette", 100, false, false);
  ImageAndPaletteButton->Tag = 4;
  PaletteButton = AddButton("Import &palette", 101, false, false);
  PaletteButton->Tag = 5;
  AddCancelButton(QString(), false, true)->Tag = 6;

  SelectEngine(FEngines.GetEngine(0));
}

TLoadScrForm::~TLoadScrForm() {
  PreviewView->SetPicture(nullptr);
}

void TLoadScrForm::Guarded(const std::function<void()>& AStep) {
  try {
    AStep();
  } catch (const std::exception& E) {
    ShowExceptionBox(this, E, QString(), QString(), QString(), 0, dynamic_cast<const EWarning*>(&E) ? 3 : 1);
  }
}

void TLoadScrForm::SelectEngine(TKvSourceEngine* AEngine) {
  if (AEngine == FEngine) return;
  FEngine = AEngine;
  PreviewView->SetPicture(nullptr);
  FDecoded.reset();
  FPreview.reset();
  ++FUpdating;
  try {
    if (FEngine) {
      const uint8_t LCode = FEngine->PixelAspect < PixelAspectCount ? FEngine->PixelAspect : 10;
      const int AX = PixelAspectRatios[LCode].Width, AY = PixelAspectRatios[LCode].Height;
      if (AY < AX) {
        FPixelWidth = 1;
        FPixelHeight = static_cast<int>(Round(double(AX) / AY));
      } else {
        FPixelWidth = static_cast<int>(Round(double(AY) / AX));
        FPixelHeight = 1;
      }
      PixelWidthBar->SetPosition(FPixelWidth);
      PixelHeightBar->SetPosition(FPixelHeight);
    }
  } catch (...) {
    --FUpdating;
    throw;
  }
  --FUpdating;
  Refresh();
}

void TLoadScrForm::SetPixelWidth(int A) {
  if (FUpdating || A == FPixelWidth) return;
  FPixelWidth = A;
  Refresh();
}

void TLoadScrForm::SetPixelHeight(int A) {
  if (FUpdating || A == FPixelHeight) return;
  FPixelHeight = A;
  Refresh();
}

void TLoadScrForm::Refresh() {
  PreviewView->SetPicture(nullptr);
  FDecoded.reset();
  FPreview.reset();
  ++FUpdating;
  struct TGuard {
    int& C;
    ~TGuard() { --C; }
  } LGuard{FUpdating};
  auto Disable = [](TLabel* L, QComboBox* C) {
    L->setEnabled(false);
    C->setEnabled(false);
    C->clear();
  };
  if (!FEngine) {
    InfoLabel->SetCaption("-");
    Disable(PaletteLabel, PaletteCombo);
    Disable(VariantLabel, VariantCombo);
    Disable(CalculationLabel, CalculationCombo);
    return;
  }
  InfoLabel->SetCaption(QString("%1x%2x%3")
                            .arg(FEngine->Width * FPixelWidth)
                            .arg(FEngine->Height * FPixelHeight)
                            .arg(FEngine->Bits));
  FDecoded = FEngine->Decode();
  if (!FDecoded) throw Exception("Unknown image type");
  SaveGifItem->setEnabled(FDecoded->BitCount <= 8);
  const bool LHasPalette = FEngine->Palette && FEngine->Palette->GetCount() > 0;
  ImageAndPaletteButton->setEnabled(LHasPalette);
  PaletteButton->setEnabled(LHasPalette);
  FPreview = FDecoded->ToBitmap32(FPixelWidth, FPixelHeight);
  PreviewView->SetPicture(FPreview.get());

  if (FEngine->GetPaletteTypeCount() < 2) {
    Disable(PaletteLabel, PaletteCombo);
  } else {
    PaletteLabel->setEnabled(true);
    PaletteCombo->setEnabled(true);
    PaletteCombo->clear();
    for (int i = 0; i < FEngine->GetPaletteTypeCount(); ++i) {
      PaletteCombo->addItem(QString::fromUtf8(PaletteTypeNames[FEngine->GetPaletteType(i)]));
      if (FEngine->GetPaletteType(i) == FEngine->PaletteType) PaletteCombo->setCurrentIndex(i);
    }
  }
  if (FEngine->GetPaletteVariantCount() < 2) {
    Disable(VariantLabel, VariantCombo);
  } else {
    VariantLabel->setEnabled(true);
    VariantCombo->setEnabled(true);
    VariantCombo->clear();
    for (int i = 0; i < FEngine->GetPaletteVariantCount(); ++i) VariantCombo->addItem(Q(FEngine->GetPaletteVariant(i)));
    VariantCombo->setCurrentIndex(0);
    for (int i = 0; i < FEngine->GetPaletteVariantCount(); ++i)
      if (FEngine->GetPaletteVariant(i) == FEngine->VariantName) {
        VariantCombo->setCurrentIndex(i);
        break;
      }
  }
  if (FEngine->MixModes == 3) {
    CalculationLabel->setEnabled(true);
    CalculationCombo->setEnabled(true);
    CalculationCombo->clear();
    CalculationCombo->addItems({"Standard", "Linear"});
    if (FEngine->MixModes & (1u << FEngine->MixMode)) CalculationCombo->setCurrentIndex(FEngine->MixMode);
  } else {
    Disable(CalculationLabel, CalculationCombo);
  }
  const int N = FEngine->Palette ? FEngine->Palette->GetCount() : 0;
  const int C = std::max(1, FEngine->ColorCount);
  if (N <= 16 && C == 16) {
    PaletteGrid->SetColCount(std::max(N, 1));
    PaletteGrid->SetRowCount(1);
  } else {
    PaletteGrid->SetColCount(C);
    PaletteGrid->SetRowCount((N + C - 1) / C);
  }
  PaletteGrid->SetPalette(FEngine->Palette.get());
  PaletteGrid->setVisible(N > 0);
  if (IsInitialized()) ArrangeControls();
}

std::unique_ptr<TKvBitmap> TLoadScrForm::GetScaledPicture() {
  std::unique_ptr<TKvBitmap> LPicture = FEngine->Decode();
  if (!LPicture) throw Exception("Unknown image type");
  if (FPixelWidth == 1 && FPixelHeight == 1) return LPicture;
  return LPicture->CreateScaled(FPixelWidth, FPixelHeight);
}

void TLoadScrForm::CopyImage() {
  if (!FEngine) return;
  std::unique_ptr<TKvBitmap> LPicture = GetScaledPicture();
  QApplication::clipboard()->setImage(KvBitmapToQImage(*LPicture));
}

void TLoadScrForm::SaveImage(const std::string& AExt) {
  if (!FEngine) return;
  std::unique_ptr<TKvBitmap> LPicture;
  if (AExt == ".gif") {
    LPicture = GetScaledPicture();
    if (LPicture->BitCount > 8) throw EWarning("Too many colors");
  }
  TnoxShellFilterArray LFilter;
  LFilter.Add("*" + AExt);
  const std::string LOpened = FSource.GetFileName();
  // The dialog starts in the folder of the opened file (the source keeps the
  // file's bare name and its folder apart).
  const auto* LFileSource = dynamic_cast<const TKvFileLoadSource*>(&FSource);
  const std::string LFolder = LFileSource ? LFileSource->GetFolder() : ExtractFilePath(LOpened);
  const std::string LFile = FileDialogs().SaveFile(this, LFilter.GetFilter(), LFolder,
                                                   ChangeFileExt(ExtractFileName(LOpened), AExt), AExt.substr(1));
  if (LFile.empty()) return;
  if (!LPicture) LPicture = GetScaledPicture();
  if (AExt == ".bmp") {
    SaveKvBitmapBMP(*LPicture, LFile);
  } else if (AExt == ".png") {
    TPngImage LPng;
    LPng.Assign(*LPicture);
    LPng.AddTextChunk("Software", "Kovrel");
    LPng.SaveToFile(LFile);
  } else {
    TGIFImage LGif;
    LGif.Assign(*LPicture);
    LGif.SaveToFile(LFile);
  }
}

void TLoadScrForm::AddPalettes() {
  if (!FEngine) return;
  const int V = FEngine->GetPaletteVariantCount();
  if (V < 2) {
    auto LPalette = std::make_unique<TKvPalette256>();
    LPalette->Assign(FEngine->Palette.get());
    LPalette->FileName.clear();
    LPalette->Name = FEngine->FileName;
    PaletteList().Add(std::move(LPalette));
    return;
  }
  for (int i = 0; i < V; ++i) {
    auto LPalette = std::make_unique<TKvPalette256>();
    FEngine->GetVariantPalette(i, *LPalette);
    LPalette->FileName.clear();
    LPalette->Name = FEngine->FileName + " " + FEngine->GetPaletteVariant(i);
    PaletteList().Add(std::move(LPalette));
  }
}

std::unique_ptr<TBitmap32> TLoadScrForm::Execute() {
  const int32_t LResult = ShowDialog(nullptr);
  if (LResult == 100 || LResult == 101) AddPalettes();
  if (LResult == 1 || LResult == 100) return std::move(FPreview);
  return nullptr;
}

int32_t TLoadScrForm::GetContentWidth() { return GetShellUI()->CharsToWidth(150); }

void TLoadScrForm::ResizeControls() {
  TnoxShellCustomDialogForm::ResizeControls();
  TnoxShellUI& UI = *GetShellUI();
  for (TKvTrackBar* B : {PixelWidthBar, PixelHeightBar}) {
    B->resize(UI.CharsToWidth(25), B->height());
    B->ApplyMetrics(UI);
  }
  PaletteGrid->SetCellSize(UI.CharsToWidth(1) + 2);
  for (TLabel* L : {TypeLabel, EngineLabel, PixelWidthLabel, PixelHeightLabel, PaletteLabel, VariantLabel,
                    CalculationLabel})
    if (L) L->AdjustBounds();
}

void TLoadScrForm::LayoutCustomArea(TnoxRect& ARect) {
  TnoxShellUI& UI = *GetShellUI();
  const int L = ARect.Left, R = ARect.Right, T = ARect.Top;
  int LW = 0;
  for (TLabel* Lb : {TypeLabel, PixelWidthLabel, PixelHeightLabel, PaletteLabel, VariantLabel})
    if (Lb) LW = std::max(LW, Lb->width());
  QWidget* LEdit = PixelWidthBar->GetEdit();
  const int TL = R - LEdit->width() - UI.RelatedSpacingX - PixelWidthBar->width();
  const int LX = TL - LW - UI.LabelSpacingX;
  const int LPreviewWidth = std::max(50, LX - UI.UnrelatedSpacingX - L);
  PreviewView->setGeometry(L, T, LPreviewWidth, LPreviewWidth * 3 / 4);
  int y = T;
  if (EngineLabel) {
    EngineLabel->setGeometry(LX, y, R - LX, EngineLabel->height());
    y += EngineLabel->height() + UI.UnrelatedSpacingY;
  } else {
    TypeLabel->move(LX, y);
    y += TypeLabel->height() + UI.LabelSpacingY;
    TypeCombo->setGeometry(LX, y, R - LX, TypeCombo->sizeHint().height());
    y += TypeCombo->height() + UI.UnrelatedSpacingY;
  }
  InfoLabel->setGeometry(LX, y, R - LX, UI.LinesToHeight(1));
  y += InfoLabel->height() + UI.UnrelatedSpacingY;
  auto Row = [&](TLabel* ALabel, QWidget* AControl, bool AToRight) {
    const int H = std::max(ALabel->height(), AControl->height());
    ALabel->move(LX, y + (H - ALabel->height()) / 2);
    AControl->setGeometry(TL, y + (H - AControl->height()) / 2, AToRight ? R - TL : AControl->width(),
                          AControl->height());
    if (auto* B = dynamic_cast<TKvTrackBar*>(AControl)) B->PlaceEdit();
    y += H + UI.UnrelatedSpacingY;
  };
  Row(PixelWidthLabel, PixelWidthBar, false);
  Row(PixelHeightLabel, PixelHeightBar, false);
  for (QComboBox* C : {PaletteCombo, VariantCombo, CalculationCombo}) C->resize(C->width(), C->sizeHint().height());
  Row(PaletteLabel, PaletteCombo, true);
  Row(VariantLabel, VariantCombo, true);
  Row(CalculationLabel, CalculationCombo, true);
  if (PaletteGrid->isVisibleTo(this)) {
    const int LSpanLeft = LX, LSpanRight = R;
    PaletteGrid->move(LSpanLeft + (LSpanRight - LSpanLeft - PaletteGrid->width()) / 2, y);
    y += PaletteGrid->height() + UI.UnrelatedSpacingY;
  }
  ARect.Bottom = std::max(y, PreviewView->y() + PreviewView->height() + UI.UnrelatedSpacingY);
}

std::unique_ptr<TBitmap32> TKvImportDialogChooser::Choose(TKvLoadSource& ASource, TKvSourceEngineList& AEngines) {
  if (AEngines.GetCount() == 0) return nullptr;
  auto LForm = noxCreateForm<TLoadScrForm>(ASource, AEngines);
  return LForm->Execute();
}
