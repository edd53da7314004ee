#include "extract/worker.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "extract/disc_extractor.h"
#include "extract/nand_dumper.h"
#include "protocol/console_controls.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

// The thread of the worker started last and what became of it. Never destroyed: a worker that is
// still running when the program ends must not take the process down with std::terminate.
class WorkerSlot {
 public:
  WorkerStart Start(WorkerProcedure procedure, WorkerDone done) {
    int32_t idle = 0;
    if (!g_workerBusy.compare_exchange_strong(idle, 1)) return WorkerStart::Busy;
    g_stopRequested = 0;
    JoinPrevious();
    std::unique_lock lock(mutex_);
    running_ = true;
    outcome_.reset();
    bool started = false;
    if (!TakeThreadFailure()) {
      try {
        thread_ = std::thread(&WorkerSlot::Run, this, std::move(procedure), std::move(done));
        started = true;
      } catch (...) {
        // std::system_error when the system refuses a thread, std::bad_alloc without memory.
      }
    }
    if (started) return WorkerStart::Started;
    running_ = false;
    lock.unlock();
    g_workerBusy = 0;
    ShowError(kMsgWorkerStart, kCaptionError);
    return WorkerStart::Failed;
  }

  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, timeout, [&] { return !running_; });
  }

  std::optional<ExtractOutcome> Wait() {
    {
      std::unique_lock lock(mutex_);
      ended_.wait(lock, [&] { return !running_; });
    }
    JoinPrevious();
    std::lock_guard lock(mutex_);
    std::optional<ExtractOutcome> outcome = outcome_;
    outcome_.reset();
    return outcome;
  }

  bool Running() {
    std::lock_guard lock(mutex_);
    return running_;
  }

  void FailThreads(int count) {
    std::lock_guard lock(mutex_);
    failingThreads_ = count;
  }

 private:
  void Run(const WorkerProcedure& procedure, const WorkerDone& done) {
    const ExtractOutcome outcome = procedure();
    if (done) done(outcome);
    std::lock_guard lock(mutex_);
    outcome_ = outcome;
    running_ = false;
    ended_.notify_all();
  }

  // The previous worker has cleared the busy flag but may still be returning from its thread.
  void JoinPrevious() {
    std::thread previous;
    {
      std::lock_guard lock(mutex_);
      previous = std::move(thread_);
    }
    if (!previous.joinable()) return;
    if (previous.get_id() == std::this_thread::get_id()) {
      previous.detach();  // started again from the previous worker's own `done` callback
    } else {
      previous.join();
    }
  }

  bool TakeThreadFailure() {
    if (failingThreads_ <= 0) return false;
    --failingThreads_;
    return true;
  }

  std::mutex mutex_;
  std::condition_variable ended_;
  std::thread thread_;
  bool running_ = false;
  std::optional<ExtractOutcome> outcome_;
  int failingThreads_ = 0;
};

WorkerSlot& Slot() {
  static WorkerSlot* slot = new WorkerSlot;
  return *slot;
}

}  // namespace

WorkerStart StartWorker(WorkerProcedure procedure, WorkerDone done) {
  return Slot().Start(std::move(procedure), std::move(done));
}

WorkerStart StartDiscExtraction(int selection, WorkerDone done) {
  return StartWorker([selection] { return ExtractDisc(selection); }, std::move(done));
}

WorkerStart StartNandDump(int selection, WorkerDone done) {
  return StartWorker([selection] { return DumpNand(selection); }, std::move(done));
}

bool WaitForWorkerFor(std::chrono::milliseconds timeout) {
  return Slot().WaitFor(timeout);
}

std::optional<ExtractOutcome> WaitForWorker() {
  return Slot().Wait();
}

bool WorkerRunning() {
  return Slot().Running();
}

void FailNextWorkerThreads(int count) {
  Slot().FailThreads(count);
}

}  // namespace zemlo
