// The walk over the whole converter registry that the registry-wide importer
// tests share: every mode with its default options and with the variants its
// option panel offers from a small table, each converted once per process
// from one fixed picture, with the native files it writes named as saving
// names them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KvTestHarness.h"

// One conversion of the walk: a mode and, unless Variant is empty, one choice
// made on its option panel.
struct TKvWalkCase {
  const TKvDestEngineClass* Class = nullptr;
  std::string Platform;
  std::string Mode;
  std::string Variant;  // empty for the defaults, else "<control> <entry>"
  int Control = -1;     // the panel control the variant sets
  int Item = -1;        // its entry (for a check box: 1 checked, 0 not)
};

// A native file as saving writes it.
struct TKvWalkFile {
  std::string Name;
  TKvTestBytes Bytes;
};

struct TKvWalkResult {
  std::string Error;  // the message of a conversion that raised
  std::unique_ptr<TKvBitmap> Preview;
  std::vector<TKvWalkFile> Files;  // every stream, each followed by its sub-streams
  // The options' palette kind and two-frame calculation, which the import
  // dialog offers to choose again.
  int PaletteType = 0;
  int GigaCalculation = 0;
};

// The cases in registry order, each mode's defaults first.
const std::vector<TKvWalkCase>& EveryModeCases();
// The indexes of the cases of each mode, one entry per mode: the unit the
// test suites run as one test, so that a test program run per test converts
// each mode's variants in one process.
const std::vector<std::vector<int>>& EveryModeCaseGroups();
// The conversion of case AIndex, made the first time it is asked for.
const TKvWalkResult& EveryModeResult(int AIndex);
// "Platform / Mode [/ variant]", for messages.
std::string CaseTitle(const TKvWalkCase& ACase);
// A test name of letters, digits and underscores for the mode of group
// AGroup.
std::string ModeTestName(int AGroup);

// Runs ACheck on every case of mode group AGroup that converted, each under a
// trace naming the case; a conversion that failed fails the test.
void ForEveryCaseOfGroup(int AGroup, const std::function<void(const TKvWalkCase&, const TKvWalkResult&)>& ACheck);

// File AFile of AResult opened as the program opens it: the other files of
// the result lie beside it.
std::unique_ptr<TKvTestFiles> OpenWalkFile(const TKvWalkResult& AResult, size_t AFile);
