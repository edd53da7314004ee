// 64-bit big-endian fields, beside link/bytes.h's 32-bit ones.
#pragma once

#include <cstdint>

#include "link/bytes.h"

namespace zemlo::disc {

constexpr void WriteBE64(uint8_t* out, uint64_t value) {
  WriteBE32(out, static_cast<uint32_t>(value >> 32));
  WriteBE32(out + 4, static_cast<uint32_t>(value));
}

constexpr uint64_t ReadBE64(const uint8_t* in) {
  return uint64_t{ReadBE32(in)} << 32 | ReadBE32(in + 4);
}

}  // namespace zemlo::disc
