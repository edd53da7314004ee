#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zemlo {

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

  // Signed decimal, as "%i" prints it.
  void append_decimal(std::int64_t value) {
    if (value >= 0 && value < 10) return append(static_cast<char>('0' + value));
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
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char digits[16];  // twice the longest, so the short copy never reads outside it
    int count = 0;
    do {
      digits[15 - count++] = kDigits[value & 0xF];
      value >>= 4;
    } while (value != 0);
    while (count < width && count < 8) digits[15 - count++] = '0';
    append(std::string_view(digits + 16 - count, static_cast<std::size_t>(count)));
  }

  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

 private:
  char data_[N] = {};
  std::uint8_t size_ = 0;
};

}  // namespace zemlo
