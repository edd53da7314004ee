#include "live/watch_list.h"

#include <cstdio>

#include "disasm/symbol_map.h"
#include "link/exchange_claim.h"
#include "link/link.h"
#include "live/live_link.h"
#include "live/window_plan.h"

namespace zemlo::live {
namespace {

uint32_t AlignDown(uint32_t address) {
  return address & ~3u;
}

// The whole words under [address, address + size).
Span WordSpan(uint32_t address, uint32_t size) {
  const uint32_t start = AlignDown(address);
  const uint64_t end = (uint64_t{address} + size + 3) & ~uint64_t{3};
  return {start, static_cast<uint32_t>(end - start)};
}

std::string InvalidPointer(size_t step, uint32_t pointer) {
  char text[64];
  std::snprintf(text, sizeof text, "invalid pointer at step %zu (0x%08X)", step + 1, pointer);
  return text;
}

}  // namespace

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
  std::vector<WatchReading> next(entries_.size());
  std::vector<uint32_t> at(entries_.size());  // where each entry's next read goes
  std::vector<size_t> step(entries_.size(), 0);
  WindowSnapshot held;
  const std::shared_ptr<const SymbolMap> map = LoadedSymbolMap();
  for (size_t i = 0; i < entries_.size(); ++i) {
    at[i] = entries_[i].address;
    if (entries_[i].symbol.empty()) continue;
    const Symbol* symbol = map ? map->Named(entries_[i].symbol) : nullptr;
    if (symbol) {
      at[i] = symbol->address;
    } else {
      next[i].error = "no symbol " + entries_[i].symbol + " in the loaded map";
    }
  }

  // Round by round: every entry still following its chain wants a pointer, the rest their
  // value (with whole words around it, so that an edit or a lock can merge into them).
  for (bool pending = true; pending;) {
    pending = false;
    std::vector<Span> wanted;
    for (size_t i = 0; i < entries_.size(); ++i) {
      const WatchEntry& entry = entries_[i];
      if (!next[i].error.empty() || next[i].valid) continue;
      if (step[i] < entry.pointerOffsets.size()) {
        wanted.push_back({at[i], 4});
      } else {
        wanted.push_back(WordSpan(at[i], entry.size()));
      }
    }
    if (wanted.empty()) break;
    if (!held.ReadAll(PlanWindows(wanted))) {
      lastWindows_ = held.windowCount();
      return RefreshOutcome::Failed;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
      const WatchEntry& entry = entries_[i];
      WatchReading& reading = next[i];
      if (!reading.error.empty() || reading.valid) continue;
      if (step[i] < entry.pointerOffsets.size()) {
        const uint32_t pointer = held.Word(at[i]).value_or(0);
        if (!IsConsolePointer(pointer)) {
          reading.error = InvalidPointer(step[i], pointer);
          continue;
        }
        at[i] = pointer + entry.pointerOffsets[step[i]++];
        pending = true;
        continue;
      }
      reading.resolved = at[i];
      reading.bytes.resize(entry.size());
      reading.valid = held.Fetch(at[i], entry.size(), reading.bytes.data());
      if (!reading.valid) reading.error = "not read";
      if (i < readings_.size() && readings_[i].valid) {
        reading.changed =
            readings_[i].resolved != reading.resolved || readings_[i].bytes != reading.bytes;
      }
    }
  }
  lastWindows_ = held.windowCount();
  readings_ = std::move(next);

  bool written = true;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const WatchEntry& entry = entries_[i];
    const WatchReading& reading = readings_[i];
    if (entry.locked && reading.valid && entry.lockedBytes.size() == entry.size() &&
        reading.bytes != entry.lockedBytes) {
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

std::string WatchList::EditClaimed(size_t index, const std::string& text) {
  if (index >= entries_.size()) return "no such entry";
  WatchEntry& entry = entries_[index];
  const auto bytes = ParseValue(entry.type, entry.base, text, entry.length);
  if (!bytes) return std::string("not a value of type ") + TypeName(entry.type);
  if (index >= readings_.size() || !readings_[index].valid) return "the entry has no address yet";
  const uint32_t address = readings_[index].resolved;
  const Span words = WordSpan(address, entry.size());
  WindowSnapshot held;
  if (!held.ReadAll(PlanWindows({words})) || !WriteBytes(address, *bytes, held)) {
    return "the console did not answer";
  }
  if (entry.locked) entry.lockedBytes = *bytes;
  return {};
}

std::string WatchList::Lock(size_t index, bool on, const std::string& text) {
  if (index >= entries_.size()) return "no such entry";
  WatchEntry& entry = entries_[index];
  if (!on) {
    entry.locked = false;
    return {};
  }
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

std::string WatchList::Line(size_t index) const {
  const WatchEntry& entry = entries_[index];
  std::string line = entry.label.empty() ? "-" : entry.label;
  char address[16];
  if (index >= readings_.size()) return line + " not read";
  const WatchReading& reading = readings_[index];
  if (!reading.valid) return line + " " + reading.error;
  std::snprintf(address, sizeof address, " %08X ", reading.resolved);
  line += address;
  line += FormatValue(entry.type, entry.base, reading.bytes.data(), entry.length);
  if (entry.locked) line += " [locked]";
  return line;
}

}  // namespace zemlo::live
