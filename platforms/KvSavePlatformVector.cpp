#include "platforms/KvSavePlatformVector.h"

#include <algorithm>

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformVector.h"
#include "shell/noxShellBaseExtension.h"

namespace KvSavePlatformVector {

namespace {

// Header bytes of at most 16 palette entries: the colour byte of each.
void StoreHeaderColors(const TKvPalette256& APalette, const TKvPalette256& ADisplayPalette, uint8_t* AHeader,
                       bool AReversed) {
  const int LCount = std::min<int>(APalette.Count, VectorHeaderColors);
  for (int i = 0; i < LCount; ++i) {
    const uint8_t b = static_cast<uint8_t>(ADisplayPalette.LocateStdRGB(APalette.GetStdRGB(i)));
    AHeader[AReversed ? VectorHeaderColors - 1 - i : i] = b;
  }
}

void WriteZeros(TKvStream& AStream, int64_t ABlock) {
  static const uint8_t LZeros[256] = {};
  const int64_t LRest = AStream.GetSize() % ABlock;
  if (LRest) AStream.Write(LZeros, ABlock - LRest);
}

}  // namespace

// ---------------------------------------------------------------------------
// ".spr"

TKvVectorSPRScreen::TKvVectorSPRScreen(TKvScreen4& ASource, const TKvPalette256& APalette,
                                       const TKvPalette256& ADisplayPalette)
    : TKvScreen4(256, 256, nullptr), FMemory(VectorVideoMemorySize, 0) {
  if (ASource.Width != 256 || ASource.Height != 256) RaiseInternalError();
  Data = FMemory.data();
  StoreHeaderColors(APalette, ADisplayPalette, FHeader, false);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) SetPixel(x, y, ASource.GetPixel(x, y));
}

int TKvVectorSPRScreen::GetPixel(int X, int Y) {
  X = MX(X);
  const int o = VectorVideoOffset(X, Y);
  const uint8_t m = VectorVideoMask(X);
  int v = 0;
  for (int p = 0; p < 4; ++p)
    if (FMemory[static_cast<size_t>(p * VectorPlaneSize + o)] & m) v |= 8 >> p;
  return v;
}

void TKvVectorSPRScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  const int o = VectorVideoOffset(X, Y);
  const uint8_t m = VectorVideoMask(X);
  for (int p = 0; p < 4; ++p) {
    uint8_t& b = FMemory[static_cast<size_t>(p * VectorPlaneSize + o)];
    b = static_cast<uint8_t>(AValue & (8 >> p) ? (b | m) : (b & ~m));
  }
}

std::vector<uint8_t> EncodeVectorSpr(const uint8_t* AMemory, int ASize) {
  std::vector<uint8_t> LOut;
  uint8_t LLiterals[127];
  int L = 0, R = 0;
  uint8_t LRunByte = 0;
  auto Flush = [&] {
    if (L > 0) {
      LOut.insert(LOut.end(), LLiterals, LLiterals + L);
      LOut.push_back(static_cast<uint8_t>(L));
    }
    if (R > 0) {
      LOut.push_back(LRunByte);
      LOut.push_back(static_cast<uint8_t>(128 + R));
    }
    L = R = 0;
  };
  for (int i = 0; i < ASize; ++i) {
    const uint8_t b = AMemory[i];
    if (L > 0 && LLiterals[L - 1] != b) {
      LLiterals[L++] = b;
      if (L == 127) Flush();
    } else if (L > 1 && LLiterals[L - 2] == b) {
      // The third equal byte: the two literals before it join it in a run.
      L -= 2;
      Flush();
      LRunByte = b;
      R = 3;
    } else if (R > 0 && LRunByte == b) {
      if (++R == 127) Flush();
    } else {
      if (R > 0) Flush();
      LLiterals[L++] = b;
      if (L == 127) Flush();
    }
  }
  Flush();
  return LOut;
}

void TKvVectorSPRScreen::WriteFile(TKvStream& AStream) {
  AStream.Write(FHeader, sizeof(FHeader));
  const std::vector<uint8_t> LCode = EncodeVectorSpr(FMemory.data(), VectorVideoMemorySize);
  AStream.Write(LCode.data(), static_cast<int64_t>(LCode.size()));
  WriteZeros(AStream, 128);
}

// ---------------------------------------------------------------------------
// ".rmb"

TKvVectorRMBScreen::TKvVectorRMBScreen(TKvScreen4& ASource, const TKvPalette256& APalette,
                                       const TKvPalette256& ADisplayPalette)
    : TKvScreen4(ASource.Width, ASource.Height, nullptr), FBytesPerRow((ASource.Width + 7) / 8) {
  if (Width % 8 != 0 || FBytesPerRow < 1 || FBytesPerRow > 32 || Height < 1 || Height > 256) RaiseInternalError();
  StoreHeaderColors(APalette, ADisplayPalette, FHeader, true);
  FHeader[16] = static_cast<uint8_t>(FBytesPerRow);
  FHeader[17] = static_cast<uint8_t>(Height);
  FHeader[18] = 15;
  FPlanes.assign(static_cast<size_t>(4) * FBytesPerRow * Height, 0);
  Data = FPlanes.data();
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) SetPixel(x, y, ASource.GetPixel(x, y));
}

void TKvVectorRMBScreen::SetPixel(int X, int Y, int AValue) {
  X = MX(X);
  const uint8_t m = VectorVideoMask(X);
  uint8_t* p = FPlanes.data() + static_cast<size_t>(Y) * 4 * FBytesPerRow + X / 8;
  for (int k = 0; k < 4; ++k, p += FBytesPerRow) *p = static_cast<uint8_t>(AValue & (1 << k) ? (*p | m) : (*p & ~m));
}

void TKvVectorRMBScreen::WriteFile(TKvStream& AStream) {
  AStream.Write(FHeader, sizeof(FHeader));
  AStream.Write(FPlanes.data(), static_cast<int64_t>(FPlanes.size()));
  WriteZeros(AStream, 256);
}

// ---------------------------------------------------------------------------
// Options and panels

TKvVectorEngineOptions::TKvVectorEngineOptions() {
  SetPixelAspect(pa1_0p75);
  SetPaletteType(ptColoredVirtualVector);
  SetPaletteUsage(puBlackAndColors15);
  SetPaletteMode(pmColor);
  SetMaxColorCount(16);
  SetHAMMaxChangeCount(8);
}

void TKvVectorEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& result = *GetPalette();
  result.Clear();
  TKvPalette256& hardware = GetHardwarePalette256();
  BuildVectorPalette(static_cast<TKvPaletteType>(PaletteType), hardware);
  switch (PaletteMode) {
    case pmBlackWhite:
      result.AddColor(hardware.Colors[0]);
      result.AddColor(hardware.Colors[255]);
      break;
    case pmGray:
      // The four blue levels taken as grays.
      for (int i = 0; i < 4; ++i) {
        const uint8_t b = hardware.GetStdRGB(i * 64).B;
        result.AddColor(hardware.Colors[hardware.FindNearestStdRGB({b, b, b})]);
      }
      break;
    case pmColor:
    case pmCustom:
      result.AddColors(&hardware);
      break;
    default:
      break;
  }
}

namespace {

void AddVectorPaletteKinds(TKvDestEngineUIEx& AUI) {
  const int kinds = AUI.AddCustomPaletteComboBox();
  for (TKvPaletteType t : {ptColoredLinear, ptColoredEMU, ptColoredVirtualVector}) AUI.AddSectionItem(kinds, t);
}

constexpr TKvPixelAspectSet VectorPixelAspects = PixelAspects(pa1_1, pa1p25_1, pa1_0p75);
constexpr TKvPaletteUsageSet VectorPaletteUsages = PaletteUsages(puColors15, puBlackAndColors15, puColors16);

TKvPalette* EditedVectorPalette(TKvDestEngineOptions& AOptions, TKvPalette256& AScratch, int& AColumns) {
  BuildVectorPalette(static_cast<TKvPaletteType>(AOptions.PaletteType), AScratch);
  AColumns = 0;
  return &AScratch;
}

}  // namespace

TKvVectorEngineUI::TKvVectorEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(VectorPixelAspects);
  AddPaletteSeparator();
  AddVectorPaletteKinds(*this);
  AddPaletteUsageSection(VectorPaletteUsages);
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom));
  AddDestPalette(16, 16, true);
  AddMaxColorCountSection(4, 16);
  AddFixedPaletteSectionEx("TKvVectorEngineUIExFixedPaletteComboBox", 16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvVectorEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  return EditedVectorPalette(*GetOptions(), AScratch, AColumns);
}

bool TKvVectorEngineUI::AcceptFixedPalette(const TKvPalette256& APalette) {
  if (GetOptions()->PaletteUsage != puBlackAndColors15) return true;
  return APalette.Count > 0 && APalette.GetStdRGB(0) == TKvStdRGBColor{0, 0, 0};
}

TKvVectorHAMEngineUI::TKvVectorHAMEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(VectorPixelAspects);
  AddPaletteSeparator();
  AddVectorPaletteKinds(*this);
  AddPaletteUsageSection(VectorPaletteUsages);
  AddDestPalette(16, 16, true);
  AddDitheringSection(false);
}

TKvPalette* TKvVectorHAMEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  return EditedVectorPalette(*GetOptions(), AScratch, AColumns);
}

// ---------------------------------------------------------------------------
// Engines

namespace {

// Writes AScreen as ".spr" (256 x 256 only) and ".rmb" (widths of whole
// bytes), each with a ".pals" sub-stream when APals is given.
void WriteVectorStreams(TKvScreen4& AScreen, const TKvPalette256& APalette, const TKvPalette256& ADisplay,
                        const std::vector<uint8_t>* APals, std::unique_ptr<TKvStreamList>& AStreams) {
  auto AddPals = [APals](TKvStream* AStream) {
    if (!APals) return;
    TKvStream* p = AStream->NewSubStream("pals", 0);
    p->Write(APals->data(), static_cast<int64_t>(APals->size()));
  };
  auto write = [&](auto&& AFile, const char* AExtension) {
    if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
    TKvStream* s = AStreams->NewStream(AExtension, 0);
    AFile.WriteFile(*s);
    AddPals(s);
  };
  if (AScreen.Width == 256 && AScreen.Height == 256) write(TKvVectorSPRScreen(AScreen, APalette, ADisplay), "spr");
  if (AScreen.Width % 8 == 0 && AScreen.Width <= 256 && AScreen.Height >= 1 && AScreen.Height <= 256)
    write(TKvVectorRMBScreen(AScreen, APalette, ADisplay), "rmb");
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvVectorEngine::Convert(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = AArgs.Bitmap.GetWidth(), height = AArgs.Bitmap.GetHeight();
  int maxColors = options.MaxColorCount;
  if (options.PaletteUsage == puColors15 && maxColors > 15) maxColors = 15;
  TKvPalette256 display;
  BuildVectorPalette(static_cast<TKvPaletteType>(options.PaletteType), display);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  std::vector<uint8_t> block(static_cast<size_t>((width + 1) / 2) * height, 0);
  TKvScreen4 screen(width, height, block.data());
  TKvPalette256& resultPalette = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  const bool blackFirst = options.PaletteUsage == puColors15;
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite: {
      int dark = 0, light = 1;
      if (fixed.Count == 0) {
        fixed.FillBlackWhite();
      } else {
        fixed.AddColorPair(&resultPalette, maxColors, dark, light);
        if (blackFirst) {
          fixed.InsertColor(0, 0, 0, 0);
          dark = 0;
          ++light;
        }
      }
      result = image.ConvertBW(abort, options, &screen, &fixed, dark, light);
      resultPalette.Assign(&fixed);
      break;
    }
    case pmGray: {
      options.SetUseAsGrayPalette(true);
      if (fixed.Count == 0) {
        result = image.ConvertIndexed(abort, options, &screen, resultPalette, nullptr);
        break;
      }
      int dark = 0, bright = 0;
      const bool merged = fixed.MergeColors(&resultPalette, maxColors, dark, bright);
      if (blackFirst) {
        fixed.InsertColor(0, 0, 0, 0);
        dark = 0;
        ++bright;
      }
      if (merged) {
        image.FitToPaletteGray(resultPalette);
        result = image.ConvertIndexed(abort, options, &screen, resultPalette, &fixed);
      } else {
        // The screen takes the fixed palette's own indexes of the two
        // colours, so that the written palette shows them.
        result = image.ConvertBW(abort, options, &screen, &fixed, dark, bright);
      }
      resultPalette.Assign(&fixed);
      break;
    }
    case pmColor:
    case pmCustom:
      if (options.PaletteUsage == puBlackAndColors15 && fixed.Count == 0) fixed.AddLinRGB(LinRGBBlack);
      TKvDestEngine::QuantizePalette(abort, image, display, maxColors, options);
      if (blackFirst) resultPalette.InsertColor(0, 0, 0, 0);
      image.FitToPaletteGray(resultPalette);
      result = image.ConvertIndexed(abort, options, &screen, resultPalette, nullptr);
      break;
    default:
      RaiseInternalError();
  }
  WriteVectorStreams(screen, resultPalette, display, nullptr, AArgs.Streams);
  return result;
}

// ---------------------------------------------------------------------------
// Per-line palette modes

int VectorHAMScreenWidth(int AChangeCount) {
  return AChangeCount == 1 || AChangeCount == 2 ? 256 : 344 - 32 * AChangeCount;
}

TKvVectorHAMImage::TKvVectorHAMImage(const TKvImage& AImage, uint8_t AUsage, int AChangeCount)
    : TKvHAMImage(AImage), FUsage(AUsage), FFirstPalette(std::make_unique<TKvPalette256>()) {
  FChangeData.push_back(static_cast<uint8_t>(AChangeCount));
}

void TKvVectorHAMImage::StoreInitialPalette(TKvPalette*, TKvPalette256& ALinePalette) {
  if (FUsage != puColors16 && (ALinePalette.Count == 0 || !(ALinePalette.GetStdRGB(0) == TKvStdRGBColor{0, 0, 0})))
    RaiseInternalError();
  FFirstPalette->Assign(&ALinePalette);
}

void TKvVectorHAMImage::StorePaletteChange(TKvPalette* ADisplayPalette, int AIndex, const TKvStdRGBColor& AColor,
                                           int) {
  if (FUsage != puColors16 && AIndex == 0 && !(AColor == TKvStdRGBColor{0, 0, 0})) RaiseInternalError();
  auto* LDisplay = dynamic_cast<TKvPalette256*>(ADisplayPalette);
  if (!LDisplay || AIndex < 0 || AIndex > 15) RaiseInternalError();
  FChangeData.push_back(static_cast<uint8_t>(AIndex));
  FChangeData.push_back(static_cast<uint8_t>(LDisplay->LocateStdRGB(AColor)));
}

std::unique_ptr<TKvBitmap> TKvVectorHAM1Engine::Convert(TKvConvertArgs& AArgs) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = AArgs.Bitmap.GetWidth(), height = AArgs.Bitmap.GetHeight();
  const int changeCount = options.HAMMaxChangeCount;
  TKvPalette256 display;
  BuildVectorPalette(static_cast<TKvPaletteType>(options.PaletteType), display);
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  image.DitherToPalette(abort, options, display, false);
  TKvHAMPalette plan(abort, image, &display, 16, changeCount, 0, options.PaletteUsage);
  TKvVectorHAMImage ham(image, options.PaletteUsage, changeCount);
  options.SetDitherMethod(0);
  std::vector<uint8_t> block(static_cast<size_t>((width + 1) / 2) * height, 0);
  TKvScreen4 screen(width, height, block.data());
  auto result = ham.Convert(abort, options, &screen, plan, &display);
  WriteVectorStreams(screen, ham.GetFirstPalette(), display, &ham.GetChangeData(), AArgs.Streams);
  TKvPalette256& resultPalette = *options.GetPalette();
  resultPalette.Clear();
  if (ham.GetUsedPalette()) resultPalette.Assign(ham.GetUsedPalette());
  return result;
}

}  // namespace KvSavePlatformVector

void InitKvSavePlatformVector() {
  using namespace KvSavePlatformVector;
  RegisterDestEngines<TKvVectorEngine, TKvVectorHAM1Engine, TKvVectorHAM2Engine>();
}
