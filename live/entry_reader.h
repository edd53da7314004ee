// Reads watch entries, with the fields of their structs and the elements of their arrays, in as
// few rounds and windows as their pointers allow: whatever the windows already read answer is
// taken from them, and only what is still missing is planned into the next round.
#pragma once

#include <vector>

#include "live/watch_list.h"
#include "live/window_plan.h"

namespace zemlo::live {

// Structs inside structs (through pointers too: a linked list) are read this deep, no deeper.
constexpr int kMaxNesting = 8;
// Fields and elements one refresh reads at most.
constexpr size_t kMaxReadNodes = 20000;

// Fills `out` (one reading per entry) from `held` and the windows it reads on the way; `before`
// is the refresh before, for the readings' `changed`. False when a window could not be read.
bool ReadEntries(const std::vector<WatchEntry>& entries, const StructTypes& types,
                 const std::vector<WatchReading>& before, std::vector<WatchReading>& out,
                 WindowSnapshot& held);

// The whole words under [address, address + size): what a value is read with, so that an edit
// or a lock can merge into them.
Span WordSpan(uint32_t address, uint32_t size);

}  // namespace zemlo::live
