// The batch conversion window: it starts a TKvBatchThread and polls its
// counters and log every 500 ms.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <memory>
#include <string>

#include "app/KvBatchThread.h"
#include "app/KvDest.h"
#include "app/KvSource.h"
#include "app/qt/KvControls.h"
#include "shell/qt/noxShellFormEx.h"

class TKvBatchConvertForm : public TnoxShellUIForm {
public:
  TKvBatchConvertForm(TKvSourceFiles* ASourceFiles, TKvDest& ADest);
  ~TKvBatchConvertForm() override;

  void StartConversion();
  void PollThread();
  TnoxSize GetInitialClientSize() override;
  void ResizeControls() override;
  void ArrangeControls() override;

  TKvEdit* SourceEdit = nullptr;
  TKvButton* SourceButton = nullptr;
  TKvEdit* DestEdit = nullptr;
  TKvButton* DestButton = nullptr;
  TnoxShellComboBox* FormatCombo = nullptr;
  TLabel* StatusLabel = nullptr;
  QWidget* ProgressBar = nullptr;
  QPlainTextEdit* LogMemo = nullptr;
  QPushButton* ConvertButton = nullptr;
  QPushButton* CancelButton = nullptr;
  TKvBatchThread* GetThread() const { return FThread.get(); }

protected:
  void keyPressEvent(QKeyEvent* AEvent) override;

private:
  TKvSourceFiles* FSourceFiles;
  TKvDest& FDest;
  TLabel* FSourceLabel = nullptr;
  TLabel* FDestLabel = nullptr;
  TLabel* FFormatLabel = nullptr;
  std::unique_ptr<TKvBatchThread> FThread;
  QTimer* FTimer = nullptr;
  int FProgressMax = 0;
  int FProgressPosition = 0;
};
