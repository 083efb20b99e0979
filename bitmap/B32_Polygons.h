// Polygon renderers: the rasteriser's coverage spans drawn into a bitmap with
// a colour, per pixel or per LCD sub-pixel, under the even-odd or non-zero rule.
#pragma once

#include <cstdint>
#include <string>

#include "bitmap/B32.h"
#include "bitmap/B32_Containers.h"
#include "bitmap/B32_VPR.h"
#include "bitmap/B32_VectorUtils.h"

enum TPolyFillMode : uint8_t { pfEvenOdd = 0, pfNonZero = 1 };

// Supplies the colours of a span; the renderer hands it coverage alphas.
class TCustomPolygonFiller {
public:
  virtual ~TCustomPolygonFiller() = default;
  virtual void BeginRendering() {}
  virtual void EndRendering() {}
  virtual void FillLine(TColor32* Dst, int32_t DstX, int32_t DstY, int32_t Length, const TColor32* AlphaValues,
                        TCombineMode CombineMode) = 0;
};

class TCustomPolygonRenderer : public TThreadPersistent {
public:
  virtual void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                             TFloatTransformation* Transformation);
  virtual void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& /*Points*/, const TFloatRect& /*ClipRect*/) {}
  virtual void PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                         TFloatTransformation* Transformation);
  virtual void PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect);
};

class TPolygonRenderer32 : public TCustomPolygonRenderer {
public:
  TPolygonRenderer32() = default;
  explicit TPolygonRenderer32(TCustomBitmap32* ABitmap, TPolyFillMode AFillMode = pfEvenOdd)
      : FBitmap(ABitmap), FFillMode(AFillMode) {}

  using TCustomPolygonRenderer::PolygonFS;
  using TCustomPolygonRenderer::PolyPolygonFS;
  // With the bitmap's clip rectangle.
  void PolygonFS(const TArrayOfFloatPoint& Points);
  void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points);

  TCustomBitmap32* GetBitmap() const { return FBitmap; }
  void SetBitmap(TCustomBitmap32* Value);
  TPolyFillMode GetFillMode() const { return FFillMode; }
  void SetFillMode(TPolyFillMode Value) { FFillMode = Value; }
  TColor32 GetColor() const { return FColor; }
  void SetColor(TColor32 Value) { FColor = Value; }
  TCustomPolygonFiller* GetFiller() const { return FFiller; }
  void SetFiller(TCustomPolygonFiller* Value) { FFiller = Value; }

  virtual const char* ClassName() const { return "TPolygonRenderer32"; }

protected:
  // Reports the bounds of each non-empty polygon unless the bitmap is inside
  // an update block.
  void ReportAreas(const TArrayOfArrayOfFloatPoint& Points);

  TCustomBitmap32* FBitmap = nullptr;
  TPolyFillMode FFillMode = pfEvenOdd;
  TColor32 FColor = 0xFFFFFFFF;
  TCustomPolygonFiller* FFiller = nullptr;
};

// Coverage to alpha. The colour forms write Color with its alpha replaced,
// the plain forms the alpha value alone, the LCD forms one byte per sub-pixel
// (Out must have room for Count + 4 bytes). Out is TColor32* or uint8_t*.
using TFillProc = void (*)(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaEvenOddColor(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaNonZeroColor(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaEvenOdd(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaNonZero(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaEvenOddLCD(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaNonZeroLCD(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaEvenOddLCD2(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
void MakeAlphaNonZeroLCD2(const float* Coverage, void* Out, int32_t Count, TColor32 Color);
// Indexed: FillMode (+ 2 with a filler, 4 for LCD, 6 for LCD2).
extern const TFillProc FillProcs[8];

class TPolygonRenderer32VPR : public TPolygonRenderer32 {
public:
  using TPolygonRenderer32::TPolygonRenderer32;
  using TPolygonRenderer32::PolyPolygonFS;
  void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) override;
  const char* ClassName() const override { return "TPolygonRenderer32VPR"; }

protected:
  virtual void FillSpan(const TValueSpan& Span, int32_t DstY);
  void FillSpanFiller(const TValueSpan& Span, int32_t DstY);
  TRenderSpanEvent GetRenderSpan();

  TFillProc FFillProc = nullptr;
};

class TPolygonRenderer32LCD : public TPolygonRenderer32VPR {
public:
  using TPolygonRenderer32VPR::TPolygonRenderer32VPR;
  using TPolygonRenderer32::PolyPolygonFS;
  void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) override;
  const char* ClassName() const override { return "TPolygonRenderer32LCD"; }

protected:
  void FillSpan(const TValueSpan& Span, int32_t DstY) override;
  virtual bool IsLCD2() const { return false; }
};

// LCD with a second 3-tap filter over the sub-pixels.
class TPolygonRenderer32LCD2 : public TPolygonRenderer32LCD {
public:
  using TPolygonRenderer32LCD::TPolygonRenderer32LCD;
  const char* ClassName() const override { return "TPolygonRenderer32LCD2"; }

protected:
  bool IsLCD2() const override { return true; }
};

// The class reference of a renderer.
class TPolygonRendererClass {
public:
  virtual ~TPolygonRendererClass() = default;
  virtual std::string GetClassName() const = 0;
  virtual TPolygonRenderer32* Create() const = 0;
};

// The registered renderer classes, in registration order.
TClassList<TPolygonRendererClass>& PolygonRendererList();

void B32_Polygons_Initialize();
void B32_Polygons_Finalize();
