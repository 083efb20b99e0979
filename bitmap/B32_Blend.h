// Compositing of 32-bit pixels: blend (a colour with alpha over an opaque
// background), merge (over a background with alpha), mix (two colours in a
// ratio) and per-channel operations.
//
// Every routine is a function variable bound once at library start-up
// (InitializeBitmapLibrary) through the registry "B32_Blend bindings"; callers
// always call through the variables. Three families are registered per
// function number: table-based reference forms (_Ref), integer forms working
// two channels per multiply (_Int), and the 16-bit-lane forms (_Lane) whose
// arithmetic defines the library's results. The lane forms are portable code
// and need no processor feature, so they are bound everywhere and every
// processor composes the same bytes. SSE2 forms of the spans are registered
// after them; they give the lane forms' bytes exactly and only add speed.
#pragma once

#include <cstdint>

#include "bitmap/B32.h"
#include "bitmap/B32_Bindings.h"

// ---------------------------------------------------------------------------
// Function types

using TBlendReg = TColor32 (*)(TColor32 F, TColor32 B);
using TBlendMem = void (*)(TColor32 F, TColor32& B);
using TBlendRegEx = TColor32 (*)(TColor32 F, TColor32 B, uint32_t M);
using TBlendMemEx = void (*)(TColor32 F, TColor32& B, uint32_t M);
using TBlendLine = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count);
using TBlendLineEx = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
using TBlendFillProc = void (*)(TColor32 F, TColor32* Dst, int32_t Count);
using TCombineReg = TColor32 (*)(TColor32 X, TColor32 Y, uint32_t W);
using TCombineMem = void (*)(TColor32 X, TColor32& Y, uint32_t W);
using TCombineLine = void (*)(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W);
using TScaleReg = TColor32 (*)(TColor32 C, uint32_t W);
using TLightenReg = TColor32 (*)(TColor32 C, int32_t Amount);
using TBlendRegRGB = TColor32 (*)(TColor32 F, TColor32 B, TColor32 W);
using TBlendMemRGB = void (*)(TColor32 F, TColor32& B, TColor32 W);

// ---------------------------------------------------------------------------
// Function numbers in the registry

enum : int32_t {
  FID_FINISHBLENDBLOCK = 0,
  FID_MERGEPIXELS = 1,
  FID_MERGEPIXELINTO = 2,
  FID_MERGESPAN = 3,
  FID_MERGEFILL = 4,
  FID_MERGEPIXELSMASTER = 5,
  FID_MERGEPIXELINTOMASTER = 6,
  FID_MERGESPANMASTER = 7,
  FID_MIXPIXELS = 8,
  FID_MIXPIXELINTO = 9,
  FID_MIXSPAN = 10,
  FID_BLENDPIXELS = 11,
  FID_BLENDPIXELINTO = 12,
  FID_BLENDFILL = 13,
  FID_BLENDSPAN = 14,
  FID_BLENDPIXELSMASTER = 15,
  FID_BLENDPIXELINTOMASTER = 16,
  FID_BLENDSPANMASTER = 17,
  FID_BLENDCOLORRUN = 18,
  FID_CHANNELMAX = 19,
  FID_CHANNELMIN = 20,
  FID_CHANNELAVERAGE = 21,
  FID_CHANNELADD = 22,
  FID_CHANNELSUB = 23,
  FID_CHANNELDIVIDE = 24,
  FID_CHANNELMULTIPLY = 25,
  FID_CHANNELDIFFERENCE = 26,
  FID_CHANNELEXCLUSION = 27,
  FID_CHANNELSCALE = 28,
  FID_CHANNELSCREEN = 29,
  FID_CHANNELDODGE = 30,
  FID_CHANNELBURN = 31,
  FID_BLENDCHANNELSUM = 32,
  FID_BLENDCHANNELPRODUCT = 33,
  FID_SHIFTBRIGHTNESS = 34,
  FID_BLENDPERCHANNEL = 35,
  FID_BLENDPERCHANNELINTO = 36,
};

// ---------------------------------------------------------------------------
// Bound function variables (F foreground, B background, M master alpha 0-255,
// W weight 0-255; spans and fills do nothing for Count <= 0)

extern TBlendReg MergePixels;
extern TBlendMem MergePixelInto;
extern TBlendLine MergeSpan;
extern TBlendRegEx MergePixelsMaster;
extern TBlendMemEx MergePixelIntoMaster;
extern TBlendLineEx MergeSpanMaster;
extern TCombineReg MixPixels;
extern TCombineMem MixPixelInto;
extern TCombineLine MixSpan;
extern TBlendReg BlendPixels;
extern TBlendMem BlendPixelInto;
extern TBlendFillProc BlendFill;
extern TBlendLine BlendSpan;
extern TBlendRegEx BlendPixelsMaster;
extern TBlendMemEx BlendPixelIntoMaster;
extern TBlendLineEx BlendSpanMaster;
extern TBlendFillProc BlendColorRun;
extern TBlendReg ChannelMax;
extern TBlendReg ChannelMin;
extern TBlendReg ChannelAverage;
extern TBlendReg ChannelAdd;
extern TBlendReg ChannelSub;
extern TBlendReg ChannelDivide;
extern TBlendReg ChannelMultiply;
extern TBlendReg ChannelDifference;
extern TBlendReg ChannelExclusion;
extern TScaleReg ChannelScale;
extern TBlendReg ChannelScreen;
extern TBlendReg ChannelDodge;
extern TBlendReg ChannelBurn;
extern TBlendReg BlendChannelSum;
extern TBlendReg BlendChannelProduct;
extern TLightenReg ShiftBrightness;
extern TBlendRegRGB BlendPerChannel;
extern TBlendMemRGB BlendPerChannelInto;

// Registered but never bound: ends a block of blend calls (nothing to do),
// and merges one colour into a run of pixels through the bound MergePixels.
inline void FinishBlendBlock() {}
void MergeFill(TColor32 F, TColor32* Dst, int32_t Count);

// Lookup by combine mode (cmBlend, cmMerge): addresses of the bound
// variables, so a lookup yields the binding in force.
extern TBlendMem* const PixelBlendByMode[2];
extern TBlendMemEx* const PixelBlendMasterByMode[2];
extern TBlendLine* const SpanBlendByMode[2];
extern TBlendLineEx* const SpanBlendMasterByMode[2];

// Tables of the reference forms: MulDivTable[w][c] = Round(w * c / 255),
// DivTable[x][y] = low 8 bits of Round(y * 255 / x); row 0 of each is 0.
extern uint8_t MulDivTable[256][256];
extern uint8_t DivTable[256][256];

// ---------------------------------------------------------------------------
// The implementations (for tests and for callers that need one family)

// Reference forms.
TColor32 MergePixels_Ref(TColor32 F, TColor32 B);
void MergePixelInto_Ref(TColor32 F, TColor32& B);
void MergeSpan_Ref(const TColor32* Src, TColor32* Dst, int32_t Count);
void MergeFill_Ref(TColor32 F, TColor32* Dst, int32_t Count);
TColor32 MergePixelsMaster_Ref(TColor32 F, TColor32 B, uint32_t M);
void MergePixelIntoMaster_Ref(TColor32 F, TColor32& B, uint32_t M);
void MergeSpanMaster_Ref(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
TColor32 MixPixels_Ref(TColor32 X, TColor32 Y, uint32_t W);
void MixPixelInto_Ref(TColor32 X, TColor32& Y, uint32_t W);
void MixSpan_Ref(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W);
TColor32 BlendPixels_Ref(TColor32 F, TColor32 B);
void BlendPixelInto_Ref(TColor32 F, TColor32& B);
void BlendFill_Ref(TColor32 F, TColor32* Dst, int32_t Count);
void BlendSpan_Ref(const TColor32* Src, TColor32* Dst, int32_t Count);
TColor32 BlendPixelsMaster_Ref(TColor32 F, TColor32 B, uint32_t M);
void BlendPixelIntoMaster_Ref(TColor32 F, TColor32& B, uint32_t M);
void BlendSpanMaster_Ref(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
void BlendColorRun_Ref(TColor32 F, TColor32* Dst, int32_t Count);
TColor32 ChannelMax_Ref(TColor32 F, TColor32 B);
TColor32 ChannelMin_Ref(TColor32 F, TColor32 B);
TColor32 ChannelAverage_Ref(TColor32 F, TColor32 B);
TColor32 ChannelAdd_Ref(TColor32 F, TColor32 B);
TColor32 ChannelSub_Ref(TColor32 F, TColor32 B);
TColor32 ChannelDivide_Ref(TColor32 F, TColor32 B);
TColor32 ChannelMultiply_Ref(TColor32 F, TColor32 B);
TColor32 ChannelDifference_Ref(TColor32 F, TColor32 B);
TColor32 ChannelExclusion_Ref(TColor32 F, TColor32 B);
TColor32 ChannelScale_Ref(TColor32 C, uint32_t W);
TColor32 ChannelScreen_Ref(TColor32 F, TColor32 B);
TColor32 ChannelDodge_Ref(TColor32 F, TColor32 B);
TColor32 ChannelBurn_Ref(TColor32 F, TColor32 B);
TColor32 BlendChannelSum_Ref(TColor32 F, TColor32 B);
TColor32 BlendChannelProduct_Ref(TColor32 F, TColor32 B);
TColor32 ShiftBrightness_Ref(TColor32 C, int32_t Amount);
TColor32 BlendPerChannel_Ref(TColor32 F, TColor32 B, TColor32 W);
void BlendPerChannelInto_Ref(TColor32 F, TColor32& B, TColor32 W);

// Integer forms.
TColor32 MixPixels_Int(TColor32 X, TColor32 Y, uint32_t W);
void MixPixelInto_Int(TColor32 X, TColor32& Y, uint32_t W);
TColor32 BlendPixels_Int(TColor32 F, TColor32 B);
void BlendPixelInto_Int(TColor32 F, TColor32& B);
void BlendFill_Int(TColor32 F, TColor32* Dst, int32_t Count);
void BlendSpan_Int(const TColor32* Src, TColor32* Dst, int32_t Count);
TColor32 BlendPixelsMaster_Int(TColor32 F, TColor32 B, uint32_t M);
void BlendPixelIntoMaster_Int(TColor32 F, TColor32& B, uint32_t M);
void BlendColorRun_Int(TColor32 F, TColor32* Dst, int32_t Count);

// 16-bit-lane forms.
TColor32 MergePixels_Lane(TColor32 F, TColor32 B);
TColor32 MixPixels_Lane(TColor32 X, TColor32 Y, uint32_t W);
void MixPixelInto_Lane(TColor32 X, TColor32& Y, uint32_t W);
void MixSpan_Lane(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t W);
TColor32 BlendPixels_Lane(TColor32 F, TColor32 B);
void BlendPixelInto_Lane(TColor32 F, TColor32& B);
void BlendFill_Lane(TColor32 F, TColor32* Dst, int32_t Count);
void BlendSpan_Lane(const TColor32* Src, TColor32* Dst, int32_t Count);
TColor32 BlendPixelsMaster_Lane(TColor32 F, TColor32 B, uint32_t M);
void BlendPixelIntoMaster_Lane(TColor32 F, TColor32& B, uint32_t M);
void BlendSpanMaster_Lane(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
TColor32 ChannelMax_Lane(TColor32 F, TColor32 B);
TColor32 ChannelMin_Lane(TColor32 F, TColor32 B);
TColor32 ChannelAdd_Lane(TColor32 F, TColor32 B);
TColor32 ChannelSub_Lane(TColor32 F, TColor32 B);
TColor32 ChannelMultiply_Lane(TColor32 F, TColor32 B);
TColor32 ChannelDifference_Lane(TColor32 F, TColor32 B);
TColor32 ChannelExclusion_Lane(TColor32 F, TColor32 B);
TColor32 ChannelScale_Lane(TColor32 C, uint32_t W);
TColor32 ShiftBrightness_Lane(TColor32 C, int32_t Amount);
TColor32 BlendPerChannel_Lane(TColor32 F, TColor32 B, TColor32 W);
void BlendPerChannelInto_Lane(TColor32 F, TColor32& B, TColor32 W);

#if defined(__SSE2__)
// SSE2 span forms giving the lane forms' bytes (weights within 0..255).
void BlendSpan_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count);
void BlendSpanMaster_SSE2(const TColor32* Src, TColor32* Dst, int32_t Count, uint32_t M);
#endif

// Start-up of the unit: registers and binds every number, fills the tables.
void B32_Blend_Initialize();
