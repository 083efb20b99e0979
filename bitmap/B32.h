// The foundation of the bitmap library: the pixel value, fixed-point, point
// and rectangle types, the draw/combine/wrap modes, the event types, the
// persistent base classes (reference counted, change-notifying, lockable),
// the two-dimensional map with a size, and the colour and rectangle helpers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

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
// The bitmap and its backends follow below.
