// One-byte commands that steer the console without moving data, and the flags an extraction
// worker shares with the UI thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace zemlo {

// The worker streams its next packet only while this is 1; StopExtraction clears it.
extern std::atomic<int32_t> g_keepExtracting;
// Set by StopExtraction; the worker then reports "stopped" rather than "finished".
extern std::atomic<int32_t> g_stopRequested;
// 1 while an extraction worker exists; at most one at a time.
extern std::atomic<int32_t> g_workerBusy;

// 1 when the byte went out; 0 after a message (not connected, or not sent).
int FreezeConsole();
int UnfreezeConsole();

// Sends 0xBA and raises the stop flags; the not-connected message is owned by the dialog. The
// caller purges first, as the "Stop Extract" buttons do.
int StopExtraction();

}  // namespace zemlo
