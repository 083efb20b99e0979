// Translation between Qt's clipboard and drop data and the plain offer the
// Qt-free documents take.
#pragma once

#include <QImage>

#include "shell/noxShellBaseExtensionData.h"

class QMimeData;

// Local files of the URL list (in order) and the image, when there are any.
// A URL list without any local file offers no file list.
TnoxShellDataOffer OfferFromMimeData(const QMimeData* AData);
// What the data offers, without taking the picture: the local files and
// whether a picture format is among the formats (BitmapOffered). Cheap
// enough to ask on every action update.
TnoxShellDataOffer ProbeOfferFromMimeData(const QMimeData* AData);
// New mime data (owned by the caller, e.g. for QClipboard::setMimeData).
QMimeData* MimeDataFromOffer(const TnoxShellDataOffer& AOffer);

TnoxOfferBitmap OfferBitmapFromImage(const QImage& AImage);
QImage ImageFromOfferBitmap(const TnoxOfferBitmap& ABitmap);
