// Seeds for fuzz_importers, built in memory: one valid file (in the target's
// input layout) of every format the importers read. The seed maker writes
// them out; the seed test checks that every registered importer decodes one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TKvImporterSeed {
  std::string Name;            // a file name for the seed folder
  std::vector<uint8_t> Input;  // in the layout of KvImporterFuzzInput.h
};

// Every file every converter writes: each mode converts a small made-up
// picture, and each of its files becomes one seed with the result's next file
// as the companion. A mode that fails is reported on stderr and skipped.
std::vector<TKvImporterSeed> ConverterImporterSeeds();

// Small files built byte by byte for what no converter writes: import-only
// formats, containers (tapes, snapshots, disk and program headers) and the
// variants of a format that our converters never choose.
std::vector<TKvImporterSeed> HandMadeImporterSeeds();

// The class names of the importers that the probe offers for AInput and
// whose Decode gives a picture.
std::vector<std::string> ImporterClassesDecoding(const std::vector<uint8_t>& AInput);
