#include "importers/KvOpenPlatformSymbOS.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformSymbOS.h"

// ---------------------------------------------------------------------------
// Reader

bool TKvSgxReader::Init(const TKvBytes& AData, TKvData* ABitmap) {
  if (AData.Empty()) return false;
  Width = Height = Bits = 0;
  WidthKnown = false;
  Data = TKvDataReader(AData);
  Bitmap = ABitmap;
  const uint8_t first = AData.U8(0);
  if (first == 0x40) return Parse(true);
  if (first >= 1 && first <= 63) return Parse(false);
  return false;
}

bool TKvSgxReader::ReadByte(int& AValue) {
  uint8_t b = 0;
  if (!Data.ReadByte(b)) return false;
  AValue = b;
  return true;
}

bool TKvSgxReader::ReadWord(int& AValue) {
  uint16_t w = 0;
  if (!Data.ReadWord(w)) return false;
  AValue = w;
  return true;
}

void TKvSgxReader::StartRow() {
  RowX = 0;
  RowHeight = 0;
}

bool TKvSgxReader::CheckTile(int AWidth, int AHeight) {
  if (AHeight == 0) return false;
  if (RowX == 0)
    RowHeight = AHeight;
  else if (AHeight != RowHeight)
    return false;
  return !WidthKnown || static_cast<int64_t>(RowX) + AWidth <= Width;
}

bool TKvSgxReader::EndRow() {
  if (RowX <= 0) return true;
  if (!WidthKnown) {
    Width = RowX;
    WidthKnown = true;
  } else if (RowX != Width) {
    return false;
  }
  Height += RowHeight;
  StartRow();
  return true;
}

bool TKvSgxReader::ReadTile(int AWidth, int AHeight, int ABytesPerLine, bool AColor) {
  // The whole tile must lie in the data before anything of it is read.
  TKvBytes LTile;
  if (!Data.ReadBlock(LTile, static_cast<int64_t>(AHeight) * ABytesPerLine)) return false;
  if (Bitmap) {
    for (int i = 0; i < AHeight; ++i) {
      const int64_t p = static_cast<int64_t>(i) * ABytesPerLine;
      for (int j = 0; j < AWidth; ++j) {
        int v;
        if (AColor) {
          v = (j & 1) ? LTile.U8(p + j / 2) & 15 : LTile.U8(p + j / 2) >> 4;
        } else {
          const uint8_t b = LTile.U8(p + j / 4);
          const int H = (b >> (7 - (j & 3))) & 1, L = (b >> (3 - (j & 3))) & 1;
          v = H ? L : (L ? 2 : 3);
        }
        Bitmap->SetPixel(RowX + j, Height + i, v);
      }
    }
  }
  return true;
}

bool TKvSgxReader::Parse(bool AColor) {
  Bits = AColor ? 4 : 2;
  StartRow();
  // A successful end of the data: the row in progress closes, and colour data
  // must hold a picture.
  auto finish = [&]() { return EndRow() && (!AColor || static_cast<int64_t>(Width) * Height > 0); };
  for (;;) {
    int b;
    if (!ReadByte(b) || b == 0) return finish();
    if (b == 255) {
      if (RowX == 0 || !EndRow()) return false;
      int LSkip;
      if (!ReadByte(LSkip) || !ReadByte(LSkip)) return finish();
      continue;
    }
    int w, h, LBytes;
    if (AColor) {
      int LKind;
      if (b != 0x40 || !ReadByte(LKind) || LKind != 5) return false;
      if (!ReadWord(LBytes) || !ReadWord(w) || !ReadWord(h)) return false;
      if (LBytes != (w + 1) / 2) return false;
    } else {
      if (b > 63 || !ReadByte(w) || !ReadByte(h)) return false;
      LBytes = b;
      if (LBytes != (w + 3) / 4) return false;
    }
    if (!CheckTile(w, h) || !ReadTile(w, h, LBytes, AColor)) return false;
    RowX += w;
    if (Data.GetRemaining() == 0) return finish();
  }
}

// ---------------------------------------------------------------------------
// Importer

TKvSymbOS4Engine::TKvSymbOS4Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()) {
  TKvSgxReader LReader;
  if (!LReader.Init(FData, nullptr)) RaiseCorruptData();
  Width = LReader.Width;
  Height = LReader.Height;
  Bits = LReader.Bits;
  Description = "SymbOS" + GetSizeText() + (Bits == 2 ? " gray" : " color") + " image";
  if (Bits == 4) {
    PaletteTypes = {ptColoredLinear, ptColoredMSX, ptColoredCPC};
    PaletteType = ptColoredLinear;
  }
}

TKvMatchFlags TKvSymbOS4Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".sgx") return 0;
  TKvSgxReader LReader;
  if (!LReader.Init(ASource.GetBytes(), nullptr)) return 0;
  return mfHeader | mfExtension;
}

std::unique_ptr<TKvBitmap> TKvSymbOS4Engine::Decode() {
  if (Bits == 4)
    BuildSymbOSPalette(*Palette, PaletteType);
  else
    BuildSymbOSGrayPalette(*Palette);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvSgxReader LReader;
  LReader.Init(FData, LBitmap.get());
  return LBitmap;
}

void InitKvOpenPlatformSymbOS() { RegisterSourceEngine(SourceEngineClass<TKvSymbOS4Engine>()); }
