// The state of the simulated console: what a real console would hold in memory and hardware,
// kept from one connection to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "sim/card_model.h"
#include "sim/debugger_model.h"
#include "sim/extract_model.h"
#include "sim/game_model.h"
#include "sim/upload_model.h"

namespace zemlo::sim {

// Storage that comes from the allocator already zeroed and is not written again when the vector
// is sized: main memory is mostly zeros, and pages nobody touches then cost nothing at start-up.
template <typename T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <typename U>
  ZeroedAllocator(const ZeroedAllocator<U>&) {}
  T* allocate(size_t count) {
    if (void* bytes = std::calloc(count, sizeof(T))) return static_cast<T*>(bytes);
    throw std::bad_alloc();
  }
  void deallocate(T* items, size_t) { std::free(items); }
  template <typename U>
  void construct(U* item) noexcept {
    ::new (static_cast<void*>(item)) U;
  }
  template <typename U, typename... Args>
  void construct(U* item, Args&&... args) {
    ::new (static_cast<void*>(item)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const ZeroedAllocator<U>&) const {
    return true;
  }
};

struct ConsoleModel {
  static constexpr uint32_t kMemoryBase = 0x80000000u;
  static constexpr uint32_t kUncachedBase = 0xC0000000u;
  static constexpr uint32_t kMemorySize = 24u * 1024u * 1024u;

  ConsoleModel();

  // Offset into `memory` of [address, address + count) in either mirror, or nothing when any
  // part of the range falls outside main memory.
  std::optional<size_t> MemoryOffset(uint32_t address, size_t count) const;

  // 24 MiB of main memory, big-endian as on the console.
  std::vector<uint8_t, ZeroedAllocator<uint8_t>> memory;
  bool isWii = false;  // a Wii answers GameCube-only commands with 0xDD
  bool frozen = false;
  uint32_t stopCount = 0;                // 0xBA commands received
  std::vector<uint8_t> commandLog;       // every command byte served, in order
  std::vector<uint8_t> unknownCommands;  // command bytes this console does not answer

  UploadModel uploads;
  DebuggerModel debugger;
  ExtractModel extract;
  CardModel card;
  GameModel game;

  std::span<uint8_t> MemorySpan() { return {memory.data(), memory.size()}; }
};

}  // namespace zemlo::sim
