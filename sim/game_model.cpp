#include "sim/game_model.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "link/bytes.h"

namespace zemlo::sim {
namespace {

// A client away for hours must not make the next command wait for the frames it missed.
constexpr uint64_t kMostFramesAtOnce = 10 * 60 * GameModel::kFramesPerSecond;

uint8_t* At(std::span<uint8_t> memory, uint32_t address) {
  return memory.data() + (address - 0x80000000u);
}

}  // namespace

void GameModel::Start(std::span<uint8_t> memory) {
  origin_ = Clock::now();
  Write(memory);
}

void GameModel::Advance(std::span<uint8_t> memory, bool frozen, Clock::time_point now) {
  if (!clockDriven) return;
  if (frozen || now < origin_) {
    origin_ = now;
    return;
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - origin_);
  const uint64_t due = static_cast<uint64_t>(elapsed.count()) * kFramesPerSecond / 1'000'000;
  if (due == 0) return;
  Step(memory, std::min(due, kMostFramesAtOnce));
  origin_ += std::chrono::microseconds(due * 1'000'000 / kFramesPerSecond);
}

void GameModel::Step(std::span<uint8_t> memory, uint64_t count) {
  const uint32_t oldPlayer = PlayerAddress();
  const uint32_t oldLevelObject = LevelObjectAddress();
  // The game keeps its health in memory, so a value a client wrote is where the next drop starts.
  const uint8_t* stored = At(memory, kHealth);
  health = static_cast<uint32_t>(stored[0] << 8 | stored[1]);
  for (uint64_t i = 0; i < count; ++i) {
    ++frames;
    if (frames % kHealthDropEvery == 0) {
      health = health > kHealthDrop ? health - kHealthDrop : kHealthFull;
    }
    if (frames % 20 == 0) ++coins;
    if (frames % kLevelFrames == 0) ++level;
  }
  // The old structure is left behind as the game would leave a freed block: stale, not cleared.
  if (PlayerAddress() != oldPlayer) std::memset(At(memory, oldPlayer), 0xDD, 4);
  if (LevelObjectAddress() != oldLevelObject) std::memset(At(memory, oldLevelObject), 0xDD, 4);
  Write(memory);
}

void GameModel::Write(std::span<uint8_t> memory) const {
  WriteBE32(At(memory, kFrameCounter), static_cast<uint32_t>(frames));
  WriteBE32(At(memory, kTimer),
            std::bit_cast<uint32_t>(static_cast<float>(frames) / kFramesPerSecond));
  uint8_t* healthBytes = At(memory, kHealth);
  healthBytes[0] = static_cast<uint8_t>(health >> 8);
  healthBytes[1] = static_cast<uint8_t>(health);
  const uint32_t player = PlayerAddress();
  WriteBE32(At(memory, kPlayerPointer), player);
  char name[16] = {};
  std::snprintf(name, sizeof name, "WORLD %u-%u", (level / 4) % 100 + 1, level % 4 + 1);
  std::memcpy(At(memory, kLevelName), name, sizeof name);
  WriteBE32(At(memory, kWorldPointer), kWorldObject);
  const uint32_t levelObject = LevelObjectAddress();
  WriteBE32(At(memory, kWorldObject + kWorldLevel), levelObject);
  WriteBE32(At(memory, levelObject + kLevelNumber), level);
  WriteBE32(At(memory, levelObject + kLevelPlayer), player);
  WriteBE32(At(memory, player + kPlayerLevel), level);
  WriteBE32(At(memory, player + kPlayerCoins), coins);
  WriteBE32(At(memory, player + kPlayerX),
            std::bit_cast<uint32_t>(static_cast<float>(frames % kLevelFrames) * 0.5f));
}

}  // namespace zemlo::sim
