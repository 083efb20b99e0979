#include "app/KvSourceEngines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/KvBitmap.h"
#include "rtl/KvSysUtils.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<std::vector<const TKvSourceEngineClass*>> GSourceEngines;

// Files are read whole only below this size.
constexpr int64_t MaxLoadSourceSize = 0xA00000;

std::string LowerAscii(std::string A) {
  for (char& c : A) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return A;
}

bool SameTextAscii(const std::string& A, const std::string& B) { return LowerAscii(A) == LowerAscii(B); }

// The payload behind a +3DOS header: a 128-byte header whose length field
// gives the whole file size and whose last byte sums the others.
bool FindPlus3DosPayload(const TKvBytes& AData, TKvBytes& APayload) {
  if (AData.Size() <= 128) return false;
  if (!AData.Same(0, "PLUS3DOS\x1A", 9)) return false;
  if (AData.Le32(11) != static_cast<uint64_t>(AData.Size())) return false;
  unsigned sum = 0;
  for (uint8_t b : AData.Row(0, 127)) sum += b;
  if ((sum & 0xFF) != AData.U8(127)) return false;
  APayload = AData.Sub(128);
  return true;
}

// The payload behind a Hobeta header: 17 bytes with the data length, the
// sector-rounded length and a weighted sum of the first 15 bytes.
bool FindHobetaPayload(const TKvBytes& AData, TKvBytes& APayload) {
  if (AData.Size() < 18) return false;
  const int64_t length = AData.Le16(11);
  const int64_t sectors = AData.Le16(13);
  if (length == 0) return false;
  if (sectors < 256 || sectors % 256 != 0) return false;
  if (sectors != 256 * ((length + 255) / 256)) return false;
  if (AData.Size() != sectors + 17) return false;
  unsigned sum = 0;
  for (unsigned i = 0; i <= 14; ++i) sum += AData.U8(i) * 257u + i;
  if ((sum & 0xFFFF) != AData.Le16(15)) return false;
  APayload = AData.Sub(17, length);
  return true;
}

// A companion file name must name a file of the picture's own folder.
bool IsPlainFileName(const std::string& AName) {
  if (AName.empty() || AName == "." || AName == "..") return false;
  return AName.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

}  // namespace

int MatchFlagsRank(TKvMatchFlags AFlags) {
  int LRank = 0;
  if (AFlags & mfHeader) LRank += 8;
  if (AFlags & mfExtension) LRank += 4;
  if (AFlags & mfName) LRank += 2;
  if (AFlags & mfSize) LRank += 1;
  return LRank;
}

std::string LowerFileExt(const std::string& AFileName) {
  const size_t LDot = AFileName.find_last_of(".\\/");
  if (LDot == std::string::npos || AFileName[LDot] != '.') return std::string();
  return LowerAscii(AFileName.substr(LDot));
}

// TKvLoadSource

TKvLoadSource::~TKvLoadSource() = default;

const TKvLoadSourceRec* TKvLoadSource::GetFile(const std::string&) { return nullptr; }

std::unique_ptr<TKvSourceEngineList> TKvLoadSource::MatchEngines(
    const std::vector<const TKvSourceEngineClass*>& AClasses) {
  auto LList = std::make_unique<TKvSourceEngineList>();
  for (const TKvSourceEngineClass* LClass : AClasses) {
    try {
      const TKvMatchFlags LFlags = LClass->Match(*this);
      if (LFlags == 0) continue;
      std::unique_ptr<TKvSourceEngine> LEngine = LClass->Create(*this);
      LEngine->MatchFlags = LFlags;
      LEngine->Rank = MatchFlagsRank(LFlags);
      LList->Add(std::move(LEngine));
    } catch (...) {
      // A class that fails to probe or to construct is simply not offered.
    }
  }
  LList->Sort();
  return LList;
}

std::unique_ptr<TKvSourceEngineList> TKvLoadSource::FindEngines() { return FindEngines(SourceEngineClasses()); }

std::unique_ptr<TKvSourceEngineList> TKvLoadSource::FindEngines(
    const std::vector<const TKvSourceEngineClass*>& AClasses) {
  auto LList = MatchEngines(AClasses);
  if (LList->GetCount() > 0 || FInner) return LList;
  const TKvBytes data(FData, FSize);
  TKvBytes payload;
  if (!FindPlus3DosPayload(data, payload) && !FindHobetaPayload(data, payload)) return LList;
  LList.reset();
  FInner =
      std::make_unique<TKvMemoryLoadSource>("file.dat", payload.Data(), static_cast<int32_t>(payload.Size()), false);
  return FInner->MatchEngines(AClasses);
}

// TKvFileLoadSource

TKvFileLoadSource::TKvFileLoadSource(const std::string& AFileName) {
  const fs::path LPath(AFileName);
  FFolder = LPath.parent_path().string();
  if (!FFolder.empty() && FFolder.back() != '/') FFolder += '/';
  if (const TKvLoadSourceRec* LRec = GetFile(LPath.filename().string())) {
    FFileName = LRec->Name;
    FExtension = LRec->Ext;
    FData = LRec->Data;
    FSize = LRec->Size;
  }
}

const TKvLoadSourceRec* TKvFileLoadSource::GetFile(const std::string& AName) {
  for (const TKvLoadSourceRec& LRec : FFiles)
    if (SameTextAscii(LRec.Name, AName)) return &LRec;
  if (!IsPlainFileName(AName)) return nullptr;
  try {
    const fs::path LFolder = FFolder.empty() ? fs::path(".") : fs::path(FFolder);
    fs::path LFile = LFolder / AName;
    std::error_code LError;
    if (!fs::is_regular_file(LFile, LError)) {
      // Names are matched without regard to case, as the files' home systems do.
      LFile.clear();
      for (const fs::directory_entry& LEntry : fs::directory_iterator(LFolder, LError)) {
        if (SameTextAscii(LEntry.path().filename().string(), AName) && LEntry.is_regular_file(LError)) {
          LFile = LEntry.path();
          break;
        }
      }
      if (LFile.empty()) return nullptr;
    }
    std::ifstream LStream(LFile, std::ios::binary);
    if (!LStream) return nullptr;
    LStream.seekg(0, std::ios::end);
    const int64_t LSize = static_cast<int64_t>(LStream.tellg());
    if (LSize < 0 || LSize >= MaxLoadSourceSize) return nullptr;
    LStream.seekg(0, std::ios::beg);
    TKvLoadSourceRec LRec;
    LRec.Name = AName;
    LRec.Ext = LowerFileExt(AName);
    LRec.Bytes.resize(static_cast<size_t>(LSize));
    if (LSize > 0 && !LStream.read(reinterpret_cast<char*>(LRec.Bytes.data()), LSize)) return nullptr;
    LRec.Data = LRec.Bytes.data();
    LRec.Size = static_cast<int32_t>(LSize);
    FFiles.push_back(std::move(LRec));
    return &FFiles.back();
  } catch (...) {
    return nullptr;
  }
}

// TKvMemoryLoadSource

TKvMemoryLoadSource::TKvMemoryLoadSource(const std::string& AName, const uint8_t* AData, int32_t ASize,
                                         bool AOwnsData)
    : FOwnsData(AOwnsData) {
  FFileName = AName;
  FExtension = LowerFileExt(AName);
  FData = AData;
  FSize = ASize;
}

TKvMemoryLoadSource::~TKvMemoryLoadSource() {
  if (FOwnsData) delete[] FData;
}

// TKvSourceEngine

TKvSourceEngine::TKvSourceEngine(TKvLoadSource& ASource)
    : Source(&ASource), FileName(ASource.GetFileName()), Palette(std::make_unique<TKvPalette256>()) {}

TKvSourceEngine::~TKvSourceEngine() = default;

std::unique_ptr<TKvBitmap> TKvSourceEngine::Decode() { return nullptr; }

void TKvSourceEngine::GetVariantPalette(int, TKvPalette256&) {}

void TKvSourceEngine::NeedPalette2() {
  if (!Palette2) Palette2 = std::make_unique<TKvPalette256>();
}

void TKvSourceEngine::MakeGigaScreenPalette() {
  NeedPalette2();
  Palette2->Assign(Palette.get());
  Palette->Clear();
  Palette->FillMixtures(Palette2.get(), 100, 0);
  ColorCount = Palette2->Count;
}

void TKvSourceEngine::SetMonoPalette(bool AInverted) {
  Palette->Clear();
  const TKvLinRGBColor LBlack = LinRGBColor(0, 0, 0);
  const TKvLinRGBColor LWhite = LinRGBColor(1, 1, 1);
  Palette->AddLinRGB(AInverted ? LWhite : LBlack);
  Palette->AddLinRGB(AInverted ? LBlack : LWhite);
  ColorCount = 2;
}

void TKvSourceEngine::SetMonoGigaScreenPalette() {
  SetMonoPalette(false);
  MakeGigaScreenPalette();
}

void TKvSourceEngine::SetZxSpectrumPalette(uint8_t ALevel) {
  Palette->Clear();
  for (const uint8_t LLevel : {ALevel, uint8_t(255)})
    for (int i = 0; i < 8; ++i)
      Palette->AddRGB((i & 2) ? LLevel : 0, (i & 4) ? LLevel : 0, (i & 1) ? LLevel : 0);
}

std::string TKvSourceEngine::GetSizeText() const {
  char LText[48];
  std::snprintf(LText, sizeof(LText), " %dx%dx%d", Width, Height, Bits);
  return LText;
}

int TKvSourceEngine::AddPaletteType(TKvPaletteType AType) {
  PaletteTypes.push_back(AType);
  return static_cast<int>(PaletteTypes.size());
}

void TKvSourceEngine::SetZxPaletteTypes() { PaletteTypes = {ptPulsar, ptColoredLinear, ptAlone}; }

namespace {

void PutPixel(TKvData* ABitmap, int X, int Y, int AValue) {
  if (ABitmap && X >= 0 && Y >= 0 && X < ABitmap->Width && Y < ABitmap->Height) ABitmap->SetPixel(X, Y, AValue);
}

int CapCount(int ACount, int APerByte) { return ACount < APerByte ? ACount : APerByte; }

// One pixel of two planes: each plane's value, and their combination
// AScale x A + B in the result.
void PutPlanePixel(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, int X, int Y, int AValueA, int AValueB,
                   int AScale) {
  PutPixel(ABitmap2, X, Y, AValueA);
  PutPixel(ABitmap3, X, Y, AValueB);
  PutPixel(ABitmap1, X, Y, AScale * AValueA + AValueB);
}

}  // namespace

void TKvSourceEngine::PutPlanes2x1Lsb(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B,
                                      int ACol, int Y, int ACount) {
  const int LCount = CapCount(ACount, 8);
  for (int i = 0; i < LCount; ++i) {
    const int LA = (A >> i) & 1;
    const int LB = (B >> i) & 1;
    PutPlanePixel(ABitmap1, ABitmap2, ABitmap3, ACol * 8 + i, Y, LA, LB, 2);
  }
}

void TKvSourceEngine::PutPlanes2x1(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B,
                                   int ACol, int Y, int ACount) {
  const int LCount = CapCount(ACount, 8);
  for (int i = 0; i < LCount; ++i) {
    const int LA = (A >> (7 - i)) & 1;
    const int LB = (B >> (7 - i)) & 1;
    PutPlanePixel(ABitmap1, ABitmap2, ABitmap3, ACol * 8 + i, Y, LA, LB, 2);
  }
}

void TKvSourceEngine::PutPlanes2x1Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, const uint8_t*& APA,
                                      const uint8_t*& APB, int ACol, int Y, int ACount) {
  for (int i = 0; i < ACount; ++i) PutPlanes2x1(ABitmap1, ABitmap2, ABitmap3, *APA++, *APB++, ACol + i, Y, 8);
}

void TKvSourceEngine::PutPixels2Bit(TKvData* ABitmap, uint8_t A, int ACol, int Y, int ACount) {
  const int LCount = CapCount(ACount, 4);
  for (int i = 0; i < LCount; ++i) PutPixel(ABitmap, ACol * 4 + i, Y, (A >> (6 - 2 * i)) & 3);
}

void TKvSourceEngine::PutPixels2BitRow(TKvData* ABitmap, const uint8_t*& AP, int ACol, int Y, int ACount) {
  for (int i = 0; i < ACount; ++i) PutPixels2Bit(ABitmap, *AP++, ACol + i, Y, 4);
}

void TKvSourceEngine::PutPlanes2x2(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B,
                                   int ACol, int Y, int ACount) {
  const int LCount = CapCount(ACount, 4);
  for (int i = 0; i < LCount; ++i) {
    const int LA = (A >> (6 - 2 * i)) & 3;
    const int LB = (B >> (6 - 2 * i)) & 3;
    PutPlanePixel(ABitmap1, ABitmap2, ABitmap3, ACol * 4 + i, Y, LA, LB, 4);
  }
}

void TKvSourceEngine::PutPlanes2x2Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, const uint8_t*& APA,
                                      const uint8_t*& APB, int ACol, int Y, int ACount) {
  for (int i = 0; i < ACount; ++i) PutPlanes2x2(ABitmap1, ABitmap2, ABitmap3, *APA++, *APB++, ACol + i, Y, 4);
}

void TKvSourceEngine::PutPixels4Bit(TKvData* ABitmap, uint8_t A, int ACol, int Y, int ACount) {
  const int LCount = CapCount(ACount, 2);
  for (int i = 0; i < LCount; ++i) PutPixel(ABitmap, ACol * 2 + i, Y, i == 0 ? (A & 15) : (A >> 4));
}

void TKvSourceEngine::PutPlanes2x4(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B,
                                   int ACol, int Y, int ACount) {
  const int LCount = CapCount(ACount, 2);
  for (int i = 0; i < LCount; ++i) {
    const int LA = i == 0 ? (A >> 4) : (A & 15);
    const int LB = i == 0 ? (B >> 4) : (B & 15);
    PutPlanePixel(ABitmap1, ABitmap2, ABitmap3, ACol * 2 + i, Y, LA, LB, 16);
  }
}

void TKvSourceEngine::PutPlanes2x4Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, const uint8_t*& APA,
                                      const uint8_t*& APB, int ACol, int Y, int ACount) {
  for (int i = 0; i < ACount; ++i) PutPlanes2x4(ABitmap1, ABitmap2, ABitmap3, *APA++, *APB++, ACol + i, Y, 2);
}

void TKvSourceEngine::PutInkPaperByte(TKvData* ABitmap, uint8_t A, int APaper, int AInk, int ACol, int Y,
                                      int ACount) {
  const int LCount = CapCount(ACount, 8);
  for (int i = 0; i < LCount; ++i) PutPixel(ABitmap, ACol * 8 + i, Y, ((A >> (7 - i)) & 1) ? AInk : APaper);
}

void TKvSourceEngine::PutInkPaperPlanes(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A,
                                        uint8_t B, int APaperA, int AInkA, int APaperB, int AInkB, int ACol, int Y,
                                        int ACount) {
  const int LCount = CapCount(ACount, 8);
  for (int i = 0; i < LCount; ++i) {
    const int LA = ((A >> (7 - i)) & 1) ? AInkA : APaperA;
    const int LB = ((B >> (7 - i)) & 1) ? AInkB : APaperB;
    PutPlanePixel(ABitmap1, ABitmap2, ABitmap3, ACol * 8 + i, Y, LA, LB, 16);
  }
}

void TKvSourceEngine::PutInkPaperNibble(TKvData* ABitmap, uint8_t A, int APaper, int AInk, int ACol, int Y,
                                        int ACount) {
  const int LCount = CapCount(ACount, 4);
  for (int i = 0; i < LCount; ++i) PutPixel(ABitmap, ACol * 4 + i, Y, ((A >> (7 - i)) & 1) ? AInk : APaper);
}

void TKvSourceEngine::DecodeZxAttribute(uint8_t AAttr, int& APaper, int& AInk) {
  AInk = AAttr & 7;
  APaper = (AAttr >> 3) & 7;
  if (AAttr & 0x40) {
    AInk += 8;
    APaper += 8;
  }
}

void TKvSourceEngine::ReadBytes(void* ADest, const uint8_t*& ASrc, int ACount) {
  if (ACount <= 0) return;
  std::memcpy(ADest, ASrc, static_cast<size_t>(ACount));
  ASrc += ACount;
}

void TKvSourceEngine::ReadBytesReversed(void* ADest, const uint8_t*& ASrc, int ACount) {
  static const auto Reversed = [] {
    std::array<uint8_t, 256> LTable{};
    for (int i = 0; i < 256; ++i) {
      int LValue = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) LValue |= 0x80 >> b;
      LTable[static_cast<size_t>(i)] = static_cast<uint8_t>(LValue);
    }
    return LTable;
  }();
  uint8_t* LDest = static_cast<uint8_t*>(ADest);
  for (int i = 0; i < ACount; ++i) LDest[i] = Reversed[*ASrc++];
}

void TKvSourceEngine::ReadBytes(void* ADest, std::span<const uint8_t> ARow) {
  const uint8_t* p = ARow.data();
  ReadBytes(ADest, p, static_cast<int>(ARow.size()));
}

void TKvSourceEngine::ReadBytesReversed(void* ADest, std::span<const uint8_t> ARow) {
  const uint8_t* p = ARow.data();
  ReadBytesReversed(ADest, p, static_cast<int>(ARow.size()));
}

void TKvSourceEngine::PutPlanes2x1Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3,
                                      std::span<const uint8_t> ARowA, std::span<const uint8_t> ARowB, int ACol, int Y) {
  const uint8_t *a = ARowA.data(), *b = ARowB.data();
  PutPlanes2x1Row(ABitmap1, ABitmap2, ABitmap3, a, b, ACol, Y, static_cast<int>(std::min(ARowA.size(), ARowB.size())));
}

void TKvSourceEngine::PutPixels2BitRow(TKvData* ABitmap, std::span<const uint8_t> ARow, int ACol, int Y) {
  const uint8_t* p = ARow.data();
  PutPixels2BitRow(ABitmap, p, ACol, Y, static_cast<int>(ARow.size()));
}

void TKvSourceEngine::PutPlanes2x2Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3,
                                      std::span<const uint8_t> ARowA, std::span<const uint8_t> ARowB, int ACol, int Y) {
  const uint8_t *a = ARowA.data(), *b = ARowB.data();
  PutPlanes2x2Row(ABitmap1, ABitmap2, ABitmap3, a, b, ACol, Y, static_cast<int>(std::min(ARowA.size(), ARowB.size())));
}

// TKvSourceEngineList

TKvSourceEngineList::~TKvSourceEngineList() {
  while (!FItems.empty()) FItems.pop_back();
}

int TKvSourceEngineList::Add(std::unique_ptr<TKvSourceEngine> AEngine) {
  FItems.push_back(std::move(AEngine));
  return static_cast<int>(FItems.size()) - 1;
}

void TKvSourceEngineList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const std::unique_ptr<TKvSourceEngine>& A, const std::unique_ptr<TKvSourceEngine>& B) {
                     return A->Rank > B->Rank;
                   });
}

// Registry

const std::vector<const TKvSourceEngineClass*>& SourceEngineClasses() {
  if (!GSourceEngines) throw Exception("Internal error");
  return *GSourceEngines;
}

void RegisterSourceEngine(const TKvSourceEngineClass& AClass) {
  if (!GSourceEngines) throw Exception("Internal error");
  GSourceEngines->push_back(&AClass);
}

void InitKvSourceEngines() { GSourceEngines = std::make_unique<std::vector<const TKvSourceEngineClass*>>(); }

void DoneKvSourceEngines() { GSourceEngines.reset(); }

// TKvDataReader

void TKvDataReader::Init(const void* AData, int64_t ASize) {
  FBytes = TKvBytes(static_cast<const uint8_t*>(AData), ASize);
  FOffset = 0;
}

bool TKvDataReader::ReadByte(uint8_t& AByte) {
  if (!FBytes.Has(FOffset, 1)) return false;
  AByte = FBytes.U8(FOffset);
  FOffset += 1;
  return true;
}

bool TKvDataReader::ReadWord(uint16_t& AWord) {
  if (!FBytes.Has(FOffset, 2)) return false;
  AWord = FBytes.Le16(FOffset);
  FOffset += 2;
  return true;
}

bool TKvDataReader::ReadLongWord(uint32_t& AValue) {
  if (!FBytes.Has(FOffset, 4)) return false;
  AValue = FBytes.Le32(FOffset);
  FOffset += 4;
  return true;
}

bool TKvDataReader::Read(void* ABuffer, int64_t ACount) {
  if (!FBytes.Has(FOffset, ACount)) return false;
  FBytes.Read(FOffset, ABuffer, ACount);
  FOffset += ACount;
  return true;
}

bool TKvDataReader::ReadBlock(TKvBytes& ABlock, int64_t ACount) {
  if (!FBytes.Has(FOffset, ACount)) {
    ABlock = TKvBytes();
    return false;
  }
  ABlock = FBytes.Sub(FOffset, ACount);
  FOffset += ACount;
  return true;
}

bool TKvDataReader::ReadPointer(const uint8_t*& ABlock, int64_t ACount) {
  if (!FBytes.Has(FOffset, ACount)) {
    ABlock = nullptr;
    return false;
  }
  ABlock = GetPosition();
  FOffset += ACount;
  return true;
}

bool TKvDataReader::Skip(int64_t ACount) {
  if (!FBytes.Has(FOffset, ACount)) return false;
  FOffset += ACount;
  return true;
}
