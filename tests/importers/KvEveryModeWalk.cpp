#include "importers/KvEveryModeWalk.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <mutex>

#include "app/KvPanelSections.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/TI99TestClock.h"

namespace {

// The panel choices the walk makes besides the defaults: every other entry
// of these lists, and the file-header box turned over. They are the choices
// that change what a file holds (its palette, its header, its layout); the
// ZX colour usages only change which cell colours are chosen, and are left
// out to keep the sanitizer build quick.
struct TKvVariantControl {
  TKvControlId Control;
  const char* Name;
  bool CheckBox;
};
const TKvVariantControl VariantControls[] = {
    {pcModeCombo, "palette mode", false},
    {pcUsageCombo, "palette usage", false},
    {pcFileFormatCheckBox, "file header", true},
};

// Modes whose conversions take longest (a few hundred milliseconds each in
// a Release build, up to four seconds under the sanitizers): the walk keeps
// only their defaults. Their variants choose colours, not another file
// layout.
const char* const SlowModes[][2] = {
    {"ATM Turbo", "640x200x4"},
    {"Profi", "512x240x4"},
    {"Scorpion GMX", "640x200x4"},
    {"TI-99/4A", "F18A 256x192x4 Scanline"},
    {"Vector-06C", "256x256x4 HAM1"},
    {"Vector-06C", "256x256x4 HAM2"},
    {"ZX Spectrum", "256x192x4 MultiGiga 8x1"},
    {"ZX Spectrum Spectra", "256x192 (8x1)"},
    {"ZX Spectrum Spectra", "256x192 (8x2)"},
    {"ZX Spectrum UlaPlus", "256x192x8 (8x1)"},
};

bool IsSlow(const std::string& APlatform, const std::string& AMode) {
  for (const auto& s : SlowModes)
    if (APlatform == s[0] && AMode == s[1]) return true;
  return false;
}

std::string EntryName(TKvControlId AControl, int AValue) {
  if (AControl == pcModeCombo && AValue >= 0 && AValue < PaletteModeCount) return PaletteModeNames[AValue];
  if (AControl == pcUsageCombo && AValue >= 0 && AValue < PaletteUsageCount) return PaletteUsageNames[AValue];
  return std::to_string(AValue);
}

// The size of modes that take the picture's size: small, so they cost little.
constexpr int FreeWidth = 64;
constexpr int FreeHeight = 48;

std::vector<TKvWalkCase> MakeCases() {
  InitializePlatforms();
  InitializeImporters();
  std::vector<TKvWalkCase> cases;
  TKvDestEngineList& list = DestEngineList();
  for (int p = 0; p < list.GetCount(); ++p) {
    const TKvDestSubTypes& modes = list.GetSubTypes(p);
    for (int m = 0; m < modes.GetCount(); ++m) {
      TKvWalkCase base;
      base.Class = modes.GetObject(m);
      base.Platform = list.GetString(p);
      base.Mode = modes.GetString(m);
      cases.push_back(base);
      if (IsSlow(base.Platform, base.Mode)) continue;
      auto engine = base.Class->Create();
      auto options = engine->CreateOptions();
      auto ui = engine->CreateUI(options.get());
      auto* panel = dynamic_cast<TKvDestEngineUIEx*>(ui.get());
      if (!panel) continue;
      TKvPanelControlState state(*panel);
      for (const TKvVariantControl& v : VariantControls) {
        if (!state.HasControl(v.Control)) continue;
        TKvWalkCase c = base;
        c.Control = v.Control;
        if (v.CheckBox) {
          c.Item = state.GetChecked(v.Control) ? 0 : 1;
          c.Variant = std::string(v.Name) + (c.Item ? " on" : " off");
          cases.push_back(c);
          continue;
        }
        const int current = state.GetItemIndex(v.Control);
        for (int i = 0; i < state.GetItemCount(v.Control); ++i) {
          if (i == current) continue;
          state.SetItemIndex(v.Control, i);
          c.Item = i;
          c.Variant = std::string(v.Name) + " " + EntryName(v.Control, state.GetItemValue(v.Control));
          cases.push_back(c);
        }
        state.SetItemIndex(v.Control, current);
      }
    }
  }
  return cases;
}

// Smooth ramps with hard-edged blocks: every mode keeps several colours and
// both flat and busy cells.
std::unique_ptr<TBitmap32> WalkPicture(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  uint32_t s = 12345u;
  auto clamp = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>((s >> 24) % 31) - 15;
      uint32_t r = clamp(x * 255 / std::max(1, AWidth - 1) + n);
      uint32_t g = clamp(y * 255 / std::max(1, AHeight - 1) - n);
      uint32_t bl = ((x / 24 + y / 16) & 1) ? 220u : 30u;
      if ((x / 32 + y / 24) % 5 == 0) r = g = bl = (x / 8 + y / 8) & 1 ? 255u : 0u;
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

std::string ChangeExt(const std::string& AName, const std::string& AExt) {
  const size_t dot = AName.find_last_of('.');
  return (dot == std::string::npos ? AName : AName.substr(0, dot)) + "." + AExt;
}

// As saving names them: the stream adjusts its name and may store it in its
// header; each sub-stream goes beside it under its own extension.
void AddStream(TKvWalkResult& AResult, TKvStream& AStream, std::string AName) {
  AStream.AdjustFileName(AName);
  AStream.StoreFileName(AName);
  const uint8_t* p = AStream.GetMemory();
  AResult.Files.push_back({AName, p ? TKvTestBytes(p, p + AStream.GetSize()) : TKvTestBytes()});
  for (int j = 0; j < AStream.GetSubStreamCount(); ++j) {
    TKvStream& sub = *AStream.GetSubStream(j);
    AddStream(AResult, sub, ChangeExt(AName, sub.GetExtension()));
  }
}

TKvWalkResult Convert(const TKvWalkCase& ACase) {
  TKvWalkResult r;
  // Files that carry a creation stamp get a fixed one.
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  try {
    auto engine = ACase.Class->Create();
    auto options = engine->CreateOptions();
    if (options->GetWidth() <= 0 || options->GetHeight() <= 0) {
      options->SetWidth(FreeWidth);
      options->SetHeight(FreeHeight);
    }
    if (ACase.Control >= 0) {
      // Chosen on the panel, stored and checked as the window does it.
      auto ui = engine->CreateUI(options.get());
      auto& panel = dynamic_cast<TKvDestEngineUIEx&>(*ui);
      TKvPanelControlState state(panel);
      if (ACase.Control == pcFileFormatCheckBox)
        state.SetChecked(ACase.Control, ACase.Item != 0);
      else
        state.SetItemIndex(ACase.Control, ACase.Item);
      options->BeginUpdate();
      panel.StoreOptions(state);
      options->EndUpdate();
      panel.CheckOptions(state);
    }
    auto picture = WalkPicture(options->GetWidth(), options->GetHeight());
    TKvDestProgress progress;
    bool abort = false;
    std::unique_ptr<TKvStreamList> streams;
    r.PaletteType = options->PaletteType;
    r.GigaCalculation = options->GigaCalculation;
    r.Preview = ACase.Class->Convert(&abort, *picture, nullptr, nullptr, *options, progress, streams);
    for (int i = 0; streams && i < streams->GetCount(); ++i)
      AddStream(r, *streams->GetStream(i), "picture." + streams->GetExtension(i));
  } catch (const Exception& e) {
    r.Error = e.Message();
  }
  return r;
}

}  // namespace

const std::vector<TKvWalkCase>& EveryModeCases() {
  static const std::vector<TKvWalkCase> cases = MakeCases();
  return cases;
}

const TKvWalkResult& EveryModeResult(int AIndex) {
  static std::mutex lock;
  static std::map<int, TKvWalkResult> results;
  std::lock_guard<std::mutex> hold(lock);
  auto it = results.find(AIndex);
  if (it == results.end()) it = results.emplace(AIndex, Convert(EveryModeCases().at(static_cast<size_t>(AIndex)))).first;
  return it->second;
}

std::string CaseTitle(const TKvWalkCase& ACase) {
  return ACase.Platform + " / " + ACase.Mode + (ACase.Variant.empty() ? "" : " / " + ACase.Variant);
}

const std::vector<std::vector<int>>& EveryModeCaseGroups() {
  static const std::vector<std::vector<int>> groups = [] {
    std::vector<std::vector<int>> r;
    const std::vector<TKvWalkCase>& cases = EveryModeCases();
    for (int i = 0; i < static_cast<int>(cases.size()); ++i) {
      if (r.empty() || cases[static_cast<size_t>(r.back()[0])].Class != cases[static_cast<size_t>(i)].Class)
        r.emplace_back();
      r.back().push_back(i);
    }
    return r;
  }();
  return groups;
}

std::string ModeTestName(int AGroup) {
  const TKvWalkCase& c = EveryModeCases().at(static_cast<size_t>(EveryModeCaseGroups().at(static_cast<size_t>(AGroup))[0]));
  std::string name = std::to_string(AGroup) + "_" + c.Platform + "_" + c.Mode;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

std::unique_ptr<TKvTestFiles> OpenWalkFile(const TKvWalkResult& AResult, size_t AFile) {
  auto files = std::make_unique<TKvTestFiles>(AResult.Files.at(AFile).Name, AResult.Files[AFile].Bytes);
  for (size_t i = 0; i < AResult.Files.size(); ++i)
    if (i != AFile) files->Add(AResult.Files[i].Name, AResult.Files[i].Bytes);
  return files;
}

void ForEveryCaseOfGroup(int AGroup, const std::function<void(const TKvWalkCase&, const TKvWalkResult&)>& ACheck) {
  for (int index : EveryModeCaseGroups()[static_cast<size_t>(AGroup)]) {
    const TKvWalkCase& c = EveryModeCases()[static_cast<size_t>(index)];
    SCOPED_TRACE(CaseTitle(c));
    const TKvWalkResult& r = EveryModeResult(index);
    EXPECT_EQ(r.Error, "");
    ACheck(c, r);
  }
}
