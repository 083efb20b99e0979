#include "platforms/KvPlatformZxSpectrumSpectra.h"

#include "platforms/KvPlatformZxSpectrum.h"

void InitSpectraTrailer(uint8_t (&ATrailer)[SpectraTrailerSize], uint8_t AMode) {
  ATrailer[0] = 'P';
  ATrailer[1] = 'S';
  ATrailer[2] = AMode;
}

bool CheckSpectraTrailer(const TKvBytes& ATrailer, int64_t AFileSize) {
  if (!ATrailer.Same(0, "PS", 2) || !ATrailer.Has(2, 1)) return false;
  const uint8_t m = ATrailer.U8(2);
  // Only the height code, the colour bit, the byte bit and the width bit.
  if (m & 0x70) return false;
  const bool doubleByte = (m & SpectraModeDoubleByte) != 0;
  return AFileSize == static_cast<int64_t>(SpectraImageSize(m & 3, doubleByte)) + SpectraTrailerSize;
}

int SpectraHeightCode(int ACellHeight) {
  switch (ACellHeight) {
    case 8: return 0;
    case 4: return 1;
    case 2: return 2;
    case 1: return 3;
    default: return -1;
  }
}

int SpectraImageSize(int AHeightCode, bool ADoubleByte) {
  static const int kSizes[4][2] = {{6912, 7936}, {9728, 11776}, {11264, 15360}, {14336, 16384}};
  return kSizes[AHeightCode & 3][ADoubleByte ? 1 : 0];
}

int SpectraCellRows(int ACellHeight, bool ADoubleByte) {
  return ACellHeight == 1 && ADoubleByte ? 160 : 192 / ACellHeight;
}

int SpectraCellRowOf(int Y, int ACellHeight, bool ADoubleByte) {
  if (ACellHeight == 1 && ADoubleByte && Y >= 128) return 128 + (Y - 128) / 2;
  return Y / ACellHeight;
}

int SpectraAttrOffset(int ACellHeight, bool ADoubleByte, int ARow, int AColumn) {
  const int r = ARow;
  switch (ACellHeight) {
    case 8: return ZxBitmapSize + r * 32 + AColumn;
    // Heights 4 and 2 repeat the bitmap's interleave at cell granularity:
    // thirds, then character rows, then the cell rows of a character row.
    case 4: return 8192 + (r >> 4) * 512 + (r & 1) * 256 + ((r >> 1) & 7) * 32 + AColumn;
    case 2: return 8192 + (r >> 5) * 1024 + (r & 3) * 256 + ((r >> 2) & 7) * 32 + AColumn;
    default:
      if (ADoubleByte && r >= 128) {
        const int k = r - 128;
        return ZxBitmapSize + (k & 3) * 256 + ((k >> 2) & 7) * 32 + AColumn;
      }
      return 8192 + ZxRowOffset(r) + AColumn;
  }
}

int SpectraSecondByteOffset(int ACellHeight, int ARow) {
  switch (ACellHeight) {
    case 8: return 1024;
    case 4: return 2048;
    case 2: return 4096;
    default: return ARow >= 128 ? 1024 : 4096;
  }
}

TSpectraAreas SpectraAttrAreas(int ACellHeight, bool ADoubleByte, bool ASecond) {
  switch (ACellHeight) {
    case 8: return {1, {{ASecond ? 7168 : 6144, 768}, {0, 0}}};
    case 4: return {1, {{ASecond ? 10240 : 8192, 1536}, {0, 0}}};
    case 2: return {1, {{ASecond ? 12288 : 8192, 3072}, {0, 0}}};
    default:
      if (!ADoubleByte) return {1, {{8192, 6144}, {0, 0}}};
      return {2, {{ASecond ? 7168 : 6144, 1024}, {ASecond ? 12288 : 8192, 4096}}};
  }
}
