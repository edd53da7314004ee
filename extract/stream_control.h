// What the two extraction workers share beyond the flags: the exit that always clears the busy
// flag, the start of the stream, and the bounded re-request of one packet.
#pragma once

#include <cstdint>
#include <string>

namespace zemlo {

class OutputFile;

// Clears `g_workerBusy` when the worker procedure returns, whichever way it leaves.
class WorkerBusyGuard {
 public:
  WorkerBusyGuard() = default;
  ~WorkerBusyGuard();
  WorkerBusyGuard(const WorkerBusyGuard&) = delete;
  WorkerBusyGuard& operator=(const WorkerBusyGuard&) = delete;
};

// Raises `g_keepExtracting` as the packet stream begins. A stop pressed while the console was
// still preparing (after this run cleared `g_stopRequested`) is not overridden: the stream then
// ends before its first packet instead of running to the end and calling itself stopped.
void BeginStream();

// One byte whose transfer result the exchange does not look at (acknowledgements, the command
// byte of a disc extraction, the stop after too many attempts).
void SendUnchecked(uint8_t byte);

// Gives up on a packet the console keeps sending short or damaged: drops what is in flight and
// tells the console to leave its stream, so that it waits for a command again.
void AbandonStream();

// The detail of a stop message: the partial file stays on disk, and the user is told where and
// how much of it there is.
std::string KeptFileDetail(const OutputFile& file);

}  // namespace zemlo
