#include "live/watch_list.h"

#include <cstdio>

#include "disasm/symbol_map.h"
#include "link/exchange_claim.h"
#include "link/link.h"
#include "live/entry_reader.h"
#include "live/live_link.h"
#include "live/window_plan.h"

namespace zemlo::live {
bool WatchList::WriteBytes(uint32_t address, const std::vector<uint8_t>& bytes,
                           const WindowSnapshot& held) {
  const Span words = WordSpan(address, static_cast<uint32_t>(bytes.size()));
  for (uint32_t word = words.address; word - words.address < words.size; word += 4) {
    uint8_t merged[4];
    if (!held.Fetch(word, 4, merged)) return false;
    bool differs = false;
    for (uint32_t i = 0; i < 4; ++i) {
      const uint64_t at = uint64_t{word} + i;
      if (at >= address && at - address < bytes.size()) {
        differs |= merged[i] != bytes[at - address];
        merged[i] = bytes[at - address];
      }
    }
    if (differs &&
        !PokeWord(word, uint32_t{merged[0]} << 24 | merged[1] << 16 | merged[2] << 8 | merged[3])) {
      return false;
    }
  }
  return true;
}

RefreshOutcome WatchList::Refresh() {
  const ExchangeClaim claim = ExchangeClaim::TryClaim();
  return claim.held() ? RefreshClaimed() : RefreshOutcome::Busy;
}

RefreshOutcome WatchList::RefreshClaimed() {
  if (!g_connected) return RefreshOutcome::Failed;
  // Only after a failure: a purge would also drop a command still on its way to the console.
  if (failed_) PurgeLink();
  failed_ = true;
  WindowSnapshot held;
  std::vector<WatchReading> next;
  const bool read = ReadEntries(entries_, structs_, readings_, next, held);
  lastWindows_ = held.windowCount();
  if (!read) return RefreshOutcome::Failed;
  readings_ = std::move(next);

  bool written = true;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const WatchEntry& entry = entries_[i];
    const WatchReading& reading = readings_[i];
    if (entry.locked && entry.kind == EntryKind::Value && reading.valid &&
        entry.lockedBytes.size() == entry.size() && reading.bytes != entry.lockedBytes) {
      written &= WriteBytes(reading.resolved, entry.lockedBytes, held);
    }
  }
  failed_ = !written;
  return written ? RefreshOutcome::Done : RefreshOutcome::Failed;
}

std::string WatchList::Edit(size_t index, const std::string& text) {
  const ExchangeClaim claim = ExchangeClaim::TryClaim();
  return claim.held() ? EditClaimed(index, text) : "the link is in use";
}

std::string WatchList::WriteValue(const WatchEntry& entry, uint32_t address,
                                  const std::string& text) {
  if (entry.kind != EntryKind::Value) return "a struct or an array is edited field by field";
  const auto bytes = ParseValue(entry.type, entry.base, text, entry.length);
  if (!bytes) return std::string("not a value of type ") + TypeName(entry.type);
  WindowSnapshot held;
  if (!held.ReadAll(PlanWindows({WordSpan(address, entry.size())})) ||
      !WriteBytes(address, *bytes, held)) {
    return "the console did not answer";
  }
  return {};
}

std::string WatchList::EditClaimed(size_t index, const std::string& text) {
  if (index >= entries_.size()) return "no such entry";
  WatchEntry& entry = entries_[index];
  if (entry.kind == EntryKind::Value && !ParseValue(entry.type, entry.base, text, entry.length))
    return std::string("not a value of type ") + TypeName(entry.type);
  if (index >= readings_.size() || !readings_[index].valid) return "the entry has no address yet";
  if (std::string error = WriteValue(entry, readings_[index].resolved, text); !error.empty())
    return error;
  if (entry.locked) entry.lockedBytes = *ParseValue(entry.type, entry.base, text, entry.length);
  return {};
}

std::string WatchList::EditFieldClaimed(size_t index, const FieldPath& path,
                                        const std::string& text) {
  if (path.empty()) return EditClaimed(index, text);
  const WatchEntry* field = FieldEntry(index, path);
  const WatchReading* reading = FieldReading(index, path);
  if (!field) return "no such field";
  if (!reading || !reading->valid) return "the field has no address yet";
  return WriteValue(*field, reading->resolved, text);
}

const WatchEntry* WatchList::FieldEntry(size_t index, const FieldPath& path) const {
  if (index >= entries_.size()) return nullptr;
  const WatchEntry* entry = &entries_[index];
  for (size_t step : path) {
    if (entry->kind == EntryKind::Array && !entry->element.empty()) {
      entry = &entry->element[0];
      continue;
    }
    const StructType* type =
        entry->kind == EntryKind::Struct ? FindStruct(structs_, entry->structName) : nullptr;
    if (!type || step >= type->fields.size()) return nullptr;
    entry = &type->fields[step].entry;
  }
  return entry;
}

const WatchReading* WatchList::FieldReading(size_t index, const FieldPath& path) const {
  if (index >= readings_.size()) return nullptr;
  const WatchReading* reading = &readings_[index];
  for (size_t step : path) {
    if (step >= reading->fields.size()) return nullptr;
    reading = &reading->fields[step];
  }
  return reading;
}

bool WatchList::ReplaceField(size_t index, const FieldPath& path, WatchEntry field) {
  if (path.empty() || !FieldEntry(index, path)) return false;
  // The form lives in the parent: a struct type's field or an array's element.
  const FieldPath up(path.begin(), path.end() - 1);
  // The list owns the entries and the types the walk returns; only the walk is const.
  auto* parent = const_cast<WatchEntry*>(FieldEntry(index, up));
  field.group.clear();
  field.locked = false;
  if (parent->kind == EntryKind::Array) {
    parent->element = {std::move(field)};
  } else {
    StructType& type = *const_cast<StructType*>(FindStruct(structs_, parent->structName));
    StructField& slot = type.fields[path.back()];
    slot.entry = std::move(field);
    type.length = std::max(type.length, slot.offset + EntrySize(slot.entry, structs_));
  }
  if (index < readings_.size()) readings_[index] = WatchReading{.error = "not read"};
  return true;
}

std::string WatchList::Lock(size_t index, bool on, const std::string& text) {
  if (index >= entries_.size()) return "no such entry";
  WatchEntry& entry = entries_[index];
  if (!on) {
    entry.locked = false;
    return {};
  }
  if (entry.kind != EntryKind::Value) return "only a value can be locked, not a struct or an array";
  if (!text.empty()) {
    const auto bytes = ParseValue(entry.type, entry.base, text, entry.length);
    if (!bytes) return std::string("not a value of type ") + TypeName(entry.type);
    entry.lockedBytes = *bytes;
  } else if (index < readings_.size() && readings_[index].valid) {
    entry.lockedBytes = readings_[index].bytes;
  } else {
    return "the entry has no value yet";
  }
  entry.locked = true;
  return {};
}

std::string EntryTypeName(const WatchEntry& entry) {
  switch (entry.kind) {
    case EntryKind::Value:
      return TypeName(entry.type);
    case EntryKind::Struct:
      return entry.structName;
    case EntryKind::Array:
      return (entry.element.empty() ? std::string("?") : EntryTypeName(entry.element[0])) + "[" +
             (entry.countField.empty() ? std::to_string(entry.count) : entry.countField) + "]";
  }
  return {};
}

namespace {

void AddLines(const WatchEntry& entry, const WatchReading* reading, const StructTypes& types,
              const std::string& indent, std::string& out) {
  out += indent + (entry.label.empty() ? "-" : entry.label);
  if (!reading) {
    out += " not read";
    return;
  }
  if (!reading->valid) {
    out += " " + reading->error;
    return;
  }
  char address[16];
  std::snprintf(address, sizeof address, " %08X", reading->resolved);
  out += address;
  if (entry.kind == EntryKind::Value) {
    out += " " + FormatValue(entry.type, entry.base, reading->bytes.data(), entry.length);
    if (entry.locked) out += " [locked]";
    return;
  }
  const StructType* type = FindStruct(types, entry.structName);
  for (size_t i = 0; i < reading->fields.size(); ++i) {
    out += "\n";
    if (entry.kind == EntryKind::Array) {
      WatchEntry element = entry.element[0];
      element.label = "[" + std::to_string(i) + "]" + element.label;
      AddLines(element, &reading->fields[i], types, indent + "  ", out);
    } else if (type && i < type->fields.size()) {
      AddLines(type->fields[i].entry, &reading->fields[i], types, indent + "  ", out);
    }
  }
}

}  // namespace

std::string WatchList::Line(size_t index) const {
  std::string out;
  AddLines(entries_[index], index < readings_.size() ? &readings_[index] : nullptr, structs_, "",
           out);
  return out;
}

}  // namespace zemlo::live
