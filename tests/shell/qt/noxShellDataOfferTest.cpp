#include "shell/qt/noxShellDataOffer.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>
#include <memory>

TEST(OfferFromMimeData, TakesLocalFilesInOrderAndTheImage) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/b.png"), QUrl("https://example.invalid/x.png"),
                QUrl::fromLocalFile("/tmp/Пример a.scr")});
  QImage img(2, 1, QImage::Format_ARGB32);
  img.setPixel(0, 0, 0xFF102030u);
  img.setPixel(1, 0, 0x80405060u);
  data.setImageData(img);
  const TnoxShellDataOffer offer = OfferFromMimeData(&data);
  EXPECT_TRUE(offer.HasFiles);
  EXPECT_EQ(offer.Files, (std::vector<std::string>{"/tmp/b.png", "/tmp/Пример a.scr"}));
  ASSERT_TRUE(offer.Bitmap);
  EXPECT_EQ(offer.Bitmap->Width, 2);
  EXPECT_EQ(offer.Bitmap->Pixels, (std::vector<uint32_t>{0xFF102030u, 0x80405060u}));
  TnoxShellDataObjectHDropFormatHelper files;
  files.LoadFrom(offer);
  EXPECT_EQ(files.GetFiles().size(), 2u);
}

TEST(OfferFromMimeData, RemoteOnlyOrEmptyDataOffersNothing) {
  QMimeData remote;
  remote.setUrls({QUrl("https://example.invalid/x.png")});
  EXPECT_FALSE(OfferFromMimeData(&remote).HasFiles);
  QMimeData text;
  text.setText("hello");
  const TnoxShellDataOffer none = OfferFromMimeData(&text);
  EXPECT_FALSE(TnoxShellDataObjectHDropFormatHelper::CanLoadFrom(none));
  EXPECT_FALSE(TnoxShellDataObjectBitmapFormatHelper::CanLoadFrom(none));
  EXPECT_FALSE(OfferFromMimeData(nullptr).HasFiles);
}

TEST(MimeDataFromOffer, RoundTripsFilesAndBitmap) {
  TnoxShellDataOffer offer;
  offer.HasFiles = true;
  offer.Files = {"/x/1.bmp", "/x/2.bmp"};
  auto b = std::make_shared<TnoxOfferBitmap>();
  b->Width = 1;
  b->Height = 2;
  b->Pixels = {0xFFFF0000u, 0xFF00FF00u};
  offer.Bitmap = b;
  std::unique_ptr<QMimeData> data(MimeDataFromOffer(offer));
  const TnoxShellDataOffer back = OfferFromMimeData(data.get());
  EXPECT_EQ(back.Files, offer.Files);
  ASSERT_TRUE(back.Bitmap);
  EXPECT_EQ(back.Bitmap->Pixels, b->Pixels);
}
