#include "app/qt/KvViews.h"

#include <QApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QWheelEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/KvControls.h"
#include "app/qt/KvQtPictures.h"
#include "bitmap/B32.h"
#include "rtl/KvSysUtils.h"

// ---- scroll control ----

TKvScrollControl::TKvScrollControl(QWidget* AParent) : QAbstractScrollArea(AParent) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::Box);
  resize(500, height());
}

bool TKvScrollControl::HorzBarVisible() const {
  return horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
}
bool TKvScrollControl::VertBarVisible() const { return verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn; }
int TKvScrollControl::GetHorzPos() const { return HorzBarVisible() ? horizontalScrollBar()->value() : 0; }
int TKvScrollControl::GetVertPos() const { return VertBarVisible() ? verticalScrollBar()->value() : 0; }

void TKvScrollControl::SetHorzPos(int A) {
  if (!HorzBarVisible()) return;
  horizontalScrollBar()->setValue(std::clamp(A, 0, horizontalScrollBar()->maximum()));
}

void TKvScrollControl::SetVertPos(int A) {
  if (!VertBarVisible()) return;
  verticalScrollBar()->setValue(std::clamp(A, 0, verticalScrollBar()->maximum()));
}

void TKvScrollControl::scrollContentsBy(int ADX, int ADY) {
  if (FUpdating) {
    FBufferValid = false;
    viewport()->update();
    return;
  }
  ScrollBy(ADX, ADY);
}

void TKvScrollControl::wheelEvent(QWheelEvent* AEvent) {
  const QPoint LDelta = AEvent->angleDelta();
  if (LDelta.y() != 0) WheelScroll(1, LDelta.y());
  if (LDelta.x() != 0) WheelScroll(0, LDelta.x());
  AEvent->accept();
}

void TKvScrollControl::WheelScroll(int AAxis, int ADelta) {
  const bool LBar = AAxis == 1 ? VertBarVisible() : HorzBarVisible();
  if (!LBar) return;
  QScrollBar* B = AAxis == 1 ? verticalScrollBar() : horizontalScrollBar();
  const int LPage = B->pageStep();
  int LLines = QApplication::wheelScrollLines();
  LLines = LLines < 0 ? LPage : LLines * WheelLineSize();
  if (LLines > LPage) LLines = LPage;
  // A pause or a change of direction drops what was left of earlier turns.
  const qint64 LNow = QDateTime::currentMSecsSinceEpoch();
  int& LRemainder = FWheelRemainder[AAxis];
  if (LNow - FWheelLastTick[AAxis] > 2 * QApplication::doubleClickInterval() ||
      (LRemainder > 0) != (ADelta > 0))
    LRemainder = 0;
  FWheelLastTick[AAxis] = LNow;
  if (LLines == 0) {
    LRemainder = 0;
    return;
  }
  LRemainder += ADelta;
  const int LPixels = LRemainder * LLines / 120;
  LRemainder -= LPixels * 120 / LLines;
  if (AAxis == 1)
    SetVertPos(GetVertPos() - LPixels);
  else
    SetHorzPos(GetHorzPos() - LPixels);
}

void TKvScrollControl::ScrollBy(int, int) {
  FBufferValid = false;
  viewport()->update();
}

QPoint TKvScrollControl::ContentToClient(QPoint P) const {
  int x = P.x(), y = P.y();
  if (HorzBarVisible())
    x -= GetHorzPos();
  else if (FCenterHorz)
    x += (ClientWidth() - ContentWidth()) / 2;
  if (VertBarVisible())
    y -= GetVertPos();
  else if (FCenterVert)
    y += (ClientHeight() - ContentHeight()) / 2;
  return QPoint(x, y);
}

QPoint TKvScrollControl::ClientToContent(QPoint P) const {
  int x = P.x(), y = P.y();
  if (HorzBarVisible())
    x += GetHorzPos();
  else if (FCenterHorz)
    x -= (ClientWidth() - ContentWidth()) / 2;
  if (VertBarVisible())
    y += GetVertPos();
  else if (FCenterVert)
    y -= (ClientHeight() - ContentHeight()) / 2;
  return QPoint(x, y);
}

void TKvScrollControl::UpdateScrollBars() {
  if (FUpdating) return;
  FUpdating = true;
  try {
    const int LContentW = ContentWidth(), LContentH = ContentHeight();
    if (LContentW == 0 && LContentH == 0) {
      setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      FHorzShown = FVertShown = false;
    } else {
      const int LBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
      int CW = viewport()->width(), CH = viewport()->height();
      double LRelV = -1, LRelH = -1;
      if (VertBarVisible()) {
        CW += LBar;
        QScrollBar* b = verticalScrollBar();
        const int LMax = b->maximum() + b->pageStep();
        if (LMax > 0 && FVertShown) LRelV = double(b->value()) / LMax;
      }
      if (HorzBarVisible()) {
        CH += LBar;
        QScrollBar* b = horizontalScrollBar();
        const int LMax = b->maximum() + b->pageStep();
        if (LMax > 0 && FHorzShown) LRelH = double(b->value()) / LMax;
      }
      if (CW > 0 && CH > 0) {
        bool LNeedV = LContentH > CH;
        if (LNeedV) CW -= LBar;
        const bool LNeedH = LContentW > CW;
        if (LNeedH) CH -= LBar;
        if (!LNeedV && LContentH > CH) {
          LNeedV = true;
          CW -= LBar;
        }
        setVerticalScrollBarPolicy(LNeedV ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(LNeedH ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        FVertShown = LNeedV && isVisible();
        FHorzShown = LNeedH && isVisible();
        if (LNeedV) {
          QScrollBar* b = verticalScrollBar();
          b->setRange(0, std::max(0, LContentH - CH));
          b->setPageStep(CH);
          b->setSingleStep(10);
          b->setValue(LRelV >= 0 ? static_cast<int>(Round(LContentH * LRelV)) : (LContentH - CH) / 2);
        }
        if (LNeedH) {
          QScrollBar* b = horizontalScrollBar();
          b->setRange(0, std::max(0, LContentW - CW));
          b->setPageStep(CW);
          b->setSingleStep(10);
          b->setValue(LRelH >= 0 ? static_cast<int>(Round(LContentW * LRelH)) : (LContentW - CW) / 2);
        }
      }
    }
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
  FBufferValid = false;
  viewport()->update();
}

void TKvScrollControl::Invalidate() {
  FBufferValid = false;
  viewport()->update();
}

void TKvScrollControl::resizeEvent(QResizeEvent* AEvent) {
  QAbstractScrollArea::resizeEvent(AEvent);
  FBufferValid = false;
  UpdateScrollBars();
}

void TKvScrollControl::showEvent(QShowEvent* AEvent) {
  QAbstractScrollArea::showEvent(AEvent);
  // Bars set up while hidden start centred now that the user sees them.
  if ((HorzBarVisible() && !FHorzShown) || (VertBarVisible() && !FVertShown)) UpdateScrollBars();
}

// ---- picture view ----

TKvSourceDestImage::TKvSourceDestImage(QWidget* AParent) : TKvScrollControl(AParent) {
  FCenterHorz = true;
  FCenterVert = true;
}

int TKvSourceDestImage::ContentWidth() const { return FPicture ? FPicture->GetWidth() : 0; }
int TKvSourceDestImage::ContentHeight() const { return FPicture ? FPicture->GetHeight() : 0; }

void TKvSourceDestImage::SetPicture(TBitmap32* ABitmap) {
  if (ABitmap == FPicture) return;
  FPicture = ABitmap;
  FBufferValid = false;
  UpdateScrollBars();
  Invalidate();
}

void TKvSourceDestImage::ScrollBy(int, int) { Invalidate(); }

QPoint TKvSourceDestImage::PictureOrigin() const {
  if (!FPicture) return QPoint();
  return QPoint(HorzBarVisible() ? -GetHorzPos() : (ClientWidth() - FPicture->GetWidth()) / 2,
                VertBarVisible() ? -GetVertPos() : (ClientHeight() - FPicture->GetHeight()) / 2);
}

void TKvSourceDestImage::RenderBuffer() {
  const int W = std::max(1, ClientWidth()), H = std::max(1, ClientHeight());
  if (FBuffer.width() != W || FBuffer.height() != H) FBuffer = QImage(W, H, QImage::Format_RGB32);
  FBuffer.fill(0xFFFFFFFFu);
  QPainter p(&FBuffer);
  for (int i = 0; i <= (H + 7) / 8; ++i)
    for (int j = 0; j <= (W + 7) / 8; ++j)
      if (i % 2 == j % 2) p.fillRect(j * 8, i * 8, 8, 8, QColor(0xEE, 0xEE, 0xEE));
  if (FPicture && FPicture->GetWidth() > 0 && FPicture->GetHeight() > 0)
    p.drawImage(PictureOrigin(), Bitmap32View(*FPicture));
  FBufferValid = true;
}

bool TKvSourceDestImage::viewportEvent(QEvent* AEvent) {
  if (AEvent->type() == QEvent::Paint) {
    try {
      RenderBuffer();
      QPainter p(viewport());
      p.drawImage(0, 0, FBuffer);
    } catch (...) {
      // A failed composition leaves the window as it was.
    }
    return true;
  }
  return TKvScrollControl::viewportEvent(AEvent);
}

// ---- views of the result document ----

TKvBaseDestImage::TKvBaseDestImage(QWidget* AParent) : TKvSourceDestImage(AParent) {}

TKvBaseDestImage::~TKvBaseDestImage() {
  SetScrollLink(nullptr);
  SetDest(nullptr);
}

void TKvBaseDestImage::SetDest(TKvDest* ADest) {
  if (ADest == FDest) return;
  SetPicture(nullptr);
  if (FDest) FDest->RemoveClient(this);
  FDest = ADest;
  if (FDest) FDest->AddClient(this);
}

void TKvBaseDestImage::SetScrollLink(TKvBaseDestImageScroll* ALink) {
  if (ALink == FScrollLink) return;
  if (FScrollLink) FScrollLink->Remove(this);
  FScrollLink = ALink;
  if (FScrollLink) FScrollLink->Add(this);
}

void TKvBaseDestImage::ScrollBy(int ADX, int ADY) {
  TKvSourceDestImage::ScrollBy(ADX, ADY);
  if (!FScrollLink || Syncing) return;
  Syncing = true;
  try {
    FScrollLink->Sync(GetHorzPos(), GetVertPos());
  } catch (...) {
    Syncing = false;
    throw;
  }
  Syncing = false;
}

void TKvBaseDestImage::RenderBuffer() {
  TKvSourceDestImage::RenderBuffer();
  if (!FBusy) return;
  QPainter p(&FBuffer);
  p.setFont(font());
  const QString LText = "Please, wait...";
  const QFontMetrics LMetrics(font());
  const int TW = LMetrics.horizontalAdvance(LText), TH = LMetrics.height();
  QRect LBox(0, 0, TW + 100, 2 * TH + 8);
  LBox.moveTo((FBuffer.width() - LBox.width()) / 2, (FBuffer.height() - LBox.height()) / 2);
  p.fillRect(LBox, Qt::white);
  p.setPen(Qt::black);
  const int x = LBox.left() + (LBox.width() - TW) / 2;
  const int y = FProgressPosition != 0 ? LBox.top() + 4 : LBox.top() + (LBox.height() - TH) / 2;
  p.drawText(QRect(x, y, TW, TH), Qt::AlignLeft | Qt::AlignTop, LText);
  if (FProgressPosition != 0) {
    if (!FProgressDrawer) {
      FProgressDrawer = std::make_unique<TnoxShellDrawProgressBar>();
      FProgressDrawer->OpenTheme(this);
    }
    const int LRight = LBox.left() + LBox.width(), LBottom = LBox.top() + LBox.height();
    FProgressDrawer->Draw(p, TnoxRect{LBox.left() + 4, LBottom - 4 - TH, LRight - 4, LBottom - 4}, 0, FProgressMax,
                          FProgressPosition, 0, true, false, false);
  }
}

TKvBaseDestImageScroll::~TKvBaseDestImageScroll() {
  for (TKvBaseDestImage* LView : std::vector<TKvBaseDestImage*>(FViews)) LView->SetScrollLink(nullptr);
}

void TKvBaseDestImageScroll::Add(TKvBaseDestImage* AView) {
  if (std::find(FViews.begin(), FViews.end(), AView) == FViews.end()) FViews.push_back(AView);
}

void TKvBaseDestImageScroll::Remove(TKvBaseDestImage* AView) {
  FViews.erase(std::remove(FViews.begin(), FViews.end(), AView), FViews.end());
}

void TKvBaseDestImageScroll::Sync(int AHorzPos, int AVertPos) {
  for (TKvBaseDestImage* LView : FViews)
    if (!LView->Syncing) {
      LView->Syncing = true;
      LView->SetHorzPos(AHorzPos);
      LView->SetVertPos(AVertPos);
      LView->Syncing = false;
    }
}

void TKvDestOriginalImage::FittedChanged(int AZoom, TBitmap32* AFitted, bool ABusy) {
  if (AFitted) {
    if (!FZoomedPicture) FZoomedPicture = std::make_unique<TBitmap32>();
    ZoomBitmap32(*FZoomedPicture, *AFitted, AZoom);
    FPicture = nullptr;
    SetPicture(FZoomedPicture.get());
    FBusy = false;
  } else if (!ABusy) {
    SetPicture(nullptr);
    FZoomedPicture.reset();
    FBusy = false;
  } else {
    FBusy = true;
  }
  UpdateScrollBars();
  Invalidate();
}

bool IsDwmFlushAvailable() { return true; }

TKvDestImage::TKvDestImage(QWidget* AParent) : TKvBaseDestImage(AParent) {}

TKvDestImage::~TKvDestImage() {
  FreeFlickBox();
  SetScrollLink(nullptr);
  SetDest(nullptr);
}

void TKvDestImage::FreeFlickBox() {
  delete FFlickBox;
  FFlickBox = nullptr;
}

void TKvDestImage::ResultChanged(const TKvSize& APixelAspect, int AZoom, TBitmap32* AResult, TKvBitmapList* AFrames,
                                 bool ABusy) {
  FreeFlickBox();
  if (AResult) {
    int W = AResult->GetWidth(), H = AResult->GetHeight();
    const int AX = APixelAspect.Width, AY = APixelAspect.Height;
    if (AX != AY && AX > 0 && AY > 0) {
      const int m = std::min(AX, AY);
      W = static_cast<int>(Round(double(W * AY) / m));
      H = static_cast<int>(Round(double(H * AX) / m));
    }
    if (!FZoomedPicture) FZoomedPicture = std::make_unique<TBitmap32>();
    ZoomToSize(W, H, *FZoomedPicture, *AResult, std::max(1, AZoom));
    FPicture = nullptr;
    SetPicture(FZoomedPicture.get());
    if (AFrames && AFrames->GetCount() > 0 && IsDwmFlushAvailable()) {
      FFlickBox = new TKvFlickBox(viewport(), W, H, AFrames, std::max(1, AZoom));
      FFlickBox->OnDblClick = [this] {
        if (OnDblClick) OnDblClick();
      };
      FFlickBox->show();
      FFlickBox->StartThread();
    }
    FBusy = false;
  } else {
    if (!ABusy) {
      SetPicture(nullptr);
      FZoomedPicture.reset();
    }
    FBusy = ABusy;
    FProgressPosition = 0;
    FProgressMax = 0;
  }
  UpdateScrollBars();
  Invalidate();
  PlaceFlickBox();
}

void TKvDestImage::ProgressChanged(int AMax, int APosition) {
  FProgressMax = AMax;
  FProgressPosition = APosition;
  Invalidate();
}

void TKvDestImage::PlaceFlickBox() {
  if (!FFlickBox || !FPicture) return;
  FFlickBox->move(PictureOrigin());
}

void TKvDestImage::resizeEvent(QResizeEvent* AEvent) {
  TKvBaseDestImage::resizeEvent(AEvent);
  PlaceFlickBox();
}

void TKvDestImage::ScrollBy(int ADX, int ADY) {
  TKvBaseDestImage::ScrollBy(ADX, ADY);
  PlaceFlickBox();
}

void TKvDestImage::mouseDoubleClickEvent(QMouseEvent* AEvent) {
  if (OnDblClick) OnDblClick();
  AEvent->accept();
}

// ---- flicker box ----

TKvFlickBox::TKvFlickBox(QWidget* AParent, int AWidth, int AHeight, TKvBitmapList* AFrames, int AZoom)
    : QWidget(AParent) {
  resize(AWidth * AZoom, AHeight * AZoom);
  setAttribute(Qt::WA_OpaquePaintEvent);
  for (int i = 0; AFrames && i < AFrames->GetCount(); ++i) {
    TKvBitmap* LFrame = AFrames->GetBitmap(i);
    std::unique_ptr<TBitmap32> LNative = LFrame->ToBitmap32(1, 1);
    auto LShown = std::make_unique<TBitmap32>();
    if (LNative->GetWidth() == AWidth && LNative->GetHeight() == AHeight)
      ZoomBitmap32(*LShown, *LNative, AZoom);
    else
      ZoomToSize(AWidth, AHeight, *LShown, *LNative, AZoom);
    FFrames.push_back(std::move(LShown));
  }
}

TKvFlickBox::~TKvFlickBox() { StopThread(); }

int TKvFlickBox::FrameInterval() {
  double LRate = 60.0;
  if (QScreen* LScreen = QGuiApplication::primaryScreen())
    if (LScreen->refreshRate() >= 20) LRate = LScreen->refreshRate();
  return std::max(1, static_cast<int>(std::lround(1000.0 / LRate)));
}

void TKvFlickBox::StartThread() {
  StopThread();
  {
    std::lock_guard<std::mutex> LGuard(FLock);
    FTerminated = false;
  }
  FThread = std::thread([this] { Execute(); });
}

void TKvFlickBox::StopThread() {
  if (!FThread.joinable()) return;
  {
    std::lock_guard<std::mutex> LGuard(FLock);
    FTerminated = true;
  }
  FWake.notify_all();
  FThread.join();
}

void TKvFlickBox::Execute() {
  const int LCount = GetFrameCount();
  const auto LInterval = std::chrono::milliseconds(FrameInterval());
  int i = 0;
  std::unique_lock<std::mutex> LGuard(FLock);
  while (!FTerminated) {
    FWake.wait_for(LGuard, LInterval, [this] { return FTerminated; });
    if (FTerminated || LCount == 0) continue;
    const int LIndex = i;
    // The GUI thread shows the frame; a box freed meanwhile drops the call.
    QMetaObject::invokeMethod(this, [this, LIndex] { ShowFrame(LIndex); }, Qt::QueuedConnection);
    if (++i >= LCount) i = 0;
  }
}

void TKvFlickBox::ShowFrame(int AIndex) {
  if (AIndex < 0 || AIndex >= GetFrameCount()) return;
  FShown = AIndex;
  update();
}

void TKvFlickBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (FShown >= 0 && FShown < GetFrameCount())
    p.drawImage(0, 0, Bitmap32View(*FFrames[static_cast<size_t>(FShown)]));
  else
    p.fillRect(rect(), palette().color(QPalette::Window));
}

void TKvFlickBox::mouseDoubleClickEvent(QMouseEvent* AEvent) {
  if (OnDblClick) OnDblClick();
  AEvent->accept();
}
