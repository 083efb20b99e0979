#include "app/KvAppServices.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdlib>
#include <thread>

std::string KvDemangledName(const std::type_info& AType) {
  int LStatus = 0;
  char* LName = abi::__cxa_demangle(AType.name(), nullptr, nullptr, &LStatus);
  std::string LResult = (LStatus == 0 && LName) ? std::string(LName) : std::string(AType.name());
  std::free(LName);
  return LResult;
}

namespace {

class TKvThreadWorker : public TKvWorker {
public:
  explicit TKvThreadWorker(std::function<void()> AJob)
      : FThread([this, LJob = std::move(AJob)] {
          LJob();
          FFinished.store(true, std::memory_order_release);
        }) {}
  ~TKvThreadWorker() override { WaitFor(); }
  bool Finished() const override { return FFinished.load(std::memory_order_acquire); }
  void WaitFor() override {
    if (FThread.joinable()) FThread.join();
  }

private:
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};

}  // namespace

std::unique_ptr<TKvWorker> TKvThreadWorkerLauncher::Launch(std::function<void()> AJob) {
  return std::make_unique<TKvThreadWorker>(std::move(AJob));
}
