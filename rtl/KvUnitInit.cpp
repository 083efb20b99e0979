#include "rtl/KvUnitInit.h"

TKvUnitInitList::TKvUnitInitList(std::string Name, std::initializer_list<TKvUnitEntry> Units)
    : FName(std::move(Name)), FUnits(Units) {}

void TKvUnitInitList::Initialize() {
  if (FDone.load(std::memory_order_acquire)) return;
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FDone.load(std::memory_order_relaxed) || FRunning) return;
  FRunning = true;
  struct Reset {
    bool& Flag;
    ~Reset() { Flag = false; }
  } reset{FRunning};
  while (FNext < FUnits.size()) {
    if (FUnits[FNext].Initialize) FUnits[FNext].Initialize();
    ++FNext;
  }
  FDone.store(true, std::memory_order_release);
}

void TKvUnitInitList::Finalize() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FRunning) return;
  FDone.store(false, std::memory_order_release);
  while (FNext > 0) {
    --FNext;
    if (FUnits[FNext].Finalize) FUnits[FNext].Finalize();
  }
}
