// The rules of the menu actions, headless: what each action's caption,
// shortcut, enabled state, check mark and visibility are for every state of
// the documents, the clipboard and the desktop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/KvAppUnits.h"
#include "app/KvControls.h"
#include "app/KvDest.h"
#include "app/KvPanelSections.h"
#include "app/KvTestServices.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"

namespace fs = std::filesystem;

namespace {

// What the result of the test converter holds.
struct TResultShape {
  int BitCount = 8;
  int Streams = 1;
  int Frames = 0;
};
TResultShape Shape;

class TRuleEngine : public TKvDestEngineOf<TRuleEngine> {
public:
  static std::string GetPlatformName() { return "Test"; }
  static std::string GetModeName() { return "Rules"; }
  static int GetZoomFactor() { return 2; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override {
    return std::make_unique<TKvDestEngineUIEx>(AOptions);
  }
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override {
    return TKvDestEngineOptions::Create<TKvDestEngineOptions>();
  }
  static std::unique_ptr<TKvBitmap> Convert(bool*, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                            TKvDestEngineOptions& AOptions, TKvDestProgress&,
                                            std::unique_ptr<TKvStreamList>& AStreams) {
    if (Shape.Streams > 0) AStreams = std::make_unique<TKvStreamList>();
    // Stream 0 "scr"; stream 1 "odd.ss4" with a sub-stream "eve.ss4"; stream 2 without extension.
    const char* LExtensions[] = {"scr", "odd.ss4", ""};
    for (int i = 0; i < Shape.Streams; ++i) {
      TKvStream* S = AStreams->NewStream(LExtensions[i], 4);
      if (i == 1) S->NewSubStream("eve.ss4", 4);
    }
    TKvPalette256& LPalette = *AOptions.GetPalette();
    LPalette.Clear();
    LPalette.AddRGB(0, 0, 0);
    LPalette.AddRGB(255, 255, 255);
    std::unique_ptr<TKvBitmap> LResult;
    if (Shape.BitCount > 8)
      LResult = std::make_unique<TKvBitmap24>(ABitmap.GetWidth(), ABitmap.GetHeight());
    else
      LResult = std::make_unique<TKvBitmap8>(ABitmap.GetWidth(), ABitmap.GetHeight(), &LPalette);
    for (int i = 0; i < Shape.Frames; ++i) LResult->AddFrame(&LPalette);
    return LResult;
  }
};

const TKvActionKind AllKinds[] = {
    TKvActionKind::Open,          TKvActionKind::OpenFolder,   TKvActionKind::Paste,
    TKvActionKind::Region,        TKvActionKind::Close,        TKvActionKind::BatchConvert,
    TKvActionKind::OpenPalette,   TKvActionKind::SavePalette,  TKvActionKind::DestCopy,
    TKvActionKind::DestPaste,     TKvActionKind::SaveAsBmp,    TKvActionKind::SaveAsPng,
    TKvActionKind::SaveAsGif,     TKvActionKind::SaveAsScr,    TKvActionKind::ViewZoom,
    TKvActionKind::ViewNativePAR, TKvActionKind::ViewNativeImage,
};

enum TClip { clNone, clUnreadable, clBitmap, clFiles };

// One state of the documents and the desktop.
struct TState {
  const char* Name;
  bool LinkFiles, LinkSource, LinkDest;
  bool Picture;    // the source holds a picture (the result follows from it)
  bool ListFiles;  // the file list holds files
  TResultShape Result;
  TClip Clip;
  int PaletteColors;  // -1: no palette linked
  bool Pacing;
};

const TState AllLinked{"all linked", true, true, true, false, false, {}, clNone, -1, true};

// The documents of one state; the result document goes before its timers.
struct TDocs {
  TManualTimerFactory Timers;
  TManualLauncher Workers;
  TKvSource Source;
  TKvSourceFiles Files;
  TKvDest Dest{Timers, Workers};
};

class ActionRulesTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeAppCore();
    Folder = fs::temp_directory_path() / ("kv_action_rules_" + std::to_string(::getpid()));
    fs::create_directories(Folder);
    std::ofstream(Folder / "a.bmp", std::ios::binary) << "BM";
  }
  void TearDown() override {
    D.reset();
    fs::remove_all(Folder);
  }

  // Builds the documents of AState; the rules link to them.
  void Build(const TState& AState) {
    Shape = AState.Result;
    D.reset();
    D = std::make_unique<TDocs>();
    D->Dest.SetEngine(DestEngineClass<TRuleEngine>());
    D->Dest.SetSource(&D->Source);
    D->Dest.GetOptions()->SetWidth(4);
    D->Dest.GetOptions()->SetHeight(2);
    D->Files.SetSource(&D->Source);
    if (AState.ListFiles) D->Files.OpenFolder(Folder.string());
    if (AState.Picture) {
      TnoxOfferBitmap LPicture;
      LPicture.Width = 4;
      LPicture.Height = 2;
      LPicture.Pixels.assign(8, 0xFF808080u);
      D->Source.LoadFromBitmapHandle("pic.png", LPicture);
      for (int i = 0; i < 10 && !D->Dest.GetResultBitmap(); ++i) D->Timers.Tick();
      ASSERT_NE(D->Dest.GetResultBitmap(), nullptr);
    }
    Desktop.FlickerPacing = AState.Pacing;
    const TClip LClip = AState.Clip;
    Desktop.ReadClipboard = [LClip](TnoxShellDataOffer& AOffer) {
      if (LClip == clUnreadable) return false;
      AOffer.BitmapOffered = LClip == clBitmap;
      AOffer.HasFiles = LClip == clFiles;
      if (LClip == clFiles) AOffer.Files = {"/tmp/a.png"};
      return true;
    };
    Palette.Clear();
    for (int i = 0; i < AState.PaletteColors; ++i) Palette.AddRGB(i, i, i);
  }
  void Link(TKvActionRule& ARule, const TState& AState) {
    ARule.SetDesktop(&Desktop);
    if (AState.LinkFiles) ARule.SetSourceFiles(&D->Files);
    if (AState.LinkSource) ARule.SetSource(&D->Source);
    if (AState.LinkDest) ARule.SetDest(&D->Dest);
    if (AState.PaletteColors >= 0) ARule.SetPalette(&Palette);
  }

  fs::path Folder;
  std::unique_ptr<TDocs> D;
  TKvActionDesktop Desktop;
  TKvPalette256 Palette;
};

}  // namespace

TEST_F(ActionRulesTest, EnabledFollowsTheDocumentsTheClipboardAndTheDesktop) {
  const TResultShape R8{8, 1, 0}, R24{24, 1, 0}, RNone{8, 0, 0}, RFrames{8, 1, 2};
  // Expected: one digit per action of AllKinds, in that order:
  // Open Folder Paste Region Close Batch OpenPal SavePal Copy DestPaste Bmp Png Gif Scr0 Zoom1 PAR Flicker
  struct TCase {
    TState State;
    const char* Enabled;
  };
  const TCase LCases[] = {
      {{"nothing linked", false, false, false, false, false, R8, clBitmap, -1, true}, "00000010000000000"},
      {{"empty documents", true, true, true, false, false, R8, clNone, -1, true}, "11000110000000000"},
      {{"a picture offered, no result", true, true, true, false, false, R8, clBitmap, -1, true}, "11100110000000000"},
      {{"unreadable clipboard", true, true, true, true, false, R8, clUnreadable, -1, true}, "11011110101111110"},
      {{"files offered", true, true, true, true, false, R8, clFiles, -1, true}, "11111110101111110"},
      {{"8-bit result, a picture offered", true, true, true, true, false, R8, clBitmap, 0, true},
       "11111110111111110"},
      {{"24-bit result", true, true, true, true, false, R24, clBitmap, 2, true}, "11111111111101110"},
      {{"result without files", true, true, true, true, false, RNone, clNone, 2, true}, "11011111101110110"},
      {{"flicker frames", true, true, true, true, false, RFrames, clNone, -1, true}, "11011110101111111"},
      {{"flicker frames, no pacing", true, true, true, true, false, RFrames, clNone, -1, false},
       "11011110101111110"},
      {{"a listed folder, no picture", true, true, true, false, true, R8, clNone, -1, true}, "11001110000000000"},
      {{"list and source not both linked", false, true, true, false, true, R8, clNone, -1, true},
       "10000110000000000"},
      {{"picture without a result document", false, true, false, true, false, R8, clBitmap, -1, true},
       "10101010000000000"},
      {{"result document only", false, false, true, true, false, R8, clBitmap, -1, true}, "00000110111111110"},
  };
  for (const TCase& C : LCases) {
    SCOPED_TRACE(C.State.Name);
    Build(C.State);
    std::string LGot;
    for (TKvActionKind K : AllKinds) {
      TKvActionRule LRule(K, K == TKvActionKind::ViewZoom ? 1 : 0);
      Link(LRule, C.State);
      LGot += LRule.QueryEnabled() ? '1' : '0';
    }
    EXPECT_EQ(LGot, C.Enabled);
  }
}

TEST_F(ActionRulesTest, NativeSaveItemsShowOnePerStreamWithItsExtensions) {
  Build({"three streams", true, true, true, true, false, {8, 3, 0}, clNone, -1, true});
  const char* LCaptions[] = {"Save as &SCR...", "Save as &ODD.SS4/EVE.SS4...", "Save as &RAW...", "", ""};
  for (int i = 0; i < 5; ++i) {
    TKvActionRule LRule(TKvActionKind::SaveAsScr, i);
    Link(LRule, AllLinked);
    EXPECT_EQ(LRule.QueryVisible(), i < 3) << i;
    EXPECT_EQ(LRule.QueryCaption(), LCaptions[i]) << i;
    EXPECT_EQ(LRule.GetShortCut(), i == 0 ? "Ctrl+S" : "") << i;
  }
  // Without a result every native item is hidden and has no caption.
  D->Dest.SetSource(nullptr);
  TKvActionRule LRule(TKvActionKind::SaveAsScr, 0);
  Link(LRule, AllLinked);
  EXPECT_FALSE(LRule.QueryVisible());
  EXPECT_EQ(LRule.QueryCaption(), "");
}

TEST_F(ActionRulesTest, CheckMarksFollowTheViewSettings) {
  Build({"frames", true, true, true, true, false, {8, 1, 2}, clNone, -1, true});
  std::vector<std::unique_ptr<TKvActionRule>> LZoom;
  for (int z = 1; z <= 5; ++z) {
    LZoom.push_back(std::make_unique<TKvActionRule>(TKvActionKind::ViewZoom, z));
    Link(*LZoom.back(), AllLinked);
  }
  TKvActionRule LPar(TKvActionKind::ViewNativePAR), LFlicker(TKvActionKind::ViewNativeImage);
  Link(LPar, AllLinked);
  Link(LFlicker, AllLinked);
  // The user zoom, not the engine's zoom factor (2), decides the mark.
  for (int z = 1; z <= 5; ++z) {
    D->Dest.SetUserZoom(z);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(LZoom[i]->QueryChecked(), i + 1 == z) << z << " " << i;
  }
  struct TCase { bool Square, ShowFlicker, Pacing, Par, Flicker; };
  const TCase LCases[] = {
      {true, false, true, false, false},
      {false, false, true, true, false},
      {false, true, true, true, true},
      {true, true, false, false, false},  // no pacing: the flicker display is off
  };
  for (const TCase& C : LCases) {
    D->Dest.SetSquarePixels(C.Square);
    D->Dest.SetShowFlicker(C.ShowFlicker);
    Desktop.FlickerPacing = C.Pacing;
    EXPECT_EQ(LPar.QueryChecked(), C.Par);
    EXPECT_EQ(LFlicker.QueryChecked(), C.Flicker);
  }
  for (TKvActionKind K : AllKinds) {
    const bool LView = K == TKvActionKind::ViewZoom || K == TKvActionKind::ViewNativePAR ||
                       K == TKvActionKind::ViewNativeImage;
    EXPECT_EQ(TKvActionRule(K).IsCheckable(), LView);
  }
}

TEST(KvActionRule, CaptionsAndShortcuts) {
  struct TCase { TKvActionKind Kind; int Index; const char* Caption; const char* ShortCut; bool Checkable; };
  const TCase LCases[] = {
      {TKvActionKind::Open, 0, "&Open...", "Ctrl+O", false},
      {TKvActionKind::OpenFolder, 0, "Open &folder...", "", false},
      {TKvActionKind::Paste, 0, "&Paste", "Ctrl+V", false},
      {TKvActionKind::Region, 0, "&Select region...", "Ctrl+R", false},
      {TKvActionKind::Close, 0, "&Close", "", false},
      {TKvActionKind::BatchConvert, 0, "&Batch convert...", "", false},
      {TKvActionKind::OpenPalette, 0, "&Open palette...", "", false},
      {TKvActionKind::SavePalette, 0, "&Save palette as...", "", false},
      {TKvActionKind::DestCopy, 0, "&Copy", "Ctrl+C", false},
      {TKvActionKind::DestPaste, 0, "&Paste", "Ctrl+Shift+V", false},
      {TKvActionKind::SaveAsBmp, 0, "Save as &BMP...", "Ctrl+Shift+S", false},
      {TKvActionKind::SaveAsPng, 0, "Save as &PNG...", "", false},
      {TKvActionKind::SaveAsGif, 0, "Save as &GIF...", "", false},
      {TKvActionKind::SaveAsScr, 1, "", "", false},
      {TKvActionKind::ViewZoom, 3, "Zoom x&3", "Ctrl+3", true},
      {TKvActionKind::ViewNativePAR, 0, "&Native pixel aspect ratio", "Ctrl+P", true},
      {TKvActionKind::ViewNativeImage, 0, "&Show flickering images", "Ctrl+F", true},
  };
  for (const TCase& C : LCases) {
    TKvActionRule LRule(C.Kind, C.Index);
    EXPECT_EQ(LRule.GetDefaultCaption(), C.Caption);
    EXPECT_EQ(LRule.GetShortCut(), C.ShortCut) << C.Caption;
    EXPECT_EQ(LRule.IsCheckable(), C.Checkable) << C.Caption;
  }
  EXPECT_EQ(TKvActionRule(TKvActionKind::SaveAsGif).GetExtension(), "gif");
  EXPECT_EQ(TKvActionRule(TKvActionKind::Open).GetExtension(), "");
}

TEST(KvActionRule, LinksClearWhenTheDocumentsGo) {
  InitializeAppCore();
  TManualTimerFactory LTimers;
  TManualLauncher LWorkers;
  TKvActionRule LRule(TKvActionKind::Region);
  {
    TKvSource LSource;
    TKvSourceFiles LFiles;
    TKvDest LDest(LTimers, LWorkers);
    LRule.SetSourceFiles(&LFiles);
    LRule.SetSource(&LSource);
    LRule.SetSource(&LSource);  // the same document again changes nothing
    LRule.SetDest(&LDest);
    ASSERT_EQ(LRule.GetSource(), &LSource);
  }
  EXPECT_EQ(LRule.GetSourceFiles(), nullptr);
  EXPECT_EQ(LRule.GetSource(), nullptr);
  EXPECT_EQ(LRule.GetDest(), nullptr);
  EXPECT_FALSE(LRule.QueryEnabled());
  // A rule that goes first leaves the documents without a stale client.
  TKvSource LSource;
  { TKvActionRule LShort(TKvActionKind::Open); LShort.SetSource(&LSource); }
  LSource.Close();
}

TEST(KvActionUpdater, UpdatesAtEveryIdleTickOfTheInjectedTimer) {
  TManualTimerFactory LTimers;
  int LUpdates = 0;
  {
    TKvActionUpdater LUpdater(LTimers, [&] { ++LUpdates; });
    ASSERT_EQ(LTimers.Timers.size(), 1u);
    EXPECT_EQ(LTimers.Timers[0]->Interval, TKvActionUpdater::IdleInterval);
    LTimers.Tick();
    LTimers.Tick();
    EXPECT_EQ(LUpdates, 2);
    LUpdater.SetEnabled(false);
    LTimers.Tick();
    EXPECT_EQ(LUpdates, 2);
  }
}
