#include "app/KvSavePlatformCommon.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "app/KvAppUnits.h"
#include "app/KvControls.h"
#include "app/KvDest.h"
#include "app/KvGraphics.h"
#include "app/KvTestServices.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestProgress.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "core/KvStream.h"

namespace fs = std::filesystem;

namespace {

// Black, white, yellow and blue: two dark and two light colours, all of them
// exact in a 1-bit-per-channel palette.
const std::vector<uint32_t> SourceColors = {0x000000, 0xFFFFFF, 0xFFFF00, 0x0000FF};
constexpr int W = 8, H = 4;

uint8_t SourceIndex(int x, int y) { return static_cast<uint8_t>((x / 2 + y) % 4); }

const TKvDestEngineClass& ModeClass(const std::string& AMode) {
  const int LPlatform = DestEngineList().IndexOf("Common");
  TKvDestSubTypes& LModes = DestEngineList().GetSubTypes(LPlatform);
  return *LModes.GetObject(LModes.IndexOf(AMode));
}

class TRecorder : public TObject, public IKvDestClient {
public:
  void FittedChanged(int, TBitmap32*, bool ABusy) override { Kinds += ABusy ? "F* " : "F "; }
  void ResultChanged(const TKvSize&, int, TBitmap32* AResult, TKvBitmapList*, bool ABusy) override {
    Kinds += ABusy ? "R* " : (AResult ? "R " : "R0 ");
  }
  void ResultPaletteChanged(TKvPalette256* APalette, int, int) override {
    Kinds += "P ";
    PaletteCount = APalette->Count;
  }
  std::string Kinds;
  int PaletteCount = -1;
};

class TCommonTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeAppCore();
    Folder = fs::temp_directory_path() / ("kvcommon_" + std::to_string(::getpid()));
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    std::vector<uint8_t> LIndexes(W * H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) LIndexes[y * W + x] = SourceIndex(x, y);
    PngName = (Folder / "source.png").string();
    WriteIndexedPng(PngName, W, H, SourceColors, LIndexes);
  }
  void TearDown() override { fs::remove_all(Folder); }

  // Opens the PNG, chooses the mode and runs both stages under hand-fired
  // timers, holding each worker until the test lets it go.
  void Run(TKvDest& ADest, TKvSource& ASource, const std::string& AMode,
           const std::function<void(TKvDestEngineOptions&)>& ASetOptions) {
    Workers.Hold = true;
    ADest.SetSource(&ASource);
    ASource.LoadFromFile(PngName);
    ADest.SetEngine(ModeClass(AMode));
    ASetOptions(*ADest.GetOptions());
    ADest.Invalidate(false);
    ASSERT_TRUE(ADest.IsFitting());
    Workers.FinishNext();
    Timers.Tick();
    ASSERT_TRUE(ADest.GetFitted());
    ASSERT_TRUE(ADest.IsConverting());
    Workers.FinishNext();
    Timers.Tick();
    ASSERT_FALSE(ADest.IsConverting());
    ASSERT_TRUE(ADest.GetPreview());
    EXPECT_EQ(Timers.EnabledCount(), 0);
  }

  // The preview shows the source colour of every pixel.
  void ExpectSourceColors(TBitmap32& APicture) {
    ASSERT_EQ(APicture.GetWidth(), W);
    ASSERT_EQ(APicture.GetHeight(), H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        EXPECT_EQ(APicture.GetPixel(x, y) & 0xFFFFFF, SourceColors[SourceIndex(x, y)]) << x << "," << y;
  }

  // BMP, PNG and GIF files of the result decode to the preview again.
  void ExpectPictureFiles(TKvDest& ADest) {
    TKvBitmap& LResult = *ADest.GetResultBitmap();
    TBitmap32& LPreview = *ADest.GetPreview();
    auto ExpectSame = [&](const std::string& ABytes, const char* AKind) {
      std::istringstream LStream(ABytes);
      std::unique_ptr<TBitmap32> LPicture;
      std::unique_ptr<TKvPalette256> LPalette, LUsed;
      DecodePicture(LStream, LPicture, LPalette, LUsed, kvdoBitmap);
      ASSERT_TRUE(LPicture) << AKind;
      ASSERT_EQ(LPicture->GetWidth(), W) << AKind;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) EXPECT_EQ(LPicture->GetPixel(x, y), LPreview.GetPixel(x, y)) << AKind;
    };

    const std::string LBmp = EncodeBmp(LResult);
    ASSERT_GE(LBmp.size(), 54u);
    EXPECT_EQ(LBmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<uint8_t>(LBmp[28]), LResult.BitCount);  // saved in its own depth
    ExpectSame(LBmp, "BMP");

    TPngImage LPng;
    LPng.Assign(LResult);
    SetPngSoftwareText(LPng);
    const std::string LPngBytes = LPng.Encode();
    EXPECT_NE(LPngBytes.find(std::string("tEXtSoftware\0Kovrel", 19)), std::string::npos);
    ExpectSame(LPngBytes, "PNG");
    const std::string LFile = (Folder / "result.png").string();
    LPng.SaveToFile(LFile);
    EXPECT_EQ(ReadFileBytes(LFile), std::vector<uint8_t>(LPngBytes.begin(), LPngBytes.end()));

    if (LResult.BitCount <= 8) {
      TGIFImage LGif;
      LGif.Assign(LResult);
      LGif.UseGlobalColorMap();
      const std::string LGifBytes = LGif.Encode();
      EXPECT_EQ(LGifBytes.substr(0, 3), "GIF");
      EXPECT_NE(static_cast<uint8_t>(LGifBytes[10]) & 0x80, 0);  // a global colour map
      ExpectSame(LGifBytes, "GIF");
    }
  }

  fs::path Folder;
  std::string PngName;
  TManualTimerFactory Timers;
  TManualLauncher Workers;
};

}  // namespace

TEST_F(TCommonTest, CommonIsTheFirstPlatformWithItsThreeModes) {
  ASSERT_GE(DestEngineList().GetCount(), 1);
  EXPECT_EQ(DestEngineList().GetString(0), "Common");
  const TKvDestSubTypes& LModes = DestEngineList().GetSubTypes(0);
  ASSERT_EQ(LModes.GetCount(), 3);
  EXPECT_EQ(LModes.GetString(0), "B/W");
  EXPECT_EQ(LModes.GetString(1), "Palette");
  EXPECT_EQ(LModes.GetString(2), "Original palette");
  EXPECT_EQ(LModes.GetObject(1)->GetClassName(), "TKvCustomPaletteEngine");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(LModes.GetObject(i)->GetZoomFactor(), 1);
}

TEST_F(TCommonTest, BlackAndWhite) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  TRecorder LRecorder;
  LDest.AddClient(&LRecorder);
  Run(LDest, LSource, "B/W", [](TKvDestEngineOptions& O) { O.SetDitherMethod(0); });
  EXPECT_EQ(LDest.GetOptions()->GetWidth(), W);  // the target starts as the source's size
  EXPECT_EQ(LDest.GetOptions()->ErrorDiffusion, 90);
  EXPECT_EQ(LDest.GetResultBitmap()->BitCount, 1);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint8_t i = SourceIndex(x, y);
      const bool LLight = i == 1 || i == 2;
      EXPECT_EQ(LDest.GetPreview()->GetPixel(x, y), LLight ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
    }
  EXPECT_FALSE(LDest.GetStreams());  // a picture only: saved as BMP, PNG or GIF
  const std::string LTail = LRecorder.Kinds.substr(LRecorder.Kinds.size() - 6);  // fit, result, palette
  EXPECT_EQ(LTail, "F R P ") << LRecorder.Kinds;
  ExpectPictureFiles(LDest);
  LDest.RemoveClient(&LRecorder);
}

TEST_F(TCommonTest, PaletteOfALevelTable) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  TRecorder LRecorder;
  LDest.AddClient(&LRecorder);
  Run(LDest, LSource, "Palette", [](TKvDestEngineOptions& O) {
    EXPECT_EQ(O.ErrorDiffusion, 95);
    O.SetPaletteType(ptRGB111);
    O.SetMaxColorCount(1);  // below 2: the whole palette is used
    O.SetDitherMethod(0);
  });
  EXPECT_EQ(LDest.GetResultPalette()->Count, 8);
  EXPECT_EQ(LRecorder.PaletteCount, 8);
  EXPECT_EQ(LDest.GetResultBitmap()->BitCount, 4);
  ExpectSourceColors(*LDest.GetPreview());
  ExpectPictureFiles(LDest);
  LDest.RemoveClient(&LRecorder);
}

TEST_F(TCommonTest, OriginalPaletteKeepsTheSourceTable) {
  TKvSource LSource;
  TKvDest LDest(Timers, Workers);
  Run(LDest, LSource, "Original palette", [](TKvDestEngineOptions& O) { O.SetDitherMethod(0); });
  TKvBitmap& LResult = *LDest.GetResultBitmap();
  ASSERT_EQ(LDest.GetResultPalette()->Count, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(LDest.GetResultPalette()->GetRGBQuad(i), SourceColors[i]);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) EXPECT_EQ(LResult.GetPixel(x, y), SourceIndex(x, y));
  ExpectSourceColors(*LDest.GetPreview());
  ExpectPictureFiles(LDest);

  // Only the colours in use, mapped into the source table without dithering again.
  LDest.GetOptions()->SetUseOnlyOriginalColors(true);
  LDest.GetOptions()->SetDitherMethod(1);
  LDest.Invalidate(false);
  Workers.FinishNext();
  Timers.Tick();
  ASSERT_TRUE(LDest.GetPreview());
  ExpectSourceColors(*LDest.GetPreview());
}

TEST_F(TCommonTest, ConvertEdgeCases) {
  TBitmap32 LPicture(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) LPicture.GetBits()[y * W + x] = 0xFF000000u | SourceColors[SourceIndex(x, y)];
  TKvDestProgress LProgress;
  std::unique_ptr<TKvStreamList> LStreams;
  bool LAbort = false;

  // "Original palette" of a picture without palette: a true-colour copy.
  auto LOptions = DestEngineClass<TKvCustomOriginalPaletteEngine>().Create()->CreateOptions();
  auto LResult = DestEngineClass<TKvCustomOriginalPaletteEngine>().Convert(&LAbort, LPicture, nullptr, nullptr,
                                                                           *LOptions, LProgress, LStreams);
  ASSERT_EQ(LResult->BitCount, 24);
  ExpectSourceColors(*LResult->ToBitmap32(1, 1));
  EXPECT_FALSE(LStreams);

  // "Palette" with a picked palette of 300 colours and no count limit: 24 bits.
  auto LPaletteOptions = DestEngineClass<TKvCustomPaletteEngine>().Create()->CreateOptions();
  LPaletteOptions->SetPaletteType(ptColored);
  LPaletteOptions->SetDitherMethod(0);
  LPaletteOptions->SetMaxColorCount(0);
  TKvPalette256& LPicked = *LPaletteOptions->GetPalette();
  for (uint32_t LColor : SourceColors) LPicked.AddRGB(LColor >> 16, (LColor >> 8) & 0xFF, LColor & 0xFF);
  for (int i = 0; LPicked.Count < 300; ++i) LPicked.AddRGB(static_cast<uint8_t>(i), 100, static_cast<uint8_t>(i / 2));
  LResult = DestEngineClass<TKvCustomPaletteEngine>().Convert(&LAbort, LPicture, nullptr, nullptr, *LPaletteOptions,
                                                              LProgress, LStreams);
  EXPECT_EQ(LResult->BitCount, 24);
  ExpectSourceColors(*LResult->ToBitmap32(1, 1));

  // Keeping the whole palette of 300 colours cannot make an 8-bit result of
  // it: the result stays within its own chosen colours.
  LPaletteOptions->SetMaxColorCount(4);
  LPaletteOptions->SetKeepWholePalette(true);
  LResult = DestEngineClass<TKvCustomPaletteEngine>().Convert(&LAbort, LPicture, nullptr, nullptr, *LPaletteOptions,
                                                              LProgress, LStreams);
  EXPECT_LE(LResult->BitCount, 8);
  EXPECT_EQ(LPaletteOptions->GetPalette()->Count, 4);
  EXPECT_EQ(LResult->Palette->Count, 4);
  ExpectSourceColors(*LResult->ToBitmap32(1, 1));

  // With a whole palette that an 8-bit result can hold, the indexes point into it.
  LPicked.Clear();
  for (int i = 0; i < 196; ++i) LPicked.AddRGB(static_cast<uint8_t>(i), 100, static_cast<uint8_t>(i / 2));
  for (uint32_t LColor : SourceColors) LPicked.AddRGB(LColor >> 16, (LColor >> 8) & 0xFF, LColor & 0xFF);
  LResult = DestEngineClass<TKvCustomPaletteEngine>().Convert(&LAbort, LPicture, nullptr, nullptr, *LPaletteOptions,
                                                              LProgress, LStreams);
  EXPECT_EQ(LResult->BitCount, 8);
  EXPECT_EQ(LResult->Palette->Count, 200);
  EXPECT_EQ(LResult->GetPixel(0, 0), 196);  // black, the first source colour, after the 196 others
  ExpectSourceColors(*LResult->ToBitmap32(1, 1));

  // "B/W" ignores every palette setting.
  LResult = DestEngineClass<TKvCustomBWEngine>().Convert(&LAbort, LPicture, &LPicked, nullptr, *LPaletteOptions,
                                                         LProgress, LStreams);
  EXPECT_EQ(LResult->BitCount, 1);
}

TEST_F(TCommonTest, PanelsAreDescribedSectionBySection) {
  using K = TKvPanelSectionKind;
  struct Case { const char* Mode; std::vector<K> Kinds; };
  const Case LCases[] = {
      {"B/W", {K::Dimension, K::Position, K::Dithering}},
      {"Palette", {K::Dimension, K::Position, K::OptimizedPalette, K::Dithering}},
      {"Original palette",
       {K::Dimension, K::Position, K::PaletteSeparator, K::OriginalColorsCheckBox, K::PaletteLabel, K::DestPalette,
        K::Dithering}},
  };
  for (const Case& C : LCases) {
    auto LEngine = ModeClass(C.Mode).Create();
    auto LOptions = LEngine->CreateOptions();
    auto LPanel = LEngine->CreateUI(LOptions.get());
    auto* LSections = dynamic_cast<TKvDestEngineUIEx*>(LPanel.get());
    ASSERT_NE(LSections, nullptr) << C.Mode;
    EXPECT_EQ(LSections->GetOptions(), LOptions.get());
    std::vector<K> LKinds;
    for (const TKvPanelSection& S : LSections->GetSections()) LKinds.push_back(S.Kind);
    EXPECT_EQ(LKinds, C.Kinds) << C.Mode;
    const auto& LList = LSections->GetSections();
    EXPECT_FALSE(LList[0].Flag);  // no native-size button
    EXPECT_EQ(LList[1].Set, 0u);  // the pixel-aspect set comes from the options
    EXPECT_FALSE(LList.back().Flag);  // no block limits
    if (C.Kinds.size() == 7) {
      const TKvPanelSection& LStrip = LList[5];
      EXPECT_EQ(LStrip.Columns, 16);
      EXPECT_EQ(LStrip.Rows, 16);
      EXPECT_FALSE(LStrip.Flag);  // drops accepted
      EXPECT_TRUE(LStrip.ReadOnly);
      for (int i = 2; i <= 5; ++i) EXPECT_EQ(LList[i].Group, "OriginalPalette");
      EXPECT_EQ(LList[6].Group, "");
    }
  }
}

TEST_F(TCommonTest, PaletteQuantizesWhenThePictureHasTooManyColours) {
  // A gradient of 64 colours reduced to 8 of a 6-bit-per-channel palette.
  TBitmap32 LPicture(16, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 16; ++x)
      LPicture.GetBits()[y * 16 + x] = 0xFF000000u | (static_cast<uint32_t>(x * 16) << 16) |
                                       (static_cast<uint32_t>(y * 64) << 8) | static_cast<uint32_t>(255 - x * 16);
  TKvDestProgress LProgress;
  std::unique_ptr<TKvStreamList> LStreams;
  bool LAbort = false;
  auto LOptions = DestEngineClass<TKvCustomPaletteEngine>().Create()->CreateOptions();
  LOptions->SetPaletteType(ptRGB666);
  LOptions->SetMaxColorCount(8);
  auto LResult = DestEngineClass<TKvCustomPaletteEngine>().Convert(&LAbort, LPicture, nullptr, nullptr, *LOptions,
                                                                   LProgress, LStreams);
  ASSERT_TRUE(LResult);
  EXPECT_EQ(LResult->BitCount, 4);
  EXPECT_GE(LOptions->GetPalette()->Count, 2);
  EXPECT_LE(LOptions->GetPalette()->Count, 8);
  for (int i = 1; i < LOptions->GetPalette()->Count; ++i)  // sorted by gray
    EXPECT_LE(LOptions->GetPalette()->GetLinGray(i - 1), LOptions->GetPalette()->GetLinGray(i));
}
