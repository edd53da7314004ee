// The simulated game's machine code: where each routine starts and the program that puts them
// into main memory.
#pragma once

#include <cstdint>
#include <span>

namespace zemlo::sim {

struct GameCode {
  static constexpr uint32_t kMain = 0x80800000u;          // set-up, then the frame loop
  static constexpr uint32_t kWaitRetrace = 0x80800080u;   // spins until the next retrace
  static constexpr uint32_t kAdvanceFrame = 0x80800100u;  // frame counter and seconds of play
  static constexpr uint32_t kLowerHealth = 0x80800180u;   // every 37 frames, one halfword store
  static constexpr uint32_t kMovePlayer = 0x80800200u;    // coins, level reloads, x position
  static constexpr uint32_t kWriteLevelName = 0x80800380u;
  // The spin loop's load: the processor sits here between frames.
  static constexpr uint32_t kIdleLoop = kWaitRetrace + 4;

  // The game's own data: the retrace count the video interrupt raises, the level and coin
  // counts, and the float constants.
  static constexpr uint32_t kData = 0x80880000u;
  static constexpr uint32_t kRetraceCount = kData + 0x0;
  static constexpr uint32_t kLevelCount = kData + 0x4;
  static constexpr uint32_t kCoinCount = kData + 0x8;
  static constexpr uint32_t kStackTop = 0x81700000u;

  // Writes the routines and the constants into `memory` (main memory from 0x80000000 on).
  static void Write(std::span<uint8_t> memory);
};

}  // namespace zemlo::sim
