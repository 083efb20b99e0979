// Writes a seed for fuzz_importers from every file every converter writes:
// each mode converts a small made-up picture, and each of its streams becomes
// one input in the fuzz target's layout ([extension index] [flags 0]
// [companion length, 16 bits LE] [file] [companion]), with the mode's next
// stream as the companion. So the fuzzer starts from valid files of every
// format we write, headers and trailers included.
//
//   make_importer_seeds OUTDIR
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/KvDestEngines.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvDestProgress.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformUnits.h"
#include "rtl/KvSysUtils.h"

namespace {

const char* const Extensions[] = {
#include "KvFuzzExtensions.inc"
    , ".bin", ""};
constexpr size_t ExtensionCount = sizeof(Extensions) / sizeof(Extensions[0]);

uint8_t ExtensionIndex(std::string AExt) {
  std::transform(AExt.begin(), AExt.end(), AExt.begin(), [](unsigned char c) { return std::tolower(c); });
  AExt = "." + AExt;
  for (size_t i = 0; i < ExtensionCount; ++i)
    if (AExt == Extensions[i]) return static_cast<uint8_t>(i);
  return static_cast<uint8_t>(ExtensionCount - 2);  // ".bin"
}

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_importer_seeds OUTDIR\n");
    return 2;
  }
  const std::filesystem::path out(argv[1]);
  std::filesystem::create_directories(out);
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  int written = 0;
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
        std::fprintf(stderr, "%s / %s: %s\n", list.GetString(p).c_str(), modes.GetString(m).c_str(), e.Message().c_str());
        continue;
      }
      // The files of one result: each stream, then its sub-streams.
      std::vector<TKvStream*> files;
      for (int i = 0; streams && i < streams->GetCount(); ++i) {
        files.push_back(streams->GetStream(i));
        for (int k = 0; k < files.back()->GetSubStreamCount(); ++k) files.push_back(streams->GetStream(i)->GetSubStream(k));
      }
      const size_t n = files.size();
      for (size_t i = 0; i < n; ++i) {
        TKvStream& main = *files[i];
        // Larger files would slow every fuzzing run down for little gain.
        if (main.GetSize() > 0x20000) continue;
        TKvStream* companion = n > 1 ? files[(i + 1) % n] : nullptr;
        if (companion && companion->GetSize() > 0xFFFF) companion = nullptr;
        const uint16_t companionSize = companion ? static_cast<uint16_t>(companion->GetSize()) : 0;
        std::string seed;
        seed += static_cast<char>(ExtensionIndex(main.GetExtension()));
        seed += '\0';
        seed += static_cast<char>(companionSize & 0xFF);
        seed += static_cast<char>(companionSize >> 8);
        seed.append(reinterpret_cast<const char*>(main.GetMemory()), static_cast<size_t>(main.GetSize()));
        if (companion) seed.append(reinterpret_cast<const char*>(companion->GetMemory()), companionSize);
        const std::string name =
            SafeName(list.GetString(p) + "_" + modes.GetString(m)) + "." + SafeName(main.GetExtension());
        std::ofstream(out / name, std::ios::binary).write(seed.data(), static_cast<std::streamsize>(seed.size()));
        ++written;
      }
    }
  }
  std::printf("%d seeds written to %s\n", written, out.string().c_str());
  return 0;
}
