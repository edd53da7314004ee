#include "extract/stream_control.h"

#include "extract/output_file.h"
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

std::string KeptFileDetail(const OutputFile& file) {
  return "Kept the partial file " + file.path() + " (" + std::to_string(file.written()) + " bytes)";
}

}  // namespace zemlo
