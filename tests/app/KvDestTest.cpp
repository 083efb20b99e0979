#include "app/KvDest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/KvAppUnits.h"
#include "app/KvPanelSections.h"
#include "app/KvTestServices.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestProgress.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"

namespace {

// What the test engine does in Convert.
struct TEngineScript {
  int Calls = 0;
  bool Throw = false;           // write a stream, then fail
  bool WaitForAbort = false;    // raise the silent abort when the flag is set
  bool SawAbort = false;
  int Total = 0, Done = 0;      // progress to report
  int LastWidth = 0, LastHeight = 0;
  uint32_t LastPixel = 0;
  int LastDitherMethod = -1;
};
TEngineScript Script;

class TTestEngine : public TKvDestEngineOf<TTestEngine> {
public:
  static std::string GetPlatformName() { return "Test"; }
  static std::string GetModeName() { return "Mode"; }
  static int GetZoomFactor() { return 2; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override {
    return std::make_unique<TKvDestEngineUIEx>(AOptions);
  }
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override {
    auto LOptions = TKvDestEngineOptions::Create<TKvDestEngineOptions>();
    return LOptions;
  }
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                            TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                            std::unique_ptr<TKvStreamList>& AStreams) {
    ++Script.Calls;
    Script.LastWidth = ABitmap.GetWidth();
    Script.LastHeight = ABitmap.GetHeight();
    Script.LastPixel = ABitmap.GetPixel(0, 0);
    Script.LastDitherMethod = AOptions.DitherMethod;
    AProgress.SetProgress(Script.Total, Script.Done);
    AStreams = std::make_unique<TKvStreamList>();
    AStreams->NewStream("scr", 16);
    if (Script.Throw) throw Exception("converter failed");
    if (Script.WaitForAbort && *AAbort) {
      Script.SawAbort = true;
      Abort();
    }
    TKvPalette256& LPalette = *AOptions.GetPalette();
    LPalette.Clear();
    LPalette.AddRGB(0, 0, 0);
    LPalette.AddRGB(255, 255, 255);
    AOptions.PaletteIndex = 7;
    auto LResult = std::make_unique<TKvBitmap8>(ABitmap.GetWidth(), ABitmap.GetHeight(), &LPalette);
    LResult->SetPixel(0, 0, 1);
    return LResult;
  }
};

struct TNotice {
  std::string Kind;
  bool Busy = false;
  TBitmap32* Picture = nullptr;
  int A = 0, B = 0;
};

class TDestClient : public TObject, public IKvDestClient, public IKvDestProgressClient {
public:
  void FittedChanged(int AZoom, TBitmap32* AFitted, bool ABusy) override {
    Notices.push_back({"Fitted", ABusy, AFitted, AZoom, 0});
  }
  void ResultChanged(const TKvSize& APixelAspect, int AZoom, TBitmap32* AResult, TKvBitmapList*, bool ABusy) override {
    Notices.push_back({"Result", ABusy, AResult, AZoom, APixelAspect.Width * 100 + APixelAspect.Height});
  }
  void ResultPaletteChanged(TKvPalette256* APalette, int AValue, int) override {
    Notices.push_back({"Palette", false, nullptr, APalette ? APalette->Count : -1, AValue});
  }
  void ProgressChanged(int AMax, int APosition) override { Notices.push_back({"Progress", false, nullptr, AMax, APosition}); }
  std::string Kinds() const {
    std::string LText;
    for (const TNotice& N : Notices) LText += N.Kind + (N.Busy ? "*" : "") + " ";
    return LText;
  }
  std::vector<TNotice> Notices;
};

// A source document with a 4 x 2 picture, red on the left and blue on the right.
class TDestTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeAppCore();
    Script = TEngineScript{};
    Picture.Width = 4;
    Picture.Height = 2;
    Picture.Pixels = {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF};
  }
  TnoxOfferBitmap Picture;
  TManualTimerFactory Timers;
  TManualLauncher Workers;
};

}  // namespace

TEST(KvDestResizeJob, PlacesThePictureByModeAndAspect) {
  InitializeAppCore();
  TBitmap32 LSource(40, 20);
  LSource.Clear(0xFF00FF00);
  struct Case { uint8_t Position; TKvSize Aspect; int W, H; TRect Fitted; TKvSize Display; TRect DisplayRect; };
  const Case LCases[] = {
      {0, {1, 1}, 20, 20, {0, 5, 20, 15}, {0, 0}, {0, 5, 20, 15}},
      {1, {1, 1}, 20, 20, {-10, 0, 30, 20}, {0, 0}, {-10, 0, 30, 20}},
      {2, {1, 1}, 10, 30, {0, 0, 10, 30}, {0, 0}, {0, 0, 10, 30}},
      {3, {1, 1}, 20, 10, {-10, -5, 30, 15}, {0, 0}, {-10, -5, 30, 15}},
      // "2:1": squeezed to half width; the display picture is twice as wide.
      {0, {1, 2}, 20, 20, {0, 0, 20, 20}, {40, 20}, {0, 0, 40, 20}},
      // "1:2.4": the height scaled to 5/12; the display picture 12/5 as tall.
      {3, {12, 5}, 40, 10, {0, 1, 40, 9}, {40, 24}, {0, 2, 40, 22}},
  };
  for (const Case& C : LCases) {
    TKvDestResizeJob LJob(LSource, C.W, C.H, C.Aspect, C.Position, true);
    LJob.Run();
    ASSERT_TRUE(LJob.Fitted);
    EXPECT_EQ(LJob.Fitted->GetWidth(), C.W);
    EXPECT_EQ(LJob.FittedRect, C.Fitted) << int(C.Position) << " " << C.Aspect.Width << ":" << C.Aspect.Height;
    EXPECT_EQ(LJob.DisplayRect, C.DisplayRect) << int(C.Position);
    if (C.Display.Width == 0) {
      EXPECT_FALSE(LJob.FittedDisplay);
    } else {
      ASSERT_TRUE(LJob.FittedDisplay);
      EXPECT_EQ(LJob.FittedDisplay->GetWidth(), C.Display.Width);
      EXPECT_EQ(LJob.FittedDisplay->GetHeight(), C.Display.Height);
    }
  }
  // The same size and the whole rectangle copy the picture unchanged.
  LSource.GetBits()[3] = 0xFF123456;
  TKvDestResizeJob LCopy(LSource, 40, 20, {1, 1}, 2, false);
  LCopy.Run();
  EXPECT_EQ(LCopy.Fitted->GetBits()[3], 0xFF123456u);
  // A source without width gives an empty rectangle on white.
  TBitmap32 LEmpty(0, 5);
  TKvDestResizeJob LNone(LEmpty, 8, 8, {1, 1}, 0, false);
  LNone.Run();
  EXPECT_EQ(LNone.FittedRect.Width(), 0);
  EXPECT_EQ(LNone.Fitted->GetPixel(4, 4), 0xFFFFFFFFu);
}

TEST(KvDestResizeJob, FillOutsideRectPaintsTheBorder) {
  TBitmap32 LBitmap(4, 3);
  LBitmap.Clear(0xFFFFFFFF);
  EXPECT_TRUE(FillOutsideRect(LBitmap, Rect(1, 1, 3, 2), 0x00FF00));
  EXPECT_EQ(LBitmap.GetPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(LBitmap.GetPixel(3, 2), 0xFF00FF00u);
  EXPECT_EQ(LBitmap.GetPixel(1, 1), 0xFFFFFFFFu);
  EXPECT_FALSE(FillOutsideRect(LBitmap, Rect(-2, -1, 5, 4), 0x0000FF));
  EXPECT_EQ(LBitmap.GetPixel(0, 0), 0xFF00FF00u);
}

TEST_F(TDestTest, FitsConvertsAndTellsInOrder) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  TDestClient LClient;
  LDest.AddClient(&LClient);
  ASSERT_EQ(LClient.Kinds(), "Result ");  // the first notice carries no picture
  EXPECT_EQ(LClient.Notices[0].Picture, nullptr);
  LClient.Notices.clear();

  LDest.SetEngine(DestEngineClass<TTestEngine>());
  EXPECT_EQ(LDest.GetZoomFactor(), 2);
  LDest.SetSource(&LSource);
  Workers.Hold = true;
  LSource.LoadFromBitmapHandle("Unnamed", Picture);
  EXPECT_TRUE(LDest.IsFitting());
  LDest.GetOptions()->SetWidth(4);
  LDest.GetOptions()->SetHeight(2);
  LDest.Invalidate(false);
  Workers.FinishNext();  // the fit of the stale size
  Timers.Tick();
  EXPECT_FALSE(LDest.GetFitted());
  Workers.FinishNext();  // the current fit
  Timers.Tick();
  ASSERT_TRUE(LDest.GetFitted());
  EXPECT_EQ(LDest.GetZoom(), 2);
  EXPECT_TRUE(LDest.IsConverting());
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_FALSE(LDest.IsConverting());
  EXPECT_EQ(Timers.EnabledCount(), 0);

  ASSERT_TRUE(LDest.GetPreview());
  EXPECT_EQ(LDest.GetPreview()->GetPixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(LDest.GetPreview()->GetPixel(1, 0), 0xFF000000u);
  EXPECT_EQ(Script.LastWidth, 4);
  EXPECT_EQ(Script.LastPixel, 0xFFFF0000u);
  EXPECT_EQ(LDest.GetResultPalette()->Count, 2);
  ASSERT_TRUE(LDest.GetStreams());
  EXPECT_EQ(LDest.GetStreams()->GetCount(), 1);
  // After the busy notices: the fit, then the result, then its palette.
  const std::string LKinds = LClient.Kinds();
  EXPECT_EQ(LKinds.substr(LKinds.size() - std::string("Fitted Result Palette ").size()), "Fitted Result Palette ");
  EXPECT_EQ(LClient.Notices.back().A, 2);
  EXPECT_EQ(LClient.Notices.back().B, 7);
  EXPECT_EQ(LClient.Notices[LClient.Notices.size() - 2].Picture, LDest.GetPreview());

  // Zoom 0 is stored as 1 (times the mode's zoom factor).
  LDest.SetUserZoom(0);
  EXPECT_EQ(LDest.GetZoom(), 2);
  LDest.SetUserZoom(3);
  EXPECT_EQ(LDest.GetZoom(), 6);
  LDest.RemoveClient(&LClient);
}

TEST_F(TDestTest, StaleGenerationsAreDroppedAndCancelsEndSilently) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  LDest.SetEngine(DestEngineClass<TTestEngine>());
  LDest.GetOptions()->SetWidth(4);
  LDest.GetOptions()->SetHeight(2);
  LDest.SetSource(&LSource);
  TDestClient LClient;
  LDest.AddClient(&LClient);
  Workers.Hold = true;
  LSource.LoadFromBitmapHandle("Unnamed", Picture);

  // A source change while the fit runs: the finished fit is stale.
  Picture.Pixels[0] = 0xFF00FF00;
  LSource.LoadFromBitmapHandle("Unnamed", Picture);
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_FALSE(LDest.GetFitted());
  EXPECT_TRUE(LDest.IsFitting());
  Workers.FinishNext();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetFitted());

  // An options change while converting: the running conversion is cancelled
  // and its silent abort leaves nothing behind.
  Script.WaitForAbort = true;
  ASSERT_TRUE(LDest.IsConverting());
  LDest.GetOptions()->SetPaletteIndex(3);
  LDest.Invalidate(false);
  EXPECT_TRUE(LDest.IsConverting());  // the cancelled one is still running
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_TRUE(Script.SawAbort);
  EXPECT_FALSE(LDest.GetPreview());
  EXPECT_TRUE(LDest.IsConverting());  // the next conversion started once the old one ended
  Script.WaitForAbort = false;
  Workers.FinishNext();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetPreview());
  EXPECT_EQ(Script.LastPixel, 0xFF00FF00u);
  EXPECT_EQ(Script.Calls, 2);

  // A border colour change during a conversion discards that result.
  LDest.Invalidate(false);
  LDest.SetBorderColor(0x123456);
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_FALSE(LDest.GetPreview());
  LDest.RemoveClient(&LClient);
}

TEST(TDestProgress, RoutinesReportOnlyWhereTheConverterDoesNot) {
  TKvDestProgress LProgress;
  int32_t LTotal = 0, LDone = 0;
  {
    TKvRoutineProgress LOutside(8);  // no conversion runs on this thread
    LOutside.Step(2);
  }
  LProgress.GetProgress(LTotal, LDone);
  EXPECT_EQ(std::make_pair(LTotal, LDone), std::make_pair(0, 0));
  const TKvDestProgressScope LScope(&LProgress);
  // A routine reports into a fresh progress, and the next routine takes over.
  TKvRoutineProgress LFirst(10);
  LFirst.Step(3);
  LProgress.GetProgress(LTotal, LDone);
  EXPECT_EQ(std::make_pair(LTotal, LDone), std::make_pair(10, 3));
  TKvRoutineProgress LSecond(4);
  LSecond.Step(1);
  LProgress.GetProgress(LTotal, LDone);
  EXPECT_EQ(std::make_pair(LTotal, LDone), std::make_pair(4, 1));
  // Once the converter counts its own steps, routines leave them alone.
  for (const bool LIncrement : {false, true}) {
    if (LIncrement) {
      LProgress.SetProgress(0, 0);
      TKvRoutineProgress(6).Step(5);
      LProgress.IncProgress();
    } else {
      LProgress.SetProgress(7, 2);
    }
    TKvRoutineProgress LLater(9);
    LLater.Step(8);
    LProgress.GetProgress(LTotal, LDone);
    EXPECT_EQ(std::make_pair(LTotal, LDone), LIncrement ? std::make_pair(0, 1) : std::make_pair(7, 2));
  }
}

TEST_F(TDestTest, ProgressAndFailures) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  std::vector<std::string> LErrors;
  LDest.SetOnError([&](std::exception_ptr E) {
    try {
      std::rethrow_exception(E);
    } catch (const Exception& X) {
      LErrors.push_back(X.Message());
    }
  });
  LDest.SetEngine(DestEngineClass<TTestEngine>());
  LDest.GetOptions()->SetWidth(4);
  LDest.GetOptions()->SetHeight(2);
  LDest.SetSource(&LSource);
  TDestClient LClient;
  LDest.AddClient(&LClient);
  Workers.Hold = true;
  LSource.LoadFromBitmapHandle("Unnamed", Picture);

  // A fit that yields no picture is reported once and not tried again.
  Workers.FinishNext(false);
  Timers.Tick();
  EXPECT_FALSE(LDest.GetFitted());
  EXPECT_FALSE(LDest.IsFitting());
  ASSERT_EQ(LErrors.size(), 1u);
  Timers.Tick();
  EXPECT_EQ(Workers.LaunchCount, 1);
  // The next change tries again.
  LDest.Invalidate(false);
  EXPECT_TRUE(LDest.IsFitting());
  Workers.FinishNext();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetFitted());

  // Progress goes out while the converter runs, total first.
  Script.Total = 10;
  Script.Done = 3;
  Workers.Last()->Run();
  LClient.Notices.clear();
  Timers.Tick();
  ASSERT_EQ(LClient.Kinds(), "Progress ");
  EXPECT_EQ(LClient.Notices[0].A, 10);
  EXPECT_EQ(LClient.Notices[0].B, 3);
  Timers.Tick();
  EXPECT_EQ(LClient.Notices.size(), 1u);  // unchanged progress says nothing
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_TRUE(LDest.GetPreview());

  // A failed conversion leaves an empty preview and no files to save.
  Script.Throw = true;
  LDest.Invalidate(false);
  Workers.FinishNext();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetPreview());
  EXPECT_EQ(LDest.GetPreview()->GetWidth(), 0);
  EXPECT_FALSE(LDest.GetStreams());
  EXPECT_FALSE(LDest.GetResultBitmap());
  EXPECT_FALSE(LDest.IsConverting());
  LDest.RemoveClient(&LClient);
}

TEST_F(TDestTest, PastedPicturesAreReencoded) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  LDest.SetSource(&LSource);
  LSource.LoadFromBitmapHandle("Unnamed", Picture);
  LDest.SetEngine(DestEngineClass<TTestEngine>());
  Timers.Tick();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetPreview());
  EXPECT_EQ(Script.LastDitherMethod, 1);
  const int LCalls = Script.Calls;

  auto Offer = [](int AWidth, int AHeight, uint32_t AColor) {
    auto LBitmap = std::make_shared<TnoxOfferBitmap>();
    LBitmap->Width = AWidth;
    LBitmap->Height = AHeight;
    LBitmap->Pixels.assign(static_cast<size_t>(AWidth) * AHeight, AColor);
    TnoxShellDataOffer LOffer;
    LOffer.Bitmap = LBitmap;
    return LOffer;
  };
  EXPECT_FALSE(TKvDest::CanPaste(TnoxShellDataOffer{}));
  LDest.PasteResult(Offer(5, 2, 0xFF00FF00));  // any other size is ignored
  EXPECT_EQ(Script.Calls, LCalls);
  EXPECT_TRUE(LDest.GetPreview());

  LDest.PasteResult(Offer(4, 2, 0xFF00FF00));
  EXPECT_EQ(Script.Calls, LCalls + 1);
  EXPECT_EQ(Script.LastPixel, 0xFF00FF00u);
  EXPECT_EQ(Script.LastDitherMethod, 0);  // no new dithering
  Timers.Tick();
  ASSERT_TRUE(LDest.GetPreview());

  // Twice the fitted size is halved in linear light: black and white give
  // the sRGB value of linear 0.5.
  auto LDouble = Offer(8, 4, 0xFF000000);
  auto* LPixels = const_cast<TnoxOfferBitmap*>(LDouble.Bitmap.get());
  LPixels->Pixels[0] = LPixels->Pixels[9] = 0xFFFFFFFF;
  LDest.PasteResult(LDouble);
  EXPECT_EQ(Script.LastWidth, 4);
  EXPECT_EQ(Script.LastPixel, 0xFFBCBCBCu);
  Timers.Tick();
  // Ignored while a stage runs.
  Workers.Hold = true;
  LDest.Invalidate(false);
  const int LBefore = Script.Calls;
  LDest.PasteResult(Offer(4, 2, 0xFF00FF00));
  EXPECT_EQ(Workers.LaunchCount, 5);
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_EQ(Script.Calls, LBefore + 1);
}

TEST_F(TDestTest, RunsOnRealThreads) {
  TKvThreadWorkerLauncher LThreads;
  std::atomic<int> LRan{0};
  auto LWorker = LThreads.Launch([&] { ++LRan; });
  LWorker->WaitFor();
  EXPECT_TRUE(LWorker->Finished());
  EXPECT_EQ(LRan.load(), 1);

  // Both stages on worker threads; the test waits for each worker to end
  // and then fires the timers.
  TKvSource LSource;
  TKvDest LDest(Timers, LThreads);
  LDest.SetSource(&LSource);
  LSource.LoadFromBitmapHandle("Unnamed", Picture);
  LDest.SetEngine(DestEngineClass<TTestEngine>());
  // Poll as the program's timers do, with a guard against a hang.
  const auto LGiveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!LDest.GetPreview() && std::chrono::steady_clock::now() < LGiveUp) {
    Timers.Tick();
    std::this_thread::yield();
  }
  ASSERT_TRUE(LDest.GetPreview());
  EXPECT_EQ(LDest.GetPreview()->GetWidth(), 4);
}

TEST_F(TDestTest, LinksClearWhenEitherSideGoes) {
  class TLinkedView : public TObject, public IKvFreeNotification {
  public:
    void FreeNotification(TObject* AComponent) override {
      if (AComponent == Dest) Dest = nullptr;
    }
    TKvDest* Dest = nullptr;
  };
  TLinkedView LView;
  auto LSource = std::make_unique<TKvSource>();
  {
    TKvDest LDest(Timers, Workers);
    LView.Dest = &LDest;
    LDest.AddClient(&LView);
    LDest.SetSource(LSource.get());
    LSource.reset();  // the source goes first: the document unlinks
    EXPECT_EQ(LDest.GetSource(), nullptr);
  }
  EXPECT_EQ(LView.Dest, nullptr);
}

TEST_F(TDestTest, APlacementChosenWhileFittingFitsAgain) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  LDest.SetEngine(DestEngineClass<TTestEngine>());
  LDest.GetOptions()->SetWidth(4);
  LDest.GetOptions()->SetHeight(4);
  LDest.SetSource(&LSource);
  Workers.Hold = true;
  LSource.LoadFromBitmapHandle("Unnamed", Picture);
  ASSERT_TRUE(LDest.IsFitting());
  ASSERT_EQ(LDest.GetOptions()->Position, 1);
  // The panel's check: the placement differs from the last fit's, so the
  // fit is dropped and the result invalidated; the running fit is older.
  LDest.GetOptions()->SetPosition(2);
  if (LDest.GetPosition() != LDest.GetOptions()->Position) LDest.DropFitted();
  LDest.Invalidate(false);
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_TRUE(LDest.IsFitting());
  EXPECT_FALSE(LDest.IsConverting());
  Workers.FinishNext();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetFitted());
  EXPECT_EQ(LDest.GetPosition(), 2);
}

TEST_F(TDestTest, AWorkerThatCannotStartLeavesNoStageBehind) {
  class TRefusingLauncher : public TKvWorkerLauncher {
  public:
    explicit TRefusingLauncher(TManualLauncher& AInner) : Inner(AInner) {}
    std::unique_ptr<TKvWorker> Launch(std::function<void()> AJob) override {
      if (Refuse) throw EOSError(11, "Cannot create a thread");
      return Inner.Launch(std::move(AJob));
    }
    TManualLauncher& Inner;
    bool Refuse = false;
  };
  TRefusingLauncher LLauncher(Workers);
  TKvSource LSource;
  LSource.LoadFromBitmapHandle("Unnamed", Picture);
  TKvDest LDest(Timers, LLauncher);
  LDest.SetSource(&LSource);
  Workers.Hold = true;
  LLauncher.Refuse = true;
  EXPECT_THROW(LDest.SetEngine(DestEngineClass<TTestEngine>()), EOSError);
  EXPECT_FALSE(LDest.IsFitting());
  Timers.Tick();
  LLauncher.Refuse = false;
  LDest.Invalidate(false);
  ASSERT_TRUE(LDest.IsFitting());
  Workers.FinishNext();
  LLauncher.Refuse = true;
  EXPECT_THROW(Timers.Tick(), EOSError);  // the fit is taken, the conversion cannot start
  ASSERT_TRUE(LDest.GetFitted());
  EXPECT_FALSE(LDest.IsConverting());
  Timers.Tick();
  LLauncher.Refuse = false;
  LDest.Invalidate(false);
  ASSERT_TRUE(LDest.IsConverting());
  Workers.FinishNext();
  Timers.Tick();
  EXPECT_TRUE(LDest.GetPreview());
}
