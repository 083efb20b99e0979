// Named function registries: each pixel routine exists in several
// implementations; a registry binds the best one the processor supports into
// the function variable that every caller uses. Binding happens once during
// library start-up (rtl/KvUnitInit.h); afterwards the variables are only read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "bitmap/B32_System.h"
#include "rtl/KvSysUtils.h"

// A code pointer of any signature; registered procedures are stored as this
// type and converted back to their own type when bound.
using TGenericProc = void (*)();

// One registered implementation.
struct TFunctionInfo {
  int32_t FunctionID = 0;
  TGenericProc Proc = nullptr;
  TCPUFeatures CPUFeatures = 0;  // the features it requires
  int32_t Flags = 0;
};
using PFunctionInfo = TFunctionInfo*;

// Lower is better; InvalidPriority means unusable.
constexpr int32_t InvalidPriority = 2147483647;
using TFunctionPriority = std::function<int32_t(const TFunctionInfo& Info)>;

// 0 when the running processor has every feature Info requires.
int32_t DefaultPriority(const TFunctionInfo& Info);
// The same rule for a given feature set (lets tests pose as other processors).
int32_t PriorityForFeatures(const TFunctionInfo& Info, TCPUFeatures Available);

class TFunctionRegistry : public TPersistent {
public:
  explicit TFunctionRegistry(std::string Name = {}) : FName(std::move(Name)) {}
  ~TFunctionRegistry() override { Clear(); }

  template <class F>
  void AddImplementation(int32_t FunctionID, F* Proc, TCPUFeatures CPUFeatures = 0, int32_t Flags = 0) {
    AddImplementationProc(FunctionID, reinterpret_cast<TGenericProc>(Proc), CPUFeatures, Flags);
  }
  void AddImplementationProc(int32_t FunctionID, TGenericProc Proc, TCPUFeatures CPUFeatures, int32_t Flags);

  // Registers a function variable to be filled for FunctionID. F is the
  // variable's function-pointer type.
  template <class F>
  void AddBinding(int32_t FunctionID, F* Variable) {
    static_assert(std::is_pointer_v<F> && std::is_function_v<std::remove_pointer_t<F>>,
                  "bindings are function-pointer variables");
    FBindings.push_back(TBinding{FunctionID, Variable, [](void* Var, TGenericProc P) {
                                   *static_cast<F*>(Var) = reinterpret_cast<F>(P);
                                 }});
  }

  // The implementation with the lowest priority below InvalidPriority; among
  // equal priorities the one registered last; nullptr when none is usable.
  TGenericProc FindBest(int32_t FunctionID, const TFunctionPriority& PriorityCallback = {}) const;
  // Fills every bound variable, in binding order; nullptr when none is usable.
  void RebindAll(const TFunctionPriority& PriorityCallback = {});
  void Clear();

  const std::string& GetName() const { return FName; }
  void SetName(std::string V) { FName = std::move(V); }
  const std::vector<TFunctionInfo>& GetItems() const { return FItems; }
  size_t BindingCount() const { return FBindings.size(); }

private:
  struct TBinding {
    int32_t FunctionID;
    void* Variable;
    void (*Assign)(void* Variable, TGenericProc Proc);
  };
  std::vector<TFunctionInfo> FItems;
  std::vector<TBinding> FBindings;
  std::string FName;
};

// Creates a registry with this name and appends it to the global list.
TFunctionRegistry* CreateRegistry(const std::string& Name);
// The registries created so far, in creation order.
const std::vector<std::unique_ptr<TFunctionRegistry>>& Registers();

// Shut-down: frees every registry, last first.
void B32_Bindings_Finalize();
