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
    {.Name = "64x64x4",
     .Zoom = 2,
     .Width = 64,
     .Height = 64,
     .FrameLength = 2048,
     .FrameMode = AgatMode64x64x4,
     .Family = TKvAgatFamily::Agat7},
    {.Name = "64x64x8 Gigascreen",
     .Zoom = 2,
     .Width = 64,
     .Height = 64,
     .FrameLength = 2048,
     .FrameMode = AgatMode64x64x4,
     .Family = TKvAgatFamily::Agat7,
     .Gigascreen = true},
    {.Name = "128x128x4",
     .Width = 128,
     .Height = 128,
     .FrameLength = 8192,
     .FrameMode = AgatMode128x128x4,
     .Family = TKvAgatFamily::Agat7},
    {.Name = "128x128x8 Gigascreen",
     .Width = 128,
     .Height = 128,
     .FrameLength = 8192,
     .FrameMode = AgatMode128x128x4,
     .Family = TKvAgatFamily::Agat7,
     .Gigascreen = true},
    {.Name = "128x128x4 HAM",
     .Width = 128,
     .Height = 128,
     .FrameLength = 8960,
     .FrameMode = AgatMode128x128x4,
     .Family = TKvAgatFamily::HAM},
    {.Name = "128x256x4",
     .Width = 128,
     .Height = 256,
     .FrameLength = 16384,
     .FrameMode = AgatMode128x256x4,
     .Family = TKvAgatFamily::Agat7,
     .Interlaced = true},
    {.Name = "128x256x8 Gigascreen",
     .Width = 128,
     .Height = 256,
     .FrameLength = 16384,
     .FrameMode = AgatMode128x256x4,
     .Family = TKvAgatFamily::Agat7,
     .Gigascreen = true,
     .Interlaced = true},
    {.Name = "256x256x1",
     .Width = 256,
     .Height = 256,
     .FrameLength = 8192,
     .FrameMode = AgatMode256x256x1,
     .Family = TKvAgatFamily::Mono},
    {.Name = "256x256x2 Gigascreen",
     .Width = 256,
     .Height = 256,
     .FrameLength = 8192,
     .FrameMode = AgatMode256x256x1,
     .Family = TKvAgatFamily::Mono,
     .Gigascreen = true},
    {.Name = "256x256x2",
     .Width = 256,
     .Height = 256,
     .FrameLength = 16384,
     .FrameMode = AgatMode256x256x2,
     .Family = TKvAgatFamily::Agat9,
     .Interlaced = true},
    {.Name = "256x256x4 Gigascreen",
     .Width = 256,
     .Height = 256,
     .FrameLength = 16384,
     .FrameMode = AgatMode256x256x2,
     .Family = TKvAgatFamily::Agat9,
     .Gigascreen = true,
     .Interlaced = true},
    {.Name = "512x256x1",
     .Width = 512,
     .Height = 256,
     .FrameLength = 16384,
     .FrameMode = AgatMode512x256x1,
     .Family = TKvAgatFamily::Mono,
     .Interlaced = true},
    {.Name = "512x256x2 Gigascreen",
     .Width = 512,
     .Height = 256,
     .FrameLength = 16384,
     .FrameMode = AgatMode512x256x1,
     .Family = TKvAgatFamily::Mono,
     .Gigascreen = true,
     .Interlaced = true},
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
  std::string name = AFileName;
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  const std::u32string s = AgatUtf8ToChars(name);
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

std::unique_ptr<TKvBitmapData> MakeAgatScreen(const TKvAgatMode& M, uint8_t* AData) {
  switch (M.Family) {
    case TKvAgatFamily::Agat7:
      return std::make_unique<TKvAgatScreen<TKvScreen4, 4>>(M.Width, M.Height, AData, M.Interlaced, M.Gigascreen);
    case TKvAgatFamily::Agat9:
      return std::make_unique<TKvAgatScreen<TKvScreen2, 2>>(M.Width, M.Height, AData, M.Interlaced, M.Gigascreen);
    case TKvAgatFamily::Mono:
      return std::make_unique<TKvAgatScreen<TKvScreen1, 1>>(M.Width, M.Height, AData, M.Interlaced, M.Gigascreen);
    case TKvAgatFamily::HAM:
      return std::make_unique<TKvAgat7_128x128HAMScreen>(M.Width, M.Height, AData);
  }
  RaiseInternalError();
}

std::unique_ptr<TKvBitmap> TKvAgat7_128x128HAMImage::ConvertHAM(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                 TKvAgat7_128x128HAMScreen* AScreen) {
  Adjust(AOptions.LightnessFix, AOptions.SaturationFix);
  FErrorTotal = 0;
  const double strength = AOptions.ErrorDiffusion / 100.0;
  UsedColors = std::make_unique<TKvPalette256>();
  auto result = std::make_unique<TKvBitmap24>(FWidth, FHeight);
  auto rgb = TKvPaletteRGB::CreateType(ptRGB444, false);
  TKvPalette256 band;
  TKvImage bandImage(FWidth, 4);
  TKvQuantization quantization;
  FMirror = false;
  const int extra = AOptions.HAMPrevLines;
  for (int b = 0; b < FHeight / 4; ++b) {
    if (Aborted(AAbort)) Abort();
    int first = 4 * b - extra;
    int count = 2 * extra + 4;
    if (first < 0) {
      count += first;
      first = 0;
    }
    if (first + count > FHeight) count = FHeight - first;
    // The rows as they stand now: the error of the bands above included.
    bandImage.SetHeight(count);
    bandImage.CopyRows(*this, first);
    quantization.Quantize(AAbort, bandImage, 8, false, 0, band, nullptr, rgb.get());
    if (AScreen) AScreen->StoreBandPalette(b, *rgb, band);
    for (int y = 4 * b; y < 4 * b + 4; ++y) {
      result->MirrorX = FMirror;
      if (AScreen) AScreen->MirrorX = FMirror;
      for (int x = 0; x < FWidth; ++x) {
        if (Aborted(AAbort)) Abort();
        PKvPixel p = GetPixels(x, y);
        const int k = band.FindNearestByMetric(AOptions.ColorDiffMethod, *p);
        result->SetPixel(x, y, static_cast<int>(band.GetRGBQuad(k)));
        if (UsedColors) {
          try {
            UsedColors->AddUniqueStdRGB(band.GetStdRGB(k));
          } catch (ETooManyColors&) {
            UsedColors.reset();
          }
        }
        if (AScreen) AScreen->SetPixel(x, y, k);
        const TKvLinRGBColor old = p->GetLinRGB();
        const TKvLinRGBColor c = band.GetLinRGB(k);
        AddError(old, c);
        p->SetLinRGB(c);
        DiffuseError(x, y, AOptions.DitherMethod,
                     TKvLinRGBColor{(old.R - c.R) * strength, (old.G - c.G) * strength, (old.B - c.B) * strength});
      }
      if (AOptions.Serpentine) FMirror = !FMirror;
    }
  }
  if (UsedColors) UsedColors->SortByGray(0);
  FMirror = false;
  result->MirrorX = false;
  if (AScreen) AScreen->MirrorX = false;
  return result;
}

// ---------------------------------------------------------------------------
// Options

TKvAgat7Engine64x64Options::TKvAgat7Engine64x64Options() {
  SetPaletteType(ptColored16);
  SetPaletteMode(pmColor);
  SetPixelAspect(pa1_0p75);
  ModeColorCount = 16;
}

void TKvAgat7Engine64x64Options::UpdatePalette() {
  if (UpdateCount > 0) return;
  const auto type = static_cast<TKvPaletteType>(PaletteType);
  HardwarePalette.reset();
  if (type == ptColored4096) HardwarePalette = TKvPaletteRGB::CreateType(ptRGB444, false);
  TKvPalette256& palette = *GetPalette();
  palette.Clear();
  if (IsAgatPaletteType(type)) {
    switch (PaletteMode) {
      case pmBlackWhite:
        BuildAgatBlackWhitePalette(palette, type);
        break;
      case pmGray:
        BuildAgatGrayPalette(palette, type);
        break;
      case pmColorBright:
      case pmColor:
      case pmCustom:
        BuildAgatPalette(palette, type);
        break;
      default:
        RaiseOSError(87);
    }
  } else if (type == ptColored4096) {
    const TKvPalette& hardware = *HardwarePalette;
    const TKvStdRGBColor black = hardware.GetStdRGB(0);
    const TKvStdRGBColor white = hardware.GetStdRGB(hardware.GetCount() - 1);
    switch (PaletteMode) {
      case pmBlackWhite:
        palette.AddUniqueStdRGB(black);
        palette.AddUniqueStdRGB(white);
        break;
      case pmGray:
        if (ModeColorCount == 4) {
          palette.AddUniqueStdRGB(black);
          for (double g : {1.0 / 3, 2.0 / 3})
            palette.AddUniqueStdRGB(hardware.GetStdRGB(hardware.FindNearest(TKvLinRGBColor{g, g, g})));
          palette.AddUniqueStdRGB(white);
        } else {
          for (int k = 0; k < 16; ++k) palette.AddUniqueStdRGB(hardware.GetStdRGB(k * 273));
        }
        break;
      case pmColorBright:
      case pmColor:
      case pmCustom:
        break;
      default:
        RaiseOSError(86);
    }
  } else {
    RaiseOSError(86);
  }
  if (Gigascreen && palette.Count > 0) {
    TKvPalette256 base;
    base.Assign(&palette);
    palette.FillMixtures(&base, MaxFlickering, ModeColorCount);
  }
}

TKvAgat7Engine64x64ExOptions::TKvAgat7Engine64x64ExOptions() {
  Gigascreen = true;
  SetPaletteType(ptColored16);
}

TKvAgat7Engine128x256Options::TKvAgat7Engine128x256Options() { SetPixelAspect(pa8_3); }

TKvAgat7Engine128x256ExOptions::TKvAgat7Engine128x256ExOptions() { SetPixelAspect(pa8_3); }

TKvAgat7Engine256x256Options::TKvAgat7Engine256x256Options() { SetPaletteMode(pmBlackWhite); }

TKvAgat9Engine256x256Options::TKvAgat9Engine256x256Options() {
  SetPaletteType(ptColoredBRGB);
  SetPaletteMode(pmColorBright);
  SetErrorDiffusion(80);
  ModeColorCount = 4;
}

TKvAgat9Engine256x256ExOptions::TKvAgat9Engine256x256ExOptions() { Gigascreen = true; }

TKvAgat9Engine512x256Options::TKvAgat9Engine512x256Options() {
  SetPaletteType(ptColored16);
  SetPixelAspect(pa2_3);
  SetErrorDiffusion(90);
}

// ---------------------------------------------------------------------------
// Panels

namespace {
void AddAgatCommentSection(TKvDestEngineUIEx& APanel) {
  APanel.AddCommentSeparator();
  APanel.AddCommentEdit();
}
}  // namespace

TKvAgatColorEngineUI::TKvAgatColorEngineUI(TKvDestEngineOptions* AOptions, TKvAgatFamily AFamily, bool AGigascreen)
    : TKvDestEngineUIEx(AOptions), Gigascreen(AGigascreen) {
  const bool agat9 = AFamily == TKvAgatFamily::Agat9;
  // A two-frame screen has no black-and-white mode, and its result grid
  // shows every mixture of the base colours.
  const int baseCount = agat9 ? 4 : 16;
  TKvPaletteModeSet modes = agat9 ? PaletteModes(pmGray, pmColorBright, pmColor) : PaletteModes(pmGray, pmColor);
  if (!Gigascreen) modes = modes | PaletteModes(pmBlackWhite);
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  if (agat9) {
    for (int t : {ptGrayBRGB, ptGrayWRGB, ptColoredBRGB, ptColoredWRGB, ptColored4096}) AddSectionItem(kinds, t);
  } else {
    for (int t : {ptGray8, ptGray16, ptColored8}) AddSectionItem(kinds, t);
    if (!Gigascreen) AddSectionItem(kinds, ptColored15);
    for (int t : {ptColored16, ptColored4096}) AddSectionItem(kinds, t);
  }
  AddPaletteModeSection(modes);
  AddDestPalette(baseCount, Gigascreen ? baseCount : 1, true);
  AddFixedPaletteSection(16, 1);
  if (Gigascreen) AddMaxFlickeringSection();
  AddDitheringSection(false);
  AddAgatCommentSection(*this);
}

TKvAgat7Engine256x256UI::TKvAgat7Engine256x256UI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
  AddAgatCommentSection(*this);
}

TKvAgat7_128x128HAMEngineUI::TKvAgat7_128x128HAMEngineUI(TKvDestEngineOptions* AOptions)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  AddDestPalette(16, 16, true);
  AddHamSection(HamSettings(hsPrevLines));
  AddDitheringSection(false);
  AddAgatCommentSection(*this);
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

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

// The files of one conversion: the ".fil" file of the mode, for a two-frame
// mode with a file per frame under it, and the screen over its data. The
// screens hold exactly the mode's picture.
class TKvAgatFiles {
public:
  TKvAgatFiles(const TKvAgatMode& AMode, TKvConvertArgs& AArgs) {
    if (AArgs.Bitmap.GetWidth() != AMode.Width || AArgs.Bitmap.GetHeight() != AMode.Height) RaiseOSError(87);
    const TKvDestEngineOptions& options = AArgs.Options;
    const uint8_t kind = AgatKindByte(AMode, options.PaletteType);
    auto main = std::make_unique<TKvFilStream>("fil");
    if (AMode.Gigascreen) {
      main->InitFile(2 * AMode.FrameLength, static_cast<uint8_t>(AMode.FrameMode + AgatGigaModeOffset), kind,
                     options.Comment);
      for (int i = 0; i < 2; ++i) {
        auto frame = std::make_unique<TKvFilStream>(i == 0 ? "0.fil" : "1.fil");
        frame->InitFile(AMode.FrameLength, AMode.FrameMode, kind, options.Comment);
        FFrames[i] = frame.get();
        main->AddSubStream(std::move(frame));
      }
    } else {
      main->InitFile(AMode.FrameLength, AMode.FrameMode, kind, options.Comment);
    }
    Screen = MakeAgatScreen(AMode, main->GetData());
    FMain = main.get();
    FStreams->Add(std::move(main));
  }

  // The halves of the combined data into the frame files, and APalette
  // (when given) into every trailer; then the files go to the caller.
  void Finish(TKvConvertArgs& AArgs, const TKvPalette256* APalette) {
    if (FFrames[0]) {
      const int length = FFrames[0]->GetDataLength();
      for (int i = 0; i < 2; ++i)
        std::memcpy(FFrames[i]->GetData(), FMain->GetData() + i * length, static_cast<size_t>(length));
    }
    if (APalette) {
      WriteAgatFilPalette(FMain->GetTrailer(), *APalette);
      for (TKvFilStream* f : FFrames)
        if (f) WriteAgatFilPalette(f->GetTrailer(), *APalette);
    }
    AArgs.Streams = std::move(FStreams);
  }

  std::unique_ptr<TKvBitmapData> Screen;

private:
  std::unique_ptr<TKvStreamList> FStreams = std::make_unique<TKvStreamList>();
  TKvFilStream* FMain = nullptr;
  TKvFilStream* FFrames[2] = {nullptr, nullptr};
};

// What the colour conversions start from: the palettes rebuilt for the
// options, the picture adjusted once, and for "4096 colors" the fixed colours
// on the 4 bits per channel the file keeps, so that fixed colours off that
// grid convert as the colours the machine will show for them.
struct TKvAgatColorJob {
  TKvAgatColorJob(const TKvAgatMode& AMode, TKvConvertArgs& AArgs)
      : Options(AArgs.Options),
        Type(static_cast<TKvPaletteType>(Options.PaletteType)),
        BaseCount(AgatBaseCount(AMode)),
        Files(AMode, AArgs),
        Image(AArgs.Bitmap) {
    Options.UpdatePalette();
    AdjustOnce(Image, Options);
    if (Type == ptColored4096) SnapToAgatFilLevels(Fixed);
  }

  TKvDestEngineOptions& Options;
  const TKvPaletteType Type;
  const int BaseCount;
  TKvAgatFiles Files;
  TKvImage Image;
  TKvPalette256& Result = *Options.GetPalette();
  TKvPalette256& Fixed = *Options.GetFixedPalette();
  TKvPalette256 Trailer;  // what the files list
};

// Dark, bright and their half-tone in flicker. Where the flicker limit
// excludes the pair, the half-tone is no colour the screen may show: each
// pixel takes the nearer of the two allowed colours, on the same gray scale
// from dark to bright, and shows it in both frames.
std::unique_ptr<TKvBitmap> ConvertAgatFlicker2(TKvImage& AImage, bool* AAbort, TKvDestEngineOptions& AOptions,
                                               TKvData* AScreen, TKvPalette256& AMix, int ADark, int ABright) {
  const int n = static_cast<int>(Round(std::sqrt(static_cast<double>(AMix.Count))));
  if (n * n != AMix.Count || ADark < 0 || ADark >= n || ABright < 0 || ABright >= n) RaiseInternalError();
  // The mixtures mark a pair with j < i as well, so read the ordered one.
  if (!AMix.Colors[std::min(ADark, ABright) * n + std::max(ADark, ABright)].Skip)
    return ConvertFlicker2(AImage, AAbort, AOptions, AScreen, AMix, ADark, ABright);
  auto result = AImage.ConvertBW(AAbort, AOptions, AScreen, &AMix, ADark * n + ADark, ABright * n + ABright);
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

std::unique_ptr<TKvBitmap> ConvertMono(const TKvAgatMode& AMode, TKvConvertArgs& AArgs) {
  TKvAgatFiles files(AMode, AArgs);
  TKvImage image(AArgs.Bitmap);
  auto result = AMode.Gigascreen ? ConvertBWFlicker(image, AArgs.Abort, AArgs.Options, files.Screen.get())
                                 : image.ConvertBW(AArgs.Abort, AArgs.Options, files.Screen.get(), nullptr, 0, 1);
  TKvPalette256 blackWhite;
  blackWhite.FillBlackWhite();
  files.Finish(AArgs, &blackWhite);
  return result;
}

std::unique_ptr<TKvBitmap> ConvertColor(const TKvAgatMode& AMode, TKvConvertArgs& AArgs) {
  TKvAgatColorJob job(AMode, AArgs);
  TKvDestEngineOptions& options = job.Options;
  TKvBitmapData* screen = job.Files.Screen.get();
  TKvPalette256& result = job.Result;
  const int n = job.BaseCount;
  std::unique_ptr<TKvBitmap> preview;
  if (IsAgatTypeOf(AMode, job.Type)) {
    // "15 colors" leaves colour 8 out of the pixels, not out of the file.
    TKvPalette256 table;
    BuildAgatPalette(table, job.Type == ptColored15 ? ptColored16 : job.Type);
    if (IsAgatGrayType(job.Type) || options.PaletteMode == pmGray) options.SetUseAsGrayPalette(true);
    if (options.PaletteMode == pmBlackWhite) {
      int dark = 0, bright = 0;
      double range = 0;
      table.GetGrayRange(dark, bright, range);
      preview = job.Image.ConvertBW(AArgs.Abort, options, screen, &table, dark, bright);
    } else {
      if (result.Count == 0) RaiseOSError(87);
      preview = job.Image.ConvertIndexed(AArgs.Abort, options, screen, result, &table);
    }
    job.Trailer.Assign(&table);
  } else if (job.Type == ptColored4096) {
    auto rgb = TKvPaletteRGB::CreateType(ptRGB444, options.PaletteMode == pmGray);
    switch (options.PaletteMode) {
      case pmBlackWhite:
        preview = TKvDestEngine::ConvertColorPair(AArgs.Abort, job.Image, screen, n, options);
        break;
      case pmGray:
        // Where the grays merge to two levels, the screen takes the fixed
        // palette's own entries, which the trailer lists.
        preview = TKvDestEngine::ConvertReducedGray(AArgs.Abort, job.Image, screen, *rgb->GrayPalette, n, options);
        break;
      case pmColorBright:
      case pmColor: {
        const bool bright16 = options.PaletteMode == pmColorBright;
        if (bright16 && n != 4) RaiseOSError(87);
        TKvPalette256 bright;
        if (bright16) bright.FillNearestGBR16(rgb.get());
        TKvDestEngine::QuantizePalette(AArgs.Abort, job.Image, bright16 ? static_cast<TKvPalette&>(bright) : *rgb, n,
                                       options);
        job.Image.FitToPaletteGray(result);
        preview = job.Image.ConvertIndexed(AArgs.Abort, options, screen, result, nullptr);
        break;
      }
      default:
        RaiseOSError(87);
    }
    job.Trailer.Assign(&result);
  } else {
    RaiseOSError(87);
  }
  job.Files.Finish(AArgs, &job.Trailer);
  return preview;
}

std::unique_ptr<TKvBitmap> ConvertColorGiga(const TKvAgatMode& AMode, TKvConvertArgs& AArgs) {
  TKvAgatColorJob job(AMode, AArgs);
  TKvDestEngineOptions& options = job.Options;
  TKvData* screen = job.Files.Screen.get();
  TKvPalette256& mixtures = job.Result;
  TKvPalette256& fixed = job.Fixed;
  const int n = job.BaseCount;
  std::unique_ptr<TKvBitmap> preview;
  if (IsAgatTypeOf(AMode, job.Type)) {
    TKvPalette256 table;
    BuildAgatPalette(table, job.Type);
    if (AMode.Family == TKvAgatFamily::Agat7) {
      // The frames and the file hold n base colours: a shorter palette is
      // repeated ("8 colors" twice).
      const int count = table.Count;
      for (int i = 0; table.Count < n; ++i) table.AddColor(table.Colors[i % count]);
      if (IsAgatGrayType(job.Type) || options.PaletteMode == pmGray) options.SetUseAsGrayPalette(true);
      if (mixtures.Count != n * n) RaiseOSError(87);
      preview = ConvertFlicker(job.Image, AArgs.Abort, options, screen, mixtures, &table);
    } else {
      mixtures.FillMixtures(&table, options.MaxFlickering, n);
      if ((job.Type == ptColoredBRGB || job.Type == ptColoredWRGB) && options.PaletteMode == pmGray) {
        options.SetUseAsGrayPalette(true);
        int dark = 0, bright = 0;
        double range = 0;
        table.GetGrayRange(dark, bright, range);
        preview = ConvertAgatFlicker2(job.Image, AArgs.Abort, options, screen, mixtures, dark, bright);
      } else {
        if (IsAgatGrayType(job.Type) || options.PaletteMode == pmGray) options.SetUseAsGrayPalette(true);
        preview = ConvertFlicker(job.Image, AArgs.Abort, options, screen, mixtures, &table);
      }
    }
    job.Trailer.Assign(&table);
  } else if (job.Type == ptColored4096 && options.PaletteMode == pmGray) {
    options.SetUseAsGrayPalette(true);
    auto rgb = TKvPaletteRGB::CreateType(ptRGB444, true);
    TKvPalette256 grays;
    grays.Assign(rgb->GrayPalette.get());
    int dark = 0, bright = 0;
    const bool merged = fixed.MergeColors(&grays, n, dark, bright);
    // The mixtures come from the merged fixed palette over n, so that the
    // screen's split finds both frame colours in it.
    mixtures.FillMixtures(&fixed, options.MaxFlickering, n);
    if (AMode.Family == TKvAgatFamily::Agat7 || merged) {
      job.Image.FitToPaletteGray(mixtures);
      preview = ConvertFlicker(job.Image, AArgs.Abort, options, screen, mixtures, nullptr);
    } else {
      preview = ConvertAgatFlicker2(job.Image, AArgs.Abort, options, screen, mixtures, dark, bright);
    }
    job.Trailer.Assign(&fixed);
  } else if (job.Type == ptColored4096 &&
             (options.PaletteMode == pmColor || (options.PaletteMode == pmColorBright && n == 4))) {
    const bool bright16 = options.PaletteMode == pmColorBright;
    auto rgb = TKvPaletteRGB::CreateType(ptRGB444, false);
    TKvPalette256 bright;
    if (bright16) bright.FillNearestGBR16(rgb.get());
    TKvPalette256 base;
    TKvQuantization quantization;
    quantization.QuantizeBounded(AArgs.Abort, job.Image, n, options.MaxFlickering, false, options.ColorDiffMethod, base,
                                 &fixed, bright16 ? static_cast<TKvPalette*>(&bright) : rgb.get());
    // Mixture indexes over n whatever the base's count, as the screen splits
    // them.
    mixtures.FillMixtures(&base, options.MaxFlickering, n);
    job.Image.FitToPaletteGray(mixtures);
    preview = ConvertFlicker(job.Image, AArgs.Abort, options, screen, mixtures, nullptr);
    fixed.Assign(&base);
    job.Trailer.Assign(&base);
  } else {
    RaiseOSError(87);
  }
  job.Files.Finish(AArgs, &job.Trailer);
  return preview;
}

std::unique_ptr<TKvBitmap> ConvertHAM(const TKvAgatMode& AMode, TKvConvertArgs& AArgs) {
  TKvAgatFiles files(AMode, AArgs);
  TKvAgat7_128x128HAMImage image(AArgs.Bitmap);
  auto result =
      image.ConvertHAM(AArgs.Abort, AArgs.Options, static_cast<TKvAgat7_128x128HAMScreen*>(files.Screen.get()));
  if (image.UsedColors) AArgs.Options.GetPalette()->Assign(image.UsedColors.get());
  // The trailer's palette block stays empty: the bands carry the colours.
  files.Finish(AArgs, nullptr);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> TKvAgatEngine::ConvertMode(const TKvAgatMode& AMode, TKvConvertArgs& AArgs) {
  switch (AMode.Family) {
    case TKvAgatFamily::Mono:
      return ConvertMono(AMode, AArgs);
    case TKvAgatFamily::HAM:
      return ConvertHAM(AMode, AArgs);
    default:
      return AMode.Gigascreen ? ConvertColorGiga(AMode, AArgs) : ConvertColor(AMode, AArgs);
  }
}

void InitKvSavePlatformAgat() {
  RegisterDestEngines<TKvAgat7Engine64x64, TKvAgat7Engine64x64Ex, TKvAgat7Engine128x128, TKvAgat7Engine128x128Ex,
                      TKvAgat7Engine128x128HAM, TKvAgat7Engine128x256, TKvAgat7Engine128x256Ex, TKvAgat7Engine256x256,
                      TKvAgat7Engine256x256Ex, TKvAgat9Engine256x256, TKvAgat9Engine256x256Ex, TKvAgat9Engine512x256,
                      TKvAgat9Engine512x256Ex>();
}
