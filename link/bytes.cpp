#include "link/bytes.h"

namespace zemlo {

uint32_t ByteSum(const uint8_t* buffer, int32_t count) {
  uint32_t sum = 0;
  for (int32_t i = 0; i < count; ++i) sum += buffer[i];
  return sum;
}

void SwapWords32(uint32_t* words, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) words[i] = Swap32(words[i]);
}

}  // namespace zemlo
