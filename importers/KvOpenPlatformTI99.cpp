#include "importers/KvOpenPlatformTI99.h"

#include <cmath>
#include <string>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformMSX.h"
#include "platforms/KvPlatformTI99.h"

namespace {

constexpr int kHeader = 128;

// The file beside the source with the same name and extension AExt.
const TKvLoadSourceRec* Companion(TKvLoadSource& ASource, const char* AExt) {
  const std::string& LName = ASource.GetFileName();
  const size_t LDot = LName.find_last_of("./");
  const std::string LStem = (LDot != std::string::npos && LName[LDot] == '.') ? LName.substr(0, LDot) : LName;
  return ASource.GetFile(LStem + AExt);
}

bool IsTiFilesRec(const TKvLoadSourceRec* ARec, int64_t ASize, int64_t ALength) {
  return ARec && ARec->View().Size() == ASize && IsTiFilesOfLength(ARec->View(), ALength);
}

// A colour file that goes with a bitmap pattern file.
bool IsBitmapColorFile(const TKvLoadSourceRec* ARec) { return IsTiFilesRec(ARec, 6272, 6144); }

// A palette file of one palette or of one palette per pixel row.
bool IsPaletteFile(const TKvLoadSourceRec* ARec) {
  return IsTiFilesRec(ARec, 6272, 6144) || IsTiFilesRec(ARec, 384, 32) || IsTiFilesRec(ARec, 160, 32);
}

// The 8-level scale of the V9938 palette registers.
uint8_t Level3ToByte(int ALevel) { return static_cast<uint8_t>(std::nearbyint((ALevel & 7) * 255.0 / 7)); }

// 16 palette registers: (R shl 4) or B, then G.
void FillGenevePalette(TKvPalette256& APalette, const TKvBytes& AEntries) {
  APalette.Clear();
  for (int i = 0; i < 16; ++i) {
    const uint8_t rb = AEntries.U8(2 * i), g = AEntries.U8(2 * i + 1);
    APalette.AddRGB(Level3ToByte(rb >> 4), Level3ToByte(g), Level3ToByte(rb));
  }
}

// The F18A palette word 0x0RGB at AOffset as $RRGGBB.
uint32_t F18AColor(const TKvBytes& APalette, int64_t AOffset) {
  const int w = APalette.Be16(AOffset);
  return static_cast<uint32_t>((((w >> 8) & 15) * 17) << 16 | (((w >> 4) & 15) * 17) << 8 | (w & 15) * 17);
}

// The runs of a Geneve picture: G6 words are colour shl 12 or a count of
// 1..1023 (bits 10 and 11 ignored), G7 words colour shl 8 or a count (0 =
// 256).
class TGeneveRunReader {
public:
  TGeneveRunReader(const TKvBytes& AData, bool AG7) : FData(AData), FG7(AG7) {}
  bool Skip(int64_t ACount) {
    if (!FData.Has(FOffset, ACount)) return false;
    FOffset += ACount;
    return true;
  }
  bool NextRun() {
    if (!FData.Has(FOffset, 2)) return false;
    const int w = FData.Be16(FOffset);
    FOffset += 2;
    if (FG7) {
      Count = (w & 0xFF) != 0 ? (w & 0xFF) : 256;
      Colour = w >> 8;
    } else {
      Count = w & 0x3FF;
      Colour = w >> 12;
      if (Count == 0) return false;
    }
    return true;
  }
  int64_t GetLeft() const { return FData.Size() - FOffset; }
  int Count = 0;
  int Colour = 0;

private:
  TKvBytes FData;
  int64_t FOffset = 0;
  bool FG7;
};

bool TestGeneve(const TKvBytes& AData, bool AG7, int AHeight, bool ALenient) {
  TGeneveRunReader r(AData.Sub(2), AG7);
  if (!AG7 && !r.Skip(32)) return false;
  const int64_t LTotal = static_cast<int64_t>(AG7 ? 256 : 512) * AHeight;
  int64_t LGot = 0;
  while (LGot < LTotal) {
    if (!r.NextRun()) return false;
    LGot += r.Count;
  }
  if (LGot != LTotal) return false;
  return ALenient ? r.GetLeft() <= 253 : r.GetLeft() == 0;
}

// The picture stream of FRACTALS!: runs (colour shl 12 or a count of
// 1..4095) and literal groups (bit 11: the top nibble, then m = w and 0x1FF
// nibbles of the next bytes, high nibble first, an odd last byte's low
// nibble skipped).
class TKvFractalReader {
public:
  explicit TKvFractalReader(const TKvBytes& AData) : FData(AData) {}
  bool NextPixel(int& APixel) {
    if (FRun > 0) {
      --FRun;
      APixel = FColour;
      return true;
    }
    if (FLiteral > 0) {
      if (FHighDone) {
        APixel = FData.U8(FOffset) & 15;
        ++FOffset;
        FHighDone = false;
      } else {
        if (!FData.Has(FOffset, 1)) return false;
        APixel = FData.U8(FOffset) >> 4;
        FHighDone = true;
      }
      if (--FLiteral == 0 && FOdd) {
        ++FOffset;
        FHighDone = false;
      }
      return true;
    }
    if (!FData.Has(FOffset, 2)) return false;
    const int w = FData.Be16(FOffset);
    FOffset += 2;
    if (w & 0x800) {
      FLiteral = w & 0x1FF;
      FOdd = (FLiteral & 1) != 0;
      FHighDone = false;
      APixel = w >> 12;
      return true;
    }
    const int LCount = w & 0xFFF;
    if (LCount == 0) return false;
    FColour = w >> 12;
    FRun = LCount - 1;
    APixel = FColour;
    return true;
  }
  bool Pending() const { return FRun > 0 || FLiteral > 0; }
  int64_t GetLeft() const { return FData.Size() - FOffset; }

private:
  TKvBytes FData;
  int64_t FOffset = 0;
  int FRun = 0;
  int FColour = 0;
  int FLiteral = 0;
  bool FOdd = false;
  bool FHighDone = false;
};

// The records of a FRACTALS! file joined: 255 bytes of each sector.
std::vector<uint8_t> JoinFractalRecords(const TKvBytes& AFile, int ASectors) {
  std::vector<uint8_t> r(static_cast<size_t>(ASectors) * 255);
  for (int i = 0; i < ASectors; ++i)
    AFile.Read(kHeader + static_cast<int64_t>(i) * 256, r.data() + static_cast<size_t>(i) * 255, 255);
  return r;
}

bool IsFractalHeader(const TKvBytes& AFile) {
  if (AFile.Size() <= kHeader || CheckTiFiles(AFile) == 0) return false;
  return AFile.U8(11) == 1 && AFile.U8(13) == 0xFF && AFile.U8(12) == 0 && AFile.Be16(8) >= 2;
}

// Bytes as Latin-1 text in UTF-8, trimmed of blanks and control bytes.
std::string LatinText(const TKvBytes& AData, int64_t AOffset, int ACount) {
  const auto text = AData.Row(AOffset, ACount);
  int a = 0, b = static_cast<int>(text.size());
  while (a < b && text[a] <= ' ') ++a;
  while (b > a && text[b - 1] <= ' ') --b;
  std::string r;
  for (int i = a; i < b; ++i) {
    const uint8_t c = text[i];
    if (c < 0x80) {
      r += static_cast<char>(c);
    } else {
      r += static_cast<char>(0xC0 | (c >> 6));
      r += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return r;
}

}  // namespace

int64_t TiFilesDataLength(const TKvBytes& AHeader) {
  const int64_t LSectors = AHeader.Be16(8);
  const int LEof = AHeader.U8(12);
  return LEof == 0 ? LSectors * 256 : (LSectors - 1) * 256 + LEof;
}

int64_t CheckTiFiles(const TKvBytes& AFile) {
  if (AFile.Size() < kHeader) return 0;
  if (!AFile.Same(0, "\x07TIFILES", 8)) return 0;
  if (AFile.Be16(8) == 0) return 0;
  const int64_t LLength = TiFilesDataLength(AFile);
  if (AFile.Size() < LLength + kHeader) return 0;
  return LLength;
}

bool IsTiFilesOfLength(const TKvBytes& AFile, int64_t ALength) { return CheckTiFiles(AFile) == ALength; }

TKvGeneveKind DetectGeneveFormat(const TKvBytes& AData, int& AHeight) {
  AHeight = 0;
  if (AData.Size() <= 2) return gkNone;
  static constexpr int kHeights[4] = {424, 384, 212, 192};
  for (bool LLenient : {false, true})
    for (bool LG7 : {false, true})
      for (int h : kHeights)
        if (TestGeneve(AData, LG7, h, LLenient)) {
          AHeight = h;
          return LG7 ? gkG7 : gkG6;
        }
  return gkNone;
}

bool CheckFractalData(const TKvBytes& AData) {
  if (AData.Size() < 256 || (AData.U8(1) != 'C' && AData.U8(1) != 'M')) return false;
  TKvFractalReader r(AData.Sub(255));
  int LPixel = 0;
  for (int y = 0; y < 212; ++y) {
    for (int x = 0; x < 512; ++x)
      if (!r.NextPixel(LPixel)) return false;
    if (r.Pending()) return false;
  }
  return r.GetLeft() <= 254;
}

namespace KvOpenPlatformTI99 {

void TKvTIEngine::SetTI99PaletteTypes() {
  PaletteTypes.clear();
  for (TKvPaletteType t : {ptTI99MSX, ptTI99Adam, ptTI99Convert9918}) AddPaletteType(t);
  PaletteType = ptTI99Convert9918;
}

// ---------------------------------------------------------------------------
// Bitmap sets

TKvMatchFlags TKvTi9918AEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".tiap" || ASource.GetSize() != 6272 || !IsTiFilesOfLength(ASource.GetBytes(), 6144))
    return 0;
  if (const TKvLoadSourceRec* LColors = Companion(ASource, ".tiac")) {
    if (!IsBitmapColorFile(LColors)) return 0;
    const TKvLoadSourceRec* LPalette = Companion(ASource, ".tiam");
    if (LPalette && !IsPaletteFile(LPalette)) return 0;
  }
  return mfHeader | mfExtension | mfSize;
}

TKvTi9918AEngine::TKvTi9918AEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Data = ASource.GetBytes().Sub(kHeader, 6144);
  const TKvLoadSourceRec* LColors = Companion(ASource, ".tiac");
  if (IsBitmapColorFile(LColors)) {
    Colors = LColors->View().Sub(kHeader, 6144);
    const TKvLoadSourceRec* LPalette = Companion(ASource, ".tiam");
    if (IsPaletteFile(LPalette)) PaletteData = LPalette->View().Sub(kHeader);
  }
  Width = 256;
  Height = 192;
  Bits = 4;
  PixelAspect = 12;
  std::string LKind = " 9918A";
  if (!PaletteData.Empty()) LKind = PaletteData.Size() == 6144 ? " F18A scanline" : " F18A palette";
  Description = "TI-99/4A" + GetSizeText() + LKind + " bitmap" + (Colors.Empty() ? " B/W" : "") + " image";
  if (PaletteData.Empty()) SetTI99PaletteTypes();
}

std::unique_ptr<TKvBitmap> TKvTi9918AEngine::Decode() {
  if (PaletteData.Size() == 6144) {
    auto b = std::make_unique<TKvBitmap24>(256, 192);
    for (int y = 0; y < 192; ++y)
      for (int c = 0; c < 32; ++c) {
        const int o = (y >> 3) * 256 + c * 8 + (y & 7);
        const uint8_t p = Data.U8(o), a = Colors.U8(o);
        for (int i = 0; i < 8; ++i) {
          const int k = ((p >> (7 - i)) & 1) ? a >> 4 : a & 15;
          b->SetPixel(c * 8 + i, y, static_cast<int>(F18AColor(PaletteData, 2 * (16 * y + k))));
        }
      }
    return b;
  }
  if (!PaletteData.Empty()) {
    Palette->Clear();
    for (int i = 0; i < 16; ++i) {
      const uint32_t v = F18AColor(PaletteData, 2 * i);
      Palette->AddRGB(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v));
    }
  } else {
    BuildTI99Palette(*Palette, PaletteType, 11);
  }
  auto b = std::make_unique<TKvBitmap4>(256, 192, Palette.get());
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 32; ++c)
      for (int k = 0; k < 8; ++k) {
        const int o = 256 * r + 8 * c + k;
        const int LInk = Colors.Empty() ? 1 : Colors.U8(o) >> 4;
        const int LPaper = Colors.Empty() ? 15 : Colors.U8(o) & 15;
        PutInkPaperByte(b.get(), Data.U8(o), LPaper, LInk, c, 8 * r + k, 8);
      }
  return b;
}

// ---------------------------------------------------------------------------
// Multicolour screens

TKvMatchFlags TKvTi9918A6448Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".tiap" || ASource.GetSize() != 1664 || !IsTiFilesOfLength(ASource.GetBytes(), 1536))
    return 0;
  if (const TKvLoadSourceRec* LSecond = Companion(ASource, ".tiac"))
    if (!IsTiFilesRec(LSecond, 1664, 1536)) return 0;
  return mfHeader | mfExtension | mfSize;
}

TKvTi9918A6448Engine::TKvTi9918A6448Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Data = ASource.GetBytes().Sub(kHeader, 1536);
  const TKvLoadSourceRec* LSecond = Companion(ASource, ".tiac");
  if (IsTiFilesRec(LSecond, 1664, 1536)) Colors = LSecond->View().Sub(kHeader, 1536);
  Width = 64;
  Height = 48;
  Bits = 4;
  PixelAspect = 12;
  Description = "TI-99/4A" + GetSizeText() + " 9918A multicolor" + (Colors.Empty() ? "" : " dual") + " image";
  SetTI99PaletteTypes();
}

std::unique_ptr<TKvBitmap> TKvTi9918A6448Engine::Decode() {
  BuildTI99Palette(*Palette, PaletteType, 11);
  if (Colors.Empty()) {
    auto b = std::make_unique<TKvBitmap4>(64, 48, Palette.get());
    for (int y = 0; y < 48; ++y)
      for (int c = 0; c < 32; ++c) {
        const uint8_t a = Data.U8((y >> 3) * 256 + c * 8 + (y & 7));
        b->SetPixel(2 * c, y, a >> 4);
        b->SetPixel(2 * c + 1, y, a & 15);
      }
    return b;
  }
  MakeGigaScreenPalette();
  for (int i = 0; i < 16; ++i) Palette->Colors[i].Skip = true;
  auto b = std::make_unique<TKvBitmap8>(64, 48, Palette.get());
  TKvBitmap* f1 = b->AddFrame(Palette2.get());
  TKvBitmap* f2 = b->AddFrame(Palette2.get());
  for (int y = 0; y < 48; ++y)
    for (int c = 0; c < 32; ++c) {
      const int o = (y >> 3) * 256 + c * 8 + (y & 7);
      const uint8_t A = Data.U8(o), B = Colors.U8(o);
      b->SetPixel(2 * c, y, (A & 0xF0) | (B >> 4));
      f1->SetPixel(2 * c, y, A >> 4);
      f2->SetPixel(2 * c, y, B >> 4);
      b->SetPixel(2 * c + 1, y, ((A << 4) & 0xFF) | (B & 15));
      f1->SetPixel(2 * c + 1, y, A & 15);
      f2->SetPixel(2 * c + 1, y, B & 15);
    }
  return b;
}

// ---------------------------------------------------------------------------
// Geneve run pictures

TKvMatchFlags TKvTiG67Engine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= kHeader) return 0;
  const int64_t L = CheckTiFiles(d);
  if (L <= 32 || d.U8(11) != 2 || d.U8(13) != 0x80) return 0;
  int LHeight = 0;
  if (DetectGeneveFormat(d.Sub(kHeader, L), LHeight) == gkNone) return 0;
  return mfHeader | mfSize;
}

TKvTiG67Engine::TKvTiG67Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  FData = ASource.GetBytes().Sub(kHeader, CheckTiFiles(ASource.GetBytes()));
  int LHeight = 0;
  FKind = DetectGeneveFormat(FData, LHeight);
  if (FKind == gkG6) {
    Width = 512;
    Bits = 4;
    PixelAspect = LHeight <= 212 ? 2 : 12;
  } else if (FKind == gkG7) {
    Width = 256;
    Bits = 8;
    PixelAspect = LHeight <= 212 ? 12 : 18;
  } else {
    RaiseBadHeader();
  }
  Height = LHeight;
  Description = "Geneve 9640" + GetSizeText() + (FKind == gkG6 ? " G6" : " G7") + " image";
}

std::unique_ptr<TKvBitmap> TKvTiG67Engine::Decode() {
  const bool LG7 = FKind == gkG7;
  std::unique_ptr<TKvBitmap> b;
  TGeneveRunReader r(FData.Sub(2), LG7);
  if (LG7) {
    BuildMSXScreen8Palette(*Palette, false);
    b = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  } else {
    FillGenevePalette(*Palette, FData.Sub(2));
    r.Skip(32);
    b = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  }
  int LLeft = 0, LColour = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      if (LLeft == 0 && r.NextRun()) {
        LLeft = r.Count;
        LColour = r.Colour;
      }
      if (LLeft > 0) --LLeft;
      b->SetPixel(x, y, LColour);
    }
  return b;
}

TKvMatchFlags TKvTiG6FractalEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (!IsFractalHeader(d)) return 0;
  const std::vector<uint8_t> LJoined = JoinFractalRecords(d, d.Be16(8));
  if (!CheckFractalData(TKvBytes(LJoined))) return 0;
  return mfHeader | mfSize;
}

TKvTiG6FractalEngine::TKvTiG6FractalEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (!IsFractalHeader(d)) RaiseCorruptData();
  FJoined = JoinFractalRecords(d, d.Be16(8));
  Width = 512;
  Height = 212;
  Bits = 4;
  PixelAspect = 2;
  Description = "Geneve 9640" + GetSizeText() + "  FRACTALS!" + " image";
  Comment = LatinText(TKvBytes(FJoined), 72, 183);
}

std::unique_ptr<TKvBitmap> TKvTiG6FractalEngine::Decode() {
  const TKvBytes LJoined(FJoined);
  FillGenevePalette(*Palette, LJoined.Sub(2));
  auto b = std::make_unique<TKvBitmap4>(512, 212, Palette.get());
  TKvFractalReader r(LJoined.Sub(255));
  int LPixel = 0;
  for (int y = 0; y < 212; ++y)
    for (int x = 0; x < 512; ++x) {
      r.NextPixel(LPixel);
      b->SetPixel(x, y, LPixel);
    }
  return b;
}

}  // namespace KvOpenPlatformTI99

void InitKvOpenPlatformTI99() {
  using namespace KvOpenPlatformTI99;
  RegisterSourceEngine(SourceEngineClass<TKvTi9918AEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvTi9918A6448Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvTiG67Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvTiG6FractalEngine>());
}
