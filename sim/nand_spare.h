// The spare area of a simulated NAND page: the block marker and the ECC of each 512-byte quarter,
// computed here the long way, bit by bit, as the flash controller defines it.
#pragma once

#include <array>
#include <cstdint>

namespace zemlo::sim {

// The 4 ECC bytes of 512 data bytes, of which the ones past `count` are zero.
std::array<uint8_t, 4> SpareEcc(const uint8_t* data, uint32_t count = 512);

// Which pages and blocks the simulated flash has erased or marked bad.
bool IsErasedNandPage(uint32_t page);
bool IsBadNandBlock(uint32_t block);

}  // namespace zemlo::sim
