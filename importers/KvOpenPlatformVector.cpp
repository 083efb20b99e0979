#include "importers/KvOpenPlatformVector.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformVector.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"

namespace KvOpenPlatformVector {

const uint8_t VectorScrDefaultPalette[16] = {64, 128, 16, 208, 6, 134, 22, 54, 0, 197, 34, 192, 2, 152, 82, 173};

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Tries an unpacker on a scratch memory: false for any error.
bool Unpacks(void (*AUnpack)(const uint8_t*, int64_t, uint8_t*), const uint8_t* AData, int64_t ASize) {
  try {
    std::vector<uint8_t> LMemory(VectorVideoMemorySize);
    AUnpack(AData, ASize, LMemory.data());
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

void UnpackVectorScr(const uint8_t* AData, int64_t ASize, uint8_t* AMemory) {
  std::memset(AMemory, 0, VectorVideoMemorySize);
  if (!AData || ASize < 64) RaiseOSError(87);
  const int64_t LLast = 64 + static_cast<int64_t>(Word(AData + 2));
  if (LLast >= ASize) RaiseOSError(87);
  const uint8_t E1 = AData[16], E2 = AData[32], E3 = AData[48], F = AData[4];
  int64_t p = LLast;  // the packed data are read backwards down to offset 64
  int LOut = VectorVideoMemorySize;  // the memory fills downwards
  auto Put = [&](uint8_t AValue, int ACount) {
    if (ACount > LOut) RaiseOSError(86);
    for (; ACount > 0; --ACount) AMemory[--LOut] = AValue;
  };
  while (p >= 64) {
    if (LOut == 0) RaiseOSError(86);
    const uint8_t b = AData[p--];
    if (b == E1) {
      Put(F, 2);
    } else if (b == E2) {
      if (p < 64) RaiseOSError(87);
      Put(AData[p--], 3);
    } else if (b == E3) {
      if (p < 65) RaiseOSError(87);
      const int n = AData[p--];
      if (n == 0) RaiseOSError(87);
      Put(AData[p--], n);
    } else {
      Put(b, 1);
    }
  }
  // The escape bytes that stand as plain data.
  for (int LList = 16; LList <= 48; LList += 16) {
    const int LCount = AData[LList + 1];
    for (int i = 0; i < LCount && i < 7; ++i) {
      const uint16_t a = Word(AData + LList + 2 + 2 * i);
      if (a < VectorVideoMemorySize) AMemory[a] = AData[LList];
    }
  }
}

void UnpackVectorSpr(const uint8_t* AData, int64_t ASize, uint8_t* AMemory) {
  std::memset(AMemory, 0, VectorVideoMemorySize);
  if (!AData || ASize < VectorSprHeaderSize) RaiseOSError(87);
  const uint8_t* d = AData + VectorSprHeaderSize;
  int64_t n = ASize - VectorSprHeaderSize;  // bytes left, read backwards
  while (n > 0 && d[n - 1] == 0) --n;
  if (n == 0) RaiseOSError(87);
  int LOut = VectorVideoMemorySize;
  while (LOut > 0) {
    if (n < 2) RaiseOSError(87);
    const int c = d[--n];
    if (c > 128) {
      const int LCount = c - 128;
      const uint8_t v = d[--n];
      if (LCount > LOut) RaiseOSError(87);
      for (int i = 0; i < LCount; ++i) AMemory[--LOut] = v;
    } else if (c > 0) {
      if (c > n || c > LOut) RaiseOSError(87);
      for (int i = 0; i < c; ++i) AMemory[--LOut] = d[--n];
    } else {
      RaiseOSError(87);
    }
  }
  if (n != 0) RaiseOSError(87);
}

// ---------------------------------------------------------------------------
// Base

TKvVectorEngine::TKvVectorEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource), FData(ASource.GetData()) {
  PixelAspect = 13;  // "1:0.75"
  PaletteTypes = {ptColoredLinear, ptColoredEMU, ptColoredVirtualVector};
  PaletteType = ptColoredLinear;
  Width = 256;
  Height = 256;
  Bits = 4;
}

uint8_t* TKvVectorEngine::NeedVideoMemory() {
  if (FVideoMemory.empty()) FVideoMemory.assign(VectorVideoMemorySize, 0);
  return FVideoMemory.data();
}

bool TKvVectorEngine::CheckPals(const uint8_t* AData, int64_t ASize) {
  if (!AData || ASize == 0) return false;
  const int k = AData[0];
  if (k > 16 || ASize != 510 * static_cast<int64_t>(k) + 1) return false;
  for (int64_t i = 1; i < ASize; i += 2)
    if (AData[i] > 15) return false;
  return true;
}

void TKvVectorEngine::FindPals() {
  const TKvLoadSourceRec* r = Source->GetFile(ChangeFileExt(FileName, ".pals"));
  if (r && CheckPals(r->Data, r->Size)) FPals = r->Data;
}

void TKvVectorEngine::Describe() {
  Description = "Vector-06C" + GetSizeText();
  if (FPals) Description += " HAM" + std::to_string(FPals[0]);
  Description += " image";
}

void TKvVectorEngine::DecodeRow(TKvBitmap& ABitmap, int AY, const TKvPalette256* ALinePalette,
                                const TKvPalette256* ADisplayPalette) {
  const uint8_t* m = NeedVideoMemory();
  int LMap[16];
  for (int v = 0; v < 16; ++v)
    LMap[v] = ALinePalette && ADisplayPalette ? ADisplayPalette->LocateStdRGB(ALinePalette->GetStdRGB(v)) : v;
  for (int x = 0; x < 256; ++x) {
    const int o = VectorVideoOffset(x, AY);
    const uint8_t LMask = VectorVideoMask(x);
    int v = 0;
    for (int p = 0; p < 4; ++p)
      if (m[p * VectorPlaneSize + o] & LMask) v |= 8 >> p;
    ABitmap.SetPixel(x, AY, LMap[v]);
  }
}

std::unique_ptr<TKvBitmap> TKvVectorEngine::DecodePlain() {
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y) DecodeRow(*LBitmap, y, nullptr, nullptr);
  return LBitmap;
}

void TKvVectorEngine::BuildHAMDisplayPalette(const TKvPalette256& ATable, TKvPalette256& ADisplay) {
  if (Palette->Count != 16) RaiseOSError(87);
  ADisplay.Clear();
  for (int i = 0; i < 16; ++i) ADisplay.AddUniqueStdRGB(Palette->GetStdRGB(i));
  if (FPals) {
    const int64_t LSize = 510 * static_cast<int64_t>(FPals[0]) + 1;
    for (int64_t i = 2; i < LSize; i += 2) ADisplay.AddUniqueStdRGB(ATable.GetStdRGB(FPals[i]));
  }
  ADisplay.SortByGray(0);
}

std::unique_ptr<TKvBitmap> TKvVectorEngine::DecodeHAM(const TKvPalette256& ATable) {
  TKvPalette256 LDisplay;
  BuildHAMDisplayPalette(ATable, LDisplay);
  TKvPalette256 LLine;
  LLine.Assign(Palette.get());
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, &LDisplay);
  const int k = FPals[0];
  for (int y = 0; y < Height; ++y) {
    if (y > 0 && y < 256)
      for (int j = 0; j < k; ++j) {
        const uint8_t* LPair = FPals + 1 + (static_cast<int64_t>(y - 1) * k + j) * 2;
        LLine.Colors[LPair[0]] = ATable.Colors[LPair[1]];
      }
    DecodeRow(*LBitmap, y, &LLine, &LDisplay);
  }
  Palette->Assign(&LDisplay);
  return LBitmap;
}

std::unique_ptr<TKvBitmap> TKvVectorEngine::Decode() {
  TKvPalette256 LTable;
  BuildVectorPalette(PaletteType, LTable);
  Palette->Clear();
  for (int i = 0; i < 16; ++i) Palette->AddColor(LTable.Colors[GetColorByte(i)]);
  if (FPals && Height == 256) return DecodeHAM(LTable);
  return DecodePlain();
}

// ---------------------------------------------------------------------------
// ".scr"

TKvVectorSCREngine::TKvVectorSCREngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  UnpackVectorScr(ASource.GetData(), ASource.GetSize(), NeedVideoMemory());
  Describe();
}

TKvMatchFlags TKvVectorSCREngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  const int64_t LSize = ASource.GetSize();
  if (!d || LSize < 64 || !CheckVectorScrHeader(d, LSize) || !Unpacks(UnpackVectorScr, d, LSize)) return 0;
  return ASource.GetExtension() == ".scr" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

// ---------------------------------------------------------------------------
// ".spr"

TKvVectorSPREngine::TKvVectorSPREngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (ASource.GetSize() < 20) RaiseOSError(87);
  FindPals();
  UnpackVectorSpr(ASource.GetData(), ASource.GetSize(), NeedVideoMemory());
  Describe();
}

TKvMatchFlags TKvVectorSPREngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  const int64_t LSize = ASource.GetSize();
  if (!d || ASource.GetExtension() != ".spr" || LSize < 20 || !Unpacks(UnpackVectorSpr, d, LSize)) return 0;
  return mfHeader | mfSize;
}

// ---------------------------------------------------------------------------
// ".rmb"

TKvVectorRMBEngine::TKvVectorRMBEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (!FData || ASource.GetSize() < VectorRmbHeaderSize) RaiseOSError(87);
  Width = FData[16] * 8;
  Height = FData[17] ? FData[17] : 256;
  if (Width == 256 && Height == 256) FindPals();
  Describe();
}

TKvMatchFlags TKvVectorRMBEngine::Match(TKvLoadSource& ASource) {
  const uint8_t* d = ASource.GetData();
  const int64_t LSize = ASource.GetSize();
  if (!d || LSize < 20 || !CheckVectorRmbHeader(d, LSize)) return 0;
  const std::string& e = ASource.GetExtension();
  return e == ".rmb" || e == ".rbr" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

void TKvVectorRMBEngine::DecodeRow(TKvBitmap& ABitmap, int AY, const TKvPalette256* ALinePalette,
                                   const TKvPalette256* ADisplayPalette) {
  const int w = FData[16];
  const int64_t LSize = Source->GetSize();
  const int64_t LRow = VectorRmbHeaderSize + static_cast<int64_t>(AY) * 4 * w;
  int LMap[16];
  for (int v = 0; v < 16; ++v)
    LMap[v] = ALinePalette && ADisplayPalette ? ADisplayPalette->LocateStdRGB(ALinePalette->GetStdRGB(v)) : v;
  // A short file decodes what it holds; the rest reads as 0.
  auto Byte = [&](int64_t AOffset) -> uint8_t { return AOffset < LSize ? FData[AOffset] : 0; };
  for (int x = 0; x < w * 8; ++x) {
    const uint8_t LMask = VectorVideoMask(x);
    int v = 0;
    for (int k = 0; k < 4; ++k)
      if (Byte(LRow + static_cast<int64_t>(k) * w + x / 8) & LMask) v |= 1 << k;
    ABitmap.SetPixel(x, AY, LMap[v]);
  }
}

}  // namespace KvOpenPlatformVector

void InitKvOpenPlatformVector() {
  using namespace KvOpenPlatformVector;
  RegisterSourceEngine(SourceEngineClass<TKvVectorSCREngine>());
  RegisterSourceEngine(SourceEngineClass<TKvVectorSPREngine>());
  RegisterSourceEngine(SourceEngineClass<TKvVectorRMBEngine>());
}
