#include "platforms/KvFixedPaletteSearch.h"

#include <vector>


#include "core/KvDither.h"
#include "core/KvThreadJob.h"
#include "rtl/KvSysUtils.h"

namespace {

// The picture as every trial starts from it: the linear colour and the
// linear gray of each pixel, row by row.
struct TTrialSource {
  int Width = 0;
  int Height = 0;
  std::vector<TKvLinRGBColor> Colors;
  std::vector<double> Grays;
};

// The trial can run on the compact copy when it is a plain linear-RGB dither
// with nothing left to adjust; other settings take the picture's own routines.
bool CanTryCompact(const TKvDestEngineOptions& AOptions) {
  return AOptions.ColorDiffMethod == 0 && !AOptions.UseAsGrayPalette && AOptions.LightnessFix == 0 &&
         AOptions.SaturationFix == 0;
}

void LoadTrialSource(TKvImage& AImage, TTrialSource& ASource) {
  ASource.Width = AImage.GetWidth();
  ASource.Height = AImage.GetHeight();
  const size_t n = static_cast<size_t>(ASource.Width) * static_cast<size_t>(ASource.Height);
  ASource.Colors.resize(n);
  ASource.Grays.resize(n);
  const TKvPixel* p = AImage.GetData();
  for (size_t i = 0; i < n; ++i) {
    ASource.Colors[i] = p[i].GetLinRGB();
    ASource.Grays[i] = p[i].GetLinGray();
  }
}

inline double SqrDist(const TKvLinRGBColor& a, const TKvLinRGBColor& b) {
  const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
  return dr * dr + dg * dg + db * db;
}

// The score of TKvImage::FitToPaletteGray and TKvImage::DitherToPalette on a
// copy of the picture, step for step the same arithmetic on linear colours
// only, so the same score to the last bit at a fraction of the memory
// traffic.
double CompactTrial(bool* AAbort, const TTrialSource& ASource, std::vector<TKvLinRGBColor>& AWork,
                    TKvPalette256& APalette, const TKvDestEngineOptions& AOptions) {
  double mx = 0, mn = 1;
  for (int i = 0; i < APalette.GetCount(); ++i) {
    const PKvColor e = APalette.GetPColor(i);
    if (e->Skip) continue;
    const double g = e->GetLinGray();
    if (g > mx) mx = g;
    if (g < mn) mn = g;
  }
  const size_t n = ASource.Colors.size();
  AWork.resize(n);
  for (size_t i = 0; i < n; ++i) {
    TKvLinRGBColor v = ASource.Colors[i];
    const double g = ASource.Grays[i];
    if (g > mx) {
      const double f = mx / g;
      v.R *= f;
      v.G *= f;
      v.B *= f;
    } else if (g < mn) {
      const double d = (1 - mn) / (1 - g);
      v.R = 1 - (1 - v.R) * d;
      v.G = 1 - (1 - v.G) * d;
      v.B = 1 - (1 - v.B) * d;
    }
    AWork[i] = v;
  }
  // The candidate's colours side by side; the search below is the
  // palette's own nearest-colour rule (least squared distance, the first on
  // ties) on them.
  std::vector<TKvLinRGBColor> LColors(static_cast<size_t>(APalette.GetCount()));
  for (int i = 0; i < APalette.GetCount(); ++i) LColors[static_cast<size_t>(i)] = APalette.GetLinRGB(i);
  if (LColors.empty()) RaiseInternalError();
  const TKvLinRGBColor* const LFirst = LColors.data();
  const TKvLinRGBColor* const LEnd = LFirst + LColors.size();
  const int W = ASource.Width, H = ASource.Height;
  const uint8_t LMethod = AOptions.DitherMethod;
  const bool LSerpentine = AOptions.Serpentine;
  const double LStrength = AOptions.ErrorDiffusion / 100.0;
  double LError = 0;
  bool LMirror = false;
  for (int y = 0; y < H; ++y) {
    TKvLinRGBColor* LRow = AWork.data() + static_cast<size_t>(y) * W;
    for (int x = 0; x < W; ++x) {
      if (Aborted(AAbort)) Abort();
      TKvLinRGBColor& px = LRow[LMirror ? W - 1 - x : x];
      const TKvLinRGBColor old = px;
      const TKvLinRGBColor* LBest = LFirst;
      double LBestD = SqrDist(*LFirst, old);
      for (const TKvLinRGBColor* q = LFirst + 1; q != LEnd; ++q) {
        const double d = SqrDist(*q, old);
        if (d < LBestD) {
          LBestD = d;
          LBest = q;
        }
      }
      const TKvLinRGBColor c = *LBest;
      const double dr = old.R - c.R, dg = old.G - c.G, db = old.B - c.B;
      LError += dr * dr;
      LError += dg * dg;
      LError += db * db;
      px = c;
      const TKvLinRGBColor e{(old.R - c.R) * LStrength, (old.G - c.G) * LStrength, (old.B - c.B) * LStrength};
      ForEachDitherTap(LMethod, x, y, W, H, [&](int nx, int ny, auto share) {
        TKvLinRGBColor& p = AWork[static_cast<size_t>(ny) * W + (LMirror ? W - 1 - nx : nx)];
        p.R += share(e.R);
        p.G += share(e.G);
        p.B += share(e.B);
      });
    }
    if (LSerpentine) LMirror = !LMirror;
  }
  return LError;
}

}  // namespace

int TryFixedPalettes(bool* AAbort, TKvImage& AImage, int AFirst, int ALast,
                     const TKvFixedPaletteCandidates& ACandidates,
                     TKvDestEngineOptions& AOptions, TKvPalette256& APalette, double& AError) {
  const bool LCompact = CanTryCompact(AOptions) && ALast >= AFirst;
  TTrialSource LSource;
  std::vector<TKvLinRGBColor> LWork;
  if (LCompact) LoadTrialSource(AImage, LSource);
  int LBest = ACandidates.NoneValue;
  double LBestError = 0;
  for (int k = AFirst; k <= ALast; ++k) {
    ACandidates.Build(k, APalette);
    double LError;
    if (LCompact) {
      LError = CompactTrial(AAbort, LSource, LWork, APalette, AOptions);
    } else {
      TKvImage LCopy(AImage);
      LCopy.FitToPaletteGray(APalette);
      LCopy.DitherToPalette(AAbort, AOptions, APalette, false);
      LError = LCopy.GetErrorTotal();
    }
    if (ACandidates.Progress) ACandidates.Progress->IncProgress();
    if (LBest == ACandidates.NoneValue || LBestError > LError) {
      LBest = k;
      LBestError = LError;
    }
  }
  AError = LBestError;
  return LBest;
}

int FindFixedPalette(bool* AAbort, TKvImage& AImage, const TKvFixedPaletteCandidates& ACandidates,
                     TKvDestEngineOptions& AOptions) {
  double LError = 0;
  return TryFixedPalettes(AAbort, AImage, 1, ACandidates.Count, ACandidates, AOptions, *AOptions.GetPalette(), LError);
}

namespace {

// One chunk of candidates, with a scratch palette of its own.
class TKvFixedPaletteJob : public TKvJob {
public:
  TKvFixedPaletteJob(TKvJobList* AList, int AFirst, int ALast, bool* AAbort, TKvImage& AImage,
                     const TKvFixedPaletteCandidates& ACandidates, TKvDestEngineOptions& AOptions)
      : TKvJob(AList),
        First(AFirst),
        Last(ALast),
        Abort(AAbort),
        Image(AImage),
        Candidates(ACandidates),
        Options(AOptions) {}
  void Execute() override {
    Result = TryFixedPalettes(Abort, Image, First, Last, Candidates, Options, Palette, Error);
  }

  int First, Last;
  bool* Abort;
  TKvImage& Image;
  const TKvFixedPaletteCandidates& Candidates;
  TKvDestEngineOptions& Options;
  TKvPalette256 Palette;
  double Error = 0;
  int Result = 0;
};

}  // namespace

int FindFixedPaletteByJobs(bool* AAbort, TKvImage& AImage, const TKvFixedPaletteCandidates& ACandidates,
                           TKvDestEngineOptions& AOptions) {
  TKvRangeSplitter LSplitter;
  LSplitter.Init(ACandidates.Count, 1);
  TKvJobList LJobs;
  int LFirst = 0, LLast = 0;
  while (LSplitter.Next(LFirst, LLast))
    new TKvFixedPaletteJob(&LJobs, LFirst, LLast, AAbort, AImage, ACandidates, AOptions);
  // A job that failed makes Run raise its exception: no partial answer.
  LJobs.Run(AAbort);
  int LBest = ACandidates.NoneValue;
  double LBestError = 0;
  for (int i = 0; i < LJobs.GetCount(); ++i) {
    auto* LJob = static_cast<TKvFixedPaletteJob*>(LJobs.GetJob(i));
    if (LJob->Result == ACandidates.NoneValue) continue;
    if (LBest == ACandidates.NoneValue || LBestError > LJob->Error) {
      LBest = LJob->Result;
      LBestError = LJob->Error;
    }
  }
  return LBest;
}

int SearchFixedPalette(bool* AAbort, TKvImage& AImage, const TKvFixedPaletteCandidates& ACandidates,
                       TKvDestEngineOptions& AOptions) {
  if (ProcessorCount < 2) return FindFixedPalette(AAbort, AImage, ACandidates, AOptions);
  return FindFixedPaletteByJobs(AAbort, AImage, ACandidates, AOptions);
}
