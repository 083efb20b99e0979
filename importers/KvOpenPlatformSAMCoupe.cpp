#include "importers/KvOpenPlatformSAMCoupe.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformSAMCoupe.h"

namespace KvOpenPlatformSAMCoupe {

namespace {

// The machine's mode-3 files store each pixel's values 1 and 2 exchanged.
const int SAMMode3PixelMap[4] = {0, 2, 1, 3};

void Describe(TKvSourceEngine& AEngine, int AWidth, int ABits, const std::string& AWords, uint8_t AAspect) {
  AEngine.Width = AWidth;
  AEngine.Height = 192;
  AEngine.Bits = ABits;
  AEngine.PixelAspect = AAspect;
  AEngine.Description = "SAM Coupé" + AEngine.GetSizeText() + AWords + " image";
}

// The palette entry of pixel X of row Y of a mode-3 (AMode3) or mode-4 screen.
int ScreenValue(const uint8_t* AScreen, bool AMode3, int X, int Y) {
  const uint8_t b = AScreen[Y * 128 + (AMode3 ? X / 4 : X / 2)];
  if (!AMode3) return (X & 1) ? (b & 15) : (b >> 4);
  return (b >> (6 - 2 * (X & 3))) & 3;
}

std::unique_ptr<TKvBitmap> DecodePlain(TKvPalette256& APalette, const uint8_t* AData, const uint8_t* AColors,
                                       bool AMode3, bool AMapped) {
  TKvSAMCoupeEngine::SetSAMPalette(APalette, AColors, AMode3 ? 4 : 16, true);
  const int W = AMode3 ? 512 : 256;
  auto LBitmap = std::make_unique<TKvBitmap4>(W, 192, &APalette);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < W; ++x) {
      const int v = ScreenValue(AData, AMode3, x, y);
      LBitmap->SetPixel(x, y, AMapped ? SAMMode3PixelMap[v] : v);
    }
  return LBitmap;
}

// A screen whose palette changes from row to row: the records after the
// block set one entry of the line palette from the row after their line byte.
std::unique_ptr<TKvBitmap> DecodeHam(TKvPalette256& APalette, const uint8_t* AData, int ACount, bool AMode3) {
  const uint8_t* LBlock = AData + SAMScreenSize;
  const uint8_t* LList = AData + SAMScreenFileSize - 1;
  const int N = AMode3 ? 4 : 16;
  TKvSAMCoupeEngine::SetSAMPalette(APalette, LBlock, N, false);
  for (int r = 0; r < ACount; ++r) APalette.AddUniqueStdRGB(SAMCoupeColor(LList[r * 4 + 2]));
  APalette.SortByGray(0);
  TKvStdRGBColor LLine[16];
  for (int i = 0; i < N; ++i) LLine[i] = SAMCoupeColor(LBlock[i]);
  const int W = AMode3 ? 512 : 256;
  auto LBitmap = std::make_unique<TKvBitmap8>(W, 192, &APalette);
  for (int y = 0; y < 192; ++y) {
    if (y > 0)
      for (int r = 0; r < ACount; ++r)
        if (LList[r * 4] + 1 == y && LList[r * 4 + 1] < N) LLine[LList[r * 4 + 1]] = SAMCoupeColor(LList[r * 4 + 2]);
    int LIndex[16];
    for (int i = 0; i < N; ++i) LIndex[i] = APalette.LocateStdRGB(LLine[i]);
    for (int x = 0; x < W; ++x) {
      const int v = ScreenValue(AData, AMode3, x, y);
      LBitmap->SetPixel(x, y, LIndex[AMode3 ? SAMMode3PixelMap[v] : v]);
    }
  }
  return LBitmap;
}

}  // namespace

bool TKvSAMCoupeEngine::CheckColorNumbers(const uint8_t* AData, int ACount) {
  for (int i = 0; i < ACount; ++i)
    if (AData[i] & 0x80) return false;
  return true;
}

bool TKvSAMCoupeEngine::CheckPaletteBlock(const uint8_t* AData, bool& AStandard) {
  if (!CheckColorNumbers(AData, 16) || !CheckColorNumbers(AData + 20, 16)) return false;
  AStandard = IsSAMMode4Marker(AData + 16) && IsSAMMode4Marker(AData + 36);
  return true;
}

bool TKvSAMCoupeEngine::CheckLineChanges(const uint8_t* AData, int ACount) {
  if (ACount < 0 || ACount >= 128) return false;
  for (int r = 0; r < ACount; ++r) {
    const uint8_t* p = AData + r * 4;
    if (p[0] > 190 || p[1] > 15 || (p[2] & 0x80) || (p[3] & 0x80)) return false;
  }
  return AData[ACount * 4] == 255;
}

int TKvSAMCoupeEngine::LineChangeCount(TKvLoadSource& ASource, int AOffset) {
  const int64_t LRest = static_cast<int64_t>(ASource.GetSize()) - AOffset;
  if (LRest < 5 || LRest % 4 != 1) return 0;
  const int64_t LCount = LRest / 4;
  if (LCount > SAMMaxLineChanges) return 0;
  return CheckLineChanges(ASource.GetData() + AOffset, static_cast<int>(LCount)) ? static_cast<int>(LCount) : 0;
}

void TKvSAMCoupeEngine::SetSAMPalette(TKvPalette256& APalette, const uint8_t* AData, int ACount, bool AAppend) {
  APalette.Clear();
  for (int i = 0; i < ACount; ++i) {
    const TKvStdRGBColor c = SAMCoupeColor(AData[i] & 0x7F);
    if (AAppend)
      APalette.AddStdRGB(c);
    else
      APalette.AddUniqueStdRGB(c);
  }
}

TKvMatchFlags TKvSAMCoupeEngine::MatchBlockFile(TKvLoadSource& ASource, bool AHam, const char* AExt1,
                                                const char* AExt2) {
  const uint8_t* d = ASource.GetData();
  const int64_t LSize = ASource.GetSize();
  if (!d) return 0;
  if (AHam ? LSize <= SAMScreenFileSize : LSize != SAMScreenFileSize) return 0;
  bool LStandard = false;
  if (!CheckPaletteBlock(d + SAMScreenSize, LStandard)) return 0;
  if (AHam) {
    if (d[SAMScreenFileSize - 1] == 255 || LineChangeCount(ASource, SAMScreenFileSize - 1) == 0) return 0;
  } else if (d[SAMScreenFileSize - 1] != 255)
    return 0;
  TKvMatchFlags f = mfSize;
  const std::string& e = ASource.GetExtension();
  if (e == AExt1 || (AExt2 && e == AExt2)) f |= mfExtension;
  if (LStandard) f |= mfHeader;
  return f;
}

// ---------------------------------------------------------------------------

TKvSAMCoupeMode3SS3Engine::TKvSAMCoupeMode3SS3Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 512, 2, " mode 3", 1);
}
TKvMatchFlags TKvSAMCoupeMode3SS3Engine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, false, ".ss3", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3SS3Engine::Decode() {
  const uint8_t* d = FData;
  return DecodePlain(*Palette, d, d + SAMScreenSize, true, true);
}

TKvSAMCoupeMode3SSXEngine::TKvSAMCoupeMode3SSXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 512, 2, " mode 3", 1);
}
TKvMatchFlags TKvSAMCoupeMode3SSXEngine::Match(TKvLoadSource& ASource) {
  if (!ASource.GetData() || ASource.GetSize() != SAMMode3SsxSize) return 0;
  if (!TKvSAMCoupeEngine::CheckColorNumbers(ASource.GetData() + SAMScreenSize, 4)) return 0;
  return ASource.GetExtension() == ".ssx" ? mfSize | mfExtension : mfSize;
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3SSXEngine::Decode() {
  const uint8_t* d = FData;
  return DecodePlain(*Palette, d, d + SAMScreenSize, true, false);
}

TKvSAMCoupeMode3SS3HamEngine::TKvSAMCoupeMode3SS3HamEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 512, 8, " mode 3 HAM", 1);
  FCount = TKvSAMCoupeEngine::LineChangeCount(ASource, SAMScreenFileSize - 1);
}
TKvMatchFlags TKvSAMCoupeMode3SS3HamEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, true, ".ss3", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode3SS3HamEngine::Decode() {
  return DecodeHam(*Palette, FData, FCount,
                   true);
}

TKvSAMCoupeMode4SS4Engine::TKvSAMCoupeMode4SS4Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 256, 4, " mode 4", 10);
}
TKvMatchFlags TKvSAMCoupeMode4SS4Engine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, false, ".ss4", ".scs4");
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4SS4Engine::Decode() {
  const uint8_t* d = FData;
  return DecodePlain(*Palette, d, d + SAMScreenSize, false, false);
}

TKvSAMCoupeMode4SSXEngine::TKvSAMCoupeMode4SSXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 256, 4, " mode 4", 10);
}
TKvMatchFlags TKvSAMCoupeMode4SSXEngine::Match(TKvLoadSource& ASource) {
  if (!ASource.GetData() || ASource.GetSize() != SAMMode4SsxSize) return 0;
  if (!TKvSAMCoupeEngine::CheckColorNumbers(ASource.GetData() + SAMScreenSize, 16)) return 0;
  return ASource.GetExtension() == ".ssx" ? mfSize | mfExtension : mfSize;
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4SSXEngine::Decode() {
  const uint8_t* d = FData;
  return DecodePlain(*Palette, d, d + SAMScreenSize, false, false);
}

TKvSAMCoupeModeSS4HamEngine::TKvSAMCoupeModeSS4HamEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 256, 8, " mode 4 HAM", 10);
  FCount = TKvSAMCoupeEngine::LineChangeCount(ASource, SAMScreenFileSize - 1);
}
TKvMatchFlags TKvSAMCoupeModeSS4HamEngine::Match(TKvLoadSource& ASource) {
  return TKvSAMCoupeEngine::MatchBlockFile(ASource, true, ".ss4", nullptr);
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeModeSS4HamEngine::Decode() {
  return DecodeHam(*Palette, FData, FCount,
                   false);
}

TKvSAMCoupeMode4InterlacedEngine::TKvSAMCoupeMode4InterlacedEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 256, 4, " mode 4 interlaced", 17);
  Height = 384;
  const uint8_t* d = ASource.GetData();
  for (int i = 0; i < 16; ++i)
    if (d[SAMScreenSize + i] != d[SAMScreenFileSize + SAMScreenSize + i]) Bits = 8;
  Description = "SAM Coupé" + GetSizeText() + " mode 4 interlaced image";
}
TKvMatchFlags TKvSAMCoupeMode4InterlacedEngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  if (!d || ASource.GetSize() != SAMInterlacedSize) return 0;
  bool LStandard1 = false, LStandard2 = false;
  if (!TKvSAMCoupeEngine::CheckPaletteBlock(d + SAMScreenSize, LStandard1) ||
      !TKvSAMCoupeEngine::CheckPaletteBlock(d + SAMScreenFileSize + SAMScreenSize, LStandard2))
    return 0;
  if (d[SAMScreenFileSize - 1] != 255 || d[SAMInterlacedSize - 1] != 255) return 0;
  TKvMatchFlags f = mfSize;
  if (ASource.GetExtension() == ".lce" || ASource.GetExtension() == ".sl4") f |= mfExtension;
  if (LStandard1 && LStandard2) f |= mfHeader;
  return f;
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeMode4InterlacedEngine::Decode() {
  const uint8_t* d = FData;
  const uint8_t* LBlock1 = d + SAMScreenSize;
  const uint8_t* LBlock2 = d + SAMScreenFileSize + SAMScreenSize;
  Palette->Clear();
  bool LSame = true;
  for (int i = 0; i < 16; ++i) LSame = LSame && LBlock1[i] == LBlock2[i];
  for (int i = 0; i < 16; ++i) Palette->AddStdRGB(SAMCoupeColor(LBlock1[i] & 0x7F));
  if (!LSame)
    for (int i = 0; i < 16; ++i) Palette->AddStdRGB(SAMCoupeColor(LBlock2[i] & 0x7F));
  std::unique_ptr<TKvBitmap> LBitmap;
  if (LSame)
    LBitmap = std::make_unique<TKvBitmap4>(256, 384, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap8>(256, 384, Palette.get());
  for (int y = 0; y < 384; ++y) {
    const uint8_t* LHalf = d + (y % 2) * SAMScreenFileSize;
    const int LBase = (y % 2 && !LSame) ? 16 : 0;
    for (int x = 0; x < 256; ++x) LBitmap->SetPixel(x, y, LBase + ScreenValue(LHalf, false, x, y / 2));
  }
  return LBitmap;
}

TKvSAMCoupeModeRAWEngine::TKvSAMCoupeModeRAWEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource), FData(ASource.GetData()) {
  Describe(*this, 512, 8, " RAW", 1);
}
TKvMatchFlags TKvSAMCoupeModeRAWEngine::Match(TKvLoadSource& ASource) {
  if (!ASource.GetData() || ASource.GetSize() != 98304) return 0;
  return ASource.GetExtension() == ".ssx" ? mfSize | mfExtension : mfSize;
}
std::unique_ptr<TKvBitmap> TKvSAMCoupeModeRAWEngine::Decode() {
  BuildSAMCoupePalette(*Palette);
  auto LBitmap = std::make_unique<TKvBitmap8>(512, 192, Palette.get());
  const uint8_t* d = FData;
  // Bytes of 128 or more name no colour: they keep index 0.
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 512; ++x) {
      const uint8_t v = d[y * 512 + x];
      LBitmap->SetPixel(x, y, v < 128 ? v : 0);
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformSAMCoupe

void InitKvOpenPlatformSAMCoupe() {
  using namespace KvOpenPlatformSAMCoupe;
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode3SS3Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode3SSXEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode3SS3HamEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode4SS4Engine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode4SSXEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeModeSS4HamEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeMode4InterlacedEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvSAMCoupeModeRAWEngine>());
}
