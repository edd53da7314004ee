// The watch list: entries read together on every refresh with the fewest windows, followed
// through pointer chains, edited with pokes and held at a value by locks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "live/value_type.h"

namespace zemlo::live {

struct WatchEntry {
  std::string label;
  std::string group;  // empty: not in a group
  uint32_t address = 0;
  // When set, the address is this symbol's in the loaded symbol map, looked up on every refresh
  // so that the entry follows a map loaded anew.
  std::string symbol;
  ValueType type = ValueType::U32;
  uint32_t length = 4;  // strings and byte arrays
  DisplayBase base = DisplayBase::Dec;
  // Followed from `address`: each step reads a pointer and adds its offset.
  std::vector<uint32_t> pointerOffsets;
  bool locked = false;
  std::vector<uint8_t> lockedBytes;  // what a lock writes back

  uint32_t size() const { return TypeSize(type, length); }
  bool operator==(const WatchEntry&) const = default;
};

// What the last refresh found for one entry.
struct WatchReading {
  bool valid = false;
  uint32_t resolved = 0;       // the address the value was read from
  std::vector<uint8_t> bytes;  // the value as read (before a lock wrote it back)
  std::string error;           // "invalid pointer at step N (0x...)" or "not read"
  bool changed = false;        // differs from the refresh before
};

enum class RefreshOutcome { Done, Busy, Failed };

class WatchList {
 public:
  std::vector<WatchEntry>& entries() { return entries_; }
  const std::vector<WatchEntry>& entries() const { return entries_; }
  const std::vector<WatchReading>& readings() const { return readings_; }

  // Reads every entry, following pointer chains one level per round of windows, then writes
  // back the locked ones that drifted. Skipped (Busy) while another exchange holds the link.
  RefreshOutcome Refresh();
  // The same, for a caller that already holds the exchange claim.
  RefreshOutcome RefreshClaimed();
  // Windows read by the last refresh.
  size_t lastWindowCount() const { return lastWindows_; }

  // Writes `text` into entry `index` (at its resolved address from the last refresh): the
  // words it touches are read first, since a poke always writes a whole word. An empty result
  // means done; otherwise it says why not.
  std::string Edit(size_t index, const std::string& text);
  std::string EditClaimed(size_t index, const std::string& text);
  // Locks the entry at the value last read (or at `text` when given).
  std::string Lock(size_t index, bool on, const std::string& text = {});

  // Puts `entry` in place of entry `index`; it has no reading until the next refresh.
  void Replace(size_t index, WatchEntry entry) {
    if (index >= entries_.size()) return;
    entries_[index] = std::move(entry);
    if (index < readings_.size()) readings_[index] = WatchReading{.error = "not read"};
  }

  void Remove(size_t index) {
    if (index < entries_.size()) entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(index));
    if (index < readings_.size())
      readings_.erase(readings_.begin() + static_cast<ptrdiff_t>(index));
  }

  // The line a terminal shows for an entry: label, resolved address, value or error.
  std::string Line(size_t index) const;

 private:
  bool WriteBytes(uint32_t address, const std::vector<uint8_t>& bytes,
                  const class WindowSnapshot& held);
  std::vector<WatchEntry> entries_;
  std::vector<WatchReading> readings_;
  size_t lastWindows_ = 0;
  bool failed_ = false;
};

}  // namespace zemlo::live
