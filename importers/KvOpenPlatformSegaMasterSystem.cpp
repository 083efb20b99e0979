#include "importers/KvOpenPlatformSegaMasterSystem.h"

#include <cstring>

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

uint32_t PatternAt(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
         (static_cast<uint32_t>(P[3]) << 24);
}

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
bool SkipMore(const uint8_t*& AP, int64_t& ARemaining, int64_t ACount) {
  if (ARemaining <= ACount) return false;
  AP += ACount;
  ARemaining -= ACount;
  return true;
}

}  // namespace

bool FindMekaBlocks(const uint8_t* AData, int64_t ASize, const uint8_t*& ARegisters, const uint8_t*& AVideoRam,
                    const uint8_t*& AColorRam) {
  if (!AData || ASize <= 16384 || std::memcmp(AData, "MEKA\x1A", 5) != 0) return false;
  const int LVersion = AData[5];
  if (LVersion < 5 || LVersion > 14 || AData[6] != 0) return false;
  const uint8_t* p = AData + 7;
  int64_t LRemaining = ASize - 7;
  if (LVersion >= 12 && !SkipMore(p, LRemaining, 4)) return false;
  // The machine block: the registers at its byte 52.
  if (!SkipMore(p, LRemaining, 52) || LRemaining <= kSmsRegisterCount) return false;
  ARegisters = p;
  if (!SkipMore(p, LRemaining, 44)) return false;
  if (LVersion >= 13 && !SkipMore(p, LRemaining, 2)) return false;
  // Work RAM, then video RAM, then colour RAM.
  if (!SkipMore(p, LRemaining, 8192)) return false;
  AVideoRam = p;
  if (!SkipMore(p, LRemaining, kSmsVramSize) || LRemaining < 33) return false;
  AColorRam = p;
  return true;
}

// ---------------------------------------------------------------------------

TKvBaseSegaMasterSystemEngine::TKvBaseSegaMasterSystemEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource) {}

void TKvBaseSegaMasterSystemEngine::SetUpScreen(const uint8_t* ARegisters, const uint8_t* AColorRam,
                                                const uint8_t* AVideoRam) {
  FRegisters = ARegisters;
  FColorRam = AColorRam;
  FVideoRam = AVideoRam;
  Width = (FRegisters[0] & kReg0HideLeftColumn) ? 248 : 256;
  Height = 192;
  Bits = 5;
  PixelAspect = kAspectSms;
  Description = "Sega Master System" + GetSizeText() + " image";
}

std::unique_ptr<TKvBitmap> TKvBaseSegaMasterSystemEngine::Decode() {
  NeedPalette2();
  BuildSmsPalette(*Palette2);
  Palette->Clear();
  for (int i = 0; i < 32; ++i) Palette->AddLinRGB(Palette2->GetLinRGB(FColorRam[i] & 0x3F));
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  DrawBackground(*LBitmap, 0);
  DrawSprites(*LBitmap);
  DrawBackground(*LBitmap, kEntryPriority);
  return LBitmap;
}

void TKvBaseSegaMasterSystemEngine::DrawBackground(TKvBitmap& ABitmap, int APriority) {
  const uint8_t* LNames = FVideoRam + (FRegisters[2] & 0x0E) * 1024;
  const int LScrollX = FRegisters[8], LScrollY = FRegisters[9];
  const int LLeft = (FRegisters[0] & kReg0HideLeftColumn) ? 8 : 0;
  for (int r = 0; r < 28; ++r)
    for (int c = 0; c < 32; ++c) {
      const uint32_t e = LNames[r * 64 + c * 2] | (LNames[r * 64 + c * 2 + 1] << 8);
      if (static_cast<int>(e & kEntryPriority) != APriority) continue;
      const uint8_t* LTile = FVideoRam + (e & 0x1FF) * 32;
      const int LHalf = (e & kEntrySpritePalette) ? 16 : 0;
      for (int k = 0; k < 8; ++k) {
        uint32_t LPattern = PatternAt(LTile + k * 4);
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
  const uint8_t* LTable = FVideoRam + (FRegisters[5] & 0x7E) * 128;
  const uint8_t* LPatterns = FVideoRam + (FRegisters[6] & 4) * 2048;
  const bool LTall = (FRegisters[1] & kReg1TallSprites) != 0;
  const int LSpriteHeight = LTall ? 16 : 8;
  const int LShift = ((FRegisters[0] & kReg0HideLeftColumn) ? 8 : 0) + ((FRegisters[0] & kReg0ShiftSprites) ? 8 : 0);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      int LOnLine = 0;
      for (int s = 0; s < 64; ++s) {
        const uint8_t sy = LTable[s];
        if (Height == 192 && sy == 0xD0) break;
        const int LLine = (y - sy - 1) & 255;
        if (LLine >= LSpriteHeight) continue;
        const int d = x + LShift - LTable[128 + 2 * s];
        int LColor = 0;
        if (d >= 0 && d < 8) {
          int LTile = LTable[129 + 2 * s];
          if (LTall) LTile = (LTile & 0xFE) + (LLine >= 8 ? 1 : 0);
          LColor = PatternColor(ShiftPattern(PatternAt(LPatterns + LTile * 32 + (LLine & 7) * 4), d));
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
  const uint8_t* d = ASource.GetData();
  if (!CheckMsbmpHeader(d, ASource.GetSize())) RaiseInternalError();
  const uint8_t* LRegisters = d + (d[7] | (d[8] << 8));
  SetUpScreen(LRegisters, LRegisters + kSmsRegisterCount, LRegisters + kSmsRegisterCount + 64);
}

TKvMatchFlags TKvSegaMasterSystemEngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  if (ASource.GetSize() <= 9 || !CheckMsbmpHeader(d, ASource.GetSize())) return 0;
  if (!(d[d[7] | (d[8] << 8)] & kReg0Mode4)) return 0;
  return ASource.GetExtension() == ".sbm" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

TKvMekaSnapshotEngine::TKvMekaSnapshotEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const uint8_t *LRegisters, *LVideoRam, *LColorRam;
  if (!FindMekaBlocks(ASource.GetData(), ASource.GetSize(), LRegisters, LVideoRam, LColorRam)) RaiseInternalError();
  SetUpScreen(LRegisters, LColorRam, LVideoRam);
}

TKvMatchFlags TKvMekaSnapshotEngine::Match(TKvLoadSource& ASource) {
  const uint8_t *LRegisters, *LVideoRam, *LColorRam;
  if (!FindMekaBlocks(ASource.GetData(), ASource.GetSize(), LRegisters, LVideoRam, LColorRam)) return 0;
  return (LRegisters[0] & kReg0Mode4) ? mfHeader : 0;
}

void InitKvOpenPlatformSegaMasterSystem() {
  RegisterSourceEngine(SourceEngineClass<TKvSegaMasterSystemEngine>());
  RegisterSourceEngine(SourceEngineClass<TKvMekaSnapshotEngine>());
}
