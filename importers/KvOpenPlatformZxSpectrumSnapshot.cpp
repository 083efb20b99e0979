#include "importers/KvOpenPlatformZxSpectrumSnapshot.h"

#include <cstring>
#include <new>

#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "importers/KvZLib.h"
#include "platforms/KvPlatformZxSpectrum.h"

// What a container walk found: the bytes to hand on, the name they go under
// and the importer that reads them. Buffer holds the bytes when the walk had
// to unpack them; otherwise they lie inside the container file.
struct TKvZxSnapshotScreen {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  std::unique_ptr<uint8_t[]> Buffer;
  const TKvSourceEngineClass* Class = nullptr;
  std::string Name = "screen.scr";

  explicit operator bool() const { return Data != nullptr && Class != nullptr; }
};

namespace {

constexpr TKvMatchFlags kHeaderAndSize = mfHeader | mfSize;                   // 9
constexpr TKvMatchFlags kHeaderSizeAndExt = mfHeader | mfSize | mfExtension;  // 11

// Unpacked snapshots larger than any file this program opens are refused
// before anything is allocated.
constexpr int64_t kMaxUnpackedSize = 0xA00000;

TKvMatchFlags HeaderMatch(const TKvLoadSource& ASource, const char* AExt) {
  return ASource.GetExtension() == AExt ? kHeaderSizeAndExt : kHeaderAndSize;
}

bool HasSignature(const TKvLoadSource& ASource, const char* ASignature, int32_t AMinSize) {
  return ASource.GetSize() >= AMinSize && ASource.GetData() &&
         std::memcmp(ASource.GetData(), ASignature, std::strlen(ASignature)) == 0;
}

uint32_t Get24(const uint8_t* P) { return P[0] | (P[1] << 8) | (static_cast<uint32_t>(P[2]) << 16); }
uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t Get32(const uint8_t* P) { return Get24(P) | (static_cast<uint32_t>(P[3]) << 24); }

// Screen bytes that stay inside the container, read by AClass.
TKvZxSnapshotScreen InPlace(const uint8_t* AData, int64_t ASize, const TKvSourceEngineClass& AClass) {
  TKvZxSnapshotScreen LFound;
  LFound.Data = AData;
  LFound.Size = ASize;
  LFound.Class = &AClass;
  return LFound;
}

// A fresh copy of a 6912-byte screen for the colour screen importer.
TKvZxSnapshotScreen Unpacked(std::unique_ptr<uint8_t[]> ABuffer) {
  TKvZxSnapshotScreen LFound;
  LFound.Buffer = std::move(ABuffer);
  LFound.Data = LFound.Buffer.get();
  LFound.Size = ZxScreenSize;
  LFound.Class = &SourceEngineClass<TKvZxSpectrumColorEngine>();
  return LFound;
}

const TKvSourceEngineClass& ColorScreenClass() { return SourceEngineClass<TKvZxSpectrumColorEngine>(); }

// The screen importers a tape's data block may hold: the bitmap alone or the
// whole screen.
const std::vector<const TKvSourceEngineClass*>& SnapshotScreenEngines() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvZxSpectrumBWEngine>(),
      &SourceEngineClass<TKvZxSpectrumColorEngine>(),
  };
  return LClasses;
}

// The best screen importer for ASize bytes taken as "screen.scr", or nullptr.
const TKvSourceEngineClass* FindScreenEngineClass(const uint8_t* AData, int64_t ASize) {
  try {
    TKvMemoryLoadSource LSource("screen.scr", AData, static_cast<int32_t>(ASize), false);
    auto LList = LSource.MatchEngines(SnapshotScreenEngines());
    LList->Sort();
    if (LList->GetCount() == 0) return nullptr;
    return &LList->GetEngine(0)->ClassType();
  } catch (...) {
    return nullptr;
  }
}

// ---------------------------------------------------------------------------
// TAP: blocks of a 16-bit length, a flag byte, the payload and an XOR
// checksum. Header blocks (flag 0) are passed over; the first data block
// (flag 255) whose payload a screen importer takes is the screen.

TKvZxSnapshotScreen FindTapScreen(const uint8_t* AData, int64_t ASize) {
  TKvDataReader LReader(AData, ASize);
  for (;;) {
    uint16_t LLength;
    const uint8_t* LBlock;
    if (!LReader.ReadWord(LLength) || LLength < 2 || !LReader.ReadPointer(LBlock, LLength)) return {};
    uint8_t LSum = 0;
    for (int i = 0; i < LLength - 1; ++i) LSum ^= LBlock[i];
    if (LSum != LBlock[LLength - 1]) return {};
    const uint8_t LFlag = LBlock[0];
    if (LFlag == 0) continue;
    if (LFlag != 255) return {};
    if (LLength < 3) continue;
    if (const TKvSourceEngineClass* LClass = FindScreenEngineClass(LBlock + 1, LLength - 2))
      return InPlace(LBlock + 1, LLength - 2, *LClass);
  }
}

// ---------------------------------------------------------------------------
// TZX: "ZXTape!" and 0x1A (or 0x00), two version bytes, then blocks of an ID
// byte and a body whose size each ID defines. The first standard or turbo
// data block of 6914 bytes (flag, screen, checksum) holds the screen.

bool IsTzxHeader(const uint8_t* AData) {
  return std::memcmp(AData, "ZXTape!", 7) == 0 && (AData[7] == 0x1A || AData[7] == 0x00);
}

TKvZxSnapshotScreen FindTzxScreen(const uint8_t* AData, int64_t ASize) {
  TKvDataReader LReader(AData, ASize);
  if (!LReader.Skip(10)) return {};
  // The data block of the screen: its flag byte, then the screen.
  auto LTakeScreen = [&LReader]() -> TKvZxSnapshotScreen {
    const uint8_t* LScreen;
    if (!LReader.Skip(1) || !LReader.ReadPointer(LScreen, ZxScreenSize)) return {};
    return InPlace(LScreen, ZxScreenSize, ColorScreenClass());
  };
  for (;;) {
    uint8_t LId, LByte;
    uint16_t LWord;
    uint32_t LLong;
    uint8_t LHead[18];
    // Every length read is unsigned and skipped as a 64-bit count, so a
    // length beyond the file ends the walk instead of moving backwards.
    bool LOk;
    if (!LReader.ReadByte(LId)) return {};
    switch (LId) {
      case 0x10:
        if (!LReader.Read(LHead, 4)) return {};
        if (Get16(LHead + 2) == 6914) return LTakeScreen();
        LOk = LReader.Skip(Get16(LHead + 2));
        break;
      case 0x11:
        if (!LReader.Read(LHead, 18)) return {};
        if (Get24(LHead + 15) == 6914) return LTakeScreen();
        LOk = LReader.Skip(Get24(LHead + 15));
        break;
      case 0x12:
        LOk = LReader.Skip(4);
        break;
      case 0x13:
        LOk = LReader.ReadByte(LByte) && LReader.Skip(2 * int64_t{LByte});
        break;
      case 0x14:
        LOk = LReader.Read(LHead, 10) && LReader.Skip(Get24(LHead + 7));
        break;
      case 0x15:
        LOk = LReader.Read(LHead, 8) && LReader.Skip(Get24(LHead + 5));
        break;
      case 0x16:
      case 0x17:
      case 0x18:
      case 0x19:
      case 0x2A:
      case 0x2B:
        LOk = LReader.ReadLongWord(LLong) && LReader.Skip(int64_t{LLong});
        break;
      case 0x20:
      case 0x23:
      case 0x24:
        LOk = LReader.Skip(2);
        break;
      case 0x21:
      case 0x30:
        LOk = LReader.ReadByte(LByte) && LReader.Skip(LByte);
        break;
      case 0x22:
      case 0x25:
      case 0x27:
        LOk = true;
        break;
      case 0x26:
        LOk = LReader.ReadWord(LWord) && LReader.Skip(2 * int64_t{LWord});
        break;
      case 0x28:
      case 0x32:
        LOk = LReader.ReadWord(LWord) && LReader.Skip(LWord);
        break;
      case 0x31:
        LOk = LReader.Skip(1) && LReader.ReadByte(LByte) && LReader.Skip(LByte);
        break;
      case 0x33:
        LOk = LReader.ReadByte(LByte) && LReader.Skip(3 * int64_t{LByte});
        break;
      case 0x35:
        LOk = LReader.Skip(16) && LReader.ReadLongWord(LLong) && LReader.Skip(int64_t{LLong});
        break;
      case 0x5A:
        LOk = LReader.Skip(9);
        break;
      default:
        return {};
    }
    if (!LOk) return {};
  }
}

// ---------------------------------------------------------------------------
// SP: a 38-byte header ("SP", length, start 0x4000) before the memory from
// 0x4000, so the screen comes first.

constexpr int kSpHeaderSize = 38;

bool IsSpHeader(const uint8_t* AData, int64_t ASize) {
  if (ASize < kSpHeaderSize || AData[0] != 'S' || AData[1] != 'P') return false;
  const uint16_t LLength = Get16(AData + 2);
  return (LLength == 0x4000 || LLength == 0xC000) && Get16(AData + 4) == 0x4000 && Get16(AData + 32) == 0 &&
         AData[35] == 0 && ASize == LLength + kSpHeaderSize;
}

// ---------------------------------------------------------------------------
// SNA: a 27-byte register header, then the 48K memory from 0x4000 (the 128K
// forms follow it with more state and pages).

constexpr int kSnaHeaderSize = 27;

bool IsSnaSize(int64_t ASize) { return ASize == 49179 || ASize == 131103 || ASize == 147487; }

// ---------------------------------------------------------------------------
// Z80 / SLT: a 30-byte header; version 1 holds the 48K memory (plain or run-
// length coded), versions 2 and 3 an extra header and memory pages.

// The run-length code of these snapshots: 0xED 0xED count value repeats
// value count times; any other byte stands for itself.
class TZ80RleReader {
public:
  explicit TZ80RleReader(TKvDataReader& AReader) : FReader(AReader) {}

  bool Next(uint8_t& AByte) {
    for (;;) {
      if (FEnd) return false;
      if (FCount > 0) {
        --FCount;
        AByte = FValue;
        return true;
      }
      uint8_t LByte, LNext;
      if (!Read(LByte)) return false;
      if (LByte != 0xED) {
        AByte = LByte;
        return true;
      }
      if (!Read(LNext)) return false;
      if (LNext != 0xED) {
        // A lone 0xED: the byte after it stands for itself.
        FValue = LNext;
        FCount = 1;
        AByte = 0xED;
        return true;
      }
      if (!Read(FCount) || !Read(FValue)) return false;
    }
  }

  // Fills ADest with the first ACount bytes; false when the data ends first.
  bool Fill(uint8_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
      if (!Next(ADest[i])) return false;
    return true;
  }

private:
  bool Read(uint8_t& AByte) {
    if (!FReader.ReadByte(AByte)) FEnd = true;
    return !FEnd;
  }

  TKvDataReader& FReader;
  uint8_t FValue = 0;
  uint8_t FCount = 0;
  bool FEnd = false;
};

std::unique_ptr<uint8_t[]> NewScreenBuffer() { return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[ZxScreenSize]); }

// The first 6912 bytes of plain or run-length coded memory, copied out.
TKvZxSnapshotScreen ReadScreen(TKvDataReader& AReader, bool APlain) {
  auto LBuffer = NewScreenBuffer();
  if (!LBuffer) return {};
  if (APlain) {
    if (!AReader.Read(LBuffer.get(), ZxScreenSize)) return {};
  } else {
    TZ80RleReader LRle(AReader);
    if (!LRle.Fill(LBuffer.get(), ZxScreenSize)) return {};
  }
  return Unpacked(std::move(LBuffer));
}

TKvZxSnapshotScreen FindZ80Screen(const uint8_t* AData, int64_t ASize) {
  TKvDataReader LReader(AData, ASize);
  uint8_t LHeader[30];
  if (!LReader.Read(LHeader, sizeof LHeader)) return {};
  const uint8_t LFlags = LHeader[12] == 0xFF ? 1 : LHeader[12];
  if (Get16(LHeader + 6) != 0) return ReadScreen(LReader, (LFlags & 0x20) == 0);

  uint16_t LExtraSize;
  if (!LReader.ReadWord(LExtraSize)) return {};
  uint8_t LWantedPage = 8;
  if (LExtraSize < 23) {
    if (!LReader.Skip(LExtraSize)) return {};
  } else {
    const uint8_t* LExtra;
    if (!LReader.ReadPointer(LExtra, LExtraSize)) return {};
    const uint8_t LMode = LExtra[2];
    const bool L128K = (LMode >= 4 && LMode <= 16) || (LMode == 3 && (LExtraSize == 23 || (LExtra[5] & 0x80)));
    // The 128K machines show RAM page 7 (page 10 here) when port 0x7FFD's
    // bit 3 selects the shadow screen.
    if (L128K && (LExtra[3] & 8)) LWantedPage = 10;
  }
  for (;;) {
    uint16_t LLength;
    uint8_t LPage;
    const uint8_t* LBlock;
    if (!LReader.ReadWord(LLength) || !LReader.ReadByte(LPage)) return {};
    const int64_t LSize = LLength == 0xFFFF ? 0x4000 : LLength;
    if (!LReader.ReadPointer(LBlock, LSize)) return {};
    if (LPage != LWantedPage) continue;
    TKvDataReader LBlockReader(LBlock, LSize);
    return ReadScreen(LBlockReader, LSize == 0x4000);
  }
}

// ---------------------------------------------------------------------------
// SZX: "ZXST" and a file header, then blocks of a 4-character ID and a
// 32-bit size. RAMP blocks hold the RAM pages, stored or deflated; a SPCR
// block before them tells which page the screen shows.

bool IsId(const uint8_t* AId, const char* AName) { return std::memcmp(AId, AName, 4) == 0; }

TKvZxSnapshotScreen FindSzxScreen(const uint8_t* AData, int64_t ASize) {
  TKvDataReader LReader(AData, ASize);
  if (!LReader.Skip(8)) return {};
  uint8_t LWantedPage = 5;
  for (;;) {
    uint8_t LId[4];
    uint32_t LSize32;
    if (!LReader.Read(LId, 4) || !LReader.ReadLongWord(LSize32)) return {};
    const int64_t LSize = LSize32;
    if (IsId(LId, "SPCR")) {
      uint8_t LPorts[4];
      if (LSize < 4 || !LReader.Read(LPorts, 4)) return {};
      if (LPorts[1] & 8) LWantedPage = 7;
      if (!LReader.Skip(LSize - 4)) return {};
      continue;
    }
    if (!IsId(LId, "RAMP")) {
      if (!LReader.Skip(LSize)) return {};
      continue;
    }
    uint8_t LRamp[3];
    if (LSize < 3 || !LReader.Read(LRamp, 3)) return {};
    if (LRamp[2] != LWantedPage) {
      if (!LReader.Skip(LSize - 3)) return {};
      continue;
    }
    const uint8_t* LPage;
    if (Get16(LRamp) & 1) {
      if (LSize == 3 || !LReader.ReadPointer(LPage, LSize - 3)) return {};
      auto LBuffer = NewScreenBuffer();
      if (!LBuffer || !InflateBuffer(LPage, LBuffer.get(), static_cast<size_t>(LSize - 3), ZxScreenSize)) return {};
      return Unpacked(std::move(LBuffer));
    }
    if (LSize - 3 < ZxScreenSize) return {};
    return ReadScreen(LReader, true);
  }
}

// ---------------------------------------------------------------------------
// RZX: "RZX!" and a file header, then blocks of an ID byte and a 32-bit
// length that counts the 5 header bytes. The first snapshot block (0x30)
// embeds a Z80 or SNA file, stored or deflated, which its own importer opens.

TKvZxSnapshotScreen FindRzxSnapshot(const uint8_t* AData, int64_t ASize) {
  TKvDataReader LReader(AData, ASize);
  if (!LReader.Skip(10)) return {};
  for (;;) {
    uint8_t LId;
    uint32_t LLength;
    if (!LReader.ReadByte(LId) || !LReader.ReadLongWord(LLength) || LLength < 5) return {};
    const int64_t LBody = int64_t{LLength} - 5;
    if (LId == 0x10 && LBody < 24) return {};
    if (LId != 0x30) {
      if (!LReader.Skip(LBody)) return {};
      continue;
    }
    uint8_t LHead[12];
    const uint8_t* LSnapshot;
    if (LBody <= 12 || !LReader.Read(LHead, 12) || !LReader.ReadPointer(LSnapshot, LBody - 12)) return {};
    const uint32_t LFlags = Get32(LHead);
    const int64_t LUnpackedSize = Get32(LHead + 8);
    if ((LFlags & 1) || LUnpackedSize == 0) return {};
    std::string LExt;
    for (int i = 4; i < 8 && LHead[i] != 0; ++i) LExt += static_cast<char>(LHead[i]);
    LExt = LowerFileExt("." + LExt);
    TKvZxSnapshotScreen LFound;
    if (LExt == ".z80")
      LFound.Class = &SourceEngineClass<TKvZxSpectrumZ80Engine>();
    else if (LExt == ".sna")
      LFound.Class = &SourceEngineClass<TKvZxSpectrumSNAEngine>();
    else
      return {};
    LFound.Name = "Snapshot" + LExt;
    if (LFlags & 2) {
      // The unpacked length comes from the file: refuse what no file could
      // hold before allocating it.
      if (LUnpackedSize >= kMaxUnpackedSize) return {};
      LFound.Buffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(LUnpackedSize)]);
      if (!LFound.Buffer ||
          !InflateBuffer(LSnapshot, LFound.Buffer.get(), static_cast<size_t>(LBody - 12),
                         static_cast<size_t>(LUnpackedSize)))
        return {};
      LFound.Data = LFound.Buffer.get();
      LFound.Size = LUnpackedSize;
    } else {
      LFound.Data = LSnapshot;
      LFound.Size = LBody - 12;
    }
    TKvMemoryLoadSource LInner(LFound.Name, LFound.Data, static_cast<int32_t>(LFound.Size), false);
    if (LFound.Class->Match(LInner) == 0) return {};
    return LFound;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

TKvBaseZxSpectrumSnapshotEngine::TKvBaseZxSpectrumSnapshotEngine(TKvLoadSource& ASource)
    : TKvSourceEngine(ASource) {}

TKvBaseZxSpectrumSnapshotEngine::~TKvBaseZxSpectrumSnapshotEngine() = default;

void TKvBaseZxSpectrumSnapshotEngine::Open(TKvZxSnapshotScreen&& AFound) {
  if (!AFound) RaiseInternalError();
  FBuffer = std::move(AFound.Buffer);
  FInnerSource =
      std::make_unique<TKvMemoryLoadSource>(AFound.Name, AFound.Data, static_cast<int32_t>(AFound.Size), false);
  FInnerEngine = AFound.Class->Create(*FInnerSource);
  CopyInnerProperties();
}

void TKvBaseZxSpectrumSnapshotEngine::CopyInnerProperties() {
  Description = FInnerEngine->Description;
  Width = FInnerEngine->Width;
  Height = FInnerEngine->Height;
  Bits = FInnerEngine->Bits;
  Palette->Assign(FInnerEngine->Palette.get());
  ColorCount = FInnerEngine->ColorCount;
  PixelAspect = FInnerEngine->PixelAspect;
  PaletteTypes = FInnerEngine->PaletteTypes;
  PaletteType = FInnerEngine->PaletteType;
  MixModes = FInnerEngine->MixModes;
  MixMode = FInnerEngine->MixMode;
}

std::unique_ptr<TKvBitmap> TKvBaseZxSpectrumSnapshotEngine::Decode() {
  FInnerEngine->PaletteType = PaletteType;
  FInnerEngine->MixMode = MixMode;
  auto LBitmap = FInnerEngine->Decode();
  Palette->Assign(FInnerEngine->Palette.get());
  return LBitmap;
}

// ---------------------------------------------------------------------------

TKvZxSpectrumTAPEngine::TKvZxSpectrumTAPEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindTapScreen(ASource.GetData(), ASource.GetSize()));
}

TKvMatchFlags TKvZxSpectrumTAPEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".tap") return 0;
  return FindTapScreen(ASource.GetData(), ASource.GetSize()) ? kHeaderSizeAndExt : 0;
}

TKvZxSpectrumTZXEngine::TKvZxSpectrumTZXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindTzxScreen(ASource.GetData(), ASource.GetSize()));
}

TKvMatchFlags TKvZxSpectrumTZXEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() < 11 || !ASource.GetData() || !IsTzxHeader(ASource.GetData())) return 0;
  return FindTzxScreen(ASource.GetData(), ASource.GetSize()) ? HeaderMatch(ASource, ".tzx") : 0;
}

TKvZxSpectrumSZXEngine::TKvZxSpectrumSZXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindSzxScreen(ASource.GetData(), ASource.GetSize()));
}

TKvMatchFlags TKvZxSpectrumSZXEngine::Match(TKvLoadSource& ASource) {
  if (!HasSignature(ASource, "ZXST", 9)) return 0;
  return FindSzxScreen(ASource.GetData(), ASource.GetSize()) ? HeaderMatch(ASource, ".szx") : 0;
}

TKvZxSpectrumRZXEngine::TKvZxSpectrumRZXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindRzxSnapshot(ASource.GetData(), ASource.GetSize()));
}

TKvMatchFlags TKvZxSpectrumRZXEngine::Match(TKvLoadSource& ASource) {
  if (!HasSignature(ASource, "RZX!", 11)) return 0;
  return FindRzxSnapshot(ASource.GetData(), ASource.GetSize()) ? HeaderMatch(ASource, ".rzx") : 0;
}

TKvZxSpectrumSPEngine::TKvZxSpectrumSPEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(InPlace(ASource.GetData() + kSpHeaderSize, ZxScreenSize, ColorScreenClass()));
}

TKvMatchFlags TKvZxSpectrumSPEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() < 39 || !ASource.GetData() || !IsSpHeader(ASource.GetData(), ASource.GetSize())) return 0;
  return HeaderMatch(ASource, ".sp");
}

TKvZxSpectrumSNAEngine::TKvZxSpectrumSNAEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(InPlace(ASource.GetData() + kSnaHeaderSize, ZxScreenSize, ColorScreenClass()));
}

TKvMatchFlags TKvZxSpectrumSNAEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".sna" || !ASource.GetData() || !IsSnaSize(ASource.GetSize())) return 0;
  return kHeaderSizeAndExt;
}

TKvZxSpectrumZ80Engine::TKvZxSpectrumZ80Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindZ80Screen(ASource.GetData(), ASource.GetSize()));
}

TKvMatchFlags TKvZxSpectrumZ80Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".z80" && ASource.GetExtension() != ".slt") return 0;
  if (ASource.GetSize() < 31) return 0;
  return FindZ80Screen(ASource.GetData(), ASource.GetSize()) ? kHeaderSizeAndExt : 0;
}

// ---------------------------------------------------------------------------

const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSnapshotSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvZxSpectrumTAPEngine>(), &SourceEngineClass<TKvZxSpectrumTZXEngine>(),
      &SourceEngineClass<TKvZxSpectrumSZXEngine>(), &SourceEngineClass<TKvZxSpectrumRZXEngine>(),
      &SourceEngineClass<TKvZxSpectrumSPEngine>(),  &SourceEngineClass<TKvZxSpectrumSNAEngine>(),
      &SourceEngineClass<TKvZxSpectrumZ80Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformZxSpectrumSnapshot() {
  for (const TKvSourceEngineClass* c : ZxSpectrumSnapshotSourceEngineClasses()) RegisterSourceEngine(*c);
}
