#include "link/bytes.h"

namespace zemlo {

uint32_t ByteSum(const uint8_t* buffer, int32_t count) {
  // Sixteen running sums the compiler can keep in one vector register; every packet of a disc
  // goes through here. The sum wraps modulo 2^32 whichever order the bytes are added in.
  constexpr int32_t kLanes = 16;
  uint32_t lanes[kLanes] = {};
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    for (int32_t lane = 0; lane < kLanes; ++lane) lanes[lane] += buffer[i + lane];
  }
  uint32_t sum = 0;
  for (uint32_t lane : lanes) sum += lane;
  for (; i < count; ++i) sum += buffer[i];
  return sum;
}

void SwapWords32(uint32_t* words, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) words[i] = Swap32(words[i]);
}

}  // namespace zemlo
