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
// Modes

const TKvCPCMode CPCModes[9] = {
    {.Name = "0 160x200x4", .PixelFormat = 0, .Layout = TKvCPCLayout::Standard, .Width = 160, .Height = 200,
     .PaletteMode = pmColor, .PixelAspect = pa2_1, .ErrorDiffusion = 90,
     .PanelModes = PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom)},
    {.Name = "0 192x272x4 overscan", .PixelFormat = 0, .Layout = TKvCPCLayout::Overscan, .Width = 192, .Height = 272,
     .PaletteMode = pmColor, .PixelAspect = pa2_1, .ErrorDiffusion = 90,
     .PanelModes = PaletteModes(pmBlackWhite, pmGray, pmColor, pmCustom)},
    {.Name = "1 320x200x2", .PixelFormat = 1, .Layout = TKvCPCLayout::Standard, .Width = 320, .Height = 200,
     .PaletteMode = pmColorBright, .PixelAspect = pa1_1, .ErrorDiffusion = 80,
     .PanelModes = PaletteModes(pmBlackWhite, pmGray, pmColorBright, pmColor, pmCustom)},
    {.Name = "1 384x272x2 overscan", .PixelFormat = 1, .Layout = TKvCPCLayout::Overscan, .Width = 384, .Height = 272,
     .PaletteMode = pmColorBright, .PixelAspect = pa1_1, .ErrorDiffusion = 80,
     .PanelModes = PaletteModes(pmBlackWhite, pmGray, pmColorBright, pmColor, pmCustom)},
    {.Name = "2 640x200x1", .PixelFormat = 2, .Layout = TKvCPCLayout::Standard, .Width = 640, .Height = 200,
     .PaletteMode = pmColor, .PixelAspect = pa1_2, .ErrorDiffusion = 90},
    {.Name = "2 768x272x1 overscan", .PixelFormat = 2, .Layout = TKvCPCLayout::Overscan, .Width = 768, .Height = 272,
     .PaletteMode = pmColor, .PixelAspect = pa1_2, .ErrorDiffusion = 90},
    {.Name = "2 512x256x1", .PixelFormat = 2, .Layout = TKvCPCLayout::Hgb, .Width = 512, .Height = 256,
     .PaletteMode = pmColor, .PixelAspect = pa1_2, .ErrorDiffusion = 90, .WriteFileHeader = false},
    {.Name = "B0 192x272x8", .PixelFormat = 0, .Layout = TKvCPCLayout::FramePair, .Width = 192, .Height = 272,
     .PaletteMode = pmColor, .PixelAspect = pa2_1, .ErrorDiffusion = 90,
     .PanelModes = PaletteModes(pmGray, pmColor, pmCustom), .PaletteRows = 16},
    {.Name = "B1 384x272x4", .PixelFormat = 1, .Layout = TKvCPCLayout::FramePair, .Width = 384, .Height = 272,
     .PaletteMode = pmColorBright, .PixelAspect = pa1_1, .ErrorDiffusion = 80,
     .PanelModes = PaletteModes(pmGray, pmColorBright, pmColor, pmCustom), .PaletteRows = 4},
};

// ---------------------------------------------------------------------------
// Options

TKvAmstradCPCEngineOptions::TKvAmstradCPCEngineOptions(const TKvCPCMode& AMode) : FMode(AMode) {
  SetPaletteType(ptCPCGateArray);
  SetPaletteMode(AMode.PaletteMode);
  SetPixelAspect(AMode.PixelAspect);
  SetErrorDiffusion(AMode.ErrorDiffusion);
  SetWriteFileHeader(AMode.WriteFileHeader);
}

void TKvAmstradCPCEngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  TKvPalette256& palette = *GetPalette();
  palette.Clear();
  if (PaletteType == ptCPCPlus) {
    if (PaletteMode == pmBlackWhite) {
      palette.FillBlackWhite();
    } else if (PaletteMode == pmGray) {
      auto grays = TKvPaletteRGB::CreateBits(4, 4, 4, true);
      palette.Assign(grays->GrayPalette.get());
    }
    HardwarePalette = TKvPaletteRGB::CreateBits(4, 4, 4, false);
    return;
  }
  const auto kind = static_cast<TKvPaletteType>(PaletteType);
  switch (PaletteMode) {
    case pmBlackWhite:
      BuildCPCBlackWhitePalette(palette, kind);
      break;
    case pmGray:
      BuildCPCGrayPalette(palette, kind);
      break;
    case pmColorBright:
      BuildCPCBrightPalette(palette, kind);
      break;
    case pmColor:
    case pmCustom:
      BuildCPCPalette(palette, kind);
      break;
    default:
      RaiseOSError(87);
  }
  if (!dynamic_cast<TKvPalette256*>(HardwarePalette.get())) HardwarePalette = std::make_unique<TKvPalette256>();
  BuildCPCPalette(static_cast<TKvPalette256&>(*HardwarePalette), kind);
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

TKvAmstradCPCPaletteUI::TKvAmstradCPCPaletteUI(TKvDestEngineOptions* AOptions, const TKvCPCMode& AMode)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddPaletteSeparator();
  const int kinds = AddCustomPaletteComboBox();
  const int lastKind = AMode.Layout == TKvCPCLayout::Overscan ? ptCPCPlus : ptCPCASICRGB;
  for (int k = ptCPCGateArray; k <= lastKind; ++k) AddSectionItem(kinds, k);
  AddPaletteModeSection(AMode.PanelModes);
  AddDestPalette(16, AMode.PaletteRows, true);
  AddFixedPaletteSection(16, 1);
  if (AMode.Layout == TKvCPCLayout::FramePair) AddMaxFlickeringSection();
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

TKvAmstradCPCMonoUI::TKvAmstradCPCMonoUI(TKvDestEngineOptions* AOptions, const TKvCPCMode& AMode)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddDitheringSection(false);
  if (AMode.Layout == TKvCPCLayout::Hgb) {
    AddFileFormatSeparator();
    AddFileFormatCheckBox("AMSDos header");
  }
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

// A picture larger than the screen would be written past the file's body.
void CheckCPCSize(const TBitmap32& ABitmap, const TKvCPCMode& AMode) {
  if (ABitmap.GetWidth() < 1 || ABitmap.GetHeight() < 1 || ABitmap.GetWidth() > AMode.Width ||
      ABitmap.GetHeight() > AMode.Height)
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
  std::unique_ptr<TKvAmstradCPCStream> stream;
  if (AOverscan)
    stream = std::make_unique<TKvAmstradCPCScrExStream>(static_cast<uint8_t>(AMode), AHardware, AColours, ABorder);
  else
    stream = std::make_unique<TKvAmstradCPCScrStream>(static_cast<uint8_t>(AMode),
                                                      dynamic_cast<const TKvPalette256&>(AHardware), AColours, ABorder);
  uint8_t* body = stream->Body();
  AStreams.Add(std::move(stream));
  return body;
}

// Modes 0 and 1, standard or overscan: the pens chosen from the hardware
// colours (or the Plus levels, overscan only).
std::unique_ptr<TKvBitmap> ConvertCPCPens(TKvConvertArgs& AArgs, int AMode, bool AOverscan) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  const int penCount = AMode == 0 ? 16 : 4;
  const int width = AArgs.Bitmap.GetWidth(), height = AArgs.Bitmap.GetHeight();
  auto streams = std::make_unique<TKvStreamList>();
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  const bool plus = options.PaletteType == ptCPCPlus;
  if (plus && !AOverscan) RaiseOSError(87);
  std::unique_ptr<TKvPalette> hardware;
  if (plus) {
    hardware = TKvPaletteRGB::CreateBits(4, 4, 4, options.PaletteMode == pmGray);
  } else {
    auto gateArray = std::make_unique<TKvPalette256>();
    BuildCPCPalette(*gateArray, CPCKind(options));
    hardware = std::move(gateArray);
  }
  if (plus && options.PaletteMode == pmCustom) options.SetPaletteMode(pmColor);
  TKvPalette256& palette = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  std::unique_ptr<TKvBitmapData> screen;
  auto start = [&](const TKvPalette256& AColours) {
    screen = MakeCPCScreen(AMode, AOverscan, width, height,
                           AddCPCScreenStream(*streams, AMode, AOverscan, *hardware, AColours, options.BorderColor));
  };
  std::unique_ptr<TKvBitmap> result;
  switch (options.PaletteMode) {
    case pmBlackWhite: {
      palette.Clear();
      palette.AddStdRGB(hardware->GetStdRGB(0));
      palette.AddStdRGB(hardware->GetStdRGB(hardware->GetCount() - 1));
      int dark = 0, light = 0;
      fixed.AddColorPair(&palette, penCount, dark, light);
      start(fixed);
      result = image.ConvertBW(abort, options, screen.get(), &fixed, dark, light);
      palette.Assign(&fixed);
      break;
    }
    case pmGray: {
      int dark = 0, light = 0;
      bool reduced;
      if (plus) {
        auto* levels = static_cast<TKvPaletteRGB*>(hardware.get());
        reduced = TKvDestEngine::ReducePalette(abort, image, *levels->GrayPalette, penCount, options, dark, light);
      } else {
        BuildCPCGrayPalette(palette, CPCKind(options));
        reduced = TKvDestEngine::ReducePalette(abort, image, palette, penCount, options, dark, light);
      }
      start(fixed);
      if (reduced) {
        if (AOverscan && AMode == 0 && !plus) image.FitToPaletteGray(palette);
        result = image.ConvertIndexed(abort, options, screen.get(), palette, &fixed);
      } else {
        result = image.ConvertBW(abort, options, screen.get(), &fixed, dark, light);
      }
      palette.Assign(&fixed);
      break;
    }
    case pmColorBright: {
      if (AMode != 1) RaiseOSError(86);
      TKvPalette256 bright;
      if (plus)
        bright.FillNearestGBR16(hardware.get());
      else
        BuildCPCBrightPalette(bright, CPCKind(options));
      TKvDestEngine::QuantizePalette(abort, image, bright, penCount, options);
      start(palette);
      image.FitToPaletteGray(palette);
      result = image.ConvertIndexed(abort, options, screen.get(), palette, nullptr);
      break;
    }
    case pmColor:
    case pmCustom:
      TKvDestEngine::QuantizePalette(abort, image, *hardware, penCount, options);
      start(palette);
      image.FitToPaletteGray(palette);
      result = image.ConvertIndexed(abort, options, screen.get(), palette, nullptr);
      break;
    default:
      RaiseOSError(86);
  }
  AArgs.Streams = std::move(streams);
  return result;
}

// Two pens, black and bright white: mode 2 standard or overscan.
std::unique_ptr<TKvBitmap> ConvertCPCMode2(TKvConvertArgs& AArgs, bool AOverscan) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256 hardware;
  BuildCPCPalette(hardware, CPCKind(options));
  TKvPalette256& palette = *options.GetPalette();
  BuildCPCBlackWhitePalette(palette, CPCKind(options));
  TKvImage image(AArgs.Bitmap);
  auto streams = std::make_unique<TKvStreamList>();
  auto screen = MakeCPCScreen(2, AOverscan, AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight(),
                              AddCPCScreenStream(*streams, 2, AOverscan, hardware, palette, options.BorderColor));
  auto result = image.ConvertBW(AArgs.Abort, options, screen.get(), nullptr, 0, 1);
  AArgs.Streams = std::move(streams);
  return result;
}

// The 512 x 256 picture in one ".hgb" file, with or without its header.
std::unique_ptr<TKvBitmap> ConvertCPCHgb(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  TKvPalette256& palette = *options.GetPalette();
  BuildCPCBlackWhitePalette(palette, CPCKind(options));
  TKvImage image(AArgs.Bitmap);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data;
  if (options.WriteFileHeader) {
    auto stream = std::make_unique<TKvAmstradCPCStream>("hgb", 0, CPCHgbBodySize, 0, 2);
    data = stream->Body();
    streams->Add(std::move(stream));
  } else {
    data = streams->NewStream("hgb", CPCHgbBodySize)->GetMemory();
  }
  TKvAmstradCPCMode2HGBScreen screen(AArgs.Bitmap.GetWidth(), AArgs.Bitmap.GetHeight(), data);
  auto result = image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  AArgs.Streams = std::move(streams);
  return result;
}

// The ".pph" with its two frames, and the flicker conversion into them.
std::unique_ptr<TKvBitmap> ConvertCPCFrames(bool* AAbort, TKvImage& AImage, TKvDestEngineOptions& AOptions,
                                            TKvStreamList& AStreams, bool AB0, const TKvPalette256& AHardware,
                                            const TKvPalette256& ABase, TKvPalette256* ADisplay) {
  const int screenWidth = AOptions.GetWidth(), screenHeight = AOptions.GetHeight();
  const int width = AImage.GetWidth(), height = AImage.GetHeight();
  auto pph = std::make_unique<TKvAmstradCPCPphStream>(static_cast<uint8_t>(AB0 ? 4 : 5),
                                                      static_cast<uint16_t>(AB0 ? 2 * screenWidth : screenWidth),
                                                      static_cast<uint16_t>(screenHeight), AHardware, ABase);
  auto eve = std::make_unique<TKvAmstradCPCStream>("eve", 0x4000, CPCFrameBodySize, 0, 2);
  auto odd = std::make_unique<TKvAmstradCPCStream>("odd", 0x4000, CPCFrameBodySize, 0, 2);
  uint8_t* evenFrame = eve->Body();
  uint8_t* oddFrame = odd->Body();
  pph->AddSubStream(std::move(eve));
  pph->AddSubStream(std::move(odd));
  AStreams.Add(std::move(pph));
  TKvPalette256 mixtures;
  mixtures.FillMixtures(AOptions.GetPalette(), AOptions.MaxFlickering, 0);
  const int n = ADisplay ? ADisplay->Count : ABase.Count;
  if (n < 1) RaiseOSError(87);
  std::unique_ptr<TKvBitmapData> screen;
  if (AB0)
    screen = std::make_unique<TKvAmstradCPCModeB0Screen>(width, height, evenFrame, oddFrame, n);
  else
    screen = std::make_unique<TKvAmstradCPCModeB1Screen>(width, height, evenFrame, oddFrame, n);
  AImage.FitToPaletteGray(mixtures);
  return ConvertFlicker(AImage, AAbort, AOptions, screen.get(), mixtures, ADisplay);
}

std::unique_ptr<TKvBitmap> ConvertCPCTwoFrames(TKvConvertArgs& AArgs, bool AB0) {
  bool* abort = AArgs.Abort;
  TKvDestEngineOptions& options = AArgs.Options;
  const int penCount = AB0 ? 16 : 4;
  auto streams = std::make_unique<TKvStreamList>();
  TKvPalette256 hardware;
  BuildCPCPalette(hardware, CPCKind(options));
  TKvImage image(AArgs.Bitmap);
  AdjustOnce(image, options);
  TKvPalette256& palette = *options.GetPalette();
  TKvPalette256& fixed = *options.GetFixedPalette();
  std::unique_ptr<TKvBitmap> result;
  TKvCPCPairHistogram hist;
  if (options.PaletteMode == pmGray) {
    options.SetUseAsGrayPalette(true);
    int dark = 0, light = 0;
    fixed.MergeColors(&palette, penCount, dark, light);
    result = ConvertCPCFrames(abort, image, options, *streams, AB0, hardware, fixed, &fixed);
    if (AB0) palette.Assign(&fixed);
  } else if (AB0) {
    switch (options.PaletteMode) {
      case pmColor:
      case pmCustom: {
        const bool custom = options.PaletteMode == pmCustom;
        // The colours the pairs choose from when the fixed ones fall short.
        TKvPalette256 choice;
        choice.Assign(&fixed);
        if (custom && fixed.Count < penCount) {
          for (int k = 0; k < CPCColorCount; ++k)
            if (options.ColorMask[static_cast<size_t>(k)]) choice.AddUniqueStdRGB(hardware.GetStdRGB(k));
          choice.SortByGray(fixed.Count);
        }
        if (choice.Count == penCount) {
          palette.Assign(&choice);
        } else if (choice.Count > penCount) {
          CountCPCPairs(abort, options, image, choice, hist);
          palette.Clear();
          if (custom && fixed.Count < penCount) palette.Assign(&fixed);
          ChooseCPCPairColors(hist, penCount, choice, palette);
        } else {
          CountCPCPairs(abort, options, image, hardware, hist);
          palette.Assign(&choice);
          ChooseCPCPairColors(hist, penCount, hardware, palette);
        }
        if (custom) palette.SortByGray(fixed.Count < palette.Count ? fixed.Count : palette.Count);
        result = ConvertCPCFrames(abort, image, options, *streams, true, hardware, palette, nullptr);
        break;
      }
      default:
        RaiseOSError(86);
    }
  } else {
    switch (options.PaletteMode) {
      case pmColorBright:
      case pmColor:
      case pmCustom: {
        TKvQuantization quantization;
        if (options.PaletteMode == pmColorBright) {
          TKvPalette256 bright;
          BuildCPCBrightPalette(bright, CPCKind(options));
          for (int i = 0; i < fixed.Count; ++i) bright.AddUniqueStdRGB(fixed.GetStdRGB(i));
          quantization.Quantize(abort, image, penCount, false, options.ColorDiffMethod, palette, &fixed, &bright);
        } else if (options.PaletteMode == pmColor) {
          quantization.Quantize(abort, image, penCount, false, options.ColorDiffMethod, palette, &fixed, &hardware);
        } else {
          quantization.QuantizeMasked(abort, image, penCount, false, options.ColorDiffMethod, palette, fixed, &hardware,
                                      options.ColorMask);
        }
        // The pens as the files give them back (sRGB bytes), so that the
        // preview's mixtures are those a reader of the files computes.
        TKvPalette256 pens;
        for (int i = 0; i < palette.Count; ++i) pens.AddStdRGB(palette.GetStdRGB(i));
        palette.Assign(&pens);
        result = ConvertCPCFrames(abort, image, options, *streams, false, hardware, palette, nullptr);
        break;
      }
      default:
        RaiseOSError(86);
    }
  }
  // The result palette shows the mixtures as a table of pen pairs.
  TKvPalette256 mixtures;
  mixtures.FillMixtures(&palette, options.MaxFlickering, 0);
  const int n = palette.Count;
  palette.Clear();
  for (int i = 0; i < penCount; ++i)
    for (int j = 0; j < 16; ++j) {
      if (i < n && j < n && j >= i) {
        const int k = palette.AddStdRGB(mixtures.GetStdRGB(i * n + j));
        palette.GetPColor(k)->Skip = mixtures.GetPColor(i * n + j)->Skip;
      } else {
        const int k = palette.AddRGB(0, 0, 0);
        palette.GetPColor(k)->Skip = true;
      }
    }
  AArgs.Streams = std::move(streams);
  return result;
}

}  // namespace

std::unique_ptr<TKvBitmap> ConvertCPCMode(const TKvCPCMode& AMode, TKvConvertArgs& AArgs) {
  CheckCPCSize(AArgs.Bitmap, AMode);
  switch (AMode.Layout) {
    case TKvCPCLayout::Hgb:
      return ConvertCPCHgb(AArgs);
    case TKvCPCLayout::FramePair:
      return ConvertCPCTwoFrames(AArgs, AMode.PixelFormat == 0);
    default: {
      const bool overscan = AMode.Layout == TKvCPCLayout::Overscan;
      if (AMode.PixelFormat == 2) return ConvertCPCMode2(AArgs, overscan);
      return ConvertCPCPens(AArgs, AMode.PixelFormat, overscan);
    }
  }
}

void InitKvSavePlatformAmstradCPC() {
  RegisterDestEngines<TKvAmstradCPCMode0Engine, TKvAmstradCPCMode0ExEngine, TKvAmstradCPCMode1Engine,
                      TKvAmstradCPCMode1ExEngine, TKvAmstradCPCMode2Engine, TKvAmstradCPCMode2ExEngine,
                      TKvAmstradCPCMode2HGBEngine, TKvAmstradCPCModeB0Engine, TKvAmstradCPCModeB1Engine>();
}
