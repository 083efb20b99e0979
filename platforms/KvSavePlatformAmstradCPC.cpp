#include "platforms/KvSavePlatformAmstradCPC.h"

#include <cstring>

#include "bitmap/B32.h"
#include "core/KvFlicker.h"
#include "core/KvImage.h"
#include "core/KvKMeans.h"
#include "core/KvPaletteRGB.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Streams

TKvAmstradCPCStream::TKvAmstradCPCStream(const std::string& AExtension, uint16_t ALoadAddress, uint16_t ALength,
                                         uint16_t AExecAddress, uint8_t AFileType)
    : TKvStream(AExtension) {
  SetSize(AmsdosHeaderSize + ALength);
  std::memset(GetMemory(), 0, static_cast<size_t>(AmsdosHeaderSize + ALength));
  InitAmsdosHeader(Header(), AFileType, ALoadAddress, ALength, AExecAddress);
}

void TKvAmstradCPCStream::StoreFileName(const std::string& AFileName) {
  // One 8-bit character per code point: anything outside ASCII has no place
  // in an AMSDOS name and ends up as "-".
  std::string LName;
  for (size_t i = 0; i < AFileName.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(AFileName[i]);
    if (c < 0x80)
      LName += static_cast<char>(c);
    else if ((c & 0xC0) != 0x80)
      LName += '?';
  }
  SetAmsdosFileName(Header(), LName);
  UpdateAmsdosChecksum(Header());
}

TKvAmstradCPCPalStream::TKvAmstradCPCPalStream(uint8_t AMode, const TKvPalette256& AHardwarePalette,
                                               const TKvPalette256& AColours, int32_t ABorder)
    : TKvAmstradCPCStream("pal", 0x8809, CPCPalBodySize, 0x8809, 2) {
  BuildCPCPalFile(Body(), AMode, AHardwarePalette, AColours, ABorder);
}

TKvAmstradCPCKitStream::TKvAmstradCPCKitStream() : TKvAmstradCPCStream("kit", 0x8809, CPCKitBodySize, 0x8809, 2) {}

TKvAmstradCPCScrStream::TKvAmstradCPCScrStream(uint8_t AMode, const TKvPalette256& AHardwarePalette,
                                               const TKvPalette256& AColours, int32_t ABorder)
    : TKvAmstradCPCStream("scr", 0xC000, CPCScrBodySize, 0xC7D0, 2) {
  AddSubStream(std::make_unique<TKvAmstradCPCPalStream>(AMode, AHardwarePalette, AColours, ABorder));
  uint8_t* b = Body();
  std::memcpy(b + CPCScrRoutineOffset, CPCScrDisplayRoutine, sizeof CPCScrDisplayRoutine);
  b[CPCScrModeOffset] = AMode;
  for (int i = 0; i < 16; ++i)
    b[CPCScrPensOffset + i] =
        static_cast<uint8_t>(AHardwarePalette.LocateStdRGB(AColours.GetStdRGB(i < AColours.Count ? i : 0)));
  const TKvStdRGBColor LBorder{static_cast<uint8_t>(ABorder >> 16), static_cast<uint8_t>(ABorder >> 8),
                               static_cast<uint8_t>(ABorder)};
  b[CPCScrBorderOffset] = static_cast<uint8_t>(AHardwarePalette.FindNearestStdRGB(LBorder));
}

TKvAmstradCPCScrExStream::TKvAmstradCPCScrExStream(uint8_t AMode, const TKvPalette& AHardwarePalette,
                                                   const TKvPalette256& AColours, int32_t ABorder)
    : TKvAmstradCPCStream("scr", 0x0170, CPCOverscanBodySize, 0, 0) {
  uint8_t* b = Body();
  std::memcpy(b, CPCOverscanLoader, CPCOverscanLoaderSize);
  b[CPCOverscanModeOffset] = static_cast<uint8_t>(0x0E + AMode);
  if (const auto* LHardware = dynamic_cast<const TKvPalette256*>(&AHardwarePalette)) {
    b[CPCOverscanFlagOffset] = 0;
    AddSubStream(std::make_unique<TKvAmstradCPCPalStream>(AMode, *LHardware, AColours, ABorder));
    for (int i = 0; i < 16; ++i)
      b[CPCOverscanColorsOffset + i] =
          i < AColours.Count ? CPCFirmwareToHardware[LHardware->LocateStdRGB(AColours.GetStdRGB(i))] : 0x54;
  } else {
    b[CPCOverscanFlagOffset] = 1;
    auto LKit = std::make_unique<TKvAmstradCPCKitStream>();
    for (int i = 0; i < 16; ++i) {
      uint16_t w = 0;
      if (i < AColours.Count) {
        const int n = AHardwarePalette.FindNearest(AColours.GetLinRGB(i));
        w = CPCPlusColorWord((n >> 8) & 15, (n >> 4) & 15, n & 15);
      }
      for (uint8_t* p : {LKit->Body() + 2 * i, b + CPCOverscanPlusOffset + 2 * i}) {
        p[0] = static_cast<uint8_t>(w);
        p[1] = static_cast<uint8_t>(w >> 8);
      }
    }
    AddSubStream(std::move(LKit));
  }
}

TKvAmstradCPCPphStream::TKvAmstradCPCPphStream(uint8_t AType, uint16_t AWidth, uint16_t AHeight,
                                               const TKvPalette256& AHardwarePalette, const TKvPalette256& AColours)
    : TKvAmstradCPCStream("pph", 0x2CE0, static_cast<uint16_t>(6 + CPCPenCount(AType)), 0, 2) {
  BuildCPCPphHeader(Body(), AType, AWidth, AHeight, AHardwarePalette, AColours);
}

// ---------------------------------------------------------------------------
// Options

TKvAmstradCPCEngineOptions::TKvAmstradCPCEngineOptions(const TKvCPCModeDefaults& ADefaults) : FDefaults(ADefaults) {
  SetPaletteType(ptCPCGateArray);
  SetPaletteMode(ADefaults.PaletteMode);
  SetPixelAspect(ADefaults.PixelAspect);
  SetErrorDiffusion(ADefaults.ErrorDiffusion);
  SetWriteFileHeader(ADefaults.WriteFileHeader);
}

void TKvAmstradCPCEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& LPalette = *GetPalette();
  LPalette.Clear();
  if (PaletteType == ptCPCPlus) {
    if (PaletteMode == 0) {
      LPalette.FillBlackWhite();
    } else if (PaletteMode == 1) {
      auto LGrays = TKvPaletteRGB::CreateBits(4, 4, 4, true);
      LPalette.Assign(LGrays->GrayPalette.get());
    }
    HardwarePalette = TKvPaletteRGB::CreateBits(4, 4, 4, false);
    return;
  }
  const auto LType = static_cast<TKvPaletteType>(PaletteType);
  switch (PaletteMode) {
    case 0:
      BuildCPCBlackWhitePalette(LPalette, LType);
      break;
    case 1:
      BuildCPCGrayPalette(LPalette, LType);
      break;
    case 10:
      BuildCPCBrightPalette(LPalette, LType);
      break;
    case 11:
    case 17:
      BuildCPCPalette(LPalette, LType);
      break;
    default:
      RaiseOSError(87);
  }
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  BuildCPCPalette(static_cast<TKvPalette256&>(*HardwarePalette), LType);
}

// ---------------------------------------------------------------------------
// Pair colours of the two-frame modes

void CountCPCPairs(bool* AAbort, TKvDestEngineOptions& AOptions, TKvImage& AImage, const TKvPalette256& ABase,
                   TKvCPCPairHistogram& AHist) {
  AHist.fill(0);
  const int n = ABase.Count;
  if (n == 0) return;
  // The histogram holds pairs of hardware colours only.
  if (n > CPCColorCount) RaiseOSError(87);
  TKvPalette256 M;
  M.FillMixtures(&ABase, AOptions.MaxFlickering, 0);
  TKvImage LCopy(AImage);
  LCopy.DitherToPalette(AAbort, AOptions, M, false);
  for (int y = 0; y < LCopy.GetHeight(); ++y)
    for (int x = 0; x < LCopy.GetWidth(); ++x) {
      const int k = M.IndexOfStdRGB(LCopy.GetPixels(x, y)->GetStdRGB());
      if (k >= 0) ++AHist[static_cast<size_t>((k / n) * CPCColorCount + k % n)];
    }
}

void ChooseCPCPairColors(TKvCPCPairHistogram& AHist, int AMaxCount, const TKvPalette& ABase, TKvPalette256& APalette) {
  const int S = APalette.Count;
  auto h = [&AHist](int i, int j) -> uint32_t& { return AHist[static_cast<size_t>(i * CPCColorCount + j)]; };
  const int n = ABase.GetCount() < CPCColorCount ? ABase.GetCount() : CPCColorCount;
  while (APalette.Count < AMaxCount) {
    uint64_t LBest = 0;
    int bi = -1, bj = -1;
    for (int i = 0; i < n - 1; ++i)
      for (int j = i + 1; j < n; ++j) {
        const uint64_t s = static_cast<uint64_t>(h(i, i)) + h(i, j) + h(j, j);
        if (s > LBest) {
          LBest = s;
          bi = i;
          bj = j;
        }
      }
    if (LBest == 0) break;
    const int LFirst = h(bj, bj) > h(bi, bi) ? bj : bi;
    const int LSecond = LFirst == bi ? bj : bi;
    APalette.AddUniqueStdRGB(ABase.GetStdRGB(LFirst));
    if (APalette.Count < AMaxCount) APalette.AddUniqueStdRGB(ABase.GetStdRGB(LSecond));
    h(bi, bi) = 0;
    h(bi, bj) = 0;
    h(bj, bj) = 0;
  }
  APalette.SortByGray(S);
}

// ---------------------------------------------------------------------------
// Panels

TKvAmstradCPCPaletteUI::TKvAmstradCPCPaletteUI(TKvDestEngineOptions* AOptions, uint32_t AModeSet, bool APlus,
                                               int ARows, bool AFrames)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  const int LKinds = AddCustomPaletteComboBox();
  for (int k = ptCPCGateArray; k <= (APlus ? ptCPCPlus : ptCPCASICRGB); ++k) AddSectionItem(LKinds, k);
  AddPaletteModeSection(AModeSet);
  AddDestPalette(16, ARows, true);
  AddFixedPaletteSection(16, 1);
  if (AFrames) AddMaxFlickeringSection();
  AddDitheringSection(false);
}

bool TKvAmstradCPCPaletteUI::CanEditPalette() { return GetOptions()->PaletteType != ptCPCPlus; }

TKvPalette* TKvAmstradCPCPaletteUI::GetEditedPalette(TKvPalette256& AScratch, int& AColumns) {
  AColumns = 9;
  AScratch.Clear();
  if (GetOptions()->PaletteType != ptCPCPlus)
    BuildCPCPalette(AScratch, static_cast<TKvPaletteType>(GetOptions()->PaletteType));
  return &AScratch;
}

TKvAmstradCPCMonoUI::TKvAmstradCPCMonoUI(TKvDestEngineOptions* AOptions, bool AHeaderCheckBox)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddDitheringSection(false);
  if (AHeaderCheckBox) {
    AddFileFormatSeparator();
    AddFileFormatCheckBox("AMSDos header");
  }
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

constexpr uint32_t ModeSet0 = 0x20803;   // 0, 1, 11, 17
constexpr uint32_t ModeSet1 = 0x20C03;   // 0, 1, 10, 11, 17
constexpr uint32_t ModeSetB0 = 0x20802;  // 1, 11, 17
constexpr uint32_t ModeSetB1 = 0x20C02;  // 1, 10, 11, 17

const TKvCPCModeDefaults Mode0Defaults{160, 200, 11, 17, 90};
const TKvCPCModeDefaults Mode1Defaults{320, 200, 10, 10, 80};
const TKvCPCModeDefaults Mode2Defaults{640, 200, 11, 1, 90};
const TKvCPCModeDefaults Mode0ExDefaults{192, 272, 11, 17, 90};
const TKvCPCModeDefaults Mode1ExDefaults{384, 272, 10, 10, 80};
const TKvCPCModeDefaults Mode2ExDefaults{768, 272, 11, 1, 90};
const TKvCPCModeDefaults HgbDefaults{512, 256, 11, 1, 90, false};
const TKvCPCModeDefaults B0Defaults{192, 272, 11, 17, 90};
const TKvCPCModeDefaults B1Defaults{384, 272, 10, 10, 80};

std::unique_ptr<TKvDestEngineOptions> CreateCPCOptions(const TKvCPCModeDefaults& ADefaults) {
  return TKvDestEngineOptions::Create<TKvAmstradCPCEngineOptions>(ADefaults);
}

// A picture larger than the screen would be written past the file's body.
void CheckCPCSize(const TBitmap32& ABitmap, const TKvCPCModeDefaults& ADefaults) {
  if (ABitmap.GetWidth() < 1 || ABitmap.GetHeight() < 1 || ABitmap.GetWidth() > ADefaults.Width ||
      ABitmap.GetHeight() > ADefaults.Height)
    RaiseOSError(87);
}

TKvPaletteType CPCKind(const TKvDestEngineOptions& AOptions) {
  return static_cast<TKvPaletteType>(AOptions.PaletteType);
}

std::unique_ptr<TKvBitmapData> MakeCPCScreen(int AMode, bool AOverscan, int W, int H, uint8_t* AData) {
  switch (AMode * 2 + (AOverscan ? 1 : 0)) {
    case 0:
      return std::make_unique<TKvAmstradCPCMode0Screen>(W, H, AData);
    case 1:
      return std::make_unique<TKvAmstradCPCMode0ExScreen>(W, H, AData);
    case 2:
      return std::make_unique<TKvAmstradCPCMode1Screen>(W, H, AData);
    case 3:
      return std::make_unique<TKvAmstradCPCMode1ExScreen>(W, H, AData);
    case 4:
      return std::make_unique<TKvAmstradCPCMode2Screen>(W, H, AData);
    default:
      return std::make_unique<TKvAmstradCPCMode2ExScreen>(W, H, AData);
  }
}

// Adds the ".scr" stream for AColours and answers its body.
uint8_t* AddCPCScreenStream(TKvStreamList& AStreams, int AMode, bool AOverscan, const TKvPalette& AHardware,
                            const TKvPalette256& AColours, int32_t ABorder) {
  std::unique_ptr<TKvAmstradCPCStream> s;
  if (AOverscan)
    s = std::make_unique<TKvAmstradCPCScrExStream>(static_cast<uint8_t>(AMode), AHardware, AColours, ABorder);
  else
    s = std::make_unique<TKvAmstradCPCScrStream>(static_cast<uint8_t>(AMode),
                                                 dynamic_cast<const TKvPalette256&>(AHardware), AColours, ABorder);
  uint8_t* LBody = s->Body();
  AStreams.Add(std::move(s));
  return LBody;
}

// Modes 0 and 1, standard or overscan: N pens chosen from the hardware
// colours (or the Plus levels, overscan only).
std::unique_ptr<TKvBitmap> ConvertCPCPens(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& O,
                                          std::unique_ptr<TKvStreamList>& AStreams, int AMode, bool AOverscan) {
  const int N = AMode == 0 ? 16 : 4;
  const int W = ABitmap.GetWidth(), Ht = ABitmap.GetHeight();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvImage LImage(ABitmap);
  LImage.Adjust(O.LightnessFix, O.SaturationFix);
  O.SetLightnessFix(0);
  O.SetSaturationFix(0);
  const bool LPlus = O.PaletteType == ptCPCPlus;
  if (LPlus && !AOverscan) RaiseOSError(87);
  std::unique_ptr<TKvPalette> H;
  if (LPlus) {
    H = TKvPaletteRGB::CreateBits(4, 4, 4, O.PaletteMode == 1);
  } else {
    auto L = std::make_unique<TKvPalette256>();
    BuildCPCPalette(*L, CPCKind(O));
    H = std::move(L);
  }
  if (LPlus && O.PaletteMode == 17) O.SetPaletteMode(11);
  TKvPalette256& P = *O.GetPalette();
  TKvPalette256& F = *O.GetFixedPalette();
  std::unique_ptr<TKvBitmapData> S;
  auto LStart = [&](const TKvPalette256& AColours) {
    S = MakeCPCScreen(AMode, AOverscan, W, Ht, AddCPCScreenStream(*LStreams, AMode, AOverscan, *H, AColours, O.BorderColor));
  };
  std::unique_ptr<TKvBitmap> LResult;
  switch (O.PaletteMode) {
    case 0: {
      P.Clear();
      P.AddStdRGB(H->GetStdRGB(0));
      P.AddStdRGB(H->GetStdRGB(H->GetCount() - 1));
      int D = 0, L = 0;
      F.AddColorPair(&P, N, D, L);
      LStart(F);
      LResult = LImage.ConvertBW(AAbort, O, S.get(), &F, D, L);
      P.Assign(&F);
      break;
    }
    case 1: {
      int D = 0, L = 0;
      bool R;
      if (LPlus) {
        auto* LRGB = static_cast<TKvPaletteRGB*>(H.get());
        R = TKvDestEngine::ReducePalette(AAbort, LImage, *LRGB->GrayPalette, N, O, D, L);
      } else {
        BuildCPCGrayPalette(P, CPCKind(O));
        R = TKvDestEngine::ReducePalette(AAbort, LImage, P, N, O, D, L);
      }
      LStart(F);
      if (R) {
        if (AOverscan && AMode == 0 && !LPlus) LImage.FitToPaletteGray(P);
        LResult = LImage.ConvertIndexed(AAbort, O, S.get(), P, &F);
      } else {
        LResult = LImage.ConvertBW(AAbort, O, S.get(), &F, D, L);
      }
      P.Assign(&F);
      break;
    }
    case 10: {
      if (AMode != 1) RaiseOSError(86);
      TKvPalette256 B;
      if (LPlus)
        B.FillNearestGBR16(H.get());
      else
        BuildCPCBrightPalette(B, CPCKind(O));
      TKvDestEngine::QuantizePalette(AAbort, LImage, B, N, O);
      LStart(P);
      LImage.FitToPaletteGray(P);
      LResult = LImage.ConvertIndexed(AAbort, O, S.get(), P, nullptr);
      break;
    }
    case 11:
    case 17:
      TKvDestEngine::QuantizePalette(AAbort, LImage, *H, N, O);
      LStart(P);
      LImage.FitToPaletteGray(P);
      LResult = LImage.ConvertIndexed(AAbort, O, S.get(), P, nullptr);
      break;
    default:
      RaiseOSError(86);
  }
  AStreams = std::move(LStreams);
  return LResult;
}

// Two pens, black and bright white: mode 2 standard or overscan.
std::unique_ptr<TKvBitmap> ConvertCPCMode2(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& O,
                                           std::unique_ptr<TKvStreamList>& AStreams, bool AOverscan) {
  TKvPalette256 H;
  BuildCPCPalette(H, CPCKind(O));
  TKvPalette256& P = *O.GetPalette();
  BuildCPCBlackWhitePalette(P, CPCKind(O));
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  auto S = MakeCPCScreen(2, AOverscan, ABitmap.GetWidth(), ABitmap.GetHeight(),
                         AddCPCScreenStream(*LStreams, 2, AOverscan, H, P, O.BorderColor));
  auto LResult = LImage.ConvertBW(AAbort, O, S.get(), nullptr, 0, 1);
  AStreams = std::move(LStreams);
  return LResult;
}

// The ".pph" with its two frames, and the flicker conversion into them.
std::unique_ptr<TKvBitmap> ConvertCPCFrames(bool* AAbort, TKvImage& AImage, TKvDestEngineOptions& O,
                                            TKvStreamList& AStreams, bool AB0, const TKvPalette256& AHardware,
                                            const TKvPalette256& ABase, TKvPalette256* ADisplay) {
  const int W = O.GetWidth(), Ht = O.GetHeight();
  const int LWidth = AImage.GetWidth(), LHeight = AImage.GetHeight();
  auto LPph = std::make_unique<TKvAmstradCPCPphStream>(static_cast<uint8_t>(AB0 ? 4 : 5),
                                                       static_cast<uint16_t>(AB0 ? 2 * W : W),
                                                       static_cast<uint16_t>(Ht), AHardware, ABase);
  auto LEve = std::make_unique<TKvAmstradCPCStream>("eve", 0x4000, CPCFrameBodySize, 0, 2);
  auto LOdd = std::make_unique<TKvAmstradCPCStream>("odd", 0x4000, CPCFrameBodySize, 0, 2);
  uint8_t* E = LEve->Body();
  uint8_t* D = LOdd->Body();
  LPph->AddSubStream(std::move(LEve));
  LPph->AddSubStream(std::move(LOdd));
  AStreams.Add(std::move(LPph));
  TKvPalette256 M;
  M.FillMixtures(O.GetPalette(), O.MaxFlickering, 0);
  const int n = ADisplay ? ADisplay->Count : ABase.Count;
  if (n < 1) RaiseOSError(87);
  std::unique_ptr<TKvBitmapData> S;
  if (AB0)
    S = std::make_unique<TKvAmstradCPCModeB0Screen>(LWidth, LHeight, E, D, n);
  else
    S = std::make_unique<TKvAmstradCPCModeB1Screen>(LWidth, LHeight, E, D, n);
  AImage.FitToPaletteGray(M);
  return ConvertFlicker(AImage, AAbort, O, S.get(), M, ADisplay);
}

std::unique_ptr<TKvBitmap> ConvertCPCTwoFrames(bool* AAbort, TBitmap32& ABitmap, TKvDestEngineOptions& O,
                                               std::unique_ptr<TKvStreamList>& AStreams, bool AB0) {
  const int N = AB0 ? 16 : 4;
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvPalette256 H;
  BuildCPCPalette(H, CPCKind(O));
  TKvImage LImage(ABitmap);
  LImage.Adjust(O.LightnessFix, O.SaturationFix);
  O.SetLightnessFix(0);
  O.SetSaturationFix(0);
  TKvPalette256& P = *O.GetPalette();
  TKvPalette256& F = *O.GetFixedPalette();
  std::unique_ptr<TKvBitmap> LResult;
  TKvCPCPairHistogram LHist;
  if (AB0) {
    switch (O.PaletteMode) {
      case 1: {
        O.SetUseAsGrayPalette(true);
        int D = 0, L = 0;
        F.MergeColors(&P, N, D, L);
        LResult = ConvertCPCFrames(AAbort, LImage, O, *LStreams, true, H, F, &F);
        P.Assign(&F);
        break;
      }
      case 11:
      case 17: {
        // The colours the pairs choose from when the fixed ones fall short.
        TKvPalette256 T;
        T.Assign(&F);
        if (O.PaletteMode == 17 && F.Count < N) {
          for (int k = 0; k < CPCColorCount; ++k)
            if (O.ColorMask[static_cast<size_t>(k)]) T.AddUniqueStdRGB(H.GetStdRGB(k));
          T.SortByGray(F.Count);
        }
        if (T.Count == N) {
          P.Assign(&T);
        } else if (T.Count > N) {
          CountCPCPairs(AAbort, O, LImage, T, LHist);
          P.Clear();
          if (O.PaletteMode == 17 && F.Count < N) P.Assign(&F);
          ChooseCPCPairColors(LHist, N, T, P);
        } else {
          CountCPCPairs(AAbort, O, LImage, H, LHist);
          P.Assign(&T);
          ChooseCPCPairColors(LHist, N, H, P);
        }
        if (O.PaletteMode == 17) P.SortByGray(F.Count < P.Count ? F.Count : P.Count);
        LResult = ConvertCPCFrames(AAbort, LImage, O, *LStreams, true, H, P, nullptr);
        break;
      }
      default:
        RaiseOSError(86);
    }
  } else {
    switch (O.PaletteMode) {
      case 1: {
        O.SetUseAsGrayPalette(true);
        int D = 0, L = 0;
        F.MergeColors(&P, N, D, L);
        LResult = ConvertCPCFrames(AAbort, LImage, O, *LStreams, false, H, F, &F);
        break;
      }
      case 10:
      case 11:
      case 17: {
        TKvQuantization Q;
        if (O.PaletteMode == 10) {
          TKvPalette256 B;
          BuildCPCBrightPalette(B, CPCKind(O));
          for (int i = 0; i < F.Count; ++i) B.AddUniqueStdRGB(F.GetStdRGB(i));
          Q.Quantize(AAbort, LImage, N, false, O.ColorDiffMethod, P, &F, &B);
        } else if (O.PaletteMode == 11) {
          Q.Quantize(AAbort, LImage, N, false, O.ColorDiffMethod, P, &F, &H);
        } else {
          Q.QuantizeMasked(AAbort, LImage, N, false, O.ColorDiffMethod, P, F, &H, O.ColorMask);
        }
        // The pens as the files give them back (sRGB bytes), so that the
        // preview's mixtures are those a reader of the files computes.
        TKvPalette256 LPens;
        for (int i = 0; i < P.Count; ++i) LPens.AddStdRGB(P.GetStdRGB(i));
        P.Assign(&LPens);
        LResult = ConvertCPCFrames(AAbort, LImage, O, *LStreams, false, H, P, nullptr);
        break;
      }
      default:
        RaiseOSError(86);
    }
  }
  // The result palette shows the mixtures as a table of pen pairs.
  TKvPalette256 LMix;
  LMix.FillMixtures(&P, O.MaxFlickering, 0);
  const int n = P.Count;
  P.Clear();
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < 16; ++j) {
      if (i < n && j < n && j >= i) {
        const int k = P.AddStdRGB(LMix.GetStdRGB(i * n + j));
        P.GetPColor(k)->Skip = LMix.GetPColor(i * n + j)->Skip;
      } else {
        const int k = P.AddRGB(0, 0, 0);
        P.GetPColor(k)->Skip = true;
      }
    }
  AStreams = std::move(LStreams);
  return LResult;
}

}  // namespace

#define KV_CPC_OPTIONS(AEngine, ADefaults) \
  std::unique_ptr<TKvDestEngineOptions> AEngine::CreateOptions() { return CreateCPCOptions(ADefaults); }
KV_CPC_OPTIONS(TKvAmstradCPCMode0Engine, Mode0Defaults)
KV_CPC_OPTIONS(TKvAmstradCPCMode0ExEngine, Mode0ExDefaults)
KV_CPC_OPTIONS(TKvAmstradCPCMode1Engine, Mode1Defaults)
KV_CPC_OPTIONS(TKvAmstradCPCMode1ExEngine, Mode1ExDefaults)
KV_CPC_OPTIONS(TKvAmstradCPCMode2Engine, Mode2Defaults)
KV_CPC_OPTIONS(TKvAmstradCPCMode2ExEngine, Mode2ExDefaults)
KV_CPC_OPTIONS(TKvAmstradCPCMode2HGBEngine, HgbDefaults)
KV_CPC_OPTIONS(TKvAmstradCPCModeB0Engine, B0Defaults)
KV_CPC_OPTIONS(TKvAmstradCPCModeB1Engine, B1Defaults)
#undef KV_CPC_OPTIONS

#define KV_CPC_UI(AEngine, AMake) \
  std::unique_ptr<TKvDestEngineUI> AEngine::CreateUI(TKvDestEngineOptions* O) { return AMake; }
KV_CPC_UI(TKvAmstradCPCMode0Engine, std::make_unique<TKvAmstradCPCPaletteUI>(O, ModeSet0, false, 2, false))
KV_CPC_UI(TKvAmstradCPCMode0ExEngine, std::make_unique<TKvAmstradCPCPaletteUI>(O, ModeSet0, true, 2, false))
KV_CPC_UI(TKvAmstradCPCMode1Engine, std::make_unique<TKvAmstradCPCPaletteUI>(O, ModeSet1, false, 2, false))
KV_CPC_UI(TKvAmstradCPCMode1ExEngine, std::make_unique<TKvAmstradCPCPaletteUI>(O, ModeSet1, true, 2, false))
KV_CPC_UI(TKvAmstradCPCMode2Engine, std::make_unique<TKvAmstradCPCMonoUI>(O, false))
KV_CPC_UI(TKvAmstradCPCMode2ExEngine, std::make_unique<TKvAmstradCPCMonoUI>(O, false))
KV_CPC_UI(TKvAmstradCPCMode2HGBEngine, std::make_unique<TKvAmstradCPCMonoUI>(O, true))
KV_CPC_UI(TKvAmstradCPCModeB0Engine, std::make_unique<TKvAmstradCPCPaletteUI>(O, ModeSetB0, false, 16, true))
KV_CPC_UI(TKvAmstradCPCModeB1Engine, std::make_unique<TKvAmstradCPCPaletteUI>(O, ModeSetB1, false, 4, true))
#undef KV_CPC_UI

#define KV_CPC_CONVERT(AEngine, ADefaults, ABody)                                                                 \
  std::unique_ptr<TKvBitmap> AEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,  \
                                              TKvDestEngineOptions& AOptions, TKvDestProgress&,                  \
                                              std::unique_ptr<TKvStreamList>& AStreams) {                        \
    CheckCPCSize(ABitmap, ADefaults);                                                                            \
    return ABody;                                                                                                \
  }
KV_CPC_CONVERT(TKvAmstradCPCMode0Engine, Mode0Defaults, ConvertCPCPens(AAbort, ABitmap, AOptions, AStreams, 0, false))
KV_CPC_CONVERT(TKvAmstradCPCMode0ExEngine, Mode0ExDefaults, ConvertCPCPens(AAbort, ABitmap, AOptions, AStreams, 0, true))
KV_CPC_CONVERT(TKvAmstradCPCMode1Engine, Mode1Defaults, ConvertCPCPens(AAbort, ABitmap, AOptions, AStreams, 1, false))
KV_CPC_CONVERT(TKvAmstradCPCMode1ExEngine, Mode1ExDefaults, ConvertCPCPens(AAbort, ABitmap, AOptions, AStreams, 1, true))
KV_CPC_CONVERT(TKvAmstradCPCMode2Engine, Mode2Defaults, ConvertCPCMode2(AAbort, ABitmap, AOptions, AStreams, false))
KV_CPC_CONVERT(TKvAmstradCPCMode2ExEngine, Mode2ExDefaults, ConvertCPCMode2(AAbort, ABitmap, AOptions, AStreams, true))
KV_CPC_CONVERT(TKvAmstradCPCModeB0Engine, B0Defaults, ConvertCPCTwoFrames(AAbort, ABitmap, AOptions, AStreams, true))
KV_CPC_CONVERT(TKvAmstradCPCModeB1Engine, B1Defaults, ConvertCPCTwoFrames(AAbort, ABitmap, AOptions, AStreams, false))
#undef KV_CPC_CONVERT

std::unique_ptr<TKvBitmap> TKvAmstradCPCMode2HGBEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*,
                                                                TKvPalette256*, TKvDestEngineOptions& AOptions,
                                                                TKvDestProgress&,
                                                                std::unique_ptr<TKvStreamList>& AStreams) {
  CheckCPCSize(ABitmap, HgbDefaults);
  TKvPalette256& P = *AOptions.GetPalette();
  BuildCPCBlackWhitePalette(P, CPCKind(AOptions));
  TKvImage LImage(ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  uint8_t* LData;
  if (AOptions.WriteFileHeader) {
    auto s = std::make_unique<TKvAmstradCPCStream>("hgb", 0, CPCHgbBodySize, 0, 2);
    LData = s->Body();
    LStreams->Add(std::move(s));
  } else {
    LData = LStreams->NewStream("hgb", CPCHgbBodySize)->GetMemory();
  }
  TKvAmstradCPCMode2HGBScreen S(ABitmap.GetWidth(), ABitmap.GetHeight(), LData);
  auto LResult = LImage.ConvertBW(AAbort, AOptions, &S, nullptr, 0, 1);
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformAmstradCPC() {
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode0Engine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode0ExEngine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode1Engine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode1ExEngine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode2Engine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode2ExEngine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCMode2HGBEngine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCModeB0Engine>());
  RegisterDestEngine(DestEngineClass<TKvAmstradCPCModeB1Engine>());
}
