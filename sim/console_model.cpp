#include "sim/console_model.h"

#include <cstring>
#include <random>

#include "link/bytes.h"

namespace zemlo::sim {
namespace {

using ConsoleMemory = decltype(ConsoleModel::memory);

constexpr uint32_t kCodeStart = 0x00003000;  // where games and the memory window start
constexpr uint32_t kCodeEnd = 0x00400000;
constexpr uint32_t kDataEnd = 0x00800000;

// Writes one function in the shape compilers emit for the console: frame set-up, a few loads,
// arithmetic, a compare and branch, a call, float work, and the epilogue.
uint32_t EmitFunction(ConsoleMemory& memory, uint32_t offset, std::mt19937& random) {
  const uint32_t frame = 16 + 8 * static_cast<uint32_t>(random() % 12);
  const auto imm = [&](uint32_t bits) {
    return static_cast<uint32_t>(random()) & ((1u << bits) - 1);
  };
  const uint32_t field = (imm(5) + 1) * 4;
  const uint32_t words[] = {
      0x94210000u | ((0x10000u - frame) & 0xFFFFu),               // stwu r1,-frame(r1)
      0x7C0802A6u,                                                // mflr r0
      0x90010000u | (frame + 4),                                  // stw r0,frame+4(r1)
      0x93E10000u | (frame - 4),                                  // stw r31,frame-4(r1)
      0x7C7F1B78u,                                                // mr r31,r3
      0x809F0000u | field,                                        // lwz r4,field(r31)
      0x38A40000u | imm(8),                                       // addi r5,r4,imm
      0x2C050000u | imm(4),                                       // cmpwi r5,imm
      0x4082000Cu,                                                // bne +12
      0x38600000u | imm(7),                                       // li r3,imm
      0x48000001u | ((0x03FFFFFCu - 4 * imm(10)) & 0x03FFFFFCu),  // bl back
      0xC03F0000u | (field + 4),                                  // lfs f1,field+4(r31)
      0xC05F0000u | (field + 8),                                  // lfs f2,field+8(r31)
      0xEC2100B2u,                                                // fmuls f1,f1,f2
      0xD03F0000u | (field + 4),                                  // stfs f1,field+4(r31)
      0x907F0000u | field,                                        // stw r3,field(r31)
      0x80010000u | (frame + 4),                                  // lwz r0,frame+4(r1)
      0x83E10000u | (frame - 4),                                  // lwz r31,frame-4(r1)
      0x7C0803A6u,                                                // mtlr r0
      0x38210000u | frame,                                        // addi r1,r1,frame
      0x4E800020u,                                                // blr
  };
  for (uint32_t word : words) {
    if (offset + 4 > kCodeEnd) break;
    WriteBE32(&memory[offset], word);
    offset += 4;
  }
  return offset;
}

void SeedData(ConsoleMemory& memory, std::mt19937& random) {
  static const char* const kStrings[] = {
      "GAME START",  "Loading...",    "memory card in slot A", "PLAYER 1",
      "PRESS START", "%s: %d\n",      "stage01.dat",           "CONTINUE?",
      "NO DATA",     "SAVE COMPLETE",
  };
  uint32_t offset = kCodeEnd;
  unsigned index = 0;
  while (offset + 64 < kDataEnd) {
    const char* text = kStrings[index++ % std::size(kStrings)];
    const size_t length = std::strlen(text) + 1;
    std::memcpy(&memory[offset], text, length);
    offset += static_cast<uint32_t>((length + 3) & ~size_t{3});
    // A small table of floats and pointers after each string.
    for (int i = 0; i < 4; ++i, offset += 4) {
      const uint32_t word = (i % 2) ? 0x3F800000u + (random() & 0x7FFFFu)
                                    : ConsoleModel::kMemoryBase + (random() & 0x7FFFFCu);
      WriteBE32(&memory[offset], word);
    }
  }
}

}  // namespace

ConsoleModel::ConsoleModel() : memory(kMemorySize) {
  std::mt19937 random(0x5A454D4Cu);
  // Low memory holds the boot info a game finds at 0x80000000: a game ID and the magic word.
  std::memcpy(memory.data(), "GZLE01", 6);
  WriteBE32(&memory[0x1C], 0xC2339F3Du);
  for (uint32_t offset = kCodeStart; offset + 4 <= kCodeEnd;) {
    offset = EmitFunction(memory, offset, random);
  }
  SeedData(memory, random);
  game.Start(MemorySpan());
}

std::optional<size_t> ConsoleModel::MemoryOffset(uint32_t address, size_t count) const {
  for (uint32_t base : {kMemoryBase, kUncachedBase}) {
    if (address >= base && address - base < kMemorySize &&
        count <= kMemorySize - (address - base)) {
      return address - base;
    }
  }
  return std::nullopt;
}

}  // namespace zemlo::sim
