#include "host/server/BackgroundJobs.h"

#include <algorithm>
#include <chrono>

#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

void TCustomServerBackgroundJob::MakeFresh() {
  FFinished = false;
  FStopped = false;
  FProgress = 0;
  std::lock_guard lock(FLock);
  FErrorText.clear();
}

void TCustomServerBackgroundJob::SetProgress(int percent) {
  FProgress = std::clamp(percent, 0, 100);
}

std::string TCustomServerBackgroundJob::ErrorText() const {
  std::lock_guard lock(FLock);
  return FErrorText;
}

bool TCustomServerBackgroundJob::Execute() noexcept {
  std::string error;
  try {
    InternalExcute();
  } catch (const std::exception& e) {
    error = ExceptionText(e);
  } catch (...) {
    error = "unknown exception";
  }
  {
    std::lock_guard lock(FLock);
    FErrorText = std::move(error);
  }
  bool done = true;
  try {
    done = Finished();
  } catch (...) {
    // A failing end hook ends the job: running it again could fail the same way forever.
  }
  FFinished = done;
  return done;
}

void TVelaServerJobThread::RegisterJobClient(TServerBackgroundJobClient client) {
  std::lock_guard lock(FLock);
  for (auto& c : FClients)
    if (SameText(c.Identifier, client.Identifier)) {
      c = std::move(client);
      return;
    }
  FClients.push_back(std::move(client));
}

void TVelaServerJobThread::UnregisterJobClient(std::string_view identifier) {
  std::lock_guard lock(FLock);
  std::erase_if(FClients, [&](const TServerBackgroundJobClient& c) {
    return SameText(c.Identifier, identifier);
  });
}

bool TVelaServerJobThread::StartBackgroundJob(std::string_view identifier) {
  TServerBackgroundJobClient client;
  {
    std::lock_guard lock(FLock);
    auto it = std::find_if(FClients.begin(), FClients.end(),
                           [&](const auto& c) { return SameText(c.Identifier, identifier); });
    if (it == FClients.end() || FStopping) return false;
    client = *it;
  }
  bool skip = false;
  if (client.OnExecuteJob) client.OnExecuteJob(skip);
  if (skip || !client.CreateJob) return false;
  TServerBackgroundJobPtr job = client.CreateJob();
  return job && Request(std::move(job));
}

bool TVelaServerJobThread::Request(TServerBackgroundJobPtr job) {
  if (!job) return false;
  std::lock_guard lock(FLock);
  if (FStopping) return false;
  if (FCurrent != job && std::find(FQueue.begin(), FQueue.end(), job) == FQueue.end())
    FQueue.push_back(std::move(job));
  if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
  FChanged.notify_all();
  return true;
}

bool TVelaServerJobThread::Idle() const {
  std::lock_guard lock(FLock);
  return !FCurrent && FQueue.empty();
}

TServerBackgroundJobPtr TVelaServerJobThread::Current() const {
  std::lock_guard lock(FLock);
  return FCurrent;
}

bool TVelaServerJobThread::WaitIdle(int timeoutMilliseconds) const {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds),
                           [this] { return !FCurrent && FQueue.empty(); });
}

void TVelaServerJobThread::Stop() {
  std::thread thread;
  {
    std::lock_guard lock(FLock);
    FStopping = true;
    for (auto& job : FQueue)
      job->Stop();
    FQueue.clear();
    if (FCurrent) FCurrent->Stop();
    thread = std::move(FThread);
    FChanged.notify_all();
  }
  if (thread.joinable()) thread.join();
}

void TVelaServerJobThread::Run() {
  std::unique_lock lock(FLock);
  for (;;) {
    FChanged.wait(lock, [this] { return FStopping || !FQueue.empty(); });
    if (FStopping) break;
    FCurrent = FQueue.front();
    FQueue.pop_front();
    // The start delay passes on this thread; a shutdown ends it early.
    const auto start =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(FCurrent->StartDelay());
    FChanged.wait_until(lock, start, [this] { return FStopping; });
    if (!FStopping && !FCurrent->Stopped()) {
      auto job = FCurrent;
      lock.unlock();
      const bool done = job->Execute();
      lock.lock();
      if (!done && !FStopping) FQueue.push_back(job);
    }
    FCurrent.reset();
    FChanged.notify_all();
  }
  FCurrent.reset();
  FChanged.notify_all();
}

}  // namespace vela
