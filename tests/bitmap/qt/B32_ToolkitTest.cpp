#include "bitmap/qt/B32_Toolkit.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>

#include <functional>
#include <memory>

namespace {
QByteArray Encode(const QImage& Img, const char* Format) {
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  Img.save(&buf, Format);
  return bytes;
}
}  // namespace

TEST(B32_Toolkit, DecodedPictureIsOpaque) {
  QImage src(2, 2, QImage::Format_ARGB32);
  src.fill(QColor(10, 200, 30, 40));
  QImage jpeg;
  ASSERT_TRUE(jpeg.loadFromData(Encode(src, "JPG"), "JPG"));
  TBitmap32 b;
  const TToolkitPicture pic(jpeg);
  AssignFromToolkit(&b, &pic);
  ASSERT_EQ(b.GetWidth(), 2);
  ASSERT_EQ(b.GetHeight(), 2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(b.GetBits()[i] >> 24, 255u);
}

TEST(B32_Toolkit, TransparentColourOfA24BitBitmap) {
  QImage img(3, 1, QImage::Format_RGB888);
  img.setPixelColor(0, 0, QColor(255, 0, 0));
  img.setPixelColor(1, 0, QColor(0, 0, 255));
  img.setPixelColor(2, 0, QColor(255, 0, 0));
  TToolkitBitmap bmp(img);
  bmp.Transparent = true;
  bmp.TransparentColor = QColor(255, 0, 0);
  TBitmap32 b;
  AssignFromToolkit(&b, &bmp);
  EXPECT_EQ(b.GetPixel(0, 0), 0x00FF0000u);
  EXPECT_EQ(b.GetPixel(1, 0), 0xFF0000FFu);
  EXPECT_EQ(b.GetPixel(2, 0), 0x00FF0000u);
  // A 32-bit bitmap keeps its own alpha, byte for byte.
  QImage argb(1, 1, QImage::Format_ARGB32);
  argb.setPixel(0, 0, 0x40123456);
  AssignFromQImage(&b, argb);
  EXPECT_EQ(b.GetPixel(0, 0), 0x40123456u);
}

TEST(B32_Toolkit, EmptyPictureAndInappropriateBackend) {
  TBitmap32 b(4, 4);
  int changes = 0;
  b.SetOnChange([&](TObject*) { ++changes; });
  const TToolkitBitmap none{QImage()};
  AssignFromToolkit(&b, &none);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(changes, 1);

  TCustomBitmap32 heap;
  const TToolkitBitmap one{QImage(2, 3, QImage::Format_RGB32)};
  try {
    AssignFromToolkit(&heap, &one);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Inappropriate Backend");
  }
  EXPECT_EQ(heap.GetWidth(), 2);
  EXPECT_EQ(heap.GetHeight(), 3);
  EXPECT_EQ(heap.GetPixel(1, 2), 0u);
  EXPECT_FALSE(BackendSupports(heap.GetBackend(), biDeviceContextSupport));
}

TEST(B32_Toolkit, EveryToolkitAssignReportsOneChange) {
  QImage red(3, 2, QImage::Format_RGB32);
  red.fill(Qt::red);
  const TToolkitBitmap bitmap{red};
  const TToolkitIcon icon{red.convertToFormat(QImage::Format_ARGB32)};
  TToolkitPictureHolder holder, emptyHolder;
  holder.Graphic = std::make_unique<TToolkitPicture>(red);
  const struct {
    const char* Name;
    std::function<void(TCustomBitmap32*)> Assign;
    bool Toolkit;  // a bitmap that can draw; else one that cannot, so the assign fails
    int Width;
  } cases[] = {
      {"bitmap", [&](TCustomBitmap32* b) { AssignFromToolkit(b, &bitmap); }, true, 3},
      {"icon", [&](TCustomBitmap32* b) { AssignFromToolkit(b, &icon); }, true, 3},
      {"holder", [&](TCustomBitmap32* b) { AssignFromHolder(b, holder); }, true, 3},
      {"empty holder (the size stays)", [&](TCustomBitmap32* b) { AssignFromHolder(b, emptyHolder); }, true, 1},
      {"clipboard", [&](TCustomBitmap32* b) {
         QGuiApplication::clipboard()->setImage(red);
         AssignFromClipboard(b);
       }, true, 3},
      {"bitmap onto a bitmap that cannot draw", [&](TCustomBitmap32* b) { AssignFromToolkit(b, &bitmap); }, false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::unique_ptr<TCustomBitmap32> b = c.Toolkit ? std::make_unique<TBitmap32>(1, 1) : std::make_unique<TCustomBitmap32>();
    int changes = 0;
    b->SetOnChange([&](TObject*) { ++changes; });
    try {
      c.Assign(b.get());
      EXPECT_TRUE(c.Toolkit);
    } catch (const Exception&) {
      EXPECT_FALSE(c.Toolkit);
    }
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(b->GetWidth(), c.Width);
  }
}

TEST(B32_Toolkit, RecordedPictureIsMaskedByWhatItPaints) {
  QPicture pic;
  {
    QPainter p(&pic);
    p.fillRect(QRect(0, 0, 2, 4), QColor(0, 0, 128));
  }
  const TToolkitMetafile meta(pic, 4, 4);
  TBitmap32 b;
  AssignFromToolkit(&b, &meta);
  ASSERT_EQ(b.GetWidth(), 4);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(b.GetPixel(0, y), 0xFF000080u);
    EXPECT_EQ(b.GetPixel(1, y), 0xFF000080u);
    EXPECT_EQ(b.GetPixel(2, y), 0x00FFFFFFu);
    EXPECT_EQ(b.GetPixel(3, y), 0x00FFFFFFu);
  }
}

TEST(B32_Toolkit, IconWithoutAlphaFallsBackToTheMask) {
  QImage withAlpha(2, 1, QImage::Format_ARGB32);
  withAlpha.setPixel(0, 0, 0x80FF0000);
  withAlpha.setPixel(1, 0, 0x00000000);
  TBitmap32 b;
  const TToolkitIcon icon(withAlpha);
  AssignFromToolkit(&b, &icon);
  EXPECT_EQ(b.GetPixel(0, 0), 0x80FF0000u);
  EXPECT_EQ(b.GetPixel(1, 0), 0x00000000u);
  // Without any alpha the icon is drawn twice; what it covers becomes opaque.
  QImage noAlpha(2, 1, QImage::Format_ARGB32);
  noAlpha.setPixel(0, 0, 0x00FF0000);
  noAlpha.setPixel(1, 0, 0x0000FF00);
  const TToolkitIcon flat(noAlpha);
  AssignFromToolkit(&b, &flat);
  EXPECT_EQ(b.GetPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(b.GetPixel(1, 0), 0xFF00FF00u);
}

TEST(B32_Toolkit, GivingABitmapToTheToolkit) {
  TBitmap32 b(3, 2);
  for (int i = 0; i < 6; ++i) b.GetBits()[i] = 0xFF000000u | TColor32(i * 0x111111);
  TToolkitBitmap t;
  CopyToToolkitBitmap(t, &b);
  ASSERT_EQ(t.Image.width(), 3);
  ASSERT_EQ(t.Image.height(), 2);
  EXPECT_EQ(t.BitsPerPixel(), 32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(t.Image.pixel(x, y), b.GetPixel(x, y));
  EXPECT_FALSE(BackendSupports(b.GetBackend(), biDeviceContextSupport));  // its own backend is back

  // Through the clipboard and back.
  AssignToClipboard(&b);
  TBitmap32 c;
  AssignFromClipboard(&c);
  ASSERT_EQ(c.GetWidth(), 3);
  EXPECT_EQ(c.GetPixel(2, 1), b.GetPixel(2, 1));
  const QPixmap pm = ToQPixmap(&b);
  EXPECT_EQ(pm.width(), 3);
  TBitmap32 d;
  AssignFromQPixmap(&d, pm);
  EXPECT_EQ(d.GetPixel(1, 1), b.GetPixel(1, 1));
}

TEST(B32_Toolkit, StreamLoaderReadsOtherPictures) {
  InstallToolkitPictureLoader();
  QImage src(3, 2, QImage::Format_RGB32);
  src.fill(QColor(1, 2, 3));
  const QByteArray png = Encode(src, "PNG");
  TMemoryStream s;
  s.WriteBuffer(png.constData(), png.size());
  s.SetPosition(0);
  TBitmap32 b;
  b.LoadFromStream(s);
  ASSERT_EQ(b.GetWidth(), 3);
  EXPECT_EQ(b.GetPixel(2, 1), 0xFF010203u);
  TMemoryStream junk;
  junk.WriteBuffer("not a picture", 13);
  junk.SetPosition(0);
  EXPECT_THROW(b.LoadFromStream(junk), EBitmapException);
  GBitmapPictureLoader = nullptr;
}
