// The state of the simulated console: what a real console would hold in memory and hardware,
// kept from one connection to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/card_model.h"
#include "sim/debugger_model.h"
#include "sim/extract_model.h"
#include "sim/upload_model.h"

namespace zemlo::sim {

struct ConsoleModel {
  static constexpr uint32_t kMemoryBase = 0x80000000u;
  static constexpr uint32_t kUncachedBase = 0xC0000000u;
  static constexpr uint32_t kMemorySize = 24u * 1024u * 1024u;

  ConsoleModel();

  // Offset into `memory` of [address, address + count) in either mirror, or nothing when any
  // part of the range falls outside main memory.
  std::optional<size_t> MemoryOffset(uint32_t address, size_t count) const;

  std::vector<uint8_t> memory;  // 24 MiB of main memory, big-endian as on the console
  bool isWii = false;           // a Wii answers GameCube-only commands with 0xDD
  bool frozen = false;
  uint32_t stopCount = 0;                // 0xBA commands received
  std::vector<uint8_t> commandLog;       // every command byte served, in order
  std::vector<uint8_t> unknownCommands;  // command bytes this console does not answer

  UploadModel uploads;
  DebuggerModel debugger;
  ExtractModel extract;
  CardModel card;
};

}  // namespace zemlo::sim
