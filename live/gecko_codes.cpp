#include "live/gecko_codes.h"

#include <cstdio>

namespace zemlo::live {
namespace {

constexpr uint32_t kMem1Start = 0x80000000u;
constexpr uint32_t kMem1End = 0x81800000u;
// The low 25 bits of a code's first word are the address past the base (or the pointer); the
// 25th of them is the "add one to the code type" of addresses from 81000000 on.
constexpr uint32_t kAddressBits = 0x01FFFFFFu;
constexpr uint8_t kWrite8 = 0x00, kWrite16 = 0x02, kWrite32 = 0x04;
constexpr uint8_t kRelativeToPointer = 0x10;
constexpr CodeLine kLoadPointer{0x48000000u, 0};
constexpr uint32_t kLoadPointerFromPointer = 0x58010000u;
constexpr CodeLine kFullTerminator{0xE0000000u, 0x80008000u};

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) value = value << 8 | bytes[at + i];
  return value;
}

// The widest aligned writes that cover `bytes` from `offset` on, `typeBits` added to each type.
void Writes(uint32_t offset, const std::vector<uint8_t>& bytes, uint8_t typeBits,
            std::vector<CodeLine>& out) {
  for (size_t at = 0; at < bytes.size();) {
    const uint32_t address = offset + static_cast<uint32_t>(at);
    const size_t left = bytes.size() - at;
    size_t size = 1;
    uint8_t type = kWrite8;
    if (left >= 4 && address % 4 == 0) {
      size = 4;
      type = kWrite32;
    } else if (left >= 2 && address % 2 == 0) {
      size = 2;
      type = kWrite16;
    }
    out.push_back({uint32_t{static_cast<uint8_t>(type | typeBits)} << 24 | (address & kAddressBits),
                   Word(bytes, at, size)});
    at += size;
  }
}

}  // namespace

std::vector<CodeLine> LockCode(const WatchEntry& entry, std::string& error) {
  std::vector<CodeLine> lines;
  const std::vector<uint8_t>& bytes = entry.lockedBytes;
  if (entry.pointerOffsets.empty()) {
    if (entry.address < kMem1Start || uint64_t{entry.address} + bytes.size() > kMem1End) {
      error = "the codes reach MEM1 only";
      return {};
    }
    Writes(entry.address, bytes, 0, lines);
    return lines;
  }
  // The pointer is read where the code runs, so only the last offset has to fit the write.
  const uint32_t last = entry.pointerOffsets.back();
  if (uint64_t{last} + bytes.size() > kAddressBits + 1u) {
    error = "the last pointer offset is negative or too large for a code";
    return {};
  }
  lines.push_back({kLoadPointer.first, entry.address});
  for (size_t i = 0; i + 1 < entry.pointerOffsets.size(); ++i)
    lines.push_back({kLoadPointerFromPointer, entry.pointerOffsets[i]});
  Writes(last, bytes, kRelativeToPointer, lines);
  lines.push_back(kFullTerminator);
  return lines;
}

std::string GeckoSection(const std::vector<WatchEntry>& entries,
                         std::vector<std::string>& skipped) {
  std::string text = "[Gecko]\n";
  for (const WatchEntry& entry : entries) {
    if (!entry.locked || entry.lockedBytes.size() != entry.size()) continue;
    std::string error;
    const std::vector<CodeLine> lines = LockCode(entry, error);
    const std::string name = entry.label.empty() ? "locked value" : entry.label;
    if (lines.empty()) {
      skipped.push_back(name + ": " + error);
      continue;
    }
    text += "$" + name + "\n";
    for (const auto& [first, second] : lines) {
      char line[24];
      std::snprintf(line, sizeof line, "%08X %08X\n", first, second);
      text += line;
    }
  }
  return text;
}

}  // namespace zemlo::live
