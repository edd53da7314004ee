// The one connection to the adapter: open by serial number, fixed configuration, exact reads and
// writes with three outcomes, the fatal-error path and the buffer purge.
#pragma once

#include <atomic>
#include <cstdint>

#include "link/d2xx.h"

namespace zemlo {

enum TransferResult : int {
  TRANSFER_FAILED = 0,    // driver error: already reported, adapter closed, application quitting
  TRANSFER_COMPLETE = 1,  // every byte moved
  TRANSFER_SHORT = 2,     // fewer bytes within the time-out; the caller decides what it means
};

inline constexpr char kAdapterSerial[] = "ZEMLUSB0";
inline constexpr uint32_t kConnectTimeoutMs = 2000;
inline constexpr uint32_t kUsbTransferSize = 65536;

// Link state. The UI thread and an extraction worker share these, hence atomics.
extern std::atomic<FT_HANDLE> g_ftHandle;
extern std::atomic<FT_STATUS> LinkStatus;
extern std::atomic<int32_t> g_connected;
extern std::atomic<uint32_t> g_bytesRead;
extern std::atomic<uint32_t> g_bytesWritten;
// Every byte moved in either direction since start; progress displays derive their rate from it.
extern std::atomic<uint64_t> g_linkBytesTotal;

// 1 when the adapter is open and configured; 0 after a message box saying why not.
int ConnectAdapter();

// Drops what the adapter holds in both directions. Does nothing when no adapter is open.
FT_STATUS PurgeLink();

TransferResult ReadExact(void* buffer, uint32_t count, std::atomic<uint32_t>& moved = g_bytesRead);
TransferResult WriteExact(const void* buffer, uint32_t count,
                          std::atomic<uint32_t>& moved = g_bytesWritten);

// Closes the adapter (once, whichever thread gets here first) and asks the application to quit.
void LinkShutdown();

// FT_SetTimeouts on the open adapter, for operations that wait on slow console steps.
FT_STATUS SetLinkTimeouts(uint32_t readMs, uint32_t writeMs);

}  // namespace zemlo
