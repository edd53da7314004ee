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
  bool holdsNumber = false;  // the text last read had a number in it

  void Take(std::string_view text);
  // The length the operations check. A text without a number counts as one of no length, so it
  // is refused like a text of the wrong size instead of acting on the number of an earlier one.
  int CheckedLength() const { return holdsNumber ? textLength : 0; }
  bool HasEightCharacters() const { return CheckedLength() == 8; }
};

}  // namespace zemlo
