#include "core/KvThreadJob.h"

#include "rtl/KvSysUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct TRangeJob : TKvJob {
  TRangeJob(TKvJobList* AList, int AFirst, int ALast, std::function<void(int, int)> AWork)
      : TKvJob(AList), First(AFirst), Last(ALast), Work(std::move(AWork)) {}
  void Execute() override { Work(First, Last); }
  int First, Last;
  std::function<void(int, int)> Work;
};

// The callers' rule: one processor does the range itself, more use jobs.
void ForRange(int ACount, const std::function<void(int, int)>& AWork, const bool* AAbort = nullptr) {
  if (ProcessorCount < 2) {
    if (ACount > 0) AWork(0, ACount - 1);
    return;
  }
  TKvJobList list;
  TKvRangeSplitter s;
  s.Init(ACount, 0);
  int first, last;
  while (s.Next(first, last)) new TRangeJob(&list, first, last, AWork);
  list.Run(AAbort);
}

// After the workers that runs with the caller may leave on their way back.
void ExpectAllThreadsIdle() {
  KvWaitForIdleThreads();
  EXPECT_EQ(KvThreadPoolIdleCount(), KvThreadCreatedCount());
}

}  // namespace

TEST(RangeSplitter, ChunksCoverTheRange) {
  const struct {
    int procs, count, start;
    std::vector<std::pair<int, int>> chunks;
  } cases[] = {
      {4, 10, 0, {{0, 1}, {2, 4}, {5, 6}, {7, 9}}},
      {8, 3, 5, {{5, 5}, {6, 6}, {7, 7}}},
      {4, 0, 0, {}},
      {1, 100, 0, {{0, 99}}},
  };
  for (const auto& c : cases) {
    TKvProcessorCountOverride force(c.procs);
    TKvRangeSplitter s;
    s.Init(c.count, c.start);
    EXPECT_EQ(s.Parts, static_cast<int>(c.chunks.size()));
    std::vector<std::pair<int, int>> got;
    int first = -7, last = -7;
    while (s.Next(first, last)) got.emplace_back(first, last);
    EXPECT_EQ(got, c.chunks) << c.count << " on " << c.procs;
    if (c.chunks.empty()) {
      EXPECT_EQ(first, -7);  // outs untouched
    }
  }
}

TEST(JobList, SameResultWithOneAndFourProcessors) {
  auto compute = [](int procs) {
    TKvProcessorCountOverride force(procs);
    std::vector<uint32_t> out(1000);
    ForRange(1000, [&](int first, int last) {
      for (int i = first; i <= last; ++i) out[i] = static_cast<uint32_t>(i) * 2654435761u;
    });
    return out;
  };
  EXPECT_EQ(compute(1), compute(4));
  ExpectAllThreadsIdle();
}

TEST(JobList, EmptyListReturnsOrAborts) {
  TKvJobList list;
  list.Run(nullptr);
  bool flag = false;
  list.Run(&flag);
  flag = true;
  EXPECT_THROW(list.Run(&flag), EAbort);
}

TEST(JobList, PoolIsReusedAcrossRuns) {
  TKvProcessorCountOverride force(4);
  // Jobs that all wait for each other: a worker done early cannot be handed
  // a later job of the same run, so the first run makes a thread per job.
  std::atomic<int> started{0};
  ForRange(4, [&started](int, int) {
    ++started;
    while (started.load() < 4) std::this_thread::yield();
  });
  KvWaitForIdleThreads();
  const int created = KvThreadCreatedCount();
  ForRange(4, [](int, int) {});
  KvWaitForIdleThreads();
  ForRange(3, [](int, int) {});
  EXPECT_EQ(KvThreadCreatedCount(), created);
  ExpectAllThreadsIdle();
}

TEST(JobList, FirstJobExceptionIsRaisedAfterAllJobsEnded) {
  TKvProcessorCountOverride force(4);
  std::atomic<int> finished{0};
  try {
    ForRange(4, [&](int first, int) {
      if (first >= 1) {
        finished++;
        // Jobs 1 and 3 fail; job 3 fails first in time, job 1 waits for it.
        if (first == 3) throw Exception("third");
        if (first == 1) {
          while (finished.load() < 3) std::this_thread::yield();
          throw Exception("first");
        }
      } else {
        finished++;
      }
    });
    FAIL() << "no exception";
  } catch (const EAbort&) {
    FAIL() << "not a cancellation";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "first");
  }
  EXPECT_EQ(finished.load(), 4);
  ExpectAllThreadsIdle();
}

TEST(JobList, CancelRaisesSilentAbortAndReturnsEveryWorker) {
  TKvProcessorCountOverride force(4);
  bool cancel = false;
  std::atomic<int> running{0};
  std::thread canceller([&] {
    while (running.load() < 4) std::this_thread::yield();
    std::atomic_ref<bool>(cancel).store(true);
  });
  try {
    ForRange(
        4,
        [&](int, int) {
          running++;
          // A long loop that polls the caller's cancel flag.
          while (!std::atomic_ref<bool>(cancel).load()) std::this_thread::yield();
        },
        &cancel);
    ADD_FAILURE() << "no abort";
  } catch (const EAbort& e) {
    EXPECT_EQ(e.Message(), "");
  }
  canceller.join();
  ExpectAllThreadsIdle();
  EXPECT_GE(KvThreadPoolIdleCount(), 4);
}

TEST(JobList, AbortInsideAJobStaysSilent) {
  TKvProcessorCountOverride force(2);
  EXPECT_THROW(ForRange(2, [](int first, int) {
                 if (first == 1) Abort();
               }),
               EAbort);
  ExpectAllThreadsIdle();
}

#if defined(__linux__)
#include <sched.h>

TEST(KvThreadJob, ProcessorCountFollowsTheAffinityMask) {
  cpu_set_t own;
  CPU_ZERO(&own);
  ASSERT_EQ(sched_getaffinity(0, sizeof own, &own), 0);
  const int available = CPU_COUNT(&own);
  EXPECT_EQ(SystemProcessorCount(), std::min(available, 64));
  if (available < 2) GTEST_SKIP() << "one processor only";
  // A thread of its own holds the narrower masks, so the rest of the
  // process keeps its processors.
  const int32_t saved = ProcessorCount;
  for (int wanted : {1, 2}) {
    cpu_set_t narrow;
    CPU_ZERO(&narrow);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < wanted; ++cpu)
      if (CPU_ISSET(cpu, &own)) {
        CPU_SET(cpu, &narrow);
        ++taken;
      }
    int32_t seen = 0, stored = 0, overridden = 0;
    std::thread t([&] {
      if (sched_setaffinity(0, sizeof narrow, &narrow) != 0) return;
      seen = SystemProcessorCount();
      ReadProcessorCount();
      stored = ProcessorCount;
      // The test override still wins over a fresh read.
      TKvProcessorCountOverride o(5);
      ReadProcessorCount();
      overridden = ProcessorCount;
    });
    t.join();
    EXPECT_EQ(seen, wanted);
    EXPECT_EQ(stored, wanted);
    EXPECT_EQ(overridden, 5);
    EXPECT_EQ(ProcessorCount, wanted);  // the override restored the fresh read
  }
  ProcessorCount = saved;
}
#endif
