// What many test programs share: the message of a raised exception, test
// pictures, converting a picture with a mode, comparing two bitmaps pixel by
// pixel, and probing a file image made in memory against the importers.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "app/KvSourceEngines.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"
#include "importers/KvImporterUnits.h"
#include "rtl/KvSysUtils.h"

// The message of the exception AWork raises; "<no exception>" when it ends
// normally.
inline std::string MessageOf(const std::function<void()>& AWork) {
  try {
    AWork();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no exception>";
}

// Pictures -------------------------------------------------------------------

// A smooth colour gradient with a little deterministic noise.
inline std::unique_ptr<TBitmap32> GradientPicture(int AWidth, int AHeight, uint32_t ASeed = 1) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = ASeed;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>((s >> 24) % 41) - 20;
      auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      const uint32_t r = clamp(x * 255 / (AWidth - 1) + n);
      const uint32_t g = clamp(y * 255 / (AHeight - 1) + n);
      const uint32_t bl = clamp(255 - (x + y) * 255 / (AWidth + AHeight - 2) + n);
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

inline std::unique_ptr<TBitmap32> SolidPicture(int AWidth, int AHeight, uint32_t AColor) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) *b->GetPixelPtr(x, y) = 0xFF000000u | AColor;
  return b;
}

// Converting -----------------------------------------------------------------

struct TKvConversion {
  std::unique_ptr<TKvDestEngineOptions> Options;
  std::unique_ptr<TKvBitmap> Preview;
  std::unique_ptr<TKvStreamList> Streams;
  const uint8_t* Bytes(int i) const { return Streams->GetStream(i)->GetMemory(); }
  int64_t Size(int i) const { return Streams->GetStream(i)->GetSize(); }
  // A copy of stream i's bytes.
  std::vector<uint8_t> File(int i) const { return std::vector<uint8_t>(Bytes(i), Bytes(i) + Size(i)); }
};

// Runs mode AClass on APicture with its default options, changed by ASetup
// first.
template <class TSetup>
TKvConversion ConvertPicture(const TKvDestEngineClass& AClass, TBitmap32& APicture, TSetup ASetup) {
  TKvConversion r;
  auto engine = AClass.Create();
  r.Options = engine->CreateOptions();
  ASetup(*r.Options);
  TKvDestProgress progress;
  bool abort = false;
  r.Preview = AClass.Convert(&abort, APicture, nullptr, nullptr, *r.Options, progress, r.Streams);
  return r;
}
inline TKvConversion ConvertPicture(const TKvDestEngineClass& AClass, TBitmap32& APicture) {
  return ConvertPicture(AClass, APicture, [](TKvDestEngineOptions&) {});
}

// Comparing ------------------------------------------------------------------

// The colour shown at (X, Y): through the palette of an indexed bitmap that
// has one, else the bitmap's own colour.
inline TKvStdRGBColor ShownColor(TKvBitmap& ABitmap, int X, int Y) {
  if (ABitmap.BitCount <= 8 && ABitmap.Palette->GetCount() >= 2)
    return ABitmap.Palette->GetStdRGB(ABitmap.GetPixel(X, Y));
  return ABitmap.GetPixelStdRGB(X, Y);
}

// The pixels of the area both bitmaps cover whose stored values (palette
// indexes, or packed colours) differ.
inline int CountIndexDiffs(TKvData& A, TKvData& B) {
  int diffs = 0;
  for (int y = 0; y < std::min(A.Height, B.Height); ++y)
    for (int x = 0; x < std::min(A.Width, B.Width); ++x) diffs += A.GetPixel(x, y) != B.GetPixel(x, y);
  return diffs;
}

// The pixels of the area both bitmaps cover whose shown colours differ.
inline int CountColorDiffs(TKvBitmap& A, TKvBitmap& B) {
  int diffs = 0;
  for (int y = 0; y < std::min(A.Height, B.Height); ++y)
    for (int x = 0; x < std::min(A.Width, B.Width); ++x) diffs += !(ShownColor(A, x, y) == ShownColor(B, x, y));
  return diffs;
}

// Probing --------------------------------------------------------------------

using TKvTestBytes = std::vector<uint8_t>;

// A file in memory with companion files beside it, found without regard to
// case as the file load source finds them.
class TKvTestFiles : public TKvMemoryLoadSource {
public:
  TKvTestFiles(const std::string& AName, TKvTestBytes AData)
      : TKvMemoryLoadSource(AName, nullptr, 0, false), FMain(std::move(AData)) {
    FData = FMain.data();
    FSize = static_cast<int32_t>(FMain.size());
  }
  void Add(const std::string& AName, TKvTestBytes AData) { FCompanions[Lower(AName)] = std::move(AData); }
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
  TKvTestBytes FMain;
  std::map<std::string, TKvTestBytes> FCompanions;
  std::deque<TKvLoadSourceRec> FRecords;
};

// The candidates for a file image: the registry's probe (with the +3DOS and
// Hobeta unwrapping) or, given a list of classes, only those classes asked
// in order.
struct TKvProbe {
  std::unique_ptr<TKvTestFiles> Source;
  std::unique_ptr<TKvSourceEngineList> List;

  TKvProbe(const std::string& AName, TKvTestBytes ABytes, const std::map<std::string, TKvTestBytes>& ACompanions = {}) {
    InitializeImporters();
    Open(AName, std::move(ABytes), ACompanions);
    List = Source->FindEngines();
  }
  TKvProbe(const std::string& AName, TKvTestBytes ABytes, const std::vector<const TKvSourceEngineClass*>& AClasses) {
    InitializeImporters();
    Open(AName, std::move(ABytes), {});
    List = Source->MatchEngines(AClasses);
  }
  const uint8_t* Data() const { return Source->GetData(); }
  int Count() const { return List->GetCount(); }
  // Class names of the candidates, best first.
  std::vector<std::string> Classes() const {
    std::vector<std::string> r;
    for (int i = 0; i < List->GetCount(); ++i) r.push_back(List->GetEngine(i)->ClassType().GetClassName());
    return r;
  }
  // The best candidate, or nullptr.
  TKvSourceEngine* First() const { return List->GetCount() ? List->GetEngine(0) : nullptr; }
  // The first candidate of class AClass, or nullptr.
  TKvSourceEngine* Find(const std::string& AClass) const {
    const int i = Position(AClass);
    return i >= 0 ? List->GetEngine(i) : nullptr;
  }
  // Its match flags; 0 when it is no candidate.
  TKvMatchFlags Flags(const std::string& AClass) const {
    const TKvSourceEngine* e = Find(AClass);
    return e ? e->MatchFlags : 0;
  }
  // Its position among the candidates; -1 when absent.
  int Position(const std::string& AClass) const {
    for (int i = 0; i < List->GetCount(); ++i)
      if (List->GetEngine(i)->ClassType().GetClassName() == AClass) return i;
    return -1;
  }

private:
  void Open(const std::string& AName, TKvTestBytes ABytes, const std::map<std::string, TKvTestBytes>& ACompanions) {
    Source = std::make_unique<TKvTestFiles>(AName, std::move(ABytes));
    for (const auto& [name, bytes] : ACompanions) Source->Add(name, bytes);
  }
};
