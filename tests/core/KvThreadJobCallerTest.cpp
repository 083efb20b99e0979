// Runs whose first job the calling thread executes itself.
#include "core/KvThreadJob.h"

#include "rtl/KvSysUtils.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct TCallJob : TKvJob {
  TCallJob(TKvJobList* AList, std::function<void()> AWork) : TKvJob(AList), Work(std::move(AWork)) {}
  void Execute() override {
    Thread = std::this_thread::get_id();
    Work();
  }
  std::function<void()> Work;
  std::thread::id Thread;
};

}  // namespace

// The first job runs on the caller, the others on workers, each exactly once
// and all ended when the run returns; the workers go back to the pool with
// the list; a list can be empty.
TEST(KvThreadJobCaller, FirstJobOnTheCallingThread) {
  {
    TKvJobList empty;
    EXPECT_NO_THROW(empty.RunWithCaller(nullptr));
  }
  std::vector<int> runs(5, 0);
  {
    TKvJobList list;
    std::vector<TCallJob*> jobs;
    for (size_t i = 0; i < runs.size(); ++i) jobs.push_back(new TCallJob(&list, [&runs, i] { ++runs[i]; }));
    list.RunWithCaller(nullptr);
    EXPECT_EQ(runs, std::vector<int>(5, 1));
    EXPECT_EQ(jobs[0]->Thread, std::this_thread::get_id());
    for (size_t i = 1; i < jobs.size(); ++i) EXPECT_NE(jobs[i]->Thread, std::this_thread::get_id());
  }
  EXPECT_EQ(KvThreadPoolIdleCount(), KvThreadCreatedCount());
}

// As with Run: the abort flag wins over errors, otherwise the error of the
// lowest job index is raised, the caller's own included.
TEST(KvThreadJobCaller, AbortAndErrorsAsRun) {
  for (const int thrower : {0, 2}) {
    TKvJobList list;
    for (int i = 0; i < 4; ++i)
      new TCallJob(&list, [i, thrower] {
        if (i >= thrower) throw std::runtime_error(std::to_string(i));
      });
    try {
      list.RunWithCaller(nullptr);
      ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), std::to_string(thrower));
    }
  }
  bool abort = false;
  TKvJobList list;
  new TCallJob(&list, [&abort] { abort = true; });
  new TCallJob(&list, [] { throw std::runtime_error("late"); });
  EXPECT_THROW(list.RunWithCaller(&abort), EAbort);
}
