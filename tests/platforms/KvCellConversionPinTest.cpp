// Pins the bytes of cell conversions: the native files and the preview of a
// table of pictures and modes, with one worker and with several. The hashes
// were taken from the straightforward implementation; any speed-up of the
// cell searches, the working image or the palettes must leave them as they
// are.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvCellImage.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvPaletteRGB.h"
#include "core/KvStream.h"
#include "core/KvThreadJob.h"
#include "platforms/ConversionHash.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/TI99TestClock.h"

namespace {

struct TPinCase {
  const char* Platform;
  const char* Mode;
  std::function<void(TKvDestEngineOptions&)> Setup;
  uint64_t Expected[2];  // per picture
};

uint64_t Convert(const TPinCase& ACase, int APicture) {
  InitializePlatforms();
  TKvDestEngineList& l = DestEngineList();
  const int p = l.IndexOf(ACase.Platform);
  if (p < 0) ADD_FAILURE() << "no platform " << ACase.Platform;
  if (p < 0) return 0;
  const int m = l.GetSubTypes(p).IndexOf(ACase.Mode);
  if (m < 0) ADD_FAILURE() << "no mode " << ACase.Mode;
  if (m < 0) return 0;
  const TKvDestEngineClass& cls = *l.GetSubTypes(p).GetObject(m);
  auto engine = cls.Create();
  auto options = engine->CreateOptions();
  if (ACase.Setup) ACase.Setup(*options);
  options->UpdatePalette();
  auto picture = PinPicture(APicture, options->GetWidth(), options->GetHeight());
  return HashConversion(cls, *options, *picture);
}

using TSetup = std::function<void(TKvDestEngineOptions&)>;

const TPinCase& PinCase(int AIndex);
int PinCaseCount();

class KvCellConversionPin : public ::testing::TestWithParam<int> {};

// Both pictures with one worker and with four: the same bytes as before.
TEST_P(KvCellConversionPin, SameBytes) {
  const TPinCase& c = PinCase(GetParam());
  // The TI files carry their creation time.
  const TKvTiTestClock clock({2024, 5, 17, 12, 30, 0});
  for (int picture = 0; picture < 2; ++picture)
    for (int procs : {1, 4}) {
      TKvProcessorCountOverride o(procs);
      // Small pictures run the parallel searches too.
      const int64_t savedWork = KvCellMinJobWork;
      KvCellMinJobWork = 64;
      const uint64_t h = Convert(c, picture);
      KvCellMinJobWork = savedWork;
      char text[20];
      std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
      EXPECT_EQ(h, c.Expected[picture]) << c.Platform << " / " << c.Mode << ", picture " << picture << ", "
                                        << procs << " workers: 0x" << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, KvCellConversionPin, ::testing::Range(0, PinCaseCount()));

const TPinCase& PinCase(int AIndex) {
  static const TPinCase LCases[] = {
      {"ZX Spectrum", "256x192x4", nullptr, {0x87f09536e1a11bf0ull, 0x65293c5c785722eaull}},
      {"ZX Spectrum", "256x192x4", [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmGray); }, {0x043605538c43c1e3ull, 0xcbc72c70b89dd197ull}},
      // Serpentine scan, the CIE94 metric (the full-record scoring path)
      // and the limit inside blocks.
      {"ZX Spectrum", "256x192x4",
       [](TKvDestEngineOptions& o) {
         o.SetSerpentine(true);
         o.SetColorDiffMethod(2);
         o.SetLimitErrorInsideBlock(true);
       },
       {0x76150a9ab963b699ull, 0x4c64fd4613e11ea5ull}},
      {"ZX Spectrum", "256x192x4", [](TKvDestEngineOptions& o) { o.SetDitherMethod(9); }, {0x70353a0043df901bull, 0x2bad2db596f6a69bull}},
      {"ZX Spectrum", "256x192x4 Multicolor 8x1", nullptr, {0xa457a3e2dfd181b9ull, 0x506433e5ed040a38ull}},
      {"ZX Spectrum", "256x192x4 Multicolor 8x1",
       [](TKvDestEngineOptions& o) { o.SetLimitErrorAtBlockBoundary(true); }, {0xd0e1033fb69ca43eull, 0xf96eebe6368f3b59ull}},
      {"ZX Spectrum", "256x192x4 Multicolor 8x1",
       [](TKvDestEngineOptions& o) {
         o.SetSerpentine(true);
         o.SetPaletteMode(pmGray);
       },
       {0xbeeb3873138d238full, 0x006c554c3be9ce0cull}},
      {"ZX Spectrum", "256x192x4 Multicolor 8x2", nullptr, {0xb5ab48735c4ec7d7ull, 0xf4d349401f6d660cull}},
      {"ZX Spectrum", "256x192x4 Giga", nullptr, {0xa9f57b256aaf6e84ull, 0xf12be0f11de1b8f6ull}},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x1", nullptr, {0x3c39b5d1c75db325ull, 0x589375ad63ae5aabull}},
      {"ZX Spectrum", "256x384x4 Interlaced v1", nullptr, {0x0d363d2645fe4bfaull, 0xb6d480c9c60067a9ull}},
      {"ZX Spectrum Spectra", "256x192 (4x4)", nullptr, {0xf11ede23792ebc54ull, 0xb08df6fabe0d18b9ull}},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x8)", nullptr, {0x289cd4515fd7450dull, 0x8a6e052d7eab1581ull}},
      {"MSX", "2 256x192x4", nullptr, {0x655dfc3fb546d420ull, 0xe201bcd37482f64eull}},
      {"PMD 85", "288x256x2 ColorAce", nullptr, {0x4f40088e57ee94dcull, 0x2b8dc31be452058full}},
      {"Specialist", "384x256", nullptr, {0xea2af6044f99fbf6ull, 0x94394a466dc3ed69ull}},
      {"PC8000", "256x192x4", nullptr, {0xf965bcf228c38ff5ull, 0x0aaeaaadf1cb3bdaull}},
      // The slowest searches: 2080 pairs per cell, ULAplus' first pass and
      // clustering, the YJK group searches and Profi's 8x1 cells.
      {"ZX Spectrum Spectra", "256x192 (8x1)", [](TKvDestEngineOptions& o) { o.SetPaletteType(ptColored64x2); }, {0xbb67cab53d2a7fd0ull, 0x2c33fcb8dcf3dd54ull}},
      {"ZX Spectrum Spectra", "256x192 (8x8)", nullptr, {0x9884af4f0b574ab8ull, 0x49a129e90537b322ull}},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x8)", [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); }, {0xf4201ab73c7b050bull, 0x0a9292e6b0db4ffbull}},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x1)", [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor64Of256); }, {0xc26c4e683d1314a8ull, 0x7df4076d6886d70full}},
      {"MSX", "10 256x212x12", [](TKvDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); }, {0xacfa2f714bb27c8bull, 0xd4d991e51255afcfull}},
      {"MSX", "12 256x212x15", nullptr, {0x26cb7708f893e0abull, 0x161263bededf8cacull}},
      {"MSX", "12 256x424x15 Interlaced", nullptr, {0x52867be4490d704dull, 0xac2fed1bd5d166bbull}},
      {"MSX V9990 VDP", "BYJK 256x212x8", nullptr, {0xaeadc0821c936604ull, 0x43867b001ac7c41full}},
      {"MSX V9990 VDP", "BYUV 256x212x8", nullptr, {0x98774d6e5a5950b6ull, 0x624ae22b3889049eull}},
      {"Profi", "512x240x4", nullptr, {0x8d435d267c48dc98ull, 0x85d5a1cac794fb03ull}},
      // Small conversions whose stages the job runner may keep on the
      // calling thread.
      {"SAM Coupé", "4 256x192x4 HAM1/127", nullptr, {0x04d172fcfbbdef49ull, 0x67e34641c3885271ull}},
      {"Agat", "128x128x4 HAM", nullptr, {0x9bf6cc1a32aaec80ull, 0xeb4fa9a56b45d8aaull}},
      {"Agat", "128x128x8 Gigascreen",
       [](TKvDestEngineOptions& o) {
         o.SetPaletteType(ptColored4096);
         o.SetPaletteMode(pmColor);
       },
       {0xfdd1687a0da24bacull, 0x82c59c82bc22693cull}},
      {"Amstrad CPC", "0 160x200x4", nullptr, {0x3371de7b51917ceeull, 0x6a936ebe95629269ull}},
      {"Elektronika KR-04", "240x224x4 EGA Gigascreen", [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor); }, {0x46c07f4adfad1398ull, 0x1115e1f655608558ull}},
      {"TI-99/4A", "F18A 256x192x4 Scanline", nullptr, {0x405a11a34e47a43bull, 0x92489f200dc8f882ull}},
  };
  return LCases[AIndex];
}

int PinCaseCount() { return 33; }  // the entries of PinCase

}  // namespace
