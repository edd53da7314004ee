// Cheat codes from locked watch entries, in the form game settings files keep them: a "[Gecko]"
// section with a "$Name" line per code and "XXXXXXXX YYYYYYYY" lines under it. A direct entry
// becomes 8/16/32-bit writes (00/02/04); an entry behind pointers loads the pointer (48), follows
// the further steps (58), writes relative to it (10/12/14) and ends with a full terminator (E0).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "live/watch_list.h"

namespace zemlo::live {

using CodeLine = std::pair<uint32_t, uint32_t>;

// The code that writes what `entry`'s lock writes. Empty with `error` set when the code types
// cannot say it (an address outside MEM1, a last offset that is negative or 16 MiB or more).
std::vector<CodeLine> LockCode(const WatchEntry& entry, std::string& error);

// The "[Gecko]" section for every locked entry; entries no code can say are named in `skipped`.
std::string GeckoSection(const std::vector<WatchEntry>& entries, std::vector<std::string>& skipped);

}  // namespace zemlo::live
