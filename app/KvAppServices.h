// What the Qt-free application frame needs from its platform, handed in from
// outside: timers, worker threads, the settings store and the class names of
// engines. The program supplies Qt and std::thread implementations; tests
// supply timers fired by hand and workers they run themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

// The readable name of a class ("TKvCustomBWEngine"), from its type_info.
std::string KvDemangledName(const std::type_info& AType);

// A repeating timer of the UI thread. OnTimer runs on the UI thread.
class TKvTimer {
public:
  virtual ~TKvTimer() = default;
  virtual void SetInterval(int AMilliseconds) = 0;
  virtual void SetEnabled(bool AEnabled) = 0;
  virtual bool GetEnabled() const = 0;
  void SetOnTimer(std::function<void()> AHandler) { FOnTimer = std::move(AHandler); }
  // Runs the handler; what the platform's timer calls on each tick.
  void Fire() {
    if (FOnTimer) FOnTimer();
  }

private:
  std::function<void()> FOnTimer;
};

class TKvTimerFactory {
public:
  virtual ~TKvTimerFactory() = default;
  virtual std::unique_ptr<TKvTimer> CreateTimer() = 0;
};

// A started worker. Finished() turns true once its job has returned; the
// destructor waits for the job to end.
class TKvWorker {
public:
  virtual ~TKvWorker() = default;
  virtual bool Finished() const = 0;
  virtual void WaitFor() = 0;
};

// Starts jobs off the UI thread. A job must not throw.
class TKvWorkerLauncher {
public:
  virtual ~TKvWorkerLauncher() = default;
  virtual std::unique_ptr<TKvWorker> Launch(std::function<void()> AJob) = 0;
};

// The launcher of the program: one std::thread per job.
class TKvThreadWorkerLauncher : public TKvWorkerLauncher {
public:
  std::unique_ptr<TKvWorker> Launch(std::function<void()> AJob) override;
};
