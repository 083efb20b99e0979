#include "bitmap/qt/B32_Toolkit.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <vector>

namespace {
// Draws Image into Rect; onto a 32-bit image at the same size the pixels are
// copied as they are, alpha included (as a device copy does).
void DrawImageExact(QPainter& Canvas, const QRect& Rect, const QImage& Image) {
  auto* dst = dynamic_cast<QImage*>(Canvas.device());
  if (dst && dst->depth() == 32 && Canvas.transform().isIdentity() && Rect.size() == Image.size()) {
    const QImage src = Image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
      const int dy = Rect.top() + y;
      if (dy < 0 || dy >= dst->height()) continue;
      const auto* s = reinterpret_cast<const uint32_t*>(src.constScanLine(y));
      auto* d = reinterpret_cast<uint32_t*>(dst->scanLine(dy));
      for (int x = 0; x < src.width(); ++x) {
        const int dx = Rect.left() + x;
        if (dx >= 0 && dx < dst->width()) d[dx] = s[x];
      }
    }
    return;
  }
  Canvas.drawImage(Rect, Image);
}
}  // namespace

void TToolkitBitmap::Draw(QPainter& Canvas, const QRect& Rect) const { DrawImageExact(Canvas, Rect, Image); }
void TToolkitIcon::Draw(QPainter& Canvas, const QRect& Rect) const { DrawImageExact(Canvas, Rect, Image); }
void TToolkitPicture::Draw(QPainter& Canvas, const QRect& Rect) const { Canvas.drawImage(Rect, Image); }

void TToolkitMetafile::Draw(QPainter& Canvas, const QRect& Rect) const {
  Canvas.save();
  Canvas.translate(Rect.topLeft());
  if (Width > 0 && Height > 0) Canvas.scale(double(Rect.width()) / Width, double(Rect.height()) / Height);
  Canvas.drawPicture(0, 0, Picture);
  Canvas.restore();
}

void TToolkitPictureHolder::LoadFromFile(const std::string& FileName) {
  QImage img;
  const QString name = QString::fromStdString(FileName);
  if (!img.load(name)) throw EBitmapException("Unsupported bitmap format");
  const QString ext = QFileInfo(name).suffix().toLower();
  if (ext == "bmp")
    Graphic = std::make_unique<TToolkitBitmap>(img);
  else if (ext == "ico")
    Graphic = std::make_unique<TToolkitIcon>(img);
  else
    Graphic = std::make_unique<TToolkitPicture>(img);
}

// ---------------------------------------------------------------------------

namespace {
template <class F>
void InUpdate(TCustomBitmap32* Target, F&& Work) {
  Target->BeginUpdate();
  try {
    Work();
  } catch (...) {
    Target->EndUpdate();
    Target->Changed();
    throw;
  }
  Target->EndUpdate();
  Target->Changed();
}

bool AllAlphaZero(const TCustomBitmap32* B) {
  const int64_t n = int64_t(B->GetWidth()) * B->GetHeight();
  for (int64_t i = 0; i < n; ++i)
    if (B->GetBits()[i] >> 24) return false;
  return true;
}
}  // namespace

void AssignFromToolkit(TCustomBitmap32* Target, const TToolkitGraphic* Graphic) {
  InUpdate(Target, [&] {
    if (!Graphic)
      Target->SetSize(0, 0);
    else
      LoadFromToolkitGraphic(Target, Graphic);
  });
}

void AssignFromHolder(TCustomBitmap32* Target, const TToolkitPictureHolder& Holder) {
  InUpdate(Target, [&] { LoadFromToolkitGraphic(Target, Holder.Graphic.get()); });
}

void AssignFromClipboard(TCustomBitmap32* Target) {
  InUpdate(Target, [&] {
    TToolkitPictureHolder holder;
    const QImage img = QGuiApplication::clipboard()->image();
    if (!img.isNull()) holder.Graphic = std::make_unique<TToolkitBitmap>(img);
    LoadFromToolkitGraphic(Target, holder.Graphic.get());
  });
}

void AssignFromQImage(TCustomBitmap32* Target, const QImage& Image) {
  const TToolkitBitmap b(Image);
  AssignFromToolkit(Target, &b);
}

void AssignFromQPixmap(TCustomBitmap32* Target, const QPixmap& Pixmap) { AssignFromQImage(Target, Pixmap.toImage()); }

void LoadFromToolkitGraphic(TCustomBitmap32* Target, const TToolkitGraphic* Graphic) {
  if (!Graphic) return;
  if (auto* b = dynamic_cast<const TToolkitBitmap*>(Graphic))
    LoadFromToolkitBitmap(Target, *b);
  else if (auto* i = dynamic_cast<const TToolkitIcon*>(Graphic))
    LoadFromToolkitIcon(Target, *i);
  else if (dynamic_cast<const TToolkitMetafile*>(Graphic))
    PaintGraphicMasked(Target, Graphic);
  else
    PaintGraphicInto(Target, Graphic, 0xFFFFFFFF, true);
}

void PaintGraphicInto(TCustomBitmap32* Target, const TToolkitGraphic* Graphic, TColor32 FillColor, bool ForceOpaque) {
  if (!Graphic) return;
  TCustomBackend* saved = nullptr;
  EnsureBackendSupport(Target, {biDeviceContextSupport, biCanvasSupport}, 1, true, saved);
  try {
    Target->SetSize(Graphic->GetWidth(), Graphic->GetHeight());
    if (!Target->Empty()) {
      Target->Clear(FillColor);
      TCustomBackend* be = Target->GetBackend();
      if (auto* dc = dynamic_cast<IDeviceContextSupport*>(be)) {
        QPainter p(dc->GetHandle());
        Graphic->Draw(p, QRect(0, 0, Target->GetWidth(), Target->GetHeight()));
      } else if (auto* cs = dynamic_cast<ICanvasSupport*>(be); cs && cs->GetCanvas()) {
        Graphic->Draw(*cs->GetCanvas(), QRect(0, 0, Target->GetWidth(), Target->GetHeight()));
        cs->CanvasChanged();
      } else {
        throw Exception("Inappropriate Backend");
      }
      if (ForceOpaque) Target->ResetAlpha(255);
    }
  } catch (...) {
    ReinstateBackend(Target, saved);
    throw;
  }
  ReinstateBackend(Target, saved);
}

void LoadFromToolkitBitmap(TCustomBitmap32* Target, const TToolkitBitmap& Bitmap) {
  PaintGraphicInto(Target, &Bitmap, 0x00000000, Bitmap.BitsPerPixel() != 32);
  if (Target->Empty()) return;
  if (Bitmap.Transparent) {
    const TColor32 k = 0xFF000000u | (TColor32(Bitmap.TransparentColor.red()) << 16) |
                       (TColor32(Bitmap.TransparentColor.green()) << 8) | TColor32(Bitmap.TransparentColor.blue());
    const int64_t n = int64_t(Target->GetWidth()) * Target->GetHeight();
    TColor32* p = Target->GetBits();
    for (int64_t i = 0; i < n; ++i)
      if ((p[i] & 0x00FFFFFF) == (k & 0x00FFFFFF)) p[i] &= 0x00FFFFFF;
  }
  if (auto* f = dynamic_cast<IFontSupport*>(Target->GetBackend())) f->SetFont(Bitmap.CanvasFont);
}

void LoadFromToolkitIcon(TCustomBitmap32* Target, const TToolkitIcon& Icon) {
  PaintGraphicInto(Target, &Icon, 0x00000000, false);
  if (!Target->Empty() && AllAlphaZero(Target)) PaintGraphicMasked(Target, &Icon);
}

void PaintGraphicMasked(TCustomBitmap32* Target, const TToolkitGraphic* Graphic) {
  PaintGraphicInto(Target, Graphic, 0xFFFFFFFF, false);
  if (Target->Empty()) return;
  std::unique_ptr<TBitmap32> temp(NewToolkitBitmap32());
  PaintGraphicInto(temp.get(), Graphic, 0xFFFF0000, false);
  const int64_t n = int64_t(Target->GetWidth()) * Target->GetHeight();
  if (temp->GetWidth() != Target->GetWidth() || temp->GetHeight() != Target->GetHeight()) return;
  TColor32* t = Target->GetBits();
  const TColor32* r = temp->GetBits();
  for (int64_t i = 0; i < n; ++i)
    t[i] = (t[i] & 0x00FFFFFF) == (r[i] & 0x00FFFFFF) ? t[i] | 0xFF000000u : t[i] & 0x00FFFFFFu;
}

// ---------------------------------------------------------------------------

void CopyToToolkitBitmap(TToolkitBitmap& Dst, TCustomBitmap32* Src) {
  TCustomBackend* saved = nullptr;
  EnsureBackendSupport(Src, {biDeviceContextSupport}, 1, false, saved);
  try {
    Dst.Image = QImage(Src->GetWidth(), Src->GetHeight(), QImage::Format_ARGB32);
    if (!Dst.Image.isNull()) Dst.Image.fill(0);
    if (auto* f = dynamic_cast<IFontSupport*>(Src->GetBackend())) Dst.CanvasFont = f->GetFont();
    if (!Src->Empty()) {
      auto* dc = dynamic_cast<IDeviceContextSupport*>(Src->GetBackend());
      if (!dc) throw Exception("Inappropriate Backend");
      dc->DrawRectToDC(&Dst.Image, Src->BoundsRect(), Src->BoundsRect());
    }
  } catch (...) {
    ReinstateBackend(Src, saved);
    throw;
  }
  ReinstateBackend(Src, saved);
}

void AssignToHolder(TToolkitPictureHolder& Holder, TCustomBitmap32* Src) {
  auto b = std::make_unique<TToolkitBitmap>();
  CopyToToolkitBitmap(*b, Src);
  Holder.Graphic = std::move(b);
}

void AssignToClipboard(TCustomBitmap32* Src) {
  TToolkitBitmap b;
  CopyToToolkitBitmap(b, Src);
  QGuiApplication::clipboard()->setImage(b.Image);
}

QImage ToQImage(TCustomBitmap32* Src) {
  TToolkitBitmap b;
  CopyToToolkitBitmap(b, Src);
  return b.Image;
}

QPixmap ToQPixmap(TCustomBitmap32* Src) { return QPixmap::fromImage(ToQImage(Src)); }

// ---------------------------------------------------------------------------

namespace {
void LoadPictureFromStream(TCustomBitmap32& Dst, TStream& Stream) {
  const int64_t n = Stream.Remaining();
  // The toolkit's decoders refuse pictures beyond their own allocation limit;
  // this bounds what is read before they see it.
  if (n <= 0 || n > (int64_t(1) << 30)) throw EBitmapException("Unsupported bitmap format");
  std::vector<uchar> data(static_cast<size_t>(n));
  Stream.ReadBuffer(data.data(), n);
  QImage img;
  if (!img.loadFromData(data.data(), int(n))) throw EBitmapException("Unsupported bitmap format");
  const bool bmp = n >= 2 && data[0] == 'B' && data[1] == 'M';
  if (bmp) {
    const TToolkitBitmap b(img);
    LoadFromToolkitGraphic(&Dst, &b);
  } else {
    const TToolkitPicture p(img);
    LoadFromToolkitGraphic(&Dst, &p);
  }
}
}  // namespace

void InstallToolkitPictureLoader() { GBitmapPictureLoader = &LoadPictureFromStream; }
