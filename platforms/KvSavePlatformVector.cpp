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
  SetPixelAspect(13);  // "1:0.75"
  SetPaletteType(ptColoredVirtualVector);
  SetPaletteUsage(1);  // "Black + 15 colors"
  SetPaletteMode(11);
  SetMaxColorCount(16);
  SetHAMMaxChangeCount(8);
}

void TKvVectorEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& LResult = *GetPalette();
  LResult.Clear();
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  TKvPalette256& LHardware = static_cast<TKvPalette256&>(*HardwarePalette);
  BuildVectorPalette(static_cast<TKvPaletteType>(PaletteType), LHardware);
  switch (PaletteMode) {
    case 0:
      LResult.AddColor(LHardware.Colors[0]);
      LResult.AddColor(LHardware.Colors[255]);
      break;
    case 1:
      // The four blue levels taken as grays.
      for (int i = 0; i < 4; ++i) {
        const uint8_t b = LHardware.GetStdRGB(i * 64).B;
        LResult.AddColor(LHardware.Colors[LHardware.FindNearestStdRGB({b, b, b})]);
      }
      break;
    case 11:
    case 17:
      LResult.AddColors(&LHardware);
      break;
    default:
      break;
  }
}

namespace {

void AddVectorPaletteKinds(TKvDestEngineUIEx& AUI) {
  const int LKinds = AUI.AddCustomPaletteComboBox();
  for (TKvPaletteType t : {ptColoredLinear, ptColoredEMU, ptColoredVirtualVector}) AUI.AddSectionItem(LKinds, t);
}

TKvPalette* EditedVectorPalette(TKvDestEngineOptions& AOptions, TKvPalette256& AScratch, int& AColumns) {
  BuildVectorPalette(static_cast<TKvPaletteType>(AOptions.PaletteType), AScratch);
  AColumns = 0;
  return &AScratch;
}

}  // namespace

TKvVectorEngineUI::TKvVectorEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(11264);  // "1:1", "1.25:1", "1:0.75"
  AddPaletteSeparator();
  AddVectorPaletteKinds(*this);
  AddPaletteUsageSection(7);
  AddPaletteModeSection(133123);  // "Black/white", "Gray", "Сolor", "Custom"
  AddDestPalette(16, 16, true);
  AddMaxColorCountSection(4, 16);
  AddFixedPaletteSectionEx("TKvVectorEngineUIExFixedPaletteComboBox", 16, 1);
  AddDitheringSection(false);
}

TKvPalette* TKvVectorEngineUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  return EditedVectorPalette(*GetOptions(), AScratch, AColumns);
}

bool TKvVectorEngineUI::AcceptFixedPalette(const TKvPalette256& APalette) {
  if (GetOptions()->PaletteUsage != 1) return true;
  return APalette.Count > 0 && APalette.GetStdRGB(0) == TKvStdRGBColor{0, 0, 0};
}

TKvVectorHAMEngineUI::TKvVectorHAMEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(11264);
  AddPaletteSeparator();
  AddVectorPaletteKinds(*this);
  AddPaletteUsageSection(7);
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
  if (AScreen.Width == 256 && AScreen.Height == 256) {
    TKvVectorSPRScreen LSpr(AScreen, APalette, ADisplay);
    if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
    TKvStream* s = AStreams->NewStream("spr", 0);
    LSpr.WriteFile(*s);
    AddPals(s);
  }
  if (AScreen.Width % 8 == 0 && AScreen.Width <= 256 && AScreen.Height >= 1 && AScreen.Height <= 256) {
    TKvVectorRMBScreen LRmb(AScreen, APalette, ADisplay);
    if (!AStreams) AStreams = std::make_unique<TKvStreamList>();
    TKvStream* s = AStreams->NewStream("rmb", 0);
    LRmb.WriteFile(*s);
    AddPals(s);
  }
}

}  // namespace

std::unique_ptr<TKvDestEngineUI> TKvVectorEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvVectorEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvVectorEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvVectorEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvVectorEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                    TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                    TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  int N = AOptions.MaxColorCount;
  if (AOptions.PaletteUsage == 0 && N > 15) N = 15;
  TKvPalette256 LDisplay;
  BuildVectorPalette(static_cast<TKvPaletteType>(AOptions.PaletteType), LDisplay);
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  std::vector<uint8_t> LBlock(static_cast<size_t>((W + 1) / 2) * H, 0);
  TKvScreen4 LScreen(W, H, LBlock.data());
  TKvPalette256& RP = *AOptions.GetPalette();
  TKvPalette256& FP = *AOptions.GetFixedPalette();
  const bool LBlackFirst = AOptions.PaletteUsage == 0;
  std::unique_ptr<TKvBitmap> LResult;
  switch (AOptions.PaletteMode) {
    case 0: {
      int LDark = 0, LLight = 1;
      if (FP.Count == 0) {
        FP.FillBlackWhite();
      } else {
        FP.AddColorPair(&RP, N, LDark, LLight);
        if (LBlackFirst) {
          FP.InsertColor(0, 0, 0, 0);
          LDark = 0;
          ++LLight;
        }
      }
      LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &FP, LDark, LLight);
      RP.Assign(&FP);
      break;
    }
    case 1: {
      AOptions.SetUseAsGrayPalette(true);
      if (FP.Count == 0) {
        LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, RP, nullptr);
        break;
      }
      int LDark = 0, LBright = 0;
      const bool LMerged = FP.MergeColors(&RP, N, LDark, LBright);
      if (LBlackFirst) {
        FP.InsertColor(0, 0, 0, 0);
        LDark = 0;
        ++LBright;
      }
      if (LMerged) {
        LImage.FitToPaletteGray(RP);
        LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, RP, &FP);
      } else {
        // The screen takes the fixed palette's own indexes of the two
        // colours, so that the written palette shows them.
        LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, &FP, LDark, LBright);
      }
      RP.Assign(&FP);
      break;
    }
    case 11:
    case 17:
      if (AOptions.PaletteUsage == 1 && FP.Count == 0) FP.AddLinRGB(LinRGBBlack);
      TKvDestEngine::QuantizePalette(AAbort, LImage, LDisplay, N, AOptions);
      if (LBlackFirst) RP.InsertColor(0, 0, 0, 0);
      LImage.FitToPaletteGray(RP);
      LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, RP, nullptr);
      break;
    default:
      RaiseInternalError();
  }
  WriteVectorStreams(LScreen, RP, LDisplay, nullptr, AStreams);
  return LResult;
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
  if (FUsage != 2 && (ALinePalette.Count == 0 || !(ALinePalette.GetStdRGB(0) == TKvStdRGBColor{0, 0, 0})))
    RaiseInternalError();
  FFirstPalette->Assign(&ALinePalette);
}

void TKvVectorHAMImage::StorePaletteChange(TKvPalette* ADisplayPalette, int AIndex, const TKvStdRGBColor& AColor,
                                           int) {
  if (FUsage != 2 && AIndex == 0 && !(AColor == TKvStdRGBColor{0, 0, 0})) RaiseInternalError();
  auto* LDisplay = dynamic_cast<TKvPalette256*>(ADisplayPalette);
  if (!LDisplay || AIndex < 0 || AIndex > 15) RaiseInternalError();
  FChangeData.push_back(static_cast<uint8_t>(AIndex));
  FChangeData.push_back(static_cast<uint8_t>(LDisplay->LocateStdRGB(AColor)));
}

std::string TKvVectorHAM1Engine::ModeName(int AChangeCount) {
  return std::to_string(VectorHAMScreenWidth(AChangeCount)) + "x256x4 HAM" + std::to_string(AChangeCount);
}

std::unique_ptr<TKvDestEngineUI> TKvVectorHAM1Engine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvVectorHAMEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvVectorHAM1Engine::CreateOptions() {
  auto LOptions = TKvDestEngineOptions::Create<TKvVectorHAMEngineOptions>();
  LOptions->SetHAMMaxChangeCount(EngineChangeCount());
  LOptions->SetNativeWidth(LOptions->GetDefaultSize().Width);
  return LOptions;
}

std::unique_ptr<TKvBitmap> TKvVectorHAM1Engine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                        TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                        TKvDestProgress&, std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  const int K = AOptions.HAMMaxChangeCount;
  TKvPalette256 LDisplay;
  BuildVectorPalette(static_cast<TKvPaletteType>(AOptions.PaletteType), LDisplay);
  TKvImage LImage(ABitmap);
  LImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
  LImage.DitherToPalette(AAbort, AOptions, LDisplay, false);
  TKvHAMPalette LPlan(AAbort, LImage, &LDisplay, 16, K, 0, AOptions.PaletteUsage);
  TKvVectorHAMImage LHam(LImage, AOptions.PaletteUsage, K);
  AOptions.SetDitherMethod(0);
  std::vector<uint8_t> LBlock(static_cast<size_t>((W + 1) / 2) * H, 0);
  TKvScreen4 LScreen(W, H, LBlock.data());
  auto LResult = LHam.Convert(AAbort, AOptions, &LScreen, LPlan, &LDisplay);
  WriteVectorStreams(LScreen, LHam.GetFirstPalette(), LDisplay, &LHam.GetChangeData(), AStreams);
  TKvPalette256& RP = *AOptions.GetPalette();
  RP.Clear();
  if (LHam.GetUsedPalette()) RP.Assign(LHam.GetUsedPalette());
  return LResult;
}

}  // namespace KvSavePlatformVector

void InitKvSavePlatformVector() {
  using namespace KvSavePlatformVector;
  RegisterDestEngine(DestEngineClass<TKvVectorEngine>());
  RegisterDestEngine(DestEngineClass<TKvVectorHAM1Engine>());
  RegisterDestEngine(DestEngineClass<TKvVectorHAM2Engine>());
}
