// The pointer scanner on two 24 MiB snapshots of MEM1 around a reload of the simulated game,
// with a heap of noise around it: PERCENT of all words (default 8) hold pointers to random places
// in MEM1, and one in a hundred of them changes between the snapshots. Depth 3, offsets up to
// 1000. Prints the time, the chains kept, where the world-level-player chain ranks and the peak
// memory of the process.
//
//   pointer_bench [PERCENT]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "link/bytes.h"
#include "live/pointer_scan.h"
#include "sim/game_model.h"

namespace {

constexpr uint32_t kMem1 = 0x80000000u;
constexpr uint32_t kMem1Size = 24u << 20;

}  // namespace

int main(int argc, char** argv) {
  using zemlo::sim::GameModel;
  const double percent = argc > 1 ? std::strtod(argv[1], nullptr) : 8.0;
  std::mt19937 random(24);
  std::vector<uint8_t> heap(kMem1Size, 0);
  std::uniform_int_distribution<uint32_t> place(0, kMem1Size / 4 - 1);
  std::bernoulli_distribution pointer(percent / 100);
  for (uint32_t at = 0; at < kMem1Size; at += 4) {
    if (pointer(random)) zemlo::WriteBE32(&heap[at], kMem1 + place(random) * 4);
  }
  GameModel game;
  std::vector<zemlo::live::PointerSnapshot> snapshots;
  for (int reload = 0; reload < 2; ++reload) {
    if (reload == 1) {
      std::bernoulli_distribution changes(0.01);
      for (uint32_t at = 0; at < kMem1Size; at += 4) {
        if (zemlo::ReadBE32(&heap[at]) != 0 && changes(random))
          zemlo::WriteBE32(&heap[at], kMem1 + place(random) * 4);
      }
    }
    std::vector<uint8_t> memory = heap;
    game.Start(memory);
    game.Step(memory, reload * GameModel::kLevelFrames);
    snapshots.push_back({kMem1, std::move(memory), game.PlayerAddress() + GameModel::kPlayerCoins});
  }
  const auto start = std::chrono::steady_clock::now();
  const zemlo::live::PointerScanResult result = zemlo::live::ScanPointers(snapshots, {});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const zemlo::live::PointerChain known{
      GameModel::kWorldPointer,
      {GameModel::kWorldLevel, GameModel::kLevelPlayer, GameModel::kPlayerCoins}};
  const auto found = std::find(result.chains.begin(), result.chains.end(), known);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "pointer scan: 2 x 24 MiB, %.1f%% of words pointers, depth 3, offsets to 1000: "
      "%.2f s, %zu chains%s, world-level-player chain %s%zu, peak %.0f MiB\n",
      percent, seconds, result.chains.size(), result.truncated ? " (cut short)" : "",
      found == result.chains.end() ? "NOT FOUND " : "at rank ",
      static_cast<size_t>(found - result.chains.begin()) + 1, usage.ru_maxrss / 1024.0);
  return found == result.chains.end() ? 1 : 0;
}
