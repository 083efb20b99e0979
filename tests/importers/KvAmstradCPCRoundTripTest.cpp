// Every CPC file the converters write, saved with its side files under one
// name in a folder, opens again through the file load source as the best
// candidate and shows the preview's pixels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "platforms/KvSavePlatformAmstradCPC.h"

namespace fs = std::filesystem;

namespace {

// Saves a stream and its sub-streams as the save action does: each file
// stores its own name just before it is written.
void SaveStream(TKvStream& AStream, const fs::path& AFolder, const std::string& AStem) {
  const std::string LName = AStem + "." + AStream.GetExtension();
  AStream.StoreFileName(LName);
  std::ofstream f(AFolder / LName, std::ios::binary);
  f.write(reinterpret_cast<const char*>(AStream.GetMemory()), AStream.GetSize());
  f.close();
  for (int i = 0; i < AStream.GetSubStreamCount(); ++i) SaveStream(*AStream.GetSubStream(i), AFolder, AStem);
}

class KvAmstradCPCRoundTrip : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeImporters();
    Folder = fs::temp_directory_path() /
             ("kv_cpc_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
              std::to_string(::getpid()));
    fs::remove_all(Folder);
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }

  // Saves the conversion as AStem, opens the first stream's file and checks
  // the best candidate; compares colours, or pixel values for AByIndex.
  void Expect(const TKvConversion& AConversion, const std::string& AStem, const std::string& AImporter,
              bool AByIndex = false) {
    SCOPED_TRACE(AStem);
    SaveStream(*AConversion.Streams->GetStream(0), Folder, AStem);
    TKvFileLoadSource src((Folder / (AStem + "." + AConversion.Streams->GetExtension(0))).string());
    auto list = src.FindEngines();
    ASSERT_GT(list->GetCount(), 0);
    TKvSourceEngine* e = list->GetEngine(0);
    EXPECT_EQ(e->ClassType().GetClassName(), AImporter);
    auto decoded = e->Decode();
    TKvBitmap& preview = *AConversion.Preview;
    ASSERT_EQ(decoded->Width, preview.Width);
    ASSERT_EQ(decoded->Height, preview.Height);
    EXPECT_EQ(AByIndex ? CountIndexDiffs(*decoded, preview) : CountColorDiffs(*decoded, preview), 0);
    if (preview.GetFrames()) {
      // Two-frame pictures: the same pen in each frame.
      ASSERT_NE(decoded->GetFrames(), nullptr);
      for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(CountIndexDiffs(*preview.GetFrames()->GetBitmap(f), *decoded->GetFrames()->GetBitmap(f)), 0)
            << "frame " << f;
      }
    }
  }

  fs::path Folder;
};

TEST_F(KvAmstradCPCRoundTrip, StandardScreens) {
  auto pic0 = GradientPicture(160, 200, 11);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode0Engine>(), *pic0, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(mode);
      o.UpdatePalette();
    });
    Expect(r, "m0_" + std::to_string(mode), "TKvAmstradCPCMode0SourceEngine");
  }
  auto pic1 = GradientPicture(320, 200, 12);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCMode1Engine>(), *pic1), "m1", "TKvAmstradCPCMode1SourceEngine");
  auto pic2 = GradientPicture(640, 200, 13);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCMode2Engine>(), *pic2), "m2", "TKvAmstradCPCMode2SourceEngine",
         true);
}

TEST_F(KvAmstradCPCRoundTrip, OverscanScreens) {
  auto pic0 = GradientPicture(192, 272, 14);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCMode0ExEngine>(), *pic0), "o0",
         "TKvAmstradCPCMode0ExSourceEngine");
  auto plus = ConvertPicture(DestEngineClass<TKvAmstradCPCMode0ExEngine>(), *pic0, [](TKvDestEngineOptions& o) {
    o.SetPaletteType(ptCPCPlus);
    o.UpdatePalette();
  });
  Expect(plus, "o0plus", "TKvAmstradCPCMode0ExSourceEngine");
  auto pic1 = GradientPicture(384, 272, 15);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCMode1ExEngine>(), *pic1), "o1",
         "TKvAmstradCPCMode1ExSourceEngine");
  auto pic2 = GradientPicture(768, 272, 16);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCMode2ExEngine>(), *pic2), "o2", "TKvAmstradCPCMode2ExSourceEngine",
         true);
}

TEST_F(KvAmstradCPCRoundTrip, HgbWithAndWithoutHeader) {
  auto pic = GradientPicture(512, 256, 17);
  for (bool header : {true, false}) {
    auto r = ConvertPicture(DestEngineClass<TKvAmstradCPCMode2HGBEngine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetWriteFileHeader(header); });
    Expect(r, header ? "hgb_h" : "hgb", "TKvAmstradCPCMode2HGBSourceEngine", true);
  }
}

TEST_F(KvAmstradCPCRoundTrip, TwoFramePictures) {
  auto pic0 = GradientPicture(192, 272, 18);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCModeB0Engine>(), *pic0), "b0", "TKvAmstradCPCModeB0SourceEngine");
  auto pic1 = GradientPicture(384, 272, 19);
  Expect(ConvertPicture(DestEngineClass<TKvAmstradCPCModeB1Engine>(), *pic1), "b1", "TKvAmstradCPCModeB1SourceEngine");
}

}  // namespace
