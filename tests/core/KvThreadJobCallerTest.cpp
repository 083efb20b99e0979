// Runs whose first job the calling thread executes itself.
#include "core/KvThreadJob.h"

#include "rtl/KvSysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <typeinfo>
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

// The first job runs on the caller, every job exactly once, all ended when
// the run returns; jobs that wait for each other run side by side, the
// others on workers too (here the caller's job waits for them); the workers
// go back to the pool; a list can be empty.
TEST(KvThreadJobCaller, FirstJobOnTheCallingThread) {
  {
    TKvJobList empty;
    EXPECT_NO_THROW(empty.RunWithCaller(nullptr));
  }
  std::vector<int> runs(5, 0);
  {
    std::mutex lock;
    std::condition_variable others;
    int done = 0;
    TKvJobList list;
    std::vector<TCallJob*> jobs;
    jobs.push_back(new TCallJob(&list, [&] {
      ++runs[0];
      std::unique_lock<std::mutex> g(lock);
      others.wait(g, [&] { return done == 4; });
    }));
    for (size_t i = 1; i < runs.size(); ++i)
      jobs.push_back(new TCallJob(&list, [&, i] {
        ++runs[i];
        std::lock_guard<std::mutex> g(lock);
        ++done;
        others.notify_all();
      }));
    list.RunWithCaller(nullptr);
    EXPECT_EQ(runs, std::vector<int>(5, 1));
    EXPECT_EQ(jobs[0]->Thread, std::this_thread::get_id());
    for (size_t i = 1; i < jobs.size(); ++i) EXPECT_NE(jobs[i]->Thread, std::this_thread::get_id());
  }
  // Jobs too short to wait for their workers: the caller may do them all.
  std::vector<std::atomic<int>> counts(8);
  for (int round = 0; round < 50; ++round) {
    TKvJobList list;
    for (size_t i = 0; i < counts.size(); ++i) new TCallJob(&list, [&counts, i] { ++counts[i]; });
    list.RunWithCaller(nullptr);
  }
  for (const auto& c : counts) EXPECT_EQ(c.load(), 50);
  KvWaitForIdleThreads();
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

namespace {

// The chunks one run of a loop of KvRunChunkJobs made, each with the thread
// that did it; always the same loop, so that its measured rate carries over.
struct TChunk {
  int32_t First, Last;
  std::thread::id Thread;
};
std::vector<TChunk> RunLoop(int32_t ACount) {
  std::mutex lock;
  std::vector<TChunk> chunks;
  KvRunChunkJobs(ACount, 1, nullptr, [&](int32_t AFirst, int32_t ALast) {
    std::lock_guard<std::mutex> g(lock);
    chunks.push_back({AFirst, ALast, std::this_thread::get_id()});
  });
  std::sort(chunks.begin(), chunks.end(), [](const TChunk& a, const TChunk& b) { return a.First < b.First; });
  return chunks;
}

class TMinJobTime {
public:
  explicit TMinJobTime(int64_t AValue) : FSaved(KvMinJobNanoseconds) { KvMinJobNanoseconds = AValue; }
  ~TMinJobTime() { KvMinJobNanoseconds = FSaved; }
  TMinJobTime(const TMinJobTime&) = delete;
  TMinJobTime& operator=(const TMinJobTime&) = delete;

private:
  int64_t FSaved;
};

}  // namespace

// A loop whose measured work is too little for a job of the least worth
// runs whole on the calling thread from its next run on; handing every
// share over, it is cut into one chunk per processor, the first on the
// caller. Either way every item is done once.
TEST(KvThreadJobCaller, ChunksOnlyWhenTheMeasuredWorkPays) {
  TKvProcessorCountOverride four(4);
  {
    TMinJobTime never(INT64_MAX);
    RunLoop(100);  // measured at least once
    const std::vector<TChunk> alone = RunLoop(100);
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_EQ(alone[0].First, 0);
    EXPECT_EQ(alone[0].Last, 99);
    EXPECT_EQ(alone[0].Thread, std::this_thread::get_id());
  }
  {
    TMinJobTime always(0);
    const std::vector<TChunk> split = RunLoop(100);
    ASSERT_EQ(split.size(), 4u);
    for (size_t k = 0; k < split.size(); ++k) {
      EXPECT_EQ(split[k].First, static_cast<int32_t>(25 * k));
      EXPECT_EQ(split[k].Last, static_cast<int32_t>(25 * k + 24));
    }
    EXPECT_EQ(split[0].Thread, std::this_thread::get_id());
  }
  KvWaitForIdleThreads();
  EXPECT_EQ(KvThreadPoolIdleCount(), KvThreadCreatedCount());
}

namespace {

// As RunLoop, with a loop of its own per Tag, so that it starts unmeasured,
// and some work per item.
template <int Tag>
std::vector<TChunk> RunFreshLoop(int32_t ACount) {
  std::mutex lock;
  std::vector<TChunk> chunks;
  KvRunChunkJobs(ACount, 1, nullptr, [&](int32_t AFirst, int32_t ALast) {
    volatile uint32_t spin = 0;
    for (int32_t i = AFirst; i <= ALast; ++i)
      for (int k = 0; k < 1000; ++k) spin = spin + 1;
    std::lock_guard<std::mutex> g(lock);
    chunks.push_back({AFirst, ALast, std::this_thread::get_id()});
  });
  std::sort(chunks.begin(), chunks.end(), [](const TChunk& a, const TChunk& b) { return a.First < b.First; });
  return chunks;
}

// The ranges of AChunks, which must cover 0 .. ACount-1 once, in order.
void ExpectCovered(const std::vector<TChunk>& AChunks, int32_t ACount) {
  int32_t next = 0;
  for (const TChunk& c : AChunks) {
    EXPECT_EQ(c.First, next);
    next = c.Last + 1;
  }
  EXPECT_EQ(next, ACount);
}

}  // namespace

// A loop's first run does its first chunk on the calling thread and cuts
// the rest by the rate that chunk showed: a small loop starts no thread,
// one whose rate pays hands the rest over.
TEST(KvThreadJobCaller, AFirstRunMeasuresItsFirstChunkBeforeHandingOver) {
  TKvProcessorCountOverride four(4);
  KvWaitForIdleThreads();
  {
    TMinJobTime never(INT64_MAX);
    const int created = KvThreadCreatedCount();
    const std::vector<TChunk> small = RunFreshLoop<1>(100);
    ExpectCovered(small, 100);
    for (const TChunk& c : small) EXPECT_EQ(c.Thread, std::this_thread::get_id());
    EXPECT_EQ(KvThreadCreatedCount(), created);
  }
  {
    TMinJobTime tiny(1);
    const std::vector<TChunk> big = RunFreshLoop<2>(100);
    ExpectCovered(big, 100);
    ASSERT_EQ(big.size(), 4u);
    EXPECT_EQ(big[0].Last, 24);
    EXPECT_EQ(big[1].Last, 49);
    EXPECT_EQ(big[0].Thread, std::this_thread::get_id());
  }
  KvWaitForIdleThreads();
  EXPECT_EQ(KvThreadPoolIdleCount(), KvThreadCreatedCount());
}

// Loops cut into shares: one share until the loop's measured work pays for
// more, then as many as it pays for, at most one per processor; every share
// runs once and knows the count.
TEST(KvThreadJobCaller, SharesAsManyAsTheMeasuredWorkPaysFor) {
  TKvProcessorCountOverride four(4);
  struct TLoop {};
  const std::type_info& loop = typeid(TLoop);
  {
    TMinJobTime least(1000);
    EXPECT_EQ(KvShareCount(100, loop), 1);  // not measured yet
    KvNoteLoopRate(loop, 25);
    EXPECT_EQ(KvShareCount(100, loop), 2);
    EXPECT_EQ(KvShareCount(1000, loop), 4);
    EXPECT_EQ(KvShareCount(10, loop), 1);
  }
  {
    TMinJobTime always(0);
    EXPECT_EQ(KvShareCount(1, loop), 4);
  }
  for (int32_t shares : {1, 3}) {
    std::mutex lock;
    std::vector<std::pair<int32_t, std::thread::id>> ran;
    KvRunShares(shares, 1000, loop, nullptr, [&](int32_t AShare, int32_t AShares) {
      EXPECT_EQ(AShares, shares);
      std::lock_guard<std::mutex> g(lock);
      ran.emplace_back(AShare, std::this_thread::get_id());
    });
    std::sort(ran.begin(), ran.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(ran.size(), size_t(shares));
    for (int32_t k = 0; k < shares; ++k) EXPECT_EQ(ran[size_t(k)].first, k);
    EXPECT_EQ(ran[0].second, std::this_thread::get_id());
    EXPECT_GE(KvLoopRate(loop), 0.0);
  }
  KvWaitForIdleThreads();
}
