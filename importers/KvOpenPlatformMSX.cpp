#include "importers/KvOpenPlatformMSX.h"

#include <algorithm>
#include <cstring>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformMSX.h"

namespace {

// The name without its extension, and the extension with its dot as written.
void SplitName(const std::string& AName, std::string& AStem, std::string& AExt) {
  const size_t slash = AName.find_last_of("/\\");
  const size_t dot = AName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    AStem = AName;
    AExt.clear();
  } else {
    AStem = AName.substr(0, dot);
    AExt = AName.substr(dot);
  }
}

// The Z80 routine that every RGB palette file carries before its levels.
constexpr uint8_t kRgbPaletteRoutine[34] = {0x06, 0x10, 0x16, 0x00, 0x21, 0x22, 0xC0, 0x7E, 0xCB, 0x27, 0xCB, 0x27,
                                            0xCB, 0x27, 0xCB, 0x27, 0x4F, 0x23, 0x5E, 0x23, 0x7E, 0x81, 0xDD, 0x21,
                                            0x4D, 0x01, 0xCD, 0x5F, 0x01, 0x14, 0x23, 0x10, 0xE6, 0xC9};

constexpr uint8_t Entry0(int r, int b) { return static_cast<uint8_t>((r << 4) | b); }

}  // namespace

// ---------------------------------------------------------------------------
// TKvBaseMSXEngine

const uint8_t TKvBaseMSXEngine::MSX2DefaultPalette[32] = {
    Entry0(0, 0), 0, Entry0(0, 0), 0, Entry0(1, 1), 6, Entry0(3, 3), 7, Entry0(1, 7), 1, Entry0(2, 7), 3,
    Entry0(5, 1), 1, Entry0(2, 7), 6, Entry0(7, 1), 1, Entry0(7, 3), 3, Entry0(6, 1), 6, Entry0(6, 4), 6,
    Entry0(1, 1), 4, Entry0(6, 5), 2, Entry0(5, 5), 5, Entry0(7, 7), 7,
};

const uint8_t TKvBaseMSXEngine::Screen6DefaultPalette[8] = {Entry0(0, 0), 0, Entry0(1, 1), 4,
                                                            Entry0(1, 1), 6, Entry0(3, 3), 7};

TKvBaseMSXEngine::TKvBaseMSXEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource) {}

bool TKvBaseMSXEngine::IsValidMSXPalette(const uint8_t* AEntries, int ACount) {
  bool any = false;
  for (int i = 0; i < ACount; ++i) {
    const uint8_t b0 = AEntries[2 * i], b1 = AEntries[2 * i + 1];
    if ((b0 & 0x88) != 0 || b1 >= 8) return false;
    if (b0 != 0 || b1 != 0) any = true;
  }
  return any;
}

uint8_t TKvBaseMSXEngine::LevelToByte(int ALevel, TKvPaletteType AType) {
  ALevel &= 7;
  return AType == ptMSX9958 ? Std5ToByte[Level3To5[ALevel]] : Std3ToByte[ALevel];
}

void TKvBaseMSXEngine::FillMSXPalette(TKvPalette256& APalette, const uint8_t* AEntries, int ACount,
                                      TKvPaletteType AType) {
  APalette.Clear();
  for (int i = 0; i < ACount; ++i) {
    const uint8_t b0 = AEntries[2 * i], b1 = AEntries[2 * i + 1];
    APalette.AddStdRGB(StdRGBColor(LevelToByte(b0 >> 4, AType), LevelToByte(b1, AType), LevelToByte(b0, AType)));
  }
}

void TKvBaseMSXEngine::ApplyMSXPalette(const uint8_t* AEntries, int ACount) {
  FillMSXPalette(*Palette, AEntries, ACount, PaletteType);
}

void TKvBaseMSXEngine::SetMSXPaletteTypes() {
  PaletteType = ptMSX9938;
  PaletteTypes = {ptMSX9938, ptMSX9958};
}

const TKvLoadSourceRec* TKvBaseMSXEngine::GetCompanion(const std::string& AExt) {
  std::string stem, ext;
  SplitName(FileName, stem, ext);
  return Source->GetFile(stem + AExt);
}

void TKvBaseMSXEngine::LoadSidePalette(const std::string& AExt, int ACount) {
  const TKvLoadSourceRec* rec = GetCompanion(AExt);
  if (!rec || !rec->Data || rec->Size < 32 || !IsValidMSXPalette(rec->Data, ACount)) return;
  SidePalette = rec->Data;
  SidePaletteSize = rec->Size;
  if (rec->Size != 256) return;
  for (int k = 0; k < 8; ++k) {
    const uint8_t* block = rec->Data + 32 * k;
    if (!IsValidMSXPalette(block, ACount)) continue;
    bool repeated = false;
    for (int j = 0; j < k && !repeated; ++j) repeated = std::memcmp(block, rec->Data + 32 * j, 2 * ACount) == 0;
    if (repeated) continue;
    Variants.push_back("Variant " + std::to_string(k + 1));
    VariantNumbers.push_back(k);
  }
}

const uint8_t* TKvBaseMSXEngine::SelectedSidePalette() const {
  if (VariantName.empty()) return SidePalette;
  const auto it = std::find(Variants.begin(), Variants.end(), VariantName);
  if (it == Variants.end()) RaiseInternalError();
  return SidePalette + 32 * VariantNumbers[static_cast<size_t>(it - Variants.begin())];
}

void TKvBaseMSXEngine::GetVariantPalette(int AIndex, TKvPalette256& APalette) {
  if (!SidePalette || AIndex < 0 || AIndex >= static_cast<int>(VariantNumbers.size())) return;
  FillMSXPalette(APalette, SidePalette + 32 * VariantNumbers[static_cast<size_t>(AIndex)], GetPaletteColorCount(),
                 PaletteType);
}

void TKvBaseMSXEngine::SetupSidePalette(int ACount) {
  if (SidePalette)
    ApplyMSXPalette(SelectedSidePalette(), ACount);
  else
    ApplyMSXPalette(ACount == 4 ? Screen6DefaultPalette : MSX2DefaultPalette, ACount);
}

// ---------------------------------------------------------------------------
// TKvSCEngine

const uint8_t TKvSCEngine::Screen8SpriteLevels[16][3] = {
    {0, 0, 0}, {0, 0, 2}, {3, 0, 0}, {3, 0, 2}, {0, 3, 0}, {0, 3, 2}, {3, 3, 0}, {3, 3, 2},
    {7, 4, 2}, {0, 0, 7}, {7, 0, 0}, {7, 0, 7}, {0, 7, 0}, {0, 7, 7}, {7, 7, 0}, {7, 7, 7},
};

TKvSCEngine::TKvSCEngine(TKvLoadSource& ASource) : TKvBaseMSXEngine(ASource) {}

TKvMatchFlags TKvSCEngine::MatchDump(TKvLoadSource& ASource, std::initializer_list<const char*> AExts,
                                     std::initializer_list<int32_t> ASizes, int32_t AMinSize) {
  const int32_t size = ASource.GetSize();
  const uint8_t* data = ASource.GetData();
  if (!data || size < BsaveHeaderSize) return 0;
  const bool exact = std::find(ASizes.begin(), ASizes.end(), size) != ASizes.end();
  const std::string& ext = ASource.GetExtension();
  const bool own = std::any_of(AExts.begin(), AExts.end(), [&](const char* e) { return ext == e; });
  if (own) {
    if (size < AMinSize || data[0] != 0xFE) return 0;
    return static_cast<TKvMatchFlags>(mfHeader | mfExtension | (exact ? mfSize : 0));
  }
  if (exact && CheckBsaveHeader(data, size, 0, 0)) return mfHeader | mfSize;
  return 0;
}

void TKvSCEngine::SetUpDump(int32_t ANeeded) {
  // Only files that passed the acceptance rule reach here; a shorter one is
  // refused all the same rather than read past its end.
  if (Source->GetSize() < BsaveHeaderSize + ANeeded || !Source->GetData()) RaiseInternalError();
  Data = Source->GetData() + BsaveHeaderSize;
  DataSize = Source->GetSize() - BsaveHeaderSize;
}

void TKvSCEngine::Describe(bool AMSX2, int AWidth, int AHeight, int ABits, const char* AMode, uint8_t AAspect,
                           uint8_t AInterlacedAspect) {
  Width = AWidth;
  Height = SecondPage ? 2 * AHeight : AHeight;
  Bits = ABits;
  PixelAspect = SecondPage ? AInterlacedAspect : AAspect;
  Description = std::string(AMSX2 ? "MSX2" : "MSX") + GetSizeText() + " screen " + AMode +
                (SecondPage ? " interlaced" : "") + " image";
}

const uint8_t* TKvSCEngine::PictureRow(int ARow, int ARowBytes) const {
  if (!SecondPage) return Data + static_cast<ptrdiff_t>(ARow) * ARowBytes;
  return ((ARow & 1) ? SecondPage : Data) + static_cast<ptrdiff_t>(ARow >> 1) * ARowBytes;
}

void TKvSCEngine::SetupScreenPalette(int AOffset, bool AMSX2, int ACount) {
  if (SidePalette) {
    ApplyMSXPalette(SelectedSidePalette(), ACount);
  } else if (RgbPalette) {
    Palette->Clear();
    for (int i = 0; i < ACount; ++i) {
      const uint8_t* t = RgbPalette + 3 * i;
      Palette->AddRGB(LevelToByte(t[0], PaletteType), LevelToByte(t[1], PaletteType), LevelToByte(t[2], PaletteType));
    }
  } else if (static_cast<int64_t>(DataSize) >= static_cast<int64_t>(AOffset) + 2 * ACount &&
             IsValidMSXPalette(Data + AOffset, ACount)) {
    ApplyMSXPalette(Data + AOffset, ACount);
  } else if (AMSX2) {
    ApplyMSXPalette(ACount == 4 ? Screen6DefaultPalette : MSX2DefaultPalette, ACount);
  } else {
    BuildMSXPalette(*Palette);
    while (Palette->Count > ACount) Palette->Delete(Palette->Count - 1);
  }
}

void TKvSCEngine::FindSecondPageByExt(const std::string& AExt, int32_t AMinSize) {
  const TKvLoadSourceRec* rec = GetCompanion(AExt);
  if (rec && rec->Data && rec->Size >= AMinSize && rec->Size >= BsaveHeaderSize && rec->Data[0] == 0xFE)
    SecondPage = rec->Data + BsaveHeaderSize;
}

void TKvSCEngine::FindSecondPageByName(int32_t ASize) {
  std::string stem, ext;
  SplitName(FileName, stem, ext);
  if (stem.empty() || stem.back() != '0') return;
  stem.back() = '1';
  const TKvLoadSourceRec* rec = Source->GetFile(stem + ext);
  if (rec && rec->Data && rec->Size == ASize && ASize >= BsaveHeaderSize && CheckBsaveHeader(rec->Data, ASize, 0, 0))
    SecondPage = rec->Data + BsaveHeaderSize;
}

void TKvSCEngine::FindRgbPaletteFile() {
  std::string stem, ext;
  SplitName(FileName, stem, ext);
  const TKvLoadSourceRec* rec = Source->GetFile(stem + ".pal");
  if (!rec && SecondPage && !stem.empty() && stem.back() == '0')
    rec = Source->GetFile(stem.substr(0, stem.size() - 1) + ".pal");
  if (!rec || !rec->Data || rec->Size != 89) return;
  const uint8_t* d = rec->Data;
  if (!CheckBsaveHeader(d, 89, 0xC000, 0xC000)) return;
  if (std::memcmp(d + 7, kRgbPaletteRoutine, sizeof kRgbPaletteRoutine) != 0) return;
  for (int i = 41; i < 89; ++i)
    if (d[i] > 7) return;
  RgbPalette = d + 41;
}

void TKvSCEngine::DrawSprites(TKvBitmap& ABitmap, int AMode, int AAttrTable, int APatternTable) {
  // Every table the sprites read must lie inside the dump.
  const int colorTable = AMode >= 4 ? AAttrTable - 512 : AAttrTable;
  if (colorTable < 0 || APatternTable < 0 || static_cast<int64_t>(AAttrTable) + 128 > DataSize ||
      static_cast<int64_t>(APatternTable) + 2048 > DataSize)
    return;
  const uint8_t* attrs = Data + AAttrTable;
  const uint8_t* patterns = Data + APatternTable;
  const int endY = AMode < 4 ? 208 : 216;
  TKvPalette256 spriteColors;
  if (AMode == 8)
    for (const auto& l : Screen8SpriteLevels) spriteColors.AddRGB(Std3ToByte[l[0]], Std3ToByte[l[1]], Std3ToByte[l[2]]);
  for (int y = 0; y < ABitmap.Height; ++y) {
    // The two pages of an interlaced picture show the same sprites on the
    // two lines of each pair.
    const int spriteY = SecondPage ? y / 2 : y;
    for (int x = 0; x < 256; ++x) {
      int c = 0;
      bool covered = false;
      int budget = AMode < 4 ? 4 : 8;
      for (int s = 0; s < 32; ++s) {
        const uint8_t* rec = attrs + 4 * s;
        if (rec[0] == endY) break;
        const int line = (spriteY - rec[0] - 1) & 255;
        if (line >= 16) continue;
        if (--budget < 0) break;
        const int a = AMode < 4 ? rec[3] : Data[colorTable + 16 * s + line];
        if (AMode < 4 || (a & 0x40) == 0) {
          if (c != 0) break;
          covered = true;
        } else if (!covered) {
          continue;
        }
        const int dx = x - rec[1] + ((a & 0x80) ? 32 : 0);
        if (dx < 0 || dx >= 16) continue;
        const uint8_t bits = patterns[8 * (rec[2] & 0xFC) + line + 2 * (dx & 8)];
        if ((bits >> (7 - (dx & 7))) & 1) {
          c |= a;
          if (AMode >= 4) c |= 0x10;
        }
      }
      if (c == 0) continue;
      const int v = c & 15;
      switch (AMode) {
        case 6:
          ABitmap.SetPixel(2 * x, y, (c >> 2) & 3);
          ABitmap.SetPixel(2 * x + 1, y, c & 3);
          break;
        case 7:
          ABitmap.SetPixel(2 * x, y, v);
          ABitmap.SetPixel(2 * x + 1, y, v);
          break;
        case 8: ABitmap.SetPixel(x, y, static_cast<int>(spriteColors.GetRGBQuad(v))); break;
        case 10:
        case 11:
        case 12: ABitmap.SetPixel(x, y, static_cast<int>(Palette->GetRGBQuad(v))); break;
        default: ABitmap.SetPixel(x, y, v); break;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// SCREEN 2 and 4

std::unique_ptr<TKvBitmap> TKvBaseSC24Engine::Decode() {
  SetupScreenPalette(0x1B80, IsMSX2, 16);
  auto bitmap = std::make_unique<TKvBitmap4>(256, 192, Palette.get());
  DecodePatterns(*bitmap);
  if (HasSprites) DrawSprites(*bitmap, IsScreen4 ? 4 : 2, IsScreen4 ? 0x1E00 : 0x1B00, 0x3800);
  return bitmap;
}

void TKvBaseSC24Engine::DecodePatterns(TKvBitmap& ABitmap) {
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 32; ++c) {
      const int q = 256 * (r / 8) + Data[0x1800 + 32 * r + c];
      for (int k = 0; k < 8; ++k) {
        const uint8_t color = Data[0x2000 + 8 * q + k];
        PutInkPaperByte(&ABitmap, Data[8 * q + k], color & 15, color >> 4, c, 8 * r + k, 8);
      }
    }
}

TKvSC2Engine::TKvSC2Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(0x3800);
  const std::string& ext = ASource.GetExtension();
  if (ext == ".s02") FindRgbPaletteFile();
  HasSprites = ext == ".sc2" && DataSize > 0x3FFF;
  IsMSX2 = DataSize == 0x4000 || IsValidMSXPalette(Data + 0x1B80, 16) || RgbPalette;
  Describe(IsMSX2, 256, 192, 4, "2", 12, 12);
  PaletteType = ptMSX9938;
  if (IsMSX2) SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC2Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc2", ".s02", ".sr2", ".grp"}, {14343, 16391}, 14343);
}

TKvSC4Engine::TKvSC4Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(0x3800);
  const std::string& ext = ASource.GetExtension();
  if (ext == ".s04") FindRgbPaletteFile();
  HasSprites = ext == ".sc4" && DataSize > 0x3FFF;
  IsScreen4 = true;
  IsMSX2 = true;
  Describe(true, 256, 192, 4, "4", 12, 12);
  SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC4Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc4", ".sr4"}, {14343, 16391}, 14343);
}

// ---------------------------------------------------------------------------
// SCREEN 3

TKvSC3Engine::TKvSC3Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(0x600);
  if (ASource.GetExtension() == ".s03") FindRgbPaletteFile();
  IsMSX2 = (DataSize >= 0x2040 && IsValidMSXPalette(Data + 0x2020, 16)) || RgbPalette;
  Describe(IsMSX2, 64, 48, 4, "3", 12, 12);
  PaletteType = ptMSX9938;
  if (IsMSX2) SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC3Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc3", ".s03", ".sr3"}, {1543, 16391}, 1543);
}

std::unique_ptr<TKvBitmap> TKvSC3Engine::Decode() {
  SetupScreenPalette(0x2020, IsMSX2, 16);
  auto bitmap = std::make_unique<TKvBitmap4>(64, 48, Palette.get());
  for (int y = 0; y < 48; ++y)
    for (int c = 0; c < 32; ++c) {
      const uint8_t b = Data[256 * (y / 8) + 8 * c + (y % 8)];
      bitmap->SetPixel(2 * c, y, b >> 4);
      bitmap->SetPixel(2 * c + 1, y, b & 15);
    }
  return bitmap;
}

// ---------------------------------------------------------------------------
// SCREEN 5 to 8

namespace {

// The companions of the bitmap screens: a second page by extension for the
// first extension, by name (and an RGB palette file) for the second, a
// palette side file for the third.
struct TDumpCompanions {
  const char* Ext;
  const char* SecondPageExt;
  const char* NamedExt;
  const char* SideExt;
  const char* SideFileExt;
  int32_t PageSize;
  int SideCount;
  bool RgbPalette;
};

void FindCompanions(TKvSCEngine& AEngine, const std::string& AExt, const TDumpCompanions& A) {
  if (AExt == A.Ext) {
    AEngine.FindSecondPageByExt(A.SecondPageExt, A.PageSize);
  } else if (AExt == A.NamedExt) {
    AEngine.FindSecondPageByName(A.PageSize);
    if (A.RgbPalette) AEngine.FindRgbPaletteFile();
  } else if (A.SideExt && AExt == A.SideExt) {
    AEngine.LoadSidePalette(A.SideFileExt, A.SideCount);
  }
}

}  // namespace

TKvSC5Engine::TKvSC5Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(212 * 128);
  const std::string& ext = ASource.GetExtension();
  FindCompanions(*this, ext, {".sc5", ".s15", ".s05", ".sr5", ".pl5", 27143, 16, true});
  HasSprites = ext == ".sc5" && DataSize > 0x7FFF;
  Describe(true, 256, 212, 4, "5", 12, 18);
  SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC5Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc5", ".s05", ".sr5", ".ge5"}, {27143, 30375, 30471, 32775}, 27143);
}

std::unique_ptr<TKvBitmap> TKvSC5Engine::Decode() {
  SetupScreenPalette(0x7680, true, 16);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) std::memcpy(bitmap->GetScanline(y), PictureRow(y, 128), 128);
  if (HasSprites) DrawSprites(*bitmap, 5, 0x7600, 0x7800);
  return bitmap;
}

TKvSC6Engine::TKvSC6Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(212 * 128);
  const std::string& ext = ASource.GetExtension();
  FindCompanions(*this, ext, {".sc6", ".s16", ".s06", ".sr6", ".pl6", 27143, 4, true});
  HasSprites = ext == ".sc6" && DataSize > 0x7FFF;
  Describe(true, 512, 212, 2, "6", 2, 12);
  SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC6Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc6", ".s06", ".sr6"}, {27143, 30351, 30375, 32775}, 27143);
}

std::unique_ptr<TKvBitmap> TKvSC6Engine::Decode() {
  SetupScreenPalette(0x7680, true, 4);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) {
    const uint8_t* p = PictureRow(y, 128);
    PutPixels2BitRow(bitmap.get(), p, 0, y, 128);
  }
  if (HasSprites) DrawSprites(*bitmap, 6, 0x7600, 0x7800);
  return bitmap;
}

TKvSC7Engine::TKvSC7Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(212 * 256);
  const std::string& ext = ASource.GetExtension();
  FindCompanions(*this, ext, {".sc7", ".s17", ".s07", ".sr7", ".pl7", 54279, 16, true});
  HasSprites = ext == ".sc7" && DataSize > 64127;
  Describe(true, 512, 212, 4, "7", 2, 12);
  SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC7Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc7", ".s07", ".sr7", ".ge7"}, {54279, 64167}, 54279);
}

std::unique_ptr<TKvBitmap> TKvSC7Engine::Decode() {
  SetupScreenPalette(0xFA80, true, 16);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) std::memcpy(bitmap->GetScanline(y), PictureRow(y, 256), 256);
  if (HasSprites) DrawSprites(*bitmap, 7, 0xFA00, 0xF000);
  return bitmap;
}

TKvSC8Engine::TKvSC8Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(212 * 256);
  const std::string& ext = ASource.GetExtension();
  FindCompanions(*this, ext, {".sc8", ".s18", ".s08", nullptr, nullptr, 54279, 0, false});
  HasSprites = ext == ".sc8" && DataSize > 64127;
  Describe(true, 256, 212, 8, "8", 12, 18);
  SetMSXPaletteTypes();
}

TKvMatchFlags TKvSC8Engine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".sc8", ".s08", ".sr8", ".ge8", ".pic"}, {54279, 64135}, 54279);
}

std::unique_ptr<TKvBitmap> TKvSC8Engine::Decode() {
  BuildMSXScreen8Palette(*Palette, PaletteType == ptMSX9958);
  if (!HasSprites) {
    auto bitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y) std::memcpy(bitmap->GetScanline(y), PictureRow(y, 256), 256);
    return bitmap;
  }
  auto bitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = PictureRow(y, 256);
    for (int x = 0; x < 256; ++x) bitmap->SetPixel(x, y, static_cast<int>(Palette->GetRGBQuad(row[x])));
  }
  DrawSprites(*bitmap, 8, 0xFA00, 0xF000);
  return bitmap;
}

// ---------------------------------------------------------------------------
// Run-length and zero-mask streams

bool TKvMSXRunReader::NextByte(uint8_t& AByte) {
  if (FCount > 0) {
    --FCount;
    AByte = FValue;
    return true;
  }
  if (FLeft <= 0) return false;
  const uint8_t b = *FData;
  if (b >= 0x10) {
    ++FData;
    --FLeft;
    AByte = b;
    return true;
  }
  // 00 n v or b v: a run.
  ++FData;
  --FLeft;
  int count = b;
  if (b == 0) {
    if (FLeft <= 0) return false;
    count = *FData++;
    --FLeft;
    if (count == 0) count = 256;
  }
  if (FLeft <= 0) {
    FCount = 0;
    return false;
  }
  FValue = *FData++;
  --FLeft;
  FCount = count - 1;
  AByte = FValue;
  return true;
}

bool TKvZeroMaskReader::TakeByte(uint8_t& AByte) {
  if (FLeft <= 0) return false;
  AByte = *FData++;
  --FLeft;
  return true;
}

bool TKvZeroMaskReader::Refill() {
  uint8_t control;
  if (!TakeByte(control)) return false;
  for (int i = 0; i < 8; ++i) {
    FMasks[i] = 0;
    if (((control >> (7 - i)) & 1) && !TakeByte(FMasks[i])) return false;
  }
  FBit = 0;
  return true;
}

bool TKvZeroMaskReader::NextByte(uint8_t& AByte) {
  if (FBit >= 64 && !Refill()) return false;
  const bool set = (FMasks[FBit >> 3] >> (7 - (FBit & 7))) & 1;
  ++FBit;
  if (!set) {
    AByte = 0;
    return true;
  }
  return TakeByte(AByte);
}

bool UnpackCMP(const uint8_t* AData, int64_t ASize, int AWidth, int AHeight, int APlainRows, uint8_t* ATarget) {
  if (AWidth <= 0 || AWidth > 128 || AHeight <= 0) return false;
  TKvZeroMaskReader reader(AData, ASize);
  uint8_t line[128] = {};
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      uint8_t b;
      if (!reader.NextByte(b)) return false;
      line[x] = y < APlainRows ? b : static_cast<uint8_t>(b ^ line[x]);
      if (ATarget) ATarget[static_cast<ptrdiff_t>(y) * AWidth + x] = line[x];
    }
  return reader.GetLeft() == 0;
}

// ---------------------------------------------------------------------------
// Pictures with a size header

namespace {

int GlWord(const uint8_t* AData, int AOffset) { return AData[AOffset] | AData[AOffset + 1] << 8; }

int64_t GlFileSize(int64_t AWidth, int64_t AHeight, int ABits) { return (AWidth * AHeight * ABits + 7) / 8 + 4; }

bool HasExt(const std::string& AExt, std::initializer_list<const char*> AExts) {
  return std::any_of(AExts.begin(), AExts.end(), [&](const char* e) { return AExt == e; });
}

// The flags of a recognised header: with an own extension, or without.
TKvMatchFlags HeaderFlags(bool AOwn, TKvMatchFlags AExtra) {
  return static_cast<TKvMatchFlags>(mfHeader | AExtra | (AOwn ? mfExtension : 0));
}

}  // namespace

TKvGLEngine::TKvGLEngine(TKvLoadSource& ASource) : TKvBaseMSXEngine(ASource) {}

TKvMatchFlags TKvGLEngine::MatchGl(TKvLoadSource& ASource, std::initializer_list<const char*> AExts, int ABits) {
  const uint8_t* d = ASource.GetData();
  const int32_t size = ASource.GetSize();
  if (!d || size <= 4 || !CheckGlHeader(d) || size != GlFileSize(GlWord(d, 0), GlWord(d, 2), ABits)) return 0;
  return HeaderFlags(HasExt(ASource.GetExtension(), AExts), mfSize);
}

void TKvGLEngine::SetUp(int ABits, int AShownBits, const char* AMode, uint8_t AAspect, const char* ASide,
                        int ASideCount, const char* AMachine) {
  const uint8_t* d = Source->GetData();
  // Only files Match accepted come here; a shorter one is refused all the
  // same rather than read past its end.
  if (!d || Source->GetSize() <= 4 || !CheckGlHeader(d) ||
      Source->GetSize() < GlFileSize(GlWord(d, 0), GlWord(d, 2), ABits))
    RaiseInternalError();
  Data = d + 4;
  Width = GlWord(d, 0);
  Height = GlWord(d, 2);
  Bits = AShownBits;
  if (ASide) LoadSidePalette(ASide, ASideCount);
  Description = std::string(AMachine) + GetSizeText() + " screen " + AMode + " image";
  PixelAspect = AAspect;
}

std::unique_ptr<TKvBitmap> TKvGLEngine::Decode4Bit() {
  SetupSidePalette(16);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  int64_t n = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x, ++n) bitmap->SetPixel(x, y, (Data[n >> 1] >> ((n & 1) ? 0 : 4)) & 15);
  return bitmap;
}

std::unique_ptr<TKvBitmap> TKvGLEngine::Decode2Bit() {
  SetupSidePalette(4);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  int64_t n = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x, ++n) bitmap->SetPixel(x, y, (Data[n >> 2] >> (6 - 2 * (n & 3))) & 3);
  return bitmap;
}

TKvGL5Engine::TKvGL5Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetMSXPaletteTypes();
  SetUp(4, 4, "5", 12, ".pl5", 16);
}
TKvMatchFlags TKvGL5Engine::Match(TKvLoadSource& ASource) { return MatchGl(ASource, {".gl5", ".sh5"}, 4); }
std::unique_ptr<TKvBitmap> TKvGL5Engine::Decode() { return Decode4Bit(); }

TKvGL6Engine::TKvGL6Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetMSXPaletteTypes();
  SetUp(2, 2, "6", 2, ".pl6", 4);
}
TKvMatchFlags TKvGL6Engine::Match(TKvLoadSource& ASource) { return MatchGl(ASource, {".gl6", ".sh6"}, 2); }
std::unique_ptr<TKvBitmap> TKvGL6Engine::Decode() { return Decode2Bit(); }

TKvGL7Engine::TKvGL7Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetMSXPaletteTypes();
  SetUp(4, 4, "7", 2, ".pl7", 16);
}
TKvMatchFlags TKvGL7Engine::Match(TKvLoadSource& ASource) { return MatchGl(ASource, {".gl7", ".sh7"}, 4); }
std::unique_ptr<TKvBitmap> TKvGL7Engine::Decode() { return Decode4Bit(); }

TKvGL8Engine::TKvGL8Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetMSXPaletteTypes();
  SetUp(8, 8, "8", 12, nullptr, 0);
}
TKvMatchFlags TKvGL8Engine::Match(TKvLoadSource& ASource) { return MatchGl(ASource, {".gl8", ".sh8"}, 8); }
std::unique_ptr<TKvBitmap> TKvGL8Engine::Decode() {
  BuildMSXScreen8Palette(*Palette, PaletteType == ptMSX9958);
  auto bitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y)
    std::memcpy(bitmap->GetScanline(y), Data + static_cast<ptrdiff_t>(y) * Width, static_cast<size_t>(Width));
  return bitmap;
}

namespace {

// Rows of AWidth YJK bytes in groups of 4; the last group of a row may be
// short, its missing bytes counting as 0.
template <class TDecodeGroup>
std::unique_ptr<TKvBitmap> DecodeYJKRows(int AWidth, int AHeight, const uint8_t* AData, TDecodeGroup ADecode) {
  auto bitmap = std::make_unique<TKvBitmap24>(AWidth, AHeight);
  const uint8_t* p = AData;
  for (int y = 0; y < AHeight; ++y) {
    int count = AWidth;
    for (int g = 0; g < (AWidth + 3) / 4; ++g) ADecode(*bitmap, g, y, p, count);
  }
  return bitmap;
}

}  // namespace

TKvGLAEngine::TKvGLAEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const bool b = HasExt(ASource.GetExtension(), {".glb", ".shb"});
  PaletteType = ptMSX9958;
  SetUp(8, 12, "10/11", 12, b ? ".plb" : ".pla", 16);
}
TKvMatchFlags TKvGLAEngine::Match(TKvLoadSource& ASource) {
  return MatchGl(ASource, {".gla", ".sha", ".glb", ".shb"}, 8);
}
std::unique_ptr<TKvBitmap> TKvGLAEngine::Decode() {
  SetupSidePalette(16);
  const TKvPalette& palette = *Palette;
  return DecodeYJKRows(Width, Height, Data,
                       [&](TKvBitmap24& ABitmap, int AGroup, int ARow, const uint8_t*& AData, int& ACount) {
                         DecodeYJKYAEGroup(ABitmap, AGroup, ARow, AData, ACount, palette);
                       });
}

TKvGLCEngine::TKvGLCEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  PaletteType = ptMSX9958;
  SetUp(8, 15, "12", 12, nullptr, 0);
}
TKvMatchFlags TKvGLCEngine::Match(TKvLoadSource& ASource) { return MatchGl(ASource, {".glc", ".gls", ".shc"}, 8); }
std::unique_ptr<TKvBitmap> TKvGLCEngine::Decode() { return DecodeYJKRows(Width, Height, Data, &DecodeYJKGroup); }

// ---------------------------------------------------------------------------
// Run-length files

TKvSREngine::TKvSREngine(TKvLoadSource& ASource) : TKvBaseMSXEngine(ASource) {}

TKvMatchFlags TKvSREngine::MatchSr(TKvLoadSource& ASource, const char* AExt) {
  const uint8_t* d = ASource.GetData();
  const int32_t size = ASource.GetSize();
  if (!d || size <= 6 || !CheckSrHeader(d, size, 0, 0)) return 0;
  return HeaderFlags(ASource.GetExtension() == AExt, mfSize);
}

void TKvSREngine::SetUp(int AWidth, int ABits, const char* AMode, uint8_t AAspect, const char* ASide) {
  if (!Source->GetData() || Source->GetSize() < BsaveHeaderSize) RaiseInternalError();
  Data = Source->GetData() + BsaveHeaderSize;
  DataSize = Source->GetSize() - BsaveHeaderSize;
  Width = AWidth;
  Height = 212;
  Bits = ABits;
  if (ASide) LoadSidePalette(ASide, 16);
  Description = std::string("MSX2") + GetSizeText() + " screen " + AMode + " image";
  PixelAspect = AAspect;
  SetMSXPaletteTypes();
}

std::unique_ptr<TKvBitmap> TKvSREngine::DecodeRun4Bit() {
  SetupSidePalette(16);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  TKvMSXRunReader reader(Data, DataSize);
  const int64_t total = static_cast<int64_t>(Width) * Height;
  uint8_t b;
  for (int64_t n = 0; n < total && reader.NextByte(b); n += 2) {
    bitmap->SetPixel(static_cast<int>(n % Width), static_cast<int>(n / Width), b >> 4);
    if (n + 1 < total) bitmap->SetPixel(static_cast<int>((n + 1) % Width), static_cast<int>((n + 1) / Width), b & 15);
  }
  return bitmap;
}

std::unique_ptr<TKvBitmap> TKvSREngine::DecodeRun8Bit() {
  BuildMSXScreen8Palette(*Palette, PaletteType == ptMSX9958);
  auto bitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  TKvMSXRunReader reader(Data, DataSize);
  const int64_t total = static_cast<int64_t>(Width) * Height;
  uint8_t b;
  for (int64_t n = 0; n < total && reader.NextByte(b); ++n)
    bitmap->SetPixel(static_cast<int>(n % Width), static_cast<int>(n / Width), b);
  return bitmap;
}

TKvSR5Engine::TKvSR5Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) { SetUp(256, 4, "5", 12, ".pl5"); }
TKvMatchFlags TKvSR5Engine::Match(TKvLoadSource& ASource) { return MatchSr(ASource, ".sr5"); }
std::unique_ptr<TKvBitmap> TKvSR5Engine::Decode() { return DecodeRun4Bit(); }

TKvSR7Engine::TKvSR7Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) { SetUp(512, 4, "7", 2, ".pl7"); }
TKvMatchFlags TKvSR7Engine::Match(TKvLoadSource& ASource) { return MatchSr(ASource, ".sr7"); }
std::unique_ptr<TKvBitmap> TKvSR7Engine::Decode() { return DecodeRun4Bit(); }

TKvSR8Engine::TKvSR8Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) { SetUp(256, 8, "8", 12, nullptr); }
TKvMatchFlags TKvSR8Engine::Match(TKvLoadSource& ASource) { return MatchSr(ASource, ".sr8"); }
std::unique_ptr<TKvBitmap> TKvSR8Engine::Decode() { return DecodeRun8Bit(); }

// ---------------------------------------------------------------------------
// Packed SCREEN 5, 1-bit pictures and publisher pages

TKvCMPEngine::TKvCMPEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const uint8_t* d = ASource.GetData();
  if (!d || ASource.GetSize() <= 3 || !CheckCmpHeader(d)) RaiseInternalError();
  Width = 2 * d[0];
  Height = d[1];
  Bits = 4;
  Description = std::string("MSX2") + GetSizeText() + " screen 5 image";
  PixelAspect = 12;
  SetMSXPaletteTypes();
}

bool TKvCMPEngine::CheckData(const uint8_t* AData, int64_t ASize) {
  return ASize > 3 && CheckCmpHeader(AData) && UnpackCMP(AData + 3, ASize - 3, AData[0], AData[1], AData[2], nullptr);
}

TKvMatchFlags TKvCMPEngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  if (!d || !CheckData(d, ASource.GetSize())) return 0;
  return HeaderFlags(ASource.GetExtension() == ".cmp", mfSize);
}

std::unique_ptr<TKvBitmap> TKvCMPEngine::Decode() {
  ApplyMSXPalette(MSX2DefaultPalette, 16);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const uint8_t* d = Source->GetData();
  const int w = d[0];
  std::vector<uint8_t> bytes(128 * 212, 0);
  // A damaged stream leaves what it did not reach at 0.
  UnpackCMP(d + 3, Source->GetSize() - 3, w, Height, d[2], bytes.data());
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t b = bytes[static_cast<size_t>(y * w + x)];
      bitmap->SetPixel(2 * x, y, b >> 4);
      bitmap->SetPixel(2 * x + 1, y, b & 15);
    }
  return bitmap;
}

TKvSTPEngine::TKvSTPEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const uint8_t* d = ASource.GetData();
  if (!d || ASource.GetSize() <= 4 || !CheckStpHeader(d, ASource.GetSize())) RaiseInternalError();
  Width = GlWord(d, 0);
  Height = GlWord(d, 2);
  Bits = 1;
  Description = std::string("MSX2") + GetSizeText() + " B/W screen 6 image";
}

TKvMatchFlags TKvSTPEngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  if (!d || ASource.GetSize() <= 4 || !CheckStpHeader(d, ASource.GetSize())) return 0;
  return HeaderFlags(ASource.GetExtension() == ".stp", mfSize);
}

std::unique_ptr<TKvBitmap> TKvSTPEngine::Decode() {
  SetMonoPalette(true);
  auto bitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  const uint8_t* d = Source->GetData() + 4;
  int64_t n = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x, ++n) bitmap->SetPixel(x, y, (d[n >> 2] >> (6 - 2 * (n & 3))) & 1);
  return bitmap;
}

TKvPCTEngine::TKvPCTEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (!ASource.GetData() || ASource.GetSize() <= 384) RaiseInternalError();
  Width = 512;
  Height = 704;
  Bits = 1;
  Description = std::string("MSX2") + GetSizeText() + " B/W screen 6 image";
}

TKvMatchFlags TKvPCTEngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  if (!d || ASource.GetSize() <= 384 || !IsPublisherScreen(d)) return 0;
  return HeaderFlags(ASource.GetExtension() == ".pct", 0);
}

std::unique_ptr<TKvBitmap> TKvPCTEngine::Decode() {
  SetMonoPalette(true);
  auto bitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  const uint8_t* p = Source->GetData() + 384;
  const uint8_t* end = Source->GetData() + Source->GetSize();
  const int64_t total = static_cast<int64_t>(Width) * Height / 8;
  int64_t n = 0;
  auto put = [&](uint8_t b) {
    const int x = static_cast<int>(n % 64) * 8, y = static_cast<int>(n / 64);
    // The low nibble's pixels come first.
    for (int i = 0; i < 4; ++i) {
      bitmap->SetPixel(x + i, y, (b >> (3 - i)) & 1);
      bitmap->SetPixel(x + 4 + i, y, (b >> (7 - i)) & 1);
    }
    ++n;
  };
  while (p < end && n < total) {
    const uint8_t c = *p++;
    if (c >= 128) {
      if (p >= end) break;
      const uint8_t v = *p++;
      for (int i = 0; i < (c & 127) + 1 && n < total; ++i) put(v);
    } else {
      for (int i = 0; i < c + 1 && p < end && n < total; ++i) put(*p++);
    }
  }
  return bitmap;
}

// ---------------------------------------------------------------------------
// SCREEN 10 to 12 VRAM dumps

TKvSCAEngine::TKvSCAEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(212 * 256);
  const std::string& ext = ASource.GetExtension();
  if (ext == ".sca") FindSecondPageByExt(".s1a", 54279);
  HasSprites = ext == ".sca" && DataSize >= 64128;
  Width = 256;
  Height = SecondPage ? 424 : 212;
  Bits = 14;
  PixelAspect = SecondPage ? 18 : 12;
  Description = std::string("MSX2+") + GetSizeText() + " screen 10/11" + (SecondPage ? " interlaced" : "") + " image";
  PaletteType = ptMSX9958;
}

TKvMatchFlags TKvSCAEngine::Match(TKvLoadSource& ASource) { return MatchDump(ASource, {".sca"}, {64167}, 64167); }

std::unique_ptr<TKvBitmap> TKvSCAEngine::Decode() {
  SetupScreenPalette(0xFA80, true, 16);
  auto bitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* p = PictureRow(y, 256);
    int count = Width;
    for (int g = 0; g < Width / 4; ++g) DecodeYJKYAEGroup(*bitmap, g, y, p, count, *Palette);
  }
  if (HasSprites) DrawSprites(*bitmap, 10, 0xFA00, 0xF000);
  return bitmap;
}

TKvSCCEngine::TKvSCCEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(192 * 256);
  const std::string& ext = ASource.GetExtension();
  const int rows = std::min(DataSize / 256, 212);
  if (ext == ".scc") FindSecondPageByExt(".s1c", 54279);
  HasSprites = ext == ".scc" && DataSize >= 64128;
  Width = 256;
  Height = SecondPage ? 2 * rows : rows;
  Bits = 15;
  PixelAspect = SecondPage ? 18 : 12;
  Description = std::string("MSX2+") + GetSizeText() + " screen 12" + (SecondPage ? " interlaced" : "") + " image";
  PaletteType = ptMSX9958;
}

TKvMatchFlags TKvSCCEngine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".scc", ".srs", ".yjk", ".s12"}, {49159, 54279, 64167}, 49159);
}

std::unique_ptr<TKvBitmap> TKvSCCEngine::Decode() {
  if (HasSprites) SetupScreenPalette(0xFA80, true, 16);
  auto bitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* p = PictureRow(y, 256);
    int count = Width;
    for (int g = 0; g < Width / 4; ++g) DecodeYJKGroup(*bitmap, g, y, p, count);
  }
  if (HasSprites) DrawSprites(*bitmap, 12, 0xFA00, 0xF000);
  return bitmap;
}

// ---------------------------------------------------------------------------

// The packed, headered and YJK importers take their places between these:
// SCREEN 5 packed and headered pictures after TKvSC5Engine, SCREEN 6 ones
// after TKvSC6Engine, SCREEN 7 and 8 ones after theirs, then SCREEN 10 to 12
// and the V9990 pictures at the end.
const std::vector<const TKvSourceEngineClass*>& MSXSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvSC2Engine>(), &SourceEngineClass<TKvSC3Engine>(), &SourceEngineClass<TKvSC4Engine>(),
      &SourceEngineClass<TKvSC5Engine>(), &SourceEngineClass<TKvSR5Engine>(), &SourceEngineClass<TKvGL5Engine>(),
      &SourceEngineClass<TKvCMPEngine>(), &SourceEngineClass<TKvSC6Engine>(), &SourceEngineClass<TKvGL6Engine>(),
      &SourceEngineClass<TKvSTPEngine>(), &SourceEngineClass<TKvPCTEngine>(), &SourceEngineClass<TKvSC7Engine>(),
      &SourceEngineClass<TKvSR7Engine>(), &SourceEngineClass<TKvGL7Engine>(), &SourceEngineClass<TKvSC8Engine>(),
      &SourceEngineClass<TKvSR8Engine>(), &SourceEngineClass<TKvGL8Engine>(), &SourceEngineClass<TKvSCAEngine>(),
      &SourceEngineClass<TKvGLAEngine>(), &SourceEngineClass<TKvSCCEngine>(), &SourceEngineClass<TKvGLCEngine>(),
      &SourceEngineClass<TKvG9BEngine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformMSX() {
  for (const TKvSourceEngineClass* c : MSXSourceEngineClasses()) RegisterSourceEngine(*c);
}

// ---------------------------------------------------------------------------
// V9990 G9B pictures

namespace {

int G9bRowBytes(int ADepth, int AType, int AWidth) {
  switch (ADepth) {
    case 2: return (AWidth + 3) / 4;
    case 4: return (AWidth + 1) / 2;
    case 16: return 2 * AWidth;
    default: return AType == 128 || AType == 192 ? 4 * ((AWidth + 3) / 4) : AWidth;
  }
}

}  // namespace

TKvG9BEngine::TKvG9BEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Header = ASource.GetData();
  const int64_t LSize = ASource.GetSize();
  if (!CheckG9bHeader(Header, LSize)) RaiseInternalError();
  PaletteData = Header + G9bPaletteOffset(Header);
  const int LOffset = G9bDataOffset(Header);
  Data = Header + LOffset;
  DataSize = LSize - LOffset;
  Width = Header[8] | Header[9] << 8;
  Height = Header[10] | Header[11] << 8;
  Bits = Header[5];
  const char* LSuffix = nullptr;
  switch (Header[5]) {
    case 2: LSuffix = " BP2"; break;
    case 4: LSuffix = " BP4"; break;
    case 8:
      switch (Header[6]) {
        case 0: LSuffix = " BP6"; break;
        case 64: LSuffix = " BD8"; break;
        case 128: LSuffix = " BYJK"; break;
        case 192: LSuffix = " BYUV"; break;
        default: RaiseInternalError();
      }
      break;
    case 16: LSuffix = " BD16"; break;
    default: RaiseInternalError();
  }
  Description = "MSX V9990 VDP" + GetSizeText() + LSuffix + " image";
}

TKvMatchFlags TKvG9BEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() <= 16 || !CheckG9bHeader(ASource.GetData(), ASource.GetSize())) return 0;
  return ASource.GetExtension() == ".g9b" ? mfHeader | mfExtension : mfHeader;
}

int64_t TKvG9BEngine::UnpackedSize() const {
  return static_cast<int64_t>(G9bRowBytes(Header[5], Header[6], Width)) * Height;
}

void TKvG9BEngine::LoadPalette(int ACount) {
  Palette->Clear();
  const int n = ACount < Header[7] ? ACount : Header[7];
  for (int i = 0; i < n; ++i)
    Palette->AddRGB(Std5ToByte[PaletteData[3 * i] & 31], Std5ToByte[PaletteData[3 * i + 1] & 31],
                    Std5ToByte[PaletteData[3 * i + 2] & 31]);
}

bool TKvG9BEngine::UnpackBlock(const uint8_t* AInput, int64_t AInputSize, uint8_t* AOutput, int64_t AOutputSize,
                               int64_t& AOutPos, int64_t& AUsed) {
  const int64_t LStart = AOutPos;
  int64_t p = 0;
  uint8_t LBits = 0;
  int LLeft = 0;
  auto Byte = [&](int& AValue) {
    if (p >= AInputSize) return false;
    AValue = AInput[p++];
    return true;
  };
  auto Bit = [&](int& AValue) {
    if (LLeft == 0) {
      int b;
      if (!Byte(b)) return false;
      LBits = static_cast<uint8_t>(b);
      LLeft = 8;
    }
    AValue = (LBits >> 7) & 1;
    LBits = static_cast<uint8_t>(LBits << 1);
    --LLeft;
    return true;
  };
  bool LOk = false;
  for (;;) {
    int LFlag;
    if (!Bit(LFlag)) break;
    if (LFlag == 0) {
      int v;
      if (!Byte(v) || AOutPos >= AOutputSize) break;
      AOutput[AOutPos++] = static_cast<uint8_t>(v);
      continue;
    }
    int n = 1, LMore, b;
    bool LEnd = false, LFailed = false;
    for (;;) {
      if (!Bit(LMore)) {
        LFailed = true;
        break;
      }
      if (LMore == 0) break;
      if (!Bit(b)) {
        LFailed = true;
        break;
      }
      if (n >= 0x8000) {
        LEnd = true;
        break;
      }
      n = 2 * n + b;
    }
    if (LEnd) {
      LOk = true;
      break;
    }
    if (LFailed) break;
    int d;
    if (!Byte(d)) break;
    if (d & 0x80) {
      int b1, b2, b3, b4;
      if (!Bit(b1) || !Bit(b2) || !Bit(b3) || !Bit(b4)) break;
      d = (d & 0x7F) | b1 << 10 | b2 << 9 | b3 << 8 | b4 << 7;
    }
    const int64_t LDistance = d + 1;
    if (LDistance > AOutPos - LStart) break;
    const int64_t LLength = n + 1;
    if (AOutPos + LLength > AOutputSize) {
      while (AOutPos < AOutputSize) {
        AOutput[AOutPos] = AOutput[AOutPos - LDistance];
        ++AOutPos;
      }
      break;
    }
    for (int64_t i = 0; i < LLength; ++i, ++AOutPos) AOutput[AOutPos] = AOutput[AOutPos - LDistance];
  }
  AUsed = p;
  return LOk;
}

void TKvG9BEngine::Unpack() {
  Unpacked.assign(static_cast<size_t>(UnpackedSize()), 0);
  IsUnpacked = true;
  const uint8_t* p = Data;
  int64_t LLeft = DataSize;
  if (LLeft > 0) {
    const int LBlocks = *p++;
    --LLeft;
    int64_t LOut = 0;
    for (int i = 0; i < LBlocks; ++i) {
      if (LLeft < 2) break;
      const int64_t c = p[0] | p[1] << 8;
      p += 2;
      LLeft -= 2;
      if (c == 0) break;
      int64_t LUsed = 0;
      const bool LOk = UnpackBlock(p, c < LLeft ? c : LLeft, Unpacked.data(), static_cast<int64_t>(Unpacked.size()),
                                   LOut, LUsed);
      p += LUsed;
      LLeft -= LUsed;
      if (!LOk) break;
    }
  }
  Data = Unpacked.data();
  DataSize = static_cast<int64_t>(Unpacked.size());
}

std::unique_ptr<TKvBitmap> TKvG9BEngine::Decode() {
  if (Header[12] == 1 && !IsUnpacked) Unpack();
  const int LType = Header[6];
  const uint8_t* p = Data;
  int64_t LLeft = DataSize;
  switch (Header[5]) {
    case 2:
    case 4: {
      LoadPalette(Header[5] == 2 ? 4 : 16);
      auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
      const int LPerByte = 8 / Header[5], LRow = G9bRowBytes(Header[5], 0, Width);
      for (int y = 0; y < Height && LLeft > 0; ++y)
        for (int j = 0; j < LRow && LLeft > 0; ++j, --LLeft) {
          const uint8_t v = *p++;
          for (int k = 0; k < LPerByte; ++k) {
            const int x = j * LPerByte + k;
            if (x >= Width) break;
            const int shift = 8 - Header[5] * (k + 1);
            LBitmap->SetPixel(x, y, (v >> shift) & ((1 << Header[5]) - 1));
          }
        }
      return LBitmap;
    }
    case 8:
      if (LType == 0 || LType == 64) {
        if (LType == 0)
          LoadPalette(64);
        else
          BuildV9990Palette(*Palette);
        auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
        for (int y = 0; y < Height && LLeft > 0; ++y) {
          const int n = static_cast<int>(LLeft < Width ? LLeft : Width);
          std::memcpy(LBitmap->GetScanline(y), p, static_cast<size_t>(n));
          p += n;
          LLeft -= n;
        }
        return LBitmap;
      }
      if (LType == 128 || LType == 192) {
        Palette->Clear();
        auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
        TKvBitmap24 LGroup(4, 1);  // the last group of a row narrower than 4
        const int LGroups = (Width + 3) / 4;
        for (int y = 0; y < Height && LLeft > 0; ++y)
          for (int g = 0; g < LGroups && LLeft > 0; ++g) {
            int LCount = static_cast<int>(LLeft < 4 ? LLeft : 4);
            const bool LWhole = 4 * g + 4 <= Width;
            TKvBitmap24& LTarget = LWhole ? *LBitmap : LGroup;
            if (LType == 128)
              DecodeYJKGroup(LTarget, LWhole ? g : 0, LWhole ? y : 0, p, LCount);
            else
              DecodeYUVGroup(LTarget, LWhole ? g : 0, LWhole ? y : 0, p, LCount);
            LLeft -= LLeft < 4 ? LLeft : 4;
            if (!LWhole)
              for (int x = 4 * g; x < Width; ++x) LBitmap->SetPixel(x, y, LGroup.GetPixel(x - 4 * g, 0));
          }
        return LBitmap;
      }
      break;
    case 16: {
      Palette->Clear();
      auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
      for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width && LLeft >= 2; ++x, p += 2, LLeft -= 2) {
          const int v = p[0] | p[1] << 8;
          LBitmap->SetPixel(x, y, Std5ToByte[(v >> 5) & 31] << 16 | Std5ToByte[(v >> 10) & 31] << 8 |
                                      Std5ToByte[v & 31]);
        }
      return LBitmap;
    }
    default: break;
  }
  return std::make_unique<TKvBitmap24>(Width, Height);
}
