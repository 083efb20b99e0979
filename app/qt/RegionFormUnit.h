// The "Region" dialog: hosts the region source view over the source picture
// and hands it the target geometry of the current converter.
#pragma once

#include "app/KvSource.h"
#include "app/qt/KvSourceImage.h"
#include "core/KvDestEngineOptions.h"
#include "shell/qt/noxShellFormEx.h"

class TRegionForm : public TnoxShellUIForm {
public:
  explicit TRegionForm(TKvSource* ASource);
  ~TRegionForm() override;
  // Shows the dialog; ARect receives the view's region whatever the result.
  void Execute(TRect& ARect, TKvDestEngineOptions* AOptions);
  TnoxSize GetInitialClientSize() override;
  void ArrangeControls() override;
  TKvSourceImageView* GetView() const { return FView; }

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;

private:
  TKvSource* FSource;
  TKvSourceImageView* FView = nullptr;
};

// Runs the dialog for the source document (what the region action calls).
void ShowRegionDialog(QWidget* AOwner, TKvSource& ASource, TRect& ARect, TKvDestEngineOptions* AOptions);
