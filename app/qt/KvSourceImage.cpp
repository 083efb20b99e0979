#include "app/qt/KvSourceImage.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/KvControls.h"
#include "app/qt/KvQtPictures.h"
#include "bitmap/B32.h"
#include "core/KvColor.h"
#include "core/KvThreadJob.h"

namespace {

void PrepareGrayRows(const TBitmap32& ASource, TBitmap32& AGray, TBitmap32& ADark, int AFirst, int ALast) {
  for (int y = AFirst; y <= ALast; ++y) {
    const TColor32* S = ASource.GetScanLine(y);
    TColor32* G = AGray.GetScanLine(y);
    TColor32* D = ADark.GetScanLine(y);
    for (int x = 0; x < ASource.GetWidth(); ++x) {
      const uint8_t r = (S[x] >> 16) & 0xFF, g = (S[x] >> 8) & 0xFF, b = S[x] & 0xFF;
      TKvColor C;
      C.InitRGB(r, g, b);
      TKvLinRGBColor L = C.GetLab();
      L.R = std::max(L.R - 25.0, 0.0);
      C.SetLab(L);
      const uint32_t v = C.GetStdGray();
      G[x] = 0xFF000000u | (v << 16) | (v << 8) | v;
      TKvColor E;
      E.InitRGB(r, g, b);
      TKvLinRGBColor M = E.GetLab();
      M.R = std::max(M.R - 10.0, 0.0);
      E.SetLab(M);
      const TKvStdRGBColor c = E.GetStdRGB();
      D[x] = 0xFF000000u | (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
    }
  }
}

class TPrepareGrayJob : public TKvJob {
public:
  TPrepareGrayJob(TKvJobList* AList, const TBitmap32& S, TBitmap32& G, TBitmap32& D, int AFirst, int ALast)
      : TKvJob(AList), FS(S), FG(G), FD(D), FFirst(AFirst), FLast(ALast) {}
  void Execute() override { PrepareGrayRows(FS, FG, FD, FFirst, FLast); }

private:
  const TBitmap32& FS;
  TBitmap32& FG;
  TBitmap32& FD;
  int FFirst, FLast;
};

}  // namespace

TKvSourceImageView::TKvSourceImageView(QWidget* AParent) : TKvSourceDestImage(AParent) {
  viewport()->setMouseTracking(true);
}

TKvSourceImageView::~TKvSourceImageView() { SetSource(nullptr); }

void TKvSourceImageView::SetSource(TKvSource* ASource) {
  if (ASource == FSource) return;
  SetPicture(nullptr);
  if (FSource) FSource->RemoveClient(this);
  FSource = ASource;
  if (FSource) FSource->AddClient(this);
}

void TKvSourceImageView::PictureChanged(TBitmap32* APicture) {
  FGrayImage.reset();
  FDarkImage.reset();
  FDisplayValid = false;
  FPicture = nullptr;
  SetPicture(APicture);
  FRegion = APicture ? TRect{0, 0, APicture->GetWidth(), APicture->GetHeight()} : TRect{};
}

void TKvSourceImageView::SetRegion(const TRect& ARect) {
  FRegion = ARect;
  ChangedRegion();
}

void TKvSourceImageView::SetTarget(int AWidth, int AHeight, int AX, int AY, uint8_t APosition, int ACellWidth,
                               int ACellHeight) {
  FTargetWidth = AWidth;
  FTargetHeight = AHeight;
  FAX = std::max(1, AX);
  FAY = std::max(1, AY);
  FPosition = APosition;
  FCellWidth = ACellWidth;
  FCellHeight = ACellHeight;
  ChangedRegion();
}

void TKvSourceImageView::ChangedRegion() {
  FDisplayValid = false;
  Invalidate();
}

void TKvSourceImageView::PrepareGrayImages() {
  if (FGrayImage || !FPicture) return;
  const int W = FPicture->GetWidth(), H = FPicture->GetHeight();
  FGrayImage = std::make_unique<TBitmap32>();
  FDarkImage = std::make_unique<TBitmap32>();
  FGrayImage->SetSize(W, H);
  FDarkImage->SetSize(W, H);
  if (ProcessorCount < 2 || H < 2) {
    PrepareGrayRows(*FPicture, *FGrayImage, *FDarkImage, 0, H - 1);
    return;
  }
  TKvJobList LJobs;
  TKvRangeSplitter LSplitter;
  LSplitter.Init(H, 0);
  int LFirst = 0, LLast = 0;
  while (LSplitter.Next(LFirst, LLast)) new TPrepareGrayJob(&LJobs, *FPicture, *FGrayImage, *FDarkImage, LFirst, LLast);
  LJobs.Run(nullptr);
}

TRect TKvSourceImageView::UsedArea() const {
  if (FTargetWidth <= 0 || FTargetHeight <= 0) return FRegion;
  const int m = std::min(FAX, FAY);
  const int TW = static_cast<int>(Round(double(FTargetWidth) * FAY / m));
  const int TH = static_cast<int>(Round(double(FTargetHeight) * FAX / m));
  const int RW = FRegion.Width(), RH = FRegion.Height();
  TRect R;
  switch (FPosition) {
    case 2: R = FRegion; break;
    case 3: {
      const int cx = (FRegion.Left + FRegion.Right) / 2, cy = (FRegion.Top + FRegion.Bottom) / 2;
      R = TRect{cx - TW / 2, cy - TH / 2, cx - TW / 2 + TW, cy - TH / 2 + TH};
      break;
    }
    default: {
      const TKvSize S = FPosition == 0 ? FitResultInSource(TW, TH, RW, RH) : FitSourceInResult(TW, TH, RW, RH);
      R.Left = FRegion.Left + (RW - S.Width) / 2;
      R.Right = R.Left + S.Width;
      R.Top = FRegion.Top + (RH - S.Height) / 2;
      R.Bottom = R.Top + S.Height;
      break;
    }
  }
  return TRect{std::max(R.Left, FRegion.Left), std::max(R.Top, FRegion.Top), std::min(R.Right, FRegion.Right),
               std::min(R.Bottom, FRegion.Bottom)};
}

void TKvSourceImageView::RenderImage() {
  if (FDisplayValid || !FPicture) return;
  PrepareGrayImages();
  const int W = FPicture->GetWidth(), H = FPicture->GetHeight();
  if (!FDisplayImage) FDisplayImage = std::make_unique<TBitmap32>();
  FDisplayImage->SetSize(W, H);
  std::copy(FGrayImage->GetBits(), FGrayImage->GetBits() + static_cast<size_t>(W) * H, FDisplayImage->GetBits());
  const TRect U = UsedArea();
  for (int y = std::max(0, U.Top); y < std::min(H, U.Bottom); ++y)
    for (int x = std::max(0, U.Left); x < std::min(W, U.Right); ++x)
      FDisplayImage->GetScanLine(y)[x] = FPicture->GetScanLine(y)[x];
  if (FTargetWidth > 0 && FTargetHeight > 0 && FCellWidth > 2 && U.Width() > 0 && U.Height() > 0) {
    auto LInRegion = [&](int x, int y) {
      return x >= FRegion.Left && x < FRegion.Right && y >= FRegion.Top && y < FRegion.Bottom && x >= 0 && y >= 0 &&
             x < W && y < H;
    };
    const int LCols = FTargetWidth / FCellWidth;
    auto LColumnSpan = [&](int i, int& x0, int& x1) {
      x0 = U.Left + static_cast<int>(Round(double(i) * U.Width() * FCellWidth / FTargetWidth));
      x1 = std::min(U.Left + static_cast<int>(Round(double(i + 1) * U.Width() * FCellWidth / FTargetWidth)) - 1,
                    U.Right - 1);
    };
    if (FCellHeight < 3) {
      for (int i = 1; i < LCols; i += 2) {
        int x0, x1;
        LColumnSpan(i, x0, x1);
        for (int y = U.Top; y < U.Bottom; ++y)
          for (int x = x0; x <= x1; ++x)
            if (LInRegion(x, y)) FDisplayImage->GetScanLine(y)[x] = FDarkImage->GetScanLine(y)[x];
      }
    } else {
      const int LRows = FTargetHeight / FCellHeight;
      for (int k = 0; k < LRows; ++k) {
        const int y0 = U.Top + static_cast<int>(Round(double(U.Height()) * k * FCellHeight / FTargetHeight));
        const int y1 = U.Top + static_cast<int>(Round(double(U.Height()) * (k + 1) * FCellHeight / FTargetHeight)) - 1;
        for (int i = (k % 2 == 0) ? 1 : 0; i < LCols; i += 2) {
          int x0, x1;
          LColumnSpan(i, x0, x1);
          for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
              if (LInRegion(x, y)) FDisplayImage->GetScanLine(y)[x] = FDarkImage->GetScanLine(y)[x];
        }
      }
    }
  }
  FDisplayValid = true;
}

TBitmap32* TKvSourceImageView::GetDisplayImage() {
  RenderImage();
  return FDisplayImage.get();
}

void TKvSourceImageView::RenderBuffer() {
  TKvSourceDestImage::RenderBuffer();
  if (!FPicture) return;
  RenderImage();
  QPainter p(&FBuffer);
  p.drawImage(PictureOrigin(), Bitmap32View(*FDisplayImage));
  const QPoint P0 = ContentToClient(QPoint(FRegion.Left - 1, FRegion.Top - 1));
  const QPoint P1 = ContentToClient(QPoint(FRegion.Right, FRegion.Bottom));
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(QPen(Qt::white, 1, Qt::DashLine));
  p.drawRect(QRect(P0, P1));
  p.setPen(QPen(Qt::white, 1, Qt::SolidLine));
  const int XM = (P0.x() + P1.x()) / 2, YM = (P0.y() + P1.y()) / 2;
  for (QPoint H : {P0, QPoint(XM, P0.y()), QPoint(P1.x(), P0.y()), QPoint(P0.x(), YM), QPoint(XM, YM),
                   QPoint(P1.x(), YM), P1, QPoint(XM, P1.y()), QPoint(P0.x(), P1.y())})
    p.drawRect(H.x() - 4, H.y() - 4, 8, 8);
}

int TKvSourceImageView::HitTest(QPoint AClient) const {
  if (!FPicture) return 0;
  const QPoint P0 = ContentToClient(QPoint(FRegion.Left - 1, FRegion.Top - 1));
  const QPoint P1 = ContentToClient(QPoint(FRegion.Right, FRegion.Bottom));
  const int XM = (P0.x() + P1.x()) / 2, YM = (P0.y() + P1.y()) / 2;
  const QPoint LPoints[9] = {P0, {XM, P0.y()}, {P1.x(), P0.y()}, {P0.x(), YM}, {XM, YM},
                             {P1.x(), YM}, {P0.x(), P1.y()}, {XM, P1.y()}, P1};
  for (int i = 0; i < 9; ++i)
    if (AClient.x() >= LPoints[i].x() - 4 && AClient.x() < LPoints[i].x() + 5 && AClient.y() >= LPoints[i].y() - 4 &&
        AClient.y() < LPoints[i].y() + 5)
      return i + 1;
  return 0;
}

Qt::CursorShape TKvSourceImageView::HandleCursor(int AHandle) {
  switch (AHandle) {
    case 1: case 9: return Qt::SizeFDiagCursor;
    case 3: case 7: return Qt::SizeBDiagCursor;
    case 2: case 8: return Qt::SizeVerCursor;
    case 4: case 6: return Qt::SizeHorCursor;
    case 5: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

void TKvSourceImageView::BeginDrag(int AHandle, QPoint AContent) {
  FDragHandle = AHandle;
  FDragStart = AContent;
  FDragStartRegion = FRegion;
  FDragging = AHandle != 0;
}

void TKvSourceImageView::DragTo(int X, int Y) {
  if (!FPicture) return;
  const int W = FPicture->GetWidth(), H = FPicture->GetHeight();
  X = std::clamp(X, 0, W);
  Y = std::clamp(Y, 0, H);
  TRect N = FRegion;
  bool LFlipped = false;
  auto Flip = [&](int AHandle) {
    FDragHandle = AHandle;
    viewport()->setCursor(HandleCursor(AHandle));
    DragTo(X, Y);
    N = FRegion;
    LFlipped = true;
  };
  TRect& R = FRegion;
  switch (FDragHandle) {
    case 1:
      if (Y > R.Bottom) { R.Top = R.Bottom; R.Bottom = Y; Flip(7); }
      else if (X > R.Right) { R.Left = R.Right; R.Right = X; Flip(3); }
      else {
        N.Left = X; N.Top = Y;
        if (N.Width() < 8) N.Left = N.Right - 8;
        if (N.Height() < 8) N.Top = N.Bottom - 8;
      }
      break;
    case 2:
      if (Y > R.Bottom) { R.Top = R.Bottom; R.Bottom = Y; Flip(8); }
      else { N.Top = Y; if (N.Height() < 8) N.Top = N.Bottom - 8; }
      break;
    case 3:
      if (Y > R.Bottom) { R.Top = R.Bottom; R.Bottom = Y; Flip(9); }
      else if (X < R.Left) { R.Right = R.Left; R.Left = X; Flip(1); }
      else {
        N.Right = X; N.Top = Y;
        if (N.Width() < 8) N.Right = N.Left + 8;
        if (N.Height() < 8) N.Top = N.Bottom - 8;
      }
      break;
    case 4:
      if (X > R.Right) { R.Left = R.Right; R.Right = X; Flip(6); }
      else { N.Left = X; if (N.Width() < 8) N.Left = N.Right - 8; }
      break;
    case 5: {
      const int dx = X - FDragStart.x(), dy = Y - FDragStart.y();
      N = TRect{FDragStartRegion.Left + dx, FDragStartRegion.Top + dy, FDragStartRegion.Right + dx,
                FDragStartRegion.Bottom + dy};
      auto Move = [&](int ax, int ay) { N.Left += ax; N.Right += ax; N.Top += ay; N.Bottom += ay; };
      if (N.Left < 0) Move(-N.Left, 0);
      if (N.Top < 0) Move(0, -N.Top);
      if (N.Right >= W) Move(-(N.Right - W), 0);
      if (N.Bottom >= H) Move(0, -(N.Bottom - H));
      break;
    }
    case 6:
      if (X < R.Left) { R.Right = R.Left; R.Left = X; Flip(4); }
      else { N.Right = X; if (N.Width() < 8) N.Right = N.Left + 8; }
      break;
    case 7:
      if (Y < R.Top) { R.Bottom = R.Top; R.Top = Y; Flip(1); }
      else if (X > R.Right) { R.Left = R.Right; R.Right = X; Flip(9); }
      else {
        N.Left = X; N.Bottom = Y;
        if (N.Width() < 8) N.Left = N.Right - 8;
        if (N.Height() < 8) N.Bottom = N.Top + 8;
      }
      break;
    case 8:
      if (Y < R.Top) { R.Bottom = R.Top; R.Top = Y; Flip(2); }
      else { N.Bottom = Y; if (N.Height() < 8) N.Bottom = N.Top + 8; }
      break;
    case 9:
      if (Y < R.Top) { R.Bottom = R.Top; R.Top = Y; Flip(3); }
      else if (X < R.Left) { R.Right = R.Left; R.Left = X; Flip(7); }
      else {
        N.Right = X; N.Bottom = Y;
        if (N.Width() < 8) N.Right = N.Left + 8;
        if (N.Height() < 8) N.Bottom = N.Top + 8;
      }
      break;
    default: return;
  }
  N.Left = std::max(N.Left, 0);
  N.Top = std::max(N.Top, 0);
  N.Right = std::min(N.Right, W);
  N.Bottom = std::min(N.Bottom, H);
  if (!LFlipped && N == FRegion) return;
  FRegion = N;
  ChangedRegion();
}

void TKvSourceImageView::mousePressEvent(QMouseEvent* AEvent) {
  if (FDragging) {
    FDragging = false;
    return;
  }
  if (AEvent->button() != Qt::LeftButton) return;
  const QPoint LPoint = AEvent->position().toPoint();
  const int LHandle = HitTest(LPoint);
  if (LHandle) BeginDrag(LHandle, ClientToContent(LPoint));
}

void TKvSourceImageView::mouseMoveEvent(QMouseEvent* AEvent) {
  const QPoint LPoint = AEvent->position().toPoint();
  if (FDragging) {
    const QPoint C = ClientToContent(LPoint);
    DragTo(C.x(), C.y());
  } else {
    viewport()->setCursor(HandleCursor(HitTest(LPoint)));
  }
}

void TKvSourceImageView::mouseReleaseEvent(QMouseEvent*) { FDragging = false; }
