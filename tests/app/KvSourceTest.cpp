#include "app/KvSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/KvAppUnits.h"
#include "app/KvSourceEngines.h"
#include "app/KvTestServices.h"
#include "bitmap/B32.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"

namespace fs = std::filesystem;

namespace {

struct TNotice {
  std::string Kind;
  TBitmap32* Picture;
  TKvPalette256* Palette;
  TKvPalette256* Palette2;
};

class TRecordingClient : public TObject, public IKvSourceClient, public IKvSourceFilesClient {
public:
  void PictureChanged(TBitmap32* APicture) override { Notices.push_back({"Picture", APicture, nullptr, nullptr}); }
  void SourceChanged(TBitmap32* APicture, TKvPalette256* APalette, TKvPalette256* APalette2) override {
    Notices.push_back({"Source", APicture, APalette, APalette2});
  }
  void SourceFilesChanged() override { ++FilesChanged; }
  std::vector<TNotice> Notices;
  int FilesChanged = 0;
};

class TSourceTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeAppCore();
    Folder = fs::temp_directory_path() / ("kvsource_" + std::to_string(::getpid()));
    fs::remove_all(Folder);
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }

  // A 6 x 4 picture of four colours, left half red and blue, right half green and white.
  std::string MakePng(const std::string& AName) {
    std::vector<uint8_t> LIndexes(24);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) LIndexes[y * 6 + x] = static_cast<uint8_t>((x < 3 ? 0 : 2) + (y < 2 ? 0 : 1));
    const std::string LName = (Folder / AName).string();
    WriteIndexedPng(LName, 6, 4, {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFFFF}, LIndexes);
    return LName;
  }

  // An uncompressed 24-bit BMP of 2 x 2 pixels.
  std::string MakeBmp(const std::string& AName) {
    std::vector<uint8_t> LFile(54 + 16, 0);
    auto Put32 = [&](size_t AOffset, uint32_t AValue) {
      for (int i = 0; i < 4; ++i) LFile[AOffset + i] = static_cast<uint8_t>(AValue >> (8 * i));
    };
    LFile[0] = 'B';
    LFile[1] = 'M';
    Put32(2, static_cast<uint32_t>(LFile.size()));
    Put32(10, 54);
    Put32(14, 40);
    Put32(18, 2);
    Put32(22, 2);
    LFile[26] = 1;
    LFile[28] = 24;
    for (size_t i = 54; i < LFile.size(); ++i) LFile[i] = 0x80;
    const std::string LName = (Folder / AName).string();
    std::ofstream(LName, std::ios::binary).write(reinterpret_cast<const char*>(LFile.data()),
                                                  static_cast<std::streamsize>(LFile.size()));
    return LName;
  }

  fs::path Folder;
};

// An importer that accepts files with the extension ".zzz".
class TZzzImporter : public TKvSourceEngineOf<TZzzImporter> {
public:
  using TKvSourceEngineOf::TKvSourceEngineOf;
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return ASource.GetExtension() == ".zzz" ? mfExtension : 0; }
  std::unique_ptr<TKvBitmap> Decode() override { throw Exception("not used"); }
};

class TFixedChooser : public TKvImportChooser {
public:
  std::unique_ptr<TBitmap32> Choose(TKvLoadSource& ASource, TKvSourceEngineList& AEngines) override {
    SeenName = ASource.GetFileName();
    SeenCount = AEngines.GetCount();
    if (!Answer) return nullptr;
    auto LBitmap = std::make_unique<TBitmap32>(3, 2);
    LBitmap->Clear(0xFF123456);
    return LBitmap;
  }
  bool Answer = true;
  std::string SeenName;
  int SeenCount = 0;
};

}  // namespace

TEST_F(TSourceTest, LoadsByContentAndTellsClients) {
  TKvSource LSource;
  TRecordingClient LClient;
  LSource.AddClient(&LClient);
  ASSERT_EQ(LClient.Notices.size(), 2u);  // a new client hears both notices at once
  EXPECT_EQ(LClient.Notices[0].Kind, "Picture");
  EXPECT_EQ(LClient.Notices[1].Picture, nullptr);

  // A PNG named .bmp is read as PNG, with its colour table as palette.
  LSource.LoadFromFile(MakePng("picture.bmp"));
  EXPECT_EQ(LSource.GetFileName(), "picture.bmp");
  ASSERT_NE(LSource.GetPicture(), nullptr);
  EXPECT_EQ(LSource.GetPicture()->GetWidth(), 6);
  ASSERT_NE(LSource.GetPalette(), nullptr);
  EXPECT_EQ(LSource.GetPalette()->Count, 4);
  EXPECT_EQ(LSource.GetRegion(), Rect(0, 0, 6, 4));
  ASSERT_EQ(LClient.Notices.size(), 4u);
  EXPECT_EQ(LClient.Notices[2].Kind, "Picture");
  EXPECT_EQ(LClient.Notices[3].Picture, LSource.GetRegionPicture());
  EXPECT_EQ(LClient.Notices[3].Palette, LSource.GetPalette());
  EXPECT_EQ(LClient.Notices[3].Palette2, LSource.GetUsedColors());

  // The region cuts the picture; setting it again says nothing.
  LSource.SetRegion(Rect(3, 2, 6, 4));
  ASSERT_EQ(LClient.Notices.size(), 5u);
  EXPECT_EQ(LClient.Notices[4].Kind, "Source");
  EXPECT_EQ(LSource.GetRegionPicture()->GetWidth(), 3);
  EXPECT_EQ(LSource.GetRegionPicture()->GetPixel(0, 0), 0xFFFFFFFFu);  // the white corner
  LSource.SetRegion(Rect(3, 2, 6, 4));
  EXPECT_EQ(LClient.Notices.size(), 5u);

  // A BMP named .scr is read as BMP.
  LSource.LoadFromFile(MakeBmp("screen.scr"));
  EXPECT_EQ(LSource.GetFileName(), "screen.scr");
  EXPECT_EQ(LSource.GetPicture()->GetWidth(), 2);
  EXPECT_EQ(LSource.GetRegion(), Rect(0, 0, 2, 2));

  LSource.Close();
  EXPECT_EQ(LSource.GetPicture(), nullptr);
  EXPECT_EQ(LSource.GetFileName(), "");
  EXPECT_EQ(LClient.Notices.back().Picture, nullptr);
  LSource.RemoveClient(&LClient);
}

TEST_F(TSourceTest, FailedLoadEmptiesTheDocument) {
  TKvSource LSource;
  LSource.LoadFromFile(MakePng("good.png"));
  TRecordingClient LClient;
  LSource.AddClient(&LClient);
  LClient.Notices.clear();

  // A damaged PNG: the document is cleared, told, and the error propagates.
  std::vector<uint8_t> LBytes = ReadFileBytes(MakePng("bad.png"));
  LBytes.resize(LBytes.size() / 2);
  const std::string LBad = (Folder / "bad.png").string();
  std::ofstream(LBad, std::ios::binary).write(reinterpret_cast<const char*>(LBytes.data()),
                                                static_cast<std::streamsize>(LBytes.size()));
  EXPECT_ANY_THROW(LSource.LoadFromFile(LBad));
  EXPECT_EQ(LSource.GetPicture(), nullptr);
  ASSERT_EQ(LClient.Notices.size(), 2u);
  EXPECT_EQ(LClient.Notices[0].Picture, nullptr);
  EXPECT_EQ(LClient.Notices[1].Picture, nullptr);

  // A stream of another type is refused without touching the document.
  LSource.LoadFromFile(MakePng("again.png"));
  std::istringstream LText("this is no picture at all");
  try {
    LSource.LoadFromStream("x", LText);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Unknown image type");
  }
  EXPECT_NE(LSource.GetPicture(), nullptr);
  EXPECT_THROW(LSource.LoadFromFile((Folder / "missing.png").string()), Exception);
  LSource.RemoveClient(&LClient);
}

TEST_F(TSourceTest, OtherFilesGoThroughTheImporters) {
  TKvSource LSource;
  TFixedChooser LChooser;
  LSource.SetImportChooser(&LChooser);
  const std::string LEmpty = (Folder / "empty.zzz").string();
  std::ofstream(LEmpty).close();
  const std::string LOther = (Folder / "other.yyy").string();
  std::ofstream(LOther) << "0123456789";
  const std::string LZzz = (Folder / "pic.zzz").string();
  std::ofstream(LZzz) << "0123456789";

  for (const std::string& LName : {LEmpty, LOther, LZzz}) {
    try {
      LSource.LoadFromFile(LName);
      EXPECT_EQ(LName, LZzz);
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), "Unknown image type") << LName;
    }
    if (LName == LOther) RegisterSourceEngine(SourceEngineClass<TZzzImporter>());
  }
  // The importer's picture becomes the source, without palettes.
  EXPECT_EQ(LChooser.SeenName, "pic.zzz");
  EXPECT_EQ(LChooser.SeenCount, 1);
  EXPECT_EQ(LSource.GetFileName(), "pic.zzz");
  ASSERT_NE(LSource.GetPicture(), nullptr);
  EXPECT_EQ(LSource.GetPicture()->GetWidth(), 3);
  EXPECT_EQ(LSource.GetPalette(), nullptr);

  // A declined import leaves the document as it was.
  LChooser.Answer = false;
  LSource.LoadFromFile(LZzz);
  EXPECT_EQ(LSource.GetPicture()->GetWidth(), 3);
  FinalizeAppCore();
}

TEST_F(TSourceTest, DataOffersPreferTheBitmap) {
  TKvSource LSource;
  auto LBitmap = std::make_shared<TnoxOfferBitmap>();
  LBitmap->Width = 2;
  LBitmap->Height = 1;
  LBitmap->Pixels = {0xFF102030, 0xFF405060};
  TnoxShellDataOffer LOffer;
  LOffer.Bitmap = LBitmap;
  LOffer.HasFiles = true;
  LOffer.Files = {MakePng("a.png"), MakeBmp("b.bmp"), MakePng("c.png")};
  EXPECT_TRUE(TKvSource::CanLoadFrom(LOffer));
  LSource.LoadFromDataObject(LOffer);
  EXPECT_EQ(LSource.GetFileName(), "Unnamed");
  EXPECT_EQ(LSource.GetPicture()->GetPixel(1, 0), 0xFF405060u);
  ASSERT_NE(LSource.GetPalette(), nullptr);
  EXPECT_EQ(LSource.GetPalette()->Count, 2);

  // Of a list of files only the first is loaded.
  LOffer.Bitmap.reset();
  LSource.LoadFromDataObject(LOffer);
  EXPECT_EQ(LSource.GetFileName(), "a.png");
  EXPECT_FALSE(TKvSource::CanLoadFrom(TnoxShellDataOffer{}));
}

TEST_F(TSourceTest, FolderListsItsPicturesAndClosesTheSourceOnlyWhenItHasNone) {
  TKvSource LSource;
  LSource.LoadFromFile(MakePng("loaded.png"));
  fs::create_directories(Folder / "pics");
  std::ofstream((Folder / "pics" / "b.PNG").string()) << "x";
  std::ofstream((Folder / "pics" / "A.gif").string()) << "x";
  std::ofstream((Folder / "pics" / "c.txt").string()) << "x";
  TKvSourceFiles LFiles;
  LFiles.SetSource(&LSource);
  TRecordingClient LClient;
  LFiles.AddClient(&LClient);
  EXPECT_EQ(LClient.FilesChanged, 0);  // registering sends nothing
  LFiles.OpenFolder((Folder / "pics").string());
  EXPECT_EQ(LClient.FilesChanged, 1);
  // The list's first file replaces the picture when it loads, not before.
  EXPECT_NE(LSource.GetPicture(), nullptr);
  ASSERT_EQ(LFiles.GetFiles().size(), 2u);
  EXPECT_EQ(fs::path(LFiles.GetFiles()[0]).filename(), "A.gif");
  EXPECT_EQ(fs::path(LFiles.GetFiles()[1]).filename(), "b.PNG");
  LFiles.OpenFolder((Folder / "nothing-here").string());
  EXPECT_TRUE(LFiles.GetFiles().empty());
  EXPECT_EQ(LSource.GetPicture(), nullptr);
  LFiles.RemoveClient(&LClient);
}

TEST_F(TSourceTest, PaletteListReplacesAndSeparatesGigaScreenTables) {
  class TListClient : public TObject, public IKvPaletteListClient {
  public:
    void PaletteListChanged() override { ++Count; }
    int Count = 0;
  };
  TKvPaletteList LList;
  TListClient LClient;
  LList.AddClient(&LClient);
  EXPECT_EQ(LClient.Count, 1);

  auto Make = [](const std::string& AFile, const std::string& AName, int AColors) {
    auto LPalette = std::make_unique<TKvPalette256>();
    LPalette->FileName = AFile;
    LPalette->Name = AName;
    for (int i = 0; i < AColors; ++i) LPalette->AddRGB(static_cast<uint8_t>(i), 0, 0);
    return LPalette;
  };
  LList.Add(Make("/p/one.pal", "One", 2));
  LList.Add(Make("/p/two.pal", "Two", 3));
  TKvPalette256* LNew = LList.Add(Make("/P/ONE.PAL", "one", 5));
  ASSERT_EQ(LList.GetCount(), 2);
  EXPECT_EQ(LList.GetItem(0), LNew);  // replaced in place
  EXPECT_EQ(LList.GetItem(0)->Count, 5);

  // A symmetric table of 16 x 16 mixtures goes to the gigascreen list.
  auto LGiga = std::make_unique<TKvPalette256>();
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j) {
      const int LLevel = (i == 15 && j == 15) ? 255 : (i * j) % 200;
      LGiga->AddRGB(static_cast<uint8_t>(LLevel), static_cast<uint8_t>(i + j), static_cast<uint8_t>(LLevel));
    }
  LGiga->Colors[0].InitRGB(0, 0, 0);
  LGiga->Colors[136].InitRGB(0, 0, 0);
  LGiga->Colors[255].InitRGB(255, 255, 255);
  EXPECT_TRUE(IsGigaScreenPalette(*LGiga));
  LList.Add(std::move(LGiga));
  EXPECT_EQ(LList.GetCount(), 2);
  EXPECT_EQ(LList.GetGigaScreenCount(), 1);

  LList.GetItem(1)->Generated = true;
  LList.RemoveGenerated();
  EXPECT_EQ(LList.GetCount(), 1);
  EXPECT_EQ(LClient.Count, 6);
  LList.RemoveClient(&LClient);
}

namespace {

// A run-length BMP of AWidth x AHeight that holds one short run of colour 1
// on its bottom line and ends at once: a few dozen bytes for any size.
std::string TinyRle8Bmp(int32_t AWidth, int32_t AHeight) {
  std::string LFile(54 + 8, '\0');
  auto Put32 = [&](size_t AOffset, uint32_t AValue) {
    for (int i = 0; i < 4; ++i) LFile[AOffset + i] = static_cast<char>(AValue >> (8 * i));
  };
  const std::string LRows = {10, 1, 0, 0, 0, 1};  // ten of colour 1, end of line, end of picture
  LFile += LRows;
  LFile[0] = 'B';
  LFile[1] = 'M';
  Put32(2, static_cast<uint32_t>(LFile.size()));
  Put32(10, 54 + 8);
  Put32(14, 40);
  Put32(18, static_cast<uint32_t>(AWidth));
  Put32(22, static_cast<uint32_t>(AHeight));
  LFile[26] = 1;
  LFile[28] = 8;
  Put32(30, 1);  // RLE8
  Put32(34, static_cast<uint32_t>(LRows.size()));
  Put32(46, 2);
  Put32(54, 0x000000);
  Put32(58, 0xFFFFFF);
  return LFile;
}

}  // namespace

TEST_F(TSourceTest, HugePictureIsHeldOnce) {
  TKvSource LSource;
  TRecordingClient LClient;
  LSource.AddClient(&LClient);
  std::istringstream LStream(TinyRle8Bmp(8000, 8000));
  LSource.LoadFromStream("huge.bmp", LStream);
  TBitmap32* LPicture = LSource.GetPicture();
  ASSERT_NE(LPicture, nullptr);
  EXPECT_EQ(LPicture->GetWidth(), 8000);
  EXPECT_EQ(LPicture->GetHeight(), 8000);
  EXPECT_EQ(LPicture->GetPixel(9, 7999), 0xFFFFFFFFu);
  EXPECT_EQ(LPicture->GetPixel(10, 7999), 0xFF000000u);
  // The whole picture is its own region: no second copy.
  EXPECT_EQ(LSource.GetRegionPicture(), LPicture);
  EXPECT_EQ(LClient.Notices.back().Picture, LPicture);
  // A part of it is a copy; the whole again is the picture again.
  LSource.SetRegion(Rect(0, 7990, 20, 8000));
  ASSERT_NE(LSource.GetRegionPicture(), LPicture);
  EXPECT_EQ(LSource.GetRegionPicture()->GetWidth(), 20);
  EXPECT_EQ(LSource.GetRegionPicture()->GetPixel(9, 9), 0xFFFFFFFFu);
  LSource.SetRegion(Rect(0, 0, 8000, 8000));
  EXPECT_EQ(LSource.GetRegionPicture(), LPicture);
  EXPECT_EQ(LClient.Notices.back().Picture, LPicture);
  LSource.RemoveClient(&LClient);
}

TEST_F(TSourceTest, PictureBeyondTheLimitNamesItsSize) {
  TKvSource LSource;
  std::istringstream LStream(TinyRle8Bmp(8193, 8193));
  try {
    LSource.LoadFromStream("huge.bmp", LStream);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find("8193 x 8193"), std::string::npos) << E.Message();
    EXPECT_NE(E.Message().find(std::to_string(KvMaxPicturePixels)), std::string::npos) << E.Message();
  }
  EXPECT_EQ(LSource.GetPicture(), nullptr);
}
