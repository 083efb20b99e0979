#include "bitmap/B32_Resamplers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

#include "bitmap/B32_Blend.h"
#include "bitmap/B32_Bindings.h"
#include "bitmap/B32_Gamma.h"
#include "bitmap/B32_LowLevel.h"
#include "bitmap/B32_Math.h"
#include "bitmap/B32_System.h"
#include "bitmap/B32_UnitInit.h"
#include "rtl/KvLargeBlocks.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;

// Rounds a double-precision intermediate to single precision.
inline float S(double V) { return static_cast<float>(V); }

// Published properties built from a getter and a setter of class K.
template <class K>
TPropInfo FloatProp(const char* Name, float (K::*Get)() const, void (K::*Set)(float)) {
  return TPropInfo{Name, tkFloat,
                   [Get](const TObject* O) { return TPropValue(double((dynamic_cast<const K*>(O)->*Get)())); },
                   [Set](TObject* O, const TPropValue& V) { (dynamic_cast<K*>(O)->*Set)(S(std::get<double>(V))); },
                   {}};
}

template <class K, class TInt>
TPropInfo IntProp(const char* Name, TInt (K::*Get)() const, void (K::*Set)(TInt)) {
  return TPropInfo{Name, tkInteger,
                   [Get](const TObject* O) { return TPropValue(int64_t((dynamic_cast<const K*>(O)->*Get)())); },
                   [Set](TObject* O, const TPropValue& V) {
                     (dynamic_cast<K*>(O)->*Set)(static_cast<TInt>(std::get<int64_t>(V)));
                   },
                   {}};
}

// An enumeration property, read and written as its value names.
template <class K, class TEnum, size_t N>
TPropInfo EnumProp(const char* Name, TEnum (K::*Get)() const, void (K::*Set)(TEnum),
                   const std::array<const char*, N>& Names) {
  return TPropInfo{Name, tkEnumeration,
                   [Get, Names](const TObject* O) {
                     return TPropValue(std::string(Names[static_cast<size_t>((dynamic_cast<const K*>(O)->*Get)())]));
                   },
                   [Set, Names, Name](TObject* O, const TPropValue& V) {
                     const std::string& Str = std::get<std::string>(V);
                     for (size_t I = 0; I < N; ++I)
                       if (Str == Names[I]) {
                         (dynamic_cast<K*>(O)->*Set)(static_cast<TEnum>(I));
                         return;
                       }
                     throw EPropertyError(std::string("Invalid property value '") + Str + "' for " + Name);
                   },
                   {}};
}

const std::array<const char*, 4> kPixelAccessModeNames = {"pamUnsafe", "pamSafe", "pamWrap", "pamTransparentEdge"};
const std::array<const char*, 3> kKernelModeNames = {"kmDynamic", "kmTableNearest", "kmTableLinear"};

}  // namespace

// ---------------------------------------------------------------------------
// TCustomSampler

TColor32 TCustomSampler::GetSampleInt(int32_t X, int32_t Y) {
  return GetSampleFixed(static_cast<TFixed>(static_cast<uint32_t>(X) << 16),
                        static_cast<TFixed>(static_cast<uint32_t>(Y) << 16));
}

TColor32 TCustomSampler::GetSampleFixed(TFixed X, TFixed Y) {
  return GetSampleFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0));
}

TColor32 TCustomSampler::GetSampleFloat(float X, float Y) {
  return GetSampleFixed(static_cast<TFixed>(Round(static_cast<double>(X) * 65536)),
                        static_cast<TFixed>(Round(static_cast<double>(Y) * 65536)));
}

TFloatRect TCustomSampler::GetSampleBounds() {
  const float Inf = std::numeric_limits<float>::infinity();
  return TFloatRect{-Inf, -Inf, Inf, Inf};
}

// ---------------------------------------------------------------------------
// TCustomResampler

TCustomResampler* TCustomResamplerClass::CreateForBitmap(TCustomBitmap32* ABitmap) const {
  TCustomResampler* R = Create();
  R->SetBitmap(ABitmap);
  if (ABitmap) ABitmap->SetResampler(R);
  return R;
}

void TCustomResampler::Changed() {
  if (FBitmap) FBitmap->Changed();
}

void TCustomResampler::SetPixelAccessMode(TPixelAccessMode Value) {
  if (Value != FPixelAccessMode) {
    FPixelAccessMode = Value;
    Changed();
  }
}

void TCustomResampler::PrepareSampling() { FClipRect = FBitmap->GetClipRect(); }

bool TCustomResampler::HasBounds() { return FPixelAccessMode != pamWrap; }

TFloatRect TCustomResampler::GetSampleBounds() {
  TFloatRect R = FloatRect(FBitmap->GetClipRect());
  if (FPixelAccessMode == pamTransparentEdge) InflateFloatRect(R, 1, 1);
  return R;
}

void TCustomResampler::AssignTo(TPersistent* Dest) const {
  if (dynamic_cast<TCustomResampler*>(Dest))
    CopyPublishedProperties(this, Dest);
  else
    TCustomSampler::AssignTo(Dest);
}

std::vector<TPropInfo> TCustomResampler::GetPublishedProperties() const {
  return {EnumProp("PixelAccessMode", &TCustomResampler::GetPixelAccessMode, &TCustomResampler::SetPixelAccessMode,
                   kPixelAccessModeNames)};
}

// ---------------------------------------------------------------------------
// Kernels

float Sinc(float X) {
  if (X == 0) return 1;
  const float Y = S(static_cast<double>(X) * kPi);
  return S(std::sin(static_cast<double>(Y)) / Y);
}

void TCustomKernel::Changed() {
  if (Observer) Observer->Changed();
}

void TCustomKernel::AssignTo(TPersistent* Dest) const {
  if (dynamic_cast<TCustomKernel*>(Dest))
    CopyPublishedProperties(this, Dest);
  else
    TPersistent::AssignTo(Dest);
}

TWindowedSincKernel::TWindowedSincKernel() : FWidth(3), FWidthReciprocal(S(1.0 / 3.0)) {}

float TWindowedSincKernel::Filter(float Value) {
  const float T = std::fabs(Value);
  if (FWidth > T) return S(static_cast<double>(Sinc(T)) * Window(T));
  return 0;
}

void TWindowedSincKernel::SetWidth(float Value) {
  if (Value > 16) Value = 16;
  if (Value != FWidth) {
    FWidth = Value;
    FWidthReciprocal = S(1.0 / Value);
    Changed();
  }
}

std::vector<TPropInfo> TWindowedSincKernel::GetPublishedProperties() const {
  return {FloatProp("Width", &TWindowedSincKernel::Width, &TWindowedSincKernel::SetWidth)};
}

#define KV_KERNEL_CLASS(T)                              \
  const TKernelClass& T::Class() {                      \
    static const TKernelClassOf<T> C(#T);               \
    return C;                                           \
  }

KV_KERNEL_CLASS(TBoxKernel)
KV_KERNEL_CLASS(TLinearKernel)
KV_KERNEL_CLASS(TCosineKernel)
KV_KERNEL_CLASS(TSplineKernel)
KV_KERNEL_CLASS(TCubicKernel)
KV_KERNEL_CLASS(TMitchellKernel)
KV_KERNEL_CLASS(TAlbrechtKernel)
KV_KERNEL_CLASS(TLanczosKernel)
KV_KERNEL_CLASS(TGaussianKernel)
KV_KERNEL_CLASS(TBlackmanKernel)
KV_KERNEL_CLASS(THannKernel)
KV_KERNEL_CLASS(THammingKernel)
KV_KERNEL_CLASS(TSinshKernel)
KV_KERNEL_CLASS(THermiteKernel)
#undef KV_KERNEL_CLASS

float TBoxKernel::Filter(float Value) { return (Value >= -0.5f && Value <= 0.5f) ? 1.0f : 0.0f; }

float TLinearKernel::Filter(float Value) {
  if (Value < -1) return 0;
  if (Value < 0) return S(static_cast<double>(Value) + 1);
  if (Value < 1) return S(1 - static_cast<double>(Value));
  return 0;
}

float TCosineKernel::Filter(float Value) {
  if (std::fabs(Value) < 1) return S((std::cos(static_cast<double>(Value) * kPi) + 1) * 0.5);
  return 0;
}

float TSplineKernel::Filter(float Value) {
  const float T = S(std::fabs(static_cast<double>(Value)));
  if (T < 1) {
    const float T2 = S(static_cast<double>(T) * T);
    return S(static_cast<double>(T2) * 0.5 * T - T2 + 2.0 / 3.0);
  }
  if (T < 2) {
    const float U = S(2.0 - T);
    return S(static_cast<double>(U) * U * (1.0 / 6.0) * U);
  }
  return 0;
}

float TCubicKernel::Filter(float Value) {
  const double A = FCoeff;
  const float T = S(std::fabs(static_cast<double>(Value)));
  const float T2 = S(static_cast<double>(T) * T);
  const float T3 = S(static_cast<double>(T2) * T);
  if (T < 1) return S((A + 2) * T3 - (A + 3) * T2 + 1);
  if (T < 2) return S(A * (T3 - 5.0 * T2 + 8.0 * T - 4));
  return 0;
}

void TCubicKernel::SetCoeff(float Value) {
  if (Value != FCoeff) {
    FCoeff = Value;
    Changed();
  }
}

std::vector<TPropInfo> TCubicKernel::GetPublishedProperties() const {
  return {FloatProp("Coeff", &TCubicKernel::Coeff, &TCubicKernel::SetCoeff)};
}

float TMitchellKernel::Filter(float Value) {
  const float T = S(std::fabs(static_cast<double>(Value)));
  const float T2 = S(static_cast<double>(T) * T);
  const float T3 = S(static_cast<double>(T2) * T);
  if (T < 1) return S((21.0 * T3 - 36.0 * T2 + 16) / 18);
  if (T < 2) return S((-7.0 * T3 + 36.0 * T2 - 60.0 * T + 32) / 18);
  return 0;
}

namespace {

// Rows 2..11 of the Albrecht window coefficients; each row sums to 1.
const double kAlbrechtCoefs[10][11] = {
    {0.5383553946707251, 0.4616446053292749},
    {0.346100822018625, 0.497340635096738, 0.156558542884637},
    {0.226982412792069, 0.457254070828427, 0.273199027957384, 0.0425644884221201},
    {0.14894260601583, 0.386001173639176, 0.340977403214053, 0.1139879604246, 0.0100908567063414},
    {0.0971676200107429, 0.308845222524055, 0.362623371437917, 0.188953325525116, 0.0402095714148751,
     0.0022008890872942},
    {0.0639644241143904, 0.239938645993528, 0.350159563238205, 0.247741118970808, 0.085438256055858,
     0.0123202033692932, 0.000437788257917735},
    {0.0421072107042137, 0.182076226633776, 0.317713781059942, 0.284438001373442, 0.136762237777383,
     0.0334038053504025, 0.00341677216705768, 8.19649337831348e-05},
    {0.0276143731612611, 0.135382228758844, 0.275287234472237, 0.298843335317801, 0.185319330279284,
     0.0648884482549063, 0.0117641910285655, 0.000885987580106899, 1.48711469943406e-05},
    {0.0179908225352538, 0.098795958606521, 0.229883817001211, 0.294113019095183, 0.224338977814325,
     0.103248806248099, 0.0275674109448523, 0.00383958622947123, 0.000218971708430106, 2.62981665347889e-06},
    {0.0118717127796602, 0.0719533651951142, 0.187887160922585, 0.275808174097291, 0.248904243244464,
     0.141729867200712, 0.0502002976228256, 0.0104589649084984, 0.0011361511274166, 4.96285981703436e-05,
     4.3430326268572e-07},
};

}  // namespace

TAlbrechtKernel::TAlbrechtKernel() { SetTerms(7); }

void TAlbrechtKernel::SetTerms(int32_t Value) {
  Value = std::clamp(Value, 2, 11);
  if (Value != FTerms) {
    FTerms = Value;
    std::fill(std::begin(FCoefPointer), std::end(FCoefPointer), 0.0);
    std::copy(kAlbrechtCoefs[Value - 2], kAlbrechtCoefs[Value - 2] + Value, FCoefPointer);
  }
}

float TAlbrechtKernel::Window(float Value) {
  const float C = S(std::cos(kPi * Value * FWidthReciprocal));
  float R = S(FCoefPointer[FTerms - 1]);
  for (int K = FTerms - 2; K >= 0; --K) R = S(static_cast<double>(R) * C + FCoefPointer[K]);
  return R;
}

std::vector<TPropInfo> TAlbrechtKernel::GetPublishedProperties() const {
  std::vector<TPropInfo> P = TWindowedSincKernel::GetPublishedProperties();
  P.push_back(IntProp("Terms", &TAlbrechtKernel::Terms, &TAlbrechtKernel::SetTerms));
  return P;
}

float TLanczosKernel::Window(float Value) {
  return Sinc(S(static_cast<double>(Value) * FWidthReciprocal));
}

TGaussianKernel::TGaussianKernel() : FSigma(1.33f), FSigmaReciprocalLn2(S(-std::log(2.0) / 1.33f)) {}

void TGaussianKernel::SetSigma(float Value) {
  if (Value != FSigma && Value != 0) {
    FSigma = Value;
    FSigmaReciprocalLn2 = S(-std::log(2.0) / Value);
    Changed();
  }
}

float TGaussianKernel::Window(float Value) {
  return S(std::exp(static_cast<double>(Value) * Value * FSigmaReciprocalLn2));
}

std::vector<TPropInfo> TGaussianKernel::GetPublishedProperties() const {
  std::vector<TPropInfo> P = TWindowedSincKernel::GetPublishedProperties();
  P.push_back(FloatProp("Sigma", &TGaussianKernel::Sigma, &TGaussianKernel::SetSigma));
  return P;
}

float TBlackmanKernel::Window(float Value) {
  const float C = S(std::cos(kPi * Value * FWidthReciprocal));
  return S(0.34 + 0.5 * C + 0.16 * static_cast<double>(C) * C);
}

float THannKernel::Window(float Value) {
  return S(0.5 + 0.5 * std::cos(kPi * Value * FWidthReciprocal));
}

float THammingKernel::Window(float Value) {
  return S(0.54 + 0.46 * std::cos(kPi * Value * FWidthReciprocal));
}

float TSinshKernel::Filter(float Value) {
  if (Value == 0) return 1;
  const double V = static_cast<double>(FCoeff) * kPi * Value;
  const double Sinh = V == 0 ? 0 : (std::exp(V) - std::exp(-V)) / 2;
  return S(FCoeff * std::sin(kPi * Value) / Sinh);
}

void TSinshKernel::SetWidth(float Value) {
  if (Value != FWidth) {
    FWidth = Value;
    Changed();
  }
}

void TSinshKernel::SetCoeff(float Value) {
  if (Value != FCoeff && Value != 0) {
    FCoeff = Value;
    Changed();
  }
}

std::vector<TPropInfo> TSinshKernel::GetPublishedProperties() const {
  return {FloatProp("Width", &TSinshKernel::Width, &TSinshKernel::SetWidth),
          FloatProp("Coeff", &TSinshKernel::Coeff, &TSinshKernel::SetCoeff)};
}

float THermiteKernel::Filter(float Value) {
  const float T = S((1.0 - FTension) * 0.5);
  const float B1 = S((1.0 + FBias) * T);
  const float B2 = S((1.0 - FBias) * T);
  const int64_t I = Floor(Value);
  const float F = S(std::fabs(static_cast<double>(I) - Value));
  const float F2 = S(static_cast<double>(F) * F);
  const float F3 = S(static_cast<double>(F2) * F);
  const float M0 = S(static_cast<double>(F3) - 2.0 * F2 + F);
  const float M1 = S(static_cast<double>(F3) - F2);
  const float A0 = S(-2.0 * F3 + 3.0 * F2);
  const float A1 = S(1.0 - A0);
  switch (I) {
    case -2: return S(static_cast<double>(M1) * B2);
    case -1: return S(A0 + static_cast<double>(M0) * B2 + static_cast<double>(M1) * (static_cast<double>(B1) - B2));
    case 0: return S(A1 + static_cast<double>(M0) * (static_cast<double>(B1) - B2) - static_cast<double>(M1) * B1);
    case 1: return S(-static_cast<double>(M0) * B1);
    default: return 0;
  }
}

void THermiteKernel::SetBias(float Value) {
  if (Value != FBias) {
    FBias = Value;
    Changed();
  }
}

void THermiteKernel::SetTension(float Value) {
  if (Value != FTension) {
    FTension = Value;
    Changed();
  }
}

std::vector<TPropInfo> THermiteKernel::GetPublishedProperties() const {
  return {FloatProp("Bias", &THermiteKernel::Bias, &THermiteKernel::SetBias),
          FloatProp("Tension", &THermiteKernel::Tension, &THermiteKernel::SetTension)};
}

// ---------------------------------------------------------------------------
// Class lists

namespace {

struct TRegistry {
  TResamplerClassList Resamplers;
  TKernelClassList Kernels;
};

// Start-up of the unit: bindings first, then the classes in their order. It
// needs the units before it (registries, processor features) and does not
// start them itself, so it can run from the library's ordered start-up.
TRegistry& BuildRegistry() {
  static TRegistry* R = [] {
    auto* Reg = new TRegistry();
    RegisterResamplerBindings();
    Reg->Resamplers.Add(&TNearestResampler::Class());
    Reg->Resamplers.Add(&TLinearResampler::Class());
    Reg->Resamplers.Add(&TDraftResampler::Class());
    Reg->Resamplers.Add(&TKernelResampler::Class());
    for (const TKernelClass* K :
         {&TBoxKernel::Class(), &TLinearKernel::Class(), &TCosineKernel::Class(), &TSplineKernel::Class(),
          &TCubicKernel::Class(), &TMitchellKernel::Class(), &TAlbrechtKernel::Class(), &TLanczosKernel::Class(),
          &TGaussianKernel::Class(), &TBlackmanKernel::Class(), &THannKernel::Class(), &THammingKernel::Class(),
          &TSinshKernel::Class(), &THermiteKernel::Class()})
      Reg->Kernels.Add(K);
    return Reg;
  }();
  return *R;
}

// The lists for callers outside start-up: the library first, then this unit.
TRegistry& Registry() {
  InitializeBitmapLibrary();
  return BuildRegistry();
}

}  // namespace

void B32_Resamplers_Initialize() { BuildRegistry(); }

TResamplerClassList* ResamplerList() { return &Registry().Resamplers; }
TKernelClassList* KernelList() { return &Registry().Kernels; }
void RegisterResampler(const TCustomResamplerClass* AClass) { Registry().Resamplers.Add(AClass); }
void RegisterKernel(const TKernelClass* AClass) { Registry().Kernels.Add(AClass); }

// ---------------------------------------------------------------------------
// Mapping tables

namespace {

struct TRawTap {
  int32_t Pos;
  double Exact;  // the kernel weight before rounding, 256 = 1.0
  int32_t Rounded;
};

// Turns the raw taps of one cluster into integer weights that add up to 256.
// The plain rule rounds each weight and lets the middle tap absorb the sum of
// the rounding errors. At large shrink ratios that sum grows well beyond one
// step (hundreds of tiny weights), so the middle tap would carry several times
// its share or even turn negative. When the plain rule leaves any weight a
// whole step or more from its exact normalised value, the weights are rounded
// by largest remainders instead: each one is its normalised value rounded down
// or up, so every weight stays within a step and none changes sign.
void FinishCluster(const std::vector<TRawTap>& Raw, double Center, int32_t SrcLo, int32_t SrcHi,
                   TCluster& Cluster) {
  Cluster.clear();
  int32_t Sum = -256;
  for (const TRawTap& T : Raw)
    if (T.Rounded != 0) {
      Cluster.push_back({T.Pos, T.Rounded});
      Sum += T.Rounded;
    }
  double Total = 0;
  for (const TRawTap& T : Raw) Total += T.Exact;
  if (Cluster.empty() && !(Total > 0)) {
    Cluster.push_back({static_cast<int32_t>(std::clamp<int64_t>(Floor(Center), SrcLo, SrcHi - 1)), 256});
    return;
  }
  if (Sum != 0 && !Cluster.empty()) Cluster[(Cluster.size() - 1) / 2].Weight -= Sum;
  if (!(Total > 0)) return;
  const double Norm = 256.0 / Total;

  // Does the plain result stay within one step everywhere? Beyond a shrink
  // of about 1:500 every tap rounds to 0; the whole weight on the nearest
  // tap would turn the fit into point sampling, so that goes by remainders too.
  bool Good = !Cluster.empty();
  if (Good) {
    size_t K = 0;
    for (const TRawTap& T : Raw) {
      int32_t W = 0;
      if (T.Rounded != 0) W = Cluster[K++].Weight;
      if (std::fabs(W - T.Exact * Norm) >= 1.0) {
        Good = false;
        break;
      }
    }
  }
  if (Good) return;

  const size_t N = Raw.size();
  std::vector<int32_t> W(N);
  std::vector<double> Rem(N);
  int32_t Floors = 0;
  for (size_t I = 0; I < N; ++I) {
    const double E = Raw[I].Exact * Norm;
    const double F = std::floor(E);
    W[I] = static_cast<int32_t>(F);
    Rem[I] = E - F;
    Floors += W[I];
  }
  int32_t Deficit = 256 - Floors;
  std::vector<size_t> Order(N);
  std::iota(Order.begin(), Order.end(), size_t{0});
  std::stable_sort(Order.begin(), Order.end(), [&](size_t A, size_t B) { return Rem[A] > Rem[B]; });
  // The deficit equals the sum of the remainders, so it is below N; a stray
  // unit from floating-point error still lands on the largest remainders.
  for (size_t K = 0; Deficit > 0; K = (K + 1) % N, --Deficit) ++W[Order[K]];
  for (size_t K = 0; Deficit < 0; K = (K + 1) % N, ++Deficit) --W[Order[N - 1 - K]];

  Cluster.clear();
  for (size_t I = 0; I < N; ++I)
    if (W[I] != 0) Cluster.push_back({Raw[I].Pos, W[I]});
}

}  // namespace

TMappingTable BuildMappingTable(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                                int32_t SrcLo, int32_t SrcHi, TCustomKernel* Kernel) {
  TMappingTable Result;
  const int32_t SrcW = SrcHi - SrcLo;
  const int32_t DstW = DstHi - DstLo;
  const int32_t ClipW = ClipHi - ClipLo;
  if (SrcW == 0) return Result;
  Result.resize(static_cast<size_t>(std::max(ClipW, 0)));
  if (SrcW == 1) {
    for (TCluster& C : Result) C.assign(1, TPointRec{SrcLo, 256});
    return Result;
  }
  if (ClipW <= 0) return Result;

  const float Scale = S(static_cast<double>(DstW) / SrcW);
  const float Width = Kernel->GetWidth();
  const float Step = S(1.0 / Scale);
  std::vector<TRawTap> Raw;
  auto AddTap = [&](int32_t J, float Arg, double Factor) {
    const double Exact = static_cast<double>(Kernel->Filter(Arg)) * Factor;
    Raw.push_back({std::clamp(J, SrcLo, SrcHi - 1), Exact, static_cast<int32_t>(Round(Exact))});
  };

  if (Scale < 1) {
    const float Radius = S(static_cast<double>(Width) * Step);
    for (int32_t I = 0; I < ClipW; ++I) {
      const int32_t X = ClipLo + I;
      const float Center = S(SrcLo + (X - DstLo + 0.5) * Step - 0.5);
      const int64_t Lo = Floor(static_cast<double>(Center) - Radius);
      const int64_t Hi = Ceil(static_cast<double>(Center) + Radius);
      Raw.clear();
      for (int64_t J = Lo; J <= Hi; ++J)
        AddTap(static_cast<int32_t>(J), S((static_cast<double>(Center) - J) * Scale), 256.0 * Scale);
      FinishCluster(Raw, Center, SrcLo, SrcHi, Result[static_cast<size_t>(I)]);
    }
  } else {
    for (int32_t I = 0; I < ClipW; ++I) {
      const int32_t X = ClipLo + I;
      const float Center = S(SrcLo + (X - DstLo + 0.5) * Step - 0.5);
      const int64_t Lo = Floor(static_cast<double>(Center) - Width);
      const int64_t Hi = Ceil(static_cast<double>(Center) + Width);
      Raw.clear();
      for (int64_t J = Lo; J <= Hi; ++J)
        AddTap(static_cast<int32_t>(J), S(static_cast<double>(Center) - J), 256.0);
      FinishCluster(Raw, Center, SrcLo, SrcHi, Result[static_cast<size_t>(I)]);
    }
  }
  return Result;
}

// ---------------------------------------------------------------------------
// Combining one pixel or one run into the destination

namespace {

// Saturating conversion of a 64-bit edge to 32 bits.
inline int32_t Sat32(int64_t V) {
  return static_cast<int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

// The per-pixel combine of one transfer, chosen once per call.
struct TPixelCombiner {
  TDrawMode Mode;
  TColor32 OuterColor;
  uint32_t MasterAlpha;
  TBlendMemEx BlendMaster;
  const TPixelCombineEvent* Callback;

  TPixelCombiner(TCustomBitmap32* Src, TDrawMode AMode, const TPixelCombineEvent& CB)
      : Mode(AMode),
        OuterColor(Src->GetOuterColor()),
        MasterAlpha(Src->GetMasterAlpha()),
        BlendMaster(*PixelBlendMasterByMode[Src->GetCombineMode()]),
        Callback(&CB) {}

  inline void Put(TColor32 C, TColor32& D) const {
    switch (Mode) {
      case dmOpaque: D = C; break;
      case dmBlend: BlendMaster(C, D, MasterAlpha); break;
      case dmCustom: (*Callback)(C, D, MasterAlpha); break;
      case dmTransparent:
        if (C != OuterColor) D = C;
        break;
    }
  }

  // Combines a run of Count pixels: the line blends for dmBlend.
  void PutRun(const TColor32* S, TColor32* D, int32_t Count, TCombineMode CM) const {
    switch (Mode) {
      case dmOpaque: MoveLongword(S, D, Count); break;
      case dmBlend:
        if (MasterAlpha >= 255)
          (*SpanBlendByMode[CM])(S, D, Count);
        else
          (*SpanBlendMasterByMode[CM])(S, D, Count, MasterAlpha);
        break;
      case dmCustom:
        for (int32_t I = 0; I < Count; ++I) (*Callback)(S[I], D[I], MasterAlpha);
        break;
      case dmTransparent:
        for (int32_t I = 0; I < Count; ++I)
          if (S[I] != OuterColor) D[I] = S[I];
        break;
    }
  }
};

void CheckBitmaps(TCustomBitmap32* Dst, TCustomBitmap32* Src) {
  if (!Dst) throw EBitmapException("Destination bitmap is nil");
  if (!Src) throw EBitmapException("Source bitmap is nil");
}

}  // namespace

// ---------------------------------------------------------------------------
// Block transfer

void BlockTransferRows(TCustomBitmap32* Dst, const TRect& DstRect, TCustomBitmap32* Src, int32_t SrcX,
                       int32_t SrcY, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  const int32_t Len = DstRect.Right - DstRect.Left;
  if (Len <= 0) return;
  const TPixelCombiner Comb(Src, CombineOp, CombineCallBack);
  const TCombineMode CM = Src->GetCombineMode();
  const TColor32* S = Src->GetPixelPtr(SrcX, SrcY);
  TColor32* D = Dst->GetPixelPtr(DstRect.Left, DstRect.Top);
  for (int32_t Y = DstRect.Top; Y < DstRect.Bottom; ++Y) {
    Comb.PutRun(S, D, Len, CM);
    S += Src->GetWidth();
    D += Dst->GetWidth();
  }
}

void BlockTransfer(TCustomBitmap32* Dst, int32_t DstX, int32_t DstY, TRect DstClip, TCustomBitmap32* Src,
                   TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  CheckBitmaps(Dst, Src);
  if (Dst->Empty() || Src->Empty() || (CombineOp == dmBlend && Src->GetMasterAlpha() == 0)) return;
  const int32_t SrcX = SrcRect.Left, SrcY = SrcRect.Top;
  IntersectRect(DstClip, DstClip, Dst->BoundsRect());
  IntersectRect(SrcRect, SrcRect, Src->BoundsRect());
  OffsetIntRect(SrcRect, DstX - SrcX, DstY - SrcY);
  IntersectRect(DstClip, DstClip, SrcRect);
  if (IsRectEmpty(DstClip)) return;
  if (!Dst->GetMeasuringMode()) {
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    BlockTransferRows(Dst, DstClip, Src, DstClip.Left + SrcX - DstX, DstClip.Top + SrcY - DstY, CombineOp,
                      CombineCallBack);
  }
  Dst->AreaChanged(DstClip, AREA_INFO_RECT);
}

// ---------------------------------------------------------------------------
// Stretched transfer

void StretchTransfer(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                     TCustomResampler* Resampler, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  CheckBitmaps(Dst, Src);
  if (IsRectEmpty(SrcRect)) return;
  if (SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src->GetWidth() || SrcRect.Bottom > Src->GetHeight()) {
    const float ScaleX = S(static_cast<double>(DstRect.Right - DstRect.Left) / (SrcRect.Right - SrcRect.Left));
    const float ScaleY = S(static_cast<double>(DstRect.Bottom - DstRect.Top) / (SrcRect.Bottom - SrcRect.Top));
    if (SrcRect.Left < 0) {
      DstRect.Left = Sat32(DstRect.Left + Ceil(-static_cast<double>(SrcRect.Left) * ScaleX));
      SrcRect.Left = 0;
    }
    if (SrcRect.Top < 0) {
      DstRect.Top = Sat32(DstRect.Top + Ceil(-static_cast<double>(SrcRect.Top) * ScaleY));
      SrcRect.Top = 0;
    }
    if (SrcRect.Right > Src->GetWidth()) {
      DstRect.Right = Sat32(DstRect.Right - Floor((static_cast<double>(SrcRect.Right) - Src->GetWidth()) * ScaleX));
      SrcRect.Right = Src->GetWidth();
    }
    if (SrcRect.Bottom > Src->GetHeight()) {
      DstRect.Bottom =
          Sat32(DstRect.Bottom - Floor((static_cast<double>(SrcRect.Bottom) - Src->GetHeight()) * ScaleY));
      SrcRect.Bottom = Src->GetHeight();
    }
  }
  if (Src->Empty() || Dst->Empty() || (CombineOp == dmBlend && Src->GetMasterAlpha() == 0) ||
      IsRectEmpty(SrcRect))
    return;
  if (!Dst->GetMeasuringMode()) {
    IntersectRect(DstClip, DstClip, Dst->BoundsRect());
    IntersectRect(DstClip, DstClip, DstRect);
    if (IsRectEmpty(DstClip)) return;
    if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
    if (SrcRect.Width() == DstRect.Width() && SrcRect.Height() == DstRect.Height())
      BlockTransferRows(Dst, DstClip, Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                        SrcRect.Top + DstClip.Top - DstRect.Top, CombineOp, CombineCallBack);
    else
      Resampler->Resample(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
  }
  Dst->AreaChanged(DstRect, AREA_INFO_RECT);
}

void StretchNearest(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  IntersectRect(DstClip, DstClip, Dst->BoundsRect());
  IntersectRect(DstClip, DstClip, DstRect);
  if (IsRectEmpty(DstClip)) return;
  if (SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src->GetWidth() || SrcRect.Bottom > Src->GetHeight())
    throw Exception("Invalid SrcRect");
  const int32_t SrcW = SrcRect.Width(), SrcH = SrcRect.Height();
  const int32_t DstW = DstRect.Width(), DstH = DstRect.Height();
  if (SrcW == DstW && SrcH == DstH) {
    BlockTransferRows(Dst, DstClip, Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                      SrcRect.Top + DstClip.Top - DstRect.Top, CombineOp, CombineCallBack);
    return;
  }
  const int32_t ClipW = DstClip.Width();
  std::vector<int32_t> Map(static_cast<size_t>(ClipW));
  if (DstW < 2) {
    // Only the first entry is defined: a clip this narrow holds one column.
    std::fill(Map.begin(), Map.end(), (SrcRect.Left + SrcRect.Right - 1) / 2);
  } else {
    const float ScaleX = S(static_cast<double>(SrcW) / DstW);
    for (int32_t I = 0; I < ClipW; ++I)
      Map[static_cast<size_t>(I)] = std::clamp(
          static_cast<int32_t>(Trunc(SrcRect.Left + static_cast<double>(DstClip.Left + I - DstRect.Left) * ScaleX)),
          SrcRect.Left, SrcRect.Right - 1);
  }
  const float ScaleY = DstH < 2 ? 0.0f : S(static_cast<double>(SrcH) / DstH);
  auto SourceRow = [&](int32_t J) {
    if (DstH < 2) return (SrcRect.Top + SrcRect.Bottom - 1) / 2;
    return std::clamp(
        static_cast<int32_t>(Trunc(SrcRect.Top + static_cast<double>(DstClip.Top + J - DstRect.Top) * ScaleY)),
        SrcRect.Top, SrcRect.Bottom - 1);
  };

  const int32_t* M = Map.data();
  int32_t OldRow = -1;
  if (CombineOp == dmOpaque) {
    TColor32* Prev = nullptr;
    for (int32_t J = 0; J < DstClip.Height(); ++J) {
      const int32_t Row = SourceRow(J);
      TColor32* D = Dst->GetPixelPtr(DstClip.Left, DstClip.Top + J);
      if (Row == OldRow && Prev) {
        MoveLongword(Prev, D, ClipW);
      } else {
        const TColor32* SRow = Src->GetScanLine(Row);
        for (int32_t I = 0; I < ClipW; ++I) D[I] = SRow[M[I]];
      }
      Prev = D;
      OldRow = Row;
    }
    return;
  }
  const TPixelCombiner Comb(Src, CombineOp, CombineCallBack);
  const TCombineMode CM = Src->GetCombineMode();
  std::vector<TColor32> Buffer(static_cast<size_t>(ClipW));
  for (int32_t J = 0; J < DstClip.Height(); ++J) {
    const int32_t Row = SourceRow(J);
    if (Row != OldRow) {
      const TColor32* SRow = Src->GetScanLine(Row);
      for (int32_t I = 0; I < ClipW; ++I) Buffer[static_cast<size_t>(I)] = SRow[M[I]];
      OldRow = Row;
    }
    Comb.PutRun(Buffer.data(), Dst->GetPixelPtr(DstClip.Left, DstClip.Top + J), ClipW, CM);
  }
}

// ---------------------------------------------------------------------------
// Separable kernel resample

namespace {

// A mapping table flattened for the inner loops: per cluster an offset into
// the tap arrays, positions made relative to a base.
struct TFlatMap {
  std::vector<int32_t> Start;  // ClipW + 1 entries
  std::vector<int32_t> Pos;
  std::vector<int32_t> Weight;

  TFlatMap(const TMappingTable& Map, int32_t Base) {
    Start.reserve(Map.size() + 1);
    for (const TCluster& C : Map) {
      Start.push_back(static_cast<int32_t>(Pos.size()));
      for (const TPointRec& P : C) {
        Pos.push_back(P.Pos - Base);
        Weight.push_back(P.Weight);
      }
    }
    Start.push_back(static_cast<int32_t>(Pos.size()));
  }
};

inline uint32_t PackChannel(int32_t V, bool RangeCheck) {
  if (RangeCheck) {
    if (V > 0xFF0000) return 0xFF0000;
    if (V < 0) return 0;
  }
  return static_cast<uint32_t>(V) & 0xFF0000u;
}

}  // namespace

void SeparableResample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                       TCustomKernel* Kernel, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  if (CombineOp == dmCustom && !CombineCallBack) CombineOp = dmOpaque;
  if (CombineOp == dmBlend && Src->GetMasterAlpha() == 0) return;
  const TMappingTable MapX = BuildMappingTable(DstRect.Left, DstRect.Right, DstClip.Left, DstClip.Right,
                                               SrcRect.Left, SrcRect.Right, Kernel);
  const TMappingTable MapY = BuildMappingTable(DstRect.Top, DstRect.Bottom, DstClip.Top, DstClip.Bottom,
                                               SrcRect.Top, SrcRect.Bottom, Kernel);
  if (MapX.empty() || MapY.empty()) return;
  const bool RangeCheck = Kernel->RangeCheck();

  int32_t SpanLo = INT32_MAX, SpanHi = INT32_MIN;
  for (const TCluster& C : MapX)
    for (const TPointRec& P : C) {
      SpanLo = std::min(SpanLo, P.Pos);
      SpanHi = std::max(SpanHi, P.Pos);
    }
  const int32_t SpanW = SpanHi - SpanLo + 1;
  const TFlatMap FX(MapX, SpanLo);  // positions within the span
  const TFlatMap FY(MapY, 0);
  const TPixelCombiner Comb(Src, CombineOp, CombineCallBack);
  const TAccumulateRowsProc Accumulate = AccumulateRows;
  const THorizontalSumsProc Horizontal = HorizontalSums;
  const int32_t ClipW = DstClip.Width();
  const int32_t ClipH = DstClip.Height();

  // The vertical pass of a band of destination rows is done strip by strip
  // of source columns, so the source rows that neighbouring destination rows
  // share are read from cache instead of memory. Integer sums make the order
  // of the passes invisible in the result.
  constexpr int32_t kBandRows = 16;
  constexpr int32_t kStripPixels = 256;
  const int32_t BandRows = std::min(kBandRows, ClipH);
  // Cleared band by band below.
  std::vector<TBufferEntry, TKvUninitAllocator<TBufferEntry>> Band(static_cast<size_t>(BandRows) *
                                                                   static_cast<size_t>(SpanW));
  std::vector<TBufferEntry> Sums(static_cast<size_t>(ClipW));

  for (int32_t J0 = 0; J0 < ClipH; J0 += BandRows) {
    const int32_t J1 = std::min(J0 + BandRows, ClipH);
    std::memset(Band.data(), 0, Band.size() * sizeof(TBufferEntry));
    for (int32_t X0 = 0; X0 < SpanW; X0 += kStripPixels) {
      const int32_t N = std::min(kStripPixels, SpanW - X0);
      for (int32_t J = J0; J < J1; ++J) {
        int32_t* Buf = &Band[static_cast<size_t>(J - J0) * static_cast<size_t>(SpanW) + static_cast<size_t>(X0)].B;
        // Bytes are blue, green, red, alpha: the order of a buffer entry.
        // Taps go four at a time (missing ones weigh 0).
        for (int32_t T = FY.Start[J]; T < FY.Start[J + 1]; T += 4) {
          const uint8_t* Rows[4];
          int32_t Ws[4];
          for (int32_t Q = 0; Q < 4; ++Q) {
            const bool Has = T + Q < FY.Start[J + 1];
            const size_t Tap = static_cast<size_t>(Has ? T + Q : T);
            Rows[Q] = reinterpret_cast<const uint8_t*>(Src->GetPixelPtr(SpanLo + X0, FY.Pos[Tap]));
            Ws[Q] = Has ? FY.Weight[Tap] : 0;
          }
          Accumulate(Buf, Rows, Ws, N * 4);
        }
      }
    }
    // Horizontal pass and packing.
    for (int32_t J = J0; J < J1; ++J) {
      const TBufferEntry* Buffer = &Band[static_cast<size_t>(J - J0) * static_cast<size_t>(SpanW)];
      Horizontal(Buffer, FX.Start.data(), FX.Pos.data(), FX.Weight.data(), ClipW, &Sums[0].B);
      TColor32* D = Dst->GetPixelPtr(DstClip.Left, DstClip.Top + J);
      for (int32_t I = 0; I < ClipW; ++I) {
        const TBufferEntry& E = Sums[static_cast<size_t>(I)];
        const TColor32 C = (PackChannel(E.A, RangeCheck) << 8) | PackChannel(E.R, RangeCheck) |
                           (PackChannel(E.G, RangeCheck) >> 8) | (PackChannel(E.B, RangeCheck) >> 16);
        Comb.Put(C, D[I]);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Bound pixel functions

namespace {

// The register combine of the blend unit mixes two pixels by a 0..255 weight.
constexpr TCombineReg CombineReg = MixPixels_Int;

}  // namespace

namespace {

// Blocks of more than 2^24 pixels: the 24-bit reciprocal would be 0 (a black
// average) and the 32-bit sums could wrap, so such blocks divide 64-bit sums.
constexpr uint64_t kReciprocalPixels = 0x1000000u;

TColor32 BlockAverageLarge(uint32_t Dlx, uint32_t Dly, intptr_t RowSrc, const TColor32* OffSrc) {
  uint64_t S[4] = {0, 0, 0, 0};
  const auto* Row = reinterpret_cast<const uint8_t*>(OffSrc);
  for (uint32_t Y = 0; Y < Dly; ++Y, Row += RowSrc) {
    const auto* P = reinterpret_cast<const TColor32*>(Row);
    for (uint32_t X = 0; X < Dlx; ++X)
      for (int C = 0; C < 4; ++C) S[C] += (P[X] >> (8 * C)) & 255;
  }
  const uint64_t N = uint64_t(Dlx) * Dly;
  TColor32 Result = 0;
  for (int C = 0; C < 4; ++C) Result |= static_cast<TColor32>(S[C] / N) << (8 * C);
  return Result;
}

}  // namespace

TColor32 BlockAverage_Pas(uint32_t Dlx, uint32_t Dly, intptr_t RowSrc, const TColor32* OffSrc) {
  if (uint64_t(Dlx) * Dly > kReciprocalPixels) return BlockAverageLarge(Dlx, Dly, RowSrc, OffSrc);
  uint32_t SB = 0, SG = 0, SR = 0, SA = 0;
  const auto* Row = reinterpret_cast<const uint8_t*>(OffSrc);
  for (uint32_t Y = 0; Y < Dly; ++Y, Row += RowSrc) {
    const auto* P = reinterpret_cast<const TColor32*>(Row);
    for (uint32_t X = 0; X < Dlx; ++X) {
      const TColor32 C = P[X];
      SB += C & 255;
      SG += (C >> 8) & 255;
      SR += (C >> 16) & 255;
      SA += C >> 24;
    }
  }
  const uint32_t R = 0x1000000u / (Dlx * Dly);
  return ((SA * R) & 0xFF000000u) | (((SR * R) >> 8) & 0xFF0000u) | (((SG * R) >> 16) & 0xFF00u) | ((SB * R) >> 24);
}

// Adds runs of at most 257 pixels of a row in 16-bit lanes (257 x 255 is the
// most a lane holds), then those sums into 32-bit lanes; equals the portable
// form for any block width.
TColor32 BlockAverage_SSE2(uint32_t Dlx, uint32_t Dly, intptr_t RowSrc, const TColor32* OffSrc) {
#if defined(__SSE2__)
  if (uint64_t(Dlx) * Dly > kReciprocalPixels) return BlockAverageLarge(Dlx, Dly, RowSrc, OffSrc);
  constexpr uint32_t kLaneRun = 257;
  const __m128i Zero = _mm_setzero_si128();
  __m128i Sum32 = Zero;
  const auto* Row = reinterpret_cast<const uint8_t*>(OffSrc);
  for (uint32_t Y = 0; Y < Dly; ++Y, Row += RowSrc) {
    const auto* P = reinterpret_cast<const TColor32*>(Row);
    for (uint32_t X0 = 0; X0 < Dlx; X0 += kLaneRun) {
      const uint32_t X1 = std::min(Dlx, X0 + kLaneRun);
      __m128i Sum16 = Zero;
      for (uint32_t X = X0; X < X1; ++X)
        Sum16 = _mm_add_epi16(Sum16, _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(P[X])), Zero));
      Sum32 = _mm_add_epi32(Sum32, _mm_unpacklo_epi16(Sum16, Zero));
    }
  }
  alignas(16) uint32_t S4[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(S4), Sum32);
  const uint32_t R = 0x1000000u / (Dlx * Dly);
  return ((S4[3] * R) & 0xFF000000u) | (((S4[2] * R) >> 8) & 0xFF0000u) | (((S4[1] * R) >> 16) & 0xFF00u) |
         ((S4[0] * R) >> 24);
#else
  return BlockAverage_Pas(Dlx, Dly, RowSrc, OffSrc);
#endif
}

TColor32 InterpolatePixels_Pas(uint32_t WX, uint32_t WY, const TColor32* C11, const TColor32* C21) {
  WX = std::min(WX, 255u);
  WY = std::min(WY, 255u);
  const TColor32 Top = CombineReg(C11[0], C11[1], WX);
  const TColor32 Bottom = CombineReg(C21[0], C21[1], WX);
  return CombineReg(Top, Bottom, WY);
}

// Exact for weights 0..256: (A * W + B * (256 - W)) shr 8 per channel, twice.
TColor32 InterpolatePixels_SSE2(uint32_t WX, uint32_t WY, const TColor32* C11, const TColor32* C21) {
#if defined(__SSE2__)
  const __m128i Zero = _mm_setzero_si128();
  // Lanes 0-3: C11 (or C21), lanes 4-7: the pixel after it.
  const __m128i A = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(C11)), Zero);
  const __m128i B = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(C21)), Zero);
  const int16_t Wx = static_cast<int16_t>(WX), Wx1 = static_cast<int16_t>(256 - WX);
  const __m128i WXV = _mm_set_epi16(Wx1, Wx1, Wx1, Wx1, Wx, Wx, Wx, Wx);
  __m128i PA = _mm_mullo_epi16(A, WXV);
  __m128i PB = _mm_mullo_epi16(B, WXV);
  PA = _mm_srli_epi16(_mm_add_epi16(PA, _mm_srli_si128(PA, 8)), 8);  // top in lanes 0-3
  PB = _mm_srli_epi16(_mm_add_epi16(PB, _mm_srli_si128(PB, 8)), 8);  // bottom in lanes 0-3
  const __m128i WYV = _mm_set1_epi16(static_cast<int16_t>(WY));
  const __m128i WY1V = _mm_set1_epi16(static_cast<int16_t>(256 - WY));
  __m128i R = _mm_add_epi16(_mm_mullo_epi16(PA, WYV), _mm_mullo_epi16(PB, WY1V));
  R = _mm_srli_epi16(R, 8);
  return static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(R, Zero)));
#else
  uint32_t Result = 0;
  for (int Sh = 0; Sh < 32; Sh += 8) {
    const uint32_t Top = (((C11[0] >> Sh) & 255) * WX + ((C11[1] >> Sh) & 255) * (256 - WX)) >> 8;
    const uint32_t Bot = (((C21[0] >> Sh) & 255) * WX + ((C21[1] >> Sh) & 255) * (256 - WX)) >> 8;
    Result |= ((Top * WY + Bot * (256 - WY)) >> 8) << Sh;
  }
  return Result;
#endif
}

// Pairs of taps through 16-bit multiply-adds.
void AccumulateRows_SSE2(int32_t* Buf, const uint8_t* const* Rows, const int32_t* Ws, int32_t Count) {
  int32_t K = 0;
#if defined(__SSE2__)
  bool Fits = true;
  for (int T = 0; T < 4; ++T) Fits = Fits && Ws[T] >= INT16_MIN && Ws[T] <= INT16_MAX;
  if (Fits) {
    auto Pair = [](int32_t A, int32_t B) {
      return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(B) << 16) | (static_cast<uint32_t>(A) & 0xFFFFu)));
    };
    const __m128i Zero = _mm_setzero_si128();
    const __m128i W01 = Pair(Ws[0], Ws[1]), W23 = Pair(Ws[2], Ws[3]);
    const uint8_t *R0 = Rows[0], *R1 = Rows[1], *R2 = Rows[2], *R3 = Rows[3];
    for (; K + 16 <= Count; K += 16) {
      const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(R0 + K));
      const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(R1 + K));
      const __m128i C = _mm_loadu_si128(reinterpret_cast<const __m128i*>(R2 + K));
      const __m128i D = _mm_loadu_si128(reinterpret_cast<const __m128i*>(R3 + K));
      const __m128i ALo = _mm_unpacklo_epi8(A, Zero), AHi = _mm_unpackhi_epi8(A, Zero);
      const __m128i BLo = _mm_unpacklo_epi8(B, Zero), BHi = _mm_unpackhi_epi8(B, Zero);
      const __m128i CLo = _mm_unpacklo_epi8(C, Zero), CHi = _mm_unpackhi_epi8(C, Zero);
      const __m128i DLo = _mm_unpacklo_epi8(D, Zero), DHi = _mm_unpackhi_epi8(D, Zero);
      __m128i* P = reinterpret_cast<__m128i*>(Buf + K);
      auto Add = [&](int I, __m128i AB, __m128i CD) {
        const __m128i S = _mm_add_epi32(_mm_madd_epi16(AB, W01), _mm_madd_epi16(CD, W23));
        _mm_storeu_si128(P + I, _mm_add_epi32(_mm_loadu_si128(P + I), S));
      };
      Add(0, _mm_unpacklo_epi16(ALo, BLo), _mm_unpacklo_epi16(CLo, DLo));
      Add(1, _mm_unpackhi_epi16(ALo, BLo), _mm_unpackhi_epi16(CLo, DLo));
      Add(2, _mm_unpacklo_epi16(AHi, BHi), _mm_unpacklo_epi16(CHi, DHi));
      Add(3, _mm_unpackhi_epi16(AHi, BHi), _mm_unpackhi_epi16(CHi, DHi));
    }
  }
#endif
  for (; K < Count; ++K)
    Buf[K] += Rows[0][K] * Ws[0] + Rows[1][K] * Ws[1] + Rows[2][K] * Ws[2] + Rows[3][K] * Ws[3];
}


#if defined(__x86_64__) || defined(__i386__)
// Sixteen bytes of four rows per step in 256-bit registers.
__attribute__((target("avx2"))) void AccumulateRows_AVX2(int32_t* Buf, const uint8_t* const* Rows,
                                                          const int32_t* Ws, int32_t Count) {
  int32_t K = 0;
  bool Fits = true;
  for (int T = 0; T < 4; ++T) Fits = Fits && Ws[T] >= INT16_MIN && Ws[T] <= INT16_MAX;
  if (Fits) {
    const __m256i W01 = _mm256_set1_epi32(
        static_cast<int32_t>((static_cast<uint32_t>(Ws[1]) << 16) | (static_cast<uint32_t>(Ws[0]) & 0xFFFFu)));
    const __m256i W23 = _mm256_set1_epi32(
        static_cast<int32_t>((static_cast<uint32_t>(Ws[3]) << 16) | (static_cast<uint32_t>(Ws[2]) & 0xFFFFu)));
    const uint8_t *R0 = Rows[0], *R1 = Rows[1], *R2 = Rows[2], *R3 = Rows[3];
    for (; K + 16 <= Count; K += 16) {
      const __m256i A = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(R0 + K)));
      const __m256i B = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(R1 + K)));
      const __m256i C = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(R2 + K)));
      const __m256i D = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(R3 + K)));
      // In-lane interleaving: Lo holds bytes 0-3 and 8-11, Hi bytes 4-7 and 12-15.
      const __m256i Lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(A, B), W01),
                                          _mm256_madd_epi16(_mm256_unpacklo_epi16(C, D), W23));
      const __m256i Hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(A, B), W01),
                                          _mm256_madd_epi16(_mm256_unpackhi_epi16(C, D), W23));
      __m256i* P = reinterpret_cast<__m256i*>(Buf + K);
      _mm256_storeu_si256(P, _mm256_add_epi32(_mm256_loadu_si256(P), _mm256_permute2x128_si256(Lo, Hi, 0x20)));
      _mm256_storeu_si256(P + 1,
                          _mm256_add_epi32(_mm256_loadu_si256(P + 1), _mm256_permute2x128_si256(Lo, Hi, 0x31)));
    }
  }
  for (; K < Count; ++K)
    Buf[K] += Rows[0][K] * Ws[0] + Rows[1][K] * Ws[1] + Rows[2][K] * Ws[2] + Rows[3][K] * Ws[3];
}
#endif

namespace {
bool HasAVX2() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
}  // namespace

TAccumulateRowsProc AccumulateRows = AccumulateRows_SSE2;


void HorizontalSums_Pas(const TBufferEntry* Buffer, const int32_t* Start, const int32_t* Pos, const int32_t* Weight,
                        int32_t Count, int32_t* Out) {
  for (int32_t I = 0; I < Count; ++I, Out += 4) {
    int32_t SB = 0, SG = 0, SR = 0, SA = 0;
    for (int32_t T = Start[I]; T < Start[I + 1]; ++T) {
      const TBufferEntry& E = Buffer[Pos[T]];
      const int32_t W = Weight[T];
      SB += E.B * W;
      SG += E.G * W;
      SR += E.R * W;
      SA += E.A * W;
    }
    Out[0] = SB;
    Out[1] = SG;
    Out[2] = SR;
    Out[3] = SA;
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Two taps per step: their buffer entries side by side in one register.
__attribute__((target("avx2"))) void HorizontalSums_AVX2(const TBufferEntry* Buffer, const int32_t* Start,
                                                          const int32_t* Pos, const int32_t* Weight, int32_t Count,
                                                          int32_t* Out) {
  for (int32_t I = 0; I < Count; ++I, Out += 4) {
    __m256i Acc = _mm256_setzero_si256();
    int32_t T = Start[I];
    const int32_t End = Start[I + 1];
    for (; T + 2 <= End; T += 2) {
      const __m256i E = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&Buffer[Pos[T]]))),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(&Buffer[Pos[T + 1]])), 1);
      const __m256i W = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(Weight[T])),
                                                _mm_set1_epi32(Weight[T + 1]), 1);
      Acc = _mm256_add_epi32(Acc, _mm256_mullo_epi32(E, W));
    }
    __m128i S = _mm_add_epi32(_mm256_castsi256_si128(Acc), _mm256_extracti128_si256(Acc, 1));
    if (T < End)
      S = _mm_add_epi32(S, _mm_mullo_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&Buffer[Pos[T]])),
                                           _mm_set1_epi32(Weight[T])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), S);
  }
}
#endif

THorizontalSumsProc HorizontalSums = HorizontalSums_Pas;

TBlockAverageFunc BlockAverage = BlockAverage_Pas;
TInterpolatePixelsFunc InterpolatePixels = InterpolatePixels_Pas;

void RegisterResamplerBindings() {
  static const bool Done = [] {
    TFunctionRegistry* Reg = CreateRegistry("B32_Resamplers bindings");
    Reg->AddImplementation(0, &BlockAverage_Pas);
    Reg->AddImplementation(1, &InterpolatePixels_Pas);
#if defined(__SSE2__)
    Reg->AddImplementation(0, &BlockAverage_SSE2, TCPUFeatures(1u << cfSSE2));
    Reg->AddImplementation(1, &InterpolatePixels_SSE2, TCPUFeatures(1u << cfSSE2));
#endif
    Reg->AddBinding(0, &BlockAverage);
    Reg->AddBinding(1, &InterpolatePixels);
    Reg->RebindAll();
    // The vertical pass of kernel resampling uses 256-bit registers where
    // the processor has them; both forms give the same sums.
    if (HasAVX2()) {
      AccumulateRows = AccumulateRows_AVX2;
      HorizontalSums = HorizontalSums_AVX2;
    }
    return true;
  }();
  (void)Done;
}

// ---------------------------------------------------------------------------
// Bilinear and draft resampling

namespace {

// Two-tap map of one axis: Pos is the left (upper) pixel, Weight its share.
std::vector<TPointRec> BuildBilinearMap(int32_t DstLo, int32_t DstW, int32_t ClipLo, int32_t ClipW, int32_t SrcLo,
                                        int32_t SrcW, int32_t SrcHi, int32_t SrcLimit) {
  std::vector<TPointRec> Map(static_cast<size_t>(std::max(ClipW, 0)));
  const float Scale = S(static_cast<double>(SrcW) / DstW);
  for (int32_t I = 0; I < ClipW; ++I) {
    float F = S(SrcLo + (ClipLo + I - DstLo + 0.5) * Scale - 0.5);
    F = std::clamp(F, 0.0f, static_cast<float>(SrcLimit - 1));
    const int32_t Pos = static_cast<int32_t>(Floor(F));
    const double Frac = static_cast<double>(F) - Pos;
    Map[static_cast<size_t>(I)] = {Pos, 256 - static_cast<int32_t>(Round(Frac * 256))};
  }
  // Tail fix: keep the right neighbour inside the source rectangle.
  for (int32_t I = ClipW - 1; I >= 0 && Map[static_cast<size_t>(I)].Pos == SrcHi - 1; --I)
    Map[static_cast<size_t>(I)] = {Map[static_cast<size_t>(I)].Pos - 1, 0};
  return Map;
}

}  // namespace

void StretchBilinear(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                     TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  const std::vector<TPointRec> MapX =
      BuildBilinearMap(DstRect.Left, DstRect.Width(), DstClip.Left, DstClip.Width(), SrcRect.Left, SrcRect.Width(),
                       SrcRect.Right, Src->GetWidth());
  const std::vector<TPointRec> MapY =
      BuildBilinearMap(DstRect.Top, DstRect.Height(), DstClip.Top, DstClip.Height(), SrcRect.Top,
                       SrcRect.Height(), SrcRect.Bottom, Src->GetHeight());
  const TPixelCombiner Comb(Src, CombineOp, CombineCallBack);
  const TInterpolatePixelsFunc Interp = InterpolatePixels;
  const int32_t SW = Src->GetWidth();
  for (size_t J = 0; J < MapY.size(); ++J) {
    const TColor32* Row = Src->GetScanLine(MapY[J].Pos);
    const uint32_t WY = static_cast<uint32_t>(MapY[J].Weight);
    TColor32* D = Dst->GetPixelPtr(DstClip.Left, DstClip.Top + static_cast<int32_t>(J));
    for (size_t I = 0; I < MapX.size(); ++I) {
      const TColor32* C11 = Row + MapX[I].Pos;
      Comb.Put(Interp(static_cast<uint32_t>(MapX[I].Weight), WY, C11, C11 + SW), D[I]);
    }
  }
}

void DraftResample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TCustomKernel* Kernel, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  const uint32_t SrcW = static_cast<uint32_t>(SrcRect.Width()), SrcH = static_cast<uint32_t>(SrcRect.Height());
  const uint32_t DstW = static_cast<uint32_t>(DstRect.Width()), DstH = static_cast<uint32_t>(DstRect.Height());
  if (DstW > SrcW || DstH > SrcH) {
    if (SrcW < 2 || SrcH < 2)
      SeparableResample(Dst, DstRect, DstClip, Src, SrcRect, Kernel, CombineOp, CombineCallBack);
    else
      StretchBilinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
    return;
  }
  const float ScaleX = S(static_cast<double>(SrcRect.Width()) / DstRect.Width());
  const float ScaleY = S(static_cast<double>(SrcRect.Height()) / DstRect.Height());
  const int32_t OffX = static_cast<int32_t>(Trunc(static_cast<double>(DstClip.Left - DstRect.Left) * ScaleX));
  const int32_t OffY = static_cast<int32_t>(Trunc(static_cast<double>(DstClip.Top - DstRect.Top) * ScaleY));
  const int64_t FirstX = Trunc(ScaleX), FirstY = Trunc(ScaleY);
  const int64_t StepX = Trunc(static_cast<double>(ScaleX) * 65536), StepY = Trunc(static_cast<double>(ScaleY) * 65536);
  auto Boundary = [](int64_t K, int64_t First, int64_t Step) -> int64_t {
    if (K == 0) return 0;
    if (K == 1) return First;
    return (K * Step) >> 16;
  };
  const TPixelCombiner Comb(Src, CombineOp, CombineCallBack);
  const TBlockAverageFunc Avg = BlockAverage;
  const intptr_t RowBytes = static_cast<intptr_t>(Src->GetWidth()) * 4;
  for (int32_t J = 0; J < DstClip.Height(); ++J) {
    const int64_t Y0 = Boundary(J, FirstY, StepY);
    // Single-precision scales can overshoot the rectangle by a pixel at its
    // far edge; blocks are kept inside it and never empty.
    const int32_t SY = std::min(SrcRect.Top + OffY + static_cast<int32_t>(Y0), SrcRect.Bottom - 1);
    const uint32_t BlockH = static_cast<uint32_t>(
        std::clamp<int64_t>(Boundary(J + 1, FirstY, StepY) - Y0, 1, SrcRect.Bottom - SY));
    TColor32* D = Dst->GetPixelPtr(DstClip.Left, DstClip.Top + J);
    for (int32_t I = 0; I < DstClip.Width(); ++I) {
      const int64_t X0 = Boundary(I, FirstX, StepX);
      const int32_t SX = std::min(SrcRect.Left + OffX + static_cast<int32_t>(X0), SrcRect.Right - 1);
      const uint32_t BlockW = static_cast<uint32_t>(
          std::clamp<int64_t>(Boundary(I + 1, FirstX, StepX) - X0, 1, SrcRect.Right - SX));
      Comb.Put(Avg(BlockW, BlockH, RowBytes, Src->GetPixelPtr(SX, SY)), D[I]);
    }
  }
}

// ---------------------------------------------------------------------------
// TNearestResampler

const TCustomResamplerClass& TNearestResampler::Class() {
  static const TResamplerClassOf<TNearestResampler> C("TNearestResampler");
  return C;
}

void TNearestResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                                 TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  StretchNearest(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
}

TColor32 TNearestResampler::ReadUnsafe(int32_t X, int32_t Y) { return FBitmap->GetPixel(X, Y); }
TColor32 TNearestResampler::ReadSafe(int32_t X, int32_t Y) { return FBitmap->GetPixelS(X, Y); }
TColor32 TNearestResampler::ReadWrap(int32_t X, int32_t Y) { return FBitmap->GetPixelW(X, Y); }

TColor32 TNearestResampler::GetPixelTransparentEdge(int32_t X, int32_t Y) {
  // An empty clip has no edge pixel to extend: everything lies outside it.
  if (IsRectEmpty(FClipRect)) return 0;
  const int32_t CX = std::clamp(X, FClipRect.Left, FClipRect.Right - 1);
  const int32_t CY = std::clamp(Y, FClipRect.Top, FClipRect.Bottom - 1);
  const TColor32 C = FBitmap->GetPixel(CX, CY);
  return (CX != X || CY != Y) ? (C & 0x00FFFFFFu) : C;
}

void TNearestResampler::PrepareSampling() {
  TCustomResampler::PrepareSampling();
  switch (FPixelAccessMode) {
    case pamUnsafe: FGetSampleInt = &TNearestResampler::ReadUnsafe; break;
    case pamSafe: FGetSampleInt = &TNearestResampler::ReadSafe; break;
    case pamWrap: FGetSampleInt = &TNearestResampler::ReadWrap; break;
    case pamTransparentEdge: FGetSampleInt = &TNearestResampler::GetPixelTransparentEdge; break;
  }
}

TColor32 TNearestResampler::GetSampleInt(int32_t X, int32_t Y) { return (this->*FGetSampleInt)(X, Y); }

TColor32 TNearestResampler::GetSampleFixed(TFixed X, TFixed Y) {
  return (this->*FGetSampleInt)(FixedRound(X), FixedRound(Y));
}

TColor32 TNearestResampler::GetSampleFloat(float X, float Y) {
  return (this->*FGetSampleInt)(Sat32(Round(X)), Sat32(Round(Y)));
}

// ---------------------------------------------------------------------------
// TLinearResampler and TDraftResampler

const TCustomResamplerClass& TLinearResampler::Class() {
  static const TResamplerClassOf<TLinearResampler> C("TLinearResampler");
  return C;
}

const TCustomResamplerClass& TDraftResampler::Class() {
  static const TResamplerClassOf<TDraftResampler> C("TDraftResampler");
  return C;
}

TLinearResampler::TLinearResampler() : FLinearKernel(new TLinearKernel()) {}

TLinearResampler::~TLinearResampler() { delete FLinearKernel; }

void TLinearResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  const double SrcW = SrcRect.Width(), SrcH = SrcRect.Height();
  const double DstW = DstRect.Width(), DstH = DstRect.Height();
  if (DstW > SrcW && DstH > SrcH && SrcW > 1 && SrcH > 1)
    StretchBilinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
  else
    SeparableResample(Dst, DstRect, DstClip, Src, SrcRect, FLinearKernel, CombineOp, CombineCallBack);
}

void TDraftResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                               TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  DraftResample(Dst, DstRect, DstClip, Src, SrcRect, FLinearKernel, CombineOp, CombineCallBack);
}

TColor32 TLinearResampler::ReadUnsafe(TFixed X, TFixed Y) { return FBitmap->GetPixelX(X, Y); }
TColor32 TLinearResampler::ReadSafe(TFixed X, TFixed Y) { return FBitmap->GetPixelXS(X, Y); }
TColor32 TLinearResampler::ReadWrap(TFixed X, TFixed Y) { return FBitmap->GetPixelXW(X, Y); }

TColor32 TLinearResampler::GetPixelTransparentEdge(TFixed X, TFixed Y) {
  if (IsRectEmpty(FClipRect)) return 0;
  const int32_t R = FClipRect.Right - 1, B = FClipRect.Bottom - 1;
  const int32_t I = X >> 16, J = Y >> 16;
  if (I >= FClipRect.Left && I < R && J >= FClipRect.Top && J < B)
    return FBitmap->InterpolateAt256(static_cast<int32_t>(static_cast<uint32_t>(X) >> 8),
                                     static_cast<int32_t>(static_cast<uint32_t>(Y) >> 8));
  if (I < FClipRect.Left - 1 || J < FClipRect.Top - 1 || I > R || J > B) return 0;
  auto Sign = [](int32_t V) { return (V > 0) - (V < 0); };
  const int32_t X1 = std::clamp(I, 0, R), X2 = std::clamp(I + Sign(X), 0, R);
  const int32_t Y1 = std::clamp(J, 0, B), Y2 = std::clamp(J + Sign(Y), 0, B);
  TColor32 C1 = FBitmap->GetPixel(X1, Y1), C2 = FBitmap->GetPixel(X2, Y1);
  TColor32 C3 = FBitmap->GetPixel(X1, Y2), C4 = FBitmap->GetPixel(X2, Y2);
  if (X <= static_cast<int32_t>(static_cast<uint32_t>(FClipRect.Left) << 16)) {
    C1 &= 0x00FFFFFFu;
    C3 &= 0x00FFFFFFu;
  } else if (I == R) {
    C2 &= 0x00FFFFFFu;
    C4 &= 0x00FFFFFFu;
  }
  if (Y <= static_cast<int32_t>(static_cast<uint32_t>(FClipRect.Top) << 16)) {
    C1 &= 0x00FFFFFFu;
    C2 &= 0x00FFFFFFu;
  } else if (J == B) {
    C3 &= 0x00FFFFFFu;
    C4 &= 0x00FFFFFFu;
  }
  const uint32_t WX = GammaEncodeTable[((static_cast<uint32_t>(X) >> 8) & 255) ^ 255];
  const uint32_t WY = GammaEncodeTable[((static_cast<uint32_t>(Y) >> 8) & 255) ^ 255];
  return CombineReg(CombineReg(C1, C2, WX), CombineReg(C3, C4, WX), WY);
}

void TLinearResampler::PrepareSampling() {
  TCustomResampler::PrepareSampling();
  switch (FPixelAccessMode) {
    case pamUnsafe: FGetSampleFixed = &TLinearResampler::ReadUnsafe; break;
    case pamSafe: FGetSampleFixed = &TLinearResampler::ReadSafe; break;
    case pamWrap: FGetSampleFixed = &TLinearResampler::ReadWrap; break;
    case pamTransparentEdge: FGetSampleFixed = &TLinearResampler::GetPixelTransparentEdge; break;
  }
}

TColor32 TLinearResampler::GetSampleFixed(TFixed X, TFixed Y) { return (this->*FGetSampleFixed)(X, Y); }

TColor32 TLinearResampler::GetSampleFloat(float X, float Y) {
  return (this->*FGetSampleFixed)(Sat32(Round(static_cast<double>(X) * 65536)),
                                  Sat32(Round(static_cast<double>(Y) * 65536)));
}

// ---------------------------------------------------------------------------
// TKernelResampler

const TCustomResamplerClass& TKernelResampler::Class() {
  static const TResamplerClassOf<TKernelResampler> C("TKernelResampler");
  return C;
}

TKernelResampler::TKernelResampler() : FKernel(new TBoxKernel()), FTableSize(32) {}

TKernelResampler::~TKernelResampler() { delete FKernel; }

float TKernelResampler::GetWidth() { return FKernel->GetWidth(); }

void TKernelResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  SeparableResample(Dst, DstRect, DstClip, Src, SrcRect, FKernel, CombineOp, CombineCallBack);
}

void TKernelResampler::SetKernel(TCustomKernel* Value) {
  if (!Value || Value == FKernel) return;
  delete FKernel;
  FKernel = Value;
  Changed();
}

std::string TKernelResampler::GetKernelClassName() const { return FKernel->ClassName(); }

void TKernelResampler::SetKernelClassName(const std::string& Value) {
  if (Value.empty() || Value == FKernel->ClassName()) return;
  const TKernelClass* C = KernelList()->Find(Value);
  if (!C) return;
  delete FKernel;
  FKernel = C->Create();
  Changed();
}

void TKernelResampler::SetKernelMode(TKernelMode Value) {
  if (Value != FKernelMode) {
    FKernelMode = Value;
    Changed();
  }
}

void TKernelResampler::SetTableSize(int32_t Value) {
  if (Value < 2) Value = 2;
  if (Value != FTableSize) {
    FTableSize = Value;
    Changed();
  }
}

std::vector<TPropInfo> TKernelResampler::GetPublishedProperties() const {
  std::vector<TPropInfo> P = TCustomResampler::GetPublishedProperties();
  P.push_back(TPropInfo{"KernelClassName", tkString,
                        [](const TObject* O) {
                          return TPropValue(dynamic_cast<const TKernelResampler*>(O)->GetKernelClassName());
                        },
                        [](TObject* O, const TPropValue& V) {
                          dynamic_cast<TKernelResampler*>(O)->SetKernelClassName(std::get<std::string>(V));
                        },
                        {}});
  P.push_back(TPropInfo{"Kernel", tkClass, {}, {}, [](const TObject* O) -> TPersistent* {
                          return dynamic_cast<const TKernelResampler*>(O)->GetKernel();
                        }});
  P.push_back(EnumProp("KernelMode", &TKernelResampler::GetKernelMode, &TKernelResampler::SetKernelMode,
                       kKernelModeNames));
  P.push_back(IntProp("TableSize", &TKernelResampler::GetTableSize, &TKernelResampler::SetTableSize));
  return P;
}

namespace {

// The kernel's radius in whole taps for point sampling. The weight arrays
// hold 16 taps on each side, so wider kernels are cut off there.
constexpr int32_t kMaxSampleRadius = 16;

int32_t SampleRadius(TCustomKernel* K) {
  const double W = std::ceil(static_cast<double>(K->GetWidth()));
  if (!(W > 0)) return 0;
  return static_cast<int32_t>(std::min<double>(W, kMaxSampleRadius));
}

}  // namespace

void TKernelResampler::PrepareSampling() {
  TCustomResampler::PrepareSampling();
  FOuterColor = FBitmap->GetOuterColor();
  const int32_t W = SampleRadius(FKernel);
  if (FKernelMode == kmTableNearest || FKernelMode == kmTableLinear) {
    FWeightTable = std::make_unique<TIntegerMap>(2 * W + 1, FTableSize + 1);
    for (int32_t R = 0; R <= FTableSize; ++R) {
      const float F = S(static_cast<double>(R) / (FTableSize - 1));
      int32_t* Row = FWeightTable->GetValPtr(0, R);
      int32_t Sum = 0;
      for (int32_t T = -W; T <= W; ++T) {
        Row[T + W] = static_cast<int32_t>(Round(static_cast<double>(FKernel->Filter(S(T + static_cast<double>(F)))) * 256));
        Sum += Row[T + W];
      }
      Row[W] -= Sum - 256;
    }
  }
}

void TKernelResampler::FinalizeSampling() {
  if (FKernelMode == kmTableNearest || FKernelMode == kmTableLinear) {
    FWeightTable.reset();
  }
  TCustomResampler::FinalizeSampling();
}

TColor32 TKernelResampler::GetSampleFloat(float X, float Y) {
  constexpr int32_t M = kMaxSampleRadius;
  const int32_t W = SampleRadius(FKernel);
  const int32_t X0 = Sat32(Ceil(X)), Y0 = Sat32(Ceil(Y));
  int32_t LoX = -W, HiX = W, LoY = -W, HiY = W;
  bool Clipped = false;
  const TRect& Clip = FClipRect;
  if (FPixelAccessMode == pamSafe || FPixelAccessMode == pamTransparentEdge) {
    if (X0 < Clip.Left || X0 > Clip.Right || Y0 < Clip.Top || Y0 > Clip.Bottom)
      return FPixelAccessMode == pamTransparentEdge ? 0 : FOuterColor;
    if (static_cast<int64_t>(X0) - W < Clip.Left) LoX = Clip.Left - X0;
    if (static_cast<int64_t>(X0) + W >= Clip.Right) HiX = Clip.Right - X0 - 1;
    if (static_cast<int64_t>(Y0) - W < Clip.Top) LoY = Clip.Top - Y0;
    if (static_cast<int64_t>(Y0) + W >= Clip.Bottom) HiY = Clip.Bottom - Y0 - 1;
    Clipped = LoX != -W || HiX != W || LoY != -W || HiY != W;
  }

  // Weights of taps -W..W, stored at index t + M.
  int32_t HBuf[2 * M + 1] = {}, VBuf[2 * M + 1] = {};
  int32_t* H = HBuf + M;
  int32_t* V = VBuf + M;
  const float DX = S(static_cast<double>(X0) - X), DY = S(static_cast<double>(Y0) - Y);
  auto Normalise = [W](int32_t* Wt) {
    int32_t Sum = 0;
    for (int32_t T = -W; T <= W; ++T) Sum += Wt[T];
    Wt[0] -= Sum - 256;
  };
  auto Weights = [&](float D, int32_t* Wt) {
    switch (FKernelMode) {
      case kmDynamic:
        for (int32_t T = -W; T <= W; ++T)
          Wt[T] = static_cast<int32_t>(Round(static_cast<double>(FKernel->Filter(S(T + static_cast<double>(D)))) * 256));
        Normalise(Wt);
        break;
      case kmTableNearest: {
        const int32_t* Row =
            FWeightTable->GetValPtr(0, static_cast<int32_t>(Round(static_cast<double>(D) * (FTableSize - 1))));
        for (int32_t T = -W; T <= W; ++T) Wt[T] = Row[T + W];
        break;
      }
      case kmTableLinear: {
        const int32_t P = static_cast<int32_t>(Round(static_cast<double>(D) * ((FTableSize - 1) * 65536.0)));
        const int32_t RowIdx = static_cast<int16_t>(static_cast<uint32_t>(P) >> 16);
        const int32_t Frac = P & 0xFFFF;
        const int32_t* Row = FWeightTable->GetValPtr(0, RowIdx);
        const int32_t* Next = Row + FWeightTable->GetWidth();
        for (int32_t T = -W; T <= W; ++T) {
          const int64_t Delta = static_cast<int64_t>(Next[T + W] - Row[T + W]) * Frac + 0x7FFF;
          Wt[T] = Row[T + W] + static_cast<int32_t>(Delta / 65536);
        }
        Normalise(Wt);
        break;
      }
    }
  };
  Weights(DX, H);
  Weights(DY, V);

  int64_t A = 0, R = 0, G = 0, B = 0;
  auto AddPixel = [](TColor32 C, int32_t Wt, int64_t& RA, int64_t& RR, int64_t& RG, int64_t& RB) {
    const int32_t Al = static_cast<int32_t>(C >> 24);
    if (Al == 0) return;
    int32_t Cr = (C >> 16) & 255, Cg = (C >> 8) & 255, Cb = C & 255;
    if (Al != 255) {
      Cr = Al * Cr / 255;
      Cg = Al * Cg / 255;
      Cb = Al * Cb / 255;
    }
    RA += static_cast<int64_t>(Al) * Wt;
    RR += static_cast<int64_t>(Cr) * Wt;
    RG += static_cast<int64_t>(Cg) * Wt;
    RB += static_cast<int64_t>(Cb) * Wt;
  };
  const bool Wrap = FPixelAccessMode == pamWrap;
  if (Wrap && IsRectEmpty(Clip)) return FOuterColor;
  const TWrapProc WrapX = Wrap ? WrapFunctionFor(FBitmap->GetWrapMode()) : nullptr;
  const int32_t BW = FBitmap->GetWidth();
  for (int32_t J = LoY; J <= HiY; ++J) {
    if (V[J] == 0) continue;
    int64_t RA = 0, RR = 0, RG = 0, RB = 0;
    const int32_t Yy = Wrap ? WrapX(Y0 + J, Clip.Top, Clip.Bottom - 1) : Y0 + J;
    const TColor32* Row = FBitmap->GetBits() + static_cast<intptr_t>(Yy) * BW;
    for (int32_t I = LoX; I <= HiX; ++I) {
      const int32_t Xx = Wrap ? WrapX(X0 + I, Clip.Left, Clip.Right - 1) : X0 + I;
      AddPixel(Row[Xx], H[I], RA, RR, RG, RB);
    }
    A += RA * V[J];
    R += RR * V[J];
    G += RG * V[J];
    B += RB * V[J];
  }
  if (FPixelAccessMode == pamSafe && Clipped && (FOuterColor >> 24) != 0) {
    for (int32_t J = -W; J <= W; ++J) {
      if (V[J] == 0) continue;
      int64_t RA = 0, RR = 0, RG = 0, RB = 0;
      for (int32_t I = -W; I <= W; ++I)
        if (I < LoX || I > HiX || J < LoY || J > HiY) AddPixel(FOuterColor, H[I], RA, RR, RG, RB);
      A += RA * V[J];
      R += RR * V[J];
      G += RG * V[J];
      B += RB * V[J];
    }
  }

  // The sums are 32-bit values scaled by 65536.
  auto Sixteen = [](int64_t Sum) {
    const uint32_t U = static_cast<uint32_t>(static_cast<uint32_t>(Sum) + 0x7FFFu) >> 16;
    return static_cast<int32_t>(static_cast<int16_t>(U));
  };
  const int32_t SA = Sixteen(A), SR = Sixteen(R), SG = Sixteen(G), SB = Sixteen(B);
  int32_t Ca, Cr, Cg, Cb;
  if (FKernel->RangeCheck()) {
    auto Cl = [](int32_t V) { return std::clamp(V, 0, 255); };
    Ca = Cl(SA);
    if (Ca == 255) {
      Cr = Cl(SR), Cg = Cl(SG), Cb = Cl(SB);
    } else if (Ca > 0) {
      Cr = Cl(SR * 255 / Ca), Cg = Cl(SG * 255 / Ca), Cb = Cl(SB * 255 / Ca);
    } else {
      Cr = Cg = Cb = 0;
    }
  } else {
    Ca = SA & 255;
    if (Ca == 255) {
      Cr = SR & 255, Cg = SG & 255, Cb = SB & 255;
    } else if (Ca > 0) {
      Cr = (SR * 255 / Ca) & 255, Cg = (SG * 255 / Ca) & 255, Cb = (SB * 255 / Ca) & 255;
    } else {
      Cr = Cg = Cb = 0;
    }
  }
  return static_cast<TColor32>(Ca) << 24 | static_cast<TColor32>(Cr) << 16 | static_cast<TColor32>(Cg) << 8 |
         static_cast<TColor32>(Cb);
}
