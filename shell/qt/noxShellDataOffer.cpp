#include "shell/qt/noxShellDataOffer.h"

#include <QMimeData>
#include <QUrl>
#include <cstring>

TnoxOfferBitmap OfferBitmapFromImage(const QImage& AImage) {
  TnoxOfferBitmap b;
  if (AImage.isNull()) return b;
  const QImage img = AImage.convertToFormat(QImage::Format_ARGB32);
  b.Width = img.width();
  b.Height = img.height();
  b.Pixels.resize(static_cast<size_t>(b.Width) * static_cast<size_t>(b.Height));
  for (int y = 0; y < b.Height; ++y)
    std::memcpy(b.Pixels.data() + static_cast<size_t>(y) * b.Width, img.constScanLine(y),
                static_cast<size_t>(b.Width) * 4);
  return b;
}

QImage ImageFromOfferBitmap(const TnoxOfferBitmap& ABitmap) {
  if (ABitmap.Width <= 0 || ABitmap.Height <= 0 ||
      ABitmap.Pixels.size() != static_cast<size_t>(ABitmap.Width) * static_cast<size_t>(ABitmap.Height))
    return QImage();
  QImage img(ABitmap.Width, ABitmap.Height, QImage::Format_ARGB32);
  for (int y = 0; y < ABitmap.Height; ++y)
    std::memcpy(img.scanLine(y), ABitmap.Pixels.data() + static_cast<size_t>(y) * ABitmap.Width,
                static_cast<size_t>(ABitmap.Width) * 4);
  return img;
}

TnoxShellDataOffer OfferFromMimeData(const QMimeData* AData) {
  TnoxShellDataOffer offer;
  if (!AData) return offer;
  if (AData->hasUrls()) {
    for (const QUrl& url : AData->urls())
      if (url.isLocalFile()) offer.Files.push_back(url.toLocalFile().toStdString());
    offer.HasFiles = !offer.Files.empty();
  }
  if (AData->hasImage()) {
    const QImage img = qvariant_cast<QImage>(AData->imageData());
    if (!img.isNull()) offer.Bitmap = std::make_shared<TnoxOfferBitmap>(OfferBitmapFromImage(img));
  }
  return offer;
}

TnoxShellDataOffer ProbeOfferFromMimeData(const QMimeData* AData) {
  TnoxShellDataOffer offer;
  if (!AData) return offer;
  if (AData->hasUrls()) {
    for (const QUrl& url : AData->urls())
      if (url.isLocalFile()) offer.Files.push_back(url.toLocalFile().toStdString());
    offer.HasFiles = !offer.Files.empty();
  }
  // Only the format list is asked; the picture itself stays where it is.
  offer.BitmapOffered = AData->hasImage();
  return offer;
}

QMimeData* MimeDataFromOffer(const TnoxShellDataOffer& AOffer) {
  auto* data = new QMimeData;
  if (AOffer.HasFiles) {
    QList<QUrl> urls;
    for (const std::string& f : AOffer.Files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    data->setUrls(urls);
  }
  if (AOffer.Bitmap) data->setImageData(ImageFromOfferBitmap(*AOffer.Bitmap));
  return data;
}
