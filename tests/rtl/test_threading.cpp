#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Threading.h"

namespace vela {
namespace {

TEST(Threading, DefaultPoolHasAtLeastTwoThreads) {
  EXPECT_GE(TThreadPool::Default().ThreadCount(), 2u);
}

TEST(Threading, TaskRunsOnAWorkerAndCompletes) {
  std::thread::id ranOn;
  auto task = TTask::Run([&] { ranOn = std::this_thread::get_id(); });
  task->Wait();
  EXPECT_EQ(task->Status(), TTaskStatus::Completed);
  EXPECT_NE(ranOn, std::thread::id());
  EXPECT_FALSE(task->Cancel());
}

TEST(Threading, WaitRethrowsTheTaskException) {
  auto task = TTask::Run([] { throw EConvertError("'x' is not a valid integer value"); });
  try {
    task->Wait();
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(ExceptionText(e), "EConvertError: 'x' is not a valid integer value");
  }
  EXPECT_EQ(task->Status(), TTaskStatus::Exception);
  // Every further wait raises again.
  EXPECT_THROW(task->Wait(), EConvertError);
  auto foreign = TTask::Run([] { throw std::runtime_error("boom"); });
  EXPECT_THROW(foreign->Wait(), std::runtime_error);
}

TEST(Threading, ManyConcurrentTasks) {
  std::atomic<int> sum{0};
  std::vector<IPtr<ITask>> tasks;
  for (int i = 1; i <= 1000; ++i)
    tasks.push_back(TTask::Run([&, i] { sum += i; }));
  TTask::WaitForAll(tasks);
  EXPECT_EQ(sum.load(), 500500);
  for (auto& t : tasks)
    EXPECT_EQ(t->Status(), TTaskStatus::Completed);
}

TEST(Threading, WaitForAllRaisesAfterAllFinished) {
  std::atomic<int> done{0};
  std::vector<IPtr<ITask>> tasks;
  for (int i = 0; i < 20; ++i)
    tasks.push_back(TTask::Run([&, i] {
      ++done;
      if (i % 5 == 0) throw EAbort();
    }));
  EXPECT_THROW(TTask::WaitForAll(tasks), EAbort);
  EXPECT_EQ(done.load(), 20);
}

TEST(Threading, WaitingInsideWorkersDoesNotStarve) {
  // Every worker of a two-thread pool waits for a task queued behind it; the waiter runs the
  // queued task itself.
  TThreadPool pool(2);
  std::atomic<int> inner{0};
  std::vector<IPtr<ITask>> outer;
  for (int i = 0; i < 2; ++i)
    outer.push_back(TTask::Run(
        [&] {
          auto t = TTask::Run([&] { ++inner; }, pool);
          t->Wait();
        },
        pool));
  TTask::WaitForAll(outer);
  EXPECT_EQ(inner.load(), 2);
}

TEST(Threading, CancelBeforeStart) {
  TThreadPool pool(2);
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::atomic<bool> ran{false};
  auto block1 = TTask::Run([gate] { gate.wait(); }, pool);
  auto block2 = TTask::Run([gate] { gate.wait(); }, pool);
  auto queued = TTask::Run([&] { ran = true; }, pool);
  EXPECT_TRUE(queued->Cancel());
  EXPECT_EQ(queued->Status(), TTaskStatus::Canceled);
  release.set_value();
  block1->Wait();
  block2->Wait();
  queued->Wait();
  EXPECT_FALSE(ran.load());
}

TEST(Threading, MainThread) {
  // The test runner's thread loaded the library: it is the main thread.
  EXPECT_TRUE(IsMainThread());
  const auto main = MainThreadId();
  // Another thread is not the main thread. (A pool task may run inline on the waiting thread
  // when it has not started yet, so a plain thread makes the check deterministic.)
  bool onOther = true;
  std::thread([&] { onOther = IsMainThread(); }).join();
  EXPECT_FALSE(onOther);
  // Only the first registration counts, and here it comes from this thread.
  SetMainThread();
  std::thread([] { SetMainThread(); }).join();
  EXPECT_EQ(MainThreadId(), main);
  EXPECT_TRUE(IsMainThread());
}

}  // namespace
}  // namespace vela
