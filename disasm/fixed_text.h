#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace zemlo {

// A short text padded with zeros to eight bytes, so that appending it is one fixed-size copy
// whatever its length: with random words every length-dependent branch mispredicts.
struct PaddedText {
  char text[8] = {};
  std::uint8_t size = 0;
};

constexpr PaddedText padded(std::string_view text) {
  PaddedText out;
  for (std::size_t i = 0; i < text.size() && i < sizeof out.text; ++i) out.text[i] = text[i];
  out.size = static_cast<std::uint8_t>(text.size() < sizeof out.text ? text.size() : 8);
  return out;
}

// "0".."256": the registers, fields and small immediates an instruction prints.
inline constexpr auto kSmallDecimals = [] {
  std::array<PaddedText, 257> table{};
  for (std::size_t value = 0; value < table.size(); ++value) {
    char digits[3] = {static_cast<char>('0' + value / 100),
                      static_cast<char>('0' + value / 10 % 10),
                      static_cast<char>('0' + value % 10)};
    const std::size_t count = value >= 100 ? 3 : value >= 10 ? 2 : 1;
    table[value] = padded(std::string_view(digits + 3 - count, count));
  }
  return table;
}();

// Two upper-case hex digits per byte value.
inline constexpr auto kHexPairs = [] {
  std::array<char, 512> pairs{};
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < 256; ++i) {
    pairs[2 * i] = kDigits[i >> 4];
    pairs[2 * i + 1] = kDigits[i & 15];
  }
  return pairs;
}();

// Reverses the bytes of `x`: one instruction where the compiler offers it, shifts elsewhere.
constexpr std::uint64_t byte_swap64(std::uint64_t x) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(x);
#else
  x = (x << 32) | (x >> 32);
  x = ((x & 0x0000FFFF0000FFFFull) << 16) | ((x >> 16) & 0x0000FFFF0000FFFFull);
  return ((x & 0x00FF00FF00FF00FFull) << 8) | ((x >> 8) & 0x00FF00FF00FF00FFull);
#endif
}
constexpr std::uint32_t byte_swap32(std::uint32_t x) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap32(x);
#else
  return (x << 24) | ((x << 8) & 0x00FF0000u) | ((x >> 8) & 0x0000FF00u) | (x >> 24);
#endif
}

// Writes the eight upper-case hex digits of `value` at `out`. Each nibble is spread into a byte
// of its own and turned into its digit all at once: two of these per line, and a table lookup
// per byte cost several times as many instructions.
inline char* put_hex32(char* out, std::uint32_t value) {
  std::uint64_t x = value;
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
  x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
  x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0Full;  // nibble i in byte i
  const std::uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
  x += 0x3030303030303030ull + letters * ('A' - '0' - 10);
  // The most significant nibble goes first in memory.
  if constexpr (std::endian::native == std::endian::little) x = byte_swap64(x);
  std::memcpy(out, &x, sizeof x);
  return out + sizeof x;
}

// Copies n <= Max bytes with fixed-size (overlapping) moves, which compile inline; a call to
// memcpy per operand would cost more than decoding the word.
template <std::size_t Max>
inline void copy_short(char* dst, const char* src, std::size_t n) {
  if constexpr (Max >= 16) {
    if (n >= 16) {
      for (std::size_t i = 0; i + 16 < n; i += 16) std::memcpy(dst + i, src + i, 16);
      std::memcpy(dst + n - 16, src + n - 16, 16);
      return;
    }
  }
  if constexpr (Max >= 8) {
    if (n >= 8) {
      std::memcpy(dst, src, 8);
      std::memcpy(dst + n - 8, src + n - 8, 8);
      return;
    }
  }
  if (n >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n >= 2) {
    std::memcpy(dst, src, 2);
    std::memcpy(dst + n - 2, src + n - 2, 2);
  } else if (n == 1) {
    *dst = *src;
  }
}

// A text of at most N - 1 characters kept in place and always terminated. Appends past the
// capacity are cut off rather than overrunning, so a caller can never write outside the field.
// The decoder builds every text with these appenders instead of printf: it runs once per word
// of a multi-megabyte file.
template <std::size_t N>
class FixedText {
  static_assert(N >= 5 && N <= 256);

 public:
  static constexpr std::size_t kCapacity = N - 1;

  FixedText() = default;
  // Implicit on purpose: texts are assigned from literals and table names everywhere.
  FixedText(std::string_view text) { append(text); }
  FixedText(const char* text) { append(std::string_view(text)); }
  FixedText& operator=(std::string_view text) {
    clear();
    append(text);
    return *this;
  }
  FixedText& operator=(const char* text) { return *this = std::string_view(text); }
  FixedText& operator=(const PaddedText& text) {
    clear();
    append(text);
    return *this;
  }

  void clear() {
    size_ = 0;
    data_[0] = '\0';
  }
  [[nodiscard]] const char* c_str() const { return data_; }
  // The whole array, terminator and the bytes past it included (always initialised).
  [[nodiscard]] const char (&storage() const)[N] { return data_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }

  void append(std::string_view text) {
    std::size_t n = text.size();
    if (n > kCapacity - size_) n = kCapacity - size_;
    copy_short<kCapacity>(data_ + size_, text.data(), n);
    size_ = static_cast<std::uint8_t>(size_ + n);
    data_[size_] = '\0';
  }
  void append(char c) {
    if (size_ == kCapacity) return;
    data_[size_++] = c;
    data_[size_] = '\0';
  }
  template <std::size_t M>
  void append(const FixedText<M>& text) {
    append(text.view());
  }
  void append(const PaddedText& text) {
    std::size_t n = text.size;
    if (N - size_ >= sizeof text.text) {
      std::memcpy(data_ + size_, text.text, sizeof text.text);
    } else {
      if (n > kCapacity - size_) n = kCapacity - size_;
      for (std::size_t i = 0; i < n; ++i) data_[size_ + i] = text.text[i];  // the text's end
    }
    size_ = static_cast<std::uint8_t>(size_ + n);
    data_[size_] = '\0';
  }

  // Appends the pieces in order, each as one 8-byte copy, with the length kept in a register
  // instead of being stored and reloaded after every piece. The hot families build their whole
  // operand text this way. Without room for eight bytes per piece it falls back to append.
  template <typename... Pieces>
  void append_all(const Pieces&... pieces) {
    static_assert((std::is_same_v<Pieces, PaddedText> && ...));
    constexpr std::size_t kRoom = sizeof(PaddedText::text) * sizeof...(Pieces);
    if (kCapacity - size_ < kRoom) {
      (append(pieces), ...);
      return;
    }
    char* p = data_ + size_;
    ((std::memcpy(p, pieces.text, sizeof pieces.text), p += pieces.size), ...);
    size_ = static_cast<std::uint8_t>(p - data_);
    *p = '\0';
  }

  // Signed decimal, as "%i" prints it.
  void append_decimal(std::int64_t value) {
    if (value >= 0 && value < static_cast<std::int64_t>(kSmallDecimals.size()))
      return append(kSmallDecimals[static_cast<std::size_t>(value)]);
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
      *--p = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    append(std::string_view(p, static_cast<std::size_t>(end - p)));
  }

  // Upper-case hexadecimal zero-padded to `width` digits, as "%0*X" prints it.
  void append_hex(std::uint32_t value, int width) {
    char digits[8];
    put_hex32(digits, value);
    int count = (32 - std::countl_zero(value | 1u) + 3) / 4;
    if (count < width) count = width < 8 ? width : 8;
    append(std::string_view(digits + 8 - count, static_cast<std::size_t>(count)));
  }

  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

 private:
  char data_[N] = {};
  std::uint8_t size_ = 0;
};

}  // namespace zemlo
