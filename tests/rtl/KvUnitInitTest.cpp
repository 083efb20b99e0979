#include "rtl/KvUnitInit.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> gLog;
bool gFailB = false;
TKvUnitInitList* gNested = nullptr;

void InitA() { gLog.push_back("init A"); }
void InitB() {
  if (gFailB) throw std::runtime_error("B failed");
  gLog.push_back("init B");
}
void InitC() {
  if (gNested) gNested->Initialize();  // a unit that asks for its own library
  gLog.push_back("init C");
}
void DoneA() { gLog.push_back("done A"); }
void DoneC() { gLog.push_back("done C"); }

}  // namespace

TEST(KvUnitInitTest, RunsOnceInOrderAndFinalizesInReverse) {
  gLog.clear();
  TKvUnitInitList list("test", {{"A", &InitA, &DoneA}, {"B", &InitB}, {"C", &InitC, &DoneC}});
  gNested = &list;
  EXPECT_FALSE(list.Initialized());
  list.Initialize();
  list.Initialize();
  EXPECT_TRUE(list.Initialized());
  EXPECT_EQ(gLog, (std::vector<std::string>{"init A", "init B", "init C"}));

  gLog.clear();
  list.Finalize();
  EXPECT_FALSE(list.Initialized());
  EXPECT_EQ(gLog, (std::vector<std::string>{"done C", "done A"}));
  gLog.clear();
  list.Initialize();
  EXPECT_EQ(gLog, (std::vector<std::string>{"init A", "init B", "init C"}));
  gNested = nullptr;
}

TEST(KvUnitInitTest, FailedUnitStopsTheRunAndIsRetried) {
  gLog.clear();
  TKvUnitInitList list("test", {{"A", &InitA, &DoneA}, {"B", &InitB}, {"C", &InitC, &DoneC}});
  gFailB = true;
  EXPECT_THROW(list.Initialize(), std::runtime_error);
  EXPECT_FALSE(list.Initialized());
  gFailB = false;
  list.Initialize();
  EXPECT_TRUE(list.Initialized());
  EXPECT_EQ(gLog, (std::vector<std::string>{"init A", "init B", "init C"}));
}

TEST(KvUnitInitTest, ConcurrentCallersSeeOneCompleteRun) {
  gLog.clear();
  TKvUnitInitList list("test", {{"A", &InitA}, {"B", &InitB}, {"C", &InitC}});
  std::vector<std::thread> threads;
  std::vector<int> ready(8, 0);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      list.Initialize();
      ready[i] = list.Initialized() && gLog.size() == 3;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(gLog.size(), 3u);
  for (int r : ready) EXPECT_EQ(r, 1);
}
