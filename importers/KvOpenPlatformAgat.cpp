#include "importers/KvOpenPlatformAgat.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformAgat.h"

namespace {

uint16_t DataLength(const TKvLoadSource& ASource) { return ASource.GetBytes().Le16(42); }

TKvMatchFlags AgatFlags(const TKvLoadSource& ASource) {
  return ASource.GetExtension() == ".fil" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

// The stored row AIndex of an interlaced frame of AHeight rows.
int InterlacedRow(int AIndex, int AHeight) { return (AIndex % (AHeight / 2)) * 2 + AIndex / (AHeight / 2); }

}  // namespace

TKvMatchFlags AgatMatchShortFile(TKvLoadSource& ASource, int ALength) {
  const int64_t LSize = ASource.GetBytes().Size();
  if (LSize <= 43) return 0;
  if (DataLength(ASource) != ALength || LSize != static_cast<int64_t>(ALength) + AgatFilHeaderSize) return 0;
  return AgatFlags(ASource);
}

void AgatRaiseMismatch() { RaiseBadHeader(); }

// ---------------------------------------------------------------------------
// Full files

TKvMatchFlags TKvAgatSourceEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() <= 43) return 0;
  const uint32_t L = DataLength(ASource);
  if (L != 2048 && L != 4096 && L != 8192 && L != 8960 && L != 16384 && L != 32768) return 0;
  if (file.Size() != static_cast<int64_t>(L) + AgatFilExtraSize) return 0;
  const TKvBytes t = file.Sub(AgatFilHeaderSize + L);
  if (t.Le16(0) != AgatFilTrailerMark) return 0;
  if (!AgatFilModeAllowed(L, t.U8(2), t.U8(3))) return 0;
  return AgatFlags(ASource);
}

TKvAgatSourceEngine::TKvAgatSourceEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (!Match(ASource)) RaiseBadHeader();
  const int64_t LLength = DataLength(ASource);
  FData = ASource.GetBytes().Sub(AgatFilHeaderSize, LLength);
  FTrailer = ASource.GetBytes().Sub(AgatFilHeaderSize + LLength, AgatFilTrailerSize);
  Comment = ReadAgatFilComment(FTrailer);
  const int LMode = FTrailer.U8(2);
  const uint8_t LAspect = (LMode == 112 || LMode == 125) ? 7 : (LMode == 128 || LMode == 141) ? 19 : 13;
  Setup(LMode, FTrailer.U8(3), LAspect);
}

// ---------------------------------------------------------------------------
// Setup

void TKvAgatBaseSourceEngine::Setup(int AMode, int AKind, uint8_t APixelAspect) {
  FMode = AMode;
  PixelAspect = APixelAspect;
  bool LGiga = false;
  int LBase = AMode;
  switch (AMode) {
    case 29:
    case 77:
    case 93:
    case 109:
    case 125:
    case 141:
      LGiga = true;
      LBase = AMode - AgatGigaModeOffset;
      break;
    default:
      break;
  }
  enum { Mono, Agat7, Agat9 } LFamily;
  switch (LBase) {
    case 16:
      Width = 256, Height = 256, LFamily = Mono;
      break;
    case 64:
      Width = 64, Height = 64, LFamily = Agat7;
      break;
    case 80:
      Width = 128, Height = 128, LFamily = Agat7;
      break;
    case 96:
      Width = 256, Height = 256, LFamily = Agat9;
      break;
    case 112:
      Width = 512, Height = 256, LFamily = Mono;
      break;
    case 128:
      Width = 128, Height = 256, LFamily = Agat7;
      break;
    default:
      RaiseBadHeader();
  }
  const int g = LGiga ? 2 : 1;
  const std::string LGigaText = LGiga ? " gigascreen" : "";
  PaletteTypes.clear();
  std::string LWord;
  if (LFamily == Mono) {
    Bits = g;
    Description = "Agat" + GetSizeText() + " B/W" + LGigaText + " image";
    return;
  }
  if (LFamily == Agat9) {
    Bits = 2 * g;
    switch (AKind) {
      case 0:
        PaletteType = ptColoredBRGB, LWord = " color";
        break;
      case 16:
        PaletteType = ptColoredWRGB, LWord = " color";
        break;
      case 128:
        PaletteType = ptGrayBRGB, LWord = " gray";
        break;
      case 144:
        PaletteType = ptGrayWRGB, LWord = " gray";
        break;
      case 240:
        PaletteType = ptColored4096, LWord = " palette";
        break;
      case -1:
        PaletteType = ptColoredBRGB;
        PaletteTypes = {ptColoredBRGB, ptColoredWRGB, ptGrayBRGB, ptGrayWRGB};
        break;
      default:
        RaiseBadHeader();
    }
    Description = "Agat" + GetSizeText() + LWord + LGigaText + " image";
    return;
  }
  // Agat-7: a file whose pixels use none of the colours 8..15 reads with 8.
  HAM = false;
  const int LBytes = Width * Height / 2 * g;
  bool LBright = false;
  for (int i = 0; i < LBytes && !LBright; ++i) LBright = (FData.U8(i) & 0x88) != 0;
  switch (AKind) {
    case 0:
      PaletteType = LBright ? ptColored16 : ptColored8;
      if (!LBright) PaletteTypes = {ptColored8, ptColored16};
      LWord = " color";
      break;
    case 128:
      PaletteType = LBright ? ptGray16 : ptGray8;
      if (!LBright) PaletteTypes = {ptGray8, ptGray16};
      LWord = " gray";
      break;
    case 224:
      PaletteType = ptColored4096;
      HAM = true;
      LBright = true;
      LWord = " palette";
      break;
    case 240:
      PaletteType = ptColored4096;
      LBright = true;
      LWord = " palette";
      break;
    case -1:
      PaletteType = LBright ? ptColored16 : ptColored8;
      if (LBright)
        PaletteTypes = {ptColored16, ptGray16};
      else
        PaletteTypes = {ptColored8, ptColored16, ptGray8, ptGray16};
      break;
    default:
      RaiseBadHeader();
  }
  Bits = (LBright ? 4 : 3) * g;
  Description = "Agat" + GetSizeText() + LWord + LGigaText + (HAM ? " HAM" : "") + " image";
}

// ---------------------------------------------------------------------------
// Decoding

void TKvAgatBaseSourceEngine::BuildColorPalette(int ACount) {
  Palette->Clear();
  if (PaletteType == ptColored4096) {
    // Only a full file's trailer holds the colours.
    if (FTrailer.Empty()) RaiseTruncatedData();
    for (int i = 0; i < ACount; ++i) Palette->AddStdRGB(ReadAgatFilPaletteEntry(FTrailer, i));
  } else {
    BuildAgatPalette(*Palette, PaletteType);
  }
  ColorCount = Palette->Count;
}

std::unique_ptr<TKvBitmap> TKvAgatBaseSourceEngine::Decode() {
  const int W = Width, H = Height;
  switch (FMode) {
    case 16:
    case 112: {
      SetMonoPalette(false);
      auto b = std::make_unique<TKvBitmap1>(W, H, Palette.get());
      const int r = W / 8;
      for (int i = 0; i < H; ++i)
        ReadBytes(b->GetScanline(FMode == 112 ? InterlacedRow(i, H) : i), FData.Row(i * r, r));
      return b;
    }
    case 29:
    case 125: {
      SetMonoGigaScreenPalette();
      auto b = std::make_unique<TKvBitmap4>(W, H, Palette.get());
      TKvBitmap* f1 = b->AddFrame(Palette2.get());
      TKvBitmap* f2 = b->AddFrame(Palette2.get());
      const int r = W / 8, LFrame = W * H / 8;
      for (int i = 0; i < H; ++i)
        PutPlanes2x1Row(b.get(), f1, f2, FData.Row(i * r, r), FData.Row(LFrame + i * r, r), 0,
                        FMode == 125 ? InterlacedRow(i, H) : i);
      return b;
    }
    case 96: {
      BuildColorPalette(4);
      auto b = std::make_unique<TKvBitmap4>(W, H, Palette.get());
      const int r = W / 4;
      for (int i = 0; i < H; ++i) PutPixels2BitRow(b.get(), FData.Row(i * r, r), 0, InterlacedRow(i, H));
      return b;
    }
    case 109: {
      BuildColorPalette(4);
      MakeGigaScreenPalette();
      auto b = std::make_unique<TKvBitmap4>(W, H, Palette.get());
      TKvBitmap* f1 = b->AddFrame(Palette2.get());
      TKvBitmap* f2 = b->AddFrame(Palette2.get());
      const int r = W / 4, LFrame = W * H / 4;
      for (int i = 0; i < H; ++i)
        PutPlanes2x2Row(b.get(), f1, f2, FData.Row(i * r, r), FData.Row(LFrame + i * r, r), 0, InterlacedRow(i, H));
      return b;
    }
    case 64:
    case 80:
    case 128: {
      if (HAM) break;
      BuildColorPalette(16);
      auto b = std::make_unique<TKvBitmap4>(W, H, Palette.get());
      const int r = W / 2;
      for (int i = 0; i < H; ++i)
        ReadBytes(b->GetScanline(FMode == 128 ? InterlacedRow(i, H) : i), FData.Row(i * r, r));
      return b;
    }
    case 77:
    case 93:
    case 141: {
      BuildColorPalette(16);
      MakeGigaScreenPalette();
      // A pixel is its frame-1 colour times the base count plus its frame-2
      // colour, the index of that mixture.
      const int n = Palette2->Count;
      if (n < 1) RaiseSizeOutOfRange();
      auto b = std::make_unique<TKvBitmap8>(W, H, Palette.get());
      TKvBitmap* f1 = b->AddFrame(Palette2.get());
      TKvBitmap* f2 = b->AddFrame(Palette2.get());
      const int LFrame = W * H / 2;
      for (int i = 0; i < H; ++i) {
        const int y = FMode == 141 ? InterlacedRow(i, H) : i;
        for (int x = 0; x < W; ++x) {
          const int o = i * (W / 2) + x / 2;
          const int s = (x & 1) ? 0 : 4;
          const int a = ((FData.U8(o) >> s) & 15) % n;
          const int c = ((FData.U8(LFrame + o) >> s) & 15) % n;
          b->SetPixel(x, y, a * n + c);
          f1->SetPixel(x, y, a);
          f2->SetPixel(x, y, c);
        }
      }
      return b;
    }
    default:
      RaiseBadHeader();
  }
  // The band palettes: 32 bands of 4 rows, 8 colours each.
  const int LBands = W * H / 2;
  auto LColor = [&](int ABand, int k) {
    const int r = LBands + 24 * ABand + 3 * k;
    return TKvStdRGBColor{static_cast<uint8_t>((FData.U8(r) & 15) * 17),
                          static_cast<uint8_t>((FData.U8(r + 1) & 15) * 17),
                          static_cast<uint8_t>((FData.U8(r + 2) & 15) * 17)};
  };
  Palette->Clear();
  try {
    for (int band = 0; band < H / 4; ++band)
      for (int k = 0; k < 8; ++k) Palette->AddUniqueStdRGB(LColor(band, k));
    if (Palette->Count > 256)
      Palette->Clear();
    else
      Palette->SortByGray(0);
  } catch (ETooManyColors&) {
    Palette->Clear();
  }
  std::unique_ptr<TKvBitmap> b;
  if (Palette->Count == 0)
    b = std::make_unique<TKvBitmap24>(W, H);
  else if (Palette->Count <= 16)
    b = std::make_unique<TKvBitmap4>(W, H, Palette.get());
  else
    b = std::make_unique<TKvBitmap8>(W, H, Palette.get());
  const bool LIndexed = Palette->Count > 0;
  for (int band = 0; band < H / 4; ++band) {
    int LIndex[8];
    uint32_t LRGB[8];
    for (int k = 0; k < 8; ++k) {
      const TKvStdRGBColor c = LColor(band, k);
      LRGB[k] = (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B;
      LIndex[k] = LIndexed ? Palette->LocateStdRGB(c) : 0;
    }
    for (int y = 4 * band; y < 4 * band + 4; ++y)
      for (int x = 0; x < W; ++x) {
        const uint8_t v = FData.U8(y * (W / 2) + x / 2);
        const int k = ((x & 1) ? v : v >> 4) & 7;
        b->SetPixel(x, y, LIndexed ? LIndex[k] : static_cast<int>(LRGB[k]));
      }
  }
  return b;
}

void InitKvOpenPlatformAgat() {
  RegisterSourceEngine(SourceEngineClass<TKvAgatSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAgatSource64x64x4Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvAgatSource128x128x4Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvAgatSource128x256x4Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvAgatSource256x256x1Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvAgatSource256x256x2Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvAgatSource512x256x1Engine>());
}
