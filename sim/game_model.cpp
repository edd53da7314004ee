#include "sim/game_model.h"

#include <algorithm>
#include <cstdio>

#include "link/bytes.h"
#include "sim/game_code.h"

namespace zemlo::sim {
namespace {

// A client away for hours must not make the next command wait for the frames it missed.
constexpr uint64_t kMostFramesAtOnce = 10 * 60 * GameModel::kFramesPerSecond;
// A frame of this game takes a few hundred instructions; code that spins longer than this (a
// poke into the loop) is left to spin on at the next call.
constexpr uint32_t kMostInstructionsPerFrame = 200'000;

uint8_t* At(std::span<uint8_t> memory, uint32_t address) {
  return memory.data() + (address - 0x80000000u);
}

}  // namespace

void GameModel::Start(std::span<uint8_t> memory) {
  origin_ = Clock::now();
  GameCode::Write(memory);
  cpu.context = {};
  cpu.context.pc = GameCode::kMain;
  cpu.context.gpr[1] = GameCode::kStackTop;
  RunFrame(memory);
}

bool GameModel::Idle(std::span<uint8_t> memory) const {
  return cpu.context.pc == GameCode::kIdleLoop &&
         ReadBE32(At(memory, GameCode::kRetraceCount)) == cpu.context.gpr[3];
}

bool GameModel::RunFrame(std::span<uint8_t> memory) {
  if (crashed_) return false;
  for (uint32_t i = 0; i < kMostInstructionsPerFrame; ++i) {
    if (Idle(memory)) {
      level_ = ReadBE32(At(memory, GameCode::kLevelCount));
      return true;
    }
    const CpuOutcome outcome = cpu.Step(memory);
    if (outcome.event == CpuEvent::Ran) continue;
    if (outcome.event == CpuEvent::InstructionBreak || outcome.event == CpuEvent::DataBreak) {
      hit_ = BreakpointHit{cpu.context, outcome};
    } else {
      crashed_ = true;
    }
    return false;
  }
  return false;
}

void GameModel::Advance(std::span<uint8_t> memory, bool frozen, Clock::time_point now) {
  if (!clockDriven) return;
  if (frozen || now < origin_) {
    origin_ = now;
    return;
  }
  if (!RunFrame(memory)) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - origin_);
  const uint64_t due = static_cast<uint64_t>(elapsed.count()) * kFramesPerSecond / 1'000'000;
  if (due == 0) return;
  Step(memory, std::min(due, kMostFramesAtOnce));
  origin_ += std::chrono::microseconds(due * 1'000'000 / kFramesPerSecond);
}

void GameModel::Step(std::span<uint8_t> memory, uint64_t count) {
  if (!RunFrame(memory)) return;
  for (uint64_t i = 0; i < count; ++i) {
    // The video interrupt counts the retrace; the code waiting for it moves on.
    uint8_t* retrace = At(memory, GameCode::kRetraceCount);
    WriteBE32(retrace, ReadBE32(retrace) + 1);
    if (!RunFrame(memory)) return;
  }
}

std::optional<BreakpointHit> GameModel::TakeHit() {
  std::optional<BreakpointHit> hit = hit_;
  hit_.reset();
  return hit;
}

}  // namespace zemlo::sim
