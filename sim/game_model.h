// The game the simulated console runs once started: PowerPC code in main memory (GameCode), run
// by the interpreter at 60 frames a second while the console is not frozen. Its variables sit at
// fixed addresses that tests and the README name.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/ppc_cpu.h"

namespace zemlo::sim {

// What the processor saved when a breakpoint stopped the game.
struct BreakpointHit {
  PpcContext context;
  CpuOutcome outcome;
};

struct GameModel {
  using Clock = std::chrono::steady_clock;

  static constexpr uint32_t kFrameCounter = 0x80900000u;   // u32, +1 every frame
  static constexpr uint32_t kTimer = 0x80900004u;          // f32, seconds of play
  static constexpr uint32_t kHealth = 0x80900008u;         // u16, drops now and then
  static constexpr uint32_t kPlayerPointer = 0x8090000Cu;  // u32, moves when a level reloads
  static constexpr uint32_t kLevelName = 0x80900010u;      // string of 16 bytes, "WORLD 1-1"
  // The player structure the pointer leads to: level number (u32), coins (u32), x (f32).
  static constexpr uint32_t kPlayerLevel = 0x0;
  static constexpr uint32_t kPlayerCoins = 0x4;
  static constexpr uint32_t kPlayerX = 0x8;
  static constexpr uint32_t kPlayerAreas = 0x80A00000u;  // a level's structure lands in here
  static constexpr uint32_t kPlayerAreaStride = 0x1240u;
  // A deeper path to the same player, as games keep it: a global pointer to the world object,
  // which points to the current level object, which points to the player. The world object is
  // allocated once; the level object is allocated anew on every reload, in an area of its own,
  // so a chain through a stale level object or a stale player breaks after a reload.
  static constexpr uint32_t kWorldPointer = 0x80900020u;  // u32, to the world object
  static constexpr uint32_t kWorldObject = 0x80B00000u;
  static constexpr uint32_t kWorldLevel = 0x10;  // world object: u32 pointer to the level object
  static constexpr uint32_t kLevelAreas = 0x80B10000u;  // a level object lands in here
  static constexpr uint32_t kLevelAreaStride = 0x860u;
  static constexpr uint32_t kLevelPlayer = 0x1C8;  // level object: u32 pointer to the player
  static constexpr uint32_t kLevelNumber = 0x0;    // level object: u32 level number
  static constexpr uint32_t kFramesPerSecond = 60;
  static constexpr uint32_t kHealthFull = 1000;
  static constexpr uint32_t kHealthDropEvery = 37;  // frames
  static constexpr uint32_t kHealthDrop = 7;
  static constexpr uint32_t kLevelFrames = 600;  // a level reloads every ten seconds

  // Off: only Step moves the game (tests that want exact frames).
  bool clockDriven = true;
  PpcCpu cpu;

  // Puts the code into `memory` (main memory from 0x80000000 on) and runs its set-up.
  void Start(std::span<uint8_t> memory);
  // Plays the frames that are due since the last call, unless frozen; a frozen game plays none
  // and resumes from the moment it is next called unfrozen. A game stopped inside a frame
  // finishes that frame first.
  void Advance(std::span<uint8_t> memory, bool frozen, Clock::time_point now = Clock::now());
  // Plays `count` frames; stops early when a breakpoint hits.
  void Step(std::span<uint8_t> memory, uint64_t count);
  // The hit that stopped the processor since the last call, once.
  std::optional<BreakpointHit> TakeHit();

  // Where the code has put the player and the level object for the level count it last left in
  // memory (tests and benchmarks that look for them).
  uint32_t PlayerAddress() const { return kPlayerAreas + (level_ % 8) * kPlayerAreaStride; }
  // Steps through the areas at a different pace than the player does, so the distance between
  // the two changes from one reload to the next.
  uint32_t LevelObjectAddress() const { return kLevelAreas + (level_ % 5) * kLevelAreaStride; }

 private:
  // Runs until the processor waits for the next retrace. False when it stopped otherwise.
  bool RunFrame(std::span<uint8_t> memory);
  bool Idle(std::span<uint8_t> memory) const;

  Clock::time_point origin_ = Clock::now();
  std::optional<BreakpointHit> hit_;
  bool crashed_ = false;  // ran into a word or an address it cannot run
  uint32_t level_ = 0;
};

}  // namespace zemlo::sim
