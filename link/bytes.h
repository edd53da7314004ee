// Small byte utilities shared by the operations.
#pragma once

#include <cstdint>

namespace zemlo {

// Wrapping 32-bit sum of `count` unsigned bytes; 0 for a count of 0 or less.
uint32_t ByteSum(const uint8_t* buffer, int32_t count);

// Most significant byte first.
constexpr uint32_t ReadBE32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

// The byte itself from 0x20 to 0x7E, otherwise '.'.
constexpr char PrintableChar(uint8_t byte) {
  return (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : '.';
}

// Lays `value` out most significant byte first, as every multi-byte field goes on the wire.
constexpr void WriteBE32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

}  // namespace zemlo
