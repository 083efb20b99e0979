#include "bitmap/B32_Resamplers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bitmap/B32.h"

namespace {

std::string RectStr(const TRect& R) {
  return std::to_string(R.Left) + "," + std::to_string(R.Top) + "," + std::to_string(R.Right) + "," +
         std::to_string(R.Bottom);
}

// Deterministic opaque test picture.
void FillPattern(TCustomBitmap32& B, uint32_t Seed) {
  uint32_t S = Seed;
  for (int32_t I = 0; I < B.GetWidth() * B.GetHeight(); ++I) {
    S = S * 1664525u + 1013904223u;
    B.GetBits()[I] = 0xFF000000u | (S >> 8);
  }
}

void UseLanczos(TCustomBitmap32& B) {
  B.SetResamplerClassName("TKernelResampler");
  static_cast<TKernelResampler*>(B.GetResampler())->SetKernelClassName("TLanczosKernel");
}

}  // namespace

// ---------------------------------------------------------------------------
// Kernels

TEST(B32ResamplersTest, KernelsAreRegisteredInOrder) {
  const char* Names[] = {"TBoxKernel",      "TLinearKernel",  "TCosineKernel",   "TSplineKernel", "TCubicKernel",
                         "TMitchellKernel", "TAlbrechtKernel", "TLanczosKernel", "TGaussianKernel",
                         "TBlackmanKernel", "THannKernel",    "THammingKernel",  "TSinshKernel",  "THermiteKernel"};
  ASSERT_EQ(KernelList()->GetCount(), 14);
  for (int I = 0; I < 14; ++I) {
    EXPECT_STREQ(KernelList()->GetItem(I)->ClassName(), Names[I]);
    std::unique_ptr<TCustomKernel> K(KernelList()->GetItem(I)->Create());
    EXPECT_STREQ(K->ClassName(), Names[I]);
    // Every kernel peaks at its centre and vanishes far outside its support.
    EXPECT_NEAR(K->Filter(0), 1.0f, 0.35f) << Names[I];
    EXPECT_NEAR(K->Filter(40), 0.0f, 1e-6f) << Names[I];
  }
  const char* Resamplers[] = {"TNearestResampler", "TLinearResampler", "TDraftResampler", "TKernelResampler"};
  ASSERT_EQ(ResamplerList()->GetCount(), 4);
  for (int I = 0; I < 4; ++I) EXPECT_STREQ(ResamplerList()->GetItem(I)->ClassName(), Resamplers[I]);
  EXPECT_EQ(KernelList()->Find("tlanczoskernel"), nullptr);
}

TEST(B32ResamplersTest, KernelValues) {
  TLanczosKernel L;
  EXPECT_EQ(L.Filter(0), 1.0f);
  EXPECT_EQ(L.Filter(3), 0.0f);
  EXPECT_EQ(L.Filter(-1.5f), L.Filter(1.5f));
  EXPECT_NE(L.Filter(1), 0.0f);
  EXPECT_NEAR(L.Filter(1), 0.0f, 1e-6f);
  EXPECT_LT(L.Filter(1.5f), 0.0f);
  L.SetWidth(20);
  EXPECT_EQ(L.Width(), 16.0f);
  EXPECT_TRUE(L.RangeCheck());

  TBoxKernel Box;
  EXPECT_EQ(Box.Filter(0.5f), 1.0f);
  EXPECT_EQ(Box.Filter(-0.5f), 1.0f);
  EXPECT_EQ(Box.Filter(0.51f), 0.0f);
  EXPECT_FALSE(Box.RangeCheck());

  TLinearKernel Lin;
  EXPECT_EQ(Lin.Filter(-1), 0.0f);
  EXPECT_EQ(Lin.Filter(0.5f), 0.5f);
  EXPECT_EQ(Lin.Filter(-0.25f), 0.75f);

  TCubicKernel Cub;
  EXPECT_EQ(Cub.Filter(1), 0.0f);
  EXPECT_EQ(Cub.Filter(2), 0.0f);
  EXPECT_LT(Cub.Filter(1.5f), 0.0f);
  EXPECT_EQ(Cub.Filter(0), 1.0f);

  TSplineKernel Sp;
  EXPECT_NEAR(Sp.Filter(0), 2.0f / 3.0f, 1e-7f);
  EXPECT_NEAR(Sp.Filter(1), 1.0f / 6.0f, 1e-7f);
  TMitchellKernel Mi;
  EXPECT_NEAR(Mi.Filter(0), 16.0f / 18.0f, 1e-6f);
  THermiteKernel He;
  EXPECT_NEAR(He.Filter(0), 1.0f, 1e-6f);
  EXPECT_NEAR(He.Filter(1), 0.0f, 1e-6f);
  TGaussianKernel Ga;
  EXPECT_NEAR(Ga.Window(std::sqrt(1.33f)), 0.5f, 1e-6f);  // the window is 2^(-x^2/Sigma)
  TSinshKernel Si;
  EXPECT_EQ(Si.Filter(0), 1.0f);
  EXPECT_NEAR(Si.Filter(1), 0.0f, 1e-6f);

  TAlbrechtKernel Al;
  EXPECT_EQ(Al.Terms(), 7);
  Al.SetTerms(1);
  EXPECT_EQ(Al.Terms(), 2);
  Al.SetTerms(20);
  EXPECT_EQ(Al.Terms(), 11);
  // The window is a cosine polynomial whose coefficients sum to 1.
  EXPECT_NEAR(Al.Window(0), 1.0f, 1e-6f);
}

TEST(B32ResamplersTest, KernelAssignCopiesPublishedProperties) {
  TGaussianKernel A, B;
  A.SetWidth(5);
  A.SetSigma(2);
  B.Assign(&A);
  EXPECT_EQ(B.Width(), 5.0f);
  EXPECT_EQ(B.Sigma(), 2.0f);

  THermiteKernel H1, H2;
  H1.SetBias(0.25f);
  H1.SetTension(-0.5f);
  H2.Assign(&H1);
  EXPECT_EQ(H2.Bias(), 0.25f);
  EXPECT_EQ(H2.Tension(), -0.5f);

  TAlbrechtKernel Al1, Al2;
  Al1.SetTerms(4);
  Al2.Assign(&Al1);
  EXPECT_EQ(Al2.Terms(), 4);
  EXPECT_EQ(Al2.Filter(0.7f), Al1.Filter(0.7f));

  // A property the destination lacks fails.
  TLanczosKernel L;
  EXPECT_THROW(L.Assign(&H1), EPropertyError);
  // Anything but a kernel is refused, naming both classes.
  TNotifiablePersistent Other;
  try {
    Other.Assign(&L);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Cannot assign a TLanczosKernel to a TNotifiablePersistent");
  }

  // Observers hear real changes only.
  TNotifiablePersistent Obs;
  int N = 0;
  Obs.SetOnChange([&](TObject*) { ++N; });
  A.Observer = &Obs;
  A.SetSigma(2);
  A.SetSigma(0);  // ignored
  EXPECT_EQ(N, 0);
  A.SetSigma(3);
  A.SetWidth(30);
  EXPECT_EQ(N, 2);
}

// ---------------------------------------------------------------------------
// Mapping tables

TEST(B32ResamplersTest, BoxKernelFourToTwo) {
  TBoxKernel Box;
  const TMappingTable M = BuildMappingTable(0, 2, 0, 2, 0, 4, &Box);
  const TMappingTable Expected = {{{0, 128}, {1, 128}}, {{2, 128}, {3, 128}}};
  EXPECT_EQ(M, Expected);

  // Each destination column is the truncated average of a column pair.
  TBitmap32 Src(4, 1), Dst(2, 1);
  TColor32 Px[] = {0xFF0A0A0A, 0xFF151515, 0xFF1E1E1E, 0xFF292929};  // 10, 21, 30, 41
  std::copy(std::begin(Px), std::end(Px), Src.GetBits());
  Src.SetResamplerClassName("TKernelResampler");
  Src.DrawToRect(&Dst, Dst.BoundsRect());
  EXPECT_EQ(Dst.GetPixel(0, 0), 0xFF0F0F0Fu);  // 15
  EXPECT_EQ(Dst.GetPixel(1, 0), 0xFF232323u);  // 35
}

TEST(B32ResamplersTest, OnePixelSourceMapsToItself) {
  TLanczosKernel L;
  for (const TCluster& C : BuildMappingTable(0, 7, 2, 5, 3, 4, &L)) EXPECT_EQ(C, (TCluster{{3, 256}}));
  EXPECT_EQ(BuildMappingTable(0, 7, 2, 5, 3, 4, &L).size(), 3u);
  EXPECT_TRUE(BuildMappingTable(0, 7, 0, 7, 3, 3, &L).empty());

  TBitmap32 Src(1, 1), Dst(9, 5);
  Src.Clear(0xFF336699);
  UseLanczos(Src);
  Src.DrawToRect(&Dst, Dst.BoundsRect());
  for (int I = 0; I < 45; ++I) ASSERT_EQ(Dst.GetBits()[I], 0xFF336699u);
}

namespace {

// Checks every cluster of a shrinking Lanczos table: weights add up to 256
// and each tap's weight is within one step of the kernel's exact weight.
void CheckLargeShrink(int32_t SrcW, int32_t DstW) {
  TLanczosKernel L;
  const TMappingTable M = BuildMappingTable(0, DstW, 0, DstW, 0, SrcW, &L);
  ASSERT_EQ(M.size(), static_cast<size_t>(DstW));
  const double Scale = static_cast<double>(DstW) / SrcW;
  double WorstOff = 0;
  for (int32_t I = 0; I < DstW; ++I) {
    const double Center = (I + 0.5) / Scale - 0.5;
    int32_t Sum = 0;
    for (const TPointRec& P : M[static_cast<size_t>(I)]) {
      Sum += P.Weight;
      if (P.Pos == 0 || P.Pos == SrcW - 1) continue;  // edge taps gather the clamped ones
      const double Exact = 256 * Scale * L.Filter(static_cast<float>((Center - P.Pos) * Scale));
      WorstOff = std::max(WorstOff, std::fabs(P.Weight - Exact));
      if (Exact >= 0) {
        EXPECT_GE(P.Weight, 0) << SrcW << "->" << DstW << " cluster " << I << " pos " << P.Pos;
      }
    }
    EXPECT_EQ(Sum, 256) << "cluster " << I;
  }
  EXPECT_LE(WorstOff, 1.05) << SrcW << "->" << DstW;
}

}  // namespace

TEST(B32ResamplersTest, LargeShrinkWeightsStayNearExact) {
  CheckLargeShrink(6000, 128);
  CheckLargeShrink(25600, 256);
  CheckLargeShrink(4000, 256);
  // Past about 1:500 every tap's weight rounds to 0 on its own.
  CheckLargeShrink(60000, 100);
}

TEST(B32ResamplersTest, LargeShrinkFitOfFlatColourAndThinLine) {
  TBitmap32 Src(6000, 1), Dst(128, 1);
  UseLanczos(Src);
  Src.Clear(0xFF4080C0);
  Src.DrawToRect(&Dst, Dst.BoundsRect());
  for (int I = 0; I < 128; ++I) ASSERT_EQ(Dst.GetPixel(I, 0), 0xFF4080C0u) << I;

  // A one-pixel bright line carries 1/47 of a destination pixel: it must come
  // out faint wherever it lies, never several times brighter nor clipped away.
  for (int32_t X = 2900; X < 2950; ++X) {
    Src.Clear(0xFF000000);
    Src.GetBits()[X] = 0xFFFFFFFF;
    Src.DrawToRect(&Dst, Dst.BoundsRect());
    uint32_t Max = 0, Sum = 0;
    for (int I = 0; I < 128; ++I) {
      Max = std::max(Max, Dst.GetPixel(I, 0) & 255);
      Sum += Dst.GetPixel(I, 0) & 255;
    }
    EXPECT_GE(Max, 2u) << X;
    EXPECT_LE(Max, 7u) << X;
    EXPECT_GE(Sum, 3u) << X;
    EXPECT_LE(Sum, 8u) << X;
  }
}

// ---------------------------------------------------------------------------
// Kernel fits and nearest zoom

TEST(B32ResamplersTest, LanczosFitOntoWhiteMatchesOpaqueFitAndLeavesTheRestWhite) {
  TBitmap32 Src(40, 30);
  FillPattern(Src, 7);
  UseLanczos(Src);
  const TRect R{5, 7, 25, 22};

  TBitmap32 Opaque(64, 48);
  Opaque.Clear(0);
  Src.DrawToRect(&Opaque, R);

  Src.SetDrawMode(dmBlend);
  TBitmap32 Page(64, 48);
  Page.Clear(0xFFFFFFFF);
  Src.DrawToRect(&Page, R);

  for (int32_t Y = 0; Y < 48; ++Y)
    for (int32_t X = 0; X < 64; ++X) {
      const TColor32 P = Page.GetPixel(X, Y);
      if (X < R.Left || X >= R.Right || Y < R.Top || Y >= R.Bottom) {
        ASSERT_EQ(P, 0xFFFFFFFFu) << X << "," << Y;
        continue;
      }
      // The blend of an opaque colour onto white raises channels below 128 by one.
      const TColor32 O = Opaque.GetPixel(X, Y);
      ASSERT_EQ(O >> 24, 255u);
      TColor32 E = 0xFF000000u;
      for (int Sh = 0; Sh < 24; Sh += 8) {
        uint32_t C = (O >> Sh) & 255;
        E |= (C < 128 ? C + 1 : C) << Sh;
      }
      ASSERT_EQ(P, E) << X << "," << Y;
    }
}

TEST(B32ResamplersTest, LanczosOvershootSaturates) {
  TBitmap32 Src(8, 1), Dst(64, 1), Small(3, 1);
  for (int X = 0; X < 8; ++X) Src.GetBits()[X] = X < 4 ? 0xFF000000u : 0xFFFFFFFFu;
  UseLanczos(Src);
  Src.DrawToRect(&Dst, Dst.BoundsRect());
  for (int X = 0; X < 64; ++X) {
    const uint32_t C = Dst.GetPixel(X, 0) & 255;
    if (X < 24) {
      EXPECT_LT(C, 40u) << X;
    }
    if (X >= 40) {
      EXPECT_GT(C, 215u) << X;
    }
  }
  // The ringing really reaches past the range here: without clamping the
  // edges would wrap.
  TBitmap32 Edge(6, 1);
  for (int X = 0; X < 6; ++X) Edge.GetBits()[X] = X < 3 ? 0xFF000000u : 0xFFFFFFFFu;
  UseLanczos(Edge);
  Edge.DrawToRect(&Small, Small.BoundsRect());
  EXPECT_EQ(Small.GetPixel(0, 0), 0xFF000000u);
  EXPECT_EQ(Small.GetPixel(2, 0), 0xFFFFFFFFu);
}

TEST(B32ResamplersTest, NearestZoomGivesExactBlocks) {
  TBitmap32 Src(8, 6);
  FillPattern(Src, 3);
  for (TDrawMode Mode : {dmOpaque, dmBlend}) {
    Src.SetDrawMode(Mode);
    TBitmap32 Dst(32, 24);
    Dst.Clear(0xFF000000);
    Src.DrawToRect(&Dst, Dst.BoundsRect());
    for (int32_t Y = 0; Y < 24; ++Y)
      for (int32_t X = 0; X < 32; ++X) {
        const TColor32 S = Src.GetPixel(X / 4, Y / 4);
        const TColor32 D = Dst.GetPixel(X, Y);
        if (Mode == dmOpaque) {
          ASSERT_EQ(D, S) << X << "," << Y;
        } else {  // opaque over opaque through the line blend: within one step
          for (int Sh = 0; Sh < 32; Sh += 8) ASSERT_LE(std::abs(int((D >> Sh) & 255) - int((S >> Sh) & 255)), 1);
        }
      }
  }
  // Shrinking picks every other row and column.
  TBitmap32 Half(4, 3);
  Src.SetDrawMode(dmOpaque);
  Src.DrawToRect(&Half, Half.BoundsRect());
  EXPECT_EQ(Half.GetPixel(3, 2), Src.GetPixel(6, 4));
  // Transparent mode skips the outer colour.
  Src.SetDrawMode(dmTransparent);
  Src.SetOuterColor(Src.GetPixel(0, 0));
  TBitmap32 T(16, 12);
  T.Clear(0xFF00FF00);
  Src.DrawToRect(&T, T.BoundsRect());
  EXPECT_EQ(T.GetPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(T.GetPixel(2, 0), Src.GetPixel(1, 0) == Src.GetPixel(0, 0) ? 0xFF00FF00u : Src.GetPixel(1, 0));
}

// ---------------------------------------------------------------------------
// Transfers: clipping and notification

TEST(B32ResamplersTest, StretchTransferClipsSourceAndMovesDestination) {
  TBitmap32 Src(20, 10), Dst(60, 20);
  Src.Clear(0xFF112233);
  Dst.Clear(0xFF000000);
  std::vector<std::string> Areas;
  Dst.SetOnAreaChanged([&](TObject*, const TRect& R, uint32_t) { Areas.push_back(RectStr(R)); });
  Src.DrawToRect(&Dst, TRect{0, 0, 40, 20}, TRect{-10, 0, 10, 10});
  EXPECT_EQ(Areas, std::vector<std::string>{"20,0,40,20"});
  EXPECT_EQ(Dst.GetPixel(19, 5), 0xFF000000u);
  EXPECT_EQ(Dst.GetPixel(20, 5), 0xFF112233u);
  EXPECT_EQ(Dst.GetPixel(39, 19), 0xFF112233u);
  EXPECT_EQ(Dst.GetPixel(40, 5), 0xFF000000u);
}

TEST(B32ResamplersTest, NothingDrawnOutsideClipOrWithZeroMasterAlpha) {
  TBitmap32 Src(4, 4), Dst(20, 20);
  Src.Clear(0xFFFFFFFF);
  Dst.Clear(0xFF000000);
  std::vector<std::string> Areas;
  Dst.SetOnAreaChanged([&](TObject*, const TRect& R, uint32_t) { Areas.push_back(RectStr(R)); });
  Dst.SetClipRect(TRect{15, 15, 20, 20});
  Src.DrawToRect(&Dst, TRect{0, 0, 8, 8});
  EXPECT_TRUE(Areas.empty());
  // Measuring: the destination rectangle is reported, nothing is drawn.
  Dst.StartMeasuring([&](TObject*, const TRect& R, uint32_t) { Areas.push_back("m " + RectStr(R)); });
  Src.DrawToRect(&Dst, TRect{0, 0, 8, 8});
  Dst.StopMeasuring();
  EXPECT_EQ(Areas, std::vector<std::string>{"m 0,0,8,8"});
  Areas.clear();
  Dst.ResetClipRect();
  Src.SetDrawMode(dmBlend);
  Src.SetMasterAlpha(0);
  Src.DrawToRect(&Dst, TRect{0, 0, 8, 8});
  Src.DrawTo(&Dst, 2, 2);
  EXPECT_TRUE(Areas.empty());
  for (int I = 0; I < 400; ++I) ASSERT_EQ(Dst.GetBits()[I], 0xFF000000u);
}

TEST(B32ResamplersTest, BlockTransferClipsAndCombines) {
  TBitmap32 Src(3, 3), Dst(4, 4);
  FillPattern(Src, 11);
  Dst.Clear(0xFF000000);
  std::vector<std::string> Areas;
  Dst.SetOnAreaChanged([&](TObject*, const TRect& R, uint32_t) { Areas.push_back(RectStr(R)); });
  Src.DrawTo(&Dst, 2, -1);
  EXPECT_EQ(Areas, std::vector<std::string>{"2,0,4,2"});
  EXPECT_EQ(Dst.GetPixel(2, 0), Src.GetPixel(0, 1));
  EXPECT_EQ(Dst.GetPixel(3, 1), Src.GetPixel(1, 2));
  EXPECT_EQ(Dst.GetPixel(1, 0), 0xFF000000u);

  // A custom combine sees source, destination and master alpha.
  Src.SetDrawMode(dmCustom);
  Src.SetMasterAlpha(77);
  Src.SetOnPixelCombine([](TColor32 F, TColor32& B, TColor32 M) { B = (F & 0xFF) | (M << 8); });
  Src.DrawTo(&Dst);
  EXPECT_EQ(Dst.GetPixel(1, 1), (Src.GetPixel(1, 1) & 0xFF) | (77u << 8));

  EXPECT_THROW(BlockTransfer(nullptr, 0, 0, TRect{}, &Src, Src.BoundsRect(), dmOpaque), EBitmapException);
  try {
    StretchTransfer(&Dst, TRect{0, 0, 2, 2}, Dst.GetClipRect(), nullptr, TRect{0, 0, 1, 1}, nullptr, dmOpaque);
    ADD_FAILURE();
  } catch (const EBitmapException& E) {
    EXPECT_EQ(E.Message(), "Source bitmap is nil");
  }
  EXPECT_THROW(StretchNearest(&Dst, TRect{0, 0, 4, 4}, TRect{0, 0, 4, 4}, &Src, TRect{0, 0, 5, 3}, dmOpaque, {}),
               Exception);
}

TEST(B32ResamplersTest, KernelResamplerSettings) {
  TBitmap32 B;
  B.SetResamplerClassName("TKernelResampler");
  auto* K = static_cast<TKernelResampler*>(B.GetResampler());
  EXPECT_EQ(K->GetKernelClassName(), "TBoxKernel");
  EXPECT_EQ(K->GetTableSize(), 32);
  K->SetKernelClassName("TLanczosKernel");
  TCustomKernel* L = K->GetKernel();
  static_cast<TLanczosKernel*>(L)->SetWidth(4);
  K->SetKernelClassName("TLanczosKernel");
  EXPECT_EQ(K->GetKernel(), L);
  EXPECT_EQ(static_cast<TLanczosKernel*>(L)->Width(), 4.0f);
  K->SetKernelClassName("TNoSuchKernel");
  EXPECT_EQ(K->GetKernel(), L);
  EXPECT_EQ(K->GetWidth(), 4.0f);
  K->SetTableSize(1);
  EXPECT_EQ(K->GetTableSize(), 2);
}

// ---------------------------------------------------------------------------
// Linear and draft resampling

TEST(B32ResamplersTest, DraftAveragesBlocks) {
  TBitmap32 Src(4, 4), Dst(2, 2);
  Src.Clear(0xFF000001);
  Src.GetBits()[Src.GetWidth() + 1] = 0xFF000002;  // block (0,0) holds blue 1, 1, 1, 2
  Src.SetResamplerClassName("TDraftResampler");
  Src.DrawToRect(&Dst, Dst.BoundsRect());
  EXPECT_EQ(Dst.GetPixel(0, 0), 0xFF000001u);

  // 5 columns to 2: blocks of 2 and 3 columns.
  TBitmap32 Row(5, 1), Out(2, 1);
  const TColor32 Px[] = {0xFF000000, 0xFF000010, 0xFF000020, 0xFF000030, 0xFF000043};
  std::copy(std::begin(Px), std::end(Px), Row.GetBits());
  Row.SetResamplerClassName("TDraftResampler");
  Row.DrawToRect(&Out, Out.BoundsRect());
  EXPECT_EQ(Out.GetPixel(0, 0), 0xFF000008u);                // (0 + 16) / 2
  EXPECT_EQ(Out.GetPixel(1, 0) & 255, ((0x20u + 0x30 + 0x43) * (0x1000000u / 3)) >> 24);  // truncated twice
}

TEST(B32ResamplersTest, LinearEnlargesBilinearly) {
  TBitmap32 Src(2, 2), Dst(4, 4);
  Src.GetBits()[0] = Src.GetBits()[2] = 0xFF000000;
  Src.GetBits()[1] = Src.GetBits()[3] = 0xFFFFFFFF;
  Src.SetResamplerClassName("TLinearResampler");
  Src.DrawToRect(&Dst, Dst.BoundsRect());
  for (int32_t Y = 0; Y < 4; ++Y) {
    EXPECT_EQ(Dst.GetPixel(0, Y), 0xFF000000u);
    EXPECT_EQ(Dst.GetPixel(3, Y), 0xFFFFFFFFu);
    const uint32_t C1 = Dst.GetPixel(1, Y) & 255, C2 = Dst.GetPixel(2, Y) & 255;
    EXPECT_GT(C1, 0u);
    EXPECT_LT(C1, C2);
    EXPECT_LT(C2, 255u);
  }
  // A one-pixel-wide source goes through the linear kernel.
  TBitmap32 Col(1, 2), Wide(3, 4);
  Col.GetBits()[0] = 0xFF000000;
  Col.GetBits()[1] = 0xFFFFFFFF;
  Col.SetResamplerClassName("TLinearResampler");
  Col.DrawToRect(&Wide, Wide.BoundsRect());
  EXPECT_EQ(Wide.GetPixel(2, 0), 0xFF000000u);
  EXPECT_EQ(Wide.GetPixel(0, 3), 0xFFFFFFFFu);
}

TEST(B32ResamplersTest, InterpolatePixelsForms) {
  const TColor32 C11[2] = {0x80FF4001, 0x10203040};
  const TColor32 C21[2] = {0x01020304, 0xFFFFFFFF};
  EXPECT_EQ(InterpolatePixels_SSE2(256, 256, C11, C21), 0x80FF4001u);
  EXPECT_EQ(InterpolatePixels_SSE2(0, 0, C11, C21), 0xFFFFFFFFu);
  EXPECT_EQ(InterpolatePixels_SSE2(256, 0, C11, C21), 0x01020304u);
  // The portable form limits weights to 255 and may round differently by one step.
  const TColor32 P = InterpolatePixels_Pas(256, 256, C11, C21);
  for (int Sh = 0; Sh < 32; Sh += 8)
    EXPECT_LE(std::abs(int((P >> Sh) & 255) - int((0x80FF4001u >> Sh) & 255)), 1);

  // The vector block average equals the portable one.
  TBitmap32 B(7, 5);
  FillPattern(B, 5);
  for (uint32_t W : {1u, 3u, 7u})
    for (uint32_t H : {1u, 2u, 5u})
      EXPECT_EQ(BlockAverage_SSE2(W, H, 28, B.GetBits()), BlockAverage_Pas(W, H, 28, B.GetBits()));
  // Also for blocks wider than 257 pixels, whose row sums pass 16 bits.
  TBitmap32 Wide(600, 2);
  FillPattern(Wide, 9);
  Wide.FillRect(0, 0, 600, 1, 0xFFFFFFFF);
  for (uint32_t W : {257u, 258u, 300u, 600u})
    for (uint32_t H : {1u, 2u})
      EXPECT_EQ(BlockAverage_SSE2(W, H, 2400, Wide.GetBits()), BlockAverage_Pas(W, H, 2400, Wide.GetBits()))
          << W << " x " << H;
}

// Blocks of more than 2^24 pixels average to their colour rather than black;
// one row read again and again (row step 0) stands for the whole block.
TEST(B32ResamplersTest, BlockAverageOfHugeBlocks) {
  std::vector<TColor32> Row(5000);
  for (size_t X = 0; X < Row.size(); ++X) Row[X] = X % 2 ? 0xFFFFFFFFu : 0x01030507u;
  std::vector<TColor32> Flat(5000, 0x80C0E0F0u);
  const struct {
    uint32_t W, H;
    TColor32 Mixed;  // average of the alternating row
  } Cases[] = {
      {4096, 4096, 0x80818283u},  // exactly 2^24 pixels: the reciprocal form
      {4096, 4097, 0x80818283u},
      {5000, 5000, 0x80818283u},
      {1, 16777217, 0x01030507u},
  };
  for (const auto& C : Cases)
    for (auto* Avg : {&BlockAverage_Pas, &BlockAverage_SSE2}) {
      EXPECT_EQ(Avg(C.W, C.H, 0, Flat.data()), 0x80C0E0F0u) << C.W << " x " << C.H;
      EXPECT_EQ(Avg(C.W, C.H, 0, Row.data()), C.Mixed) << C.W << " x " << C.H;
    }
}

// ---------------------------------------------------------------------------
// Point sampling

TEST(B32ResamplersTest, NearestPointSampling) {
  TBitmap32 B(10, 10);
  for (int32_t I = 0; I < 100; ++I) B.GetBits()[I] = 0xFF000000u | static_cast<uint32_t>(I);
  auto* R = B.GetResampler();
  R->SetPixelAccessMode(pamTransparentEdge);
  R->PrepareSampling();
  EXPECT_EQ(R->GetSampleInt(-1, 5), 0x00000032u);
  EXPECT_EQ(R->GetSampleInt(3, 5), 0xFF000035u);
  R->FinalizeSampling();
  R->SetPixelAccessMode(pamSafe);
  R->PrepareSampling();
  EXPECT_EQ(R->GetSampleFixed(0x18000, 0), 0xFF000001u);
  EXPECT_EQ(R->GetSampleFloat(2.5f, 0), 0xFF000002u);
  EXPECT_EQ(R->GetSampleFloat(3.5f, 0), 0xFF000004u);
  EXPECT_EQ(R->GetSampleInt(10, 0), 0u);
  R->FinalizeSampling();
}

TEST(B32ResamplersTest, LinearPointSampling) {
  TBitmap32 B(4, 4);
  B.Clear(0xFF808080);
  B.SetResamplerClassName("TLinearResampler");
  auto* R = B.GetResampler();
  R->PrepareSampling();
  EXPECT_EQ(R->GetSampleFloat(1.5f, 1.25f), 0xFF808080u);
  EXPECT_EQ(R->GetSampleFloat(-3, 0), 0u);
  R->FinalizeSampling();
  R->SetPixelAccessMode(pamTransparentEdge);
  R->PrepareSampling();
  EXPECT_EQ(R->GetSampleFixed(Fixed(-5), 0), 0u);
  EXPECT_EQ(R->GetSampleFixed(Fixed(1), Fixed(1)), 0xFF808080u);
  // On the rim the outer side fades out.
  EXPECT_LT(R->GetSampleFixed(-0x8000, Fixed(1)) >> 24, 255u);
  R->FinalizeSampling();
}

// A clip that holds no pixel leaves the edge and wrap readers nothing to read.
TEST(B32ResamplersTest, PointSamplingOfAnEmptyClipReadsNoPixel) {
  TBitmap32 B(6, 6);
  B.Clear(0xFF808080);
  B.SetOuterColor(0x12345678);
  B.SetClipRect(TRect{8, 8, 9, 9});
  for (const char* Name : {"TNearestResampler", "TLinearResampler"}) {
    B.SetResamplerClassName(Name);
    auto* R = B.GetResampler();
    R->SetPixelAccessMode(pamTransparentEdge);
    R->PrepareSampling();
    EXPECT_EQ(R->GetSampleFixed(Fixed(-1), Fixed(2)), 0u) << Name;
    EXPECT_EQ(R->GetSampleFixed(Fixed(3), Fixed(7)), 0u) << Name;
    R->FinalizeSampling();
  }
  B.SetResamplerClassName("TKernelResampler");
  B.SetWrapMode(wmRepeat);
  auto* K = B.GetResampler();
  K->SetPixelAccessMode(pamWrap);
  K->PrepareSampling();
  EXPECT_EQ(K->GetSampleFloat(2.5f, 2.5f), 0x12345678u);
  K->FinalizeSampling();
}

TEST(B32ResamplersTest, KernelPointSampling) {
  TBitmap32 B(8, 8);
  for (int32_t I = 0; I < 64; ++I) B.GetBits()[I] = 0xFF000000u | static_cast<uint32_t>(I * 3);
  B.SetOuterColor(0xFF123456);
  B.SetResamplerClassName("TKernelResampler");
  auto* K = static_cast<TKernelResampler*>(B.GetResampler());
  K->PrepareSampling();
  EXPECT_EQ(K->GetSampleFloat(3.0f, 2.0f), B.GetPixel(3, 2));  // box kernel: the pixel itself
  EXPECT_EQ(K->GetSampleFloat(-2.0f, 2.0f), 0xFF123456u);       // two pixels left of the clip
  K->FinalizeSampling();
  K->SetPixelAccessMode(pamTransparentEdge);
  K->PrepareSampling();
  EXPECT_EQ(K->GetSampleFloat(-2.0f, 2.0f), 0u);
  K->FinalizeSampling();

  // Table modes agree with the dynamic weights on a flat area.
  B.Clear(0xC0406080);
  K->SetPixelAccessMode(pamSafe);
  K->SetKernelClassName("TLanczosKernel");
  for (TKernelMode Mode : {kmDynamic, kmTableNearest, kmTableLinear}) {
    K->SetKernelMode(Mode);
    K->PrepareSampling();
    const TColor32 C = K->GetSampleFloat(3.3f, 4.6f);
    K->FinalizeSampling();
    EXPECT_EQ(C >> 24, 0xC0u) << int(Mode);
    for (int Sh = 0; Sh < 24; Sh += 8)
      EXPECT_LE(std::abs(int((C >> Sh) & 255) - int((0xC0406080u >> Sh) & 255)), 1) << int(Mode);
  }
  // Wrapping reads stay inside the bitmap.
  K->SetPixelAccessMode(pamWrap);
  K->SetKernelMode(kmDynamic);
  K->PrepareSampling();
  EXPECT_EQ(K->GetSampleFloat(-1.0f, 0.0f) >> 24, 0xC0u);
  K->FinalizeSampling();

  // A fully transparent neighbourhood gives 0 whatever the colour bytes hold.
  B.Clear(0x00FFFFFF);
  K->SetPixelAccessMode(pamSafe);
  K->PrepareSampling();
  EXPECT_EQ(K->GetSampleFloat(4.5f, 4.5f), 0u);
  K->FinalizeSampling();
}

TEST(B32ResamplersTest, KernelWiderThanSamplerTapsStaysInBounds) {
  TBitmap32 B(48, 48);
  B.Clear(0xFF204060);
  B.SetResamplerClassName("TKernelResampler");
  auto* K = static_cast<TKernelResampler*>(B.GetResampler());
  auto* S = new TSinshKernel();
  S->SetWidth(40);
  K->SetKernel(S);
  for (TKernelMode Mode : {kmDynamic, kmTableNearest, kmTableLinear})
    for (TPixelAccessMode Pam : {pamSafe, pamWrap}) {
      K->SetKernelMode(Mode);
      K->SetPixelAccessMode(Pam);
      K->PrepareSampling();
      const TColor32 C = K->GetSampleFloat(24.25f, 23.5f);
      K->FinalizeSampling();
      EXPECT_EQ(C >> 24, 0xFFu);
      EXPECT_LE(std::abs(int(C & 255) - 0x60), 1);
    }
}

TEST(B32ResamplersTest, VectorPassesEqualThePlainSums) {
  uint32_t Seed = 99;
  auto Next = [&] { return Seed = Seed * 1664525u + 1013904223u; };
  std::vector<uint8_t> Rows(4 * 75);
  for (uint8_t& B : Rows) B = static_cast<uint8_t>(Next() >> 24);
  const uint8_t* R[4] = {&Rows[0], &Rows[75], &Rows[150], &Rows[225]};
  const int32_t Ws[4] = {257, -31, 0, 96};
  std::vector<int32_t> Expected(75, 7), Sse(75, 7);
  for (int K = 0; K < 75; ++K)
    for (int T = 0; T < 4; ++T) Expected[K] += R[T][K] * Ws[T];
  AccumulateRows_SSE2(Sse.data(), R, Ws, 75);
  EXPECT_EQ(Sse, Expected);

  std::vector<TBufferEntry> Buffer(40);
  for (TBufferEntry& E : Buffer) E = {int32_t(Next() >> 12), -int32_t(Next() >> 13), int32_t(Next() >> 16), 5};
  const std::vector<int32_t> Start = {0, 3, 3, 8, 9};
  const std::vector<int32_t> Pos = {0, 1, 2, 5, 5, 6, 7, 39, 20};
  const std::vector<int32_t> Weight = {-20, 200, 76, 1, 2, 3, 250, -1, 256};
  std::vector<int32_t> Plain(16);
  HorizontalSums_Pas(Buffer.data(), Start.data(), Pos.data(), Weight.data(), 4, Plain.data());
  EXPECT_EQ(Plain[12], Buffer[20].B * 256);
  EXPECT_EQ(Plain[4], 0);
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2")) {
    std::vector<int32_t> Avx(75, 7);
    AccumulateRows_AVX2(Avx.data(), R, Ws, 75);
    EXPECT_EQ(Avx, Expected);
    std::vector<int32_t> AvxH(16);
    HorizontalSums_AVX2(Buffer.data(), Start.data(), Pos.data(), Weight.data(), 4, AvxH.data());
    EXPECT_EQ(AvxH, Plain);
  }
#endif
}

TEST(B32ResamplersTest, ClippedFitsEqualTheCropOfTheFullFit) {
  TBitmap32 Src(40, 30);
  FillPattern(Src, 21);
  // (The draft resampler counts its blocks from the clip, so it is left out.)
  for (const char* Resampler : {"TKernelResampler", "TNearestResampler", "TLinearResampler"}) {
    for (int32_t W : {24, 90}) {  // shrinking and enlarging
      const int32_t H = W * 3 / 4;
      Src.SetResamplerClassName(Resampler);
      if (auto* K = dynamic_cast<TKernelResampler*>(Src.GetResampler())) K->SetKernelClassName("TLanczosKernel");
      TBitmap32 Full(W, H), Part(W / 2, H / 2);
      Src.DrawToRect(&Full, Full.BoundsRect());
      // The destination rectangle reaches past the bitmap on every side.
      Src.DrawToRect(&Part, TRect{-5, -4, W - 5, H - 4});
      for (int32_t Y = 0; Y < Part.GetHeight(); ++Y)
        for (int32_t X = 0; X < Part.GetWidth(); ++X)
          ASSERT_EQ(Part.GetPixel(X, Y), Full.GetPixel(X + 5, Y + 4)) << Resampler << " " << W << " " << X << "," << Y;
    }
  }
}
