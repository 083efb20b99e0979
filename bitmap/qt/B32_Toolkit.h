// Picture exchange between bitmaps and the GUI toolkit: taking a toolkit
// picture into a bitmap (its size, the background it is drawn on, its alpha
// and transparent colour), and giving a bitmap to a toolkit bitmap, a picture
// holder or the clipboard.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPixmap>

#include <memory>
#include <string>

#include "bitmap/B32.h"
#include "bitmap/qt/B32_Backends_Toolkit.h"

// A toolkit picture: a size and a way to draw itself.
class TToolkitGraphic {
public:
  virtual ~TToolkitGraphic() = default;
  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual void Draw(QPainter& Canvas, const QRect& Rect) const = 0;
  virtual const char* ClassName() const = 0;
};

// A bitmap: its pixel depth decides whether its alpha is kept; it may name a
// transparent colour, and its canvas has a font.
class TToolkitBitmap : public TToolkitGraphic {
public:
  TToolkitBitmap() = default;
  explicit TToolkitBitmap(QImage AImage) : Image(std::move(AImage)) {}
  int32_t GetWidth() const override { return Image.width(); }
  int32_t GetHeight() const override { return Image.height(); }
  void Draw(QPainter& Canvas, const QRect& Rect) const override;
  const char* ClassName() const override { return "TBitmap"; }
  int32_t BitsPerPixel() const { return Image.isNull() ? 0 : Image.depth(); }

  QImage Image;
  bool Transparent = false;
  QColor TransparentColor{Qt::white};
  TToolkitFont CanvasFont;
};

// An icon; its own alpha is kept when it has one.
class TToolkitIcon : public TToolkitGraphic {
public:
  explicit TToolkitIcon(QImage AImage) : Image(std::move(AImage)) {}
  int32_t GetWidth() const override { return Image.width(); }
  int32_t GetHeight() const override { return Image.height(); }
  void Draw(QPainter& Canvas, const QRect& Rect) const override;
  const char* ClassName() const override { return "TIcon"; }
  QImage Image;
};

// A recorded drawing of a given size.
class TToolkitMetafile : public TToolkitGraphic {
public:
  TToolkitMetafile(QPicture APicture, int32_t AWidth, int32_t AHeight)
      : Picture(std::move(APicture)), Width(AWidth), Height(AHeight) {}
  int32_t GetWidth() const override { return Width; }
  int32_t GetHeight() const override { return Height; }
  void Draw(QPainter& Canvas, const QRect& Rect) const override;
  const char* ClassName() const override { return "TMetafile"; }
  QPicture Picture;
  int32_t Width = 0;
  int32_t Height = 0;
};

// Any other decoded picture (JPEG, PNG, GIF, ...): drawn on opaque white.
class TToolkitPicture : public TToolkitGraphic {
public:
  explicit TToolkitPicture(QImage AImage) : Image(std::move(AImage)) {}
  int32_t GetWidth() const override { return Image.width(); }
  int32_t GetHeight() const override { return Image.height(); }
  void Draw(QPainter& Canvas, const QRect& Rect) const override;
  const char* ClassName() const override { return "TGraphic"; }
  QImage Image;
};

// Holds one picture.
class TToolkitPictureHolder {
public:
  // Reads a file; ".bmp" becomes a bitmap, ".ico" an icon, others a picture.
  // A file that does not decode raises EBitmapException.
  void LoadFromFile(const std::string& FileName);
  std::unique_ptr<TToolkitGraphic> Graphic;
};

// Taking a picture into a bitmap. Each Assign runs inside an update block and
// ends with Changed, also when it fails.
void AssignFromToolkit(TCustomBitmap32* Target, const TToolkitGraphic* Graphic);
void AssignFromHolder(TCustomBitmap32* Target, const TToolkitPictureHolder& Holder);
void AssignFromClipboard(TCustomBitmap32* Target);
void AssignFromQImage(TCustomBitmap32* Target, const QImage& Image);
void AssignFromQPixmap(TCustomBitmap32* Target, const QPixmap& Pixmap);

void LoadFromToolkitGraphic(TCustomBitmap32* Target, const TToolkitGraphic* Graphic);
// Sizes Target to the picture, clears it to FillColor and lets the picture
// draw itself; a backend with neither a device context nor a canvas raises
// "Inappropriate Backend".
void PaintGraphicInto(TCustomBitmap32* Target, const TToolkitGraphic* Graphic, TColor32 FillColor, bool ForceOpaque);
void LoadFromToolkitBitmap(TCustomBitmap32* Target, const TToolkitBitmap& Bitmap);
void LoadFromToolkitIcon(TCustomBitmap32* Target, const TToolkitIcon& Icon);
// Opaque where the picture draws, transparent (white) where it leaves the
// background: the picture drawn on white and on red, compared.
void PaintGraphicMasked(TCustomBitmap32* Target, const TToolkitGraphic* Graphic);

// Giving a bitmap to the toolkit: a 32-bit toolkit bitmap of the same size
// and pixels.
void CopyToToolkitBitmap(TToolkitBitmap& Dst, TCustomBitmap32* Src);
void AssignToHolder(TToolkitPictureHolder& Holder, TCustomBitmap32* Src);
void AssignToClipboard(TCustomBitmap32* Src);
QImage ToQImage(TCustomBitmap32* Src);
QPixmap ToQPixmap(TCustomBitmap32* Src);

// Lets TCustomBitmap32::LoadFromStream read pictures other than 32-bit BMPs
// through the toolkit's decoders.
void InstallToolkitPictureLoader();
