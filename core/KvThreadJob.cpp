#include "core/KvThreadJob.h"

#include "rtl/KvSysUtils.h"

#if defined(__linux__)
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <string>
#include <system_error>

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
  std::vector<TKvThread*>* Idle = nullptr;  // created on the first return
  std::atomic<int> Created{0};

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

TKvThread::TKvThread() : FThread([this] { Execute(); }) { ++Pool().Created; }

// Tells an idle thread to leave its loop.
void TKvThread::RequestStop() {
  if (FStopRequested) return;
  FStopRequested = true;
  FJob = nullptr;
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
    TKvJob* job = FJob;
    if (job == nullptr) return;
    try {
      job->Execute();
    } catch (...) {
      job->FError = std::current_exception();
    }
    FDone.Signal();
    // Held until the job is destroyed; the destroyer has put this thread
    // back into the pool already.
    FRelease.Wait();
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
    return new TKvThread;
  } catch (const std::system_error& e) {
    throw EOSError(static_cast<uint32_t>(e.code().value()), std::string("Cannot create a thread: ") + e.what());
  }
}

void ReleasePooledThread(TKvThread* AThread) {
  TKvThreadPool& pool = Pool();
  std::lock_guard<std::mutex> g(pool.Lock);
  if (pool.Idle == nullptr) pool.Idle = new std::vector<TKvThread*>;
  pool.Idle->push_back(AThread);
}

void FreeThreadPool() {
  TKvThreadPool& pool = Pool();
  std::vector<TKvThread*>* idle;
  {
    std::lock_guard<std::mutex> g(pool.Lock);
    idle = pool.Idle;
    pool.Idle = nullptr;
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
  if (FThread != nullptr) {
    // Back into the pool first, so that the pool is complete as soon as the
    // list is freed; the thread's pending release wait is latched by the event.
    TKvThread* t = FThread;
    FThread = nullptr;
    ReleasePooledThread(t);
    t->FRelease.Signal();
  }
}

TKvJobList::~TKvJobList() {
  while (!FJobs.empty()) delete FJobs.back();  // the job removes itself
}

void TKvJobList::RunWithCaller(const bool* AAbort) {
  const size_t n = FJobs.size();
  std::vector<TKvThread*> started;
  started.reserve(n);
  std::exception_ptr startError;
  for (TKvJob* job : FJobs) job->FError = nullptr;
  for (size_t i = 1; i < n; ++i) {
    TKvJob* job = FJobs[i];
    TKvThread* t;
    try {
      t = AcquirePooledThread();
    } catch (...) {
      startError = std::current_exception();
      break;
    }
    job->FThread = t;
    t->FJob = job;
    started.push_back(t);
    t->FStart.Signal();
  }
  if (n > 0 && !startError) {
    TKvJob* job = FJobs[0];
    try {
      job->Execute();
    } catch (...) {
      job->FError = std::current_exception();
    }
  }
  for (TKvThread* t : started) t->FDone.Wait();
  if (startError) std::rethrow_exception(startError);
  if (Aborted(AAbort)) Abort();
  for (TKvJob* job : FJobs)
    if (job->FError) {
      std::exception_ptr e = job->FError;
      job->FError = nullptr;
      std::rethrow_exception(e);
    }
}

void TKvJobList::Run(const bool* AAbort) {
  const size_t n = FJobs.size();
  std::vector<TKvThread*> started;
  started.reserve(n);
  std::exception_ptr startError;
  for (size_t i = 0; i < n; ++i) {
    TKvJob* job = FJobs[i];
    job->FError = nullptr;
    TKvThread* t;
    try {
      t = AcquirePooledThread();
    } catch (...) {
      // The jobs already started must end before the caller frees them.
      startError = std::current_exception();
      break;
    }
    job->FThread = t;
    t->FJob = job;
    started.push_back(t);
    t->FStart.Signal();
  }
  for (TKvThread* t : started) t->FDone.Wait();
  if (startError) std::rethrow_exception(startError);
  if (Aborted(AAbort)) Abort();
  for (TKvJob* job : FJobs)
    if (job->FError) {
      std::exception_ptr e = job->FError;
      job->FError = nullptr;
      std::rethrow_exception(e);
    }
}

// ---------------------------------------------------------------------------

namespace {

class TKvChunkJob : public TKvJob {
public:
  TKvChunkJob(TKvJobList* AList, const std::function<void(int32_t, int32_t)>& AWork, int32_t AFirst, int32_t ALast)
      : TKvJob(AList), FWork(AWork), FFirst(AFirst), FLast(ALast) {}
  void Execute() override { FWork(FFirst, FLast); }

private:
  const std::function<void(int32_t, int32_t)>& FWork;
  int32_t FFirst;
  int32_t FLast;
};

}  // namespace

void KvRunChunkJobs(int32_t ACount, int32_t AMinChunk, const bool* AAbort,
                    const std::function<void(int32_t, int32_t)>& AWork) {
  if (ACount <= 0) return;
  const int64_t byWork = ACount / std::max<int32_t>(AMinChunk, 1);
  const int32_t parts = static_cast<int32_t>(std::min<int64_t>(byWork, std::max<int32_t>(ProcessorCount, 1)));
  if (parts < 2) {
    AWork(0, ACount - 1);
    return;
  }
  TKvJobList jobs;
  for (int32_t k = 0; k < parts; ++k) {
    const auto first = static_cast<int32_t>(static_cast<int64_t>(ACount) * k / parts);
    const auto last = static_cast<int32_t>(static_cast<int64_t>(ACount) * (k + 1) / parts) - 1;
    new TKvChunkJob(&jobs, AWork, first, last);
  }
  jobs.RunWithCaller(AAbort);
}
