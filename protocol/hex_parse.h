// Hexadecimal text typed into an address or value box. A box's number is taken from at most its
// first 8 characters the way the "%x" scanning conversion reads it; its full length is kept too,
// since the operations accept only texts of exactly 8 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zemlo {

// Characters (not bytes) in a UTF-8 text, as an edit box counts them.
std::size_t TextLength(std::string_view text);

// The number "%x" reads from the first `maxCharacters` characters of `text`: leading blanks
// skipped, an optional sign and "0x" prefix, then hexadecimal digits up to the first other
// character. A minus sign negates modulo 2^32. Nothing when no number is there.
std::optional<uint32_t> ParseHexPrefix(std::string_view text, std::size_t maxCharacters = 8);

// One hexadecimal box as the dialogs remember it between presses: the length of the text last
// read, and the last number parsed (kept when a later text holds none).
struct HexInput {
  int textLength = 0;
  uint32_t value = 0;

  void Take(std::string_view text);
  bool HasEightCharacters() const { return textLength == 8; }
};

}  // namespace zemlo
