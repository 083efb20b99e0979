// Ordered start-up of the libraries' units.
//
// Each unit that must prepare something before use (bind its pixel routines,
// fill tables, register classes) offers one start-up function, and optionally
// one shut-down function. A library lists its units' functions ONCE, in a
// fixed order, in a TKvUnitInitList, and wraps it in a library-level function
// (InitializeBitmapLibrary in bitmap/B32_UnitInit.h). Programs and tests call
// that function explicitly before using the library; nothing relies on static
// initialisers across files, whose order C++ leaves open.
//
// A list runs its units once: the first Initialize runs them in order, later
// calls (from any thread) return at once after that run has finished. A unit
// that throws stops the run; the units before it stay initialised and the next
// Initialize resumes with the failed unit. Finalize runs the shut-down
// functions of the initialised units in reverse order; a later Initialize
// starts again from the first unit.
//
// Adding a library (colour core, converters, importers):
//   1. In the library's folder, one file holding its list, e.g.
//        static TKvUnitInitList& CoreUnits() {
//          static TKvUnitInitList list("colour core", {
//              {"KvColor", &KvColor_Initialize},
//              {"KvPalette", &KvPalette_Initialize, &KvPalette_Finalize},
//          });
//          return list;
//        }
//        void InitializeColourCore() {
//          InitializeBitmapLibrary();   // the libraries it builds on, first
//          CoreUnits().Initialize();
//        }
//   2. A new unit with start-up work adds one line to its library's list, at
//      the place its order requires (registration order is visible behaviour:
//      the platform and mode lists, the importer ranking).
//   3. Tests and the program call the library-level function (it is cheap
//      after the first call).
#pragma once

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

struct TKvUnitEntry {
  const char* Name;                  // the unit, for diagnostics
  void (*Initialize)();              // start-up; may be nullptr
  void (*Finalize)() = nullptr;      // shut-down; may be nullptr
};

class TKvUnitInitList {
public:
  TKvUnitInitList(std::string Name, std::initializer_list<TKvUnitEntry> Units);
  TKvUnitInitList(const TKvUnitInitList&) = delete;
  TKvUnitInitList& operator=(const TKvUnitInitList&) = delete;

  // Runs every unit's start-up once, in list order; thread-safe. A nested
  // call from inside a unit's start-up returns at once (the units before it
  // are ready).
  void Initialize();
  // Runs the shut-down of the initialised units, last first.
  void Finalize();
  bool Initialized() const { return FDone.load(std::memory_order_acquire); }

  const std::string& Name() const { return FName; }
  const std::vector<TKvUnitEntry>& Units() const { return FUnits; }

private:
  std::string FName;
  std::vector<TKvUnitEntry> FUnits;
  std::recursive_mutex FLock;
  std::atomic<bool> FDone{false};
  bool FRunning = false;
  size_t FNext = 0;  // units [0, FNext) are initialised
};
