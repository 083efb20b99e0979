#include "app/qt/KvQtPictures.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/KvControls.h"
#include "app/KvGraphics.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"

QImage Bitmap32View(const TBitmap32& ABitmap) {
  if (ABitmap.GetWidth() <= 0 || ABitmap.GetHeight() <= 0 || !ABitmap.GetBits()) return QImage();
  return QImage(reinterpret_cast<const uchar*>(ABitmap.GetBits()), ABitmap.GetWidth(), ABitmap.GetHeight(),
                ABitmap.GetWidth() * 4, QImage::Format_RGB32);
}

void QImageToBitmap32(const QImage& AImage, TBitmap32& ABitmap) {
  const QImage LImage = AImage.convertToFormat(QImage::Format_RGB32);
  ABitmap.SetSize(LImage.width(), LImage.height());
  for (int y = 0; y < LImage.height(); ++y) {
    const uint32_t* LSrc = reinterpret_cast<const uint32_t*>(LImage.constScanLine(y));
    TColor32* LDst = ABitmap.GetScanLine(y);
    for (int x = 0; x < LImage.width(); ++x) LDst[x] = LSrc[x] | 0xFF000000u;
  }
}

namespace {

TKvDIBSection& Section(TKvBitmap& ABitmap) {
  TKvDIBSection* LSection = ABitmap.GetHandle();
  if (!LSection) throw Exception("Internal error");
  return *LSection;
}

// Top-down row y of the section (its rows are bottom-up).
const uint8_t* SectionRow(const TKvDIBSection& S, int y) {
  return S.Bits.data() + static_cast<size_t>(S.Height - 1 - y) * static_cast<size_t>(S.Stride);
}

int IndexAt(const uint8_t* ARow, int x, int ABits) {
  switch (ABits) {
    case 1: return (ARow[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (ARow[x >> 1] & 0x0F) : (ARow[x >> 1] >> 4);
    default: return ARow[x];
  }
}

}  // namespace

QImage KvBitmapToQImage(TKvBitmap& ABitmap) {
  TKvDIBSection& S = Section(ABitmap);
  if (S.BitCount <= 8) {
    QImage LImage(S.Width, S.Height, QImage::Format_Indexed8);
    QList<QRgb> LTable;
    for (uint32_t c : S.ColorTable) LTable.append(0xFF000000u | c);
    if (LTable.isEmpty()) LTable.append(0xFF000000u);
    LImage.setColorTable(LTable);
    for (int y = 0; y < S.Height; ++y) {
      const uint8_t* LRow = SectionRow(S, y);
      uchar* LDst = LImage.scanLine(y);
      for (int x = 0; x < S.Width; ++x) {
        int LIndex = IndexAt(LRow, x, S.BitCount);
        LDst[x] = static_cast<uchar>(LIndex < LTable.size() ? LIndex : 0);
      }
    }
    return LImage;
  }
  QImage LImage(S.Width, S.Height, QImage::Format_RGB32);
  for (int y = 0; y < S.Height; ++y) {
    const uint8_t* LRow = SectionRow(S, y);
    uint32_t* LDst = reinterpret_cast<uint32_t*>(LImage.scanLine(y));
    for (int x = 0; x < S.Width; ++x)
      LDst[x] = 0xFF000000u | (uint32_t(LRow[3 * x + 2]) << 16) | (uint32_t(LRow[3 * x + 1]) << 8) | LRow[3 * x];
  }
  return LImage;
}
