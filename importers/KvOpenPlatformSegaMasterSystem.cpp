#include "importers/KvOpenPlatformSegaMasterSystem.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformSegaMasterSystem.h"

namespace {

constexpr uint8_t kAspectSms = 12;  // "1.138:1"

// Register bits.
constexpr uint8_t kReg0HideLeftColumn = 0x20;
constexpr uint8_t kReg0ShiftSprites = 0x08;
constexpr uint8_t kReg0Mode4 = 0x04;
constexpr uint8_t kReg1TallSprites = 0x02;

// Name-table entry bits.
constexpr uint32_t kEntryPriority = 0x1000;
constexpr uint32_t kEntrySpritePalette = 0x800;
constexpr uint32_t kEntryVFlip = 0x400;
constexpr uint32_t kEntryHFlip = 0x200;

// The colour of the leftmost pixel of a pattern line: bit 7 of each of its
// four plane bytes, plane 3 highest.
int PatternColor(uint32_t APattern) {
  return ((APattern >> 7) & 1) | ((APattern >> 14) & 2) | ((APattern >> 21) & 4) | ((APattern >> 28) & 8);
}

// Each byte of the pattern line shifted left by AShift within itself.
uint32_t ShiftPattern(uint32_t APattern, int AShift) {
  const uint32_t LMask = (0xFFu << AShift) & 0xFF;
  return (APattern << AShift) & (LMask * 0x01010101u);
}

// Takes ACount bytes from the walk; false unless more than ACount remain.
bool SkipMore(TKvBytes& AWalk, int64_t ACount) {
  if (AWalk.Size() <= ACount) return false;
  AWalk = AWalk.Sub(ACount);
  return true;
}

}  // namespace

bool FindMekaBlocks(const TKvBytes& AFile, TKvBytes& ARegisters, TKvBytes& AVideoRam, TKvBytes& AColorRam) {
  if (AFile.Size() <= 16384 || !AFile.Same(0, "MEKA\x1A", 5)) return false;
  const int LVersion = AFile.U8(5);
  if (LVersion < 5 || LVersion > 14 || AFile.U8(6) != 0) return false;
  TKvBytes p = AFile.Sub(7);
  if (LVersion >= 12 && !SkipMore(p, 4)) return false;
  // The machine block: the registers at its byte 52.
  if (!SkipMore(p, 52) || p.Size() <= kSmsRegisterCount) return false;
  ARegisters = p;
  if (!SkipMore(p, 44)) return false;
  if (LVersion >= 13 && !SkipMore(p, 2)) return false;
  // Work RAM, then video RAM, then colour RAM.
  if (!SkipMore(p, 8192)) return false;
  AVideoRam = p;
  if (!SkipMore(p, kSmsVramSize) || p.Size() < 33) return false;
  AColorRam = p;
  return true;
}

// ---------------------------------------------------------------------------

TKvBaseSegaMasterSystemEngine::TKvBaseSegaMasterSystemEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource) {}

void TKvBaseSegaMasterSystemEngine::SetUpScreen(const TKvBytes& ARegisters, const TKvBytes& AColorRam,
                                                const TKvBytes& AVideoRam) {
  FRegisters = ARegisters.Sub(0, kSmsRegisterCount);
  FColorRam = AColorRam.Sub(0, 32);
  FVideoRam = AVideoRam.Sub(0, kSmsVramSize);
  Width = (FRegisters.U8(0) & kReg0HideLeftColumn) ? 248 : 256;
  Height = 192;
  Bits = 5;
  PixelAspect = kAspectSms;
  Description = "Sega Master System" + GetSizeText() + " image";
}

std::unique_ptr<TKvBitmap> TKvBaseSegaMasterSystemEngine::Decode() {
  NeedPalette2();
  BuildSmsPalette(*Palette2);
  Palette->Clear();
  for (int i = 0; i < 32; ++i) Palette->AddLinRGB(Palette2->GetLinRGB(FColorRam.U8(i) & 0x3F));
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  DrawBackground(*LBitmap, 0);
  DrawSprites(*LBitmap);
  DrawBackground(*LBitmap, kEntryPriority);
  return LBitmap;
}

void TKvBaseSegaMasterSystemEngine::DrawBackground(TKvBitmap& ABitmap, int APriority) {
  const int LNames = (FRegisters.U8(2) & 0x0E) * 1024;
  const int LScrollX = FRegisters.U8(8), LScrollY = FRegisters.U8(9);
  const int LLeft = (FRegisters.U8(0) & kReg0HideLeftColumn) ? 8 : 0;
  for (int r = 0; r < 28; ++r)
    for (int c = 0; c < 32; ++c) {
      const uint32_t e = FVideoRam.Le16(LNames + r * 64 + c * 2);
      if (static_cast<int>(e & kEntryPriority) != APriority) continue;
      const int LTile = (e & 0x1FF) * 32;
      const int LHalf = (e & kEntrySpritePalette) ? 16 : 0;
      for (int k = 0; k < 8; ++k) {
        uint32_t LPattern = FVideoRam.Le32(LTile + k * 4);
        const int ty = (e & kEntryVFlip) ? 7 - k : k;
        int y = r * 8 + ty - LScrollY;
        if (y < 0)
          y += 224;
        else if (y >= 224)
          y -= 224;
        for (int i = 0; i < 8; ++i, LPattern = ShiftPattern(LPattern, 1)) {
          const int LColor = PatternColor(LPattern) + LHalf;
          if (LColor == 0) continue;
          const int tx = (e & kEntryHFlip) ? 7 - i : i;
          const int x = ((c * 8 + tx - LScrollX) & 255) - LLeft;
          if (x >= 0 && x < Width && y >= 0 && y < Height) ABitmap.SetPixel(x, y, LColor);
        }
      }
    }
}

void TKvBaseSegaMasterSystemEngine::DrawSprites(TKvBitmap& ABitmap) {
  const TKvBytes LTable = FVideoRam.Sub((FRegisters.U8(5) & 0x7E) * 128, 256);
  const int LPatterns = (FRegisters.U8(6) & 4) * 2048;
  const bool LTall = (FRegisters.U8(1) & kReg1TallSprites) != 0;
  const int LSpriteHeight = LTall ? 16 : 8;
  const uint8_t LReg0 = FRegisters.U8(0);
  const int LShift = ((LReg0 & kReg0HideLeftColumn) ? 8 : 0) + ((LReg0 & kReg0ShiftSprites) ? 8 : 0);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      int LOnLine = 0;
      for (int s = 0; s < 64; ++s) {
        const uint8_t sy = LTable.U8(s);
        if (Height == 192 && sy == 0xD0) break;
        const int LLine = (y - sy - 1) & 255;
        if (LLine >= LSpriteHeight) continue;
        const int d = x + LShift - LTable.U8(128 + 2 * s);
        int LColor = 0;
        if (d >= 0 && d < 8) {
          int LTile = LTable.U8(129 + 2 * s);
          if (LTall) LTile = (LTile & 0xFE) + (LLine >= 8 ? 1 : 0);
          LColor = PatternColor(ShiftPattern(FVideoRam.Le32(LPatterns + LTile * 32 + (LLine & 7) * 4), d));
        }
        if (LColor != 0) {
          ABitmap.SetPixel(x, y, LColor + 16);
          break;
        }
        // Only eight sprites show on a line.
        if (++LOnLine == 8) break;
      }
    }
}

// ---------------------------------------------------------------------------

TKvSegaMasterSystemEngine::TKvSegaMasterSystemEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (!CheckMsbmpHeader(d)) RaiseInternalError();
  const TKvBytes LRegisters = d.Sub(d.Le16(7));
  SetUpScreen(LRegisters, LRegisters.Sub(kSmsRegisterCount), LRegisters.Sub(kSmsRegisterCount + 64));
}

TKvMatchFlags TKvSegaMasterSystemEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() <= 9 || !CheckMsbmpHeader(d)) return 0;
  if (!(d.U8(d.Le16(7)) & kReg0Mode4)) return 0;
  return ASource.GetExtension() == ".sbm" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

TKvMekaSnapshotEngine::TKvMekaSnapshotEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  TKvBytes LRegisters, LVideoRam, LColorRam;
  if (!FindMekaBlocks(ASource.GetBytes(), LRegisters, LVideoRam, LColorRam)) RaiseInternalError();
  SetUpScreen(LRegisters, LColorRam, LVideoRam);
}

TKvMatchFlags TKvMekaSnapshotEngine::Match(TKvLoadSource& ASource) {
  TKvBytes LRegisters, LVideoRam, LColorRam;
  if (!FindMekaBlocks(ASource.GetBytes(), LRegisters, LVideoRam, LColorRam)) return 0;
  return (LRegisters.U8(0) & kReg0Mode4) ? mfHeader : 0;
}

void InitKvOpenPlatformSegaMasterSystem() {
  RegisterSourceEngine(SourceEngineClass<TKvSegaMasterSystemEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvMekaSnapshotEngine>());
}
