#include "bitmap/B32_Blend.h"

#include <gtest/gtest.h>

#include <vector>

#include "bitmap/B32_UnitInit.h"

namespace {

class B32_BlendTest : public ::testing::Test {
protected:
  void SetUp() override { InitializeBitmapLibrary(); }
};

constexpr TColor32 kHalfRed = 0x80FF0000;     // red 255, alpha 128
constexpr TColor32 kBlue = 0xFF0000FF;        // opaque blue
constexpr TColor32 kHalfBlue = 0x800000FF;    // blue 255, alpha 128
constexpr TColor32 kBlack = 0xFF000000;
constexpr TColor32 kWhite = 0xFFFFFFFF;

TColor32 Into(TBlendMem f, TColor32 F, TColor32 B) {
  f(F, B);
  return B;
}
TColor32 IntoM(TBlendMemEx f, TColor32 F, TColor32 B, uint32_t M) {
  f(F, B, M);
  return B;
}
TColor32 Span(TBlendLine f, TColor32 F, TColor32 B) {
  f(&F, &B, 1);
  return B;
}
TColor32 SpanM(TBlendLineEx f, TColor32 F, TColor32 B, uint32_t M) {
  f(&F, &B, 1, M);
  return B;
}

}  // namespace

TEST_F(B32_BlendTest, TablesRoundToNearestEven) {
  EXPECT_EQ(MulDivTable[127][127], 63);  // 63.25
  EXPECT_EQ(MulDivTable[128][255], 128);
  EXPECT_EQ(MulDivTable[255][200], 200);
  EXPECT_EQ(MulDivTable[0][200], 0);
  EXPECT_EQ(DivTable[2][1], 128);        // 127.5 to even
  EXPECT_EQ(DivTable[192][128], 170);
  EXPECT_EQ(DivTable[10][1], 26);        // 25.5 to even
  EXPECT_EQ(DivTable[0][9], 0);
  EXPECT_EQ(DivTable[1][2], 510 & 255);  // only the low byte is kept
}

// Each family's arithmetic on the pairs that show where they part.
TEST_F(B32_BlendTest, BlendExamples) {
  struct Case {
    const char* What;
    TColor32 Got, Want;
  };
  const Case cases[] = {
      // Half-transparent red over opaque blue.
      {"lane BlendPixelInto", Into(BlendPixelInto_Lane, kHalfRed, kBlue), 0xC0800080},
      {"int BlendPixelInto", Into(BlendPixelInto_Int, kHalfRed, kBlue), 0xFF80007F},
      {"ref BlendPixelInto", Into(BlendPixelInto_Ref, kHalfRed, kBlue), 0xFF80007F},
      {"lane BlendSpan", Span(BlendSpan_Lane, kHalfRed, kBlue), 0xFF80007F},
      {"lane BlendPixels", BlendPixels_Lane(kHalfRed, kBlue), 0xFF800080},
      {"int BlendPixels", BlendPixels_Int(kHalfRed, kBlue), 0xFF80007F},
      {"ref BlendPixels", BlendPixels_Ref(kHalfRed, kBlue), 0xFF80007F},
      // Opaque black over opaque white: the lane forms have no shortcut.
      {"lane BlendSpan black", Span(BlendSpan_Lane, kBlack, kWhite), 0xFF010101},
      {"lane BlendPixelInto black", Into(BlendPixelInto_Lane, kBlack, kWhite), kBlack},
      {"lane BlendPixels black", BlendPixels_Lane(kBlack, kWhite), 0xFF010101},
      {"int BlendPixels black", BlendPixels_Int(kBlack, kWhite), kBlack},
      {"ref BlendPixels black", BlendPixels_Ref(kBlack, kWhite), kBlack},
      // Transparent sources leave the background.
      {"lane BlendPixelInto clear", Into(BlendPixelInto_Lane, 0x00123456, kBlue), kBlue},
      {"lane BlendSpan clear", Span(BlendSpan_Lane, 0x00123456, 0x80402010), 0x80402010},
      {"lane BlendPixels clear", BlendPixels_Lane(0x00123456, 0x80402010), 0xFF402010},
      // Master forms.
      {"lane BlendPixelIntoMaster M0", IntoM(BlendPixelIntoMaster_Lane, kBlack, kWhite, 0), kWhite},
      {"int BlendPixelIntoMaster M0", IntoM(BlendPixelIntoMaster_Int, kBlack, kWhite, 0), kWhite},
      {"ref BlendPixelIntoMaster M0", IntoM(BlendPixelIntoMaster_Ref, kBlack, kWhite, 0), kWhite},
      {"lane BlendPixelsMaster half", BlendPixelsMaster_Lane(kHalfRed, kBlue, 255), 0xC0800080},
      {"lane BlendPixelsMaster M127", BlendPixelsMaster_Lane(0xFFFF0000, kBlue, 127), 0xFF7F0080},
      {"int BlendPixelsMaster M127", BlendPixelsMaster_Int(0xFFFF0000, kBlue, 127), 0xFF7F0080},
      {"ref BlendPixelsMaster M255", BlendPixelsMaster_Ref(0xFF102030, kBlue, 255), 0xFF102030},
      {"ref BlendPixelsMaster M128", BlendPixelsMaster_Ref(0xFFFF0000, kBlue, 128), 0xFF80007F},
      {"lane BlendSpanMaster M0", SpanM(BlendSpanMaster_Lane, kBlack, kWhite, 0), kWhite},
      // Span master weight: (a + 1) * M shr 8 = 256 * 128 shr 8 = 128.
      {"lane BlendSpanMaster", SpanM(BlendSpanMaster_Lane, 0xFFFF0000, kBlue, 128), 0xFF800080},
      {"lane BlendSpanMaster clear", SpanM(BlendSpanMaster_Lane, 0x00FF0000, kBlue, 255), kBlue},
      // Mix.
      {"lane MixPixels W255", MixPixels_Lane(kBlack, kWhite, 255), 0xFF010101},
      {"lane MixPixels W128", MixPixels_Lane(0x00FF0000, 0xFF0000FF, 128), 0x80800080},
      {"int MixPixels W128", MixPixels_Int(0x00FF0000, 0xFF0000FF, 128), 0x7F80007F},
      {"ref MixPixels W128", MixPixels_Ref(0x00FF0000, 0xFF0000FF, 128), 0x7F80007F},
      {"ref MixPixels W0", MixPixels_Ref(1, 2, 0), 2},
      {"int MixPixels W255", MixPixels_Int(1, 2, 255), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Want) << c.What << std::hex << " got " << c.Got;
}

TEST_F(B32_BlendTest, MergeExamples) {
  struct Case {
    const char* What;
    TColor32 Got, Want;
  };
  const Case cases[] = {
      {"lane", MergePixels_Lane(kHalfRed, kHalfBlue), 0xBFAA0054},
      {"ref", MergePixels_Ref(kHalfRed, kHalfBlue), 0xC0AA0055},
      {"lane clear F", MergePixels_Lane(0x00FF0000, kHalfBlue), kHalfBlue},
      {"ref clear F", MergePixels_Ref(0x00FF0000, kHalfBlue), kHalfBlue},
      {"lane clear B", MergePixels_Lane(kHalfRed, 0x000000FF), kHalfRed},
      {"ref clear B", MergePixels_Ref(kHalfRed, 0x000000FF), kHalfRed},
      {"lane opaque F", MergePixels_Lane(0xFF123456, kHalfBlue), 0xFF123456},
      // Over an opaque background W = 2056 and both colours land one below half.
      {"lane over opaque", MergePixels_Lane(kHalfRed, kBlue), 0xFF7F007F},
      {"bound", MergePixels(kHalfRed, kHalfBlue), 0xBFAA0054},
      {"bound into", Into(MergePixelInto, kHalfRed, kHalfBlue), 0xBFAA0054},
      {"bound span", Span(MergeSpan, kHalfRed, kHalfBlue), 0xBFAA0054},
      // Master 255 scales alpha 128 to 128, master 0 to 0.
      {"master 255", MergePixelsMaster(kHalfRed, kHalfBlue, 255), 0xBFAA0054},
      {"master 0", MergePixelsMaster(kHalfRed, kHalfBlue, 0), kHalfBlue},
      {"master into", IntoM(MergePixelIntoMaster, kHalfRed, kHalfBlue, 255), 0xBFAA0054},
      {"master span", SpanM(MergeSpanMaster, kHalfRed, kHalfBlue, 255), 0xBFAA0054},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Want) << c.What << std::hex << " got " << c.Got;
  std::vector<TColor32> run = {kHalfBlue, 0x00000000, kBlue};
  MergeFill(kHalfRed, run.data(), 3);
  EXPECT_EQ(run, (std::vector<TColor32>{0xBFAA0054, kHalfRed, 0xFF7F007F}));
}

// The lane merge stays within one step of the exact over-operator, for
// every pair of alphas.
TEST_F(B32_BlendTest, LaneMergeTracksTheExactAlpha) {
  for (uint32_t fa = 1; fa < 255; ++fa)
    for (uint32_t ba = 1; ba < 256; ++ba) {
      const TColor32 r = MergePixels_Lane((fa << 24) | 0xFF0000, (ba << 24) | 0xFF);
      const double exact = 255.0 - (255.0 - fa) * (255.0 - ba) / 255.0;
      const int ra = int(r >> 24);
      ASSERT_LE(ra, exact + 1e-9) << fa << " " << ba;
      ASSERT_GT(ra, exact - 1.0) << fa << " " << ba;
      const int red = int((r >> 16) & 0xFF), blue = int(r & 0xFF);
      ASSERT_LE(std::abs(red - int(255.0 * fa / exact + 0.5)), 1) << fa << " " << ba;
      ASSERT_LE(std::abs(red + blue - 255), 1) << fa << " " << ba;
    }
}

TEST_F(B32_BlendTest, OpaqueMasterBlendOverWhiteRaisesDarkValuesByOne) {
  for (uint32_t v = 0; v < 256; ++v) {
    TColor32 b = kWhite;
    BlendPixelIntoMaster(0xFF000000 | (v << 16) | (v << 8) | v, b, 255);
    const uint32_t want = v < 128 ? v + 1 : v;
    ASSERT_EQ(b, 0xFF000000 | (want << 16) | (want << 8) | want) << v;
  }
}

TEST_F(B32_BlendTest, SpansAndFills) {
  const std::vector<TColor32> src = {kBlack, kHalfRed, 0x00FFFFFF, 0x40102030, kWhite};
  // Mix span with W 255 copies exactly; W 0 and Count 0 leave the target.
  std::vector<TColor32> dst(5, 0x11223344);
  MixSpan(src.data(), dst.data(), 5, 0);
  EXPECT_EQ(dst, std::vector<TColor32>(5, 0x11223344));
  MixSpan(src.data(), dst.data(), 0, 128);
  EXPECT_EQ(dst, std::vector<TColor32>(5, 0x11223344));
  MixSpan(src.data(), dst.data(), 5, 255);
  EXPECT_EQ(dst, src);

  // The bound span forms agree with their pixel forms, pixel by pixel.
  std::vector<TColor32> bg = {kWhite, kBlue, 0x80808080, kBlack, 0x00000000};
  std::vector<TColor32> a = bg;
  BlendSpan(src.data(), a.data(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], Span(BlendSpan_Lane, src[i], bg[i])) << i;
  std::vector<TColor32> m = bg;
  BlendSpanMaster(src.data(), m.data(), 5, 200);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m[i], SpanM(BlendSpanMaster_Lane, src[i], bg[i], 200)) << i;
  std::vector<TColor32> x = bg;
  MixSpan(src.data(), x.data(), 5, 77);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(x[i], MixPixels(src[i], bg[i], 77)) << i;

  // Fills: half red over blue, nothing for a clear colour or a negative count.
  std::vector<TColor32> f = {kBlue, kBlue, kBlue};
  BlendFill(kHalfRed, f.data(), 2);
  EXPECT_EQ(f, (std::vector<TColor32>{0xC0800080, 0xC0800080, kBlue}));
  BlendFill(0x00FF0000, f.data(), 3);
  BlendFill(kWhite, f.data(), -1);
  EXPECT_EQ(f, (std::vector<TColor32>{0xC0800080, 0xC0800080, kBlue}));
  BlendFill(kWhite, f.data(), 3);
  EXPECT_EQ(f, std::vector<TColor32>(3, kWhite));
  std::vector<TColor32> run = {kBlue, kBlue};
  BlendColorRun(kHalfRed, run.data(), 2);
  EXPECT_EQ(run, std::vector<TColor32>(2, 0xFF80007F));
}

TEST_F(B32_BlendTest, PerChannelOperations) {
  struct Case {
    const char* What;
    TColor32 Got, Want;
  };
  const TColor32 p = 0x80FF4010, q = 0x4020C0F0;
  const Case cases[] = {
      {"max", ChannelMax(p, q), 0x80FFC0F0},
      {"min", ChannelMin(p, q), 0x40204010},
      {"average rounds down", ChannelAverage(0x00000001, 0x00000000), 0},
      {"average", ChannelAverage(p, q), 0x608F8080},
      {"add white", ChannelAdd(kWhite, 0x12345678), kWhite},
      {"add", ChannelAdd(p, q), 0xC0FFFFFF},
      {"sub", ChannelSub(p, q), 0x40DF0000},
      {"divide", ChannelDivide(0x00FF0080, 0x00FF0040), 0xFFFFFF80},
      {"multiply lane", ChannelMultiply(p, q), 0x201F300F},
      {"multiply ref", ChannelMultiply_Ref(p, q), 0x2020300F},
      {"difference", ChannelDifference(p, q), 0x40DF80E0},
      {"exclusion", ChannelExclusion(0x00FF8000, 0x00FF8080), 0x00028080},
      {"scale", ChannelScale(0xFF804020, 128), 0x7F402010},
      {"screen", ChannelScreen(0x00FF8000, 0x00FF8080), 0x00FFC080},
      {"dodge", ChannelDodge(0x00008040, 0x00FF80FF), 0x0000FFFF},
      {"burn", ChannelBurn(0xFF80FF40, 0x8000FF80), 0xFF00FF00},
      {"channel sum", BlendChannelSum(0x80408000, 0xFF408040), 0xFF60C040},
      {"channel product", BlendChannelProduct(0xFFFF8000, 0xFF80FF40), 0xFE808000},
      {"brighten", ShiftBrightness(0x80F01020, 20), 0x80FF2434},
      {"darken", ShiftBrightness(0x80F01020, -20), 0x80DC000C},
      // Lane weights: byte 3 blue, 2 green, 1 red, 0 alpha.
      {"per channel lane", BlendPerChannel(0xFFFFFFFF, 0x00000000, 0x00FF80FF), 0xFE80FE00},
      // Red byte 0, green byte 1, blue byte 2; the background's alpha stays.
      {"per channel ref", BlendPerChannel_Ref(0xFFFFFFFF, 0x10000000, 0x00FF8000), 0x100080FF},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Want) << c.What << std::hex << " got " << c.Got;
  TColor32 b = kBlack;
  BlendPerChannelInto(kWhite, b, 0x80FF0000);
  EXPECT_EQ(b, 0xFF00FE80u);
}

TEST_F(B32_BlendTest, BindingsAndModeLookup) {
  EXPECT_EQ(BlendPixelInto, BlendPixelInto_Lane);
#if defined(__SSE2__)
  const bool sse2 = InFeatureSet(CpuFeatureSet(), cfSSE2);
  EXPECT_EQ(BlendSpan, sse2 ? BlendSpan_SSE2 : BlendSpan_Lane);
  EXPECT_EQ(BlendSpanMaster, sse2 ? BlendSpanMaster_SSE2 : BlendSpanMaster_Lane);
#else
  EXPECT_EQ(BlendSpan, BlendSpan_Lane);
#endif
  EXPECT_EQ(MergePixels, MergePixels_Lane);
  EXPECT_EQ(MergePixelInto, MergePixelInto_Ref);
  EXPECT_EQ(BlendColorRun, BlendColorRun_Int);
  EXPECT_EQ(ChannelAverage, ChannelAverage_Ref);
  EXPECT_EQ(BlendChannelSum, BlendChannelSum_Ref);
  EXPECT_EQ(*PixelBlendByMode[cmBlend], BlendPixelInto);
  EXPECT_EQ(*PixelBlendByMode[cmMerge], MergePixelInto);
  EXPECT_EQ(*PixelBlendMasterByMode[cmMerge], MergePixelIntoMaster);
  EXPECT_EQ(*SpanBlendByMode[cmBlend], BlendSpan);
  EXPECT_EQ(*SpanBlendMasterByMode[cmBlend], BlendSpanMaster);

  // Every number 1-3 and 5-36 is bound and 0 and 4 are registered unbound.
  const TFunctionRegistry* reg = nullptr;
  for (auto& r : Registers())
    if (r->GetName() == "B32_Blend bindings") reg = r.get();
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->BindingCount(), 35u);
  EXPECT_NE(reg->FindBest(FID_MERGEFILL), nullptr);
  EXPECT_NE(reg->FindBest(FID_FINISHBLENDBLOCK), nullptr);
  // Posing as a processor without features changes nothing: the lane forms
  // need none, so every processor composes the same bytes.
  EXPECT_EQ(reinterpret_cast<TBlendMem>(
                reg->FindBest(FID_BLENDPIXELINTO, [](const TFunctionInfo& i) { return PriorityForFeatures(i, 0); })),
            BlendPixelInto_Lane);
}

#if defined(__SSE2__)
// The SSE2 spans must give the lane forms' bytes: every source alpha and
// background value against a spread of source values, at odd and even
// lengths, for several master alphas.
TEST_F(B32_BlendTest, Sse2SpansMatchTheLaneForms) {
  std::vector<TColor32> src, dst;
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t d = 0; d < 256; ++d) {
      const uint32_t s = (a * 37 + d * 11) & 255;
      src.push_back((a << 24) | (s << 16) | ((255 - s) << 8) | (s ^ 0x5A));
      dst.push_back((d << 24) | (((d * 7) & 255) << 16) | (d << 8) | (255 - d));
    }
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int i = 0; i < 65536; ++i) {
    src.push_back(next());
    dst.push_back(next());
  }
  for (int32_t count : {int32_t(src.size()), int32_t(src.size()) - 1, 1, 0, -3}) {
    std::vector<TColor32> a = dst, b = dst;
    BlendSpan_SSE2(src.data(), a.data(), count);
    BlendSpan_Lane(src.data(), b.data(), count);
    ASSERT_EQ(a, b) << count;
    for (uint32_t m : {0u, 1u, 127u, 128u, 200u, 255u}) {
      a = dst;
      b = dst;
      BlendSpanMaster_SSE2(src.data(), a.data(), count, m);
      BlendSpanMaster_Lane(src.data(), b.data(), count, m);
      ASSERT_EQ(a, b) << count << " M " << m;
    }
  }
}
#endif
