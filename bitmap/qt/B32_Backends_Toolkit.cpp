#include "bitmap/qt/B32_Backends_Toolkit.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "bitmap/B32_Backends.h"
#include "bitmap/qt/B32_Text.h"

bool BackendSupports(const TCustomBackend* B, TBackendInterface I) {
  if (!B) return false;
  switch (I) {
    case biTextToPathSupport: return dynamic_cast<const ITextToPathSupport*>(B) != nullptr;
    case biCanvasSupport: return dynamic_cast<const ICanvasSupport*>(B) != nullptr;
    case biFontSupport: return dynamic_cast<const IFontSupport*>(B) != nullptr;
    case biTextSupport: return dynamic_cast<const ITextSupport*>(B) != nullptr;
    case biDeviceContextSupport: return dynamic_cast<const IDeviceContextSupport*>(B) != nullptr;
    case biBitmapContextSupport: return dynamic_cast<const IBitmapContextSupport*>(B) != nullptr;
    case biPaintSupport: return dynamic_cast<const IPaintSupport*>(B) != nullptr;
  }
  return false;
}

namespace {
QString FromUtf16(const std::u16string& S) {
  return QString::fromUtf16(S.data(), qsizetype(S.size()));
}

QRect ToQRect(const TRect& R) { return QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top); }

// The window-text flags as painter alignment and text flags.
int QtTextFlags(uint32_t Flags) {
  int f = 0;
  if ((Flags & 3) == 1)
    f |= Qt::AlignHCenter;
  else if ((Flags & 3) == 2)
    f |= Qt::AlignRight;
  else
    f |= Qt::AlignLeft;
  if (Flags & 4)
    f |= Qt::AlignVCenter;
  else if (Flags & 8)
    f |= Qt::AlignBottom;
  else
    f |= Qt::AlignTop;
  if (Flags & 0x10) f |= Qt::TextWordWrap;
  if (Flags & 0x20) f |= Qt::TextSingleLine;
  if (Flags & 0x100) f |= Qt::TextDontClip;
  return f;
}

// Row copy of equal-sized areas between two 32-bit images, both clipped.
bool CopyRaw(const QImage& Src, const TRect& SrcRect, QImage& Dst, const TRect& DstRect) {
  if (SrcRect.Width() != DstRect.Width() || SrcRect.Height() != DstRect.Height()) return false;
  if (Src.depth() != 32 || Dst.depth() != 32) return false;
  for (int32_t y = 0; y < SrcRect.Height(); ++y) {
    const int32_t sy = SrcRect.Top + y, dy = DstRect.Top + y;
    if (sy < 0 || sy >= Src.height() || dy < 0 || dy >= Dst.height()) continue;
    for (int32_t x = 0; x < SrcRect.Width(); ++x) {
      const int32_t sx = SrcRect.Left + x, dx = DstRect.Left + x;
      if (sx < 0 || sx >= Src.width() || dx < 0 || dx >= Dst.width()) continue;
      reinterpret_cast<uint32_t*>(Dst.scanLine(dy))[dx] = reinterpret_cast<const uint32_t*>(Src.constScanLine(sy))[sx];
    }
  }
  return true;
}
}  // namespace

const TCustomBackendClass& TGDIBackend::Class() {
  static const TBackendClassOf<TGDIBackend> C("TGDIBackend");
  return C;
}

TGDIBackend::TGDIBackend() = default;

TGDIBackend::~TGDIBackend() {
  DropCanvas();
  Clear();
}

void TGDIBackend::InitializeSurface(int32_t NewWidth, int32_t NewHeight, bool) {
  const uint64_t count = uint64_t(NewWidth) * uint64_t(NewHeight);
  if (count > 0x7FFFFFFFu / 4) throw EOutOfMemory("Out of memory");
  FBitmapInfo.Width = NewWidth;
  FBitmapInfo.Height = -NewHeight;
  FBitmapInfo.SizeImage = uint32_t(count * 4);
  void* p = std::aligned_alloc(16, size_t((count * 4 + 15) & ~uint64_t{15}));
  if (!p) throw EBitmapException("Can't allocate the DIB handle");
  FBits = static_cast<TColor32*>(p);
  FImage = std::make_unique<QImage>(reinterpret_cast<uchar*>(FBits), NewWidth, NewHeight, NewWidth * 4,
                                    QImage::Format_ARGB32);
  if (FImage->isNull()) {
    FImage.reset();
    std::free(FBits);
    FBits = nullptr;
    throw EBitmapException("Can't create compatible DC");
  }
}

void TGDIBackend::FinalizeSurface() {
  if (FCanvas && FCanvas->isActive()) FCanvas->end();
  FImage.reset();
  if (FBits) {
    std::free(FBits);
    FBits = nullptr;
  }
  FBitmapInfo.Width = 0;
  FBitmapInfo.Height = 0;
  FBitmapInfo.SizeImage = 0;
}

void TGDIBackend::Changed() {
  if (FCanvas) {
    if (FCanvas->isActive()) FCanvas->end();
    if (FImage) FCanvas->begin(FImage.get());
  }
  TCustomBackend::Changed();
}

bool TGDIBackend::Measuring() const { return FOwner && FOwner->GetMeasuringMode(); }

// --- text to path

void TGDIBackend::PathAt(TCustomPath* Path, float X, float Y, const std::string& Text) {
  TextToPath(FFont.Font, Path, TFloatRect{X, Y, X, Y}, Text, 0);
}

void TGDIBackend::PathInRect(TCustomPath* Path, const TFloatRect& DstRect, const std::string& Text, uint32_t Flags) {
  TextToPath(FFont.Font, Path, DstRect, Text, Flags);
}

TFloatRect TGDIBackend::MeasureRect(const TFloatRect& DstRect, const std::string& Text, uint32_t Flags) {
  return MeasureText(FFont.Font, DstRect, Text, Flags);
}

// --- canvas

QPainter* TGDIBackend::GetCanvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<QPainter>();
    if (FImage) FCanvas->begin(FImage.get());
  }
  return FCanvas->isActive() ? FCanvas.get() : nullptr;
}

void TGDIBackend::DropCanvas() {
  if (!FCanvas) return;
  if (FCanvas->isActive()) FCanvas->end();
  FCanvas.reset();
}

// --- font

void TGDIBackend::SetFont(const TToolkitFont& Font) {
  FFont = Font;
  FontChanged();
}

void TGDIBackend::AssignFont(IFontChangeSupport& Source) {
  if (auto* F = dynamic_cast<IFontSupport*>(&Source)) SetFont(F->GetFont());
}

void TGDIBackend::FontChanged() {
  if (FOnFontChange) FOnFontChange(this);
}

void TGDIBackend::SelectFont() {
  if (FCanvas && FCanvas->isActive()) {
    FCanvas->setFont(FFont.Font);
    FCanvas->setPen(FFont.Color);
  }
}

// --- text

TSize TGDIBackend::TextExtent(const std::string& Text) {
  SelectFont();
  const QFontMetrics m(FFont.Font);
  return TSize{m.horizontalAdvance(QString::fromStdString(Text)), m.height()};
}

TSize TGDIBackend::TextExtentW(const std::u16string& Text) {
  SelectFont();
  const QFontMetrics m(FFont.Font);
  return TSize{m.horizontalAdvance(FromUtf16(Text)), m.height()};
}

void TGDIBackend::DrawTextAt(int32_t X, int32_t Y, const QString& Text, const TRect* Clip) {
  SelectFont();
  if (!Measuring() && FImage) {
    QPainter p;
    QPainter* c = FCanvas && FCanvas->isActive() ? FCanvas.get() : nullptr;
    if (!c) {
      p.begin(FImage.get());
      c = &p;
    }
    c->save();
    c->setFont(FFont.Font);
    c->setPen(FFont.Color);
    if (Clip) c->setClipRect(ToQRect(*Clip));
    c->drawText(QPoint(X, Y + QFontMetrics(FFont.Font).ascent()), Text);
    c->restore();
  }
  const QFontMetrics m(FFont.Font);
  if (FOwner) FOwner->AreaChanged(TRect{X, Y, X + m.horizontalAdvance(Text) + 1, Y + m.height() + 1}, AREA_INFO_RECT);
}

void TGDIBackend::DrawTextRect(TRect& DstRect, uint32_t Flags, const QString& Text) {
  SelectFont();
  if (!Measuring() && FImage) {
    QPainter p(FImage.get());
    p.setFont(FFont.Font);
    p.setPen(FFont.Color);
    if (!(Flags & 0x100)) p.setClipRect(ToQRect(DstRect));
    p.drawText(ToQRect(DstRect), QtTextFlags(Flags), Text);
  }
  if (FOwner) FOwner->AreaChanged(DstRect, AREA_INFO_RECT);
}

void TGDIBackend::TextOutXY(int32_t X, int32_t Y, const std::string& Text) {
  const TRect clip = FOwner ? FOwner->GetClipRect() : TRect{};
  DrawTextAt(X, Y, QString::fromStdString(Text), FOwner && FOwner->GetClipping() ? &clip : nullptr);
}

void TGDIBackend::TextOutClipped(int32_t X, int32_t Y, const TRect& ClipRect, const std::string& Text) {
  DrawTextAt(X, Y, QString::fromStdString(Text), &ClipRect);
}

void TGDIBackend::TextOutRect(TRect& DstRect, uint32_t Flags, const std::string& Text) {
  DrawTextRect(DstRect, Flags, QString::fromStdString(Text));
}

void TGDIBackend::TextOutXYW(int32_t X, int32_t Y, const std::u16string& Text) {
  const TRect clip = FOwner ? FOwner->GetClipRect() : TRect{};
  DrawTextAt(X, Y, FromUtf16(Text), FOwner && FOwner->GetClipping() ? &clip : nullptr);
}

void TGDIBackend::TextOutClippedW(int32_t X, int32_t Y, const TRect& ClipRect, const std::u16string& Text) {
  DrawTextAt(X, Y, FromUtf16(Text), &ClipRect);
}

void TGDIBackend::TextOutRectW(TRect& DstRect, uint32_t Flags, const std::u16string& Text) {
  DrawTextRect(DstRect, Flags, FromUtf16(Text));
}

// --- device context

void TGDIBackend::DrawFromDC(const TRect& DstRect, const TRect& SrcRect, const QImage& Src) {
  if (!FOwner || FOwner->Empty() || !FImage) return;
  if (!Measuring()) {
    const QImage src = Src.depth() == 32 ? Src : Src.convertToFormat(QImage::Format_ARGB32);
    if (!CopyRaw(src, SrcRect, *FImage, DstRect)) {
      QPainter p(FImage.get());
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.drawImage(ToQRect(DstRect), src, ToQRect(SrcRect));
    }
  }
  FOwner->AreaChanged(DstRect, AREA_INFO_RECT);
}

void TGDIBackend::DrawToDC(QPaintDevice* Dst, int32_t DstX, int32_t DstY) {
  if (!Dst || !FImage) return;
  QImage opaque(FImage->width(), FImage->height(), QImage::Format_RGB32);
  for (int32_t y = 0; y < FImage->height(); ++y) {
    const uint32_t* s = reinterpret_cast<const uint32_t*>(FImage->constScanLine(y));
    uint32_t* d = reinterpret_cast<uint32_t*>(opaque.scanLine(y));
    for (int32_t x = 0; x < FImage->width(); ++x) d[x] = s[x] | 0xFF000000u;
  }
  QPainter p(Dst);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(QPoint(DstX, DstY), opaque);
}

void TGDIBackend::DrawRectToDC(QPaintDevice* Dst, const TRect& DstRect, const TRect& SrcRect) {
  if (!Dst || !FImage) return;
  if (auto* img = dynamic_cast<QImage*>(Dst))
    if (CopyRaw(*FImage, SrcRect, *img, DstRect)) return;
  QPainter p(Dst);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(ToQRect(DstRect), *FImage, ToQRect(SrcRect));
}

// --- paint

void TGDIBackend::PaintRects(TCustomBitmap32* Buffer, TRectBuffer& Rects, QPainter& Canvas, const TRect& Viewport) {
  auto* dc = Buffer ? dynamic_cast<IDeviceContextSupport*>(Buffer->GetBackend()) : nullptr;
  QImage* img = dc ? dc->GetHandle() : nullptr;
  if (!img) return;
  Canvas.save();
  Canvas.setCompositionMode(QPainter::CompositionMode_Source);
  if (Rects.GetCount() == 0) {
    Canvas.drawImage(ToQRect(Viewport), *img, ToQRect(Viewport));
  } else {
    for (int32_t i = 0; i < Rects.GetCount(); ++i) {
      const QRect r = ToQRect(*Rects.Get(i));
      Canvas.drawImage(r, *img, r);
    }
  }
  Canvas.restore();
}

// ---------------------------------------------------------------------------
// Backend switching

void EnsureBackendSupport(TCustomBitmap32* Bitmap, std::initializer_list<TBackendInterface> Required, int32_t Mode,
                          bool ClearFirst, TCustomBackend*& Saved) {
  Saved = nullptr;
  bool ok = Mode == 0;
  for (TBackendInterface i : Required) {
    const bool has = BackendSupports(Bitmap->GetBackend(), i);
    if (Mode == 0 && !has) {
      ok = false;
      break;
    }
    if (Mode != 0 && has) {
      ok = true;
      break;
    }
  }
  if (ok) return;
  if (ClearFirst) Bitmap->SetSize(0, 0);
  Saved = Bitmap->TakeBackendRef();
  const TCustomBackendClass& cls =
      dynamic_cast<TBitmap32*>(Bitmap) ? TGDIBackend::Class() : Bitmap->GetPlatformBackendClass();
  try {
    cls.Create(Bitmap);
  } catch (...) {
    Saved->Release();
    Saved = nullptr;
    throw;
  }
}

void ReinstateBackend(TCustomBitmap32* Bitmap, TCustomBackend* Saved) {
  if (!Saved) return;
  // The reference taken by EnsureBackendSupport becomes the bitmap's own.
  Bitmap->SetBackend(Saved);
}

TBitmap32* NewToolkitBitmap32() { return new TBitmap32(TGDIBackend::Class()); }

// ---------------------------------------------------------------------------

namespace {
template <class I>
I& Need(TCustomBitmap32* Bitmap) {
  auto* p = Bitmap ? dynamic_cast<I*>(Bitmap->GetBackend()) : nullptr;
  if (!p) throw EBitmapException("Interface not supported");
  return *p;
}
}  // namespace

void SetBitmapFont(TCustomBitmap32* Bitmap, const TToolkitFont& Font) { Need<IFontSupport>(Bitmap).SetFont(Font); }
TToolkitFont& BitmapFont(TCustomBitmap32* Bitmap) { return Need<IFontSupport>(Bitmap).GetFont(); }
TSize BitmapTextExtent(TCustomBitmap32* Bitmap, const std::string& Text) {
  return Need<ITextSupport>(Bitmap).TextExtent(Text);
}
void BitmapTextOut(TCustomBitmap32* Bitmap, int32_t X, int32_t Y, const std::string& Text) {
  Need<ITextSupport>(Bitmap).TextOutXY(X, Y, Text);
}
void BitmapDrawToDC(TCustomBitmap32* Bitmap, QPaintDevice* Dst, int32_t DstX, int32_t DstY) {
  if (!Bitmap || Bitmap->Empty()) return;
  Need<IDeviceContextSupport>(Bitmap).DrawToDC(Dst, DstX, DstY);
}
QImage* BitmapDeviceContext(TCustomBitmap32* Bitmap) { return Need<IDeviceContextSupport>(Bitmap).GetHandle(); }
void BitmapDropCanvas(TCustomBitmap32* Bitmap) {
  if (auto* c = Bitmap ? dynamic_cast<ICanvasSupport*>(Bitmap->GetBackend()) : nullptr) c->DropCanvas();
}
