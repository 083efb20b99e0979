// The check of a converted MSX file opened again.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "KvTestHarness.h"

inline std::vector<uint8_t> MSXBytes(const uint8_t* AData, int64_t ASize) {
  return std::vector<uint8_t>(AData, AData + ASize);
}

// AFiles opened as the probe does: the best candidate is AImporter, with a
// header, its own extension and the exact size, and decoded under AType it
// shows the colour of APreview at every pixel. ABlackIsCode1: a black pixel
// of a 1-bit preview is the machine's black (1, 1, 1).
inline void ExpectMSXRoundTrip(TKvTestFiles& AFiles, TKvBitmap& APreview, const std::string& AImporter,
                               TKvPaletteType AType, bool ABlackIsCode1 = false,
                               int AFlags = mfHeader | mfExtension | mfSize) {
  InitializeImporters();
  auto list = AFiles.FindEngines();
  ASSERT_GT(list->GetCount(), 0);
  TKvSourceEngine* e = list->GetEngine(0);
  EXPECT_EQ(e->ClassType().GetClassName(), AImporter);
  EXPECT_EQ(e->MatchFlags, AFlags);
  e->PaletteType = AType;
  auto decoded = e->Decode();
  ASSERT_EQ(decoded->Width, APreview.Width);
  ASSERT_EQ(decoded->Height, APreview.Height);
  int diffs = 0;
  for (int y = 0; y < APreview.Height; ++y)
    for (int x = 0; x < APreview.Width; ++x) {
      TKvStdRGBColor want = ShownColor(APreview, x, y);
      if (ABlackIsCode1 && APreview.BitCount == 1 && want == StdRGBColor(0, 0, 0)) want = StdRGBColor(1, 1, 1);
      diffs += !(ShownColor(*decoded, x, y) == want);
    }
  EXPECT_EQ(diffs, 0);
}
