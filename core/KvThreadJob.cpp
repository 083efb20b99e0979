#include "core/KvThreadJob.h"

#include "rtl/KvSysUtils.h"

#if defined(__linux__)
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <typeindex>
#include <unordered_map>

int32_t ProcessorCount = 1;

namespace {

// Overrides alive; while any is, ReadProcessorCount leaves the count alone.
std::atomic<int> GOverrides{0};

}  // namespace

int32_t SystemProcessorCount() {
  unsigned n = 0;
#if defined(__linux__)
  // The calling thread's mask: the one the process started with unless the
  // thread was given its own. Masks for up to 4096 processors.
  constexpr int MaxCpus = 4096;
  if (cpu_set_t* set = CPU_ALLOC(MaxCpus)) {
    const size_t size = CPU_ALLOC_SIZE(MaxCpus);
    CPU_ZERO_S(size, set);
    if (sched_getaffinity(0, size, set) == 0) n = static_cast<unsigned>(CPU_COUNT_S(size, set));
    CPU_FREE(set);
  }
#endif
  if (n == 0) n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int32_t>(std::min(n, 64u));
}

void ReadProcessorCount() {
  if (GOverrides.load() == 0) ProcessorCount = SystemProcessorCount();
}

namespace {

// The pool of idle threads and its lock. Both live in one object whose
// destruction at program end stops the idle threads.
struct TKvThreadPool {
  std::mutex Lock;
  std::condition_variable Returned;
  std::vector<TKvThread*>* Idle = nullptr;  // created on the first return
  std::atomic<int> Created{0};
  int Live = 0;  // threads not yet freed, under Lock

  TKvThreadPool() { ReadProcessorCount(); }
  ~TKvThreadPool() { FreeThreadPool(); }
};

TKvThreadPool& Pool() {
  static TKvThreadPool pool;
  return pool;
}

// Reads the processor count at start-up, before any other unit's code runs jobs.
[[maybe_unused]] const bool GProcessorCountRead = (Pool(), true);

}  // namespace

TKvProcessorCountOverride::TKvProcessorCountOverride(int32_t ACount) : FSaved(ProcessorCount) {
  ++GOverrides;
  ProcessorCount = ACount;
}

TKvProcessorCountOverride::~TKvProcessorCountOverride() {
  ProcessorCount = FSaved;
  --GOverrides;
}

// ---------------------------------------------------------------------------

void TKvRangeSplitter::Init(int32_t ACount, int32_t AStart) {
  Count = ACount;
  Start = AStart;
  Parts = ACount;
  if (Parts > ProcessorCount) Parts = ProcessorCount;
  if (Parts > Count) Parts = Count;
}

bool TKvRangeSplitter::Next(int32_t& AFirst, int32_t& ALast) {
  if (Count <= 0) return false;
  int32_t chunk;
  if (Parts <= 1) {
    chunk = Count;
  } else {
    chunk = static_cast<int32_t>(Round(static_cast<double>(Count) / Parts));
    if (chunk < 1) chunk = 1;
    if (chunk > Count) chunk = Count;
  }
  AFirst = Start;
  ALast = Start + chunk - 1;
  Count -= chunk;
  Start += chunk;
  --Parts;
  return true;
}

// ---------------------------------------------------------------------------

void TKvEvent::Signal() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FSignaled = true;
  }
  FCond.notify_one();
}

void TKvEvent::Wait() {
  std::unique_lock<std::mutex> g(FLock);
  FCond.wait(g, [this] { return FSignaled; });
  FSignaled = false;
}

// ---------------------------------------------------------------------------

// What the calling thread and the workers of one RunWithCaller share. A
// worker that wakes after the run has ended holds it still, but finds its
// job taken and touches no job.
struct TKvCallerRun {
  explicit TKvCallerRun(const std::vector<TKvJob*>& AJobs) : Jobs(AJobs), Taken(AJobs.size()) {}

  // True for the one thread that gets job AIndex.
  bool Take(size_t AIndex) { return !Taken[AIndex].exchange(true); }
  static void Execute(TKvJob* AJob) {
    try {
      AJob->Execute();
    } catch (...) {
      AJob->FError = std::current_exception();
    }
  }
  // A worker's part: its job, unless the caller took it first.
  void Serve(size_t AIndex) {
    Busy.fetch_add(1);
    if (Take(AIndex)) Execute(Jobs[AIndex]);
    if (Busy.fetch_sub(1) == 1) {
      std::lock_guard<std::mutex> g(Lock);
      Quiet.notify_all();
    }
  }
  // Returns once no worker is in a job: the caller has taken every job
  // before, so none can start afterwards.
  void WaitWorkers() {
    std::unique_lock<std::mutex> g(Lock);
    Quiet.wait(g, [this] { return Busy.load() == 0; });
  }

  std::vector<TKvJob*> Jobs;
  std::vector<std::atomic<bool>> Taken;
  std::atomic<int> Busy{0};  // workers in a job or about to take theirs
  std::mutex Lock;
  std::condition_variable Quiet;
};

TKvThread::TKvThread() : FThread([this] { Execute(); }) { ++Pool().Created; }

// Tells an idle thread to leave its loop.
void TKvThread::RequestStop() {
  if (FStopRequested) return;
  FStopRequested = true;
  FRun = nullptr;
  FStart.Signal();
}

TKvThread::~TKvThread() {
  if (FThread.joinable()) {
    RequestStop();
    FThread.join();
  }
}

void TKvThread::Execute() {
  for (;;) {
    FStart.Wait();
    // Woken without a run: the pool stops.
    if (!FRun) return;
    std::shared_ptr<TKvCallerRun> run = std::move(FRun);
    run->Serve(FRunJob);
    run.reset();
    ReleasePooledThread(this);
  }
}

TKvThread* AcquirePooledThread() {
  TKvThreadPool& pool = Pool();
  std::lock_guard<std::mutex> g(pool.Lock);
  if (pool.Idle != nullptr && !pool.Idle->empty()) {
    TKvThread* t = pool.Idle->back();
    pool.Idle->pop_back();
    return t;
  }
  try {
    TKvThread* t = new TKvThread;
    ++pool.Live;
    return t;
  } catch (const std::system_error& e) {
    throw EOSError(static_cast<uint32_t>(e.code().value()), std::string("Cannot create a thread: ") + e.what());
  }
}

void ReleasePooledThread(TKvThread* AThread) {
  TKvThreadPool& pool = Pool();
  {
    std::lock_guard<std::mutex> g(pool.Lock);
    if (pool.Idle == nullptr) pool.Idle = new std::vector<TKvThread*>;
    pool.Idle->push_back(AThread);
  }
  pool.Returned.notify_all();
}

void KvWaitForIdleThreads() {
  TKvThreadPool& pool = Pool();
  std::unique_lock<std::mutex> g(pool.Lock);
  pool.Returned.wait(g, [&pool] { return (pool.Idle == nullptr ? 0 : static_cast<int>(pool.Idle->size())) == pool.Live; });
}

void FreeThreadPool() {
  TKvThreadPool& pool = Pool();
  KvWaitForIdleThreads();
  std::vector<TKvThread*>* idle;
  {
    std::lock_guard<std::mutex> g(pool.Lock);
    idle = pool.Idle;
    pool.Idle = nullptr;
    if (idle != nullptr) pool.Live -= static_cast<int>(idle->size());
  }
  if (idle == nullptr) return;
  for (auto it = idle->rbegin(); it != idle->rend(); ++it) (*it)->RequestStop();
  for (auto it = idle->rbegin(); it != idle->rend(); ++it) delete *it;
  delete idle;
}

int KvThreadPoolIdleCount() {
  TKvThreadPool& pool = Pool();
  std::lock_guard<std::mutex> g(pool.Lock);
  return pool.Idle == nullptr ? 0 : static_cast<int>(pool.Idle->size());
}

int KvThreadCreatedCount() { return Pool().Created.load(); }

// ---------------------------------------------------------------------------

TKvJob::TKvJob(TKvJobList* AList) : FOwner(AList) {
  if (AList != nullptr) AList->FJobs.push_back(this);
}

TKvJob::~TKvJob() {
  if (FOwner != nullptr) {
    auto& jobs = FOwner->FJobs;
    const auto it = std::find(jobs.begin(), jobs.end(), this);
    if (it != jobs.end()) jobs.erase(it);
  }
}

TKvJobList::~TKvJobList() {
  while (!FJobs.empty()) delete FJobs.back();  // the job removes itself
}

void TKvJobList::RunWithCaller(const bool* AAbort) { RunShared(AAbort, true); }

void TKvJobList::Run(const bool* AAbort) { RunShared(AAbort, false); }

void TKvJobList::RunShared(const bool* AAbort, bool ACallerFirst) {
  const size_t n = FJobs.size();
  for (TKvJob* job : FJobs) job->FError = nullptr;
  if (n > 0) {
    const auto run = std::make_shared<TKvCallerRun>(FJobs);
    const size_t firstWorker = ACallerFirst ? 1 : 0;
    if (ACallerFirst) run->Take(0);
    std::exception_ptr startError;
    for (size_t i = firstWorker; i < n; ++i) {
      TKvThread* t;
      try {
        t = AcquirePooledThread();
      } catch (...) {
        startError = std::current_exception();
        break;
      }
      t->FRun = run;
      t->FRunJob = i;
      t->FStart.Signal();
    }
    if (startError) {
      // Nothing more starts: the jobs no worker has taken are dropped, and
      // those taken must end before the caller frees them.
      for (size_t i = 0; i < n; ++i) run->Take(i);
      run->WaitWorkers();
      std::rethrow_exception(startError);
    }
    if (ACallerFirst) TKvCallerRun::Execute(FJobs[0]);
    // Every job whose worker has not started it yet is done here, in order;
    // each job has a worker of its own, so one waiting for another is still
    // started by its own worker.
    for (size_t i = firstWorker; i < n; ++i)
      if (run->Take(i)) TKvCallerRun::Execute(FJobs[i]);
    run->WaitWorkers();
  }
  if (Aborted(AAbort)) Abort();
  for (TKvJob* job : FJobs)
    if (job->FError) {
      std::exception_ptr e = job->FError;
      job->FError = nullptr;
      std::rethrow_exception(e);
    }
}

// ---------------------------------------------------------------------------

int64_t KvMinJobNanoseconds = 500000;

namespace {

int64_t Since(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - AStart).count();
}

// Times AWork(AFirst, ALast) on the calling thread.
int64_t TimedWork(const std::function<void(int32_t, int32_t)>& AWork, int32_t AFirst, int32_t ALast) {
  const auto start = std::chrono::steady_clock::now();
  AWork(AFirst, ALast);
  return Since(start);
}

class TKvChunkJob : public TKvJob {
public:
  TKvChunkJob(TKvJobList* AList, const std::function<void(int32_t, int32_t)>& AWork, int32_t AFirst, int32_t ALast)
      : TKvJob(AList), FWork(AWork), FFirst(AFirst), FLast(ALast) {}
  void Execute() override { Nanoseconds = TimedWork(FWork, FFirst, FLast); }

  int64_t Nanoseconds = 0;

private:
  const std::function<void(int32_t, int32_t)>& FWork;
  int32_t FFirst;
  int32_t FLast;
};

// Runs the list with the caller first and returns the work its jobs did.
int64_t RunTimedJobs(TKvJobList& AJobs, const bool* AAbort) {
  AJobs.RunWithCaller(AAbort);
  int64_t total = 0;
  for (int k = 0; k < AJobs.GetCount(); ++k) total += static_cast<TKvChunkJob*>(AJobs.GetJob(k))->Nanoseconds;
  return total;
}

// The work per item last measured in each loop.
struct TKvLoopRates {
  std::mutex Lock;
  std::unordered_map<std::type_index, double> NanosecondsPerItem;
};

TKvLoopRates& LoopRates() {
  static TKvLoopRates rates;
  return rates;
}

}  // namespace

double KvLoopRate(const std::type_info& ALoop) {
  TKvLoopRates& rates = LoopRates();
  std::lock_guard<std::mutex> g(rates.Lock);
  const auto it = rates.NanosecondsPerItem.find(std::type_index(ALoop));
  return it == rates.NanosecondsPerItem.end() ? -1.0 : it->second;
}

void KvNoteLoopRate(const std::type_info& ALoop, double ANanosecondsPerItem) {
  TKvLoopRates& rates = LoopRates();
  std::lock_guard<std::mutex> g(rates.Lock);
  rates.NanosecondsPerItem[std::type_index(ALoop)] = std::max(ANanosecondsPerItem, 0.0);
}

int32_t KvPayingShares(double ANanoseconds, int32_t AShares) {
  if (AShares < 1) return 1;
  if (KvMinJobNanoseconds <= 0) return AShares;
  const double shares = ANanoseconds / static_cast<double>(KvMinJobNanoseconds);
  return shares >= AShares ? AShares : std::max<int32_t>(1, static_cast<int32_t>(shares));
}

void KvRunChunkJobs(int32_t ACount, int32_t AMinChunk, const bool* AAbort,
                    const std::function<void(int32_t, int32_t)>& AWork) {
  if (ACount <= 0) return;
  const std::type_info& loop = AWork.target_type();
  const int64_t byWork = ACount / std::max<int32_t>(AMinChunk, 1);
  int32_t parts = static_cast<int32_t>(std::min<int64_t>(byWork, std::max<int32_t>(ProcessorCount, 1)));
  int32_t start = 0;  // the items before it are done
  int64_t total = 0;
  if (parts >= 2 && KvMinJobNanoseconds > 0) {
    const double rate = KvLoopRate(loop);
    if (rate >= 0) {
      parts = KvPayingShares(rate * ACount, parts);
    } else {
      // Not measured yet: the first chunk, done here, gives the rate by
      // which the rest is cut.
      start = ACount / parts;
      total = TimedWork(AWork, 0, start - 1);
      parts = KvPayingShares(static_cast<double>(total) / start * (ACount - start), parts - 1);
    }
  }
  const int32_t rest = ACount - start;
  if (parts < 2) {
    if (rest > 0) total += TimedWork(AWork, start, ACount - 1);
  } else {
    TKvJobList jobs;
    for (int32_t k = 0; k < parts; ++k) {
      const auto first = start + static_cast<int32_t>(static_cast<int64_t>(rest) * k / parts);
      const auto last = start + static_cast<int32_t>(static_cast<int64_t>(rest) * (k + 1) / parts) - 1;
      new TKvChunkJob(&jobs, AWork, first, last);
    }
    total += RunTimedJobs(jobs, AAbort);
  }
  KvNoteLoopRate(loop, static_cast<double>(total) / ACount);
}

int32_t KvShareCount(int64_t AItems, const std::type_info& ALoop) {
  const int32_t processors = std::max<int32_t>(ProcessorCount, 1);
  if (processors < 2) return 1;
  if (KvMinJobNanoseconds <= 0) return processors;
  const double rate = KvLoopRate(ALoop);
  return rate < 0 ? 1 : KvPayingShares(rate * static_cast<double>(std::max<int64_t>(AItems, 1)), processors);
}

void KvRunShares(int32_t AShares, int64_t AItems, const std::type_info& ALoop, const bool* AAbort,
                 const std::function<void(int32_t, int32_t)>& AWork) {
  int64_t total;
  if (AShares < 2) {
    total = TimedWork(AWork, 0, 1);
  } else {
    TKvJobList jobs;
    for (int32_t k = 0; k < AShares; ++k) new TKvChunkJob(&jobs, AWork, k, AShares);
    total = RunTimedJobs(jobs, AAbort);
  }
  KvNoteLoopRate(ALoop, static_cast<double>(total) / static_cast<double>(std::max<int64_t>(AItems, 1)));
}
