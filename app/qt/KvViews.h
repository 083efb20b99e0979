// The preview views: a picture on a checkerboard, scrolled with both bars and
// the wheel and centred when smaller than the window; the two views of the
// main window that follow the result document (the fitted source and the
// result at its zoom and native pixel aspect, with "Please, wait..." and a
// progress bar over a busy view); the link that scrolls them together; and
// the flicker box that shows a result's frames in turn.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/KvDest.h"
#include "app/qt/KvControls.h"
#include "core/KvBitmap.h"
#include "shell/qt/noxShellProgressUtils.h"

class TBitmap32;

class TKvScrollControl : public QAbstractScrollArea, public TObject {
public:
  explicit TKvScrollControl(QWidget* AParent);

  bool HorzBarVisible() const;
  bool VertBarVisible() const;
  int GetHorzPos() const;
  int GetVertPos() const;
  void SetHorzPos(int A);
  void SetVertPos(int A);
  virtual void ScrollBy(int ADX, int ADY);
  virtual int ContentWidth() const { return 0; }
  virtual int ContentHeight() const { return 0; }
  QPoint ContentToClient(QPoint P) const;
  QPoint ClientToContent(QPoint P) const;
  void UpdateScrollBars();
  void Invalidate();
  int ClientWidth() const { return viewport()->width(); }
  int ClientHeight() const { return viewport()->height(); }

protected:
  void resizeEvent(QResizeEvent* AEvent) override;
  void showEvent(QShowEvent* AEvent) override;
  void scrollContentsBy(int ADX, int ADY) override;
  void wheelEvent(QWheelEvent* AEvent) override;
  // Pixels one wheel line scrolls.
  virtual int WheelLineSize() const { return 8; }

  QImage FBuffer;
  bool FBufferValid = false;
  bool FCenterHorz = false;
  bool FCenterVert = false;

private:
  void WheelScroll(int AAxis, int ADelta);
  bool FUpdating = false;
  // A bar counts as existing (and keeps its relative position) only once it
  // was laid out on screen: bars computed while the view was hidden were
  // sized for a viewport the user never saw.
  bool FHorzShown = false;
  bool FVertShown = false;
  int FWheelRemainder[2] = {0, 0};
  qint64 FWheelLastTick[2] = {0, 0};
};

class TKvSourceDestImage : public TKvScrollControl {
public:
  explicit TKvSourceDestImage(QWidget* AParent);
  void SetPicture(TBitmap32* ABitmap);
  TBitmap32* GetPicture() const { return FPicture; }
  int ContentWidth() const override;
  int ContentHeight() const override;
  void ScrollBy(int ADX, int ADY) override;
  // Composes the client area into the buffer.
  virtual void RenderBuffer();
  const QImage& GetBuffer() const { return FBuffer; }
  // Where the picture's top-left corner lies in the client area.
  QPoint PictureOrigin() const;

protected:
  bool viewportEvent(QEvent* AEvent) override;

  TBitmap32* FPicture = nullptr;
};

class TKvBaseDestImageScroll;

class TKvBaseDestImage : public TKvSourceDestImage, public IKvDestClient, public IKvWantDest {
public:
  explicit TKvBaseDestImage(QWidget* AParent);
  ~TKvBaseDestImage() override;

  void SetDest(TKvDest* ADest) override;
  TKvDest* GetDest() const { return FDest; }
  void SetScrollLink(TKvBaseDestImageScroll* ALink);
  void ScrollBy(int ADX, int ADY) override;
  void RenderBuffer() override;
  bool IsBusy() const { return FBusy; }
  bool Syncing = false;

  void FittedChanged(int, TBitmap32*, bool) override {}
  void ResultChanged(const TKvSize&, int, TBitmap32*, TKvBitmapList*, bool) override {}
  void ResultPaletteChanged(TKvPalette256*, int, int) override {}

protected:
  TKvDest* FDest = nullptr;
  bool FBusy = false;
  std::unique_ptr<TBitmap32> FZoomedPicture;
  TKvBaseDestImageScroll* FScrollLink = nullptr;
  std::unique_ptr<TnoxShellDrawProgressBar> FProgressDrawer;
  int FProgressPosition = 0;
  int FProgressMax = 0;
};

class TKvBaseDestImageScroll {
public:
  ~TKvBaseDestImageScroll();
  void Add(TKvBaseDestImage* AView);
  void Remove(TKvBaseDestImage* AView);
  void Sync(int AHorzPos, int AVertPos);

private:
  std::vector<TKvBaseDestImage*> FViews;
};

class TKvDestOriginalImage : public TKvBaseDestImage {
public:
  using TKvBaseDestImage::TKvBaseDestImage;
  void FittedChanged(int AZoom, TBitmap32* AFitted, bool ABusy) override;
};

// True where the flicker display can pace its frames.
bool IsDwmFlushAvailable();

class TKvFlickBox;

class TKvDestImage : public TKvBaseDestImage, public IKvDestProgressClient {
public:
  explicit TKvDestImage(QWidget* AParent);
  ~TKvDestImage() override;
  void ResultChanged(const TKvSize& APixelAspect, int AZoom, TBitmap32* AResult, TKvBitmapList* AFrames,
                     bool ABusy) override;
  void ProgressChanged(int AMax, int APosition) override;
  void PlaceFlickBox();
  TKvFlickBox* GetFlickBox() const { return FFlickBox; }
  int GetProgressPosition() const { return FProgressPosition; }
  int GetProgressMax() const { return FProgressMax; }
  std::function<void()> OnDblClick;

protected:
  void resizeEvent(QResizeEvent* AEvent) override;
  void ScrollBy(int ADX, int ADY) override;
  void mouseDoubleClickEvent(QMouseEvent* AEvent) override;

private:
  void FreeFlickBox();
  TKvFlickBox* FFlickBox = nullptr;
};

// A control over the result view that shows the flicker frames in turn, one
// per display refresh. The pacing thread only tells the GUI thread which
// frame is due; all painting happens on the GUI thread.
class TKvFlickBox : public QWidget {
public:
  TKvFlickBox(QWidget* AParent, int AWidth, int AHeight, TKvBitmapList* AFrames, int AZoom);
  ~TKvFlickBox() override;

  int GetFrameCount() const { return static_cast<int>(FFrames.size()); }
  TBitmap32* GetFrame(int AIndex) const { return FFrames.at(static_cast<size_t>(AIndex)).get(); }
  // The frame that is shown, -1 before the first.
  int GetShownFrame() const { return FShown; }
  // Shows the frame the pacing thread asked for; a frame outside the list is
  // not shown.
  void ShowFrame(int AIndex);
  void StartThread();
  void StopThread();
  bool IsThreadRunning() const { return FThread.joinable(); }
  // Pacing interval in milliseconds (one display refresh).
  static int FrameInterval();
  std::function<void()> OnDblClick;

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* AEvent) override;

private:
  void Execute();
  std::vector<std::unique_ptr<TBitmap32>> FFrames;
  int FShown = -1;
  std::thread FThread;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FTerminated = false;
};
