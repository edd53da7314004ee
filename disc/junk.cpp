#include "disc/junk.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zemlo::disc {
namespace {

constexpr size_t kLag = 32;
constexpr uint32_t kInitialAdvances = 4;

// The state words from the seed: every later word mixes three earlier ones.
void Expand(std::array<uint32_t, JunkGenerator::kWords>& state) {
  for (size_t i = kJunkSeedWords; i < JunkGenerator::kWords; ++i) {
    state[i] = (state[i - 17] << 23) ^ (state[i - 16] >> 9) ^ state[i - 1];
  }
}

// Every word after the first kLag depends on the one kLag before, already advanced: in runs of
// kLag the words of a run are independent, which lets the compiler use vector instructions.
void AdvanceState(std::array<uint32_t, JunkGenerator::kWords>& state) {
  constexpr size_t kWords = JunkGenerator::kWords;
  for (size_t i = 0; i < kLag; ++i) state[i] ^= state[i + kWords - kLag];
  size_t at = kLag;
  for (; at + kLag <= kWords; at += kLag) {
    for (size_t i = 0; i < kLag; ++i) state[at + i] ^= state[at + i - kLag];
  }
  for (; at < kWords; ++at) state[at] ^= state[at - kLag];
}

void RewindState(std::array<uint32_t, JunkGenerator::kWords>& state) {
  for (size_t i = JunkGenerator::kWords - 1; i >= kLag; --i) state[i] ^= state[i - kLag];
  for (size_t i = 0; i < kLag; ++i) state[i] ^= state[i + JunkGenerator::kWords - kLag];
}

// A word goes out as four bytes from bits 24, 18 (not 16), 8 and 0, so bits 16 and 17 never show.
void WordBytes(uint32_t word, uint8_t* out) {
  out[0] = static_cast<uint8_t>(word >> 24);
  out[1] = static_cast<uint8_t>(word >> 18);
  out[2] = static_cast<uint8_t>(word >> 8);
  out[3] = static_cast<uint8_t>(word);
}

// WordBytes for a whole state: the simulated discs are mostly this padding, and every byte of
// them is made here.
void StateBytes(const std::array<uint32_t, JunkGenerator::kWords>& state, uint8_t* out) {
  size_t i = 0;
#if defined(__SSE2__)
  // Bits 18..25 moved down into the second byte, then each word byte-swapped to big-endian.
  const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FFFFu));
  const __m128i moved = _mm_set1_epi32(0x00FF0000);
  const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
  for (; i + 4 <= state.size(); i += 4) {
    __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[i]));
    w = _mm_or_si128(_mm_and_si128(w, keep), _mm_and_si128(_mm_srli_epi32(w, 2), moved));
    w = _mm_or_si128(_mm_slli_epi32(w, 16), _mm_srli_epi32(w, 16));
    w = _mm_or_si128(_mm_slli_epi32(_mm_and_si128(w, lowBytes), 8),
                     _mm_and_si128(_mm_srli_epi32(w, 8), lowBytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4), w);
  }
#endif
  for (; i < state.size(); ++i) WordBytes(state[i], out + i * 4);
}

// The word behind four output bytes with bits 16 and 17 clear; false when the bytes cannot come
// from one word (bits 24 and 25 appear twice).
bool BytesWord(const uint8_t* in, uint32_t& word) {
  if ((in[0] & 3) != (in[1] >> 6)) return false;
  word = (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 18) | (uint32_t{in[2]} << 8) | in[3];
  return true;
}

uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

void JunkGenerator::Start(const JunkSeed& seed, uint32_t offsetInBlock) {
  std::copy(seed.begin(), seed.end(), state_.begin());
  Expand(state_);
  for (uint32_t i = 0; i < kInitialAdvances; ++i) AdvanceState(state_);
  bytesMade_ = false;
  position_ = 0;
  Skip(offsetInBlock);
}

void JunkGenerator::Skip(size_t count) {
  position_ += count;
  while (position_ >= kBytes) {
    AdvanceState(state_);  // a whole state skipped: no bytes needed
    bytesMade_ = false;
    position_ -= kBytes;
  }
}

void JunkGenerator::Fill(uint8_t* out, size_t count) {
  while (count > 0) {
    if (position_ == kBytes) {
      AdvanceState(state_);
      bytesMade_ = false;
      position_ = 0;
    }
    if (position_ == 0 && count >= kBytes) {
      StateBytes(state_, out);
      position_ = kBytes;
      out += kBytes;
      count -= kBytes;
      continue;
    }
    if (!bytesMade_) {
      StateBytes(state_, bytes_.data());
      bytesMade_ = true;
    }
    const size_t part = std::min(count, kBytes - position_);
    std::memcpy(out, &bytes_[position_], part);
    position_ += part;
    out += part;
    count -= part;
  }
}

JunkSeed SimulatedJunkSeed(std::string_view gameId, uint8_t discNumber, uint64_t block) {
  uint64_t id = 0;
  for (size_t i = 0; i < 4 && i < gameId.size(); ++i) {
    id = (id << 8) | static_cast<uint8_t>(gameId[i]);
  }
  uint64_t state = (id << 8 | discNumber) ^ (block * 0xD1B54A32D192ED03ull);
  JunkSeed seed;
  for (uint32_t& word : seed) word = static_cast<uint32_t>(SplitMix(state) >> 32);
  return seed;
}

void FillSimulatedJunk(std::string_view gameId, uint8_t discNumber, uint64_t offset, uint8_t* out,
                       size_t count) {
  JunkGenerator generator;
  while (count > 0) {
    const uint64_t block = offset / kJunkBlockSize;
    const uint32_t within = static_cast<uint32_t>(offset % kJunkBlockSize);
    const size_t part = std::min<size_t>(count, kJunkBlockSize - within);
    generator.Start(SimulatedJunkSeed(gameId, discNumber, block), within);
    generator.Fill(out, part);
    out += part;
    offset += part;
    count -= part;
  }
}

size_t FindJunkSeed(const uint8_t* data, size_t size, uint32_t offsetInBlock, JunkSeed& seed) {
  constexpr size_t kWords = JunkGenerator::kWords;
  size = std::min<size_t>(size, kJunkBlockSize - offsetInBlock);
  if (offsetInBlock % 4 != 0 || size < JunkGenerator::kBytes) return 0;
  std::array<uint32_t, kWords> words{};
  for (size_t i = 0; i < kWords; ++i) {
    if (!BytesWord(data + i * 4, words[i])) return 0;
  }
  // The bytes hold the end of one state (from word `split` on) and the start of the next.
  const size_t wordIndex = offsetInBlock / 4;
  const size_t advances = kInitialAdvances + wordIndex / kWords;
  const size_t split = wordIndex % kWords;
  std::array<uint32_t, kWords> state{};
  std::array<uint32_t, kWords> next{};
  std::copy_n(words.begin(), kWords - split, state.begin() + static_cast<long>(split));
  std::copy_n(words.begin() + static_cast<long>(kWords - split), split, next.begin());
  for (size_t i = kLag; i < split; ++i) state[i] = next[i] ^ next[i - kLag];
  for (size_t i = 0; i < std::min(split, kLag); ++i) state[i] = next[i] ^ state[i + kWords - kLag];
  for (size_t i = 0; i < advances; ++i) RewindState(state);
  // Bits 16 and 17 were never seen; the seed's own come back through the expansion, which shifts
  // them down to bits 7 and 8 of the words 16 later. Word 0's never reach the output at all.
  std::copy_n(state.begin(), kJunkSeedWords, seed.begin());
  seed[0] &= ~0x30000u;
  for (size_t j = 1; j < kJunkSeedWords; ++j) {
    const uint32_t low = (state[j + 16] ^ state[j + 15]) & 0x180u;
    seed[j] = (seed[j] & ~0x30000u) | (low << 9);
  }
  // Zeros would pass for the padding of an all-zero seed; they are left to the compressor.
  if (std::all_of(seed.begin(), seed.end(), [](uint32_t word) { return word == 0; })) return 0;
  JunkGenerator generator;
  generator.Start(seed, offsetInBlock);
  std::array<uint8_t, 4096> expected;
  size_t matched = 0;
  while (matched < size) {
    const size_t part = std::min(size - matched, expected.size());
    generator.Fill(expected.data(), part);
    const auto [mismatch, unused] =
        std::mismatch(expected.begin(), expected.begin() + static_cast<long>(part), data + matched);
    matched += static_cast<size_t>(mismatch - expected.begin());
    if (mismatch != expected.begin() + static_cast<long>(part)) break;
  }
  return matched >= JunkGenerator::kBytes ? matched : 0;
}

}  // namespace zemlo::disc
