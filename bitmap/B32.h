// The foundation of the bitmap library: the pixel value, fixed-point, point
// and rectangle types, the draw/combine/wrap modes, the event types, the
// persistent base classes (reference counted, change-notifying, lockable),
// the two-dimensional map with a size, the colour and rectangle helpers, and
// the 32-bit bitmap with its pixel-memory backends.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "rtl/KvClasses.h"
#include "rtl/KvSysUtils.h"

// ---------------------------------------------------------------------------
// Pixel values and value types

// One pixel: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7; in memory
// the bytes are blue, green, red, alpha. Not premultiplied; alpha 255 is opaque.
using TColor32 = uint32_t;
using PColor32 = TColor32*;
using TColor32Array = TColor32[];
using PColor32Array = TColor32*;
using TArrayOfColor32 = std::vector<TColor32>;

using TIntegerArray = int32_t[];
using PIntegerArray = int32_t*;
using TArrayOfInteger = std::vector<int32_t>;

// Signed 16.16 fixed point.
using TFixed = int32_t;
using PFixed = TFixed*;

constexpr int32_t FixedOne = 0x10000;
constexpr int32_t FixedHalf = 0x7FFF;

inline TFixed Fixed(int32_t V) { return static_cast<TFixed>(static_cast<uint32_t>(V) << 16); }

struct TFloatPoint {
  float X = 0;
  float Y = 0;
  bool operator==(const TFloatPoint&) const = default;
};
using PFloatPoint = TFloatPoint*;
using TArrayOfFloatPoint = std::vector<TFloatPoint>;
using TArrayOfArrayOfFloatPoint = std::vector<TArrayOfFloatPoint>;

struct TFloatRect {
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
  bool operator==(const TFloatRect&) const = default;
};

struct TFixedRect {
  TFixed Left = 0;
  TFixed Top = 0;
  TFixed Right = 0;
  TFixed Bottom = 0;
  bool operator==(const TFixedRect&) const = default;
};

// ---------------------------------------------------------------------------
// Modes

enum TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2, dmTransparent = 3 };
enum TCombineMode : uint8_t { cmBlend = 0, cmMerge = 1 };
enum TWrapMode : uint8_t { wmClamp = 0, wmRepeat = 1, wmMirror = 2 };

// How MakeRect turns fractional edges into whole ones: to nearest, outward
// (the result covers the source), or inward (the result lies inside it).
enum TRectRounding : uint8_t { rrClosest = 0, rrOutside = 1, rrInside = 2 };

// ---------------------------------------------------------------------------
// Events

// Combines foreground F into background B under master alpha M.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;
// Reports a changed area; Info tells how to read Area.
using TAreaChangedEvent = std::function<void(TObject* Sender, const TRect& Area, uint32_t Info)>;

// Area is a plain rectangle.
constexpr uint32_t AREA_INFO_RECT = 0x80000000u;

// ---------------------------------------------------------------------------
// Persistent base classes

// A persistent object with an optional reference count. While RefCounted is
// False, AddRef and Release return -1 and do nothing. When counted, Release
// destroys the object as the count reaches 0; such objects must be created
// with new. A new object starts with RefCount 0, so an object that takes a
// reference in its constructor leaves construction with RefCount 1.
class TPlainInterfacedPersistent : public TPersistent {
public:
  ~TPlainInterfacedPersistent() override = default;

  int32_t AddRef();
  int32_t Release();

  bool GetRefCounted() const { return FRefCounted; }
  void SetRefCounted(bool V) { FRefCounted = V; }
  int32_t GetRefCount() const { return FRefCount.load(); }

  // Checks that no counted reference is left: raises "Unmatched reference
  // counting." when RefCounted and RefCount is not 0. Free runs this check
  // before deleting, so an unbalanced object is reported instead of freed.
  virtual void BeforeDestruction();
  void Free();

protected:
  bool FRefCounted = false;
  std::atomic<int32_t> FRefCount{0};
};

// A persistent object that reports its changes through OnChange, held back
// while an update is open (BeginUpdate/EndUpdate).
class TNotifiablePersistent : public TPlainInterfacedPersistent {
public:
  // Fires OnChange(this) when no update is open.
  virtual void Changed();
  virtual void BeginUpdate();
  // Closes an update; never fires OnChange itself (callers call Changed).
  virtual void EndUpdate();

  int32_t GetUpdateCount() const { return FUpdateCount; }
  const TNotifyEvent& GetOnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent E) { FOnChange = std::move(E); }

protected:
  int32_t FUpdateCount = 0;
  TNotifyEvent FOnChange;
};

// A notifiable object with its own re-entrant lock for callers.
class TThreadPersistent : public TNotifiablePersistent {
public:
  void Lock();
  void Unlock();
  int32_t GetLockCount() const { return FLockCount.load(); }

protected:
  std::atomic<int32_t> FLockCount{0};
  std::recursive_mutex FLock;
};

// A two-dimensional map with a size.
class TCustomMap : public TThreadPersistent {
public:
  int32_t GetWidth() const { return FWidth; }
  int32_t GetHeight() const { return FHeight; }

  virtual void SetHeight(int32_t NewHeight);
  virtual void SetWidth(int32_t NewWidth);
  virtual void Delete();
  virtual bool Empty() const;
  // Negative values become 0. Returns False and does nothing when the size
  // stays; otherwise ChangeSize, Changed, Resized and returns True.
  virtual bool SetSize(int32_t NewWidth, int32_t NewHeight);

  const TNotifyEvent& GetOnResize() const { return FOnResize; }
  void SetOnResize(TNotifyEvent E) { FOnResize = std::move(E); }

protected:
  // Stores the new size; descendants reallocate their data first.
  virtual void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight);
  // Fires OnResize(this).
  virtual void Resized();

  int32_t FHeight = 0;
  int32_t FWidth = 0;
  TNotifyEvent FOnResize;
};

// ---------------------------------------------------------------------------
// Colour and geometry helpers

// A toolkit colour (0x00BBGGRR) to a pixel with alpha 255. A negative value is
// a system colour whose index is its low byte.
TColor32 Color32(int32_t AColor);

TRect MakeRect(int32_t L, int32_t T, int32_t R, int32_t B);
TRect MakeRect(const TFloatRect& FR, TRectRounding Rounding = rrClosest);
TRect MakeRect(const TFixedRect& FXR, TRectRounding Rounding = rrClosest);

TFixedRect FixedRect(TFixed L, TFixed T, TFixed R, TFixed B);
TFloatRect FloatRect(float L, float T, float R, float B);
TFloatRect FloatRect(const TRect& ARect);
TFloatPoint FloatPoint(float X, float Y);

// Dst = the overlap of R1 and R2. When the overlap has negative width or
// height, Dst becomes (0, 0, 0, 0) and the result is False; an overlap of zero
// width or height is kept and gives True.
bool IntersectRect(TRect& Dst, const TRect& R1, const TRect& R2);
bool IsRectEmpty(const TRect& R);
void OffsetIntRect(TRect& R, int32_t Dx, int32_t Dy);
void InflateFloatRect(TFloatRect& R, float Dx, float Dy);

// ---------------------------------------------------------------------------
// The 32-bit bitmap, its pixel-memory backends and its errors. The samplers
// and resamplers a bitmap owns are declared in B32_Resamplers.

class TCustomBitmap32;
class TCustomBackend;
class TCustomResampler;
class TCustomResamplerClass;

// An error of the bitmap library ("Destination bitmap is nil", ...).
class EBitmapException : public Exception {
public:
  using Exception::Exception;
};

// ---------------------------------------------------------------------------
// Pixel-memory backends

// The class reference of a backend.
class TCustomBackendClass {
public:
  virtual ~TCustomBackendClass() = default;
  virtual const char* ClassName() const = 0;
  // Creates the backend for Owner, which installs it (Owner.SetBackend).
  virtual TCustomBackend* Create(TCustomBitmap32* Owner) const = 0;
};

template <class T>
class TBackendClassOf final : public TCustomBackendClass {
public:
  explicit TBackendClassOf(const char* AName) : FName(AName) {}
  const char* ClassName() const override { return FName; }
  TCustomBackend* Create(TCustomBitmap32* Owner) const override {
    T* B = new T();
    B->AttachTo(Owner);
    return B;
  }

private:
  const char* FName;
};

// The pixel memory of a bitmap. Reference counted: a finished backend holds
// one reference, which its bitmap owns.
class TCustomBackend : public TThreadPersistent {
public:
  void Assign(const TPersistent* Source) override;
  TCustomBackend();
  ~TCustomBackend() override;

  virtual const TCustomBackendClass& ClassType() const = 0;

  // Owner := AOwner, then AOwner.SetBackend(this) when AOwner is set.
  void AttachTo(TCustomBitmap32* AOwner);

  TColor32* GetBits() const { return FBits; }
  TCustomBitmap32* GetOwner() const { return FOwner; }
  void SetOwner(TCustomBitmap32* AOwner) { FOwner = AOwner; }
  const TNotifyEvent& GetOnChanging() const { return FOnChanging; }
  void SetOnChanging(TNotifyEvent E) { FOnChanging = std::move(E); }

  // Fires OnChanging.
  virtual void Changing();
  virtual void Clear();
  virtual bool Empty() const { return false; }
  // Drops the surface and makes a fresh one of the new size (not kept: the
  // old pixels are lost); writes Width and Height, and ends with Changed
  // even when the allocation fails.
  virtual void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight,
                          bool ClearBuffer);

protected:
  virtual void InitializeSurface(int32_t NewWidth, int32_t NewHeight, bool ClearBuffer);
  virtual void FinalizeSurface();

  TColor32* FBits = nullptr;
  TCustomBitmap32* FOwner = nullptr;
  TNotifyEvent FOnChanging;
};

// ---------------------------------------------------------------------------
// The 32-bit bitmap

// An index wrap function: maps Value into Min..Max.
using TBitmapWrapProc = int32_t (*)(int32_t Value, int32_t Min, int32_t Max);
// The per-pixel blend of a combine mode.
using TBitmapBlendProc = void (*)(TColor32 F, TColor32& B);

// Loads a picture that is not a 32-bit BMP into Dst (the picture exchange of
// the GUI layer installs it); without it such pictures raise EBitmapException.
using TBitmapPictureLoader = void (*)(TCustomBitmap32& Dst, TStream& Stream);
extern TBitmapPictureLoader GBitmapPictureLoader;

// Width x Height pixels, row-major, top-down, rows without gaps. Bits is nil
// while empty and must be re-read after every SetSize.
class TCustomBitmap32 : public TCustomMap {
public:
  TCustomBitmap32();
  explicit TCustomBitmap32(const TCustomBackendClass& BackendClass);
  TCustomBitmap32(int32_t AWidth, int32_t AHeight);
  ~TCustomBitmap32() override;
  TCustomBitmap32(const TCustomBitmap32&) = delete;
  TCustomBitmap32& operator=(const TCustomBitmap32&) = delete;

  // The backend class of a new bitmap: the memory backend.
  virtual const TCustomBackendClass& GetPlatformBackendClass() const;

  // Backend
  TCustomBackend* GetBackend() const { return FBackend; }
  virtual void SetBackend(TCustomBackend* NewBackend);
  // Adds a reference to the backend and returns it.
  TCustomBackend* TakeBackendRef();

  // Size and state
  bool Empty() const override;
  void Delete() override;
  TRect BoundsRect() const { return TRect{0, 0, FWidth, FHeight}; }
  TColor32* GetBits() const { return FBits; }
  const TRect& GetClipRect() const { return FClipRect; }
  void SetClipRect(const TRect& R);
  void ResetClipRect() { SetClipRect(BoundsRect()); }
  bool GetClipping() const { return FClipping; }
  const TFixedRect& GetFixedClipRect() const { return FFixedClipRect; }
  const TRect& GetClip256Rect() const { return FClip256Rect; }

  TDrawMode GetDrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode Value);
  TCombineMode GetCombineMode() const { return FCombineMode; }
  void SetCombineMode(TCombineMode Value);
  TWrapMode GetWrapMode() const { return FWrapMode; }
  void SetWrapMode(TWrapMode Value);
  uint32_t GetMasterAlpha() const { return FMasterAlpha; }
  void SetMasterAlpha(uint32_t Value);
  TColor32 GetOuterColor() const { return FOuterColor; }
  void SetOuterColor(TColor32 Value) { FOuterColor = Value; }
  TBitmapBlendProc GetBlendProc() const { return FBlendProc; }

  TCustomResampler* GetResampler() const { return FResampler; }
  // Takes ownership; nil and the current resampler are ignored.
  void SetResampler(TCustomResampler* Value);
  std::string GetResamplerClassName() const;
  // Unknown or empty names and the current class name change nothing.
  void SetResamplerClassName(const std::string& Value);

  const TPixelCombineEvent& GetOnPixelCombine() const { return FOnPixelCombine; }
  void SetOnPixelCombine(TPixelCombineEvent E) { FOnPixelCombine = std::move(E); }
  const TAreaChangedEvent& GetOnAreaChanged() const { return FOnAreaChanged; }
  void SetOnAreaChanged(TAreaChangedEvent E) { FOnAreaChanged = std::move(E); }

  // Change notification: an area event over the bounds (when no update is
  // open, or while measuring), then OnChange unless measuring.
  void Changed() override;
  virtual void AreaChanged(const TRect& Area, uint32_t Info = AREA_INFO_RECT);
  bool GetMeasuringMode() const { return FMeasuringMode; }
  void StartMeasuring(TAreaChangedEvent Callback);
  void StopMeasuring();

  // Pixel access (unchecked unless said)
  TColor32* GetScanLine(int32_t Y) const { return FBits + static_cast<intptr_t>(Y) * FWidth; }
  TColor32* GetPixelPtr(int32_t X, int32_t Y) const { return FBits + X + static_cast<intptr_t>(Y) * FWidth; }
  TColor32 GetPixel(int32_t X, int32_t Y) const { return *GetPixelPtr(X, Y); }
  // OuterColor outside the clip.
  TColor32 GetPixelS(int32_t X, int32_t Y) const;
  // Wrapped into the clip by the wrap mode.
  TColor32 GetPixelW(int32_t X, int32_t Y) const;
  TColor32 GetPixelX(TFixed X, TFixed Y) const;
  TColor32 GetPixelXS(TFixed X, TFixed Y) const;
  TColor32 GetPixelXW(TFixed X, TFixed Y) const;
  // Bilinear read at 24.8 coordinates, no bounds check.
  TColor32 InterpolateAt256(int32_t X, int32_t Y) const;
  TColor32 InterpolateAt256Safe(int32_t X, int32_t Y) const;

  // Fills and alpha
  void Clear();
  void Clear(TColor32 AColor);
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AColor);
  void FillRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AColor);
  void FillRectSR(const TRect& R, TColor32 AColor);
  void ResetAlpha(uint8_t AAlpha = 255);

  // Drawing onto another bitmap
  void DrawTo(TCustomBitmap32* Dst);
  void DrawTo(TCustomBitmap32* Dst, int32_t DstX, int32_t DstY);
  void DrawTo(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect);
  void DrawToRect(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect) { DrawTo(Dst, DstRect, SrcRect); }
  void DrawToRect(TCustomBitmap32* Dst, const TRect& DstRect) { DrawTo(Dst, DstRect, BoundsRect()); }

  // Copying
  void Assign(const TPersistent* Source) override;
  virtual void CopyMapTo(TCustomBitmap32* Dst) const;
  virtual void CopyPropertiesTo(TCustomBitmap32* Dst) const;
  bool SameAs(const TCustomBitmap32* Other) const;

  // Streaming: the raw form (Width, Height, pixels) ...
  virtual void WriteData(TStream& Stream) const;
  virtual void ReadData(TStream& Stream);
  bool ShouldStoreData(const TPersistent* Ancestor) const;
  // ... and the 32-bit BMP form.
  virtual void SaveToStream(TStream& Stream, bool ABottomUp = false) const;
  virtual void LoadFromStream(TStream& Stream);
  virtual void SaveToFile(const std::string& FileName, bool ABottomUp = false) const;
  virtual void LoadFromFile(const std::string& FileName);

  virtual const char* ClassName() const { return "TCustomBitmap32"; }

protected:
  // Binds a backend of BackendClass; its constructor installs it.
  void InitializeBackend(const TCustomBackendClass& BackendClass);
  virtual void FinalizeBackend();
  virtual void BackendChanged();
  virtual void BackendChangingHook() {}
  void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) override;

  TCustomBackend* FBackend = nullptr;
  TColor32* FBits = nullptr;
  TRect FClipRect;
  TFixedRect FFixedClipRect;
  TRect FClip256Rect;
  bool FClipping = false;
  TDrawMode FDrawMode = dmOpaque;
  TCombineMode FCombineMode = cmBlend;
  TWrapMode FWrapMode = wmClamp;
  uint32_t FMasterAlpha = 255;
  TColor32 FOuterColor = 0;
  TPixelCombineEvent FOnPixelCombine;
  TAreaChangedEvent FOnAreaChanged;
  TAreaChangedEvent FOldOnAreaChanged;
  bool FMeasuringMode = false;
  TCustomResampler* FResampler = nullptr;
  TBitmapWrapProc FWrapProcHorz = nullptr;
  TBitmapWrapProc FWrapProcVert = nullptr;
  TBitmapBlendProc FBlendProc = nullptr;

private:
  friend class TCustomBackend;
  void Construct(const TCustomBackendClass& BackendClass);
  void UpdateWrapProcs();
};

// What the bitmap itself needs of a backend's canvas and font (the toolkit
// backends' interfaces derive from these): their change events, dropping the
// canvas, taking another backend's font.
class ICanvasChangeSupport {
public:
  virtual ~ICanvasChangeSupport() = default;
  virtual void SetOnCanvasChange(TNotifyEvent Handler) = 0;
  virtual void DropCanvas() = 0;
};

class IFontChangeSupport {
public:
  virtual ~IFontChangeSupport() = default;
  virtual void SetOnFontChange(TNotifyEvent Handler) = 0;
  virtual void AssignFont(IFontChangeSupport& Source) = 0;
};

// The bitmap the program's pictures live in. Drawing through its backend's
// canvas reports a full change; a new surface fires OnHandleChanged.
class TBitmap32 : public TCustomBitmap32 {
public:
  TBitmap32() : TCustomBitmap32() { WireBackend(FBackend); }
  explicit TBitmap32(const TCustomBackendClass& BackendClass) : TCustomBitmap32(BackendClass) {
    WireBackend(FBackend);
  }
  TBitmap32(int32_t AWidth, int32_t AHeight) : TCustomBitmap32(AWidth, AHeight) { WireBackend(FBackend); }
  ~TBitmap32() override { UnwireBackend(FBackend); }

  void SetBackend(TCustomBackend* NewBackend) override;
  // Also copies the font when both backends carry one.
  void CopyPropertiesTo(TCustomBitmap32* Dst) const override;

  const TNotifyEvent& GetOnHandleChanged() const { return FOnHandleChanged; }
  void SetOnHandleChanged(TNotifyEvent E) { FOnHandleChanged = std::move(E); }

  const char* ClassName() const override { return "TBitmap32"; }

protected:
  virtual void HandleChanged();
  void FinalizeBackend() override;
  void BackendChanged() override;
  void BackendChangingHook() override;

  TNotifyEvent FOnHandleChanged;

private:
  void WireBackend(TCustomBackend* ABackend);
  static void UnwireBackend(TCustomBackend* ABackend);
};
