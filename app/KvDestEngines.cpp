#include "app/KvDestEngines.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/KvDestEngineOptions.h"
#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"

namespace {

std::unique_ptr<TKvDestEngineList> GDestEngineList;

bool SameTextAscii(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i]))) return false;
  return true;
}

[[noreturn]] void ListIndexError(int AIndex) {
  throw EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
}

}  // namespace

const std::string& TKvDestSubTypes::GetString(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) ListIndexError(AIndex);
  return FItems[static_cast<size_t>(AIndex)].first;
}

const TKvDestEngineClass* TKvDestSubTypes::GetObject(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) ListIndexError(AIndex);
  return FItems[static_cast<size_t>(AIndex)].second;
}

int TKvDestSubTypes::IndexOf(const std::string& AName) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameTextAscii(FItems[i].first, AName)) return static_cast<int>(i);
  return -1;
}

void TKvDestSubTypes::AddObject(const std::string& AName, const TKvDestEngineClass* AClass) {
  FItems.emplace_back(AName, AClass);
}

void TKvDestEngineList::Add(const TKvDestEngineClass& AClass) {
  const std::string LPlatform = AClass.GetPlatformName();
  for (auto& LEntry : FPlatforms)
    if (LEntry.first == LPlatform) {
      LEntry.second->AddObject(AClass.GetModeName(), &AClass);
      return;
    }
  // A class whose new platform entry cannot be made stays unregistered.
  try {
    auto LSubTypes = std::make_unique<TKvDestSubTypes>();
    LSubTypes->AddObject(AClass.GetModeName(), &AClass);
    FPlatforms.emplace_back(LPlatform, std::move(LSubTypes));
  } catch (...) {
  }
}

const std::string& TKvDestEngineList::GetString(int APlatformIndex) const {
  if (APlatformIndex < 0 || APlatformIndex >= GetCount()) ListIndexError(APlatformIndex);
  return FPlatforms[static_cast<size_t>(APlatformIndex)].first;
}

TKvDestSubTypes& TKvDestEngineList::GetSubTypes(int APlatformIndex) const {
  if (APlatformIndex < 0 || APlatformIndex >= GetCount()) ListIndexError(APlatformIndex);
  return *FPlatforms[static_cast<size_t>(APlatformIndex)].second;
}

int TKvDestEngineList::IndexOf(const std::string& AName) const {
  for (size_t i = 0; i < FPlatforms.size(); ++i)
    if (SameTextAscii(FPlatforms[i].first, AName)) return static_cast<int>(i);
  return -1;
}

std::string ColorName(const TKvStdRGBColor& AColor) {
  struct TNamed {
    uint8_t R, G, B;
    const char* Name;
  };
  static const TNamed Named[] = {
      {0x00, 0x00, 0x00, "Black"},   {0x00, 0x00, 0xFF, "Blue"},    {0xFF, 0x00, 0x00, "Red"},
      {0x90, 0x00, 0x00, "Red"},     {0xC0, 0x00, 0x00, "Red"},     {0xFF, 0x00, 0xFF, "Magenta"},
      {0x90, 0x00, 0xFF, "Magenta"}, {0xC0, 0x00, 0xFF, "Magenta"}, {0x00, 0xFF, 0x00, "Green"},
      {0x90, 0xFF, 0x00, "Green"},   {0xC0, 0xFF, 0x00, "Green"},   {0x00, 0xFF, 0xFF, "Cyan"},
      {0xFF, 0xFF, 0x00, "Yellow"},  {0xFF, 0xFF, 0xFF, "White"},
  };
  for (const TNamed& LNamed : Named)
    if (LNamed.R == AColor.R && LNamed.G == AColor.G && LNamed.B == AColor.B) return LNamed.Name;
  char LText[8];
  std::snprintf(LText, sizeof(LText), "%02X%02X%02X", AColor.R, AColor.G, AColor.B);
  return LText;
}

double Level5Table[32];
double Level6Table[64];

void InitLevelTables() {
  for (int i = 0; i < 32; ++i) Level5Table[i] = Std5ToLin(i);
  for (int i = 0; i < 64; ++i) Level6Table[i] = Std6ToLin(i);
}

namespace {

void FindLevelBounds(const double* ATable, int ACount, double AValue, double& ALow, double& AHigh) {
  if (AValue <= 0) {
    ALow = AHigh = 0;
    return;
  }
  if (AValue >= 1) {
    ALow = AHigh = 1;
    return;
  }
  for (int i = 0; i + 1 < ACount; ++i)
    if (ATable[i] <= AValue && AValue <= ATable[i + 1]) {
      ALow = ATable[i];
      AHigh = ATable[i + 1];
      return;
    }
  RaiseOSError(ERROR_INVALID_PARAMETER);
}

}  // namespace

void FindLevel5Bounds(double AValue, double& ALow, double& AHigh) {
  FindLevelBounds(Level5Table, 32, AValue, ALow, AHigh);
}

void FindLevel6Bounds(double AValue, double& ALow, double& AHigh) {
  FindLevelBounds(Level6Table, 64, AValue, ALow, AHigh);
}

TKvDestEngineList& DestEngineList() {
  if (!GDestEngineList) throw Exception("Internal error");
  return *GDestEngineList;
}

void RegisterDestEngine(const TKvDestEngineClass& AClass) { DestEngineList().Add(AClass); }

void RegisterDestEngines(const std::vector<const TKvDestEngineClass*>& AClasses) {
  for (const TKvDestEngineClass* c : AClasses) RegisterDestEngine(*c);
}

void AdjustOnce(std::initializer_list<TKvImage*> AImages, TKvDestEngineOptions& AOptions) {
  for (TKvImage* image : AImages) image->Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
}

void InitKvDestEngines() {
  GDestEngineList = std::make_unique<TKvDestEngineList>();
  InitLevelTables();
}

void DoneKvDestEngines() { GDestEngineList.reset(); }

bool TKvDestEngine::ReducePalette(bool* AAbort, TKvImage& AImage, TKvPalette256& APalette, int AMaxCount,
                                  TKvDestEngineOptions& AOptions, int& ADark, int& ABright) {
  AOptions.SetUseAsGrayPalette(true);
  TKvPalette256* LPalette = &APalette;
  std::unique_ptr<TKvPalette256> LTemporary;
  if (LPalette == AOptions.GetPalette()) {
    LTemporary = std::make_unique<TKvPalette256>();
    LTemporary->AssignColors(LPalette);
    LPalette = LTemporary.get();
  }
  TKvPalette256& LResult = *AOptions.GetPalette();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  TKvPalette256 LUsed;
  try {
    TKvImage LCopy(AImage);
    LCopy.DitherToPalette(AAbort, AOptions, *LPalette, false);
    LResult.Clear();
    LResult.AddColors(&LFixed);
    LCopy.CollectColors(LResult, 0, 0);
    LCopy.CollectColors(LUsed, 0, 0);
  } catch (...) {
    // Nothing collected: the colours are merged below.
    LResult.Clear();
  }
  const int LCount = LResult.Count;
  if (LCount > 0 && LCount <= AMaxCount) {
    LUsed.SortByGray(0);
    LResult.Assign(&LUsed);
    LResult.SortByGray(LFixed.Count);
    LFixed.AddUniqueColors(&LUsed);
    if (LFixed.Count > AMaxCount) RaiseInternalError();
    return true;
  }
  LResult.AssignColors(LPalette);
  return LFixed.MergeColors(&LResult, AMaxCount, ADark, ABright);
}

bool TKvDestEngine::ReducePaletteEx(bool* AAbort, TKvImage& AImage, TKvPalette& AExtraPalette,
                                    TKvPalette256& APalette, int AMaxCount, TKvDestEngineOptions& AOptions,
                                    int& ADark, int& ABright) {
  const bool LResult = ReducePalette(AAbort, AImage, APalette, AMaxCount, AOptions, ADark, ABright);
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  if (LFixed.Count < AMaxCount) {
    const int LIndex = AExtraPalette.FindNearest(AOptions.GetBorderLinRGB());
    LFixed.AddUniqueStdRGB(AExtraPalette.GetStdRGB(LIndex));
  }
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvDestEngine::ConvertColorPair(bool* AAbort, TKvImage& AImage, TKvData* AScreen,
                                                           int AMaxCount, TKvDestEngineOptions& AOptions) {
  TKvPalette256& result = *AOptions.GetPalette();
  TKvPalette256& fixed = *AOptions.GetFixedPalette();
  int dark = 0, bright = 0;
  fixed.AddColorPair(&result, AMaxCount, dark, bright);
  auto preview = AImage.ConvertBW(AAbort, AOptions, AScreen, &fixed, dark, bright);
  result.Assign(&fixed);
  return preview;
}

std::unique_ptr<TKvBitmap> TKvDestEngine::ConvertReducedGray(bool* AAbort, TKvImage& AImage, TKvData* AScreen,
                                                             TKvPalette256& AGrays, int AMaxCount,
                                                             TKvDestEngineOptions& AOptions) {
  TKvPalette256& result = *AOptions.GetPalette();
  TKvPalette256& fixed = *AOptions.GetFixedPalette();
  int dark = 0, bright = 0;
  std::unique_ptr<TKvBitmap> preview;
  if (ReducePalette(AAbort, AImage, AGrays, AMaxCount, AOptions, dark, bright))
    preview = AImage.ConvertIndexed(AAbort, AOptions, AScreen, result, &fixed);
  else
    preview = AImage.ConvertBW(AAbort, AOptions, AScreen, &fixed, dark, bright);
  result.Assign(&fixed);
  return preview;
}

std::unique_ptr<TKvBitmap> TKvDestEngine::ConvertChosenColors(bool* AAbort, TKvImage& AImage, TKvData* AScreen,
                                                              TKvPalette256* AGrays, TKvPalette& AColors, int AMaxCount,
                                                              TKvDestEngineOptions& AOptions) {
  TKvPalette256& result = *AOptions.GetPalette();
  if (AOptions.PaletteMode == pmBlackWhite) {
    result.FillBlackWhite();
    return ConvertColorPair(AAbort, AImage, AScreen, AMaxCount, AOptions);
  }
  if (AOptions.PaletteMode == pmGray) return ConvertReducedGray(AAbort, AImage, AScreen, *AGrays, AMaxCount, AOptions);
  QuantizePalette(AAbort, AImage, AColors, AMaxCount, AOptions);
  AImage.FitToPaletteGray(result);
  return AImage.ConvertIndexed(AAbort, AOptions, AScreen, result, nullptr);
}

void TKvDestEngine::QuantizePalette(bool* AAbort, TKvImage& AImage, TKvPalette& APalette, int AMaxCount,
                                    TKvDestEngineOptions& AOptions) {
  TKvPalette256& LResult = *AOptions.GetPalette();
  if (&APalette == &LResult) RaiseInternalError();
  TKvPalette256& LFixed = *AOptions.GetFixedPalette();
  // The fixed colours, then those of a dither of the picture's first ARows
  // rows to APalette (0: of all rows); none when the dither fails.
  auto collect = [&](TKvPalette256& ATo, int ARows) {
    try {
      std::unique_ptr<TKvImage> copy;
      if (ARows == 0) {
        copy = std::make_unique<TKvImage>(AImage);
      } else {
        copy = std::make_unique<TKvImage>(AImage.GetWidth(), ARows);
        copy->CopyRows(AImage, 0);
      }
      copy->DitherToPalette(AAbort, AOptions, APalette, false);
      ATo.Clear();
      ATo.AddColors(&LFixed);
      if (AOptions.PaletteMode == 17) ATo.AddSelectedColors(AOptions.ColorMask, &APalette);
      copy->CollectColors(ATo, 0, 0);
    } catch (...) {
      ATo.Clear();
    }
  };
  // The dither's error flows only down and along, so the first rows of the
  // whole picture's dither are those of a dither of the first rows alone: when
  // these already hold too many colours, the whole dither is needed only for
  // the colours it would add to a short quantization.
  const int rows = std::max(1, 16384 / std::max(AImage.GetWidth(), 1));
  bool tooMany = false;
  if (rows < AImage.GetHeight()) {
    collect(LResult, rows);
    tooMany = LResult.Count > AMaxCount;
  }
  if (!tooMany) collect(LResult, 0);
  if (LResult.Count == 0 || LResult.Count > AMaxCount) {
    std::unique_ptr<TKvPalette256> LKept;
    if (LResult.Count > 0 && !tooMany) {
      LKept = std::make_unique<TKvPalette256>();
      LKept->Assign(&LResult);
    }
    LResult.Clear();
    TKvQuantization LQuantization;
    if (AOptions.PaletteMode == 17)
      LQuantization.QuantizeMasked(AAbort, AImage, AMaxCount, false, AOptions.ColorDiffMethod, LResult, LFixed,
                                   &APalette, AOptions.ColorMask);
    else
      LQuantization.Quantize(AAbort, AImage, AMaxCount, false, AOptions.ColorDiffMethod, LResult, &LFixed,
                             &APalette);
    if (LResult.Count < AMaxCount && tooMany) {
      LKept = std::make_unique<TKvPalette256>();
      collect(*LKept, 0);
      if (LKept->Count == 0) LKept.reset();
    }
    if (LResult.Count < AMaxCount && LKept) LResult.AddDistantColors(LKept.get(), AMaxCount);
  }
  LResult.SortByGray(LFixed.Count);
}
