#include "importers/KvOpenPlatformVector.h"

#include <cstring>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformVector.h"
#include "rtl/KvSysUtils.h"

namespace KvOpenPlatformVector {

const uint8_t VectorScrDefaultPalette[16] = {64, 128, 16, 208, 6, 134, 22, 54, 0, 197, 34, 192, 2, 152, 82, 173};

namespace {

// Tries an unpacker on a scratch memory: false for any error.
bool Unpacks(void (*AUnpack)(const TKvBytes&, uint8_t*), const TKvBytes& AFile) {
  try {
    std::vector<uint8_t> LMemory(VectorVideoMemorySize);
    AUnpack(AFile, LMemory.data());
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

void UnpackVectorScr(const TKvBytes& AFile, uint8_t* AMemory) {
  std::memset(AMemory, 0, VectorVideoMemorySize);
  if (AFile.Size() < 64) RaiseTruncatedData();
  const int64_t LLast = 64 + static_cast<int64_t>(AFile.Le16(2));
  if (LLast >= AFile.Size()) RaiseSizeOutOfRange();
  const uint8_t E1 = AFile.U8(16), E2 = AFile.U8(32), E3 = AFile.U8(48), F = AFile.U8(4);
  int64_t p = LLast;  // the packed data are read backwards down to offset 64
  int LOut = VectorVideoMemorySize;  // the memory fills downwards
  auto Put = [&](uint8_t AValue, int ACount) {
    if (ACount > LOut) RaiseScreenMismatch();
    for (; ACount > 0; --ACount) AMemory[--LOut] = AValue;
  };
  while (p >= 64) {
    if (LOut == 0) RaiseScreenMismatch();
    const uint8_t b = AFile.U8(p--);
    if (b == E1) {
      Put(F, 2);
    } else if (b == E2) {
      if (p < 64) RaiseTruncatedData();
      Put(AFile.U8(p--), 3);
    } else if (b == E3) {
      if (p < 65) RaiseTruncatedData();
      const int n = AFile.U8(p--);
      if (n == 0) RaiseSizeOutOfRange();
      Put(AFile.U8(p--), n);
    } else {
      Put(b, 1);
    }
  }
  // The escape bytes that stand as plain data.
  for (int LList = 16; LList <= 48; LList += 16) {
    const int LCount = AFile.U8(LList + 1);
    for (int i = 0; i < LCount && i < 7; ++i) {
      const uint16_t a = AFile.Le16(LList + 2 + 2 * i);
      if (a < VectorVideoMemorySize) AMemory[a] = AFile.U8(LList);
    }
  }
}

void UnpackVectorSpr(const TKvBytes& AFile, uint8_t* AMemory) {
  std::memset(AMemory, 0, VectorVideoMemorySize);
  if (AFile.Size() < VectorSprHeaderSize) RaiseTruncatedData();
  const TKvBytes d = AFile.Sub(VectorSprHeaderSize);
  int64_t n = d.Size();  // bytes left, read backwards
  while (n > 0 && d.U8(n - 1) == 0) --n;
  if (n == 0) RaiseTruncatedData();
  int LOut = VectorVideoMemorySize;
  while (LOut > 0) {
    if (n < 2) RaiseTruncatedData();
    const int c = d.U8(--n);
    if (c > 128) {
      const int LCount = c - 128;
      const uint8_t v = d.U8(--n);
      if (LCount > LOut) RaiseSizeOutOfRange();
      for (int i = 0; i < LCount; ++i) AMemory[--LOut] = v;
    } else if (c > 0) {
      if (c > n || c > LOut) RaiseSizeOutOfRange();
      for (int i = 0; i < c; ++i) AMemory[--LOut] = d.U8(--n);
    } else {
      // A run of no bytes.
      RaiseSizeOutOfRange();
    }
  }
  // Packed bytes left once the memory is full.
  if (n != 0) RaiseSizeOutOfRange();
}

// ---------------------------------------------------------------------------
// Base

TKvVectorEngine::TKvVectorEngine(TKvLoadSource& ASource) : TKvSourceEngine(ASource), FData(ASource.GetBytes()) {
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

bool TKvVectorEngine::CheckPals(const TKvBytes& APals) {
  if (APals.Empty()) return false;
  const int k = APals.U8(0);
  if (k > 16 || APals.Size() != 510 * static_cast<int64_t>(k) + 1) return false;
  for (int64_t i = 1; i < APals.Size(); i += 2)
    if (APals.U8(i) > 15) return false;
  return true;
}

void TKvVectorEngine::FindPals() {
  const TKvLoadSourceRec* r = Source->GetFile(ChangeFileExt(FileName, ".pals"));
  if (r && CheckPals(r->View())) FPals = r->View();
}

void TKvVectorEngine::Describe() {
  Description = "Vector-06C" + GetSizeText();
  if (!FPals.Empty()) Description += " HAM" + std::to_string(FPals.U8(0));
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
  if (Palette->Count != 16) RaiseUnsupportedOption();
  ADisplay.Clear();
  for (int i = 0; i < 16; ++i) ADisplay.AddUniqueStdRGB(Palette->GetStdRGB(i));
  for (int64_t i = 2; i < FPals.Size(); i += 2) ADisplay.AddUniqueStdRGB(ATable.GetStdRGB(FPals.U8(i)));
  ADisplay.SortByGray(0);
}

std::unique_ptr<TKvBitmap> TKvVectorEngine::DecodeHAM(const TKvPalette256& ATable) {
  TKvPalette256 LDisplay;
  BuildHAMDisplayPalette(ATable, LDisplay);
  TKvPalette256 LLine;
  LLine.Assign(Palette.get());
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, &LDisplay);
  const int k = FPals.U8(0);
  for (int y = 0; y < Height; ++y) {
    if (y > 0 && y < 256)
      for (int j = 0; j < k; ++j) {
        const int64_t LPair = 1 + (static_cast<int64_t>(y - 1) * k + j) * 2;
        LLine.Colors[FPals.U8(LPair)] = ATable.Colors[FPals.U8(LPair + 1)];
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
  if (!FPals.Empty() && Height == 256) return DecodeHAM(LTable);
  return DecodePlain();
}

// ---------------------------------------------------------------------------
// ".scr"

TKvVectorSCREngine::TKvVectorSCREngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  UnpackVectorScr(FData, NeedVideoMemory());
  Describe();
}

TKvMatchFlags TKvVectorSCREngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() < 64 || !CheckVectorScrHeader(d, d.Size()) || !Unpacks(UnpackVectorScr, d)) return 0;
  return ASource.GetExtension() == ".scr" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

// ---------------------------------------------------------------------------
// ".spr"

TKvVectorSPREngine::TKvVectorSPREngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (FData.Size() < 20) RaiseTruncatedData();
  FindPals();
  UnpackVectorSpr(FData, NeedVideoMemory());
  Describe();
}

TKvMatchFlags TKvVectorSPREngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (ASource.GetExtension() != ".spr" || d.Size() < 20 || !Unpacks(UnpackVectorSpr, d)) return 0;
  return mfHeader | mfSize;
}

// ---------------------------------------------------------------------------
// ".rmb"

TKvVectorRMBEngine::TKvVectorRMBEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (FData.Size() < VectorRmbHeaderSize) RaiseTruncatedData();
  Width = FData.U8(16) * 8;
  Height = FData.U8(17) ? FData.U8(17) : 256;
  if (Width == 256 && Height == 256) FindPals();
  Describe();
}

TKvMatchFlags TKvVectorRMBEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes d = ASource.GetBytes();
  if (d.Size() < 20 || !CheckVectorRmbHeader(d, d.Size())) return 0;
  const std::string& e = ASource.GetExtension();
  return e == ".rmb" || e == ".rbr" ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

void TKvVectorRMBEngine::DecodeRow(TKvBitmap& ABitmap, int AY, const TKvPalette256* ALinePalette,
                                   const TKvPalette256* ADisplayPalette) {
  const int w = FData.U8(16);
  const int64_t LRow = VectorRmbHeaderSize + static_cast<int64_t>(AY) * 4 * w;
  int LMap[16];
  for (int v = 0; v < 16; ++v)
    LMap[v] = ALinePalette && ADisplayPalette ? ADisplayPalette->LocateStdRGB(ALinePalette->GetStdRGB(v)) : v;
  // A short file decodes what it holds; the rest reads as 0.
  auto Byte = [&](int64_t AOffset) -> uint8_t { return FData.Has(AOffset, 1) ? FData.U8(AOffset) : 0; };
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
