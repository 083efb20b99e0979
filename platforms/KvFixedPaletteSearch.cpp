#include "platforms/KvFixedPaletteSearch.h"

#include "core/KvThreadJob.h"

int TryFixedPalettes(bool* AAbort, TKvImage& AImage, int AFirst, int ALast, const TKvFixedPaletteCandidates& ACandidates,
                     TKvDestEngineOptions& AOptions, TKvPalette256& APalette, double& AError) {
  int LBest = ACandidates.NoneValue;
  double LBestError = 0;
  for (int k = AFirst; k <= ALast; ++k) {
    ACandidates.Build(k, APalette);
    TKvImage LCopy(AImage);
    LCopy.FitToPaletteGray(APalette);
    LCopy.DitherToPalette(AAbort, AOptions, APalette, false);
    const double LError = LCopy.GetErrorTotal();
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
