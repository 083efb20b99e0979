// The toolkit backend of a bitmap: the pixel memory seen as a QImage
// (Format_ARGB32 has TColor32's byte order), with a font, a painter as the
// canvas, text output and measuring, copies to and from other paint devices,
// and text outlines. The backend interfaces are asked for at the moment of
// use; a backend without one (the memory backend) cannot serve the call.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPaintDevice>

#include <cstdint>
#include <memory>
#include <string>

#include "bitmap/B32.h"
#include "bitmap/B32_Containers.h"

class TCustomPath;

// A width and height in pixels.
struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  bool operator==(const TSize&) const = default;
};

// The interfaces a backend may offer.
enum TBackendInterface : uint8_t {
  biTextToPathSupport,
  biCanvasSupport,
  biFontSupport,
  biTextSupport,
  biDeviceContextSupport,
  biBitmapContextSupport,
  biPaintSupport,
};

// A font with its colour.
struct TToolkitFont {
  QFont Font;
  QColor Color{Qt::black};
};

class ITextToPathSupport {
public:
  static constexpr const char* IID = "{6C4037E4-FF4D-4EE2-9C20-B9DB9C64B42D}";
  virtual ~ITextToPathSupport() = default;
  virtual void PathAt(TCustomPath* Path, float X, float Y, const std::string& Text) = 0;
  virtual void PathInRect(TCustomPath* Path, const TFloatRect& DstRect, const std::string& Text, uint32_t Flags) = 0;
  virtual TFloatRect MeasureRect(const TFloatRect& DstRect, const std::string& Text, uint32_t Flags) = 0;
};

class ICanvasSupport : public ICanvasChangeSupport {
public:
  static constexpr const char* IID = "{5ACFEEC7-0123-4AD8-8AE6-145718438E01}";
  virtual const TNotifyEvent& GetOnCanvasChange() const = 0;
  // A painter open on the pixels; nil while the bitmap is empty.
  virtual QPainter* GetCanvas() = 0;
  virtual bool HasCanvas() const = 0;
  // Drawing through the canvas has ended: fires OnCanvasChange.
  virtual void CanvasChanged() = 0;
};

class IFontSupport : public IFontChangeSupport {
public:
  static constexpr const char* IID = "{67C73044-1EFF-4FDE-AEA2-56BFADA50A48}";
  virtual const TNotifyEvent& GetOnFontChange() const = 0;
  virtual TToolkitFont& GetFont() = 0;
  virtual void SetFont(const TToolkitFont& Font) = 0;
  // Makes the font current for the next text call.
  virtual void SelectFont() = 0;
};

class ITextSupport {
public:
  static constexpr const char* IID = "{225997CC-958A-423E-8B60-9EDE0D3B53B5}";
  virtual ~ITextSupport() = default;
  virtual void TextOutXY(int32_t X, int32_t Y, const std::string& Text) = 0;
  virtual void TextOutClipped(int32_t X, int32_t Y, const TRect& ClipRect, const std::string& Text) = 0;
  virtual void TextOutRect(TRect& DstRect, uint32_t Flags, const std::string& Text) = 0;
  virtual TSize TextExtent(const std::string& Text) = 0;
  virtual void TextOutXYW(int32_t X, int32_t Y, const std::u16string& Text) = 0;
  virtual void TextOutClippedW(int32_t X, int32_t Y, const TRect& ClipRect, const std::u16string& Text) = 0;
  virtual void TextOutRectW(TRect& DstRect, uint32_t Flags, const std::u16string& Text) = 0;
  virtual TSize TextExtentW(const std::u16string& Text) = 0;
};

class IDeviceContextSupport {
public:
  static constexpr const char* IID = "{DD1109DA-4019-4A5C-A450-3631A73CF288}";
  virtual ~IDeviceContextSupport() = default;
  // The image over the pixels; nil while the bitmap is empty.
  virtual QImage* GetHandle() = 0;
  virtual void DrawFromDC(const TRect& DstRect, const TRect& SrcRect, const QImage& Src) = 0;
  // A 1:1 copy of the whole bitmap, alpha ignored (drawn opaque).
  virtual void DrawToDC(QPaintDevice* Dst, int32_t DstX, int32_t DstY) = 0;
  // Copies SrcRect of the pixels into DstRect of Dst, alpha included.
  virtual void DrawRectToDC(QPaintDevice* Dst, const TRect& DstRect, const TRect& SrcRect) = 0;
};

// The surface header: width, height (negative: top-down), 32 bits per pixel.
struct TBitmapInfo32 {
  int32_t Width = 0;
  int32_t Height = 0;
  uint16_t Planes = 1;
  uint16_t BitCount = 32;
  uint32_t Compression = 0;
  uint32_t SizeImage = 0;
};

class IBitmapContextSupport {
public:
  static constexpr const char* IID = "{DF0F9475-BA13-4C6B-81C3-D138624C4D08}";
  virtual ~IBitmapContextSupport() = default;
  virtual TBitmapInfo32 GetBitmapInfo() const = 0;
  virtual QImage* GetBitmapHandle() = 0;
};

class IPaintSupport {
public:
  static constexpr const char* IID = "{CE64DBEE-C4A9-4E8E-ABCA-1B1FD6F45924}";
  virtual ~IPaintSupport() = default;
  virtual void PrepareImage() = 0;
  virtual void CheckPixmapState() = 0;
  // Copies each rectangle of Buffer to the same place on Canvas; with no
  // rectangles, the Viewport rectangle.
  virtual void PaintRects(TCustomBitmap32* Buffer, TRectBuffer& Rects, QPainter& Canvas, const TRect& Viewport) = 0;
};

// Whether B offers the interface.
bool BackendSupports(const TCustomBackend* B, TBackendInterface I);

// The toolkit backend: every interface above over its own pixel memory.
class TGDIBackend : public TCustomBackend,
                    public ITextToPathSupport,
                    public ICanvasSupport,
                    public IFontSupport,
                    public ITextSupport,
                    public IDeviceContextSupport,
                    public IBitmapContextSupport,
                    public IPaintSupport {
public:
  TGDIBackend();
  ~TGDIBackend() override;
  static const TCustomBackendClass& Class();
  const TCustomBackendClass& ClassType() const override { return Class(); }

  bool Empty() const override { return !FImage; }
  void Changed() override;

  // ITextToPathSupport
  void PathAt(TCustomPath* Path, float X, float Y, const std::string& Text) override;
  void PathInRect(TCustomPath* Path, const TFloatRect& DstRect, const std::string& Text, uint32_t Flags) override;
  TFloatRect MeasureRect(const TFloatRect& DstRect, const std::string& Text, uint32_t Flags) override;
  // ICanvasSupport
  const TNotifyEvent& GetOnCanvasChange() const override { return FOnCanvasChange; }
  void SetOnCanvasChange(TNotifyEvent Handler) override { FOnCanvasChange = std::move(Handler); }
  QPainter* GetCanvas() override;
  void DropCanvas() override;
  bool HasCanvas() const override { return FCanvas != nullptr; }
  void CanvasChanged() override {
    if (FOnCanvasChange) FOnCanvasChange(this);
  }
  // IFontSupport
  const TNotifyEvent& GetOnFontChange() const override { return FOnFontChange; }
  void SetOnFontChange(TNotifyEvent Handler) override { FOnFontChange = std::move(Handler); }
  TToolkitFont& GetFont() override { return FFont; }
  void SetFont(const TToolkitFont& Font) override;
  void AssignFont(IFontChangeSupport& Source) override;
  void SelectFont() override;
  // ITextSupport
  void TextOutXY(int32_t X, int32_t Y, const std::string& Text) override;
  void TextOutClipped(int32_t X, int32_t Y, const TRect& ClipRect, const std::string& Text) override;
  void TextOutRect(TRect& DstRect, uint32_t Flags, const std::string& Text) override;
  TSize TextExtent(const std::string& Text) override;
  void TextOutXYW(int32_t X, int32_t Y, const std::u16string& Text) override;
  void TextOutClippedW(int32_t X, int32_t Y, const TRect& ClipRect, const std::u16string& Text) override;
  void TextOutRectW(TRect& DstRect, uint32_t Flags, const std::u16string& Text) override;
  TSize TextExtentW(const std::u16string& Text) override;
  // IDeviceContextSupport
  QImage* GetHandle() override { return FImage.get(); }
  void DrawFromDC(const TRect& DstRect, const TRect& SrcRect, const QImage& Src) override;
  void DrawToDC(QPaintDevice* Dst, int32_t DstX, int32_t DstY) override;
  void DrawRectToDC(QPaintDevice* Dst, const TRect& DstRect, const TRect& SrcRect) override;
  // IBitmapContextSupport
  TBitmapInfo32 GetBitmapInfo() const override { return FBitmapInfo; }
  QImage* GetBitmapHandle() override { return FImage.get(); }
  // IPaintSupport
  void PrepareImage() override {}
  void CheckPixmapState() override {}
  void PaintRects(TCustomBitmap32* Buffer, TRectBuffer& Rects, QPainter& Canvas, const TRect& Viewport) override;

  // The font's own change: fires OnFontChange.
  void FontChanged();

protected:
  void InitializeSurface(int32_t NewWidth, int32_t NewHeight, bool ClearBuffer) override;
  void FinalizeSurface() override;

private:
  void DrawTextAt(int32_t X, int32_t Y, const QString& Text, const TRect* Clip);
  void DrawTextRect(TRect& DstRect, uint32_t Flags, const QString& Text);
  bool Measuring() const;

  TBitmapInfo32 FBitmapInfo;
  std::unique_ptr<QImage> FImage;
  std::unique_ptr<QPainter> FCanvas;
  TToolkitFont FFont;
  TNotifyEvent FOnFontChange;
  TNotifyEvent FOnCanvasChange;
};

// Makes sure Bitmap's backend offers the required interfaces (Mode 0: all,
// Mode 1: at least one). When it does not, the backend is swapped for the
// platform's (the toolkit backend for a TBitmap32, the bitmap's own platform
// class otherwise), keeping the pixels, and Saved holds the old backend;
// otherwise Saved is nil. Pair it with ReinstateBackend.
void EnsureBackendSupport(TCustomBitmap32* Bitmap, std::initializer_list<TBackendInterface> Required, int32_t Mode,
                          bool ClearFirst, TCustomBackend*& Saved);
void ReinstateBackend(TCustomBitmap32* Bitmap, TCustomBackend* Saved);

// A TBitmap32 with the toolkit backend.
TBitmap32* NewToolkitBitmap32();

// The bitmap operations over the interfaces; a backend without the interface
// raises EBitmapException "Interface not supported".
void SetBitmapFont(TCustomBitmap32* Bitmap, const TToolkitFont& Font);
TToolkitFont& BitmapFont(TCustomBitmap32* Bitmap);
TSize BitmapTextExtent(TCustomBitmap32* Bitmap, const std::string& Text);
void BitmapTextOut(TCustomBitmap32* Bitmap, int32_t X, int32_t Y, const std::string& Text);
// Nothing for an empty bitmap.
void BitmapDrawToDC(TCustomBitmap32* Bitmap, QPaintDevice* Dst, int32_t DstX, int32_t DstY);
QImage* BitmapDeviceContext(TCustomBitmap32* Bitmap);
void BitmapDropCanvas(TCustomBitmap32* Bitmap);
