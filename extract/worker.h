// The one extraction worker thread at a time: the disc extractor and the NAND dumper run on it so
// that their dialog stays responsive and "Stop Extract" can be pressed.
//
// The busy flag `g_workerBusy` is set by StartWorker and cleared by the worker procedure itself at
// every one of its exits. Whoever started a worker can wait for it (WaitForWorker) or be told
// that it ended (the `done` callback), and learns its outcome either way.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "extract/outcome.h"

namespace zemlo {

// Runs on the worker thread; must clear `g_workerBusy` before it returns.
using WorkerProcedure = std::function<ExtractOutcome()>;
// Runs on the worker thread after the procedure has returned (and so after `g_workerBusy` was
// cleared). A desktop dialog posts from here to its own thread; it must not block.
using WorkerDone = std::function<void(ExtractOutcome)>;

enum class WorkerStart {
  Started,
  Busy,    // a worker is still busy: nothing was done
  Failed,  // the thread could not be created: busy cleared again, a message box said so
};

inline constexpr char kMsgWorkerStart[] = "Error: Couldn't start the extraction thread";

// What "Extract DVD" / "Extract NAND" do: nothing while `g_workerBusy` is 1; otherwise set it,
// clear `g_stopRequested` and start `procedure` on a new thread.
WorkerStart StartWorker(WorkerProcedure procedure, WorkerDone done = {});

// The two buttons themselves. `selection` is the combo box index, -1 when nothing is selected.
WorkerStart StartDiscExtraction(int selection, WorkerDone done = {});
WorkerStart StartNandDump(int selection, WorkerDone done = {});

// True once the worker started last has ended (at once when there is none).
bool WaitForWorkerFor(std::chrono::milliseconds timeout);
// Waits until the worker started last has ended and returns its outcome; nothing when no worker
// was started since the previous wait.
std::optional<ExtractOutcome> WaitForWorker();
// True from StartWorker until the worker thread has finished its `done` callback.
bool WorkerRunning();

// Makes the next `count` StartWorker calls fail as if the thread could not be created.
void FailNextWorkerThreads(int count = 1);

}  // namespace zemlo
