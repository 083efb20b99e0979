// Writes the seeds of fuzz_importers (see KvImporterSeeds.h), one file each:
//
//   make_importer_seeds OUTDIR
//
// With --reach, replays inputs instead (a corpus, say) and tells how many
// registered importer classes decode at least one of them, naming the others:
//
//   make_importer_seeds --reach DIR|FILE...
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/KvSourceEngines.h"
#include "fuzz/KvFuzzInputFiles.h"
#include "fuzz/KvImporterSeeds.h"
#include "importers/KvImporterUnits.h"

namespace {

namespace fs = std::filesystem;

int Write(const fs::path& AOut) {
  fs::create_directories(AOut);
  std::vector<TKvImporterSeed> seeds = ConverterImporterSeeds();
  const size_t converted = seeds.size();
  std::vector<TKvImporterSeed> made = HandMadeImporterSeeds();
  for (TKvImporterSeed& s : made) s.Name = "made_" + s.Name;
  seeds.insert(seeds.end(), made.begin(), made.end());
  // Two files of one result may share an extension: number the later ones.
  std::set<std::string> names;
  for (const TKvImporterSeed& s : seeds) {
    std::string name = s.Name;
    for (int i = 2; !names.insert(name).second; ++i) name = s.Name + "_" + std::to_string(i);
    std::ofstream(AOut / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(s.Input.data()), static_cast<std::streamsize>(s.Input.size()));
  }
  std::printf("%zu seeds (%zu from converters, %zu hand-made) written to %s\n", seeds.size(), converted, made.size(),
              AOut.string().c_str());
  return 0;
}

int Reach(const std::vector<fs::path>& APaths) {
  std::vector<fs::path> files;
  if (!CollectFuzzInputs(APaths, files)) return 2;
  std::set<std::string> reached;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& c : ImporterClassesDecoding(data)) reached.insert(c);
  }
  InitializeImporters();
  const auto& classes = SourceEngineClasses();
  for (const TKvSourceEngineClass* c : classes)
    if (!reached.count(c->GetClassName())) std::printf("not reached: %s\n", c->GetClassName().c_str());
  std::printf("%zu inputs decode in %zu of %zu importer classes\n", files.size(), reached.size(), classes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--reach") return Reach(std::vector<fs::path>(argv + 2, argv + argc));
  if (argc == 2 && argv[1][0] != '-') return Write(argv[1]);
  std::fprintf(stderr, "usage: make_importer_seeds OUTDIR\n       make_importer_seeds --reach DIR|FILE...\n");
  return 2;
}
