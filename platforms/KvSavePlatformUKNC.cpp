#include "platforms/KvSavePlatformUKNC.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformUKNC.h"
#include "shell/noxShellBaseExtension.h"

// ---------------------------------------------------------------------------
// Screen and encoder

TKvUKNCPCXScreen::TKvUKNCPCXScreen(int AWidth, int AHeight, bool AMono)
    : TKvScreen4(AWidth, AHeight, nullptr), BytesPerLine((AWidth + 7) / 8), Mono(AMono) {
  InitUkncPcxHeader(Header, AWidth, AHeight);
  Planes.assign(static_cast<size_t>(3) * BytesPerLine * AHeight, 0);
  Data = Planes.data();
}

void TKvUKNCPCXScreen::SetPixel(int X, int Y, int AValue) {
  if (Mono && AValue != 0) AValue = 7;
  X = MX(X);
  const uint8_t mask = static_cast<uint8_t>(1 << (X & 7));
  uint8_t* p = Data + static_cast<int64_t>(Y) * 3 * BytesPerLine + X / 8;
  for (int plane = 0; plane < 3; ++plane, p += BytesPerLine)
    *p = static_cast<uint8_t>((AValue >> plane) & 1 ? (*p | mask) : (*p & ~mask));
}

namespace {

// The pending literal or run of the encoder.
class TPcxEncoder {
public:
  explicit TPcxEncoder(std::vector<uint8_t>& AOut) : FOut(AOut) {}
  void AddPcxByte(uint8_t b) {
    if (FLiteral && b == FValue) {
      FLiteral = false;
      FCount = 2;
    } else if (FCount > 0 && b == FValue) {
      if (++FCount == 63) FlushPcxRun();
    } else {
      FlushPcxRun();
      FValue = b;
      if (b < 0xC0)
        FLiteral = true;
      else
        FCount = 1;
    }
  }
  void FlushPcxRun() {
    if (FLiteral) {
      FOut.push_back(FValue);
    } else if (FCount > 0) {
      FOut.push_back(static_cast<uint8_t>(0xC0 | FCount));
      FOut.push_back(FValue);
    }
    FLiteral = false;
    FCount = 0;
  }

private:
  std::vector<uint8_t>& FOut;
  uint8_t FValue = 0;
  bool FLiteral = false;
  int FCount = 0;
};

}  // namespace

std::vector<uint8_t> EncodePcxLines(const uint8_t* AData, int64_t ASize, int ABytesPerLine) {
  std::vector<uint8_t> out;
  TPcxEncoder encoder(out);
  for (int64_t i = 0; i < ASize; ++i) {
    encoder.AddPcxByte(AData[i]);
    if ((i + 1) % ABytesPerLine == 0) encoder.FlushPcxRun();
  }
  encoder.FlushPcxRun();
  return out;
}

void TKvUKNCPCXScreen::WriteTo(TKvStream& AStream) {
  AStream.Write(Header, sizeof(Header));
  const std::vector<uint8_t> body =
      EncodePcxLines(Planes.data(), static_cast<int64_t>(Planes.size()), BytesPerLine);
  AStream.Write(body.data(), static_cast<int64_t>(body.size()));
}

// ---------------------------------------------------------------------------
// Options, panel and engine

TKvUKNCEngineOptions::TKvUKNCEngineOptions() {
  SetPaletteMode(pmGRB);
  SetPixelAspect(pa2_3);
  SetErrorDiffusion(90);
}

TKvUKNCEngineUI::TKvUKNCEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(PixelAspects(pa0p6_1, pa2_3, pa1_1));
  AddPaletteSeparator();
  AddPaletteModeSection(PaletteModes(pmBlackWhite, pmRGB, pmGRB));
  AddGrayPaletteCheckBox();
  AddDitheringSection(false);
}

std::unique_ptr<TKvBitmap> TKvUKNCEngine::Convert(TKvConvertArgs& AArgs) {
  TKvDestEngineOptions& options = AArgs.Options;
  const int width = AArgs.Bitmap.GetWidth(), height = AArgs.Bitmap.GetHeight();
  // The header cannot describe a larger picture.
  if (width < 1 || height < 1 || width > UkncMaxWidth || height > UkncMaxHeight) RaiseOSError(87);
  TKvPalette256 palette;
  if (options.PaletteMode == pmRGB)
    palette.FillRGB8();
  else
    palette.FillGRB8();
  TKvImage image(AArgs.Bitmap);
  TKvUKNCPCXScreen screen(width, height, options.PaletteMode == pmBlackWhite);
  std::unique_ptr<TKvBitmap> result;
  if (options.PaletteMode == pmBlackWhite)
    result = image.ConvertBW(AArgs.Abort, options, &screen, nullptr, 0, 1);
  else
    result = image.ConvertIndexed(AArgs.Abort, options, &screen, palette, nullptr);
  auto streams = std::make_unique<TKvStreamList>();
  screen.WriteTo(*streams->NewStream("pcx", 0));
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformUKNC() { RegisterDestEngines<TKvUKNCEngine>(); }
