#include "sim/nand_spare.h"

namespace zemlo::sim {
namespace {

uint8_t ParityBit(uint8_t value) {
  uint8_t parity = 0;
  for (int bit = 0; bit < 8; ++bit) parity ^= (value >> bit) & 1;
  return parity;
}

}  // namespace

bool IsErasedNandPage(uint32_t page) {
  return page % 256 == 130 || page % 256 == 131;
}

bool IsBadNandBlock(uint32_t block) {
  return block % 64 == 3;
}

std::array<uint8_t, 4> SpareEcc(const uint8_t* data, uint32_t count) {
  uint8_t pairs[12][2] = {};
  for (uint32_t i = 0; i < count; ++i) {
    for (uint32_t j = 0; j < 9; ++j) pairs[3 + j][(i >> j) & 1] ^= data[i];
  }
  const uint8_t x = pairs[3][0] ^ pairs[3][1];
  const uint8_t masks[3][2] = {{0x55, 0xAA}, {0x33, 0xCC}, {0x0F, 0xF0}};
  for (int j = 0; j < 3; ++j) {
    pairs[j][0] = x & masks[j][0];
    pairs[j][1] = x & masks[j][1];
  }
  uint32_t a0 = 0;
  uint32_t a1 = 0;
  for (uint32_t j = 0; j < 12; ++j) {
    a0 |= uint32_t{ParityBit(pairs[j][0])} << j;
    a1 |= uint32_t{ParityBit(pairs[j][1])} << j;
  }
  return {static_cast<uint8_t>(a0), static_cast<uint8_t>(a0 >> 8), static_cast<uint8_t>(a1),
          static_cast<uint8_t>(a1 >> 8)};
}

}  // namespace zemlo::sim
