// 16- and 64-bit big-endian fields, beside link/bytes.h's 32-bit ones.
#pragma once

#include <cstdint>

#include "link/bytes.h"

namespace zemlo::disc {

constexpr void WriteBE16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

constexpr uint16_t ReadBE16(const uint8_t* in) {
  return static_cast<uint16_t>(in[0] << 8 | in[1]);
}

constexpr void WriteBE64(uint8_t* out, uint64_t value) {
  WriteBE32(out, static_cast<uint32_t>(value >> 32));
  WriteBE32(out + 4, static_cast<uint32_t>(value));
}

constexpr uint64_t ReadBE64(const uint8_t* in) {
  return uint64_t{ReadBE32(in)} << 32 | ReadBE32(in + 4);
}

}  // namespace zemlo::disc
