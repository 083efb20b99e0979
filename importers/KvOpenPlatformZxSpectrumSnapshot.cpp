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
  TKvBytes Bytes;
  std::unique_ptr<uint8_t[]> Buffer;
  const TKvSourceEngineClass* Class = nullptr;
  std::string Name = "screen.scr";

  explicit operator bool() const { return !Bytes.Empty() && Class != nullptr; }
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
  const TKvBytes file = ASource.GetBytes();
  return file.Size() >= AMinSize && file.Same(0, ASignature, static_cast<int64_t>(std::strlen(ASignature)));
}

// Screen bytes that stay inside the container, read by AClass.
TKvZxSnapshotScreen InPlace(const TKvBytes& AScreen, const TKvSourceEngineClass& AClass) {
  TKvZxSnapshotScreen LFound;
  LFound.Bytes = AScreen;
  LFound.Class = &AClass;
  return LFound;
}

// A fresh copy of a 6912-byte screen for the colour screen importer.
TKvZxSnapshotScreen Unpacked(std::unique_ptr<uint8_t[]> ABuffer) {
  TKvZxSnapshotScreen LFound;
  LFound.Buffer = std::move(ABuffer);
  LFound.Bytes = TKvBytes(LFound.Buffer.get(), ZxScreenSize);
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
const TKvSourceEngineClass* FindScreenEngineClass(const TKvBytes& AData) {
  try {
    TKvMemoryLoadSource LSource("screen.scr", AData.Data(), static_cast<int32_t>(AData.Size()), false);
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

TKvZxSnapshotScreen FindTapScreen(const TKvBytes& AFile) {
  TKvDataReader LReader(AFile);
  for (;;) {
    uint16_t LLength;
    TKvBytes LBlock;
    if (!LReader.ReadWord(LLength) || LLength < 2 || !LReader.ReadBlock(LBlock, LLength)) return {};
    uint8_t LSum = 0;
    for (uint8_t b : LBlock.Row(0, LLength - 1)) LSum ^= b;
    if (LSum != LBlock.U8(LLength - 1)) return {};
    const uint8_t LFlag = LBlock.U8(0);
    if (LFlag == 0) continue;
    if (LFlag != 255) return {};
    if (LLength < 3) continue;
    const TKvBytes LPayload = LBlock.Sub(1, LLength - 2);
    if (const TKvSourceEngineClass* LClass = FindScreenEngineClass(LPayload)) return InPlace(LPayload, *LClass);
  }
}

// ---------------------------------------------------------------------------
// TZX: "ZXTape!" and 0x1A (or 0x00), two version bytes, then blocks of an ID
// byte and a body whose size each ID defines. The first standard or turbo
// data block of 6914 bytes (flag, screen, checksum) holds the screen.

bool IsTzxHeader(const TKvBytes& AFile) {
  return AFile.Same(0, "ZXTape!", 7) && AFile.Has(7, 1) && (AFile.U8(7) == 0x1A || AFile.U8(7) == 0x00);
}

TKvZxSnapshotScreen FindTzxScreen(const TKvBytes& AFile) {
  TKvDataReader LReader(AFile);
  if (!LReader.Skip(10)) return {};
  // The data block of the screen: its flag byte, then the screen.
  auto LTakeScreen = [&LReader]() -> TKvZxSnapshotScreen {
    TKvBytes LScreen;
    if (!LReader.Skip(1) || !LReader.ReadBlock(LScreen, ZxScreenSize)) return {};
    return InPlace(LScreen, ColorScreenClass());
  };
  for (;;) {
    uint8_t LId, LByte;
    uint16_t LWord;
    uint32_t LLong;
    TKvBytes LHead;
    // Every length read is unsigned and skipped as a 64-bit count, so a
    // length beyond the file ends the walk instead of moving backwards.
    bool LOk;
    if (!LReader.ReadByte(LId)) return {};
    switch (LId) {
      case 0x10:
        if (!LReader.ReadBlock(LHead, 4)) return {};
        if (LHead.Le16(2) == 6914) return LTakeScreen();
        LOk = LReader.Skip(LHead.Le16(2));
        break;
      case 0x11:
        if (!LReader.ReadBlock(LHead, 18)) return {};
        if (LHead.Le24(15) == 6914) return LTakeScreen();
        LOk = LReader.Skip(LHead.Le24(15));
        break;
      case 0x12:
        LOk = LReader.Skip(4);
        break;
      case 0x13:
        LOk = LReader.ReadByte(LByte) && LReader.Skip(2 * int64_t{LByte});
        break;
      case 0x14:
        LOk = LReader.ReadBlock(LHead, 10) && LReader.Skip(LHead.Le24(7));
        break;
      case 0x15:
        LOk = LReader.ReadBlock(LHead, 8) && LReader.Skip(LHead.Le24(5));
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

bool IsSpHeader(const TKvBytes& AFile) {
  if (AFile.Size() < kSpHeaderSize || !AFile.Same(0, "SP", 2)) return false;
  const uint16_t LLength = AFile.Le16(2);
  return (LLength == 0x4000 || LLength == 0xC000) && AFile.Le16(4) == 0x4000 && AFile.Le16(32) == 0 &&
         AFile.U8(35) == 0 && AFile.Size() == LLength + kSpHeaderSize;
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

TKvZxSnapshotScreen FindZ80Screen(const TKvBytes& AFile) {
  TKvDataReader LReader(AFile);
  TKvBytes LHeader;
  if (!LReader.ReadBlock(LHeader, 30)) return {};
  const uint8_t LFlags = LHeader.U8(12) == 0xFF ? 1 : LHeader.U8(12);
  if (LHeader.Le16(6) != 0) return ReadScreen(LReader, (LFlags & 0x20) == 0);

  uint16_t LExtraSize;
  if (!LReader.ReadWord(LExtraSize)) return {};
  uint8_t LWantedPage = 8;
  if (LExtraSize < 23) {
    if (!LReader.Skip(LExtraSize)) return {};
  } else {
    TKvBytes LExtra;
    if (!LReader.ReadBlock(LExtra, LExtraSize)) return {};
    const uint8_t LMode = LExtra.U8(2);
    const bool L128K = (LMode >= 4 && LMode <= 16) || (LMode == 3 && (LExtraSize == 23 || (LExtra.U8(5) & 0x80)));
    // The 128K machines show RAM page 7 (page 10 here) when port 0x7FFD's
    // bit 3 selects the shadow screen.
    if (L128K && (LExtra.U8(3) & 8)) LWantedPage = 10;
  }
  for (;;) {
    uint16_t LLength;
    uint8_t LPage;
    TKvBytes LBlock;
    if (!LReader.ReadWord(LLength) || !LReader.ReadByte(LPage)) return {};
    const int64_t LSize = LLength == 0xFFFF ? 0x4000 : LLength;
    if (!LReader.ReadBlock(LBlock, LSize)) return {};
    if (LPage != LWantedPage) continue;
    TKvDataReader LBlockReader(LBlock);
    return ReadScreen(LBlockReader, LSize == 0x4000);
  }
}

// ---------------------------------------------------------------------------
// SZX: "ZXST" and a file header, then blocks of a 4-character ID and a
// 32-bit size. RAMP blocks hold the RAM pages, stored or deflated; a SPCR
// block before them tells which page the screen shows.

TKvZxSnapshotScreen FindSzxScreen(const TKvBytes& AFile) {
  TKvDataReader LReader(AFile);
  if (!LReader.Skip(8)) return {};
  uint8_t LWantedPage = 5;
  for (;;) {
    TKvBytes LId;
    uint32_t LSize32;
    if (!LReader.ReadBlock(LId, 4) || !LReader.ReadLongWord(LSize32)) return {};
    const int64_t LSize = LSize32;
    if (LId.Same(0, "SPCR", 4)) {
      TKvBytes LPorts;
      if (LSize < 4 || !LReader.ReadBlock(LPorts, 4)) return {};
      if (LPorts.U8(1) & 8) LWantedPage = 7;
      if (!LReader.Skip(LSize - 4)) return {};
      continue;
    }
    if (!LId.Same(0, "RAMP", 4)) {
      if (!LReader.Skip(LSize)) return {};
      continue;
    }
    TKvBytes LRamp;
    if (LSize < 3 || !LReader.ReadBlock(LRamp, 3)) return {};
    if (LRamp.U8(2) != LWantedPage) {
      if (!LReader.Skip(LSize - 3)) return {};
      continue;
    }
    TKvBytes LPage;
    if (LRamp.Le16(0) & 1) {
      if (LSize == 3 || !LReader.ReadBlock(LPage, LSize - 3)) return {};
      auto LBuffer = NewScreenBuffer();
      if (!LBuffer || !InflateBuffer(LPage.Data(), LBuffer.get(), static_cast<size_t>(LPage.Size()), ZxScreenSize))
        return {};
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

TKvZxSnapshotScreen FindRzxSnapshot(const TKvBytes& AFile) {
  TKvDataReader LReader(AFile);
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
    TKvBytes LHead, LSnapshot;
    if (LBody <= 12 || !LReader.ReadBlock(LHead, 12) || !LReader.ReadBlock(LSnapshot, LBody - 12)) return {};
    const uint32_t LFlags = LHead.Le32(0);
    const int64_t LUnpackedSize = LHead.Le32(8);
    if ((LFlags & 1) || LUnpackedSize == 0) return {};
    std::string LExt;
    for (int i = 4; i < 8 && LHead.U8(i) != 0; ++i) LExt += static_cast<char>(LHead.U8(i));
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
      if (!LFound.Buffer || !InflateBuffer(LSnapshot.Data(), LFound.Buffer.get(), static_cast<size_t>(LSnapshot.Size()),
                                           static_cast<size_t>(LUnpackedSize)))
        return {};
      LFound.Bytes = TKvBytes(LFound.Buffer.get(), LUnpackedSize);
    } else {
      LFound.Bytes = LSnapshot;
    }
    TKvMemoryLoadSource LInner(LFound.Name, LFound.Bytes.Data(), static_cast<int32_t>(LFound.Bytes.Size()), false);
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
  FInnerSource = std::make_unique<TKvMemoryLoadSource>(AFound.Name, AFound.Bytes.Data(),
                                                       static_cast<int32_t>(AFound.Bytes.Size()), false);
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
  Open(FindTapScreen(ASource.GetBytes()));
}

TKvMatchFlags TKvZxSpectrumTAPEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".tap") return 0;
  return FindTapScreen(ASource.GetBytes()) ? kHeaderSizeAndExt : 0;
}

TKvZxSpectrumTZXEngine::TKvZxSpectrumTZXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindTzxScreen(ASource.GetBytes()));
}

TKvMatchFlags TKvZxSpectrumTZXEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() < 11 || !IsTzxHeader(ASource.GetBytes())) return 0;
  return FindTzxScreen(ASource.GetBytes()) ? HeaderMatch(ASource, ".tzx") : 0;
}

TKvZxSpectrumSZXEngine::TKvZxSpectrumSZXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindSzxScreen(ASource.GetBytes()));
}

TKvMatchFlags TKvZxSpectrumSZXEngine::Match(TKvLoadSource& ASource) {
  if (!HasSignature(ASource, "ZXST", 9)) return 0;
  return FindSzxScreen(ASource.GetBytes()) ? HeaderMatch(ASource, ".szx") : 0;
}

TKvZxSpectrumRZXEngine::TKvZxSpectrumRZXEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindRzxSnapshot(ASource.GetBytes()));
}

TKvMatchFlags TKvZxSpectrumRZXEngine::Match(TKvLoadSource& ASource) {
  if (!HasSignature(ASource, "RZX!", 11)) return 0;
  return FindRzxSnapshot(ASource.GetBytes()) ? HeaderMatch(ASource, ".rzx") : 0;
}

TKvZxSpectrumSPEngine::TKvZxSpectrumSPEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(InPlace(ASource.GetBytes().Sub(kSpHeaderSize, ZxScreenSize), ColorScreenClass()));
}

TKvMatchFlags TKvZxSpectrumSPEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetBytes().Size() < 39 || !IsSpHeader(ASource.GetBytes())) return 0;
  return HeaderMatch(ASource, ".sp");
}

TKvZxSpectrumSNAEngine::TKvZxSpectrumSNAEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(InPlace(ASource.GetBytes().Sub(kSnaHeaderSize, ZxScreenSize), ColorScreenClass()));
}

TKvMatchFlags TKvZxSpectrumSNAEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".sna" || !IsSnaSize(ASource.GetBytes().Size())) return 0;
  return kHeaderSizeAndExt;
}

TKvZxSpectrumZ80Engine::TKvZxSpectrumZ80Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  Open(FindZ80Screen(ASource.GetBytes()));
}

TKvMatchFlags TKvZxSpectrumZ80Engine::Match(TKvLoadSource& ASource) {
  if (ASource.GetExtension() != ".z80" && ASource.GetExtension() != ".slt") return 0;
  if (ASource.GetSize() < 31) return 0;
  return FindZ80Screen(ASource.GetBytes()) ? kHeaderSizeAndExt : 0;
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
