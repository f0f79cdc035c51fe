// Background jobs of the application server: work that runs on the server's job thread, one job
// at a time in the order requested, away from the request threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vela {

// A job. A descendant does its work in InternalExcute and looks at Stopped() between steps, so
// that a server shutting down does not wait for more than one step.
class TCustomServerBackgroundJob {
 public:
  explicit TCustomServerBackgroundJob(std::string caption = {}) : FCaption(std::move(caption)) {}
  virtual ~TCustomServerBackgroundJob() = default;

  const std::string& Caption() const { return FCaption; }
  // True once a run has ended (also when it failed) and the job asked for no further run;
  // MakeFresh clears it.
  bool IsFinished() const { return FFinished.load(); }
  // Makes a finished job ready to run again: not finished, no stop request, progress 0, no error.
  void MakeFresh();
  // How long the job thread waits before the run starts (a shutdown ends the wait).
  void SetStartDelay(int milliseconds) { FStartDelay = milliseconds < 0 ? 0 : milliseconds; }
  int StartDelay() const { return FStartDelay.load(); }
  // 0 to 100.
  int Progress() const { return FProgress.load(); }
  void SetProgress(int percent);
  // Asks the job to end as soon as it can.
  void Stop() { FStopped = true; }
  bool Stopped() const { return FStopped.load(); }
  // The text of the exception that ended the last run ('' when it ended normally).
  std::string ErrorText() const;

  // Runs the job on the calling thread: InternalExcute (an exception ends the run and is kept
  // as ErrorText), then Finished. False when Finished asked for another run: the job thread
  // queues the job once more.
  bool Execute() noexcept;

 protected:
  virtual void InternalExcute() = 0;
  // Called when a run has ended. True: the job is done. False: it runs again after its start
  // delay (the job has made itself fresh and set the delay).
  virtual bool Finished() { return true; }

 private:
  std::string FCaption;
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FStopped{false};
  std::atomic<int> FStartDelay{0};
  std::atomic<int> FProgress{0};
  mutable std::mutex FLock;
  std::string FErrorText;
};

using TServerBackgroundJobPtr = std::shared_ptr<TCustomServerBackgroundJob>;

// Job groups: jobs of one group are related kinds of work (a host may show them together).
enum TServerBackgroundJobGroup : int { bjgDefault = 0, bjgBackgroundImport = 1 };

// A kind of job that a plug-in registers with the server, started by its identifier.
struct TServerBackgroundJobClient {
  std::string Identifier;  // GUID text
  std::string Caption;
  TServerBackgroundJobGroup Group = bjgDefault;
  // Asked before a job is created; setting Skip leaves the start out.
  std::function<void(bool& Skip)> OnExecuteJob;
  // Creates the job; nil leaves the start out.
  std::function<TServerBackgroundJobPtr()> CreateJob;
};

// The job thread: started with the first request, ended by Stop.
class TVelaServerJobThread {
 public:
  TVelaServerJobThread() = default;
  ~TVelaServerJobThread() { Stop(); }
  TVelaServerJobThread(const TVelaServerJobThread&) = delete;
  TVelaServerJobThread& operator=(const TVelaServerJobThread&) = delete;

  // Queues the job (a job already queued or running is not queued twice). False after Stop.
  bool Request(TServerBackgroundJobPtr job);
  // Starts a job of a registered kind: asks its OnExecuteJob, creates it and queues it. False
  // when the kind is unknown, the start was skipped or the thread has stopped.
  void RegisterJobClient(TServerBackgroundJobClient client);
  void UnregisterJobClient(std::string_view identifier);
  bool StartBackgroundJob(std::string_view identifier);
  // No job running or waiting.
  bool Idle() const;
  // The job that runs now (nil when none).
  TServerBackgroundJobPtr Current() const;
  // Asks the running and the waiting jobs to stop, drops the waiting ones, waits for the
  // running one to end and ends the thread. Further requests are refused.
  void Stop();
  // Waits until no job runs or waits; false when the timeout passed first.
  bool WaitIdle(int timeoutMilliseconds) const;

 private:
  void Run();

  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  std::deque<TServerBackgroundJobPtr> FQueue;
  std::vector<TServerBackgroundJobClient> FClients;
  TServerBackgroundJobPtr FCurrent;
  bool FStopping = false;
  std::thread FThread;
};

}  // namespace vela
