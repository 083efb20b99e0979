// A file in memory with companion files beside it, for the MSX importer
// tests, and the check of a converted file opened again.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"
#include "core/KvBitmap.h"
#include "importers/KvImporterUnits.h"

inline std::vector<uint8_t> MSXBytes(const uint8_t* AData, int64_t ASize) {
  return std::vector<uint8_t>(AData, AData + ASize);
}

// Companions are found without regard to case.
class TMSXTestFiles : public TKvMemoryLoadSource {
public:
  using Bytes = std::vector<uint8_t>;
  TMSXTestFiles(const std::string& AName, Bytes AData)
      : TKvMemoryLoadSource(AName, nullptr, 0, false), FMain(std::move(AData)) {
    FData = FMain.data();
    FSize = static_cast<int32_t>(FMain.size());
  }
  void Add(const std::string& AName, Bytes AData) { FCompanions[Lower(AName)] = std::move(AData); }
  const TKvLoadSourceRec* GetFile(const std::string& AName) override {
    auto it = FCompanions.find(Lower(AName));
    if (it == FCompanions.end()) return nullptr;
    TKvLoadSourceRec& r = FRecords.emplace_back();
    r.Name = AName;
    r.Ext = LowerFileExt(AName);
    r.Data = it->second.data();
    r.Size = static_cast<int32_t>(it->second.size());
    return &r;
  }
  // The engine of AClass built as the probe does, or nullptr when it does
  // not match.
  std::unique_ptr<TKvSourceEngine> Open(const TKvSourceEngineClass& AClass) {
    if (AClass.Match(*this) == 0) return nullptr;
    return AClass.Create(*this);
  }

private:
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  Bytes FMain;
  std::map<std::string, Bytes> FCompanions;
  std::deque<TKvLoadSourceRec> FRecords;
};

// The colour of a pixel: through the palette of an indexed bitmap.
inline TKvStdRGBColor MSXColorAt(TKvBitmap& ABitmap, int X, int Y) {
  if (ABitmap.BitCount <= 8 && ABitmap.Palette && ABitmap.Palette->GetCount() >= 2)
    return ABitmap.Palette->GetStdRGB(ABitmap.GetPixel(X, Y));
  return ABitmap.GetPixelStdRGB(X, Y);
}

// AFiles opened as the probe does: the best candidate is AImporter, with a
// header, its own extension and the exact size, and decoded under AType it
// shows the colour of APreview at every pixel. ABlackIsCode1: a black pixel
// of a 1-bit preview is the machine's black (1, 1, 1).
inline void ExpectMSXRoundTrip(TMSXTestFiles& AFiles, TKvBitmap& APreview, const std::string& AImporter,
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
      TKvStdRGBColor want = MSXColorAt(APreview, x, y);
      if (ABlackIsCode1 && APreview.BitCount == 1 && want == StdRGBColor(0, 0, 0)) want = StdRGBColor(1, 1, 1);
      diffs += !(MSXColorAt(*decoded, x, y) == want);
    }
  EXPECT_EQ(diffs, 0);
}
