#include "protocol/hex_parse.h"

#include <limits>

namespace zemlo {
namespace {

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// Blanks as isspace() knows them in the "C" locale.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first `maxCharacters` characters of `text`.
std::string_view Leading(std::string_view text, std::size_t maxCharacters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsContinuationByte(text[i])) continue;
    if (characters == maxCharacters) return text.substr(0, i);
    ++characters;
  }
  return text;
}

}  // namespace

std::size_t TextLength(std::string_view text) {
  std::size_t characters = 0;
  for (char c : text) {
    if (!IsContinuationByte(c)) ++characters;
  }
  return characters;
}

std::optional<uint32_t> ParseHexPrefix(std::string_view text, std::size_t maxCharacters) {
  const std::string_view field = Leading(text, maxCharacters);
  std::size_t pos = 0;
  while (pos < field.size() && IsBlank(field[pos])) ++pos;
  bool negative = false;
  if (pos < field.size() && (field[pos] == '+' || field[pos] == '-')) {
    negative = field[pos] == '-';
    ++pos;
  }
  bool digits = false;
  uint32_t value = 0;
  if (pos < field.size() && field[pos] == '0') {
    // "0x" with no digit after it still reads as the number 0, as the C library does.
    digits = true;
    ++pos;
    if (pos < field.size() && (field[pos] == 'x' || field[pos] == 'X')) ++pos;
  }
  for (; pos < field.size() && HexDigit(field[pos]) >= 0; ++pos) {
    digits = true;
    value = (value << 4) | static_cast<uint32_t>(HexDigit(field[pos]));
  }
  if (!digits) return std::nullopt;
  return negative ? 0u - value : value;
}

void HexInput::Take(std::string_view text) {
  const std::size_t length = TextLength(text);
  textLength = length > static_cast<std::size_t>(std::numeric_limits<int>::max())
                   ? std::numeric_limits<int>::max()
                   : static_cast<int>(length);
  const std::optional<uint32_t> parsed = ParseHexPrefix(text);
  holdsNumber = parsed.has_value();
  if (parsed) value = *parsed;
}

}  // namespace zemlo
