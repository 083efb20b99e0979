// Importers of Commodore 64 paint-program files: plain bitmap files of many
// programs recognised by exact size and load address, run-length packed
// files recognised by unpacking, and character-set pictures. Every file is a
// C64 program file: a little-endian load address, then the memory image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"

// Shared set-up: offers the "Dark" and "Light" palettes and completes the
// description as "Commodore 64 WxHxBits<program> image".
class TKvCommodore64CommonEngine : public TKvSourceEngine {
public:
  explicit TKvCommodore64CommonEngine(TKvLoadSource& ASource);

protected:
  static constexpr uint8_t kAspect1To1 = 10;  // "1:1"
  static constexpr uint8_t kAspect2To1 = 17;  // "2:1"

  // The 16 C64 colours of the chosen palette kind.
  void BuildPalette();
  // Geometry and the description; AProgram carries its leading blank.
  void SetUp(int AWidth, int AHeight, int ABits, uint8_t APixelAspect, const std::string& AProgram);

  TKvBytes FData;  // the whole file, load address included
};

// 320x200 hires without colours: one bitmap of 25 x 40 cells, 8 bytes each.
class TKvCommodore64CommonHiResBWEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonHiResBWEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  TKvBytes FBitmap;
};

// 160x200 multicolour: per cell the background, the two nibbles of the
// screen byte and the low nibble of the colour byte.
class TKvCommodore64CommonLoResEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonLoResEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  uint8_t FBackground = 0;
  TKvBytes FBitmap;
  TKvBytes FScreen;
  TKvBytes FColor;
  int FColorStep = 1;  // 0: one colour byte serves every cell
};

// 320x200 hires with ink (high nibble) and paper (low nibble) per cell.
class TKvCommodore64CommonHiResEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonHiResEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  TKvBytes FBitmap;
  TKvBytes FScreen;
};

// Two hires colour frames shown alternately, decoded over their mixtures.
class TKvCommodore64CommonHiResGigascreenEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonHiResGigascreenEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  TKvBytes FBitmap;
  TKvBytes FScreen;
  TKvBytes FBitmap2;
  TKvBytes FScreen2;
};

class TKvCommodore64HiResBWEngine
    : public TKvSourceEngineOf<TKvCommodore64HiResBWEngine, TKvCommodore64CommonHiResBWEngine> {
public:
  explicit TKvCommodore64HiResBWEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

class TKvCommodore64LoResEngine : public TKvSourceEngineOf<TKvCommodore64LoResEngine, TKvCommodore64CommonLoResEngine> {
public:
  explicit TKvCommodore64LoResEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

class TKvCommodore64LoResPmgEngine
    : public TKvSourceEngineOf<TKvCommodore64LoResPmgEngine, TKvCommodore64CommonLoResEngine> {
public:
  explicit TKvCommodore64LoResPmgEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

class TKvCommodore64HiResEngine : public TKvSourceEngineOf<TKvCommodore64HiResEngine, TKvCommodore64CommonHiResEngine> {
public:
  explicit TKvCommodore64HiResEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

class TKvCommodore64HiResGigascreenEngine
    : public TKvSourceEngineOf<TKvCommodore64HiResGigascreenEngine, TKvCommodore64CommonHiResGigascreenEngine> {
public:
  explicit TKvCommodore64HiResGigascreenEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// Run readers of the packed formats. They walk the data after the load
// address and deliver one unpacked byte per call; false when the data ends
// or its terminator is reached. A run is the escape byte followed by the
// count and the value (ACountFirst) or by the value and the count; a count
// of 0 ends the data, and a literal escape byte is a run of length 1.
template <uint8_t AEscape, bool ACountFirst>
class TKvRunReader {
public:
  void Init(const TKvBytes& AFile) {
    FData = AFile.Size() >= 2 ? AFile.Sub(2) : TKvBytes();
    FOffset = 0;
    FCount = 0;
  }

  bool ReadByte(uint8_t& AByte) {
    if (FCount > 0) {
      AByte = FValue;
      --FCount;
      return true;
    }
    if (!FData.Has(FOffset, 1)) return false;
    AByte = FData.U8(FOffset++);
    if (AByte != AEscape) return true;
    uint8_t LPair[2];
    for (int i = 0; i < 2; ++i) {
      if (!FData.Has(FOffset, 1)) return false;
      LPair[i] = FData.U8(FOffset);
      if (LPair[i] == 0 && i == (ACountFirst ? 0 : 1)) {  // the terminator
        FOffset = FData.Size();
        return false;
      }
      ++FOffset;
    }
    FValue = LPair[ACountFirst ? 1 : 0];
    FCount = LPair[ACountFirst ? 0 : 1] - 1;
    AByte = FValue;
    return true;
  }

private:
  TKvBytes FData;       // after the load address
  int64_t FOffset = 0;  // of the next byte
  int32_t FCount = 0;   // repeats of FValue left
  uint8_t FValue = 0;
};

// C2 count value.
using TKvAmicaRunReader = TKvRunReader<0xC2, true>;
// FE value count; packed Koala Painter and Doodle files.
using TKvPackedRunReader = TKvRunReader<0xFE, false>;

// Packed files are recognised by the number of bytes they unpack to, and
// unpacked on the first Decode into a zero-filled buffer with the layout of
// the plain file; data that ends early leaves zeros.
// ".ami"
class TKvCommodore64LoResAmiEngine
    : public TKvSourceEngineOf<TKvCommodore64LoResAmiEngine, TKvCommodore64CommonLoResEngine> {
public:
  explicit TKvCommodore64LoResAmiEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  std::vector<uint8_t> FBuffer;
};

// ".gg"
class TKvCommodore64LoResGgEngine
    : public TKvSourceEngineOf<TKvCommodore64LoResGgEngine, TKvCommodore64CommonLoResEngine> {
public:
  explicit TKvCommodore64LoResGgEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  std::vector<uint8_t> FBuffer;
};

// ".jj"
class TKvCommodore64HiResJJEngine
    : public TKvSourceEngineOf<TKvCommodore64HiResJJEngine, TKvCommodore64CommonHiResEngine> {
public:
  explicit TKvCommodore64HiResJJEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  std::vector<uint8_t> FBuffer;
};

// 160x400 multicolour character-set picture: 50 x 40 character codes and a
// set of 256 characters of 8 bytes.
class TKvCommodore64Lp3Engine : public TKvSourceEngineOf<TKvCommodore64Lp3Engine, TKvCommodore64CommonEngine> {
public:
  explicit TKvCommodore64Lp3Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& Commodore64SourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformCommodore64();
