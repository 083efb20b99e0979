#include "bitmap/B32_Bindings.h"

int32_t PriorityForFeatures(const TFunctionInfo& Info, TCPUFeatures Available) {
  return (Info.CPUFeatures & ~Available) == 0 ? 0 : InvalidPriority;
}

int32_t DefaultPriority(const TFunctionInfo& Info) { return PriorityForFeatures(Info, CpuFeatureSet()); }

void TFunctionRegistry::AddImplementationProc(int32_t FunctionID, TGenericProc Proc, TCPUFeatures CPUFeatures,
                                              int32_t Flags) {
  FItems.push_back(TFunctionInfo{FunctionID, Proc, CPUFeatures, Flags});
}

TGenericProc TFunctionRegistry::FindBest(int32_t FunctionID, const TFunctionPriority& PriorityCallback) const {
  int32_t best = InvalidPriority;
  TGenericProc result = nullptr;
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
    if (it->FunctionID != FunctionID) continue;
    const int32_t p = PriorityCallback ? PriorityCallback(*it) : DefaultPriority(*it);
    if (p < best) {
      result = it->Proc;
      best = p;
    }
  }
  return result;
}

void TFunctionRegistry::RebindAll(const TFunctionPriority& PriorityCallback) {
  for (const TBinding& b : FBindings) b.Assign(b.Variable, FindBest(b.FunctionID, PriorityCallback));
}

void TFunctionRegistry::Clear() {
  FItems.clear();
  FBindings.clear();
}

namespace {
std::vector<std::unique_ptr<TFunctionRegistry>>& RegistryList() {
  static std::vector<std::unique_ptr<TFunctionRegistry>> list;
  return list;
}
}  // namespace

TFunctionRegistry* CreateRegistry(const std::string& Name) {
  RegistryList().push_back(std::make_unique<TFunctionRegistry>(Name));
  return RegistryList().back().get();
}

const std::vector<std::unique_ptr<TFunctionRegistry>>& Registers() { return RegistryList(); }

void B32_Bindings_Finalize() {
  auto& list = RegistryList();
  while (!list.empty()) list.pop_back();
}
