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

namespace {
// The default palette of a mode with ACount entries (4: SCREEN 6).
TKvBytes DefaultPalette(int ACount) {
  return ACount == 4 ? TKvBytes(TKvBaseMSXEngine::Screen6DefaultPalette, 8)
                     : TKvBytes(TKvBaseMSXEngine::MSX2DefaultPalette, 32);
}
}  // namespace

const uint8_t TKvBaseMSXEngine::MSX2DefaultPalette[32] = {
    Entry0(0, 0), 0, Entry0(0, 0), 0, Entry0(1, 1), 6, Entry0(3, 3), 7, Entry0(1, 7), 1, Entry0(2, 7), 3,
    Entry0(5, 1), 1, Entry0(2, 7), 6, Entry0(7, 1), 1, Entry0(7, 3), 3, Entry0(6, 1), 6, Entry0(6, 4), 6,
    Entry0(1, 1), 4, Entry0(6, 5), 2, Entry0(5, 5), 5, Entry0(7, 7), 7,
};

const uint8_t TKvBaseMSXEngine::Screen6DefaultPalette[8] = {Entry0(0, 0), 0, Entry0(1, 1), 4,
                                                            Entry0(1, 1), 6, Entry0(3, 3), 7};

TKvBaseMSXEngine::TKvBaseMSXEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource) {}

bool TKvBaseMSXEngine::IsValidMSXPalette(const TKvBytes& AEntries, int ACount) {
  if (!AEntries.Has(0, 2 * ACount)) return false;
  bool any = false;
  for (int i = 0; i < ACount; ++i) {
    const uint8_t b0 = AEntries.U8(2 * i), b1 = AEntries.U8(2 * i + 1);
    if ((b0 & 0x88) != 0 || b1 >= 8) return false;
    if (b0 != 0 || b1 != 0) any = true;
  }
  return any;
}

uint8_t TKvBaseMSXEngine::LevelToByte(int ALevel, TKvPaletteType AType) {
  ALevel &= 7;
  return AType == ptMSX9958 ? Std5ToByte[Level3To5[ALevel]] : Std3ToByte[ALevel];
}

void TKvBaseMSXEngine::FillMSXPalette(TKvPalette256& APalette, const TKvBytes& AEntries, int ACount,
                                      TKvPaletteType AType) {
  APalette.Clear();
  for (int i = 0; i < ACount; ++i) {
    const uint8_t b0 = AEntries.U8(2 * i), b1 = AEntries.U8(2 * i + 1);
    APalette.AddStdRGB(StdRGBColor(LevelToByte(b0 >> 4, AType), LevelToByte(b1, AType), LevelToByte(b0, AType)));
  }
}

void TKvBaseMSXEngine::ApplyMSXPalette(const TKvBytes& AEntries, int ACount) {
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
  if (!rec) return;
  const TKvBytes side = rec->View();
  if (side.Size() < 32 || !IsValidMSXPalette(side, ACount)) return;
  SidePalette = side;
  if (side.Size() != 256) return;
  for (int k = 0; k < 8; ++k) {
    const TKvBytes block = side.Sub(32 * k, 32);
    if (!IsValidMSXPalette(block, ACount)) continue;
    bool repeated = false;
    for (int j = 0; j < k && !repeated; ++j) repeated = side.Same(32 * j, block.Data(), 2 * ACount);
    if (repeated) continue;
    Variants.push_back("Variant " + std::to_string(k + 1));
    VariantNumbers.push_back(k);
  }
}

TKvBytes TKvBaseMSXEngine::SelectedSidePalette() const {
  if (VariantName.empty()) return SidePalette;
  const auto it = std::find(Variants.begin(), Variants.end(), VariantName);
  if (it == Variants.end()) RaiseInternalError();
  return SidePalette.Sub(32 * VariantNumbers[static_cast<size_t>(it - Variants.begin())], 32);
}

void TKvBaseMSXEngine::GetVariantPalette(int AIndex, TKvPalette256& APalette) {
  if (SidePalette.Empty() || AIndex < 0 || AIndex >= static_cast<int>(VariantNumbers.size())) return;
  FillMSXPalette(APalette, SidePalette.Sub(32 * VariantNumbers[static_cast<size_t>(AIndex)], 32),
                 GetPaletteColorCount(), PaletteType);
}

void TKvBaseMSXEngine::SetupSidePalette(int ACount) {
  if (!SidePalette.Empty())
    ApplyMSXPalette(SelectedSidePalette(), ACount);
  else
    ApplyMSXPalette(DefaultPalette(ACount), ACount);
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
  const TKvBytes data = ASource.GetBytes();
  const int64_t size = data.Size();
  if (size < BsaveHeaderSize) return 0;
  const bool exact = std::find(ASizes.begin(), ASizes.end(), size) != ASizes.end();
  const std::string& ext = ASource.GetExtension();
  const bool own = std::any_of(AExts.begin(), AExts.end(), [&](const char* e) { return ext == e; });
  if (own) {
    if (size < AMinSize || !IsBsaveFile(data)) return 0;
    return static_cast<TKvMatchFlags>(mfHeader | mfExtension | (exact ? mfSize : 0));
  }
  if (exact && CheckBsaveHeader(data, size, 0, 0)) return mfHeader | mfSize;
  return 0;
}

void TKvSCEngine::SetUpDump(int32_t ANeeded) {
  // Only files that passed the acceptance rule reach here; a shorter one is
  // refused all the same rather than read past its end.
  const TKvBytes file = Source->GetBytes();
  if (file.Size() < BsaveHeaderSize + ANeeded) RaiseInternalError();
  Data = file.Sub(BsaveHeaderSize);
  DataSize = static_cast<int32_t>(Data.Size());
}

void TKvSCEngine::Describe(bool AMSX2, int AWidth, int AHeight, int ABits, const char* AMode, uint8_t AAspect,
                           uint8_t AInterlacedAspect) {
  Width = AWidth;
  const bool paged = !SecondPage.Empty();
  Height = paged ? 2 * AHeight : AHeight;
  Bits = ABits;
  PixelAspect = paged ? AInterlacedAspect : AAspect;
  Description = std::string(AMSX2 ? "MSX2" : "MSX") + GetSizeText() + " screen " + AMode +
                (paged ? " interlaced" : "") + " image";
}

std::span<const uint8_t> TKvSCEngine::PictureRow(int ARow, int ARowBytes) const {
  if (SecondPage.Empty()) return Data.Row(static_cast<int64_t>(ARow) * ARowBytes, ARowBytes);
  return ((ARow & 1) ? SecondPage : Data).Row(static_cast<int64_t>(ARow >> 1) * ARowBytes, ARowBytes);
}

void TKvSCEngine::SetupScreenPalette(int AOffset, bool AMSX2, int ACount) {
  if (!SidePalette.Empty()) {
    ApplyMSXPalette(SelectedSidePalette(), ACount);
  } else if (!RgbPalette.Empty()) {
    Palette->Clear();
    for (int i = 0; i < ACount; ++i) {
      const int t = 3 * i;
      Palette->AddRGB(LevelToByte(RgbPalette.U8(t), PaletteType), LevelToByte(RgbPalette.U8(t + 1), PaletteType),
                      LevelToByte(RgbPalette.U8(t + 2), PaletteType));
    }
  } else if (IsValidMSXPalette(Data.Sub(AOffset), ACount)) {
    ApplyMSXPalette(Data.Sub(AOffset), ACount);
  } else if (AMSX2) {
    ApplyMSXPalette(DefaultPalette(ACount), ACount);
  } else {
    BuildMSXPalette(*Palette);
    while (Palette->Count > ACount) Palette->Delete(Palette->Count - 1);
  }
}

void TKvSCEngine::FindSecondPageByExt(const std::string& AExt, int32_t AMinSize) {
  const TKvLoadSourceRec* rec = GetCompanion(AExt);
  if (rec && rec->View().Size() >= AMinSize && rec->View().Size() >= BsaveHeaderSize && IsBsaveFile(rec->View()))
    SecondPage = rec->View().Sub(BsaveHeaderSize);
}

void TKvSCEngine::FindSecondPageByName(int32_t ASize) {
  std::string stem, ext;
  SplitName(FileName, stem, ext);
  if (stem.empty() || stem.back() != '0') return;
  stem.back() = '1';
  const TKvLoadSourceRec* rec = Source->GetFile(stem + ext);
  if (rec && rec->View().Size() == ASize && ASize >= BsaveHeaderSize && CheckBsaveHeader(rec->View(), ASize, 0, 0))
    SecondPage = rec->View().Sub(BsaveHeaderSize);
}

void TKvSCEngine::FindRgbPaletteFile() {
  std::string stem, ext;
  SplitName(FileName, stem, ext);
  const TKvLoadSourceRec* rec = Source->GetFile(stem + ".pal");
  if (!rec && !SecondPage.Empty() && !stem.empty() && stem.back() == '0')
    rec = Source->GetFile(stem.substr(0, stem.size() - 1) + ".pal");
  if (!rec || rec->View().Size() != 89) return;
  const TKvBytes d = rec->View();
  if (!CheckBsaveHeader(d, 89, 0xC000, 0xC000)) return;
  if (!d.Same(7, kRgbPaletteRoutine, sizeof kRgbPaletteRoutine)) return;
  for (uint8_t level : d.Row(41, 48))
    if (level > 7) return;
  RgbPalette = d.Sub(41, 48);
}

void TKvSCEngine::DrawSprites(TKvBitmap& ABitmap, int AMode, int AAttrTable, int APatternTable) {
  // Every table the sprites read must lie inside the dump.
  const int colorTable = AMode >= 4 ? AAttrTable - 512 : AAttrTable;
  if (colorTable < 0 || APatternTable < 0 || !Data.Has(AAttrTable, 128) || !Data.Has(APatternTable, 2048)) return;
  const TKvBytes attrs = Data.Sub(AAttrTable, 128);
  const TKvBytes patterns = Data.Sub(APatternTable, 2048);
  const int endY = AMode < 4 ? 208 : 216;
  TKvPalette256 spriteColors;
  if (AMode == 8)
    for (const auto& l : Screen8SpriteLevels) spriteColors.AddRGB(Std3ToByte[l[0]], Std3ToByte[l[1]], Std3ToByte[l[2]]);
  for (int y = 0; y < ABitmap.Height; ++y) {
    // The two pages of an interlaced picture show the same sprites on the
    // two lines of each pair.
    const int spriteY = !SecondPage.Empty() ? y / 2 : y;
    for (int x = 0; x < 256; ++x) {
      int c = 0;
      bool covered = false;
      int budget = AMode < 4 ? 4 : 8;
      for (int s = 0; s < 32; ++s) {
        const int rec = 4 * s;
        const uint8_t recY = attrs.U8(rec);
        if (recY == endY) break;
        const int line = (spriteY - recY - 1) & 255;
        if (line >= 16) continue;
        if (--budget < 0) break;
        const int a = AMode < 4 ? attrs.U8(rec + 3) : Data.U8(colorTable + 16 * s + line);
        if (AMode < 4 || (a & 0x40) == 0) {
          if (c != 0) break;
          covered = true;
        } else if (!covered) {
          continue;
        }
        const int dx = x - attrs.U8(rec + 1) + ((a & 0x80) ? 32 : 0);
        if (dx < 0 || dx >= 16) continue;
        const uint8_t bits = patterns.U8(8 * (attrs.U8(rec + 2) & 0xFC) + line + 2 * (dx & 8));
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
      const int q = 256 * (r / 8) + Data.U8(0x1800 + 32 * r + c);
      for (int k = 0; k < 8; ++k) {
        const uint8_t color = Data.U8(0x2000 + 8 * q + k);
        PutInkPaperByte(&ABitmap, Data.U8(8 * q + k), color & 15, color >> 4, c, 8 * r + k, 8);
      }
    }
}

TKvSC2Engine::TKvSC2Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUpDump(0x3800);
  const std::string& ext = ASource.GetExtension();
  if (ext == ".s02") FindRgbPaletteFile();
  HasSprites = ext == ".sc2" && DataSize > 0x3FFF;
  IsMSX2 = DataSize == 0x4000 || IsValidMSXPalette(Data.Sub(0x1B80), 16) || !RgbPalette.Empty();
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
  IsMSX2 = (DataSize >= 0x2040 && IsValidMSXPalette(Data.Sub(0x2020), 16)) || !RgbPalette.Empty();
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
      const uint8_t b = Data.U8(256 * (y / 8) + 8 * c + (y % 8));
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
  for (int y = 0; y < Height; ++y) ReadBytes(bitmap->GetScanline(y), PictureRow(y, 128));
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
  for (int y = 0; y < Height; ++y) PutPixels2BitRow(bitmap.get(), PictureRow(y, 128), 0, y);
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
  for (int y = 0; y < Height; ++y) ReadBytes(bitmap->GetScanline(y), PictureRow(y, 256));
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
    for (int y = 0; y < Height; ++y) ReadBytes(bitmap->GetScanline(y), PictureRow(y, 256));
    return bitmap;
  }
  auto bitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const auto row = PictureRow(y, 256);
    for (size_t x = 0; x < row.size(); ++x)
      bitmap->SetPixel(static_cast<int>(x), y, static_cast<int>(Palette->GetRGBQuad(row[x])));
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
  uint8_t b;
  if (!FData.ReadByte(b)) return false;
  if (b >= 0x10) {
    AByte = b;
    return true;
  }
  // 00 n v or b v: a run.
  int count = b;
  if (b == 0) {
    uint8_t n;
    if (!FData.ReadByte(n)) return false;
    count = n == 0 ? 256 : n;
  }
  if (!FData.ReadByte(FValue)) {
    FCount = 0;
    return false;
  }
  FCount = count - 1;
  AByte = FValue;
  return true;
}

bool TKvZeroMaskReader::Refill() {
  uint8_t control;
  if (!FData.ReadByte(control)) return false;
  for (int i = 0; i < 8; ++i) {
    FMasks[i] = 0;
    if (((control >> (7 - i)) & 1) && !FData.ReadByte(FMasks[i])) return false;
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
  return FData.ReadByte(AByte);
}

bool UnpackCMP(const TKvBytes& AData, int AWidth, int AHeight, int APlainRows, uint8_t* ATarget) {
  if (AWidth <= 0 || AWidth > 128 || AHeight <= 0) return false;
  TKvZeroMaskReader reader(AData);
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
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 4 || !CheckGlHeader(d) || d.Size() != GlFileSize(d.Le16(0), d.Le16(2), ABits)) return 0;
  return HeaderFlags(HasExt(ASource.GetExtension(), AExts), mfSize);
}

void TKvGLEngine::SetUp(int ABits, int AShownBits, const char* AMode, uint8_t AAspect, const char* ASide,
                        int ASideCount, const char* AMachine) {
  const TKvBytes d = Source->GetBytes();
  // Only files Match accepted come here; a shorter one is refused all the
  // same rather than read past its end.
  if (d.Size() <= 4 || !CheckGlHeader(d) || d.Size() < GlFileSize(d.Le16(0), d.Le16(2), ABits)) RaiseInternalError();
  Width = d.Le16(0);
  Height = d.Le16(2);
  Data = d.Sub(4, GlFileSize(Width, Height, ABits) - 4);
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
    for (int x = 0; x < Width; ++x, ++n) bitmap->SetPixel(x, y, (Data.U8(n >> 1) >> ((n & 1) ? 0 : 4)) & 15);
  return bitmap;
}

std::unique_ptr<TKvBitmap> TKvGLEngine::Decode2Bit() {
  SetupSidePalette(4);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  int64_t n = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x, ++n) bitmap->SetPixel(x, y, (Data.U8(n >> 2) >> (6 - 2 * (n & 3))) & 3);
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
  for (int y = 0; y < Height; ++y) Data.Read(static_cast<int64_t>(y) * Width, bitmap->GetScanline(y), Width);
  return bitmap;
}

namespace {

// Rows of AWidth YJK bytes in groups of 4; the last group of a row may be
// short, its missing bytes counting as 0.
template <class TDecodeGroup>
std::unique_ptr<TKvBitmap> DecodeYJKRows(int AWidth, int AHeight, const TKvBytes& AData, TDecodeGroup ADecode) {
  auto bitmap = std::make_unique<TKvBitmap24>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y) {
    const auto row = AData.Row(static_cast<int64_t>(y) * AWidth, AWidth);
    const uint8_t* p = row.data();
    int count = static_cast<int>(row.size());
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
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 6 || !CheckSrHeader(d, d.Size(), 0, 0)) return 0;
  return HeaderFlags(ASource.GetExtension() == AExt, mfSize);
}

void TKvSREngine::SetUp(int AWidth, int ABits, const char* AMode, uint8_t AAspect, const char* ASide) {
  if (Source->GetBytes().Size() < BsaveHeaderSize) RaiseInternalError();
  Data = Source->GetBytes().Sub(BsaveHeaderSize);
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
  TKvMSXRunReader reader(Data);
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
  TKvMSXRunReader reader(Data);
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
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 3 || !CheckCmpHeader(d)) RaiseInternalError();
  Width = 2 * d.U8(0);
  Height = d.U8(1);
  Bits = 4;
  Description = std::string("MSX2") + GetSizeText() + " screen 5 image";
  PixelAspect = 12;
  SetMSXPaletteTypes();
}

bool TKvCMPEngine::CheckData(const TKvBytes& AFile) {
  return AFile.Size() > 3 && CheckCmpHeader(AFile) &&
         UnpackCMP(AFile.Sub(3), AFile.U8(0), AFile.U8(1), AFile.U8(2), nullptr);
}

TKvMatchFlags TKvCMPEngine::Match(TKvLoadSource& ASource) {
  if (!CheckData(ASource.GetBytes())) return 0;
  return HeaderFlags(ASource.GetExtension() == ".cmp", mfSize);
}

std::unique_ptr<TKvBitmap> TKvCMPEngine::Decode() {
  ApplyMSXPalette(TKvBytes(MSX2DefaultPalette, 32), 16);
  auto bitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const TKvBytes d = Source->GetBytes();
  const int w = d.U8(0);
  std::vector<uint8_t> bytes(128 * 212, 0);
  // A damaged stream leaves what it did not reach at 0.
  UnpackCMP(d.Sub(3), w, Height, d.U8(2), bytes.data());
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t b = bytes[static_cast<size_t>(y * w + x)];
      bitmap->SetPixel(2 * x, y, b >> 4);
      bitmap->SetPixel(2 * x + 1, y, b & 15);
    }
  return bitmap;
}

TKvSTPEngine::TKvSTPEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 4 || !CheckStpHeader(d, d.Size())) RaiseInternalError();
  Width = d.Le16(0);
  Height = d.Le16(2);
  Bits = 1;
  Description = std::string("MSX2") + GetSizeText() + " B/W screen 6 image";
}

TKvMatchFlags TKvSTPEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 4 || !CheckStpHeader(d, d.Size())) return 0;
  return HeaderFlags(ASource.GetExtension() == ".stp", mfSize);
}

std::unique_ptr<TKvBitmap> TKvSTPEngine::Decode() {
  SetMonoPalette(true);
  auto bitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  const TKvBytes d = Source->GetBytes().Sub(4);
  int64_t n = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x, ++n) bitmap->SetPixel(x, y, (d.U8(n >> 2) >> (6 - 2 * (n & 3))) & 1);
  return bitmap;
}

TKvPCTEngine::TKvPCTEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (ASource.GetBytes().Size() <= 384) RaiseInternalError();
  Width = 512;
  Height = 704;
  Bits = 1;
  Description = std::string("MSX2") + GetSizeText() + " B/W screen 6 image";
}

TKvMatchFlags TKvPCTEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 384 || !IsPublisherScreen(d)) return 0;
  return HeaderFlags(ASource.GetExtension() == ".pct", 0);
}

std::unique_ptr<TKvBitmap> TKvPCTEngine::Decode() {
  SetMonoPalette(true);
  auto bitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  TKvDataReader runs(Source->GetBytes().Sub(384));
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
  uint8_t c, v;
  while (n < total && runs.ReadByte(c)) {
    if (c >= 128) {
      if (!runs.ReadByte(v)) break;
      for (int i = 0; i < (c & 127) + 1 && n < total; ++i) put(v);
    } else {
      for (int i = 0; i < c + 1 && n < total && runs.ReadByte(v); ++i) put(v);
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
  const bool paged = !SecondPage.Empty();
  Height = paged ? 424 : 212;
  Bits = 14;
  PixelAspect = paged ? 18 : 12;
  Description = std::string("MSX2+") + GetSizeText() + " screen 10/11" + (paged ? " interlaced" : "") + " image";
  PaletteType = ptMSX9958;
}

TKvMatchFlags TKvSCAEngine::Match(TKvLoadSource& ASource) { return MatchDump(ASource, {".sca"}, {64167}, 64167); }

std::unique_ptr<TKvBitmap> TKvSCAEngine::Decode() {
  SetupScreenPalette(0xFA80, true, 16);
  auto bitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const auto row = PictureRow(y, 256);
    const uint8_t* p = row.data();
    int count = static_cast<int>(row.size());
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
  const bool paged = !SecondPage.Empty();
  Height = paged ? 2 * rows : rows;
  Bits = 15;
  PixelAspect = paged ? 18 : 12;
  Description = std::string("MSX2+") + GetSizeText() + " screen 12" + (paged ? " interlaced" : "") + " image";
  PaletteType = ptMSX9958;
}

TKvMatchFlags TKvSCCEngine::Match(TKvLoadSource& ASource) {
  return MatchDump(ASource, {".scc", ".srs", ".yjk", ".s12"}, {49159, 54279, 64167}, 49159);
}

std::unique_ptr<TKvBitmap> TKvSCCEngine::Decode() {
  if (HasSprites) SetupScreenPalette(0xFA80, true, 16);
  auto bitmap = std::make_unique<TKvBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const auto row = PictureRow(y, 256);
    const uint8_t* p = row.data();
    int count = static_cast<int>(row.size());
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
  const TKvBytes file = ASource.GetBytes();
  if (!CheckG9bHeader(file)) RaiseInternalError();
  Header = file.Sub(0, G9bHeaderSize);
  PaletteData = file.Sub(G9bPaletteOffset(file), 3 * Header.U8(7));
  Data = file.Sub(G9bDataOffset(file));
  Width = Header.Le16(8);
  Height = Header.Le16(10);
  Bits = Header.U8(5);
  const char* LSuffix = nullptr;
  switch (Header.U8(5)) {
    case 2: LSuffix = " BP2"; break;
    case 4: LSuffix = " BP4"; break;
    case 8:
      switch (Header.U8(6)) {
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
  if (ASource.GetSize() <= 16 || !CheckG9bHeader(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".g9b" ? mfHeader | mfExtension : mfHeader;
}

int64_t TKvG9BEngine::UnpackedSize() const {
  return static_cast<int64_t>(G9bRowBytes(Header.U8(5), Header.U8(6), Width)) * Height;
}

void TKvG9BEngine::LoadPalette(int ACount) {
  Palette->Clear();
  const int n = ACount < Header.U8(7) ? ACount : Header.U8(7);
  for (int i = 0; i < n; ++i)
    Palette->AddRGB(Std5ToByte[PaletteData.U8(3 * i) & 31], Std5ToByte[PaletteData.U8(3 * i + 1) & 31],
                    Std5ToByte[PaletteData.U8(3 * i + 2) & 31]);
}

bool TKvG9BEngine::UnpackBlock(const TKvBytes& AInput, uint8_t* AOutput, int64_t AOutputSize, int64_t& AOutPos,
                               int64_t& AUsed) {
  const int64_t LStart = AOutPos;
  int64_t p = 0;
  uint8_t LBits = 0;
  int LLeft = 0;
  auto Byte = [&](int& AValue) {
    if (!AInput.Has(p, 1)) return false;
    AValue = AInput.U8(p++);
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
  TKvDataReader LBlocks(Data);
  uint8_t LCount;
  if (LBlocks.ReadByte(LCount)) {
    int64_t LOut = 0;
    for (int i = 0; i < LCount; ++i) {
      uint16_t c;
      if (!LBlocks.ReadWord(c) || c == 0) break;
      int64_t LUsed = 0;
      const bool LOk =
          UnpackBlock(LBlocks.GetRest().Sub(0, c), Unpacked.data(), static_cast<int64_t>(Unpacked.size()), LOut, LUsed);
      LBlocks.Skip(LUsed);
      if (!LOk) break;
    }
  }
  Data = TKvBytes(Unpacked);
}

std::unique_ptr<TKvBitmap> TKvG9BEngine::Decode() {
  if (Header.U8(12) == 1 && !IsUnpacked) Unpack();
  const int LType = Header.U8(6);
  const int LDepth = Header.U8(5);
  int64_t p = 0;  // the next byte of Data
  switch (LDepth) {
    case 2:
    case 4: {
      LoadPalette(LDepth == 2 ? 4 : 16);
      auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
      const int LPerByte = 8 / LDepth, LRow = G9bRowBytes(LDepth, 0, Width);
      for (int y = 0; y < Height && Data.Has(p, 1); ++y)
        for (int j = 0; j < LRow && Data.Has(p, 1); ++j) {
          const uint8_t v = Data.U8(p++);
          for (int k = 0; k < LPerByte; ++k) {
            const int x = j * LPerByte + k;
            if (x >= Width) break;
            const int shift = 8 - LDepth * (k + 1);
            LBitmap->SetPixel(x, y, (v >> shift) & ((1 << LDepth) - 1));
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
        for (int y = 0; y < Height && Data.Has(p, 1); ++y) {
          const auto row = Data.Row(p, Width);
          ReadBytes(LBitmap->GetScanline(y), row);
          p += static_cast<int64_t>(row.size());
        }
        return LBitmap;
      }
      if (LType == 128 || LType == 192) {
        Palette->Clear();
        auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
        TKvBitmap24 LGroup(4, 1);  // the last group of a row narrower than 4
        const int LGroups = (Width + 3) / 4;
        for (int y = 0; y < Height && Data.Has(p, 1); ++y)
          for (int g = 0; g < LGroups && Data.Has(p, 1); ++g) {
            const auto LBytes = Data.Row(p, 4);
            const uint8_t* q = LBytes.data();
            int LCount = static_cast<int>(LBytes.size());
            const bool LWhole = 4 * g + 4 <= Width;
            TKvBitmap24& LTarget = LWhole ? *LBitmap : LGroup;
            if (LType == 128)
              DecodeYJKGroup(LTarget, LWhole ? g : 0, LWhole ? y : 0, q, LCount);
            else
              DecodeYUVGroup(LTarget, LWhole ? g : 0, LWhole ? y : 0, q, LCount);
            p += static_cast<int64_t>(LBytes.size());
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
        for (int x = 0; x < Width && Data.Has(p, 2); ++x, p += 2) {
          const int v = Data.Le16(p);
          LBitmap->SetPixel(x, y, Std5ToByte[(v >> 5) & 31] << 16 | Std5ToByte[(v >> 10) & 31] << 8 |
                                      Std5ToByte[v & 31]);
        }
      return LBitmap;
    }
    default: break;
  }
  return std::make_unique<TKvBitmap24>(Width, Height);
}
