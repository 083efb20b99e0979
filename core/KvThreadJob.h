// Parallel job runner: heavy loops are cut into at most one chunk per
// processor, each chunk becomes a TKvJob, and TKvJobList::Run hands the jobs
// to pooled worker threads and blocks until all of them have ended, doing
// itself those that no worker has started yet. Every job has a worker of
// its own, so a job may wait for another job of its list.
//
// Callers' rule: when ProcessorCount is below 2 the caller does the whole
// range itself without jobs; otherwise it splits the range with
// TKvRangeSplitter, makes one job per chunk, runs the list once and frees it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <typeinfo>
#include <vector>

// The number of processors, read once at start-up. Other units read it directly.
extern int32_t ProcessorCount;

// The processors this process may run on now: those of its CPU affinity
// mask where the system has one (a process held to two cores gets 2), else
// the machine's count; at least 1, at most 64.
int32_t SystemProcessorCount();

// Stores SystemProcessorCount in ProcessorCount, unless a test override is
// in force.
void ReadProcessorCount();

// Test hook: forces ProcessorCount while it lives and restores the previous
// value afterwards. Use it only while no job list runs.
class TKvProcessorCountOverride {
public:
  explicit TKvProcessorCountOverride(int32_t ACount);
  ~TKvProcessorCountOverride();
  TKvProcessorCountOverride(const TKvProcessorCountOverride&) = delete;
  TKvProcessorCountOverride& operator=(const TKvProcessorCountOverride&) = delete;

private:
  int32_t FSaved;
};

// Cuts the range Start .. Start+Count-1 into min(Count, ProcessorCount)
// consecutive chunks of nearly equal size.
struct TKvRangeSplitter {
  int32_t Count = 0;
  int32_t Start = 0;
  int32_t Parts = 0;

  void Init(int32_t ACount, int32_t AStart);
  // False (and the outs untouched) when the range is used up.
  bool Next(int32_t& AFirst, int32_t& ALast);
};

// An auto-reset event: Signal wakes one Wait, or the next one to come.
class TKvEvent {
public:
  void Signal();
  void Wait();

private:
  std::mutex FLock;
  std::condition_variable FCond;
  bool FSignaled = false;
};

class TKvJob;
class TKvJobList;
struct TKvCallerRun;

// A pooled worker thread. Woken for one job of a run, it goes back to the
// pool as soon as it has done that job, or found that the calling thread
// took it.
class TKvThread {
public:
  TKvThread();
  ~TKvThread();  // only for idle threads: ends the thread and waits for it
  TKvThread(const TKvThread&) = delete;
  TKvThread& operator=(const TKvThread&) = delete;

private:
  friend class TKvJobList;
  friend class TKvJob;
  friend void FreeThreadPool();
  void Execute();
  void RequestStop();

  // The run it was woken for, and the job meant for it.
  std::shared_ptr<TKvCallerRun> FRun;
  size_t FRunJob = 0;
  bool FStopRequested = false;  // touched only by the thread that owns the pool entry
  TKvEvent FStart;
  std::thread FThread;
};

// One unit of work. Subclasses override Execute and add their own fields.
class TKvJob {
public:
  // Appends the job to AList (when given), which owns it from then on.
  explicit TKvJob(TKvJobList* AList);
  // Removes the job from its list.
  virtual ~TKvJob();
  TKvJob(const TKvJob&) = delete;
  TKvJob& operator=(const TKvJob&) = delete;

  virtual void Execute() {}

private:
  friend class TKvJobList;
  friend class TKvThread;
  friend struct TKvCallerRun;
  TKvJobList* FOwner;
  std::exception_ptr FError;  // what Execute raised, rethrown by Run
};

class TKvJobList {
public:
  TKvJobList() = default;
  // Frees the jobs from the last to the first.
  ~TKvJobList();
  TKvJobList(const TKvJobList&) = delete;
  TKvJobList& operator=(const TKvJobList&) = delete;

  int GetCount() const { return static_cast<int>(FJobs.size()); }
  TKvJob* GetJob(int AIndex) const { return FJobs[static_cast<size_t>(AIndex)]; }

  // Hands every job to a pooled thread of its own and waits until all have
  // ended; meanwhile the calling thread does, in order, every job whose
  // thread has not started it yet, so a worker that wakes late (on a busy
  // machine) delays nothing. Every job runs exactly once. Then: when *AAbort
  // is set, raises the silent abort (EAbort); otherwise, when jobs raised
  // exceptions, raises again the one of the lowest job index, so the outcome
  // does not depend on timing.
  void Run(const bool* AAbort);
  // As Run, with the same outcome rules, but the calling thread executes the
  // first job itself before anything else, while the others are handed to
  // pooled threads: one hand-over fewer. Jobs started by their workers run
  // beside the caller's first job, as a team of jobs that wait for each
  // other needs. For short runs repeated many times, where the hand-overs
  // are the cost.
  void RunWithCaller(const bool* AAbort);

private:
  friend class TKvJob;
  void RunShared(const bool* AAbort, bool ACallerFirst);
  std::vector<TKvJob*> FJobs;
};

// Pool access (also used by the tests).
TKvThread* AcquirePooledThread();
void ReleasePooledThread(TKvThread* AThread);
void FreeThreadPool();
// Idle threads in the pool and threads ever created; for tests.
int KvThreadPoolIdleCount();
int KvThreadCreatedCount();
// Blocks until every thread is back in the pool: after RunWithCaller a
// worker that woke late may still be on its way. For tests and the pool's
// shut-down.
void KvWaitForIdleThreads();

// The least work, in nanoseconds of one processor, that a job must carry to
// be handed to a pooled thread: handing a job over and waiting for it costs
// some 10 to 50 us on a quiet machine and more on a busy one, where a loop
// cut into four shares of 150 us ran no faster than on the calling thread
// alone and one cut into four of 650 us ran 1.5 times as fast (bench_preview,
// BM_HandOver), so less work is done sooner by the calling thread itself. 0
// or less hands every share over, whatever the measurements say. The results
// never depend on it; tests change it to force one way or the other.
extern int64_t KvMinJobNanoseconds;

// The work a loop did in its last run, in nanoseconds per item (items as
// the loop counts them), or a negative value when it has not run yet. Loops
// are told apart by a type of their own, usually the type of their body.
double KvLoopRate(const std::type_info& ALoop);
void KvNoteLoopRate(const std::type_info& ALoop, double ANanosecondsPerItem);

// How many shares, at most AShares and at least 1, the work ANanoseconds
// makes when each must carry at least KvMinJobNanoseconds (all AShares when
// that is 0 or less).
int32_t KvPayingShares(double ANanoseconds, int32_t AShares);

// Runs AWork(AFirst, ALast) over the items 0 .. ACount-1, cut into at most
// ProcessorCount consecutive chunks of at least AMinChunk items each: the
// first chunk on the calling thread, the others on pooled threads (the
// outcome rules of TKvJobList::RunWithCaller). One chunk runs on the calling
// thread without jobs. For loops whose items are independent.
//
// Each run is timed, per loop (told apart by the type of AWork's target),
// and a run makes only as many chunks as give each at least
// KvMinJobNanoseconds of work at the rate last measured: a small stage stays
// on the calling thread. A loop not yet measured does its first chunk on the
// calling thread before anything is handed over, and cuts the rest by the
// rate that chunk shows, so a first run of a small loop starts no thread.
void KvRunChunkJobs(int32_t ACount, int32_t AMinChunk, const bool* AAbort,
                    const std::function<void(int32_t, int32_t)>& AWork);

// For loops cut into equal shares that keep scratch per share and whose
// outcome does not depend on the number of shares: the number of shares
// that the loop's work, at the rate last measured per item (AItems, as the
// loop counts its work), pays for with KvMinJobNanoseconds each, at most
// ProcessorCount. A loop not yet measured, or too small to share, gets one
// share: it runs on the calling thread with its scratch made once, not once
// per processor.
int32_t KvShareCount(int64_t AItems, const std::type_info& ALoop);

// Runs AWork(AShare, AShares) for AShare = 0 .. AShares-1, the first on the
// calling thread and the others on pooled threads (the outcome rules of
// TKvJobList::RunWithCaller), one share alone on the calling thread without
// jobs; measures the loop's work for KvShareCount. Loops that run together
// with the same cut take AShares from KvShareCount of one of them.
void KvRunShares(int32_t AShares, int64_t AItems, const std::type_info& ALoop, const bool* AAbort,
                 const std::function<void(int32_t, int32_t)>& AWork);
