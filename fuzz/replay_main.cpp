// Replays kept fuzz findings without libFuzzer: every file of the folders
// (or the files) on the command line goes through the target's entry point
// once. A finding aborts, so the test that runs this fails on it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KvFuzzInputFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  if (!CollectFuzzInputs(std::vector<fs::path>(argv + 1, argv + argc), files)) return 2;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("%s (%zu bytes)\n", f.filename().string().c_str(), data.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return 0;
}
