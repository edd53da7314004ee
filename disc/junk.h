// The padding that fills the unused areas of GameCube and Wii discs: a lagged Fibonacci generator
// (xor, j = 32, k = 521) restarted from a 17-word seed at every 32 KiB block of the disc (or of a
// Wii partition's data, counted without hashes). Compressed image formats store a seed instead of
// the bytes, so both ends need the generator, and a writer needs to find the seed from the bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zemlo::disc {

inline constexpr uint32_t kJunkBlockSize = 0x8000;
inline constexpr size_t kJunkSeedWords = 17;
using JunkSeed = std::array<uint32_t, kJunkSeedWords>;

class JunkGenerator {
 public:
  // Starts the block that `seed` belongs to, `offsetInBlock` bytes in.
  void Start(const JunkSeed& seed, uint32_t offsetInBlock = 0);
  void Fill(uint8_t* out, size_t count);
  void Skip(size_t count);

  static constexpr size_t kWords = 521;
  static constexpr size_t kBytes = kWords * 4;

 private:
  std::array<uint32_t, kWords> state_{};
  // The state as output bytes, made only when a state is not taken whole: whole states go
  // straight into the caller's buffer.
  std::array<uint8_t, kBytes> bytes_{};
  bool bytesMade_ = false;
  size_t position_ = 0;  // into the state's output bytes
};

// The seed our simulated discs give block `block` of the disc (or partition) of game `gameId`
// (its first four characters) and disc number `discNumber`. Real discs derive theirs differently;
// readers never need to know, as the seed is stored or found from the bytes.
JunkSeed SimulatedJunkSeed(std::string_view gameId, uint8_t discNumber, uint64_t block);

// Fills `out` with the simulated padding at [offset, offset + count), across block boundaries.
void FillSimulatedJunk(std::string_view gameId, uint8_t discNumber, uint64_t offset, uint8_t* out,
                       size_t count);

// Finds the seed that generates `data`, which sits `offsetInBlock` bytes into its block (a
// multiple of 4): the number of leading bytes of `data` that seed reproduces (at most to the end
// of the block), or 0 when no seed does over at least one whole state (2,084 bytes).
size_t FindJunkSeed(const uint8_t* data, size_t size, uint32_t offsetInBlock, JunkSeed& seed);

}  // namespace zemlo::disc
