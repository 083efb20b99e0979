#include "bitmap/B32.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------
// TPlainInterfacedPersistent

int32_t TPlainInterfacedPersistent::AddRef() {
  if (!FRefCounted) return -1;
  return ++FRefCount;
}

int32_t TPlainInterfacedPersistent::Release() {
  if (!FRefCounted) return -1;
  const int32_t n = --FRefCount;
  if (n == 0) delete this;
  return n;
}

void TPlainInterfacedPersistent::BeforeDestruction() {
  if (FRefCounted && FRefCount.load() != 0) throw Exception("Unmatched reference counting.");
}

void TPlainInterfacedPersistent::Free() {
  BeforeDestruction();
  delete this;
}

// ---------------------------------------------------------------------------
// TNotifiablePersistent

void TNotifiablePersistent::Changed() {
  if (FUpdateCount == 0 && FOnChange) FOnChange(this);
}

void TNotifiablePersistent::BeginUpdate() { ++FUpdateCount; }

void TNotifiablePersistent::EndUpdate() {
  if (FUpdateCount <= 0) throw EAssertionFailed("Unpaired TThreadPersistent.EndUpdate");
  --FUpdateCount;
}

// ---------------------------------------------------------------------------
// TThreadPersistent

void TThreadPersistent::Lock() {
  ++FLockCount;
  FLock.lock();
}

void TThreadPersistent::Unlock() {
  FLock.unlock();
  --FLockCount;
}

// ---------------------------------------------------------------------------
// TCustomMap

void TCustomMap::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
  Width = NewWidth;
  Height = NewHeight;
}

void TCustomMap::Delete() { SetSize(0, 0); }

bool TCustomMap::Empty() const { return FWidth == 0 || FHeight == 0; }

void TCustomMap::Resized() {
  if (FOnResize) FOnResize(this);
}

void TCustomMap::SetHeight(int32_t NewHeight) { SetSize(FWidth, NewHeight); }

void TCustomMap::SetWidth(int32_t NewWidth) { SetSize(NewWidth, FHeight); }

bool TCustomMap::SetSize(int32_t NewWidth, int32_t NewHeight) {
  if (NewWidth < 0) NewWidth = 0;
  if (NewHeight < 0) NewHeight = 0;
  if (NewWidth == FWidth && NewHeight == FHeight) return false;
  ChangeSize(FWidth, FHeight, NewWidth, NewHeight);
  Changed();
  Resized();
  return true;
}

// ---------------------------------------------------------------------------
// Colours

namespace {

// The classic default system colours (0x00BBGGRR), indexed by system colour
// number; unknown numbers read as black.
constexpr uint32_t kSysColors[] = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0,
};

uint32_t GetSysColor(uint32_t Index) {
  return Index < std::size(kSysColors) ? kSysColors[Index] : 0;
}

}  // namespace

TColor32 Color32(int32_t AColor) {
  uint32_t c = static_cast<uint32_t>(AColor);
  if (AColor < 0) c = GetSysColor(c & 0xFF);
  return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// ---------------------------------------------------------------------------
// Rectangles

TRect MakeRect(int32_t L, int32_t T, int32_t R, int32_t B) { return TRect{L, T, R, B}; }

TRect MakeRect(const TFloatRect& FR, TRectRounding Rounding) {
  TRect r;
  switch (Rounding) {
    case rrClosest:
      r = TRect{int32_t(Round(FR.Left)), int32_t(Round(FR.Top)), int32_t(Round(FR.Right)),
                int32_t(Round(FR.Bottom))};
      break;
    case rrOutside:
      r = TRect{int32_t(Floor(FR.Left)), int32_t(Floor(FR.Top)), int32_t(Ceil(FR.Right)),
                int32_t(Ceil(FR.Bottom))};
      break;
    case rrInside:
      r = TRect{int32_t(Ceil(FR.Left)), int32_t(Ceil(FR.Top)), int32_t(Floor(FR.Right)),
                int32_t(Floor(FR.Bottom))};
      if (r.Right < r.Left) r.Right = r.Left;
      if (r.Bottom < r.Top) r.Bottom = r.Top;
      break;
  }
  return r;
}

namespace {
// Whole-number parts of 16.16 values, computed in 64 bits so that values near
// the top of the range do not overflow while rounding up.
inline int32_t FxFloor(TFixed A) { return A >> 16; }
inline int32_t FxCeil(TFixed A) { return int32_t((int64_t(A) + 0xFFFF) >> 16); }
inline int32_t FxRound(TFixed A) { return int32_t((int64_t(A) + 0x7FFF) >> 16); }
}  // namespace

TRect MakeRect(const TFixedRect& FXR, TRectRounding Rounding) {
  TRect r;
  switch (Rounding) {
    case rrClosest:
      r = TRect{FxRound(FXR.Left), FxRound(FXR.Top), FxRound(FXR.Right), FxRound(FXR.Bottom)};
      break;
    case rrOutside:
      r = TRect{FxFloor(FXR.Left), FxFloor(FXR.Top), FxCeil(FXR.Right), FxCeil(FXR.Bottom)};
      break;
    case rrInside:
      r = TRect{FxCeil(FXR.Left), FxCeil(FXR.Top), FxFloor(FXR.Right), FxFloor(FXR.Bottom)};
      if (r.Right < r.Left) r.Right = r.Left;
      if (r.Bottom < r.Top) r.Bottom = r.Top;
      break;
  }
  return r;
}

TFixedRect FixedRect(TFixed L, TFixed T, TFixed R, TFixed B) { return TFixedRect{L, T, R, B}; }

TFloatRect FloatRect(float L, float T, float R, float B) { return TFloatRect{L, T, R, B}; }

TFloatRect FloatRect(const TRect& ARect) {
  return TFloatRect{float(ARect.Left), float(ARect.Top), float(ARect.Right), float(ARect.Bottom)};
}

TFloatPoint FloatPoint(float X, float Y) { return TFloatPoint{X, Y}; }

bool IntersectRect(TRect& Dst, const TRect& R1, const TRect& R2) {
  TRect r{std::max(R1.Left, R2.Left), std::max(R1.Top, R2.Top), std::min(R1.Right, R2.Right),
          std::min(R1.Bottom, R2.Bottom)};
  if (r.Right < r.Left || r.Bottom < r.Top) {
    Dst = TRect{0, 0, 0, 0};
    return false;
  }
  Dst = r;
  return true;
}

bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

void OffsetIntRect(TRect& R, int32_t Dx, int32_t Dy) {
  R.Left += Dx;
  R.Top += Dy;
  R.Right += Dx;
  R.Bottom += Dy;
}

void InflateFloatRect(TFloatRect& R, float Dx, float Dy) {
  R.Left -= Dx;
  R.Top -= Dy;
  R.Right += Dx;
  R.Bottom += Dy;
}
