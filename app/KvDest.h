// The result document: the chosen converter engine with its options, the
// fitted copies of the source picture and the result of the conversion. Every
// change of source, options or engine runs two worker stages: stage 1 fits the
// source into the target size, stage 2 converts the fitted picture. Timers of
// the UI thread poll the stages; generation counters drop stale results.
//
// Used from the UI thread only. Timers and workers are handed in, so tests
// fire the timers by hand and decide when a worker runs.
#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "app/KvAppServices.h"
#include "app/KvDestEngines.h"
#include "app/KvSource.h"
#include "core/KvDestEngineOptions.h"
#include "rtl/KvSysUtils.h"

class TBitmap32;
class TKvBitmap;
class TKvBitmapList;
class TKvDestProgress;
class TKvPalette256;
class TKvStreamList;

class IKvDestClient {
public:
  virtual ~IKvDestClient() = default;
  // AFitted is the fitted picture, with the pixel aspect applied unless the
  // document shows square pixels.
  virtual void FittedChanged(int AZoom, TBitmap32* AFitted, bool ABusy) = 0;
  // AResult is nil while busy; AFrames only while flicker is shown.
  virtual void ResultChanged(const TKvSize& APixelAspect, int AZoom, TBitmap32* AResult, TKvBitmapList* AFrames,
                             bool ABusy) = 0;
  virtual void ResultPaletteChanged(TKvPalette256* APalette, int AValue, int ASecondValue) = 0;
};

class IKvDestProgressClient {
public:
  virtual ~IKvDestProgressClient() = default;
  // The total number of steps first, then the steps done.
  virtual void ProgressChanged(int AMax, int APosition) = 0;
};

// Paints the bitmap outside ARect in AColor ($00RRGGBB, opaque); false when
// nothing lies outside.
bool FillOutsideRect(TBitmap32& ABitmap, const TRect& ARect, int32_t AColor);

// Each pixel the mean of a 2 x 2 block in linear light.
std::unique_ptr<TBitmap32> ShrinkToHalf(TBitmap32& ASource);

// The fitting job: the source placed into Width x Height by the placement
// mode (0 fit source in result, 1 fit result in source, 2 stretched,
// 3 centred), scaled by the pixel aspect, resampled with a Lanczos kernel
// onto white.
class TKvDestResizeJob {
public:
  TKvDestResizeJob(TBitmap32& ASource, int AWidth, int AHeight, const TKvSize& APixelAspect, uint8_t APosition,
                   bool AWithDisplay);
  ~TKvDestResizeJob();
  void Run();

  std::unique_ptr<TBitmap32> Fitted;
  std::unique_ptr<TBitmap32> FittedDisplay;
  TRect FittedRect;
  TRect DisplayRect;

private:
  TBitmap32& FSource;
  int FWidth;
  int FHeight;
  TKvSize FPixelAspect;
  uint8_t FPosition;
  bool FWithDisplay;
};

// The converting job: the engine class's Convert on private copies.
class TKvDestWorkJob {
public:
  TKvDestWorkJob(TBitmap32& ABitmap, TKvPalette256* APalette, TKvPalette256* APalette2,
                 const TKvDestEngineClass& AEngineClass, TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                 bool* AAbort);
  ~TKvDestWorkJob();
  // Raises what the converter raised. A failed conversion keeps no result
  // and no output streams: half-made files are never offered for saving.
  void Run();

  std::unique_ptr<TKvBitmap> Result;  // mirror flag cleared, frames taken out
  std::unique_ptr<TKvBitmapList> Frames;
  std::unique_ptr<TKvStreamList> Streams;
  int32_t BorderColor;

private:
  TBitmap32& FBitmap;
  TKvPalette256* FPalette;
  TKvPalette256* FPalette2;
  const TKvDestEngineClass& FEngineClass;
  TKvDestEngineOptions& FOptions;
  TKvDestProgress& FProgress;
  bool* FAbort;
};

class TKvDest : public TObject, public IKvSourceClient, public IKvFreeNotification {
public:
  TKvDest(TKvTimerFactory& ATimers, TKvWorkerLauncher& AWorkers);
  ~TKvDest() override;

  void SetEngine(const TKvDestEngineClass& AClass);
  // The engine's panel description, bound to the document's options.
  std::unique_ptr<TKvDestEngineUI> CreateUI();
  void SetSource(TKvSource* ASource);

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  // Drops the result (and, with AFittedToo, tells that the fit is redone)
  // and starts the stages again.
  void Invalidate(bool AFittedToo);
  // Frees the fitted pictures so that stage 1 fits again.
  void DropFitted();
  void SetBorderColor(int32_t AColor);
  void SetUserZoom(int A);
  void SetZoom(int A);
  void SetSquarePixels(bool A);
  void SetShowFlicker(bool A);
  bool GetShowFlicker() const { return FShowFlicker; }
  bool HasFlickerFrames() const { return FFrames != nullptr; }

  // True when the offer holds a bitmap.
  static bool CanPaste(const TnoxShellDataOffer& AOffer);
  // Re-encodes a pasted picture of the result's size (or twice the fitted
  // size) into the mode without new dithering.
  void PasteResult(const TnoxShellDataOffer& AOffer);

  void AddClient(TObject* AClient);
  void RemoveClient(TObject* AClient) { FClients.Remove(AClient); }

  // Stage 1 and stage 2; also the handlers of the two timers.
  void UpdateFitted();
  void UpdateResult();

  // A fit that failed reaches the user through this handler, once per
  // failure; the fit is tried again after the next change.
  void SetOnError(std::function<void(std::exception_ptr)> AHandler) { FOnError = std::move(AHandler); }

  // IKvSourceClient
  void PictureChanged(TBitmap32*) override {}
  void SourceChanged(TBitmap32* APicture, TKvPalette256* APalette, TKvPalette256* APalette2) override;
  // IKvFreeNotification
  void FreeNotification(TObject* AComponent) override;

  int GetZoom() const { return FZoom; }
  int GetUserZoom() const { return FUserZoom; }
  int GetZoomFactor() const { return FZoomFactor; }
  bool GetSquarePixels() const { return FSquarePixels; }
  TBitmap32* GetFitted() const { return FFitted.get(); }
  TBitmap32* GetFittedDisplay() const { return FFittedDisplay.get(); }
  TBitmap32* GetPreview() const { return FPreview.get(); }
  TKvBitmap* GetResultBitmap() const { return FResultBitmap.get(); }
  TKvPalette256* GetResultPalette() const { return FResultPalette.get(); }
  TKvStreamList* GetStreams() const { return FStreams.get(); }
  TKvBitmapList* GetFrames() const { return FFrames.get(); }
  TKvDestEngineOptions* GetOptions() const { return FOptions.get(); }
  TKvDestEngine* GetEngine() const { return FEngine.get(); }
  uint8_t GetPosition() const { return FPosition; }
  const TKvSize& GetPixelAspect() const { return FPixelAspect; }
  int32_t GetBorderColor() const { return FBorderColor; }
  TKvSource* GetSource() const { return FSource; }
  int32_t GetSourceGeneration() const { return FSourceGeneration; }
  int32_t GetResultGeneration() const { return FResultGeneration; }
  bool IsFitting() const { return FResizeTask != nullptr; }
  bool IsConverting() const { return FWorkTask != nullptr; }

private:
  struct TResizeTask;
  struct TWorkTask;

  void FreeResult();
  void StartWork(std::unique_ptr<TBitmap32> ABitmap, std::unique_ptr<TKvDestEngineOptions> AOptions);
  void SendFittedChanged(bool ABusy);
  void SendResultChanged(bool ABusy);
  TKvSize CurrentPixelAspect() const;

  TKvTimerFactory& FTimers;
  TKvWorkerLauncher& FWorkers;
  int FZoom = 1;
  int FUserZoom = 1;
  int FZoomFactor = 1;
  bool FSquarePixels = false;
  bool FShowFlicker = false;
  int32_t FSourceGeneration = 0;
  TBitmap32* FPicture = nullptr;
  TKvPalette256* FSourcePalette = nullptr;
  TKvPalette256* FSourcePalette2 = nullptr;
  std::unique_ptr<TBitmap32> FFitted;
  std::unique_ptr<TBitmap32> FFittedDisplay;
  uint8_t FPosition = 1;
  int32_t FBorderColor = 0;
  TKvSize FPixelAspect{1, 1};
  TRect FFittedRect;
  TRect FDisplayRect;
  int32_t FResultGeneration = 0;
  std::unique_ptr<TBitmap32> FPreview;
  std::unique_ptr<TKvBitmap> FResultBitmap;
  std::unique_ptr<TKvPalette256> FResultPalette;
  std::unique_ptr<TKvStreamList> FStreams;
  std::unique_ptr<TKvBitmapList> FFrames;
  std::unique_ptr<TKvDestEngineOptions> FOptions;
  int FUpdateCount = 0;
  bool FNotifying = false;
  bool FFitFailed = false;
  std::unique_ptr<TKvDestProgress> FProgress;
  int FLastMax = 0;
  int FLastPosition = 0;
  TKvClientList FClients;
  TKvSource* FSource = nullptr;
  std::unique_ptr<TKvDestEngine> FEngine;
  std::function<void(std::exception_ptr)> FOnError;
  std::unique_ptr<TKvTimer> FResizeTimer;
  std::unique_ptr<TKvTimer> FWorkTimer;
  std::unique_ptr<TResizeTask> FResizeTask;
  std::unique_ptr<TWorkTask> FWorkTask;
};
