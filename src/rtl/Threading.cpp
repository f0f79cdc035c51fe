#include "rtl/Threading.h"

#include <atomic>
#include <chrono>
#include <exception>

namespace vela {

namespace {

std::atomic<std::thread::id> gMainThread{std::this_thread::get_id()};
std::atomic<bool> gMainThreadRegistered{false};

class TTaskImpl : public TInterfacedObject, public ITask {
  VELA_INTERFACES(TInterfacedObject, ITask)

 public:
  explicit TTaskImpl(std::function<void()> proc) : FProc(std::move(proc)) {}

  // Runs the procedure unless another thread has claimed it or it was cancelled.
  void Execute() {
    TTaskStatus expected = TTaskStatus::WaitingToRun;
    if (!FStatus.compare_exchange_strong(expected, TTaskStatus::Running)) return;
    TTaskStatus final = TTaskStatus::Completed;
    try {
      FProc();
    } catch (...) {
      FError = std::current_exception();
      final = TTaskStatus::Exception;
    }
    FProc = nullptr;  // release captured state as soon as the work is done
    Finish(final);
  }

  void MarkQueued() { FStatus = TTaskStatus::WaitingToRun; }

  void Wait() override {
    Execute();  // runs inline when no worker has started it yet
    std::unique_lock lock(FLock);
    FDone.wait(lock, [this] { return FFinished; });
    RaiseIfFailed();
  }

  bool Wait(uint32_t timeoutMs) override {
    {
      std::unique_lock lock(FLock);
      if (!FDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FFinished; }))
        return false;
    }
    RaiseIfFailed();
    return true;
  }

  TTaskStatus Status() const override { return FStatus.load(); }

  bool Cancel() override {
    TTaskStatus expected = TTaskStatus::WaitingToRun;
    if (!FStatus.compare_exchange_strong(expected, TTaskStatus::Canceled)) return false;
    FProc = nullptr;
    Finish(TTaskStatus::Canceled);
    return true;
  }

 private:
  void Finish(TTaskStatus status) {
    {
      std::lock_guard lock(FLock);
      FStatus = status;
      FFinished = true;
    }
    FDone.notify_all();
  }

  void RaiseIfFailed() {
    if (FError) std::rethrow_exception(FError);
  }

  std::function<void()> FProc;
  std::atomic<TTaskStatus> FStatus{TTaskStatus::Created};
  std::mutex FLock;
  std::condition_variable FDone;
  bool FFinished = false;
  std::exception_ptr FError;
};

}  // namespace

TThreadPool::TThreadPool(unsigned threadCount) {
  if (threadCount == 0) threadCount = std::max(2u, std::thread::hardware_concurrency());
  FWorkers.reserve(threadCount);
  for (unsigned i = 0; i < threadCount; ++i)
    FWorkers.emplace_back([this] { Execute(); });
}

TThreadPool::~TThreadPool() {
  {
    std::lock_guard lock(FLock);
    FStopping = true;
  }
  FWake.notify_all();
  for (auto& t : FWorkers)
    t.join();
}

void TThreadPool::Queue(std::function<void()> work) {
  {
    std::lock_guard lock(FLock);
    FQueue.push_back(std::move(work));
  }
  FWake.notify_one();
}

void TThreadPool::Execute() {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(FLock);
      FWake.wait(lock, [this] { return FStopping || !FQueue.empty(); });
      if (FQueue.empty()) return;  // stopping and drained
      work = std::move(FQueue.front());
      FQueue.pop_front();
    }
    work();  // queued work is wrapped by TTask and never throws out of here
  }
}

TThreadPool& TThreadPool::Default() {
  static TThreadPool pool;
  return pool;
}

IPtr<ITask> TTask::Run(std::function<void()> proc, TThreadPool& pool) {
  IPtr<TTaskImpl> task(new TTaskImpl(std::move(proc)));
  task->MarkQueued();
  // The queued closure holds its own reference, so the caller may drop the task.
  pool.Queue([task] { task->Execute(); });
  return IPtr<ITask>(task);
}

void TTask::WaitForAll(const std::vector<IPtr<ITask>>& tasks) {
  std::exception_ptr first;
  for (const auto& t : tasks) {
    if (!t) continue;
    try {
      t->Wait();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void SetMainThread() {
  bool expected = false;
  if (gMainThreadRegistered.compare_exchange_strong(expected, true))
    gMainThread = std::this_thread::get_id();
}

std::thread::id MainThreadId() {
  return gMainThread.load();
}

bool IsMainThread() {
  return std::this_thread::get_id() == MainThreadId();
}

}  // namespace vela
