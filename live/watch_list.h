// The watch list: entries read together on every refresh with the fewest windows, followed
// through pointer chains, edited with pokes and held at a value by locks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "live/value_type.h"

namespace zemlo::live {

// A value, a struct of the list's struct types at the address, or an array of like elements.
enum class EntryKind { Value, Struct, Array };

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
  // A type of the other tools' that is shown as one of ours, and written back as their
  // "typeIndex" (-1: ours).
  int fileTypeIndex = -1;
  EntryKind kind = EntryKind::Value;
  std::string structName;  // a struct: its type's name ("group::name" inside a group of types)
  // An array: `count` elements back to back, each of the form of element[0] (one entry; its
  // address is unused). With `countField` set the count is that field's value, read on every
  // refresh from the struct holding the array (or the entry of that label in the list), and
  // `count` bounds it: a stray count must not make a refresh read megabytes.
  std::vector<WatchEntry> element;
  uint32_t count = 0;
  std::string countField;

  // A value's bytes; see EntrySize for structs and arrays.
  uint32_t size() const { return TypeSize(type, length); }
  bool operator==(const WatchEntry&) const = default;
};

// A field of a struct type: an entry (label, type, pointer offsets...) at an offset from the
// struct's address.
struct StructField {
  uint32_t offset = 0;
  WatchEntry entry;
  bool operator==(const StructField&) const = default;
};

struct StructType {
  std::string name;
  uint32_t length = 0;  // bytes; at least the end of the last field
  std::vector<StructField> fields;
  bool operator==(const StructType&) const = default;
};
using StructTypes = std::vector<StructType>;

// "u16", a struct's type name, or "u8[12]" / "u8[count]" for an array.
std::string EntryTypeName(const WatchEntry& entry);
const StructType* FindStruct(const StructTypes& types, const std::string& name);
// Bytes an entry takes inside a struct or an array: 4 when it is reached through pointers (the
// first pointer is what sits there), a struct's length, or count times the element's.
uint32_t EntrySize(const WatchEntry& entry, const StructTypes& types);

// What the last refresh found for one entry.
struct WatchReading {
  bool valid = false;
  uint32_t resolved = 0;       // the address the value was read from
  std::vector<uint8_t> bytes;  // the value as read (before a lock wrote it back)
  std::string error;           // "invalid pointer at step N (0x...)" or "not read"
  bool changed = false;        // differs from the refresh before
  // A struct's fields or an array's elements, in order; a struct itself reads no bytes.
  std::vector<WatchReading> fields;
};

// Where a field sits below an entry: the index at each level of readings' `fields`.
using FieldPath = std::vector<size_t>;

enum class RefreshOutcome { Done, Busy, Failed };

class WatchList {
 public:
  std::vector<WatchEntry>& entries() { return entries_; }
  const std::vector<WatchEntry>& entries() const { return entries_; }
  const std::vector<WatchReading>& readings() const { return readings_; }
  StructTypes& structs() { return structs_; }
  const StructTypes& structs() const { return structs_; }

  // The entry a field of entry `index` is made from (label, type, base...), and its reading;
  // null when the path leads nowhere in the last refresh.
  const WatchEntry* FieldEntry(size_t index, const FieldPath& path) const;
  const WatchReading* FieldReading(size_t index, const FieldPath& path) const;

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
  // The same for a field of a struct or an array entry.
  std::string EditFieldClaimed(size_t index, const FieldPath& path, const std::string& text);
  // Locks the entry at the value last read (or at `text` when given).
  std::string Lock(size_t index, bool on, const std::string& text = {});

  // Puts `entry` in place of entry `index`; it has no reading until the next refresh.
  void Replace(size_t index, WatchEntry entry) {
    if (index >= entries_.size()) return;
    entries_[index] = std::move(entry);
    if (index < readings_.size()) readings_[index] = WatchReading{.error = "not read"};
  }

  // Puts `field` in place of the field's form: in its struct type (for every entry of that
  // type, the offset kept) or as its array's element. False when the path leads nowhere.
  bool ReplaceField(size_t index, const FieldPath& path, WatchEntry field);

  void Remove(size_t index) {
    if (index < entries_.size()) entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(index));
    if (index < readings_.size())
      readings_.erase(readings_.begin() + static_cast<ptrdiff_t>(index));
  }

  // The line a terminal shows for an entry: label, resolved address, value or error; a struct's
  // or an array's fields follow on lines of their own, indented by level.
  std::string Line(size_t index) const;

 private:
  bool WriteBytes(uint32_t address, const std::vector<uint8_t>& bytes,
                  const class WindowSnapshot& held);
  std::string WriteValue(const WatchEntry& entry, uint32_t address, const std::string& text);
  std::vector<WatchEntry> entries_;
  std::vector<WatchReading> readings_;
  StructTypes structs_;
  size_t lastWindows_ = 0;
  bool failed_ = false;
};

}  // namespace zemlo::live
