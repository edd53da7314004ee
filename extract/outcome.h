// How an extraction worker's run ended, so that whoever waits for it (the command line, the
// desktop dialog, the tests) can tell a stop by the user from a failure.
#pragma once

namespace zemlo {

enum class ExtractOutcome {
  Finished,   // every packet or page arrived; the file is complete
  Stopped,    // "Stop Extract" was pressed during the run
  Failed,     // a message box said why (not connected, nothing selected, link, file)
  Cancelled,  // the user cancelled the file choice
};

}  // namespace zemlo
