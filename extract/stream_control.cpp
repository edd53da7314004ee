#include "extract/stream_control.h"

#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/console_controls.h"

namespace zemlo {

WorkerBusyGuard::~WorkerBusyGuard() {
  g_workerBusy = 0;
}

void BeginStream() {
  g_keepExtracting = 1;
  // StopExtraction raises g_stopRequested before it clears g_keepExtracting, so a stop that
  // overlaps this store is seen here or clears the flag itself afterwards.
  if (g_stopRequested) g_keepExtracting = 0;
}

void SendUnchecked(uint8_t byte) {
  WriteExact(&byte, 1);
}

void AbandonStream() {
  PurgeLink();
  SendUnchecked(CMD_STOP);
}

}  // namespace zemlo
