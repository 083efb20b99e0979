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
  const uint8_t LMask = static_cast<uint8_t>(1 << (X & 7));
  uint8_t* p = Data + static_cast<int64_t>(Y) * 3 * BytesPerLine + X / 8;
  for (int LPlane = 0; LPlane < 3; ++LPlane, p += BytesPerLine)
    *p = static_cast<uint8_t>((AValue >> LPlane) & 1 ? (*p | LMask) : (*p & ~LMask));
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
  std::vector<uint8_t> LOut;
  TPcxEncoder LEncoder(LOut);
  for (int64_t i = 0; i < ASize; ++i) {
    LEncoder.AddPcxByte(AData[i]);
    if ((i + 1) % ABytesPerLine == 0) LEncoder.FlushPcxRun();
  }
  LEncoder.FlushPcxRun();
  return LOut;
}

void TKvUKNCPCXScreen::WriteTo(TKvStream& AStream) {
  AStream.Write(Header, sizeof(Header));
  const std::vector<uint8_t> LBody =
      EncodePcxLines(Planes.data(), static_cast<int64_t>(Planes.size()), BytesPerLine);
  AStream.Write(LBody.data(), static_cast<int64_t>(LBody.size()));
}

// ---------------------------------------------------------------------------
// Options, panel and engine

TKvUKNCEngineOptions::TKvUKNCEngineOptions() {
  SetPaletteMode(16);  // "GRB"
  SetPixelAspect(7);   // "2:3"
  SetErrorDiffusion(90);
}

TKvUKNCEngineUI::TKvUKNCEngineUI(TKvDestEngineOptions* AOptions) : TKvDestEngineUIEx(AOptions) {
  AddDimensionSection(true);
  AddPositionSection(0x488);  // "0.6:1", "2:3", "1:1"
  AddPaletteSeparator();
  AddPaletteModeSection(0x18001);  // "Black/white", "RGB", "GRB"
  AddGrayPaletteCheckBox();
  AddDitheringSection(false);
}

std::unique_ptr<TKvDestEngineUI> TKvUKNCEngine::CreateUI(TKvDestEngineOptions* AOptions) {
  return std::make_unique<TKvUKNCEngineUI>(AOptions);
}

std::unique_ptr<TKvDestEngineOptions> TKvUKNCEngine::CreateOptions() {
  return TKvDestEngineOptions::Create<TKvUKNCEngineOptions>();
}

std::unique_ptr<TKvBitmap> TKvUKNCEngine::Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                                  TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                                  std::unique_ptr<TKvStreamList>& AStreams) {
  const int W = ABitmap.GetWidth(), H = ABitmap.GetHeight();
  // The header cannot describe a larger picture.
  if (W < 1 || H < 1 || W > UkncMaxWidth || H > UkncMaxHeight) RaiseOSError(87);
  TKvPalette256 LPalette;
  if (AOptions.PaletteMode == 15)
    LPalette.FillRGB8();
  else
    LPalette.FillGRB8();
  TKvImage LImage(ABitmap);
  TKvUKNCPCXScreen LScreen(W, H, AOptions.PaletteMode == 0);
  std::unique_ptr<TKvBitmap> LResult;
  if (AOptions.PaletteMode == 0)
    LResult = LImage.ConvertBW(AAbort, AOptions, &LScreen, nullptr, 0, 1);
  else
    LResult = LImage.ConvertIndexed(AAbort, AOptions, &LScreen, LPalette, nullptr);
  auto LStreams = std::make_unique<TKvStreamList>();
  LScreen.WriteTo(*LStreams->NewStream("pcx", 0));
  AStreams = std::move(LStreams);
  return LResult;
}

void InitKvSavePlatformUKNC() { RegisterDestEngine(DestEngineClass<TKvUKNCEngine>()); }
