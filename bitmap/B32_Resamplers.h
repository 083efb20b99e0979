// Filter kernels, the block and stretched transfers between bitmaps, and the
// resamplers a bitmap uses when it is drawn stretched: nearest neighbour,
// bilinear, draft (block average) and the separable kernel resampler with its
// exact per-axis mapping tables. Every resampler can also act as a point
// sampler of its bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/B32.h"
#include "bitmap/B32_Containers.h"
#include "bitmap/B32_OrdinalMaps.h"

// ---------------------------------------------------------------------------
// Samplers and the resampler base

// How a resampler's point reads treat positions outside the clip.
enum TPixelAccessMode : uint8_t { pamUnsafe = 0, pamSafe = 1, pamWrap = 2, pamTransparentEdge = 3 };

// Answers the colour at a position in integer, 16.16 fixed or float
// coordinates, between PrepareSampling and FinalizeSampling. A concrete
// sampler overrides GetSampleFixed or GetSampleFloat (the two base forms call
// each other).
class TCustomSampler : public TNotifiablePersistent {
public:
  // GetSampleFixed(X shl 16, Y shl 16).
  virtual TColor32 GetSampleInt(int32_t X, int32_t Y);
  // GetSampleFloat(X / 65536, Y / 65536).
  virtual TColor32 GetSampleFixed(TFixed X, TFixed Y);
  // GetSampleFixed(Round(X * 65536), Round(Y * 65536)).
  virtual TColor32 GetSampleFloat(float X, float Y);
  virtual void PrepareSampling() {}
  virtual void FinalizeSampling() {}
  virtual bool HasBounds() { return false; }
  // (-inf, -inf, +inf, +inf) in the base.
  virtual TFloatRect GetSampleBounds();
};

class TCustomResampler;

// The class reference of a resampler: its name and virtual constructor.
class TCustomResamplerClass {
public:
  virtual ~TCustomResamplerClass() = default;
  virtual const char* ClassName() const = 0;
  virtual TCustomResampler* Create() const = 0;
  std::string_view GetClassName() const { return ClassName(); }
  // Create, bind to ABitmap and install as its resampler (the bitmap owns it).
  TCustomResampler* CreateForBitmap(TCustomBitmap32* ABitmap) const;
};

template <class T>
class TResamplerClassOf final : public TCustomResamplerClass {
public:
  explicit TResamplerClassOf(const char* AName) : FName(AName) {}
  const char* ClassName() const override { return FName; }
  TCustomResampler* Create() const override { return new T(); }

private:
  const char* FName;
};

// A sampler bound to one bitmap that can also stretch a rectangle of that
// bitmap into another bitmap. Owned by its bitmap.
class TCustomResampler : public TCustomSampler, public IPublishedProperties {
public:
  TCustomResampler() = default;
  ~TCustomResampler() override = default;

  virtual const TCustomResamplerClass& ClassType() const = 0;
  const char* ClassName() const { return ClassType().ClassName(); }

  virtual float GetWidth() { return 0; }
  // Draws SrcRect of Src onto DstRect of Dst inside DstClip; the caller has
  // clipped DstClip into DstRect and Dst, and SrcRect into Src.
  virtual void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                        TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) = 0;

  // A full-area change of the bound bitmap; the resampler's own OnChange stays silent.
  void Changed() override;
  void PrepareSampling() override;
  bool HasBounds() override;
  TFloatRect GetSampleBounds() override;

  TCustomBitmap32* GetBitmap() const { return FBitmap; }
  void SetBitmap(TCustomBitmap32* ABitmap) { FBitmap = ABitmap; }
  TPixelAccessMode GetPixelAccessMode() const { return FPixelAccessMode; }
  void SetPixelAccessMode(TPixelAccessMode Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

protected:
  // Copies the published settings into another resampler.
  void AssignTo(TPersistent* Dest) const override;

  TCustomBitmap32* FBitmap = nullptr;
  TRect FClipRect;
  TPixelAccessMode FPixelAccessMode = pamSafe;
};

// ---------------------------------------------------------------------------
// Kernels

class TCustomKernel;

// The class reference of a kernel: its name and its virtual constructor.
class TKernelClass {
public:
  virtual ~TKernelClass() = default;
  virtual const char* ClassName() const = 0;
  virtual TCustomKernel* Create() const = 0;
  std::string_view GetClassName() const { return ClassName(); }
};

template <class T>
class TKernelClassOf final : public TKernelClass {
public:
  explicit TKernelClassOf(const char* AName) : FName(AName) {}
  const char* ClassName() const override { return FName; }
  TCustomKernel* Create() const override { return new T(); }

private:
  const char* FName;
};

// A one-dimensional filter evaluated at a distance in source pixels.
class TCustomKernel : public TPersistent, public IPublishedProperties {
public:
  TCustomKernel() = default;
  ~TCustomKernel() override = default;

  virtual const TKernelClass& ClassType() const = 0;
  const char* ClassName() const { return ClassType().ClassName(); }

  // Whether resampled channel sums must be clamped to 0..255.
  virtual bool RangeCheck() const { return false; }
  virtual float Filter(float Value) = 0;
  // Half-width of the support in source pixels.
  virtual float GetWidth() = 0;

  // The published properties, in declaration order (ancestors first).
  std::vector<TPropInfo> GetPublishedProperties() const override { return {}; }

  // Not owned; told about every real property change when set.
  TNotifiablePersistent* Observer = nullptr;

protected:
  void AssignTo(TPersistent* Dest) const override;
  void Changed();
};

// The kernels of the sinc family: Sinc(t) times a window, cut off at Width.
class TWindowedSincKernel : public TCustomKernel {
public:
  TWindowedSincKernel();

  bool RangeCheck() const override { return true; }
  float Filter(float Value) override;
  float GetWidth() override { return FWidth; }
  virtual float Window(float Value) = 0;

  float Width() const { return FWidth; }
  // Caps the value at 16.
  void SetWidth(float Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

protected:
  float FWidth;
  float FWidthReciprocal;
};

class TBoxKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Filter(float Value) override;
  float GetWidth() override { return 1; }
};

class TLinearKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Filter(float Value) override;
  float GetWidth() override { return 1; }
};

class TCosineKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Filter(float Value) override;
  float GetWidth() override { return 1; }
};

class TSplineKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  bool RangeCheck() const override { return true; }
  float Filter(float Value) override;
  float GetWidth() override { return 2; }
};

class TCubicKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  bool RangeCheck() const override { return true; }
  float Filter(float Value) override;
  float GetWidth() override { return 2; }
  float Coeff() const { return FCoeff; }
  void SetCoeff(float Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

private:
  float FCoeff = -0.5f;
};

class TMitchellKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  bool RangeCheck() const override { return true; }
  float Filter(float Value) override;
  float GetWidth() override { return 2; }
};

class TAlbrechtKernel : public TWindowedSincKernel {
public:
  TAlbrechtKernel();
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Window(float Value) override;
  int32_t Terms() const { return FTerms; }
  // Clamps to 2..11 and loads that row of coefficients; notifies nobody.
  void SetTerms(int32_t Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

private:
  int32_t FTerms = 0;
  double FCoefPointer[11] = {};
};

class TLanczosKernel : public TWindowedSincKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Window(float Value) override;
};

class TGaussianKernel : public TWindowedSincKernel {
public:
  TGaussianKernel();
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Window(float Value) override;
  float Sigma() const { return FSigma; }
  // 0 is ignored.
  void SetSigma(float Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

private:
  float FSigma;
  float FSigmaReciprocalLn2;
};

class TBlackmanKernel : public TWindowedSincKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Window(float Value) override;
};

class THannKernel : public TWindowedSincKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Window(float Value) override;
};

class THammingKernel : public TWindowedSincKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  float Window(float Value) override;
};

class TSinshKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  bool RangeCheck() const override { return true; }
  float Filter(float Value) override;
  float GetWidth() override { return FWidth; }
  float Width() const { return FWidth; }
  void SetWidth(float Value);
  float Coeff() const { return FCoeff; }
  // 0 is ignored.
  void SetCoeff(float Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

private:
  float FWidth = 3;
  float FCoeff = 0.5f;
};

class THermiteKernel : public TCustomKernel {
public:
  static const TKernelClass& Class();
  const TKernelClass& ClassType() const override { return Class(); }
  bool RangeCheck() const override { return true; }
  float Filter(float Value) override;
  float GetWidth() override { return 2; }
  float Bias() const { return FBias; }
  void SetBias(float Value);
  float Tension() const { return FTension; }
  void SetTension(float Value);
  std::vector<TPropInfo> GetPublishedProperties() const override;

private:
  float FBias = 0;
  float FTension = 0;
};

// sin(pi x) / (pi x) in single precision; 1 at 0.
float Sinc(float X);

// ---------------------------------------------------------------------------
// Class lists

// The class lists: searched by exact (case-sensitive) class name, first match.
using TResamplerClassList = TClassList<TCustomResamplerClass>;
using TKernelClassList = TClassList<TKernelClass>;

// The registered resamplers (nearest, linear, draft, kernel) and the fourteen
// kernels, in registration order. Filled once, on first use.
TResamplerClassList* ResamplerList();
TKernelClassList* KernelList();
void RegisterResampler(const TCustomResamplerClass* AClass);
// Start-up of the unit: the function bindings, then the resampler and kernel
// classes in their order. Runs once, after the units before it (it does not
// start them); bitmaps and the class lists run it on first use.
void B32_Resamplers_Initialize();
void RegisterKernel(const TKernelClass* AClass);

// ---------------------------------------------------------------------------
// Mapping tables

// One filter tap: a source column (or row) and its weight, 256 meaning 1.0.
struct TPointRec {
  int32_t Pos;
  int32_t Weight;
  bool operator==(const TPointRec&) const = default;
};
// The taps of one destination column (or row), in increasing Pos.
using TCluster = std::vector<TPointRec>;
// One cluster per destination column (or row) inside the clip.
using TMappingTable = std::vector<TCluster>;

// The vertical-pass sums of one source column: blue, green, red, alpha.
struct TBufferEntry {
  int32_t B, G, R, A;
};

// Builds the taps of one axis. The weights of every cluster add up to 256 and
// each one lies within one step of its exact (normalised) value.
TMappingTable BuildMappingTable(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                                int32_t SrcLo, int32_t SrcHi, TCustomKernel* Kernel);

// ---------------------------------------------------------------------------
// Transfers

// Copies or combines SrcRect of Src so that its corner lands on (DstX, DstY), inside DstClip.
void BlockTransfer(TCustomBitmap32* Dst, int32_t DstX, int32_t DstY, TRect DstClip,
                   TCustomBitmap32* Src, TRect SrcRect, TDrawMode CombineOp,
                   const TPixelCombineEvent& CombineCallBack = {});
// The unchecked row loop: DstRect lies inside Dst and the same-sized block at
// (SrcX, SrcY) inside Src.
void BlockTransferRows(TCustomBitmap32* Dst, const TRect& DstRect, TCustomBitmap32* Src,
                       int32_t SrcX, int32_t SrcY, TDrawMode CombineOp,
                       const TPixelCombineEvent& CombineCallBack);
// Draws SrcRect of Src scaled onto DstRect of Dst, limited to DstClip.
void StretchTransfer(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                     TRect SrcRect, TCustomResampler* Resampler, TDrawMode CombineOp,
                     const TPixelCombineEvent& CombineCallBack = {});
void StretchNearest(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                    TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
void SeparableResample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                       TRect SrcRect, TCustomKernel* Kernel, TDrawMode CombineOp,
                       const TPixelCombineEvent& CombineCallBack);
// Bilinear enlargement; the source rectangle is at least 2 x 2.
void StretchBilinear(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                     TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
// Block averaging when shrinking, bilinear when enlarging.
void DraftResample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                   TRect SrcRect, TCustomKernel* Kernel, TDrawMode CombineOp,
                   const TPixelCombineEvent& CombineCallBack);

// ---------------------------------------------------------------------------
// Bound pixel functions of the resamplers

// Average of a Dlx x Dly block whose rows are RowSrc bytes apart.
using TBlockAverageFunc = TColor32 (*)(uint32_t Dlx, uint32_t Dly, intptr_t RowSrc, const TColor32* OffSrc);
// Mixes C11, the pixel after it, C21 and the pixel after that by WX and WY (0..256).
using TInterpolatePixelsFunc = TColor32 (*)(uint32_t WX, uint32_t WY, const TColor32* C11, const TColor32* C21);

// The vertical pass of kernel resampling: Buf[k] += the sum of
// Rows[t][k] * Ws[t] over four taps, for Count bytes.
using TAccumulateRowsProc = void (*)(int32_t* Buf, const uint8_t* const* Rows, const int32_t* Ws, int32_t Count);

// The horizontal pass: for each of Count clusters (taps Start[i] to
// Start[i + 1] - 1), the weighted sums of Buffer[Pos[t]] into Out, four
// channels per cluster.
using THorizontalSumsProc = void (*)(const TBufferEntry* Buffer, const int32_t* Start, const int32_t* Pos,
                                     const int32_t* Weight, int32_t Count, int32_t* Out);

extern TBlockAverageFunc BlockAverage;
extern TAccumulateRowsProc AccumulateRows;
extern THorizontalSumsProc HorizontalSums;
extern TInterpolatePixelsFunc InterpolatePixels;

void AccumulateRows_SSE2(int32_t* Buf, const uint8_t* const* Rows, const int32_t* Ws, int32_t Count);
void HorizontalSums_Pas(const TBufferEntry* Buffer, const int32_t* Start, const int32_t* Pos, const int32_t* Weight,
                        int32_t Count, int32_t* Out);
#if defined(__x86_64__) || defined(__i386__)
void AccumulateRows_AVX2(int32_t* Buf, const uint8_t* const* Rows, const int32_t* Ws, int32_t Count);
void HorizontalSums_AVX2(const TBufferEntry* Buffer, const int32_t* Start, const int32_t* Pos,
                         const int32_t* Weight, int32_t Count, int32_t* Out);
#endif
TColor32 BlockAverage_Pas(uint32_t Dlx, uint32_t Dly, intptr_t RowSrc, const TColor32* OffSrc);
TColor32 BlockAverage_SSE2(uint32_t Dlx, uint32_t Dly, intptr_t RowSrc, const TColor32* OffSrc);
TColor32 InterpolatePixels_Pas(uint32_t WX, uint32_t WY, const TColor32* C11, const TColor32* C21);
TColor32 InterpolatePixels_SSE2(uint32_t WX, uint32_t WY, const TColor32* C11, const TColor32* C21);

// Registers the two bindings above and binds them; runs once.
void RegisterResamplerBindings();

// ---------------------------------------------------------------------------
// Resamplers

// Nearest neighbour; the default resampler of every bitmap.
class TNearestResampler : public TCustomResampler {
public:
  static const TCustomResamplerClass& Class();
  const TCustomResamplerClass& ClassType() const override { return Class(); }

  float GetWidth() override { return 1; }
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

  TColor32 GetSampleInt(int32_t X, int32_t Y) override;
  TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
  TColor32 GetSampleFloat(float X, float Y) override;
  void PrepareSampling() override;

private:
  TColor32 GetPixelTransparentEdge(int32_t X, int32_t Y);
  TColor32 (TNearestResampler::*FGetSampleInt)(int32_t, int32_t) = nullptr;
  TColor32 ReadUnsafe(int32_t X, int32_t Y);
  TColor32 ReadSafe(int32_t X, int32_t Y);
  TColor32 ReadWrap(int32_t X, int32_t Y);
};

// Bilinear when enlarging, a linear-kernel resample otherwise.
class TLinearResampler : public TCustomResampler {
public:
  TLinearResampler();
  ~TLinearResampler() override;
  static const TCustomResamplerClass& Class();
  const TCustomResamplerClass& ClassType() const override { return Class(); }

  float GetWidth() override { return 1; }
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

  TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
  TColor32 GetSampleFloat(float X, float Y) override;
  void PrepareSampling() override;

protected:
  TLinearKernel* FLinearKernel;

private:
  TColor32 GetPixelTransparentEdge(TFixed X, TFixed Y);
  TColor32 (TLinearResampler::*FGetSampleFixed)(TFixed, TFixed) = nullptr;
  TColor32 ReadUnsafe(TFixed X, TFixed Y);
  TColor32 ReadSafe(TFixed X, TFixed Y);
  TColor32 ReadWrap(TFixed X, TFixed Y);
};

// Block averaging when shrinking.
class TDraftResampler : public TLinearResampler {
public:
  static const TCustomResamplerClass& Class();
  const TCustomResamplerClass& ClassType() const override { return Class(); }
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;
};

enum TKernelMode : uint8_t { kmDynamic = 0, kmTableNearest = 1, kmTableLinear = 2 };

// The separable kernel resampler; starts with a box kernel.
class TKernelResampler : public TCustomResampler {
public:
  TKernelResampler();
  ~TKernelResampler() override;
  static const TCustomResamplerClass& Class();
  const TCustomResamplerClass& ClassType() const override { return Class(); }

  float GetWidth() override;
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

  TColor32 GetSampleFloat(float X, float Y) override;
  void PrepareSampling() override;
  void FinalizeSampling() override;

  TCustomKernel* GetKernel() const { return FKernel; }
  // Takes ownership; nil and the current kernel are ignored.
  void SetKernel(TCustomKernel* Value);
  std::string GetKernelClassName() const;
  // Unknown or empty names and the current class name change nothing.
  void SetKernelClassName(const std::string& Value);
  TKernelMode GetKernelMode() const { return FKernelMode; }
  void SetKernelMode(TKernelMode Value);
  int32_t GetTableSize() const { return FTableSize; }
  // Values below 2 become 2.
  void SetTableSize(int32_t Value);

  std::vector<TPropInfo> GetPublishedProperties() const override;

private:
  TCustomKernel* FKernel = nullptr;
  TKernelMode FKernelMode = kmDynamic;
  // (2W + 1) x (TableSize + 1) weights; exists between PrepareSampling and
  // FinalizeSampling in the table modes.
  std::unique_ptr<TIntegerMap> FWeightTable;
  int32_t FTableSize = 32;
  TColor32 FOuterColor = 0;
};
