#include "app/KvDest.h"

#include <algorithm>

#include "app/KvControls.h"
#include "bitmap/B32.h"
#include "bitmap/B32_Resamplers.h"
#include "core/KvBitmap.h"
#include "core/KvDestProgress.h"
#include "core/KvImage.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"

namespace {

constexpr int StagePollInterval = 100;
constexpr TColor32 OpaqueWhite = 0xFFFFFFFF;

TRect CenteredRect(int AWidth, int AHeight, int AFrameWidth, int AFrameHeight) {
  // Integer division truncates toward zero, so a rectangle larger than the
  // frame gets a negative offset and is cropped on both sides.
  const int LLeft = (AFrameWidth - AWidth) / 2;
  const int LTop = (AFrameHeight - AHeight) / 2;
  return TRect{LLeft, LTop, LLeft + AWidth, LTop + AHeight};
}

// Where a source of ASourceW x ASourceH lands in a frame by placement mode.
TRect PlaceRect(uint8_t APosition, double ASourceW, double ASourceH, int AFrameWidth, int AFrameHeight) {
  switch (APosition) {
    case 2:
      return TRect{0, 0, AFrameWidth, AFrameHeight};
    case 3:
      return CenteredRect(static_cast<int>(Round(ASourceW)), static_cast<int>(Round(ASourceH)), AFrameWidth,
                          AFrameHeight);
    case 0: {
      const TKvSize LSize = FitSourceInResult(ASourceW, ASourceH, AFrameWidth, AFrameHeight);
      return CenteredRect(LSize.Width, LSize.Height, AFrameWidth, AFrameHeight);
    }
    default: {
      const TKvSize LSize = FitResultInSource(ASourceW, ASourceH, AFrameWidth, AFrameHeight);
      return CenteredRect(LSize.Width, LSize.Height, AFrameWidth, AFrameHeight);
    }
  }
}

std::unique_ptr<TBitmap32> NewWhiteBitmap(int AWidth, int AHeight) {
  auto LBitmap = std::make_unique<TBitmap32>(std::max(0, AWidth), std::max(0, AHeight));
  LBitmap->Clear(OpaqueWhite);
  LBitmap->SetDrawMode(dmBlend);
  return LBitmap;
}

void DrawPlaced(TBitmap32& ASource, TBitmap32& ADest, const TRect& ARect) {
  const TRect LSrcRect = ASource.BoundsRect();
  if (ADest.GetWidth() == ASource.GetWidth() && ADest.GetHeight() == ASource.GetHeight() && ARect == LSrcRect) {
    std::copy_n(ASource.GetBits(), static_cast<size_t>(ASource.GetWidth()) * static_cast<size_t>(ASource.GetHeight()),
                ADest.GetBits());
    return;
  }
  if (ARect.Width() <= 0 || ARect.Height() <= 0 || LSrcRect.Width() <= 0 || LSrcRect.Height() <= 0) return;
  if (ADest.Empty()) return;
  ASource.DrawToRect(&ADest, ARect, LSrcRect);
}

std::unique_ptr<TBitmap32> CopyBitmap(TBitmap32& ASource) {
  auto LCopy = std::make_unique<TBitmap32>();
  LCopy->Assign(&ASource);
  return LCopy;
}

std::unique_ptr<TKvPalette256> CopyPalette(const TKvPalette256* APalette) {
  if (!APalette || APalette->Count == 0) return nullptr;
  auto LCopy = std::make_unique<TKvPalette256>();
  LCopy->Assign(APalette);
  return LCopy;
}

// The picture a result shows, read from its pixel memory through the memory's
// own colour table, as the toolkit shows a device-independent bitmap.
std::unique_ptr<TBitmap32> PictureOfDIB(const TKvDIBSection& ADib) {
  auto LPicture = std::make_unique<TBitmap32>(ADib.Width, ADib.Height);
  for (int y = 0; y < ADib.Height; ++y) {
    const uint8_t* LRow = ADib.Bits.data() + static_cast<size_t>(ADib.Height - 1 - y) * ADib.Stride;
    TColor32* LOut = LPicture->GetScanLine(y);
    for (int x = 0; x < ADib.Width; ++x) {
      uint32_t LColor = 0;
      if (ADib.BitCount == 24 || ADib.BitCount == 32) {
        const uint8_t* P = LRow + x * (ADib.BitCount / 8);
        LColor = (uint32_t(P[2]) << 16) | (uint32_t(P[1]) << 8) | P[0];
      } else {
        int LIndex = 0;
        if (ADib.BitCount == 1)
          LIndex = (LRow[x >> 3] >> (7 - (x & 7))) & 1;
        else if (ADib.BitCount == 4)
          LIndex = (LRow[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        else
          LIndex = LRow[x];
        if (static_cast<size_t>(LIndex) < ADib.ColorTable.size()) LColor = ADib.ColorTable[LIndex] & 0xFFFFFF;
      }
      LOut[x] = 0xFF000000u | LColor;
    }
  }
  return LPicture;
}

}  // namespace

std::unique_ptr<TBitmap32> ShrinkToHalf(TBitmap32& ASource) {
  const int LWidth = ASource.GetWidth() / 2;
  const int LHeight = ASource.GetHeight() / 2;
  TKvImage LSource(ASource);
  TKvImage LTarget(LWidth, LHeight);
  for (int y = 0; y < LHeight; ++y)
    for (int x = 0; x < LWidth; ++x) {
      TKvLinRGBColor LSum{0, 0, 0};
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const TKvLinRGBColor& C = LSource.GetPixels(2 * x + dx, 2 * y + dy)->GetLinRGB();
          LSum.R += C.R;
          LSum.G += C.G;
          LSum.B += C.B;
        }
      LTarget.GetPixels(x, y)->InitLinRGB(LinRGBColor(LSum.R / 4, LSum.G / 4, LSum.B / 4));
    }
  return LTarget.ToBitmap32();
}

bool FillOutsideRect(TBitmap32& ABitmap, const TRect& ARect, int32_t AColor) {
  const int LW = ABitmap.GetWidth();
  const int LH = ABitmap.GetHeight();
  if (LW <= 0 || LH <= 0) return false;
  const bool LEmptyRect = ARect.Width() <= 0 || ARect.Height() <= 0;
  if (!LEmptyRect && ARect.Left <= 0 && ARect.Top <= 0 && ARect.Right >= LW && ARect.Bottom >= LH) return false;
  const TColor32 LColor = 0xFF000000u | (static_cast<uint32_t>(AColor) & 0xFFFFFFu);
  if (LEmptyRect) {
    ABitmap.FillRectS(0, 0, LW, LH, LColor);
  } else {
    ABitmap.FillRectS(0, 0, LW, ARect.Top, LColor);
    ABitmap.FillRectS(0, ARect.Bottom, LW, LH, LColor);
    ABitmap.FillRectS(0, ARect.Top, ARect.Left, ARect.Bottom, LColor);
    ABitmap.FillRectS(ARect.Right, ARect.Top, LW, ARect.Bottom, LColor);
  }
  ABitmap.ResetAlpha(255);
  return true;
}

// TKvDestResizeJob

TKvDestResizeJob::TKvDestResizeJob(TBitmap32& ASource, int AWidth, int AHeight, const TKvSize& APixelAspect,
                                   uint8_t APosition, bool AWithDisplay)
    : FSource(ASource),
      FWidth(AWidth),
      FHeight(AHeight),
      FPixelAspect(APixelAspect),
      FPosition(APosition),
      FWithDisplay(AWithDisplay) {}

TKvDestResizeJob::~TKvDestResizeJob() = default;

void TKvDestResizeJob::Run() {
  const int LAX = std::max(1, FPixelAspect.Width);
  const int LAY = std::max(1, FPixelAspect.Height);
  const double LMax = std::max(LAX, LAY);
  const double LMin = std::min(LAX, LAY);
  FSource.SetResamplerClassName("TKernelResampler");
  if (auto* LResampler = dynamic_cast<TKernelResampler*>(FSource.GetResampler()))
    LResampler->SetKernelClassName("TLanczosKernel");
  FSource.SetDrawMode(dmBlend);
  const int LSourceW = FSource.GetWidth();
  const int LSourceH = FSource.GetHeight();

  Fitted = NewWhiteBitmap(FWidth, FHeight);
  FittedRect = PlaceRect(FPosition, LSourceW * LAX / LMax, LSourceH * LAY / LMax, FWidth, FHeight);
  DrawPlaced(FSource, *Fitted, FittedRect);

  if (!FWithDisplay) return;
  DisplayRect = FittedRect;
  if (LAX == LAY) return;
  const int LDisplayW = static_cast<int>(Round(FWidth * LAY / LMin));
  const int LDisplayH = static_cast<int>(Round(FHeight * LAX / LMin));
  FittedDisplay = NewWhiteBitmap(LDisplayW, LDisplayH);
  DisplayRect = PlaceRect(FPosition, LSourceW, LSourceH, LDisplayW, LDisplayH);
  DrawPlaced(FSource, *FittedDisplay, DisplayRect);
}

// TKvDestWorkJob

TKvDestWorkJob::TKvDestWorkJob(TBitmap32& ABitmap, TKvPalette256* APalette, TKvPalette256* APalette2,
                               const TKvDestEngineClass& AEngineClass, TKvDestEngineOptions& AOptions,
                               TKvDestProgress& AProgress, bool* AAbort)
    : BorderColor(AOptions.BorderColor),
      FBitmap(ABitmap),
      FPalette(APalette),
      FPalette2(APalette2),
      FEngineClass(AEngineClass),
      FOptions(AOptions),
      FProgress(AProgress),
      FAbort(AAbort) {}

TKvDestWorkJob::~TKvDestWorkJob() = default;

void TKvDestWorkJob::Run() {
  Result.reset();
  Frames.reset();
  Streams.reset();
  std::unique_ptr<TKvStreamList> LStreams;
  // The long routines the converter calls report here when it does not.
  const TKvDestProgressScope LScope(&FProgress);
  std::unique_ptr<TKvBitmap> LResult =
      FEngineClass.Convert(FAbort, FBitmap, FPalette, FPalette2, FOptions, FProgress, LStreams);
  if (LResult) {
    LResult->MirrorX = false;
    Frames = LResult->ReleaseFrames();
  }
  Result = std::move(LResult);
  Streams = std::move(LStreams);
}

namespace {

std::unique_ptr<TKvTimer> NewStageTimer(TKvTimerFactory& ATimers, std::function<void()> AOnTimer) {
  std::unique_ptr<TKvTimer> LTimer = ATimers.CreateTimer();
  LTimer->SetInterval(StagePollInterval);
  LTimer->SetOnTimer(std::move(AOnTimer));
  return LTimer;
}

// Starts a stage's job on a worker; what the job raises is kept in the task.
template <class TTask>
void LaunchTask(TKvWorkerLauncher& AWorkers, TTask& ATask) {
  TTask* LTask = &ATask;
  ATask.Worker = AWorkers.Launch([LTask] {
    try {
      LTask->Job->Run();
    } catch (...) {
      LTask->Error = std::current_exception();
    }
  });
}

}  // namespace

// The stages' workers. The worker is declared last so that it is joined
// before the data it works on goes.

struct TKvDest::TResizeTask {
  int32_t Generation = 0;
  uint8_t Position = 0;
  TKvSize PixelAspect;
  std::unique_ptr<TBitmap32> Source;
  std::unique_ptr<TKvDestResizeJob> Job;
  std::exception_ptr Error;
  std::unique_ptr<TKvWorker> Worker;
};

struct TKvDest::TWorkTask {
  int32_t Generation = 0;
  bool Abort = false;
  std::unique_ptr<TBitmap32> Bitmap;
  std::unique_ptr<TKvPalette256> Palette;
  std::unique_ptr<TKvPalette256> Palette2;
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TKvDestWorkJob> Job;
  std::exception_ptr Error;
  std::unique_ptr<TKvWorker> Worker;
  void Cancel() { RequestAbort(&Abort); }
};

// TKvDest

TKvDest::TKvDest(TKvTimerFactory& ATimers, TKvWorkerLauncher& AWorkers)
    : FTimers(ATimers),
      FWorkers(AWorkers),
      FResultPalette(std::make_unique<TKvPalette256>()),
      FProgress(std::make_unique<TKvDestProgress>()) {}

TKvDest::~TKvDest() {
  // Clients drop their links to a document that goes away.
  TObject* LSelf = this;
  FClients.Notify<IKvFreeNotification>([&](IKvFreeNotification& C) { C.FreeNotification(LSelf); });
  SetSource(nullptr);
  FResizeTimer.reset();
  FWorkTimer.reset();
  FResizeTask.reset();
  if (FWorkTask) FWorkTask->Cancel();
  FWorkTask.reset();
}

void TKvDest::SetEngine(const TKvDestEngineClass& AClass) {
  FEngine.reset();
  FOptions.reset();
  FEngine = AClass.Create();
  FOptions = FEngine->CreateOptions();
  FOptions->BeginUpdate();
  FOptions->SetPosition(FPosition);
  FOptions->SetBorderColor(FBorderColor);
  if (FPicture) {
    FOptions->SetWidth(FPicture->GetWidth());
    FOptions->SetHeight(FPicture->GetHeight());
  }
  FOptions->EndUpdate();
  FZoomFactor = AClass.GetZoomFactor();
  Invalidate(true);
}

std::unique_ptr<TKvDestEngineUI> TKvDest::CreateUI() {
  if (!FEngine) return nullptr;
  return FEngine->CreateUI(FOptions.get());
}

void TKvDest::SetSource(TKvSource* ASource) {
  if (ASource == FSource) return;
  if (FSource) {
    FSource->RemoveClient(this);
    FSource = nullptr;
    FPicture = nullptr;
    FSourcePalette = nullptr;
    FSourcePalette2 = nullptr;
    DropFitted();
    Invalidate(true);
  }
  FSource = ASource;
  if (FSource) FSource->AddClient(this);
}

void TKvDest::FreeNotification(TObject* AComponent) {
  if (AComponent == FSource) SetSource(nullptr);
}

void TKvDest::SourceChanged(TBitmap32* APicture, TKvPalette256* APalette, TKvPalette256* APalette2) {
  ++FSourceGeneration;
  FPicture = APicture;
  FSourcePalette = APalette;
  FSourcePalette2 = APalette2;
  DropFitted();
  Invalidate(true);
}

void TKvDest::EndUpdate() {
  --FUpdateCount;
  Invalidate(false);
}

void TKvDest::DropFitted() {
  FFitted.reset();
  FFittedDisplay.reset();
}

void TKvDest::FreeResult() {
  FPreview.reset();
  FResultBitmap.reset();
  FResultPalette->Clear();
  FStreams.reset();
  FFrames.reset();
}

void TKvDest::Invalidate(bool AFittedToo) {
  if (FNotifying) return;
  ++FResultGeneration;
  FreeResult();
  FFitFailed = false;
  if (FPicture) {
    if (AFittedToo) SendFittedChanged(true);
    SendResultChanged(true);
    if (FUpdateCount == 0) UpdateFitted();
  } else {
    SendFittedChanged(false);
    SendResultChanged(false);
  }
}

TKvSize TKvDest::CurrentPixelAspect() const {
  if (FSquarePixels || !FOptions) return TKvSize{1, 1};
  return FOptions->GetPixelAspectRatio();
}

void TKvDest::SendFittedChanged(bool ABusy) {
  TBitmap32* LFitted = (FSquarePixels || !FFittedDisplay) ? FFitted.get() : FFittedDisplay.get();
  FClients.Notify<IKvDestClient>([&](IKvDestClient& C) { C.FittedChanged(FZoom, LFitted, ABusy); });
}

void TKvDest::SendResultChanged(bool ABusy) {
  const TKvSize LAspect = CurrentPixelAspect();
  TKvBitmapList* LFrames = FShowFlicker ? FFrames.get() : nullptr;
  FClients.Notify<IKvDestClient>(
      [&](IKvDestClient& C) { C.ResultChanged(LAspect, FZoom, ABusy ? nullptr : FPreview.get(), LFrames, ABusy); });
}

void TKvDest::AddClient(TObject* AClient) {
  FClients.Add(AClient);
  if (IKvDestClient* LClient = dynamic_cast<IKvDestClient*>(AClient)) {
    const bool LSquare = FSquarePixels || !FOptions;
    LClient->ResultChanged(LSquare ? TKvSize{1, 1} : FOptions->GetPixelAspectRatio(), FZoom,
                           LSquare ? FFitted.get() : FFittedDisplay.get(), nullptr, false);
  }
}

void TKvDest::SetBorderColor(int32_t AColor) {
  FBorderColor = AColor;
  if (!FFitted) return;
  FillOutsideRect(*FFitted, FFittedRect, AColor);
  if (FFittedDisplay) FillOutsideRect(*FFittedDisplay, FDisplayRect, AColor);
  SendFittedChanged(false);
}

void TKvDest::SetUserZoom(int A) {
  if (A <= 0) A = 1;
  if (A == FUserZoom) return;
  FUserZoom = A;
  SetZoom(A * FZoomFactor);
}

void TKvDest::SetZoom(int A) {
  if (A <= 0) A = 1;
  if (A == FZoom) return;
  FZoom = A;
  if (FFitted) SendFittedChanged(false);
  if (FPreview) SendResultChanged(false);
}

void TKvDest::SetSquarePixels(bool A) {
  if (A == FSquarePixels) return;
  FSquarePixels = A;
  if (FFitted) SendFittedChanged(false);
  if (FPreview) SendResultChanged(false);
}

void TKvDest::SetShowFlicker(bool A) {
  if (A == FShowFlicker) return;
  FShowFlicker = A;
  if (FFitted) SendFittedChanged(false);
  if (FPreview) SendResultChanged(false);
}

void TKvDest::UpdateFitted() {
  if (FResizeTask) {
    if (!FResizeTask->Worker->Finished()) return;
    FResizeTask->Worker->WaitFor();
    if (FPicture && FResizeTask->Generation == FSourceGeneration) {
      TKvDestResizeJob& LJob = *FResizeTask->Job;
      if (FResizeTask->Error || !LJob.Fitted) {
        // A fit that fails is not tried again until something changes.
        FFitFailed = true;
        std::exception_ptr LError = FResizeTask->Error;
        if (!LError) LError = std::make_exception_ptr(Exception("Internal error"));
        FResizeTask.reset();
        if (FResizeTimer) FResizeTimer->SetEnabled(false);
        if (FOnError) FOnError(LError);
        return;
      }
      FFitted = std::move(LJob.Fitted);
      FFittedDisplay = std::move(LJob.FittedDisplay);
      FPosition = FResizeTask->Position;
      FPixelAspect = FResizeTask->PixelAspect;
      FFittedRect = LJob.FittedRect;
      FDisplayRect = LJob.DisplayRect;
      FZoom = FUserZoom * FZoomFactor;
      SetBorderColor(FOptions->BorderColor);
    }
    FResizeTask.reset();
    if (FResizeTimer) FResizeTimer->SetEnabled(false);
  }
  if (!FPicture || !FOptions) {
    DropFitted();
    return;
  }
  // A placement chosen while the fit ran makes the fit stale as well.
  if (FFitted && (FOptions->GetWidth() != FFitted->GetWidth() || FOptions->GetHeight() != FFitted->GetHeight() ||
                  FOptions->Position != FPosition || !(FOptions->GetPixelAspectRatio() == FPixelAspect)))
    DropFitted();
  if (FFitted) {
    if (FResizeTimer) FResizeTimer->SetEnabled(false);
    UpdateResult();
    return;
  }
  if (FFitFailed) return;
  if (HasPaletteList()) PaletteList().RemoveGenerated();
  if (FOptions->GetPalette()->Generated) FOptions->GetPalette()->Clear();
  auto LTask = std::make_unique<TResizeTask>();
  LTask->Generation = FSourceGeneration;
  LTask->Position = FOptions->Position;
  LTask->PixelAspect = FOptions->GetPixelAspectRatio();
  LTask->Source = CopyBitmap(*FPicture);
  LTask->Job = std::make_unique<TKvDestResizeJob>(*LTask->Source, FOptions->GetWidth(), FOptions->GetHeight(),
                                                  LTask->PixelAspect, LTask->Position, true);
  if (!FResizeTimer) FResizeTimer = NewStageTimer(FTimers, [this] { UpdateFitted(); });
  // The task becomes the stage's only once its worker runs: a worker that
  // cannot be started leaves no task behind for the timer to poll.
  LaunchTask(FWorkers, *LTask);
  FResizeTask = std::move(LTask);
  FResizeTimer->SetEnabled(true);
}

void TKvDest::UpdateResult() {
  if (FWorkTask) {
    if (FWorkTask->Generation != FResultGeneration) FWorkTask->Cancel();
    const bool LValid = FPicture && FFitted && FWorkTask->Generation == FResultGeneration &&
                        FWorkTask->Job->BorderColor == FBorderColor;
    if (!FWorkTask->Worker->Finished()) {
      if (LValid) {
        int LTotal = 0, LDone = 0;
        FProgress->GetProgress(LTotal, LDone);
        if (LTotal != FLastMax || LDone != FLastPosition) {
          FLastMax = LTotal;
          FLastPosition = LDone;
          FClients.Notify<IKvDestProgressClient>([&](IKvDestProgressClient& C) { C.ProgressChanged(LTotal, LDone); });
        }
      }
      return;
    }
    FWorkTask->Worker->WaitFor();
    if (LValid) {
      TKvDestWorkJob& LJob = *FWorkTask->Job;
      FResultBitmap = std::move(LJob.Result);
      FPreview = (FResultBitmap && FResultBitmap->GetHandle()) ? PictureOfDIB(*FResultBitmap->GetHandle())
                                                               : std::make_unique<TBitmap32>();
      FStreams = std::move(LJob.Streams);
      FFrames = std::move(LJob.Frames);
      FResultPalette->Assign(FWorkTask->Options->GetPalette());
      const int LIndex = FWorkTask->Options->PaletteIndex;
      const int LSecondIndex = FWorkTask->Options->SecondPaletteIndex;
      SendResultChanged(false);
      FNotifying = true;
      try {
        FClients.Notify<IKvDestClient>(
            [&](IKvDestClient& C) { C.ResultPaletteChanged(FResultPalette.get(), LIndex, LSecondIndex); });
      } catch (...) {
        FNotifying = false;
        throw;
      }
      FNotifying = false;
    }
    FWorkTask.reset();
    if (FWorkTimer) FWorkTimer->SetEnabled(false);
  }
  if (!FPicture || !FFitted) {
    FreeResult();
    return;
  }
  if (FPreview) {
    if (FWorkTimer) FWorkTimer->SetEnabled(false);
    return;
  }
  auto LOptions = FEngine->CreateOptions();
  LOptions->Assign(FOptions.get());
  StartWork(CopyBitmap(*FFitted), std::move(LOptions));
}

void TKvDest::StartWork(std::unique_ptr<TBitmap32> ABitmap, std::unique_ptr<TKvDestEngineOptions> AOptions) {
  auto LTask = std::make_unique<TWorkTask>();
  LTask->Generation = FResultGeneration;
  LTask->Options = std::move(AOptions);
  FLastMax = 0;
  FLastPosition = 0;
  FProgress->SetProgress(0, 0);
  LTask->Bitmap = std::move(ABitmap);
  LTask->Palette = CopyPalette(FSourcePalette);
  LTask->Palette2 = CopyPalette(FSourcePalette2);
  LTask->Job = std::make_unique<TKvDestWorkJob>(*LTask->Bitmap, LTask->Palette.get(), LTask->Palette2.get(),
                                                FEngine->ClassType(), *LTask->Options, *FProgress, &LTask->Abort);
  if (!FWorkTimer) FWorkTimer = NewStageTimer(FTimers, [this] { UpdateResult(); });
  LaunchTask(FWorkers, *LTask);
  FWorkTask = std::move(LTask);
  FWorkTimer->SetEnabled(true);
}

bool TKvDest::CanPaste(const TnoxShellDataOffer& AOffer) {
  return TnoxShellDataObjectBitmapFormatHelper::CanLoadFrom(AOffer);
}

void TKvDest::PasteResult(const TnoxShellDataOffer& AOffer) {
  if (FResizeTask || FWorkTask || !FEngine || !FFitted || !CanPaste(AOffer)) return;
  TnoxShellDataObjectBitmapFormatHelper LHelper;
  LHelper.LoadFrom(AOffer);
  std::unique_ptr<TnoxOfferBitmap> LOffered = LHelper.DetachBitmap();
  if (!LOffered || LOffered->Width <= 0 || LOffered->Height <= 0 ||
      static_cast<int64_t>(LOffered->Width) * LOffered->Height != static_cast<int64_t>(LOffered->Pixels.size()))
    return;
  const bool LDouble = LOffered->Width == 2 * FFitted->GetWidth() && LOffered->Height == 2 * FFitted->GetHeight();
  const bool LSame = FResultBitmap && LOffered->Width == FResultBitmap->Width &&
                     LOffered->Height == FResultBitmap->Height;
  if (!LDouble && !LSame) return;
  auto LPicture = std::make_unique<TBitmap32>(LOffered->Width, LOffered->Height);
  for (size_t i = 0; i < LOffered->Pixels.size(); ++i) LPicture->GetBits()[i] = 0xFF000000u | LOffered->Pixels[i];
  if (LDouble) LPicture = ShrinkToHalf(*LPicture);
  ++FResultGeneration;
  FreeResult();
  SendResultChanged(true);
  auto LOptions = FEngine->CreateOptions();
  LOptions->Assign(FOptions.get());
  LOptions->SetLightnessFix(0);
  LOptions->SetSaturationFix(0);
  LOptions->SetDitherMethod(0);
  LOptions->SetHAMPrevLines(0);
  StartWork(std::move(LPicture), std::move(LOptions));
}
