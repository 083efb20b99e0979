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

  const uint8_t* FData;
  int32_t FSize;
};

// 320x200 hires without colours: one bitmap of 25 x 40 cells, 8 bytes each.
class TKvCommodore64CommonHiResBWEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonHiResBWEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  const uint8_t* FBitmap = nullptr;
};

// 160x200 multicolour: per cell the background, the two nibbles of the
// screen byte and the low nibble of the colour byte.
class TKvCommodore64CommonLoResEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonLoResEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  uint8_t FBackground = 0;
  const uint8_t* FBitmap = nullptr;
  const uint8_t* FScreen = nullptr;
  const uint8_t* FColor = nullptr;
  int FColorStep = 1;  // 0: one colour byte serves every cell
};

// 320x200 hires with ink (high nibble) and paper (low nibble) per cell.
class TKvCommodore64CommonHiResEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonHiResEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  const uint8_t* FBitmap = nullptr;
  const uint8_t* FScreen = nullptr;
};

// Two hires colour frames shown alternately, decoded over their mixtures.
class TKvCommodore64CommonHiResGigascreenEngine : public TKvCommodore64CommonEngine {
public:
  explicit TKvCommodore64CommonHiResGigascreenEngine(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

protected:
  const uint8_t* FBitmap = nullptr;
  const uint8_t* FScreen = nullptr;
  const uint8_t* FBitmap2 = nullptr;
  const uint8_t* FScreen2 = nullptr;
};

#define KV_C64_IMPORTER(Name, Base)                                 \
  class Name : public TKvSourceEngineOf<Name, Base> {               \
  public:                                                           \
    explicit Name(TKvLoadSource& ASource);                          \
    static TKvMatchFlags Match(TKvLoadSource& ASource);             \
  }

KV_C64_IMPORTER(TKvCommodore64HiResBWEngine, TKvCommodore64CommonHiResBWEngine);
KV_C64_IMPORTER(TKvCommodore64LoResEngine, TKvCommodore64CommonLoResEngine);
KV_C64_IMPORTER(TKvCommodore64LoResPmgEngine, TKvCommodore64CommonLoResEngine);
KV_C64_IMPORTER(TKvCommodore64HiResEngine, TKvCommodore64CommonHiResEngine);
KV_C64_IMPORTER(TKvCommodore64HiResGigascreenEngine, TKvCommodore64CommonHiResGigascreenEngine);

#undef KV_C64_IMPORTER

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& Commodore64SourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformCommodore64();
