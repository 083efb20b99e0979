#include "platforms/KvSavePlatformAgat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "bitmap/B32.h"
#include "core/KvFlicker.h"
#include "core/KvKMeans.h"
#include "core/KvPaletteRGB.h"
#include "platforms/KvPlatformAgat.h"
#include "shell/noxShellBaseExtension.h"

const TKvAgatMode AgatModes[13] = {
    {64, 64, 2048, AgatMode64x64x4, TKvAgatFamily::Agat7, false, false},
    {64, 64, 2048, AgatMode64x64x4, TKvAgatFamily::Agat7, true, false},
    {128, 128, 8192, AgatMode128x128x4, TKvAgatFamily::Agat7, false, false},
    {128, 128, 8192, AgatMode128x128x4, TKvAgatFamily::Agat7, true, false},
    {128, 128, 8960, AgatMode128x128x4, TKvAgatFamily::HAM, false, false},
    {128, 256, 16384, AgatMode128x256x4, TKvAgatFamily::Agat7, false, true},
    {128, 256, 16384, AgatMode128x256x4, TKvAgatFamily::Agat7, true, true},
    {256, 256, 8192, AgatMode256x256x1, TKvAgatFamily::Mono, false, false},
    {256, 256, 8192, AgatMode256x256x1, TKvAgatFamily::Mono, true, false},
    {256, 256, 16384, AgatMode256x256x2, TKvAgatFamily::Agat9, false, true},
    {256, 256, 16384, AgatMode256x256x2, TKvAgatFamily::Agat9, true, true},
    {512, 256, 16384, AgatMode512x256x1, TKvAgatFamily::Mono, false, true},
    {512, 256, 16384, AgatMode512x256x1, TKvAgatFamily::Mono, true, true},
};

uint8_t AgatKindByte(const TKvAgatMode& AMode, uint8_t APaletteType) {
  switch (AMode.Family) {
    case TKvAgatFamily::HAM:
      return AgatKindHAM;
    case TKvAgatFamily::Mono:
      return AgatKindColor;
    case TKvAgatFamily::Agat7:
      if (APaletteType == ptColored4096) return AgatKind4096;
      if (APaletteType == ptGray8 || APaletteType == ptGray16) return AgatKindGray;
      return AgatKindColor;
    case TKvAgatFamily::Agat9:
      switch (APaletteType) {
        case ptColoredWRGB:
          return AgatKindWRGB;
        case ptColored4096:
          return AgatKind4096;
        case ptGrayBRGB:
          return AgatKindGray;
        case ptGrayWRGB:
          return AgatKindGrayWRGB;
        default:
          return AgatKindColor;
      }
  }
  return AgatKindColor;
}

// ---------------------------------------------------------------------------
// The file

void TKvFilStream::InitFile(int ALength, uint8_t AMode, uint8_t AKind, const std::string& AComment) {
  SetSize(ALength + AgatFilExtraSize);
  std::memset(GetMemory(), 0, static_cast<size_t>(ALength + AgatFilExtraSize));
  InitAgatFilHeader(GetHeader(), static_cast<uint16_t>(ALength));
  InitAgatFilTrailer(GetTrailer(), AMode, AKind, AComment);
}

uint8_t* TKvFilStream::GetData() { return GetMemory() + AgatFilHeaderSize; }

uint8_t* TKvFilStream::GetTrailer() { return GetMemory() + GetSize() - AgatFilTrailerSize; }

int TKvFilStream::GetDataLength() { return static_cast<int>(GetSize()) - AgatFilExtraSize; }

void TKvFilStream::StoreFileName(const std::string& AFileName) {
  if (GetSize() < AgatFilExtraSize) return;
  std::string LName = AFileName;
  const size_t LDot = LName.rfind('.');
  if (LDot != std::string::npos) LName.erase(LDot);
  const std::u32string s = AgatUtf8ToChars(LName);
  uint8_t* h = GetHeader();
  std::memset(h, 0xA0, AgatFilNameLength);
  for (size_t i = 0; i < s.size() && i < static_cast<size_t>(AgatFilNameLength); ++i) h[i] = EncodeAgatChar(s[i]);
}

// ---------------------------------------------------------------------------
// Screens

void TKvAgat7_128x128HAMScreen::SetPixel(int X, int Y, int AValue) {
  TKvScreen4::SetPixel(X, Y, (Y & 4) ? AValue + 8 : AValue);
}

void TKvAgat7_128x128HAMScreen::StoreBandPalette(int ABand, const TKvPaletteRGB& ARGB, const TKvPalette256& APalette) {
  if (APalette.Count > 8) RaiseInternalError();
  uint8_t* p = Data + Height * Stride + 24 * ABand;
  for (int k = 0; k < APalette.Count; ++k) ARGB.GetLevelIndexes(APalette.GetStdRGB(k), p[3 * k], p[3 * k + 1], p[3 * k + 2]);
}

std::unique_ptr<TKvBitmap> TKvAgat7_128x128HAMImage::ConvertHAM(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                 TKvAgat7_128x128HAMScreen* AScreen) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  FErrorTotal = 0;
  const double LStrength = AOptions.ErrorDiffusion / 100.0;
  UsedColors = std::make_unique<TKvPalette256>();
  auto LResult = std::make_unique<TKvBitmap24>(FWidth, FHeight);
  auto LRGB = TKvPaletteRGB::CreateType(ptRGB444, false);
  TKvPalette256 LBand;
  TKvImage LBandImage(FWidth, 4);
  TKvQuantization LQuant;
  FMirror = false;
  const int E = AOptions.HAMPrevLines;
  for (int b = 0; b < FHeight / 4; ++b) {
    if (Aborted(AAbort)) Abort();
    int LFirst = 4 * b - E;
    int LCount = 2 * E + 4;
    if (LFirst < 0) {
      LCount += LFirst;
      LFirst = 0;
    }
    if (LFirst + LCount > FHeight) LCount = FHeight - LFirst;
    // The rows as they stand now: the error of the bands above included.
    LBandImage.SetHeight(LCount);
    LBandImage.CopyRows(*this, LFirst);
    LQuant.Quantize(AAbort, LBandImage, 8, false, 0, LBand, nullptr, LRGB.get());
    if (AScreen) AScreen->StoreBandPalette(b, *LRGB, LBand);
    for (int y = 4 * b; y < 4 * b + 4; ++y) {
      LResult->MirrorX = FMirror;
      if (AScreen) AScreen->MirrorX = FMirror;
      for (int x = 0; x < FWidth; ++x) {
        if (Aborted(AAbort)) Abort();
        PKvPixel p = GetPixels(x, y);
        const int k = LBand.FindNearestByMetric(AOptions.ColorDiffMethod, *p);
        LResult->SetPixel(x, y, static_cast<int>(LBand.GetRGBQuad(k)));
        if (UsedColors) {
          try {
            UsedColors->AddUniqueStdRGB(LBand.GetStdRGB(k));
          } catch (ETooManyColors&) {
            UsedColors.reset();
          }
        }
        if (AScreen) AScreen->SetPixel(x, y, k);
        const TKvLinRGBColor LOld = p->GetLinRGB();
        const TKvLinRGBColor c = LBand.GetLinRGB(k);
        AddError(LOld, c);
        p->SetLinRGB(c);
        DiffuseError(x, y, AOptions.DitherMethod,
                     TKvLinRGBColor{(LOld.R - c.R) * LStrength, (LOld.G - c.G) * LStrength,
                                    (LOld.B - c.B) * LStrength});
      }
      if (AOptions.Serpentine) FMirror = !FMirror;
    }
  }
  if (UsedColors) UsedColors->SortByGray(0);
  FMirror = false;
  LResult->MirrorX = false;
  if (AScreen) AScreen->MirrorX = false;
  return LResult;
}

// ---------------------------------------------------------------------------
// Options

TKvAgat7Engine64x64Options::TKvAgat7Engine64x64Options() {
  SetPaletteType(ptColored16);
  SetPaletteMode(11);
  SetPixelAspect(13);  // "1:0.75"
  ModeColorCount = 16;
}

TKvAgat7Engine64x64ExOptions::TKvAgat7Engine64x64ExOptions() {
  Gigascreen = true;
  SetPaletteType(ptColored16);
}

TKvAgat7Engine128x256Options::TKvAgat7Engine128x256Options() { SetPixelAspect(19); }  // "8:3"

TKvAgat7Engine128x256ExOptions::TKvAgat7Engine128x256ExOptions() { SetPixelAspect(19); }

TKvAgat7Engine256x256Options::TKvAgat7Engine256x256Options() { SetPaletteMode(0); }

TKvAgat9Engine256x256Options::TKvAgat9Engine256x256Options() {
  SetPaletteType(ptColoredBRGB);
  SetPaletteMode(10);
  SetErrorDiffusion(80);
  ModeColorCount = 4;
}

TKvAgat9Engine256x256ExOptions::TKvAgat9Engine256x256ExOptions() { Gigascreen = true; }

TKvAgat9Engine512x256Options::TKvAgat9Engine512x256Options() {
  SetPaletteType(ptColored16);
  SetPixelAspect(7);  // "2:3"
  SetErrorDiffusion(90);
}

void TKvAgat7Engine64x64Options::UpdatePalette() {
  if (UpdateCount > 0) return;
  const auto LType = static_cast<TKvPaletteType>(PaletteType);
  HardwarePalette.reset();
  if (LType == ptColored4096) HardwarePalette = TKvPaletteRGB::CreateType(ptRGB444, false);
  TKvPalette256& R = *GetPalette();
  R.Clear();
  if (IsAgatPaletteType(LType)) {
    switch (PaletteMode) {
      case 0:
        BuildAgatBlackWhitePalette(R, LType);
        break;
      case 1:
        BuildAgatGrayPalette(R, LType);
        break;
      case 10:
      case 11:
      case 17:
        BuildAgatPalette(R, LType);
        break;
      default:
        RaiseOSError(87);
    }
  } else if (LType == ptColored4096) {
    const TKvPalette& H = *HardwarePalette;
    switch (PaletteMode) {
      case 0:
        R.AddUniqueStdRGB(H.GetStdRGB(0));
        R.AddUniqueStdRGB(H.GetStdRGB(H.GetCount() - 1));
        break;
      case 1:
        if (ModeColorCount == 4) {
          R.AddUniqueStdRGB(H.GetStdRGB(0));
          for (double g : {1.0 / 3, 2.0 / 3}) R.AddUniqueStdRGB(H.GetStdRGB(H.FindNearest(TKvLinRGBColor{g, g, g})));
          R.AddUniqueStdRGB(H.GetStdRGB(H.GetCount() - 1));
        } else {
          for (int k = 0; k < 16; ++k) R.AddUniqueStdRGB(H.GetStdRGB(k * 273));
        }
        break;
      case 10:
      case 11:
      case 17:
        break;
      default:
        RaiseOSError(86);
    }
  } else {
    RaiseOSError(86);
  }
  if (Gigascreen && R.Count > 0) {
    TKvPalette256 LBase;
    LBase.Assign(&R);
    R.FillMixtures(&LBase, MaxFlickering, ModeColorCount);
  }
}

// ---------------------------------------------------------------------------
// Panels

namespace {
void AddAgatCommentSection(TKvDestEngineUIEx& APanel) {
  APanel.AddCommentSeparator();
  APanel.AddCommentEdit();
}

// The colour panels: position, the palette section, the flicker limit of
// the two-frame modes, dithering and the comment.
template <class TAddPalette>
void BuildAgatColourPanel(TKvDestEngineUIEx& APanel, bool AGigascreen, TAddPalette AAddPalette) {
  APanel.AddPositionSection(0);
  AAddPalette();
  if (AGigascreen) APanel.AddMaxFlickeringSection();
  APanel.AddDitheringSection(false);
  AddAgatCommentSection(APanel);
}

// The palette kinds in list order, the mode set and the result strip.
void AddAgatPaletteSection(TKvDestEngineUIEx& APanel, std::initializer_list<int> ATypes, uint32_t AModes,
                           int AColumns, int ARows) {
  APanel.AddPaletteSeparator();
  const int LKinds = APanel.AddCustomPaletteComboBox();
  for (int t : ATypes) APanel.AddSectionItem(LKinds, t);
  APanel.AddPaletteModeSection(AModes);
  APanel.AddDestPalette(AColumns, ARows, true);
  APanel.AddFixedPaletteSection(16, 1);
}
}  // namespace

TKvAgat7EngineUI::TKvAgat7EngineUI(TKvDestEngineOptions* AOptions, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions), Gigascreen(AGigascreen) {
  BuildAgatColourPanel(*this, Gigascreen, [this] { AddPaletteSection(); });
}

void TKvAgat7EngineUI::AddPaletteSection() {
  if (Gigascreen)
    AddAgatPaletteSection(*this, {ptGray8, ptGray16, ptColored8, ptColored16, ptColored4096}, 0x802, 16, 16);
  else
    AddAgatPaletteSection(*this, {ptGray8, ptGray16, ptColored8, ptColored15, ptColored16, ptColored4096}, 0x803,
                          16, 1);
}

TKvAgat9Engine256x256UI::TKvAgat9Engine256x256UI(TKvDestEngineOptions* AOptions, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions), Gigascreen(AGigascreen) {
  BuildAgatColourPanel(*this, Gigascreen, [this] { AddPaletteSection(); });
}

void TKvAgat9Engine256x256UI::AddPaletteSection() {
  AddAgatPaletteSection(*this, {ptGrayBRGB, ptGrayWRGB, ptColoredBRGB, ptColoredWRGB, ptColored4096},
                        Gigascreen ? 0xC02 : 0xC03, 4, Gigascreen ? 4 : 1);
}

TKvAgat7Engine256x256UI::TKvAgat7Engine256x256UI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddDitheringSection(false);
  AddAgatCommentSection(*this);
}

TKvAgat7_128x128HAMEngineUI::TKvAgat7_128x128HAMEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection(0);
  AddPaletteSeparator();
  AddDestPalette(16, 16, true);
  AddHamSection(false, true, false, false);
  AddDitheringSection(false);
  AddAgatCommentSection(*this);
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

// The screens hold exactly the mode's picture.
void CheckAgatSize(const TKvAgatMode& AMode, TBitmap32& ABitmap) {
  if (ABitmap.GetWidth() != AMode.Width || ABitmap.GetHeight() != AMode.Height) RaiseOSError(87);
}

void AdjustAgatImage(TKvImage& AImage, TKvDestEngineOptions& AOptions) {
  AImage.Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  AOptions.SetLightnessFix(0);
  AOptions.SetSaturationFix(0);
}

// The base colours of a mode: 16 for Agat-7, 4 for Agat-9.
int AgatBaseCount(const TKvAgatMode& AMode) { return AMode.Family == TKvAgatFamily::Agat9 ? 4 : 16; }

// The kinds with a table that a family converts with.
bool IsAgatTypeOf(const TKvAgatMode& AMode, TKvPaletteType AType) {
  if (AMode.Family == TKvAgatFamily::Agat9)
    return AType == ptColoredBRGB || AType == ptColoredWRGB || AType == ptGrayBRGB || AType == ptGrayWRGB;
  return AType == ptColored15 || AType == ptColored8 || AType == ptColored16 || AType == ptGray8 ||
         AType == ptGray16;
}

bool IsAgatGrayType(TKvPaletteType AType) {
  return AType == ptGray8 || AType == ptGray16 || AType == ptGrayBRGB || AType == ptGrayWRGB;
}

std::unique_ptr<TKvBitmapData> MakeFrameScreen(const TKvAgatMode& M, uint8_t* AData) {
  switch (M.Family) {
    case TKvAgatFamily::Agat7:
      if (M.Interlaced) return std::make_unique<TKvAgat7Engine128x256Screen>(M.Width, M.Height, AData);
      return std::make_unique<TKvScreen4>(M.Width, M.Height, AData);
    case TKvAgatFamily::HAM:
      return std::make_unique<TKvAgat7_128x128HAMScreen>(M.Width, M.Height, AData);
    case TKvAgatFamily::Agat9:
      return std::make_unique<TKvAgat9Engine256x256Screen>(M.Width, M.Height, AData);
    case TKvAgatFamily::Mono:
      if (M.Interlaced) return std::make_unique<TKvAgat9Engine512x256Screen>(M.Width, M.Height, AData);
      return std::make_unique<TKvScreen1>(M.Width, M.Height, AData);
  }
  RaiseInternalError();
}

std::unique_ptr<TKvBitmapData> MakeGigaScreen(const TKvAgatMode& M, uint8_t* AData) {
  switch (M.Family) {
    case TKvAgatFamily::Agat7:
      if (M.Interlaced) return std::make_unique<TKvAgat7Engine128x256ExScreen>(M.Width, M.Height, AData);
      return std::make_unique<TKvAgat7Engine64x64ExScreen>(M.Width, M.Height, AData);
    case TKvAgatFamily::Agat9:
      return std::make_unique<TKvAgat9Engine256x256ExScreen>(M.Width, M.Height, AData);
    case TKvAgatFamily::Mono:
      if (M.Interlaced) return std::make_unique<TKvAgat9Engine512x256ExScreen>(M.Width, M.Height, AData);
      return std::make_unique<TKvAgat7Engine256x256ExScreen>(M.Width, M.Height, AData);
    default:
      RaiseInternalError();
  }
}

// The one ".fil" file of a one-frame mode, in the list, with its screen.
TKvFilStream& AddAgatFile(const TKvAgatMode& AMode, TKvStreamList& AList, std::unique_ptr<TKvBitmapData>& AScreen,
                          TKvDestEngineOptions& AOptions) {
  auto LFil = std::make_unique<TKvFilStream>("fil");
  TKvFilStream& F = *LFil;
  AList.Add(std::move(LFil));
  TKvAgatEngine::InitFrameStream(AMode, F, AScreen, AOptions);
  return F;
}

// The three files of a two-frame mode: the combined one (in the list) and
// its two frame files.
struct TKvAgatGigaFiles {
  TKvFilStream* Main = nullptr;
  TKvFilStream* Frames[2] = {nullptr, nullptr};
  std::unique_ptr<TKvBitmapData> Screen;

  TKvAgatGigaFiles(const TKvAgatMode& M, TKvStreamList& AList, TKvDestEngineOptions& O) {
    auto LMain = std::make_unique<TKvFilStream>("fil");
    TKvAgatEngine::InitGigaStream(M, *LMain, Screen, O);
    for (int i = 0; i < 2; ++i) {
      auto LFrame = std::make_unique<TKvFilStream>(i == 0 ? "0.fil" : "1.fil");
      std::unique_ptr<TKvBitmapData> LNone;
      TKvAgatEngine::InitFrameStream(M, *LFrame, LNone, O);
      Frames[i] = LFrame.get();
      LMain->AddSubStream(std::move(LFrame));
    }
    Main = LMain.get();
    AList.Add(std::move(LMain));
  }

  // The halves of the combined data into the frame files, and one palette
  // into all three trailers.
  void Finish(const TKvPalette256& APalette) {
    const int L = Frames[0]->GetDataLength();
    for (int i = 0; i < 2; ++i) std::memcpy(Frames[i]->GetData(), Main->GetData() + i * L, static_cast<size_t>(L));
    WriteAgatFilPalette(Main->GetTrailer(), APalette);
    for (TKvFilStream* f : Frames) WriteAgatFilPalette(f->GetTrailer(), APalette);
  }
};

// Dark, bright and their half-tone in flicker. Where the flicker limit
// excludes the pair, the half-tone is no colour the screen may show: each
// pixel takes the nearer of the two allowed colours, on the same gray scale
// from dark to bright, and shows it in both frames.
std::unique_ptr<TKvBitmap> ConvertAgatFlicker2(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& O,
                                               TKvData* AScreen, TKvPalette256& AMix, int ADark, int ABright) {
  const int n = static_cast<int>(Round(std::sqrt(static_cast<double>(AMix.Count))));
  if (n * n != AMix.Count || ADark < 0 || ADark >= n || ABright < 0 || ABright >= n) RaiseInternalError();
  // The mixtures mark a pair with j < i as well, so read the ordered one.
  if (!AMix.Colors[std::min(ADark, ABright) * n + std::max(ADark, ABright)].Skip)
    return ConvertFlicker2(AImage, AAbort, O, AScreen, AMix, ADark, ABright);
  auto result = AImage.ConvertBW(AAbort, O, AScreen, &AMix, ADark * n + ADark, ABright * n + ABright);
  TKvPalette256 base;
  for (int i = 0; i < n; ++i) base.AddStdRGB(AMix.GetStdRGB(i * n + i));
  TKvBitmap* f0 = result->AddFrame(&base);
  TKvBitmap* f1 = result->AddFrame(&base);
  for (int y = 0; y < result->Height; ++y)
    for (int x = 0; x < result->Width; ++x) {
      const int v = result->GetPixel(x, y);
      f0->SetPixel(x, y, v / n);
      f1->SetPixel(x, y, v % n);
    }
  return result;
}

}  // namespace

void TKvAgatEngine::InitFrameStream(const TKvAgatMode& AMode, TKvFilStream& AStream,
                                    std::unique_ptr<TKvBitmapData>& AScreen, TKvDestEngineOptions& AOptions) {
  AStream.InitFile(AMode.FrameLength, AMode.FrameMode, AgatKindByte(AMode, AOptions.PaletteType), AOptions.Comment);
  if (AMode.Gigascreen)
    AScreen.reset();
  else
    AScreen = MakeFrameScreen(AMode, AStream.GetData());
}

void TKvAgatEngine::InitGigaStream(const TKvAgatMode& AMode, TKvFilStream& AStream,
                                   std::unique_ptr<TKvBitmapData>& AScreen, TKvDestEngineOptions& AOptions) {
  AStream.InitFile(2 * AMode.FrameLength, static_cast<uint8_t>(AMode.FrameMode + AgatGigaModeOffset),
                   AgatKindByte(AMode, AOptions.PaletteType), AOptions.Comment);
  AScreen = MakeGigaScreen(AMode, AStream.GetData());
}

std::unique_ptr<TKvBitmap> TKvAgatEngine::ConvertMono(const TKvAgatMode& AMode, bool* AAbort, TBitmap32& ABitmap,
                                                      TKvDestEngineOptions& AOptions,
                                                      std::unique_ptr<TKvStreamList>& AStreams) {
  CheckAgatSize(AMode, ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmapData> S;
  TKvFilStream& F = AddAgatFile(AMode, *LStreams, S, AOptions);
  TKvImage LImage(ABitmap);
  auto LResult = LImage.ConvertBW(AAbort, AOptions, S.get(), nullptr, 0, 1);
  TKvPalette256 LBW;
  LBW.FillBlackWhite();
  WriteAgatFilPalette(F.GetTrailer(), LBW);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvAgatEngine::ConvertMonoGiga(const TKvAgatMode& AMode, bool* AAbort, TBitmap32& ABitmap,
                                                          TKvDestEngineOptions& AOptions,
                                                          std::unique_ptr<TKvStreamList>& AStreams) {
  CheckAgatSize(AMode, ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvAgatGigaFiles LFiles(AMode, *LStreams, AOptions);
  TKvImage LImage(ABitmap);
  auto LResult = ConvertBWFlicker(LImage, AAbort, AOptions, LFiles.Screen.get());
  TKvPalette256 LBW;
  LBW.FillBlackWhite();
  LFiles.Finish(LBW);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvAgatEngine::ConvertColor(const TKvAgatMode& AMode, bool* AAbort, TBitmap32& ABitmap,
                                                       TKvDestEngineOptions& O,
                                                       std::unique_ptr<TKvStreamList>& AStreams) {
  CheckAgatSize(AMode, ABitmap);
  const int N = AgatBaseCount(AMode);
  const auto LType = static_cast<TKvPaletteType>(O.PaletteType);
  O.UpdatePalette();
  auto LStreams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmapData> S;
  TKvFilStream& F = AddAgatFile(AMode, *LStreams, S, O);
  TKvImage LImage(ABitmap);
  AdjustAgatImage(LImage, O);
  TKvPalette256& R = *O.GetPalette();
  TKvPalette256& LFixed = *O.GetFixedPalette();
  // The file keeps 4 bits per channel: fixed colours off that grid convert
  // as the colours the machine will show for them.
  if (LType == ptColored4096) SnapToAgatFilLevels(LFixed);
  TKvPalette256 LTrailer;
  std::unique_ptr<TKvBitmap> LResult;
  if (IsAgatTypeOf(AMode, LType)) {
    // "15 colors" leaves colour 8 out of the pixels, not out of the file.
    TKvPalette256 P;
    BuildAgatPalette(P, LType == ptColored15 ? ptColored16 : LType);
    if (IsAgatGrayType(LType) || O.PaletteMode == 1) O.SetUseAsGrayPalette(true);
    if (O.PaletteMode == 0) {
      int LDark = 0, LBright = 0;
      double LRange = 0;
      P.GetGrayRange(LDark, LBright, LRange);
      LResult = LImage.ConvertBW(AAbort, O, S.get(), &P, LDark, LBright);
    } else {
      if (R.Count == 0) RaiseOSError(87);
      LResult = LImage.ConvertIndexed(AAbort, O, S.get(), R, &P);
    }
    LTrailer.Assign(&P);
  } else if (LType == ptColored4096) {
    auto LRGB = TKvPaletteRGB::CreateType(ptRGB444, O.PaletteMode == 1);
    switch (O.PaletteMode) {
      case 0: {
        int A = 0, B = 0;
        LFixed.AddColorPair(&R, N, A, B);
        LResult = LImage.ConvertBW(AAbort, O, S.get(), &LFixed, A, B);
        R.Assign(&LFixed);
        break;
      }
      case 1: {
        int LDark = 0, LBright = 0;
        if (ReducePalette(AAbort, LImage, *LRGB->GrayPalette, N, O, LDark, LBright))
          LResult = LImage.ConvertIndexed(AAbort, O, S.get(), R, &LFixed);
        else
          // Two levels: the screen takes the fixed palette's own entries,
          // which the trailer lists.
          LResult = LImage.ConvertBW(AAbort, O, S.get(), &LFixed, LDark, LBright);
        R.Assign(&LFixed);
        break;
      }
      case 10:
      case 11: {
        if (O.PaletteMode == 10 && N != 4) RaiseOSError(87);
        TKvPalette256 Q;
        if (O.PaletteMode == 10) Q.FillNearestGBR16(LRGB.get());
        QuantizePalette(AAbort, LImage, O.PaletteMode == 10 ? static_cast<TKvPalette&>(Q) : *LRGB, N, O);
        LImage.FitToPaletteGray(R);
        LResult = LImage.ConvertIndexed(AAbort, O, S.get(), R, nullptr);
        break;
      }
      default:
        RaiseOSError(87);
    }
    LTrailer.Assign(&R);
  } else {
    RaiseOSError(87);
  }
  WriteAgatFilPalette(F.GetTrailer(), LTrailer);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvAgatEngine::ConvertColorGiga(const TKvAgatMode& AMode, bool* AAbort,
                                                           TBitmap32& ABitmap, TKvDestEngineOptions& O,
                                                           std::unique_ptr<TKvStreamList>& AStreams) {
  CheckAgatSize(AMode, ABitmap);
  const int N = AgatBaseCount(AMode);
  const auto LType = static_cast<TKvPaletteType>(O.PaletteType);
  O.UpdatePalette();
  auto LStreams = std::make_unique<TKvStreamList>();
  TKvAgatGigaFiles LFiles(AMode, *LStreams, O);
  TKvData* S = LFiles.Screen.get();
  TKvImage LImage(ABitmap);
  AdjustAgatImage(LImage, O);
  TKvPalette256& R = *O.GetPalette();
  TKvPalette256& LFixed = *O.GetFixedPalette();
  // The file keeps 4 bits per channel: fixed colours off that grid convert
  // as the colours the machine will show for them.
  if (LType == ptColored4096) SnapToAgatFilLevels(LFixed);
  TKvPalette256 LTrailer;
  std::unique_ptr<TKvBitmap> LResult;
  if (IsAgatTypeOf(AMode, LType)) {
    TKvPalette256 P;
    BuildAgatPalette(P, LType);
    if (AMode.Family == TKvAgatFamily::Agat7) {
      // The frames and the file hold N base colours: a shorter palette is
      // repeated ("8 colors" twice).
      const int LCount = P.Count;
      for (int i = 0; P.Count < N; ++i) P.AddColor(P.Colors[i % LCount]);
      if (IsAgatGrayType(LType) || O.PaletteMode == 1) O.SetUseAsGrayPalette(true);
      if (R.Count != N * N) RaiseOSError(87);
      LResult = ConvertFlicker(LImage, AAbort, O, S, R, &P);
    } else {
      R.FillMixtures(&P, O.MaxFlickering, N);
      if ((LType == ptColoredBRGB || LType == ptColoredWRGB) && O.PaletteMode == 1) {
        O.SetUseAsGrayPalette(true);
        int LDark = 0, LBright = 0;
        double LRange = 0;
        P.GetGrayRange(LDark, LBright, LRange);
        LResult = ConvertAgatFlicker2(LImage, AAbort, O, S, R, LDark, LBright);
      } else {
        if (IsAgatGrayType(LType) || O.PaletteMode == 1) O.SetUseAsGrayPalette(true);
        LResult = ConvertFlicker(LImage, AAbort, O, S, R, &P);
      }
    }
    LTrailer.Assign(&P);
  } else if (LType == ptColored4096 && O.PaletteMode == 1) {
    O.SetUseAsGrayPalette(true);
    auto LRGB = TKvPaletteRGB::CreateType(ptRGB444, true);
    TKvPalette256 G;
    G.Assign(LRGB->GrayPalette.get());
    int LDark = 0, LBright = 0;
    const bool LOK = LFixed.MergeColors(&G, N, LDark, LBright);
    // The mixtures come from the merged fixed palette over N, so that the
    // screen's split finds both frame colours in it.
    R.FillMixtures(&LFixed, O.MaxFlickering, N);
    if (AMode.Family == TKvAgatFamily::Agat7 || LOK) {
      LImage.FitToPaletteGray(R);
      LResult = ConvertFlicker(LImage, AAbort, O, S, R, nullptr);
    } else {
      LResult = ConvertAgatFlicker2(LImage, AAbort, O, S, R, LDark, LBright);
    }
    LTrailer.Assign(&LFixed);
  } else if (LType == ptColored4096 && (O.PaletteMode == 11 || (O.PaletteMode == 10 && N == 4))) {
    auto LRGB = TKvPaletteRGB::CreateType(ptRGB444, false);
    TKvPalette256 LBright16;
    if (O.PaletteMode == 10) LBright16.FillNearestGBR16(LRGB.get());
    TKvPalette256 T;
    TKvQuantization LQuant;
    LQuant.QuantizeBounded(AAbort, LImage, N, O.MaxFlickering, false, O.ColorDiffMethod, T, &LFixed,
                           O.PaletteMode == 10 ? static_cast<TKvPalette*>(&LBright16) : LRGB.get());
    // Mixture indexes over N whatever T's count, as the screen splits them.
    R.FillMixtures(&T, O.MaxFlickering, N);
    LImage.FitToPaletteGray(R);
    LResult = ConvertFlicker(LImage, AAbort, O, S, R, nullptr);
    LFixed.Assign(&T);
    LTrailer.Assign(&T);
  } else {
    RaiseOSError(87);
  }
  LFiles.Finish(LTrailer);
  AStreams = std::move(LStreams);
  return LResult;
}

std::unique_ptr<TKvBitmap> TKvAgatEngine::ConvertHAM(const TKvAgatMode& AMode, bool* AAbort, TBitmap32& ABitmap,
                                                     TKvDestEngineOptions& AOptions,
                                                     std::unique_ptr<TKvStreamList>& AStreams) {
  CheckAgatSize(AMode, ABitmap);
  auto LStreams = std::make_unique<TKvStreamList>();
  std::unique_ptr<TKvBitmapData> S;
  AddAgatFile(AMode, *LStreams, S, AOptions);
  TKvAgat7_128x128HAMImage LImage(ABitmap);
  auto LResult = LImage.ConvertHAM(AAbort, AOptions, static_cast<TKvAgat7_128x128HAMScreen*>(S.get()));
  if (LImage.UsedColors) AOptions.GetPalette()->Assign(LImage.UsedColors.get());
  AStreams = std::move(LStreams);
  return LResult;
}

// ---------------------------------------------------------------------------
// Engines

#define KV_AGAT_CLASSES(NAME, OPTIONS, UI)                                                   \
  std::unique_ptr<TKvDestEngineUI> NAME::CreateUI(TKvDestEngineOptions* AOptions) {         \
    return std::make_unique<UI>(AOptions);                                                   \
  }                                                                                          \
  std::unique_ptr<TKvDestEngineOptions> NAME::CreateOptions() {                              \
    return TKvDestEngineOptions::Create<OPTIONS>();                                          \
  }

KV_AGAT_CLASSES(TKvAgat7Engine64x64, TKvAgat7Engine64x64Options, TKvAgat7EngineUI)
KV_AGAT_CLASSES(TKvAgat7Engine64x64Ex, TKvAgat7Engine64x64ExOptions, TKvAgat7EngineExUI)
KV_AGAT_CLASSES(TKvAgat7Engine128x128, TKvAgat7Engine128x128Options, TKvAgat7EngineUI)
KV_AGAT_CLASSES(TKvAgat7Engine128x128Ex, TKvAgat7Engine128x128ExOptions, TKvAgat7EngineExUI)
KV_AGAT_CLASSES(TKvAgat7Engine128x128HAM, TKvAgat7_128x128HAMOptions, TKvAgat7_128x128HAMEngineUI)
KV_AGAT_CLASSES(TKvAgat7Engine128x256, TKvAgat7Engine128x256Options, TKvAgat7EngineUI)
KV_AGAT_CLASSES(TKvAgat7Engine128x256Ex, TKvAgat7Engine128x256ExOptions, TKvAgat7EngineExUI)
KV_AGAT_CLASSES(TKvAgat7Engine256x256, TKvAgat7Engine256x256Options, TKvAgat7Engine256x256UI)
KV_AGAT_CLASSES(TKvAgat7Engine256x256Ex, TKvAgat7Engine256x256Options, TKvAgat7Engine256x256UI)
KV_AGAT_CLASSES(TKvAgat9Engine256x256, TKvAgat9Engine256x256Options, TKvAgat9Engine256x256UI)
KV_AGAT_CLASSES(TKvAgat9Engine256x256Ex, TKvAgat9Engine256x256ExOptions, TKvAgat9Engine256x256ExUI)
KV_AGAT_CLASSES(TKvAgat9Engine512x256, TKvAgat9Engine512x256Options, TKvAgat9Engine512x256UI)
KV_AGAT_CLASSES(TKvAgat9Engine512x256Ex, TKvAgat9Engine512x256Options, TKvAgat9Engine512x256UI)

#undef KV_AGAT_CLASSES

void InitKvSavePlatformAgat() {
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine64x64>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine64x64Ex>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine128x128>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine128x128Ex>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine128x128HAM>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine128x256>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine128x256Ex>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine256x256>());
  RegisterDestEngine(DestEngineClass<TKvAgat7Engine256x256Ex>());
  RegisterDestEngine(DestEngineClass<TKvAgat9Engine256x256>());
  RegisterDestEngine(DestEngineClass<TKvAgat9Engine256x256Ex>());
  RegisterDestEngine(DestEngineClass<TKvAgat9Engine512x256>());
  RegisterDestEngine(DestEngineClass<TKvAgat9Engine512x256Ex>());
}
