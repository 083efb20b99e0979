#include "bitmap/B32.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "bitmap/B32_Backends.h"
#include "bitmap/B32_Blend.h"
#include "bitmap/B32_Gamma.h"
#include "bitmap/B32_LowLevel.h"
#include "bitmap/B32_Resamplers.h"
#include "bitmap/B32_UnitInit.h"

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

// ---------------------------------------------------------------------------
// TCustomBackend

TCustomBackend::TCustomBackend() {
  FRefCounted = true;
  AddRef();
}

TCustomBackend::~TCustomBackend() { Clear(); }

void TCustomBackend::AttachTo(TCustomBitmap32* AOwner) {
  FOwner = AOwner;
  if (AOwner) AOwner->SetBackend(this);
}

void TCustomBackend::Changing() {
  if (FOnChanging) FOnChanging(this);
}

void TCustomBackend::Clear() {
  if (FOwner) {
    ChangeSize(FOwner->FWidth, FOwner->FHeight, 0, 0, false);
  } else {
    int32_t W = 0, H = 0;
    ChangeSize(W, H, 0, 0, false);
  }
}

void TCustomBackend::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight,
                                bool ClearBuffer) {
  Changing();
  try {
    FinalizeSurface();
    Width = 0;
    Height = 0;
    if (NewWidth > 0 && NewHeight > 0) InitializeSurface(NewWidth, NewHeight, ClearBuffer);
    Width = NewWidth;
    Height = NewHeight;
  } catch (...) {
    Changed();
    throw;
  }
  Changed();
}

void TCustomBackend::Assign(const TPersistent* Source) {
  const auto* Src = dynamic_cast<const TCustomBackend*>(Source);
  if (!Src) {
    TThreadPersistent::Assign(Source);
    return;
  }
  if (!FOwner) return;
  const int32_t NewW = Src->FOwner ? Src->FOwner->FWidth : 0;
  const int32_t NewH = Src->FOwner ? Src->FOwner->FHeight : 0;
  ChangeSize(FOwner->FWidth, FOwner->FHeight, NewW, NewH, false);
  if (!Src->Empty() && Src->FBits && FBits)
    MoveLongword(Src->FBits, FBits, static_cast<int32_t>(static_cast<int64_t>(NewW) * NewH));
}

void TCustomBackend::InitializeSurface(int32_t, int32_t, bool) {}
void TCustomBackend::FinalizeSurface() {}

// ---------------------------------------------------------------------------
// TCustomBitmap32: construction and backend

namespace {

TBitmapBlendProc PixelBlendProcFor(TCombineMode Mode) { return *PixelBlendByMode[Mode]; }
TBitmapWrapProc WrapProcFor(TWrapMode Mode) { return WrapFunctionFor(Mode); }
TBitmapWrapProc BestWrapProcFor(TWrapMode Mode, int32_t Min, int32_t Max) {
  return BestWrapFunctionFor(Mode, Min, Max);
}
const TCustomResamplerClass* FindResamplerClass(const std::string& Name) { return ResamplerList()->Find(Name); }

}  // namespace

TBitmapPictureLoader GBitmapPictureLoader = nullptr;

TCustomBitmap32::TCustomBitmap32() { Construct(GetPlatformBackendClass()); }

TCustomBitmap32::TCustomBitmap32(const TCustomBackendClass& BackendClass) { Construct(BackendClass); }

TCustomBitmap32::TCustomBitmap32(int32_t AWidth, int32_t AHeight) {
  Construct(GetPlatformBackendClass());
  SetSize(AWidth, AHeight);
}

void TCustomBitmap32::Construct(const TCustomBackendClass& BackendClass) {
  InitializeBitmapLibrary();
  B32_Resamplers_Initialize();  // lazily, while the library's start-up does not list it
  InitializeBackend(BackendClass);
  FOuterColor = 0;
  FMasterAlpha = 255;
  FCombineMode = cmBlend;
  FBlendProc = PixelBlendProcFor(cmBlend);
  FWrapProcHorz = WrapProcFor(FWrapMode);
  FWrapProcVert = WrapProcFor(FWrapMode);
  TNearestResampler::Class().CreateForBitmap(this);
}

TCustomBitmap32::~TCustomBitmap32() {
  // A dying bitmap tells nobody: its listeners may already be gone.
  FOnChange = nullptr;
  FOnResize = nullptr;
  FOnAreaChanged = nullptr;
  FOldOnAreaChanged = nullptr;
  BeginUpdate();
  Lock();
  try {
    SetSize(0, 0);
  } catch (...) {
  }
  delete FResampler;
  FResampler = nullptr;
  FinalizeBackend();
  Unlock();
}

const TCustomBackendClass& TCustomBitmap32::GetPlatformBackendClass() const { return TMemoryBackend::Class(); }

void TCustomBitmap32::InitializeBackend(const TCustomBackendClass& BackendClass) { BackendClass.Create(this); }

void TCustomBitmap32::SetBackend(TCustomBackend* NewBackend) {
  if (!NewBackend || NewBackend == FBackend) return;
  BeginUpdate();
  try {
    NewBackend->SetOwner(this);
    if (FBackend) {
      NewBackend->Assign(FBackend);
      FinalizeBackend();
    }
    FBackend = NewBackend;
    FBackend->SetOnChange([this](TObject*) { BackendChanged(); });
    FBackend->SetOnChanging([this](TObject*) { BackendChangingHook(); });
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  FBackend->Changed();
  Changed();
}

void TCustomBitmap32::FinalizeBackend() {
  if (!FBackend) return;
  TCustomBackend* B = FBackend;
  B->SetOwner(nullptr);
  B->SetOnChange(nullptr);
  B->SetOnChanging(nullptr);
  FBackend = nullptr;
  B->Release();
}

TCustomBackend* TCustomBitmap32::TakeBackendRef() {
  FBackend->AddRef();
  return FBackend;
}

void TCustomBitmap32::BackendChanged() {
  FBits = FBackend ? FBackend->GetBits() : nullptr;
  ResetClipRect();
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: size and state

void TCustomBitmap32::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
  FBackend->ChangeSize(Width, Height, NewWidth, NewHeight, true);
}

bool TCustomBitmap32::Empty() const { return FBackend->Empty() || FWidth == 0 || FHeight == 0; }

void TCustomBitmap32::Delete() { SetSize(0, 0); }

void TCustomBitmap32::UpdateWrapProcs() {
  FWrapProcHorz = BestWrapProcFor(FWrapMode, FClipRect.Left, FClipRect.Right - 1);
  FWrapProcVert = BestWrapProcFor(FWrapMode, FClipRect.Top, FClipRect.Bottom - 1);
}

void TCustomBitmap32::SetClipRect(const TRect& R) {
  IntersectRect(FClipRect, R, BoundsRect());
  FFixedClipRect = TFixedRect{Fixed(FClipRect.Left), Fixed(FClipRect.Top), Fixed(FClipRect.Right),
                              Fixed(FClipRect.Bottom)};
  auto Sh8 = [](int32_t V) { return static_cast<int32_t>(static_cast<uint32_t>(V) << 8); };
  FClip256Rect = TRect{Sh8(FClipRect.Left), Sh8(FClipRect.Top), Sh8(FClipRect.Right), Sh8(FClipRect.Bottom)};
  FClipping = !(FClipRect == BoundsRect());
  UpdateWrapProcs();
}

void TCustomBitmap32::SetDrawMode(TDrawMode Value) {
  if (Value != FDrawMode) {
    FDrawMode = Value;
    Changed();
  }
}

void TCustomBitmap32::SetCombineMode(TCombineMode Value) {
  if (Value != FCombineMode) {
    FCombineMode = Value;
    FBlendProc = PixelBlendProcFor(Value);
    Changed();
  }
}

void TCustomBitmap32::SetWrapMode(TWrapMode Value) {
  if (Value != FWrapMode) {
    FWrapMode = Value;
    UpdateWrapProcs();
    Changed();
  }
}

void TCustomBitmap32::SetMasterAlpha(uint32_t Value) {
  if (Value != FMasterAlpha) {
    FMasterAlpha = Value;
    Changed();
  }
}

void TCustomBitmap32::SetResampler(TCustomResampler* Value) {
  if (!Value || Value == FResampler) return;
  delete FResampler;
  FResampler = Value;
  Value->SetBitmap(this);
  Changed();
}

std::string TCustomBitmap32::GetResamplerClassName() const { return FResampler ? FResampler->ClassName() : ""; }

void TCustomBitmap32::SetResamplerClassName(const std::string& Value) {
  if (Value.empty() || (FResampler && Value == FResampler->ClassName())) return;
  if (const TCustomResamplerClass* C = FindResamplerClass(Value)) C->CreateForBitmap(this);
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: change notification

void TCustomBitmap32::Changed() { AreaChanged(BoundsRect(), AREA_INFO_RECT); }

void TCustomBitmap32::AreaChanged(const TRect& Area, uint32_t Info) {
  if ((FUpdateCount == 0 || FMeasuringMode) && FOnAreaChanged) FOnAreaChanged(this, Area, Info);
  if (!FMeasuringMode) TCustomMap::Changed();
}

void TCustomBitmap32::StartMeasuring(TAreaChangedEvent Callback) {
  FMeasuringMode = true;
  FOldOnAreaChanged = std::move(FOnAreaChanged);
  FOnAreaChanged = std::move(Callback);
}

void TCustomBitmap32::StopMeasuring() {
  FMeasuringMode = false;
  FOnAreaChanged = std::move(FOldOnAreaChanged);
  FOldOnAreaChanged = nullptr;
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: pixel access

TColor32 TCustomBitmap32::GetPixelS(int32_t X, int32_t Y) const {
  if (X < FClipRect.Left || X >= FClipRect.Right || Y < FClipRect.Top || Y >= FClipRect.Bottom) return FOuterColor;
  return GetPixel(X, Y);
}

TColor32 TCustomBitmap32::GetPixelW(int32_t X, int32_t Y) const {
  // An empty clip holds no pixel to wrap into (and the bitmap may have none).
  if (IsRectEmpty(FClipRect)) return FOuterColor;
  X = FWrapProcHorz(X, FClipRect.Left, FClipRect.Right - 1);
  Y = FWrapProcVert(Y, FClipRect.Top, FClipRect.Bottom - 1);
  return GetPixel(X, Y);
}

TColor32 TCustomBitmap32::InterpolateAt256(int32_t X, int32_t Y) const {
  const TColor32* P = FBits + (static_cast<uint32_t>(X) >> 8) + static_cast<intptr_t>(static_cast<uint32_t>(Y) >> 8) * FWidth;
  const uint32_t WX = GammaEncodeTable[255 - (X & 255)];
  const uint32_t WY = GammaEncodeTable[255 - (Y & 255)];
  return InterpolatePixels(WX, WY, P, P + FWidth);
}

TColor32 TCustomBitmap32::GetPixelX(TFixed X, TFixed Y) const {
  return InterpolateAt256(static_cast<int32_t>((static_cast<uint32_t>(X) + 127) >> 8),
                          static_cast<int32_t>((static_cast<uint32_t>(Y) + 127) >> 8));
}

TColor32 TCustomBitmap32::InterpolateAt256Safe(int32_t X, int32_t Y) const {
  if (X < FClip256Rect.Left || Y < FClip256Rect.Top) return FOuterColor;
  const int32_t R = (FClipRect.Right - 1) * 256;
  const int32_t B = (FClipRect.Bottom - 1) * 256;
  if (X < R && Y < B) return InterpolateAt256(X, Y);
  if (X == R && Y <= B) return GetPixel(FClipRect.Right - 1, Y >> 8);
  if (X <= R && Y == B) return GetPixel(X >> 8, FClipRect.Bottom - 1);
  return FOuterColor;
}

TColor32 TCustomBitmap32::GetPixelXS(TFixed X, TFixed Y) const {
  return InterpolateAt256Safe(static_cast<int32_t>((static_cast<int64_t>(X) + 127) >> 8),
                              static_cast<int32_t>((static_cast<int64_t>(Y) + 127) >> 8));
}

TColor32 TCustomBitmap32::GetPixelXW(TFixed X, TFixed Y) const {
  if (IsRectEmpty(FClipRect)) return FOuterColor;
  const int32_t L = FClipRect.Left, Rr = FClipRect.Right - 1, T = FClipRect.Top, Bb = FClipRect.Bottom - 1;
  const int32_t X0 = X >> 16, Y0 = Y >> 16;
  const int32_t WX0 = FWrapProcHorz(X0, L, Rr), WX1 = FWrapProcHorz(X0 + 1, L, Rr);
  const int32_t WY0 = FWrapProcVert(Y0, T, Bb), WY1 = FWrapProcVert(Y0 + 1, T, Bb);
  const uint32_t FX = (static_cast<uint32_t>(X) >> 8) & 255;
  const uint32_t FY = (static_cast<uint32_t>(Y) >> 8) & 255;
  const TColor32 Top = MixPixels(GetPixel(WX1, WY0), GetPixel(WX0, WY0), FX);
  const TColor32 Bottom = MixPixels(GetPixel(WX1, WY1), GetPixel(WX0, WY1), FX);
  return MixPixels(Bottom, Top, FY);
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: fills and alpha

void TCustomBitmap32::Clear() { Clear(0xFF000000u); }

void TCustomBitmap32::Clear(TColor32 AColor) {
  if (Empty()) return;
  if (!FMeasuringMode) {
    if (FClipping)
      FillRect(FClipRect.Left, FClipRect.Top, FClipRect.Right, FClipRect.Bottom, AColor);
    else
      FillLongword(FBits, FWidth * FHeight, AColor);
  }
  Changed();
}

void TCustomBitmap32::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AColor) {
  if (FBits)
    for (int32_t J = Y1; J < Y2; ++J) FillLongword(GetPixelPtr(X1, J), X2 - X1, AColor);
  AreaChanged(TRect{X1, Y1, X2, Y2}, AREA_INFO_RECT);
}

void TCustomBitmap32::FillRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AColor) {
  if (!FMeasuringMode && X1 < X2 && Y1 < Y2 && X1 < FClipRect.Right && Y1 < FClipRect.Bottom &&
      X2 > FClipRect.Left && Y2 > FClipRect.Top) {
    X1 = std::max(X1, FClipRect.Left);
    Y1 = std::max(Y1, FClipRect.Top);
    X2 = std::min(X2, FClipRect.Right);
    Y2 = std::min(Y2, FClipRect.Bottom);
    FillRect(X1, Y1, X2, Y2, AColor);
  }
  AreaChanged(TRect{X1, Y1, X2, Y2}, AREA_INFO_RECT);
}

void TCustomBitmap32::FillRectSR(const TRect& R, TColor32 AColor) {
  if (FMeasuringMode)
    AreaChanged(R, AREA_INFO_RECT);
  else
    FillRectS(R.Left, R.Top, R.Right, R.Bottom, AColor);
}

void TCustomBitmap32::ResetAlpha(uint8_t AAlpha) {
  if (!FMeasuringMode && FBits) {
    auto* P = reinterpret_cast<uint8_t*>(FBits) + 3;
    const int64_t N = static_cast<int64_t>(FWidth) * FHeight;
    for (int64_t I = 0; I < N; ++I) P[I * 4] = AAlpha;
  }
  Changed();
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: drawing

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst) {
  BlockTransfer(Dst, 0, 0, Dst->GetClipRect(), this, BoundsRect(), FDrawMode, FOnPixelCombine);
}

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst, int32_t DstX, int32_t DstY) {
  BlockTransfer(Dst, DstX, DstY, Dst->GetClipRect(), this, BoundsRect(), FDrawMode, FOnPixelCombine);
}

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect) {
  StretchTransfer(Dst, DstRect, Dst->GetClipRect(), this, SrcRect, FResampler, FDrawMode, FOnPixelCombine);
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: copying

void TCustomBitmap32::Assign(const TPersistent* Source) {
  // Listeners hear of every assignment, also of one that empties an empty
  // bitmap and of one that fails half-way (the pixels may have changed).
  BeginUpdate();
  try {
    if (!Source) {
      SetSize(0, 0);
    } else if (const auto* Src = dynamic_cast<const TCustomBitmap32*>(Source)) {
      Src->CopyMapTo(this);
      Src->CopyPropertiesTo(this);
    } else {
      TCustomMap::Assign(Source);
    }
  } catch (...) {
    EndUpdate();
    Changed();
    throw;
  }
  EndUpdate();
  Changed();
}

void TCustomBitmap32::CopyMapTo(TCustomBitmap32* Dst) const {
  Dst->SetSize(FWidth, FHeight);
  if (!Empty()) MoveLongword(FBits, Dst->FBits, FWidth * FHeight);
}

void TCustomBitmap32::CopyPropertiesTo(TCustomBitmap32* Dst) const {
  Dst->SetDrawMode(FDrawMode);
  Dst->SetCombineMode(FCombineMode);
  Dst->SetWrapMode(FWrapMode);
  Dst->SetMasterAlpha(FMasterAlpha);
  Dst->FOuterColor = FOuterColor;
  Dst->SetResamplerClassName(GetResamplerClassName());
  if (Dst->FResampler && FResampler) Dst->FResampler->Assign(FResampler);
}

bool TCustomBitmap32::SameAs(const TCustomBitmap32* Other) const {
  if (!Other) return false;
  if (Empty() || Other->Empty()) return Empty() && Other->Empty();
  if (std::strcmp(ClassName(), Other->ClassName()) != 0) return false;
  if (FWidth != Other->FWidth || FHeight != Other->FHeight) return false;
  return std::memcmp(FBits, Other->FBits, static_cast<size_t>(FWidth) * FHeight * 4) == 0;
}

// ---------------------------------------------------------------------------
// TCustomBitmap32: streaming

namespace {

void PutLE16(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
}
void PutLE32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = uint8_t(V >> (8 * I));
}
uint32_t GetLE16(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8; }
uint32_t GetLE32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

[[noreturn]] void BadBitmap(const std::string& Why) { throw EBitmapException("Invalid bitmap file: " + Why); }

}  // namespace

void TCustomBitmap32::WriteData(TStream& Stream) const {
  uint8_t H[8];
  PutLE32(H, static_cast<uint32_t>(FWidth));
  PutLE32(H + 4, static_cast<uint32_t>(FHeight));
  Stream.WriteBuffer(H, 8);
  if (FBits) Stream.WriteBuffer(FBits, static_cast<int64_t>(FWidth) * FHeight * 4);
}

void TCustomBitmap32::ReadData(TStream& Stream) {
  struct TChangedAtEnd {
    TCustomBitmap32* B;
    ~TChangedAtEnd() {
      try {
        B->Changed();
      } catch (...) {
      }
    }
  } AtEnd{this};
  uint8_t H[8];
  Stream.ReadBuffer(H, 8);
  const int32_t W = static_cast<int32_t>(GetLE32(H));
  const int32_t Hh = static_cast<int32_t>(GetLE32(H + 4));
  // Refuse a size the stream cannot hold before allocating for it (the byte
  // count of two 31-bit sides needs all 64 unsigned bits).
  const uint64_t Bytes = static_cast<uint64_t>(std::max(W, 0)) * static_cast<uint64_t>(std::max(Hh, 0)) * 4;
  if (Bytes > static_cast<uint64_t>(Stream.Remaining())) throw EReadError("Stream read error");
  SetSize(W, Hh);
  if (FBits) Stream.ReadBuffer(FBits, static_cast<int64_t>(FWidth) * FHeight * 4);
}

bool TCustomBitmap32::ShouldStoreData(const TPersistent* Ancestor) const {
  if (Ancestor) {
    if (const auto* A = dynamic_cast<const TCustomBitmap32*>(Ancestor)) return !SameAs(A);
    return true;
  }
  return !Empty();
}

void TCustomBitmap32::SaveToStream(TStream& Stream, bool ABottomUp) const {
  const uint64_t ImageSize = static_cast<uint64_t>(FWidth) * static_cast<uint64_t>(FHeight) * 4;
  if (ImageSize + 54 > 0xFFFFFFFFu) throw EBitmapException("Bitmap too large for a BMP file");
  uint8_t H[54] = {};
  H[0] = 'B';
  H[1] = 'M';
  PutLE32(H + 2, static_cast<uint32_t>(ImageSize + 54));
  PutLE32(H + 10, 54);
  PutLE32(H + 14, 40);
  PutLE32(H + 18, static_cast<uint32_t>(FWidth));
  PutLE32(H + 22, static_cast<uint32_t>(ABottomUp ? FHeight : -FHeight));
  PutLE16(H + 26, 1);
  PutLE16(H + 28, 32);
  PutLE32(H + 34, static_cast<uint32_t>(ImageSize));
  Stream.WriteBuffer(H, 54);
  if (!FBits) return;
  if (ABottomUp) {
    for (int32_t Y = FHeight - 1; Y >= 0; --Y) Stream.WriteBuffer(GetScanLine(Y), static_cast<int64_t>(FWidth) * 4);
  } else {
    Stream.WriteBuffer(FBits, static_cast<int64_t>(ImageSize));
  }
}

void TCustomBitmap32::LoadFromStream(TStream& Stream) {
  const int64_t Start = Stream.GetPosition();
  const int64_t Avail = Stream.Remaining();
  uint8_t H[54] = {};
  const int64_t Got = Stream.Read(H, std::min<int64_t>(Avail, 54));
  const bool IsBM = Got >= 2 && H[0] == 'B' && H[1] == 'M';
  if (!IsBM || Got < 54 || GetLE16(H + 26) != 1 || GetLE16(H + 28) != 32 || GetLE32(H + 30) != 0) {
    Stream.Seek(Start, soBeginning);
    if (IsBM && Got < 54) BadBitmap("the header is truncated");
    if (!GBitmapPictureLoader) throw EBitmapException("Unsupported bitmap format");
    GBitmapPictureLoader(*this, Stream);
    Changed();
    return;
  }
  // Every stored size is checked against the bytes really present, in 64 bits,
  // before anything is allocated or read.
  // The stored file size is not read: writers often leave it wrong.
  const uint64_t Offset = GetLE32(H + 10);
  const uint64_t InfoSize = GetLE32(H + 14);
  const int32_t W = static_cast<int32_t>(GetLE32(H + 18));
  const int32_t HStored = static_cast<int32_t>(GetLE32(H + 22));
  const uint64_t StoredImageSize = GetLE32(H + 34);
  if (InfoSize < 40) BadBitmap("bad information header size");
  if (Offset < 14 + InfoSize) BadBitmap("the pixel data offset points into the header");
  if (W < 0 || HStored == std::numeric_limits<int32_t>::min()) BadBitmap("bad dimensions");
  const int32_t AbsH = HStored < 0 ? -HStored : HStored;
  const uint64_t DataSize = static_cast<uint64_t>(W) * static_cast<uint64_t>(AbsH) * 4;
  if (DataSize / 4 > 0x7FFFFFFFu) BadBitmap("the picture is too large");
  if (Offset + DataSize > static_cast<uint64_t>(Avail)) BadBitmap("the pixel data runs past the end of the file");
  if (StoredImageSize != 0 && StoredImageSize < DataSize) BadBitmap("the stored image size is too small");

  SetSize(W, AbsH);
  if (FBits) {
    Stream.Seek(Start + static_cast<int64_t>(Offset), soBeginning);
    if (HStored <= 0) {
      Stream.ReadBuffer(FBits, static_cast<int64_t>(DataSize));
    } else {
      for (int32_t Y = AbsH - 1; Y >= 0; --Y) Stream.ReadBuffer(GetScanLine(Y), static_cast<int64_t>(W) * 4);
    }
  } else {
    Stream.Seek(Start + static_cast<int64_t>(Offset + DataSize), soBeginning);
  }
  Changed();
}

void TCustomBitmap32::SaveToFile(const std::string& FileName, bool ABottomUp) const {
  TMemoryStream M;
  SaveToStream(M, ABottomUp);
  SaveBytesToFile(FileName, M.GetMemory(), M.GetSize());
}

void TCustomBitmap32::LoadFromFile(const std::string& FileName) {
  TFileStream F(FileName, fmOpenRead | fmShareDenyNone);
  LoadFromStream(F);
}

// ---------------------------------------------------------------------------
// TBitmap32

void TBitmap32::HandleChanged() {
  if (FOnHandleChanged) FOnHandleChanged(this);
}

void TBitmap32::WireBackend(TCustomBackend* ABackend) {
  // Font changes need no action of the bitmap; canvas drawing is a change.
  if (auto* F = dynamic_cast<IFontChangeSupport*>(ABackend)) F->SetOnFontChange([](TObject*) {});
  if (auto* C = dynamic_cast<ICanvasChangeSupport*>(ABackend)) C->SetOnCanvasChange([this](TObject*) { Changed(); });
}

void TBitmap32::UnwireBackend(TCustomBackend* ABackend) {
  if (auto* F = dynamic_cast<IFontChangeSupport*>(ABackend)) F->SetOnFontChange(nullptr);
  if (auto* C = dynamic_cast<ICanvasChangeSupport*>(ABackend)) C->SetOnCanvasChange(nullptr);
}

void TBitmap32::SetBackend(TCustomBackend* NewBackend) {
  if (NewBackend && NewBackend != FBackend) WireBackend(NewBackend);
  TCustomBitmap32::SetBackend(NewBackend);
}

void TBitmap32::FinalizeBackend() {
  UnwireBackend(FBackend);
  TCustomBitmap32::FinalizeBackend();
}

void TBitmap32::BackendChangingHook() {
  TCustomBitmap32::BackendChangingHook();
  if (auto* C = dynamic_cast<ICanvasChangeSupport*>(FBackend)) C->DropCanvas();
}

void TBitmap32::BackendChanged() {
  TCustomBitmap32::BackendChanged();
  HandleChanged();
}

void TBitmap32::CopyPropertiesTo(TCustomBitmap32* Dst) const {
  TCustomBitmap32::CopyPropertiesTo(Dst);
  if (!dynamic_cast<TBitmap32*>(Dst)) return;
  auto* Src = dynamic_cast<IFontChangeSupport*>(FBackend);
  auto* DstFont = dynamic_cast<IFontChangeSupport*>(Dst->GetBackend());
  if (Src && DstFont) DstFont->AssignFont(*Src);
}
