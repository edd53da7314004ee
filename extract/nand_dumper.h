// Dumps the Wii NAND flash page by page into a file, on the worker thread: each page raw, answered
// with 0xAA or (when short) 0xBB. Stops at the next page boundary when `g_keepExtracting` is
// cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "extract/outcome.h"

namespace zemlo {

inline constexpr uint32_t kNandPages = 0x40000;

struct NandMode {
  const char* comboText;  // the NAND dialog's combo box, in this order
  const char* listLine;
  uint8_t command;
  uint32_t pageSize;
};

// 2,048 bytes per page, then 2,112 bytes per page with the ECC data.
std::span<const NandMode> NandModes();

inline constexpr char kMsgSelectPageMode[] = "Please select a Page Mode";
inline constexpr char kMsgNandStopped[] = "NAND Extract operation stopped";
inline constexpr char kCaptionNandStopped[] = "DVD Stopped";
inline constexpr char kMsgNandFinished[] = "Finished Extracting NAND";
inline constexpr size_t kNandKeysSize = 1024;
inline constexpr char kMsgNandKeysSize[] = "Error: The keys file must be exactly 1024 bytes long";
inline constexpr char kMsgNandConsoleSilent[] =
    "Error: The console sent nothing for 300 seconds. Please retry";
inline constexpr char kMsgNandOutOfStep[] =
    "Error: The console sent more pages than the NAND holds, so the dump cannot be trusted. "
    "Please retry";

// The worker procedure. `selection` is the combo box index (-1: none selected); `pages` the page
// count of the flash (kNandPages except in tests). Clears `g_workerBusy` at every exit.
ExtractOutcome DumpNand(int selection, uint32_t pages = kNandPages);

}  // namespace zemlo
