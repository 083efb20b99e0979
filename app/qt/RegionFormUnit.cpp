#include "app/qt/RegionFormUnit.h"

#include <QKeyEvent>

#include "bitmap/B32.h"
#include "shell/qt/noxShellForm.h"

TRegionForm::TRegionForm(TKvSource* ASource) : TnoxShellUIForm(), FSource(ASource) {
  setWindowTitle("Region");
  SetSizeable(true);
  FView = new TKvSourceImageView(this);
  FView->SetSource(FSource);
}

TRegionForm::~TRegionForm() {
  delete FView;
  FView = nullptr;
}

TnoxSize TRegionForm::GetInitialClientSize() {
  TBitmap32* LPicture = FSource ? FSource->GetPicture() : nullptr;
  TnoxShellUI* UI = GetShellUI();
  return TnoxSize{2 * UI->MarginX + (LPicture ? LPicture->GetWidth() : 0),
                  2 * UI->MarginY + (LPicture ? LPicture->GetHeight() : 0)};
}

void TRegionForm::ArrangeControls() {
  TnoxShellUIForm::ArrangeControls();
  FView->setGeometry(0, 0, GetLayoutClientWidth(), GetLayoutClientHeight());
}

void TRegionForm::Execute(TRect& ARect, TKvDestEngineOptions* AOptions) {
  FView->SetRegion(ARect);
  if (AOptions) {
    const TKvSize LSize = AOptions->GetDefaultSize();
    const TKvSize LAspect = AOptions->GetPixelAspectRatio();
    FView->SetTarget(LSize.Width, LSize.Height, LAspect.Width, LAspect.Height, AOptions->Position,
                     AOptions->GetCellWidth(), AOptions->GetCellHeight());
  }
  ShowModal();
  ARect = FView->GetRegion();
}

void TRegionForm::keyPressEvent(QKeyEvent* AEvent) {
  TnoxShellUIForm::keyPressEvent(AEvent);
  if (AEvent->key() == Qt::Key_Return || AEvent->key() == Qt::Key_Enter || AEvent->key() == Qt::Key_Escape) {
    SetModalResult(1);
    close();
  }
}

void ShowRegionDialog(QWidget*, TKvSource& ASource, TRect& ARect, TKvDestEngineOptions* AOptions) {
  auto LForm = noxCreateForm<TRegionForm>(&ASource);
  LForm->Execute(ARect, AOptions);
}
