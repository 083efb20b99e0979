#include "bitmap/B32_Bindings.h"

#include <gtest/gtest.h>

namespace {
using TIntProc = int (*)(int);
int Plain(int v) { return v + 1; }
int Fast(int v) { return v + 2; }
int Faster(int v) { return v + 3; }
int Other(int v) { return v + 4; }

// Poses as a processor with the given features.
TFunctionPriority On(TCPUFeatures set) {
  return [set](const TFunctionInfo& i) { return PriorityForFeatures(i, set); };
}
}  // namespace

TEST(B32_BindingsTest, LastRegisteredUsableImplementationWins) {
  const TCPUFeatures sse2 = CpuFeatures(cfMMX, cfSSE, cfSSE2);
  const TCPUFeatures mmxOnly = CpuFeatures(cfMMX);
  struct Case {
    const char* What;
    std::vector<std::pair<TIntProc, TCPUFeatures>> Impls;
    TCPUFeatures Cpu;
    TIntProc Want;
  };
  const Case cases[] = {
      {"plain then SSE2, with SSE2", {{Plain, 0}, {Fast, CpuFeatures(cfSSE2)}}, sse2, Fast},
      {"plain then SSE2, without SSE2", {{Plain, 0}, {Fast, CpuFeatures(cfSSE2)}}, mmxOnly, Plain},
      {"same requirement: later wins", {{Plain, 0}, {Fast, 0}}, 0, Fast},
      {"SSE2 then plain: plain was last", {{Fast, CpuFeatures(cfSSE2)}, {Plain, 0}}, sse2, Plain},
      {"only a missing feature", {{Fast, CpuFeatures(cf3DNow)}}, sse2, nullptr},
      {"three levels on MMX", {{Plain, 0}, {Fast, CpuFeatures(cfMMX)}, {Faster, CpuFeatures(cfSSE2)}}, mmxOnly, Fast},
  };
  for (const Case& c : cases) {
    TFunctionRegistry reg("test");
    TIntProc var = Other;
    reg.AddBinding(7, &var);
    reg.AddImplementation(8, Other);  // another number is never picked
    for (auto& [proc, features] : c.Impls) reg.AddImplementation(7, proc, features);
    reg.AddImplementation(9, Other);
    reg.RebindAll(On(c.Cpu));
    EXPECT_EQ(var, c.Want) << c.What;
  }
}

TEST(B32_BindingsTest, LowerPriorityBeatsOrderAndDefaultUsesTheProcessor) {
  TFunctionRegistry reg;
  TIntProc a = nullptr, b = nullptr;
  reg.AddBinding(1, &a);
  reg.AddBinding(2, &b);
  reg.AddImplementation(1, Plain, 0, 5);
  reg.AddImplementation(1, Fast, 0, 1);
  reg.AddImplementation(2, Plain);
  reg.AddImplementation(2, Faster, CpuFeatures(cfSSE2));
  reg.RebindAll([](const TFunctionInfo& i) { return i.Flags; });  // lower beats later
  EXPECT_EQ(a, Fast);
  reg.RebindAll();
  EXPECT_EQ(b, InFeatureSet(CpuFeatureSet(), cfSSE2) ? Faster : Plain);
  EXPECT_EQ(reinterpret_cast<TIntProc>(reg.FindBest(3)), nullptr);
  reg.Clear();
  EXPECT_TRUE(reg.GetItems().empty());
  EXPECT_EQ(reg.BindingCount(), 0u);
}

TEST(B32_BindingsTest, RegistriesAreListedInCreationOrder) {
  const size_t before = Registers().size();
  TFunctionRegistry* r1 = CreateRegistry("first test registry");
  TFunctionRegistry* r2 = CreateRegistry("second test registry");
  ASSERT_EQ(Registers().size(), before + 2);
  EXPECT_EQ(Registers()[before].get(), r1);
  EXPECT_EQ(Registers()[before + 1]->GetName(), "second test registry");
  EXPECT_EQ(r2->GetName(), "second test registry");
}
