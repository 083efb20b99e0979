#include "importers/KvOpenPlatformSAMCoupe.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformSAMCoupe.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace KvOpenPlatformSAMCoupe {

namespace {

// The machine's mode-3 files store each pixel's values 1 and 2 exchanged.
const int SAMMode3PixelMap[4] = {0, 2, 1, 3};

constexpr int SAMMode1Size = 6912;       // ZX Spectrum screen
constexpr int SAMMode2SS2Block = 14336;  // bitmap, gap, 8 x 1 attributes
constexpr int SAMMode2SsxColours = 12288;
constexpr int SAMRawSize = 98304;

// Where a file keeps its pixels.
struct TKvSAMLayout {
  int Mode;                 // 1 to 4
  int AttrOffset = 0;       // modes 1 and 2: the attribute area
  bool Mapped = false;      // mode 3 as the machine's own ".ss3" stores it
  int Width() const { return Mode == 3 ? 512 : 256; }
  int Entries() const { return Mode == 3 ? 4 : 16; }
};

const TKvSAMLayout Mode1{1, 6144};
const TKvSAMLayout Mode2SS2{2, 8192};
const TKvSAMLayout Mode2Ssx{2, 6144};
const TKvSAMLayout Mode3Plain{3};
const TKvSAMLayout Mode3Mapped{3, 0, true};
const TKvSAMLayout Mode4{4};

void Describe(TKvSourceEngine& AEngine, const TKvSAMLayout& ALayout, int ABits, const std::string& AWords) {
  AEngine.Width = ALayout.Width();
  AEngine.Height = 192;
  AEngine.Bits = ABits;
  AEngine.PixelAspect = ALayout.Mode == 3 ? 1 : 10;
  AEngine.Description = "SAM Coupé" + AEngine.GetSizeText() + AWords + " image";
}

// The palette entries of the Width() pixels of row Y.
void ScreenRow(const TKvBytes& AData, const TKvSAMLayout& ALayout, int Y, uint8_t* AEntries) {
  switch (ALayout.Mode) {
    case 1:
    case 2:
      for (int c = 0; c < 32; ++c) {
        const uint8_t b = AData.U8(ALayout.Mode == 1 ? ZxRowOffset(Y) + c : Y * 32 + c);
        const uint8_t a = AData.U8(ALayout.AttrOffset + (ALayout.Mode == 1 ? (Y / 8) * 32 : Y * 32) + c);
        int LPaper = 0, LInk = 0;
        TKvSourceEngine::DecodeZxAttribute(a, LPaper, LInk);
        for (int i = 0; i < 8; ++i) AEntries[c * 8 + i] = static_cast<uint8_t>(((b >> (7 - i)) & 1) ? LInk : LPaper);
      }
      break;
    case 3:
      for (int x = 0; x < 512; ++x) {
        const int v = (AData.U8(Y * 128 + x / 4) >> (6 - 2 * (x & 3))) & 3;
        AEntries[x] = static_cast<uint8_t>(ALayout.Mapped ? SAMMode3PixelMap[v] : v);
      }
      break;
    default:
      for (int x = 0; x < 256; ++x) {
        const uint8_t b = AData.U8(Y * 128 + x / 2);
        AEntries[x] = static_cast<uint8_t>((x & 1) ? (b & 15) : (b >> 4));
      }
  }
}

// The palette is the file's colour numbers in order, entry i as entry i.
std::unique_ptr<TKvBitmap> DecodePlain(TKvPalette256& APalette, const TKvBytes& AData, const TKvBytes& AColors,
                                       const TKvSAMLayout& ALayout) {
  TKvSAMCoupeEngine::SetSAMPalette(APalette, AColors, ALayout.Entries(), true);
  const int W = ALayout.Width();
  auto LBitmap = std::make_unique<TKvBitmap4>(W, 192, &APalette);
  uint8_t LRow[512];
  for (int y = 0; y < 192; ++y) {
    ScreenRow(AData, ALayout, y, LRow);
    for (int x = 0; x < W; ++x) LBitmap->SetPixel(x, y, LRow[x]);
  }
  return LBitmap;
}

// A screen whose palette changes from row to row: the ACount records after
// the block at ABlock set one entry of the line palette from the row after
// their line byte.
std::unique_ptr<TKvBitmap> DecodeHam(TKvPalette256& APalette, const TKvBytes& AData, int ABlock, int ACount,
                                     const TKvSAMLayout& ALayout) {
  const TKvBytes LBlock = AData.Sub(ABlock);
  const TKvBytes LList = LBlock.Sub(SAMBlockSize - 1);
  const int N = ALayout.Entries();
  TKvSAMCoupeEngine::SetSAMPalette(APalette, LBlock, N, false);
  for (int r = 0; r < ACount; ++r) APalette.AddUniqueStdRGB(SAMCoupeColor(LList.U8(r * 4 + 2) & 0x7F));
  APalette.SortByGray(0);
  TKvStdRGBColor LLine[16];
  for (int i = 0; i < N; ++i) LLine[i] = SAMCoupeColor(LBlock.U8(i) & 0x7F);
  const int W = ALayout.Width();
  auto LBitmap = std::make_unique<TKvBitmap8>(W, 192, &APalette);
  uint8_t LRow[512];
  for (int y = 0; y < 192; ++y) {
    if (y > 0)
      for (int r = 0; r < ACount; ++r)
        if (LList.U8(r * 4) + 1 == y && LList.U8(r * 4 + 1) < N)
          LLine[LList.U8(r * 4 + 1)] = SAMCoupeColor(LList.U8(r * 4 + 2) & 0x7F);
    int LIndex[16];
    for (int i = 0; i < N; ++i) LIndex[i] = APalette.LocateStdRGB(LLine[i]);
    ScreenRow(AData, ALayout, y, LRow);
    for (int x = 0; x < W; ++x) LBitmap->SetPixel(x, y, LIndex[LRow[x]]);
  }
  return LBitmap;
}

}  // namespace

bool TKvSAMCoupeEngine::CheckColorNumbers(const TKvBytes& AData, int ACount) {
  if (!AData.Has(0, ACount)) return false;
  for (uint8_t b : AData.Row(0, ACount))
    if (b & 0x80) return false;
  return true;
}

bool TKvSAMCoupeEngine::CheckPaletteBlock(const TKvBytes& AData, bool& AStandard) {
  if (!CheckColorNumbers(AData, 16) || !CheckColorNumbers(AData.Sub(20), 16)) return false;
  AStandard = IsSAMMode4Marker(AData.Sub(16)) && IsSAMMode4Marker(AData.Sub(36));
  return true;
}

bool TKvSAMCoupeEngine::CheckLineChanges(const TKvBytes& AData, int ACount) {
  if (ACount < 0 || ACount >= 128 || !AData.Has(0, ACount * 4 + 1)) return false;
  for (int r = 0; r < ACount; ++r) {
    const int p = r * 4;
    if (AData.U8(p) > 190 || AData.U8(p + 1) > 15 || (AData.U8(p + 2) & 0x80) || (AData.U8(p + 3) & 0x80)) return false;
  }
  return AData.U8(ACount * 4) == 255;
}

int TKvSAMCoupeEngine::LineChangeCount(TKvLoadSource& ASource, int AOffset) {
  const int64_t LRest = static_cast<int64_t>(ASource.GetSize()) - AOffset;
  if (LRest < 5 || LRest % 4 != 1) return 0;
  const int64_t LCount = LRest / 4;
  if (LCount > SAMMaxLineChanges) return 0;
  return CheckLineChanges(ASource.GetBytes().Sub(AOffset), static_cast<int>(LCount)) ? static_cast<int>(LCount) : 0;
}

void TKvSAMCoupeEngine::SetSAMPalette(TKvPalette256& APalette, const TKvBytes& AData, int ACount, bool AAppend) {
  APalette.Clear();
  for (int i = 0; i < ACount; ++i) {
    const TKvStdRGBColor c = SAMCoupeColor(AData.U8(i) & 0x7F);
    if (AAppend)
      APalette.AddStdRGB(c);
    else
      APalette.AddUniqueStdRGB(c);
  }
}

TKvMatchFlags TKvSAMCoupeEngine::MatchBlockFile(TKvLoadSource& ASource, int ABlockOffset, bool AHam,
                                                const char* AExt1, const char* AExt2) {
  const TKvBytes d = ASource.GetBytes();
  const int64_t LSize = d.Size();
  const int64_t LEnd = static_cast<int64_t>(ABlockOffset) + SAMBlockSize;
  if (AHam ? LSize <= LEnd : LSize != LEnd) return 0;
  bool LStandard = false;
  if (!CheckPaletteBlock(d.Sub(ABlockOffset), LStandard)) return 0;
  if (AHam) {
    if (d.U8(LEnd - 1) == 255 || LineChangeCount(ASource, static_cast<int>(LEnd - 1)) == 0) return 0;
  } else if (d.U8(LEnd - 1) != 255)
    return 0;
  TKvMatchFlags f = mfSize;
  const std::string& e = ASource.GetExtension();
  if (e == AExt1 || (AExt2 && e == AExt2)) f |= mfExtension;
  if (LStandard) f |= mfHeader;
  return f;
}

TKvMatchFlags TKvSAMCoupeEngine::MatchSsxFile(TKvLoadSource& ASource, int ASize, int ACount) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() != ASize) return 0;
  if (!CheckColorNumbers(d.Sub(ASize - ACount), ACount)) return 0;
  return ASource.GetExtension() == ".ssx" ? mfSize | mfExtension : mfSize;
}

// ---------------------------------------------------------------------------

TKvSAMCoupeMode1SS1Engine::TKvSAMCoupeMode1SS1Engine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode1, 4, " mode 1");
}
TKvMatchFlags TKvSAMCoupeMode1SS1Engine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMMode1Size, false, ".ss1", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode1SS1Engine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMMode1Size), Mode1);
}

TKvSAMCoupeMode1SSXEngine::TKvSAMCoupeMode1SSXEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode1, 4, " mode 1");
}
TKvMatchFlags TKvSAMCoupeMode1SSXEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchSsxFile(ASource, SAMMode1Size + 16, 16);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode1SSXEngine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMMode1Size), Mode1);
}

TKvSAMCoupeMode1SS1HamEngine::TKvSAMCoupeMode1SS1HamEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode1, 4, " mode 1 HAM");
  FCount = TKvSAMCoupeEngine::LineChangeCount(ASource, SAMMode1Size + SAMBlockSize - 1);
}
TKvMatchFlags TKvSAMCoupeMode1SS1HamEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMMode1Size, true, ".ss1", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode1SS1HamEngine::Decode() {
  return DecodeHam(*Palette, FData, SAMMode1Size, FCount, Mode1);
}

TKvSAMCoupeMode2SS2Engine::TKvSAMCoupeMode2SS2Engine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode2SS2, 4, " mode 2");
}
TKvMatchFlags TKvSAMCoupeMode2SS2Engine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMMode2SS2Block, false, ".ss2", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode2SS2Engine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMMode2SS2Block), Mode2SS2);
}

TKvSAMCoupeMode2SSXEngine::TKvSAMCoupeMode2SSXEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode2Ssx, 4, " mode 2");
}
TKvMatchFlags TKvSAMCoupeMode2SSXEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchSsxFile(ASource, SAMMode2SsxColours + 16, 16);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode2SSXEngine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMMode2SsxColours), Mode2Ssx);
}

TKvSAMCoupeMode2SS2HamEngine::TKvSAMCoupeMode2SS2HamEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode2SS2, 4, " mode 2 HAM");
  FCount = TKvSAMCoupeEngine::LineChangeCount(ASource, SAMMode2SS2Block + SAMBlockSize - 1);
}
TKvMatchFlags TKvSAMCoupeMode2SS2HamEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMMode2SS2Block, true, ".ss2", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode2SS2HamEngine::Decode() {
  return DecodeHam(*Palette, FData, SAMMode2SS2Block, FCount, Mode2SS2);
}

TKvSAMCoupeMode3SS3Engine::TKvSAMCoupeMode3SS3Engine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode3Mapped, 2, " mode 3");
}
TKvMatchFlags TKvSAMCoupeMode3SS3Engine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMScreenSize, false, ".ss3", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3SS3Engine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMScreenSize), Mode3Mapped);
}

TKvSAMCoupeMode3SSXEngine::TKvSAMCoupeMode3SSXEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode3Plain, 2, " mode 3");
}
TKvMatchFlags TKvSAMCoupeMode3SSXEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchSsxFile(ASource, SAMMode3SsxSize, 4);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3SSXEngine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMScreenSize), Mode3Plain);
}

TKvSAMCoupeMode3SS3HamEngine::TKvSAMCoupeMode3SS3HamEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode3Mapped, 2, " mode 3 HAM");
  FCount = TKvSAMCoupeEngine::LineChangeCount(ASource, SAMScreenFileSize - 1);
}
TKvMatchFlags TKvSAMCoupeMode3SS3HamEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMScreenSize, true, ".ss3", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3SS3HamEngine::Decode() {
  return DecodeHam(*Palette, FData, SAMScreenSize, FCount, Mode3Mapped);
}

TKvSAMCoupeMode4SS4Engine::TKvSAMCoupeMode4SS4Engine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode4, 4, " mode 4");
}
TKvMatchFlags TKvSAMCoupeMode4SS4Engine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMScreenSize, false, ".ss4", ".scs4");
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4SS4Engine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMScreenSize), Mode4);
}

TKvSAMCoupeMode4SSXEngine::TKvSAMCoupeMode4SSXEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode4, 4, " mode 4");
}
TKvMatchFlags TKvSAMCoupeMode4SSXEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchSsxFile(ASource, SAMMode4SsxSize, 16);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4SSXEngine::Decode() {
  return DecodePlain(*Palette, FData, FData.Sub(SAMScreenSize), Mode4);
}

TKvSAMCoupeModeSS4HamEngine::TKvSAMCoupeModeSS4HamEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode4, 4, " mode 4 HAM");
  FCount = TKvSAMCoupeEngine::LineChangeCount(ASource, SAMScreenFileSize - 1);
}
TKvMatchFlags TKvSAMCoupeModeSS4HamEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, SAMScreenSize, true, ".ss4", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeModeSS4HamEngine::Decode() {
  return DecodeHam(*Palette, FData, SAMScreenSize, FCount, Mode4);
}

TKvSAMCoupeMode4InterlacedEngine::TKvSAMCoupeMode4InterlacedEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode4, 4, " mode 4 interlaced");
  Height = 384;
  PixelAspect = 17;
  Description = "SAM Coupé" + GetSizeText() + " mode 4 interlaced image";
}
TKvMatchFlags TKvSAMCoupeMode4InterlacedEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() != SAMInterlacedSize) return 0;
  bool LStandard1 = false, LStandard2 = false;
  if (!TKvSAMCoupeEngine::CheckPaletteBlock(d.Sub(SAMScreenSize), LStandard1) ||
      !TKvSAMCoupeEngine::CheckPaletteBlock(d.Sub(SAMScreenFileSize + SAMScreenSize), LStandard2))
    return 0;
  if (d.U8(SAMScreenFileSize - 1) != 255 || d.U8(SAMInterlacedSize - 1) != 255) return 0;
  TKvMatchFlags f = mfSize;
  if (ASource.GetExtension() == ".lce" || ASource.GetExtension() == ".sl4") f |= mfExtension;
  if (LStandard1 && LStandard2) f |= mfHeader;
  return f;
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4InterlacedEngine::Decode() {
  const TKvBytes& d = FData;
  const TKvBytes LBlock1 = d.Sub(SAMScreenSize, SAMBlockSize);
  const TKvBytes LBlock2 = d.Sub(SAMScreenFileSize + SAMScreenSize, SAMBlockSize);
  Palette->Clear();
  bool LSame = true;
  for (int i = 0; i < 16; ++i) LSame = LSame && LBlock1.U8(i) == LBlock2.U8(i);
  for (int i = 0; i < 16; ++i) Palette->AddStdRGB(SAMCoupeColor(LBlock1.U8(i) & 0x7F));
  if (!LSame)
    for (int i = 0; i < 16; ++i) Palette->AddStdRGB(SAMCoupeColor(LBlock2.U8(i) & 0x7F));
  std::unique_ptr<TKvBitmap> LBitmap;
  if (LSame)
    LBitmap = std::make_unique<TKvBitmap4>(256, 384, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap8>(256, 384, Palette.get());
  uint8_t LRow[256];
  for (int y = 0; y < 384; ++y) {
    const TKvBytes LHalf = d.Sub((y % 2) * SAMScreenFileSize, SAMScreenFileSize);
    const int LBase = (y % 2 && !LSame) ? 16 : 0;
    ScreenRow(LHalf, Mode4, y / 2, LRow);
    for (int x = 0; x < 256; ++x) LBitmap->SetPixel(x, y, LBase + LRow[x]);
  }
  return LBitmap;
}

TKvSAMCoupeModeRAWEngine::TKvSAMCoupeModeRAWEngine(TKvLoadSource& ASource)
    : TKvSAMCoupeFileEngine(ASource) {
  Describe(*this, Mode3Plain, 8, " RAW");
}
TKvMatchFlags TKvSAMCoupeModeRAWEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() != SAMRawSize) return 0;
  return ASource.GetExtension() == ".ssx" ? mfSize | mfExtension : mfSize;
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeModeRAWEngine::Decode() {
  BuildSAMCoupePalette(*Palette);
  auto LBitmap = std::make_unique<TKvBitmap8>(512, 192, Palette.get());
  // Bytes of 128 or more name no colour: they keep index 0.
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 512; ++x) {
      const uint8_t v = FData.U8(y * 512 + x);
      LBitmap->SetPixel(x, y, v < 128 ? v : 0);
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformSAMCoupe

void InitKvOpenPlatformSAMCoupe() {
  using namespace KvOpenPlatformSAMCoupe;
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode1SS1Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode1SSXEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode1SS1HamEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode2SS2Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode2SSXEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode2SS2HamEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode3SS3Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode3SSXEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode3SS3HamEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode4SS4Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode4SSXEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeModeSS4HamEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode4InterlacedEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeModeRAWEngine>());
}
