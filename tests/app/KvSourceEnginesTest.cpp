#include "app/KvSourceEngines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "core/KvBitmap.h"
#include "rtl/KvSysUtils.h"

namespace fs = std::filesystem;

namespace {

// An importer whose answer is set by the test; N tells the classes apart.
template <int N>
class TFakeImporter : public TKvSourceEngineOf<TFakeImporter<N>> {
public:
  using TKvSourceEngineOf<TFakeImporter<N>>::TKvSourceEngineOf;
  static inline std::function<TKvMatchFlags(TKvLoadSource&)> Answer;
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return Answer ? Answer(ASource) : 0; }
  std::unique_ptr<TKvBitmap> Decode() override { throw Exception("not used"); }
};

using TImporterA = TFakeImporter<1>;
using TImporterB = TFakeImporter<2>;
using TImporterC = TFakeImporter<3>;
using TImporterD = TFakeImporter<4>;

class TThrowingImporter : public TKvSourceEngineOf<TThrowingImporter> {
public:
  explicit TThrowingImporter(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) { throw std::runtime_error("x"); }
  static TKvMatchFlags Match(TKvLoadSource&) { return mfHeader; }
  std::unique_ptr<TKvBitmap> Decode() override { throw Exception("not used"); }
};

std::vector<const TKvSourceEngineClass*> Classes() {
  return {&SourceEngineClass<TImporterA>(), &SourceEngineClass<TThrowingImporter>(), &SourceEngineClass<TImporterB>(),
          &SourceEngineClass<TImporterC>(), &SourceEngineClass<TImporterD>()};
}

void ResetAnswers() {
  TImporterA::Answer = nullptr;
  TImporterB::Answer = nullptr;
  TImporterC::Answer = nullptr;
  TImporterD::Answer = nullptr;
}

std::vector<uint8_t> Plus3DosFile(const std::vector<uint8_t>& APayload) {
  std::vector<uint8_t> LFile(128 + APayload.size(), 0);
  std::memcpy(LFile.data(), "PLUS3DOS\x1A\x01\x00", 11);
  const uint32_t LSize = static_cast<uint32_t>(128 + APayload.size());
  for (int i = 0; i < 4; ++i) LFile[11 + i] = static_cast<uint8_t>(LSize >> (8 * i));
  unsigned LSum = 0;
  for (int i = 0; i < 127; ++i) LSum += LFile[i];
  LFile[127] = static_cast<uint8_t>(LSum);
  for (size_t i = 0; i < APayload.size(); ++i) LFile[128 + i] = APayload[i];
  return LFile;
}

std::vector<uint8_t> HobetaFile(const std::vector<uint8_t>& APayload) {
  const uint16_t LLength = static_cast<uint16_t>(APayload.size());
  const uint16_t LSectors = static_cast<uint16_t>(256 * ((LLength + 255) / 256));
  std::vector<uint8_t> LFile(17 + LSectors, 0);
  std::memcpy(LFile.data(), "screen  C", 9);
  LFile[11] = LLength & 0xFF; LFile[12] = LLength >> 8;
  LFile[13] = LSectors & 0xFF; LFile[14] = LSectors >> 8;
  unsigned LSum = 0;
  for (unsigned i = 0; i <= 14; ++i) LSum += LFile[i] * 257u + i;
  LFile[15] = LSum & 0xFF; LFile[16] = (LSum >> 8) & 0xFF;
  for (size_t i = 0; i < APayload.size(); ++i) LFile[17 + i] = APayload[i];
  return LFile;
}

fs::path MakeTempFolder(const char* AName) {
  fs::path LPath = fs::temp_directory_path() / (std::string("kvsrc_") + AName + "_" + std::to_string(::getpid()));
  fs::remove_all(LPath);
  fs::create_directories(LPath);
  return LPath;
}

void WriteFile(const fs::path& APath, const std::vector<uint8_t>& ABytes) {
  std::ofstream(APath, std::ios::binary).write(reinterpret_cast<const char*>(ABytes.data()),
                                                static_cast<std::streamsize>(ABytes.size()));
}

}  // namespace

TEST(KvSourceProbe, RanksHeaderFirstThenExtensionNameAndSize) {
  ResetAnswers();
  std::vector<uint8_t> LData(6912, 0);
  TKvMemoryLoadSource LSource("pic.SCR", LData.data(), static_cast<int32_t>(LData.size()), false);
  EXPECT_EQ(LSource.GetExtension(), ".scr");
  TImporterA::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return mfExtension | mfSize; };  // 5
  TImporterB::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return mfHeader; };              // 8
  TImporterC::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return 0; };
  TImporterD::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return mfName | mfSize | mfExtension; };  // 7

  auto LList = LSource.FindEngines(Classes());
  ASSERT_EQ(LList->GetCount(), 3);  // the throwing class is left out silently
  EXPECT_EQ(&LList->GetEngine(0)->ClassType(), &SourceEngineClass<TImporterB>());
  EXPECT_EQ(LList->GetEngine(0)->Rank, 8);
  EXPECT_EQ(&LList->GetEngine(1)->ClassType(), &SourceEngineClass<TImporterD>());
  EXPECT_EQ(LList->GetEngine(1)->Rank, 7);
  EXPECT_EQ(&LList->GetEngine(2)->ClassType(), &SourceEngineClass<TImporterA>());
  EXPECT_EQ(LList->GetEngine(2)->MatchFlags, mfExtension | mfSize);
  EXPECT_EQ(LList->GetEngine(2)->FileName, "pic.SCR");
  EXPECT_EQ(LList->GetEngine(2)->Description, "(anonymous namespace)::TFakeImporter<1>");
  EXPECT_EQ(LSource.GetInner(), nullptr);

  // Equal ranks keep registration order.
  TImporterB::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return mfSize; };
  TImporterD::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return mfSize; };
  TImporterA::Answer = [](TKvLoadSource&) -> TKvMatchFlags { return mfSize; };
  LList = LSource.MatchEngines(Classes());
  ASSERT_EQ(LList->GetCount(), 3);
  EXPECT_EQ(&LList->GetEngine(0)->ClassType(), &SourceEngineClass<TImporterA>());
  EXPECT_EQ(&LList->GetEngine(1)->ClassType(), &SourceEngineClass<TImporterB>());
  EXPECT_EQ(&LList->GetEngine(2)->ClassType(), &SourceEngineClass<TImporterD>());
  ResetAnswers();
}

TEST(KvSourceProbe, UnwrapsPlus3DosAndHobetaWhenNothingMatches) {
  ResetAnswers();
  std::vector<uint8_t> LPayload(6912);
  for (size_t i = 0; i < LPayload.size(); ++i) LPayload[i] = static_cast<uint8_t>(i * 7);
  // The inner file is seen as "file.dat": only header and size answers remain.
  TImporterA::Answer = [&](TKvLoadSource& S) -> TKvMatchFlags {
    if (S.GetExtension() == ".scr") return mfExtension;
    if (S.GetFileName() == "file.dat" && S.GetSize() == 6912 &&
        std::memcmp(S.GetData(), LPayload.data(), LPayload.size()) == 0)
      return mfSize;
    return 0;
  };

  struct Case { const char* Name; std::vector<uint8_t> File; bool Unwraps; };
  std::vector<Case> LCases;
  LCases.push_back({"plus3", Plus3DosFile(LPayload), true});
  LCases.push_back({"hobeta", HobetaFile(LPayload), true});
  auto LBadSum = HobetaFile(LPayload);
  LBadSum[15] ^= 1;
  LCases.push_back({"hobeta with a wrong sum", LBadSum, false});
  auto LBadSize = Plus3DosFile(LPayload);
  LBadSize[11] ^= 1;
  LCases.push_back({"plus3 with a wrong size", LBadSize, false});
  LCases.push_back({"plus3 header alone", Plus3DosFile({}), false});  // exactly 128 bytes
  auto LShortSectors = HobetaFile(LPayload);
  LShortSectors.pop_back();
  LCases.push_back({"hobeta one byte short", LShortSectors, false});

  for (Case& LCase : LCases) {
    TKvMemoryLoadSource LSource("outer.$c", LCase.File.data(), static_cast<int32_t>(LCase.File.size()), false);
    auto LList = LSource.FindEngines(Classes());
    EXPECT_EQ(LList->GetCount(), LCase.Unwraps ? 1 : 0) << LCase.Name;
    EXPECT_EQ(LSource.GetInner() != nullptr, LCase.Unwraps) << LCase.Name;
    if (LCase.Unwraps) {
      EXPECT_EQ(LList->GetEngine(0)->Source, LSource.GetInner());
      EXPECT_EQ(LSource.GetInner()->GetExtension(), ".dat");
      // A second probe does not unwrap again.
      EXPECT_EQ(LSource.FindEngines(Classes())->GetCount(), 0) << LCase.Name;
    }
  }

  // An outer file that matches by itself is never unwrapped.
  auto LFile = HobetaFile(LPayload);
  TKvMemoryLoadSource LNamed("x.scr", LFile.data(), static_cast<int32_t>(LFile.size()), false);
  auto LList = LNamed.FindEngines(Classes());
  ASSERT_EQ(LList->GetCount(), 1);
  EXPECT_EQ(LList->GetEngine(0)->MatchFlags, mfExtension);
  EXPECT_EQ(LNamed.GetInner(), nullptr);
  ResetAnswers();
}

TEST(KvFileLoadSource, ReadsTheFileAndCompanionsOfItsFolderOnly) {
  const fs::path LFolder = MakeTempFolder("files");
  WriteFile(LFolder / "Picture.SCR", {1, 2, 3});
  WriteFile(LFolder / "picture.pal", {9, 8});
  fs::create_directories(LFolder / "sub");
  WriteFile(LFolder / "sub" / "x.pal", {7});
  WriteFile(LFolder.parent_path() / ("kvsrc_outside_" + std::to_string(::getpid())), {5});

  TKvFileLoadSource LSource((LFolder / "Picture.SCR").string());
  EXPECT_EQ(LSource.GetFileName(), "Picture.SCR");
  EXPECT_EQ(LSource.GetExtension(), ".scr");
  ASSERT_EQ(LSource.GetSize(), 3);
  EXPECT_EQ(LSource.GetData()[2], 3);

  // The opened file comes from the cache whatever the case of the name.
  fs::remove(LFolder / "Picture.SCR");
  const TKvLoadSourceRec* LSelf = LSource.GetFile("PICTURE.scr");
  ASSERT_NE(LSelf, nullptr);
  EXPECT_EQ(LSelf->Data, LSource.GetData());

  // Companion names are matched without regard to case; earlier records stay valid.
  const TKvLoadSourceRec* LPal = LSource.GetFile("PICTURE.PAL");
  ASSERT_NE(LPal, nullptr);
  EXPECT_EQ(LPal->Ext, ".pal");
  EXPECT_EQ(LPal->Size, 2);
  EXPECT_EQ(LSource.GetData()[0], 1);

  // Names that would leave the folder give nothing.
  for (const std::string& LName : {std::string("sub/x.pal"), std::string("../kvsrc_outside_") + std::to_string(::getpid()),
                                  std::string(".."), std::string(""), std::string("/etc/passwd"),
                                  std::string("..\\x.pal"), std::string("missing.kit")})
    EXPECT_EQ(LSource.GetFile(LName), nullptr) << LName;

  // A missing file gives an empty source.
  TKvFileLoadSource LMissing((LFolder / "none.scr").string());
  EXPECT_EQ(LMissing.GetSize(), 0);
  EXPECT_EQ(LMissing.GetData(), nullptr);
  fs::remove(LFolder.parent_path() / ("kvsrc_outside_" + std::to_string(::getpid())));
  fs::remove_all(LFolder);
}

TEST(KvDataReader, ChecksEveryReadCopyAndSkip) {
  const uint8_t LData[] = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAA};
  TKvDataReader LReader(LData, sizeof(LData));
  uint8_t LByte = 0;
  uint16_t LWord = 0;
  uint32_t LLong = 0;
  ASSERT_TRUE(LReader.ReadByte(LByte));
  EXPECT_EQ(LByte, 1);
  ASSERT_TRUE(LReader.ReadWord(LWord));
  EXPECT_EQ(LWord, 0x1234);
  ASSERT_TRUE(LReader.ReadLongWord(LLong));
  EXPECT_EQ(LLong, 0x12345678u);
  EXPECT_EQ(LReader.GetRemaining(), 1);
  EXPECT_FALSE(LReader.ReadWord(LWord));
  EXPECT_FALSE(LReader.ReadLongWord(LLong));
  EXPECT_FALSE(LReader.Skip(2));
  EXPECT_FALSE(LReader.Skip(-1));
  uint8_t LBuffer[4] = {};
  EXPECT_FALSE(LReader.Read(LBuffer, 2));
  EXPECT_FALSE(LReader.Read(LBuffer, -1));
  const uint8_t* LBlock = LData;
  EXPECT_FALSE(LReader.ReadPointer(LBlock, 2));
  EXPECT_EQ(LBlock, nullptr);
  EXPECT_EQ(LReader.GetRemaining(), 1);  // failures move nothing
  ASSERT_TRUE(LReader.ReadPointer(LBlock, 1));
  EXPECT_EQ(*LBlock, 0xAA);
  EXPECT_FALSE(LReader.ReadByte(LByte));
  EXPECT_TRUE(LReader.Skip(0));
}

TEST(KvSourceEngine, HelpersForImporters) {
  std::vector<uint8_t> LData(4, 0);
  TKvMemoryLoadSource LSource("a.scr", LData.data(), 4, false);
  TImporterA LEngine(LSource);
  EXPECT_EQ(LEngine.Palette->Count, 0);
  EXPECT_EQ(LEngine.ColorCount, 16);
  EXPECT_EQ(LEngine.PixelAspect, 10);

  int LPaper = 0, LInk = 0;
  TKvSourceEngine::DecodeZxAttribute(0x47, LPaper, LInk);
  EXPECT_EQ(LInk, 15);
  EXPECT_EQ(LPaper, 8);
  TKvSourceEngine::DecodeZxAttribute(0xC7, LPaper, LInk);
  EXPECT_EQ(LInk, 15);
  EXPECT_EQ(LPaper, 8);
  TKvSourceEngine::DecodeZxAttribute(0x3A, LPaper, LInk);
  EXPECT_EQ(LInk, 2);
  EXPECT_EQ(LPaper, 7);

  LEngine.SetZxSpectrumPalette(0xCD);
  ASSERT_EQ(LEngine.Palette->Count, 16);
  EXPECT_EQ(LEngine.Palette->GetStdRGB(2), StdRGBColor(0xCD, 0, 0));
  EXPECT_EQ(LEngine.Palette->GetStdRGB(5), StdRGBColor(0, 0xCD, 0xCD));
  EXPECT_EQ(LEngine.Palette->GetStdRGB(14), StdRGBColor(255, 255, 0));

  LEngine.SetMonoGigaScreenPalette();
  EXPECT_EQ(LEngine.ColorCount, 2);
  ASSERT_EQ(LEngine.Palette2->Count, 2);
  EXPECT_EQ(LEngine.Palette->Count, 4);

  const uint8_t LBytes[] = {0x01, 0x80, 0xF0};
  const uint8_t* LPtr = LBytes;
  uint8_t LOut[3] = {};
  TKvSourceEngine::ReadBytesReversed(LOut, LPtr, 3);
  EXPECT_EQ(LPtr, LBytes + 3);
  EXPECT_EQ(LOut[0], 0x80);
  EXPECT_EQ(LOut[1], 0x01);
  EXPECT_EQ(LOut[2], 0x0F);

  LEngine.Width = 256;
  LEngine.Height = 192;
  LEngine.Bits = 4;
  EXPECT_EQ(LEngine.GetSizeText(), " 256x192x4");
}

TEST(KvSourceEngine, PixelWritersFollowTheirBitOrder) {
  TKvBitmap8 LMain(16, 2, nullptr);
  TKvBitmap8 LPlaneA(16, 2, nullptr);
  TKvBitmap8 LPlaneB(16, 2, nullptr);
  auto Row = [](TKvBitmap8& B, int Y, int AFrom, int ACount) {
    std::string LText;
    for (int x = AFrom; x < AFrom + ACount; ++x) LText += std::to_string(B.GetPixel(x, Y)) + ",";
    return LText;
  };
  // 8 pixels a byte from bit 7, and from bit 0.
  TKvSourceEngine::PutPlanes2x1(&LMain, &LPlaneA, &LPlaneB, 0x81, 0x03, 1, 0, 8);
  EXPECT_EQ(Row(LMain, 0, 8, 8), "2,0,0,0,0,0,1,3,");
  EXPECT_EQ(Row(LPlaneA, 0, 8, 8), "1,0,0,0,0,0,0,1,");
  TKvSourceEngine::PutPlanes2x1Lsb(&LMain, nullptr, nullptr, 0x81, 0x03, 0, 1, 3);
  EXPECT_EQ(Row(LMain, 1, 0, 4), "3,1,0,0,");  // only three pixels written
  // 2-bit and 4-bit forms.
  TKvSourceEngine::PutPixels2Bit(&LMain, 0x1B, 0, 0, 4);
  EXPECT_EQ(Row(LMain, 0, 0, 4), "0,1,2,3,");
  TKvSourceEngine::PutPixels4Bit(&LMain, 0x5A, 2, 0, 2);
  EXPECT_EQ(Row(LMain, 0, 4, 2), "10,5,");  // the low nibble first
  TKvSourceEngine::PutPlanes2x4(&LMain, nullptr, &LPlaneB, 0x5A, 0x21, 3, 1, 2);
  EXPECT_EQ(Row(LMain, 1, 6, 2), "82,161,");
  EXPECT_EQ(Row(LPlaneB, 1, 6, 2), "2,1,");
  TKvSourceEngine::PutPlanes2x2(&LMain, nullptr, nullptr, 0xE4, 0x1B, 2, 1, 4);
  EXPECT_EQ(Row(LMain, 1, 8, 4), "12,9,6,3,");
  // Ink and paper.
  TKvSourceEngine::PutInkPaperByte(&LMain, 0xA0, 7, 9, 0, 0, 8);
  EXPECT_EQ(Row(LMain, 0, 0, 4), "9,7,9,7,");
  TKvSourceEngine::PutInkPaperNibble(&LMain, 0x5F, 1, 2, 3, 0, 8);
  EXPECT_EQ(Row(LMain, 0, 12, 4), "1,2,1,2,");
  TKvSourceEngine::PutInkPaperPlanes(&LMain, &LPlaneA, &LPlaneB, 0x80, 0x00, 1, 2, 3, 4, 1, 1, 1);
  EXPECT_EQ(Row(LMain, 1, 8, 1), "35,");
  // Rows move their pointers; pixels beyond the bitmap are skipped.
  const uint8_t LBytes[] = {0xFF, 0x00, 0x55};
  const uint8_t* LP = LBytes;
  TKvSourceEngine::PutPixels2BitRow(&LMain, LP, 3, 0, 3);
  EXPECT_EQ(LP, LBytes + 3);
  EXPECT_EQ(Row(LMain, 0, 12, 4), "3,3,3,3,");
}
