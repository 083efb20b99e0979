// SCREEN 2, 3 and 4 files written in every palette mode open again through
// the importer probe, as the best candidate, with the preview's colours.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "KvTestHarness.h"
#include "importers/MSXTestFiles.h"
#include "platforms/KvSavePlatformMSX.h"

namespace {

std::string FileName(int AType, int AMode, const char* AExt) {
  char name[48];
  std::snprintf(name, sizeof name, "t%dm%d.%s", AType, AMode, AExt);
  return name;
}

void ExpectRoundTrip(const TKvConversion& AConversion, const std::string& AName, const std::string& AImporter,
                     TKvPaletteType AType = ptMSX9938) {
  SCOPED_TRACE(AName);
  TKvTestFiles files(AName, MSXBytes(AConversion.Bytes(0), AConversion.Size(0)));
  ExpectMSXRoundTrip(files, *AConversion.Preview, AImporter, AType, true);
}

TEST(KvMSXRoundTrip, Screen2) {
  auto pic = GradientPicture(256, 192, 31);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr2Engine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ExpectRoundTrip(r, FileName(0, mode, "sc2"), "TKvSC2Engine");
  }
}

TEST(KvMSXRoundTrip, Screen3) {
  auto pic = GradientPicture(64, 48, 32);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor}) {
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr3Engine>(), *pic,
                            [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ExpectRoundTrip(r, FileName(0, mode, "sc3"), "TKvSC3Engine");
  }
}

void Screen4RoundTrips(uint8_t AType) {
  auto pic = GradientPicture(256, 192, 33);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray, pmColor, pmCustom}) {
    auto r = ConvertPicture(DestEngineClass<TKvMSXScr4Engine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(AType);
      o.SetPaletteMode(mode);
      if (mode == pmCustom) {
        TKvColorMask mask{};
        mask[0] = 0x81;  // two of the hardware colours chosen by hand
        o.SetColorMask(mask);
      }
      o.UpdatePalette();
    });
    ExpectRoundTrip(r, FileName(AType, mode, "sc4"), "TKvSC4Engine", static_cast<TKvPaletteType>(AType));
  }
}

TEST(KvMSXRoundTrip, Screen4V9938Levels) { Screen4RoundTrips(ptMSX9938); }
TEST(KvMSXRoundTrip, Screen4V9958Levels) { Screen4RoundTrips(ptMSX9958); }

}  // namespace
