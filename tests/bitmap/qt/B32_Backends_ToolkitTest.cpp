#include "bitmap/qt/B32_Backends_Toolkit.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>

#include <memory>
#include <vector>

#include "bitmap/B32_Backends.h"

namespace {
std::unique_ptr<TBitmap32> Toolkit(int w, int h) {
  std::unique_ptr<TBitmap32> b(NewToolkitBitmap32());
  b->SetSize(w, h);
  return b;
}

TToolkitFont Font(int px) {
  TToolkitFont f;
  f.Font = QFont("DejaVu Sans");
  f.Font.setPixelSize(px);
  return f;
}
}  // namespace

TEST(B32_Backends_Toolkit, SurfaceFollowsTheSize) {
  auto b = Toolkit(4, 3);
  auto* be = dynamic_cast<TGDIBackend*>(b->GetBackend());
  ASSERT_NE(be, nullptr);
  ASSERT_NE(be->GetHandle(), nullptr);
  EXPECT_EQ(be->GetBitmapInfo().SizeImage, 48u);
  EXPECT_EQ(be->GetBitmapInfo().Height, -3);
  // The image is the bitmap's own memory.
  EXPECT_EQ(reinterpret_cast<const void*>(be->GetHandle()->constBits()), static_cast<void*>(b->GetBits()));
  b->Clear(0x80112233);
  EXPECT_EQ(be->GetHandle()->pixel(3, 2), 0x80112233u);
  b->SetSize(0, 0);
  EXPECT_EQ(be->GetHandle(), nullptr);
  EXPECT_EQ(be->GetBitmapHandle(), nullptr);
  EXPECT_TRUE(b->Empty());
  for (TBackendInterface i : {biTextToPathSupport, biCanvasSupport, biFontSupport, biTextSupport,
                              biDeviceContextSupport, biBitmapContextSupport, biPaintSupport}) {
    EXPECT_TRUE(BackendSupports(be, i));
    TBitmap32 plain;
    EXPECT_FALSE(BackendSupports(plain.GetBackend(), i));
  }
}

TEST(B32_Backends_Toolkit, TextAreasAndMeasuring) {
  auto b = Toolkit(120, 40);
  b->Clear(0xFFFFFFFF);
  SetBitmapFont(b.get(), Font(14));
  const TSize e = BitmapTextExtent(b.get(), "Hello");
  const QFontMetrics m(Font(14).Font);
  EXPECT_EQ(e, (TSize{m.horizontalAdvance("Hello"), m.height()}));

  std::vector<TRect> areas;
  b->StartMeasuring([&](TObject*, const TRect& a, uint32_t) { areas.push_back(a); });
  BitmapTextOut(b.get(), 5, 7, "Hello");
  b->StopMeasuring();
  EXPECT_EQ(areas, (std::vector<TRect>{{5, 7, 5 + e.cx + 1, 7 + e.cy + 1}}));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(b->GetPixel(x, y), 0xFFFFFFFFu) << "measuring drew at " << x << "," << y;

  // Drawn for real, the text lands inside the reported area.
  BitmapTextOut(b.get(), 5, 7, "Hello");
  int changed = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x)
      if (b->GetPixel(x, y) != 0xFFFFFFFFu) {
        ++changed;
        EXPECT_TRUE(x >= 5 && x < 5 + e.cx + 1 && y >= 7 && y < 7 + e.cy + 1) << x << "," << y;
      }
  EXPECT_GT(changed, 10);

  // An empty bitmap measures the same.
  auto empty = Toolkit(0, 0);
  SetBitmapFont(empty.get(), Font(14));
  EXPECT_EQ(BitmapTextExtent(empty.get(), "Hello"), e);
}

TEST(B32_Backends_Toolkit, FontChangeIsReportedAndUsed) {
  auto b = Toolkit(10, 10);
  auto* fs = dynamic_cast<IFontSupport*>(b->GetBackend());
  int changes = 0;
  fs->SetOnFontChange([&](TObject*) { ++changes; });
  SetBitmapFont(b.get(), Font(10));
  const TSize small = BitmapTextExtent(b.get(), "Wide");
  SetBitmapFont(b.get(), Font(30));
  EXPECT_EQ(changes, 2);
  EXPECT_GT(BitmapTextExtent(b.get(), "Wide").cx, small.cx);
  TBitmap32 plain;
  EXPECT_THROW(BitmapTextExtent(&plain, "x"), EBitmapException);
}

TEST(B32_Backends_Toolkit, CopiesToAndFromPaintDevices) {
  auto b = Toolkit(3, 2);
  b->Clear(0x40FF0000);
  QImage dst(5, 5, QImage::Format_ARGB32);
  dst.fill(0xFF00FF00);
  auto empty = Toolkit(0, 0);
  BitmapDrawToDC(empty.get(), &dst, 0, 0);  // nothing
  EXPECT_EQ(dst.pixel(0, 0), 0xFF00FF00u);
  BitmapDrawToDC(b.get(), &dst, 1, 1);  // alpha ignored: drawn opaque
  EXPECT_EQ(dst.pixel(1, 1), 0xFFFF0000u);
  EXPECT_EQ(dst.pixel(3, 2), 0xFFFF0000u);
  EXPECT_EQ(dst.pixel(4, 3), 0xFF00FF00u);

  auto* dc = dynamic_cast<IDeviceContextSupport*>(b->GetBackend());
  dc->DrawRectToDC(&dst, TRect{0, 0, 3, 2}, TRect{0, 0, 3, 2});  // alpha kept
  EXPECT_EQ(dst.pixel(0, 0), 0x40FF0000u);

  QImage src(2, 2, QImage::Format_ARGB32);
  src.fill(0x12345678);
  std::vector<TRect> areas;
  b->SetOnAreaChanged([&](TObject*, const TRect& a, uint32_t) { areas.push_back(a); });
  dc->DrawFromDC(TRect{1, 0, 3, 2}, TRect{0, 0, 2, 2}, src);
  EXPECT_EQ(b->GetPixel(0, 0), 0x40FF0000u);
  EXPECT_EQ(b->GetPixel(2, 1), 0x12345678u);
  EXPECT_EQ(areas, (std::vector<TRect>{{1, 0, 3, 2}}));
}

TEST(B32_Backends_Toolkit, BitmapHearsItsCanvasAndSurfaceAndCopiesItsFont) {
  auto b = Toolkit(4, 4);
  int changes = 0, handles = 0;
  b->SetOnChange([&](TObject*) { ++changes; });
  b->SetOnHandleChanged([&](TObject*) { ++handles; });
  // Drawing through the canvas is a change of the whole bitmap.
  auto* cs = dynamic_cast<ICanvasSupport*>(b->GetBackend());
  ASSERT_NE(cs, nullptr);
  cs->GetCanvas()->fillRect(0, 0, 2, 2, Qt::red);
  cs->CanvasChanged();
  EXPECT_EQ(changes, 1);
  // A new surface tells the handle's watchers; the old canvas is gone.
  b->SetSize(8, 8);
  EXPECT_EQ(handles, 1);
  EXPECT_FALSE(cs->HasCanvas());
  // A font change alone is no change of the picture.
  changes = 0;
  SetBitmapFont(b.get(), Font(22));
  EXPECT_EQ(changes, 0);
  // Assign carries the font to another toolkit bitmap.
  auto c = Toolkit(1, 1);
  c->Assign(b.get());
  EXPECT_EQ(BitmapFont(c.get()).Font.pixelSize(), 22);
}

// A toolkit backend that a plain bitmap switches to for a while is wired to
// the bitmap as one it was built with (above): its canvas drawing and its new
// surfaces reach the bitmap.
TEST(B32_Backends_Toolkit, SwitchedBackendIsWiredWhileItServes) {
  TBitmap32 b(4, 4);
  int changes = 0, handles = 0;
  b.SetOnChange([&](TObject*) { ++changes; });
  b.SetOnHandleChanged([&](TObject*) { ++handles; });
  TCustomBackend* saved = nullptr;
  EnsureBackendSupport(&b, {biCanvasSupport}, 0, false, saved);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(handles, 1);
  auto* cs = dynamic_cast<ICanvasSupport*>(b.GetBackend());
  ASSERT_NE(cs, nullptr);
  changes = 0;
  cs->GetCanvas()->fillRect(0, 0, 2, 2, Qt::red);
  cs->CanvasChanged();
  EXPECT_EQ(changes, 1);
  b.SetSize(6, 6);
  EXPECT_EQ(handles, 2);
  ReinstateBackend(&b, saved);
  EXPECT_EQ(b.GetBackend(), saved);
  EXPECT_EQ(b.GetWidth(), 6);
}

TEST(B32_Backends_Toolkit, BackendSwitchKeepsPixels) {
  auto b = Toolkit(2, 2);
  TCustomBackend* saved = reinterpret_cast<TCustomBackend*>(1);
  TCustomBackend* before = b->GetBackend();
  EnsureBackendSupport(b.get(), {biDeviceContextSupport}, 0, false, saved);
  EXPECT_EQ(saved, nullptr);
  EXPECT_EQ(b->GetBackend(), before);

  TBitmap32 plain(2, 2);
  plain.Clear(0xFF123456);
  TCustomBackend* mem = plain.GetBackend();
  EnsureBackendSupport(&plain, {biDeviceContextSupport, biCanvasSupport}, 1, false, saved);
  ASSERT_EQ(saved, mem);
  EXPECT_TRUE(BackendSupports(plain.GetBackend(), biDeviceContextSupport));
  EXPECT_EQ(plain.GetPixel(1, 1), 0xFF123456u);
  plain.Clear(0xFF654321);
  ReinstateBackend(&plain, saved);
  EXPECT_EQ(plain.GetBackend(), mem);
  EXPECT_EQ(plain.GetPixel(1, 1), 0xFF654321u);
}
