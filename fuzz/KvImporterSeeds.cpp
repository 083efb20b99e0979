#include "fuzz/KvImporterSeeds.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/KvDestEngines.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"
#include "fuzz/KvImporterFuzzInput.h"
#include "importers/KvImporterUnits.h"
#include "rtl/KvSysUtils.h"

namespace {

// Smooth ramps with a few hard edges: every mode keeps several colours.
std::unique_ptr<TBitmap32> Picture(int AWidth, int AHeight) {
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      const uint32_t r = static_cast<uint32_t>(x * 255 / std::max(1, AWidth - 1));
      const uint32_t g = static_cast<uint32_t>(y * 255 / std::max(1, AHeight - 1));
      const uint32_t bl = ((x / 16 + y / 16) & 1) ? 220u : 30u;
      *b->GetPixelPtr(x, y) = 0xFF000000u | (r << 16) | (g << 8) | bl;
    }
  return b;
}

std::string SafeName(std::string AText) {
  for (char& c : AText)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return AText;
}

std::vector<uint8_t> Bytes(TKvStream& AStream) {
  const uint8_t* p = AStream.GetMemory();
  return p ? std::vector<uint8_t>(p, p + AStream.GetSize()) : std::vector<uint8_t>();
}

}  // namespace

std::vector<TKvImporterSeed> ConverterImporterSeeds() {
  InitializeImporters();
  std::vector<TKvImporterSeed> seeds;
  TKvDestEngineList& list = DestEngineList();
  for (int p = 0; p < list.GetCount(); ++p) {
    TKvDestSubTypes& modes = list.GetSubTypes(p);
    for (int m = 0; m < modes.GetCount(); ++m) {
      const TKvDestEngineClass& cls = *modes.GetObject(m);
      std::unique_ptr<TKvStreamList> streams;
      try {
        auto engine = cls.Create();
        auto options = engine->CreateOptions();
        options->UpdatePalette();
        auto picture = Picture(options->GetWidth(), options->GetHeight());
        TKvDestProgress progress;
        bool abort = false;
        cls.Convert(&abort, *picture, nullptr, nullptr, *options, progress, streams);
      } catch (const Exception& e) {
        std::fprintf(stderr, "%s / %s: %s\n", list.GetString(p).c_str(), modes.GetString(m).c_str(),
                     e.Message().c_str());
        continue;
      }
      // The files of one result: each stream, then its sub-streams, named
      // as saving names them (some streams put the name into their header).
      std::vector<std::pair<std::string, TKvStream*>> files;
      for (int i = 0; streams && i < streams->GetCount(); ++i) {
        TKvStream& stream = *streams->GetStream(i);
        std::string name = "picture." + stream.GetExtension();
        stream.AdjustFileName(name);
        stream.StoreFileName(name);
        files.emplace_back(name, &stream);
        for (int k = 0; k < stream.GetSubStreamCount(); ++k) {
          TKvStream& sub = *stream.GetSubStream(k);
          std::string subName = name.substr(0, name.find_last_of('.')) + "." + sub.GetExtension();
          sub.AdjustFileName(subName);
          sub.StoreFileName(subName);
          files.emplace_back(subName, &sub);
        }
      }
      const size_t n = files.size();
      for (size_t i = 0; i < n; ++i) {
        const std::string& name = files[i].first;
        TKvStream& main = *files[i].second;
        // Larger files would slow every fuzzing run down for little gain.
        if (main.GetSize() > 0x20000) continue;
        TKvStream* companion = n > 1 ? files[(i + 1) % n].second : nullptr;
        const size_t dot = name.find_last_of('.');
        const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        seeds.push_back({SafeName(list.GetString(p) + "_" + modes.GetString(m)) + "." + SafeName(main.GetExtension()),
                         MakeImporterFuzzInput(ext, 0, Bytes(main),
                                               companion ? Bytes(*companion) : std::vector<uint8_t>())});
      }
    }
  }
  return seeds;
}

std::vector<std::string> ImporterClassesDecoding(const std::vector<uint8_t>& AInput) {
  InitializeImporters();
  std::vector<std::string> classes;
  TKvImporterFuzzInput input;
  if (!input.Parse(AInput.data(), AInput.size())) return classes;
  TKvImporterFuzzSource source(input);
  std::unique_ptr<TKvSourceEngineList> list;
  try {
    list = source.FindEngines();
  } catch (const Exception&) {
    return classes;
  }
  for (int i = 0; i < list->GetCount(); ++i) {
    TKvSourceEngine& engine = *list->GetEngine(i);
    try {
      if (engine.Decode()) classes.push_back(engine.ClassType().GetClassName());
    } catch (const Exception&) {
      // Offered but unreadable: this input does not reach the class's decoder whole.
    }
  }
  return classes;
}
