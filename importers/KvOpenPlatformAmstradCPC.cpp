#include "importers/KvOpenPlatformAmstradCPC.h"

#include "core/KvBitmap.h"
#include "core/KvColor.h"
#include "platforms/KvPlatformAmstradCPC.h"

namespace {

TKvMatchFlags CPCFlags(TKvLoadSource& ASource, const char* AExt) {
  return ASource.GetExtension() == AExt ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

// A file of the expected size with an AMSDOS header for ALength body bytes of
// type AType at the given addresses.
bool CheckCPCFile(const TKvBytes& AFile, uint8_t AType, int64_t ALength, uint16_t ALoad, uint16_t AExec) {
  return ALength >= 0 && ALength <= 0xFFFF && AFile.Size() == AmsdosHeaderSize + ALength &&
         CheckAmsdosHeader(AFile, AType, static_cast<uint16_t>(ALength)) && AFile.Le16(19) == ALength &&
         AFile.Le16(21) == ALoad && AFile.Le16(26) == AExec;
}

bool CheckCPCPalFile(const TKvLoadSourceRec* ARec, int AMode) {
  if (!ARec || !CheckCPCFile(ARec->View(), 2, CPCPalBodySize, 0x8809, 0x8809)) return false;
  const TKvBytes b = ARec->View().Sub(AmsdosHeaderSize);
  return b.U8(0) == AMode && b.U8(1) == 0 && b.U8(2) == 0;
}

bool CheckCPCKitFile(const TKvLoadSourceRec* ARec) {
  if (!ARec || !CheckCPCFile(ARec->View(), 2, CPCKitBodySize, 0x8809, 0x8809)) return false;
  const TKvBytes b = ARec->View().Sub(AmsdosHeaderSize);
  for (int i = 0; i < 16; ++i)
    if (b.Le16(2 * i) > 4095) return false;
  return true;
}

std::string CPCStem(const std::string& AName) {
  const size_t slash = AName.find_last_of("/\\");
  const size_t dot = AName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return AName;
  return AName.substr(0, dot);
}

// The frames beside a ".pph": both of ALength body bytes with a header.
bool CheckCPCFramePair(TKvLoadSource& ASource, int64_t ALength) {
  for (const char* e : {".eve", ".odd"}) {
    const TKvLoadSourceRec* r = GetCPCCompanion(ASource, e);
    if (!r || r->View().Size() != AmsdosHeaderSize + ALength ||
        !CheckAmsdosHeader(r->View(), 2, static_cast<uint16_t>(ALength)))
      return false;
  }
  return true;
}

}  // namespace

const TKvLoadSourceRec* GetCPCCompanion(TKvLoadSource& ASource, const std::string& AExt) {
  return ASource.GetFile(CPCStem(ASource.GetFileName()) + AExt);
}

// ---------------------------------------------------------------------------
// Screens

TKvMatchFlags MatchCPCScreen(TKvLoadSource& ASource, int AMode) {
  const TKvBytes d = ASource.GetBytes();
  const int64_t LBody = d.Size() - AmsdosHeaderSize;
  if (LBody != CPCScrBodySize && LBody != CPCScrBodySize - 48) return 0;
  if (!CheckCPCFile(d, 2, LBody, 0xC000, 0xC7D0)) return 0;
  if (const TKvLoadSourceRec* LPal = GetCPCCompanion(ASource, ".pal")) {
    if (!CheckCPCPalFile(LPal, AMode)) return 0;
  } else if (d.U8(AmsdosHeaderSize + CPCScrModeOffset) != AMode) {
    return 0;
  }
  return CPCFlags(ASource, ".scr");
}

TKvMatchFlags MatchCPCOverscan(TKvLoadSource& ASource, int AMode) {
  const TKvBytes d = ASource.GetBytes();
  if (!CheckCPCFile(d, 0, CPCOverscanBodySize, 0x0170, 0)) return 0;
  const TKvBytes b = d.Sub(AmsdosHeaderSize);
  const bool LMode = b.U8(CPCOverscanModeOffset) == 0x0E + AMode;
  if (const TKvLoadSourceRec* LPal = GetCPCCompanion(ASource, ".pal")) {
    if (!CheckCPCPalFile(LPal, AMode)) return 0;
  } else if (const TKvLoadSourceRec* LKit = GetCPCCompanion(ASource, ".kit")) {
    if (!CheckCPCKitFile(LKit) || !LMode || b.U8(CPCOverscanFlagOffset) != 1) return 0;
  } else if (!LMode || b.U8(CPCOverscanFlagOffset) > 1) {
    return 0;
  }
  return CPCFlags(ASource, ".scr");
}

void TKvBaseAmstradCPCSourceEngine::SetCPCPaletteTypes() {
  PaletteTypes = {ptCPCGateArray, ptCPCGateArrayRGB, ptCPCASIC, ptCPCASICRGB};
  PaletteType = ptCPCGateArray;
}

void TKvBaseAmstradCPCSourceEngine::SetCPCDescription(const std::string& AModeText) {
  Description = "Amstrad CPC" + GetSizeText() + AModeText + " image";
}

namespace {
struct TCPCScreenGeometry {
  int Width, Height, Bits;
  uint8_t PixelAspect;
  const char* Text;
};
const TCPCScreenGeometry CPCScreens[3][2] = {
    {{160, 200, 4, 17, " Mode 0"}, {192, 272, 4, 17, " Mode 0 Overscan"}},
    {{320, 200, 2, 10, " Mode 1"}, {384, 272, 2, 10, " Mode 1 Overscan"}},
    {{640, 200, 1, 1, " Mode 2"}, {768, 272, 1, 1, " Mode 2 Overscan"}},
};
}  // namespace

TKvAmstradCPCSourceEngine::TKvAmstradCPCSourceEngine(TKvLoadSource& ASource, int AMode, bool AOverscan)
    : TKvBaseAmstradCPCSourceEngine(ASource), FMode(AMode), FOverscan(AOverscan) {
  FData = ASource.GetBytes().Sub(AmsdosHeaderSize, AOverscan ? CPCOverscanBodySize : CPCScrBodySize);
  const TKvLoadSourceRec* LPal = GetCPCCompanion(ASource, ".pal");
  if (CheckCPCPalFile(LPal, AMode)) FPal = LPal->View().Sub(AmsdosHeaderSize);
  if (AOverscan && FPal.Empty()) {
    const TKvLoadSourceRec* LKit = GetCPCCompanion(ASource, ".kit");
    if (CheckCPCKitFile(LKit))
      FPlus = LKit->View().Sub(AmsdosHeaderSize);
    else if (FData.U8(CPCOverscanFlagOffset) == 1)
      FPlus = FData.Sub(CPCOverscanPlusOffset, 32);
  }
  const TCPCScreenGeometry& g = CPCScreens[AMode][AOverscan ? 1 : 0];
  Width = g.Width;
  Height = g.Height;
  Bits = g.Bits;
  PixelAspect = g.PixelAspect;
  SetCPCDescription(g.Text);
  if (FPlus.Empty()) SetCPCPaletteTypes();
}

std::unique_ptr<TKvBitmap> TKvAmstradCPCSourceEngine::Decode() {
  const int N = FMode == 0 ? 16 : FMode == 1 ? 4 : 2;
  Palette->Clear();
  if (!FPlus.Empty()) {
    for (int i = 0; i < N; ++i) Palette->AddStdRGB(CPCPlusWordColor(FPlus.Le16(2 * i)));
  } else {
    TKvPalette256 H;
    BuildCPCPalette(H, PaletteType);
    for (int i = 0; i < N; ++i) {
      int k;
      if (!FPal.Empty())
        k = CPCFirmwareOfHardware(FPal.U8(3 + 12 * i));
      else if (FOverscan)
        k = CPCFirmwareOfHardware(FData.U8(CPCOverscanColorsOffset + i));
      else
        k = FData.U8(CPCScrPensOffset + i) < CPCColorCount ? FData.U8(CPCScrPensOffset + i) : 0;
      Palette->AddStdRGB(H.GetStdRGB(k));
    }
  }
  std::unique_ptr<TKvBitmap> LBitmap;
  if (FMode == 2)
    LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int LPerByte = FMode == 0 ? 2 : FMode == 1 ? 4 : 8;
  for (int y = 0; y < Height; ++y) {
    const int64_t s = FOverscan ? CPCOverscanRowOffset(y) : CPCScrRowOffset(y);
    if (FMode == 2) {
      FData.Read(s, LBitmap->GetScanline(y), Width / 8);
      continue;
    }
    for (int x = 0; x < Width; ++x) {
      const uint8_t b = FData.U8(s + x / LPerByte);
      LBitmap->SetPixel(x, y, FMode == 0 ? GetCPCMode0Pixel(b, x) : GetCPCMode1Pixel(b, x));
    }
  }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// 512 x 256

TKvMatchFlags TKvAmstradCPCMode2HGBSourceEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  TKvMatchFlags f;
  if (d.Size() == CPCHgbBodySize)
    f = mfSize;
  else if (d.Size() == AmsdosHeaderSize + CPCHgbBodySize && CheckAmsdosHeader(d, 2, CPCHgbBodySize))
    f = mfHeader | mfSize;
  else
    return 0;
  return ASource.GetExtension() == ".hgb" ? f | mfExtension : f;
}

TKvAmstradCPCMode2HGBSourceEngine::TKvAmstradCPCMode2HGBSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  FData = ASource.GetBytes().Sub(ASource.GetSize() - CPCHgbBodySize, CPCHgbBodySize);
  Width = 512;
  Height = 256;
  Bits = 1;
  PixelAspect = 1;
  SetCPCDescription(" HGB");
}

std::unique_ptr<TKvBitmap> TKvAmstradCPCMode2HGBSourceEngine::Decode() {
  Palette->Clear();
  Palette->AddLinRGB(LinRGBBlack);
  Palette->AddLinRGB(LinRGBWhite);
  auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) FData.Read(CPCHgbRowOffset(y), LBitmap->GetScanline(y), 64);
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Mode 5

namespace {
constexpr int64_t CPCCm5Size = 2049;
constexpr int64_t CPCGfxSize = 18432;
}  // namespace

TKvMatchFlags TKvAmstradCPCMode5SourceEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() != CPCCm5Size || ASource.GetExtension() != ".cm5") return 0;
  const TKvLoadSourceRec* LGfx = GetCPCCompanion(ASource, ".gfx");
  if (!LGfx || LGfx->View().Size() != CPCGfxSize) return 0;
  return mfExtension | mfSize;
}

TKvAmstradCPCMode5SourceEngine::TKvAmstradCPCMode5SourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  FData = ASource.GetBytes().Sub(0, CPCCm5Size);
  const TKvLoadSourceRec* LGfx = GetCPCCompanion(ASource, ".gfx");
  if (LGfx && LGfx->Size == CPCGfxSize) FGfx = LGfx->View();
  Width = 288;
  Height = 256;
  Bits = 2;
  PixelAspect = 10;
  SetCPCDescription(" Mode 5");
  SetCPCPaletteTypes();
}

std::unique_ptr<TKvBitmap> TKvAmstradCPCMode5SourceEngine::Decode() {
  BuildCPCPalette(*Palette, PaletteType);
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  if (FGfx.Empty()) return LBitmap;
  int c[4];
  c[3] = CPCFirmwareOfHardware(FData.U8(0));
  for (int y = 0; y < Height; ++y) {
    const int r = 1 + 8 * y;
    c[2] = CPCFirmwareOfHardware(FData.U8(r));
    c[1] = CPCFirmwareOfHardware(FData.U8(r + 1));
    const int g = 72 * y;
    for (int x = 0; x < Width; ++x) {
      c[0] = CPCFirmwareOfHardware(FData.U8(r + 2 + x / 48));
      LBitmap->SetPixel(x, y, c[GetCPCMode1Pixel(FGfx.U8(g + x / 4), x)]);
    }
  }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Two-frame pictures

TKvMatchFlags TKvBaseAmstradCPCModeBSourceEngine::MatchFrames(TKvLoadSource& ASource, uint8_t AType) {
  const TKvBytes d = ASource.GetBytes();
  const int64_t LSize = d.Size();
  if (LSize != (AType == 5 ? 138 : 150) || !CheckAmsdosHeader(d, 2, static_cast<uint16_t>(LSize - 128))) return 0;
  const TKvBytes b = d.Sub(AmsdosHeaderSize);
  const int W = b.Le16(1), H = b.Le16(3);
  if (b.U8(0) != AType || W < 1 || W > 384 || W % 4 != 0 || H < 1 || H > 272 || b.U8(5) != 1) return 0;
  if (!CheckCPCFramePair(ASource, static_cast<int64_t>(W) * H / 4)) return 0;
  return CPCFlags(ASource, ".pph");
}

TKvBaseAmstradCPCModeBSourceEngine::TKvBaseAmstradCPCModeBSourceEngine(TKvLoadSource& ASource, uint8_t)
    : TKvBaseAmstradCPCSourceEngine(ASource) {
  FData = ASource.GetBytes().Sub(AmsdosHeaderSize);
  FStoredWidth = FData.Le16(1);
  Height = FData.Le16(3);
  // Match found both frames; a source asked without it gets empty frames.
  const int64_t LLength = static_cast<int64_t>(FStoredWidth) * Height / 4;
  if (!CheckCPCFramePair(ASource, LLength)) {
    FStoredWidth = 0;
    Height = 0;
  } else {
    FEve = GetCPCCompanion(ASource, ".eve")->View().Sub(AmsdosHeaderSize);
    FOdd = GetCPCCompanion(ASource, ".odd")->View().Sub(AmsdosHeaderSize);
  }
  SetCPCPaletteTypes();
}

void TKvBaseAmstradCPCModeBSourceEngine::BuildCPCFramePairPalette(int ACount) {
  NeedPalette2();
  Palette2->Clear();
  Palette->Clear();
  TKvPalette256 H;
  BuildCPCPalette(H, PaletteType);
  for (int i = 0; i < ACount; ++i) {
    const int k = FData.U8(6 + i);
    Palette2->AddStdRGB(H.GetStdRGB(k < H.Count ? k : 0));
  }
  Palette->FillMixtures(Palette2.get(), 100, 0);
  ColorCount = ACount;
}

TKvAmstradCPCModeB0SourceEngine::TKvAmstradCPCModeB0SourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 4) {
  Width = FStoredWidth / 2;
  Bits = 8;
  PixelAspect = 17;
  SetCPCDescription(" Mode B0");
}

TKvAmstradCPCModeB1SourceEngine::TKvAmstradCPCModeB1SourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 5) {
  Width = FStoredWidth;
  Bits = 4;
  PixelAspect = 10;
  SetCPCDescription(" Mode B1");
}

TKvAmstradCPCModeRSourceEngine::TKvAmstradCPCModeRSourceEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource, 3) {
  Width = FStoredWidth + 1;
  Bits = 8;
  PixelAspect = 10;
  SetCPCDescription(" Mode R");
}

namespace {
// B0 and B1: value e * n + f from the two frames, read straight through.
std::unique_ptr<TKvBitmap> DecodeCPCFramePair(int W, int H, int n, TKvPalette256& APalette, TKvPalette256& APens,
                                              const TKvBytes& E, const TKvBytes& O) {
  auto LBitmap = std::make_unique<TKvBitmap8>(W, H, &APalette);
  TKvBitmap* F1 = LBitmap->AddFrame(&APens);
  TKvBitmap* F2 = LBitmap->AddFrame(&APens);
  const int LPerByte = n == 16 ? 2 : 4;
  if (E.Empty() || O.Empty()) return LBitmap;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int64_t o = static_cast<int64_t>(y) * (W / LPerByte) + x / LPerByte;
      const int e = n == 16 ? GetCPCMode0Pixel(E.U8(o), x) : GetCPCMode1Pixel(E.U8(o), x);
      const int f = n == 16 ? GetCPCMode0Pixel(O.U8(o), x) : GetCPCMode1Pixel(O.U8(o), x);
      LBitmap->SetPixel(x, y, e * n + f);
      F1->SetPixel(x, y, e);
      F2->SetPixel(x, y, f);
    }
  return LBitmap;
}

int RGBOf(const TKvStdRGBColor& c) { return (c.R << 16) | (c.G << 8) | c.B; }
}  // namespace

std::unique_ptr<TKvBitmap> TKvAmstradCPCModeB0SourceEngine::Decode() {
  BuildCPCFramePairPalette(16);
  return DecodeCPCFramePair(Width, Height, 16, *Palette, *Palette2, FEve, FOdd);
}

std::unique_ptr<TKvBitmap> TKvAmstradCPCModeB1SourceEngine::Decode() {
  BuildCPCFramePairPalette(4);
  return DecodeCPCFramePair(Width, Height, 4, *Palette, *Palette2, FEve, FOdd);
}

std::unique_ptr<TKvBitmap> TKvAmstradCPCModeRSourceEngine::Decode() {
  BuildCPCFramePairPalette(16);
  auto LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
  TKvBitmap* F[2] = {LBitmap->AddFrame(Palette2.get()), LBitmap->AddFrame(Palette2.get())};
  if (FEve.Empty() || FOdd.Empty()) return LBitmap;
  const int LBytes = Width / 4;
  const int64_t LStride = FStoredWidth / 4;
  int s[2] = {0, 1};
  for (int y = 0; y < Height; ++y) {
    for (int k = 0; k < LBytes; ++k) {
      const uint8_t b[2] = {FEve.U8(y * LStride + k), FOdd.U8(y * LStride + k)};
      for (int fr = 0; fr < 2; ++fr)
        for (int p = 0; p < 2; ++p) {
          const int v = GetCPCMode0Pixel(b[fr], p);
          F[fr]->SetPixel(4 * k + s[fr] + 2 * p, y, v);
          F[fr]->SetPixel(4 * k + s[fr] + 2 * p + 1, y, v);
        }
    }
    for (int x = 0; x < Width; ++x) {
      const int d = F[0]->GetPixel(x, y), e = F[1]->GetPixel(x, y);
      if (x == 0 || x == Width - 1) {
        // At the edges one frame shows nothing: black mixes with the other.
        TKvLinRGBColor c[2] = {Palette2->GetLinRGB(d), Palette2->GetLinRGB(e)};
        const int LShift = x == 0 ? 1 : 0;
        for (int fr = 0; fr < 2; ++fr)
          if (s[fr] == LShift) c[fr] = LinRGBBlack;
        TKvColor m;
        m.InitLinRGB(MiddleLinRGB(c[0], c[1]));
        LBitmap->SetPixel(x, y, RGBOf(m.GetStdRGB()));
      } else {
        LBitmap->SetPixel(x, y, RGBOf(Palette->GetStdRGB(d * 16 + e)));
      }
    }
    s[0] = 1 - s[0];
    s[1] = 1 - s[1];
  }
  return LBitmap;
}

void InitKvOpenPlatformAmstradCPC() {
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode0SourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode0ExSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode1SourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode1ExSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode2SourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode2ExSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode2HGBSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCMode5SourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCModeRSourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCModeB0SourceEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvAmstradCPCModeB1SourceEngine>());
}
