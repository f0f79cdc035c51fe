// Background work: a small thread pool, tasks with a waitable result, and the identity of the
// main thread (the thread that owns the data modules and the user interface).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "rtl/Interfaces.h"

namespace vela {

// A fixed set of worker threads that run queued work in order of arrival. The destructor lets the
// queued work finish, then joins the workers.
class TThreadPool {
 public:
  // threadCount 0: the number of hardware threads, at least 2.
  explicit TThreadPool(unsigned threadCount = 0);
  ~TThreadPool();
  TThreadPool(const TThreadPool&) = delete;
  TThreadPool& operator=(const TThreadPool&) = delete;

  void Queue(std::function<void()> work);
  unsigned ThreadCount() const noexcept { return static_cast<unsigned>(FWorkers.size()); }
  // The process's shared pool, created on first use.
  static TThreadPool& Default();

 private:
  void Execute();

  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FQueue;
  std::vector<std::thread> FWorkers;
  bool FStopping = false;
};

enum class TTaskStatus { Created, WaitingToRun, Running, Completed, Exception, Canceled };

struct ITask : virtual IInterface {
  VELA_IID("{1D8A9619-71E9-4431-884E-023936A59DA0}");
  // Waits until the task has run; raises the task's exception in the waiter. A task that has not
  // started yet runs on the waiting thread, so waiting inside a pool thread cannot starve.
  virtual void Wait() = 0;
  // Waits at most timeoutMs; true when the task has finished (its exception is raised then).
  virtual bool Wait(uint32_t timeoutMs) = 0;
  virtual TTaskStatus Status() const = 0;
  // Cancels a task that has not started; false when it already runs or ran.
  virtual bool Cancel() = 0;
};

class TTask {
 public:
  // Queues proc on the pool and returns the running task.
  static IPtr<ITask> Run(std::function<void()> proc, TThreadPool& pool = TThreadPool::Default());
  // Waits for every task; raises the first exception in list order after all have finished.
  static void WaitForAll(const std::vector<IPtr<ITask>>& tasks);
};

// The main thread: the thread that first called SetMainThread, or else the thread that loaded the
// library.
void SetMainThread();
std::thread::id MainThreadId();
bool IsMainThread();

}  // namespace vela
