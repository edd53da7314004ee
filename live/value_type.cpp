#include "live/value_type.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zemlo::live {
namespace {

struct TypeInfo {
  ValueType type;
  const char* name;
  uint32_t size;  // 0: as long as the entry says
  bool isSigned;
};

constexpr std::array<TypeInfo, 10> kTypes{{
    {ValueType::U8, "u8", 1, false},
    {ValueType::U16, "u16", 2, false},
    {ValueType::U32, "u32", 4, false},
    {ValueType::S8, "s8", 1, true},
    {ValueType::S16, "s16", 2, true},
    {ValueType::S32, "s32", 4, true},
    {ValueType::F32, "f32", 4, true},
    {ValueType::F64, "f64", 8, true},
    {ValueType::String, "string", 0, false},
    {ValueType::Bytes, "bytes", 0, false},
}};

struct BaseInfo {
  DisplayBase base;
  const char* name;
  int radix;
};

constexpr std::array<BaseInfo, 4> kBases{{
    {DisplayBase::Dec, "dec", 10},
    {DisplayBase::Hex, "hex", 16},
    {DisplayBase::Oct, "oct", 8},
    {DisplayBase::Bin, "bin", 2},
}};

const TypeInfo& Info(ValueType type) {
  return kTypes[static_cast<size_t>(type)];
}

uint64_t ReadBE(const uint8_t* bytes, uint32_t size) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < size; ++i) value = value << 8 | bytes[i];
  return value;
}

int64_t SignExtend(uint64_t value, uint32_t size) {
  const unsigned shift = 64 - 8 * size;
  return static_cast<int64_t>(value << shift) >> shift;
}

std::string InBase(uint64_t value, int radix) {
  char text[72];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, radix);
  (void)error;
  std::string out(text, end);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::vector<uint8_t>> ParseNumber(ValueType type, int radix, std::string_view text) {
  const TypeInfo& info = Info(type);
  std::vector<uint8_t> out(info.size);
  if (IsFloat(type)) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const uint64_t bits = type == ValueType::F32
                              ? std::bit_cast<uint32_t>(static_cast<float>(value))
                              : std::bit_cast<uint64_t>(value);
    for (uint32_t i = 0; i < info.size; ++i)
      out[i] = static_cast<uint8_t>(bits >> (8 * (info.size - 1 - i)));
    return out;
  }
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    radix = 16;
  }
  uint64_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), magnitude, radix);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const unsigned bits = 8 * info.size;
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  uint64_t raw = 0;
  if (negative) {
    // Only signed types take a sign, and only down to their least value.
    if (!info.isSigned || magnitude > (uint64_t{1} << (bits - 1))) return std::nullopt;
    raw = (0 - magnitude) & mask;
  } else {
    const uint64_t limit = info.isSigned && radix == 10 ? mask >> 1 : mask;
    if (magnitude > limit) return std::nullopt;
    raw = magnitude;
  }
  for (uint32_t i = 0; i < info.size; ++i)
    out[i] = static_cast<uint8_t>(raw >> (8 * (info.size - 1 - i)));
  return out;
}

}  // namespace

const char* TypeName(ValueType type) {
  return Info(type).name;
}

std::optional<ValueType> TypeNamed(std::string_view name) {
  for (const TypeInfo& info : kTypes) {
    if (name == info.name) return info.type;
  }
  return std::nullopt;
}

const char* BaseName(DisplayBase base) {
  return kBases[static_cast<size_t>(base)].name;
}

std::optional<DisplayBase> BaseNamed(std::string_view name) {
  for (const BaseInfo& info : kBases) {
    if (name == info.name) return info.base;
  }
  return std::nullopt;
}

uint32_t TypeSize(ValueType type, uint32_t length) {
  const uint32_t size = Info(type).size;
  return size ? size : length;
}

bool IsNumeric(ValueType type) {
  return Info(type).size != 0;
}

bool IsFloat(ValueType type) {
  return type == ValueType::F32 || type == ValueType::F64;
}

double DecodeNumber(ValueType type, const uint8_t* bytes) {
  const TypeInfo& info = Info(type);
  const uint64_t raw = ReadBE(bytes, info.size);
  if (type == ValueType::F32) return std::bit_cast<float>(static_cast<uint32_t>(raw));
  if (type == ValueType::F64) return std::bit_cast<double>(raw);
  if (info.isSigned) return static_cast<double>(SignExtend(raw, info.size));
  return static_cast<double>(raw);
}

std::string FormatValue(ValueType type, DisplayBase base, const uint8_t* bytes, uint32_t length) {
  const TypeInfo& info = Info(type);
  if (type == ValueType::String) {
    std::string text;
    for (uint32_t i = 0; i < length && bytes[i] != 0; ++i) {
      text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    }
    return text;
  }
  if (type == ValueType::Bytes) {
    std::string text;
    char pair[4];
    for (uint32_t i = 0; i < length; ++i) {
      std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X", bytes[i]);
      text += pair;
    }
    return text;
  }
  if (IsFloat(type)) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", DecodeNumber(type, bytes));
    return text;
  }
  const uint64_t raw = ReadBE(bytes, info.size);
  const int radix = kBases[static_cast<size_t>(base)].radix;
  // Signed values read as signed in decimal; other bases show the bits as they are.
  if (info.isSigned && radix == 10) {
    const int64_t value = SignExtend(raw, info.size);
    return value < 0 ? "-" + InBase(0 - static_cast<uint64_t>(value), 10) : InBase(raw, 10);
  }
  return InBase(raw, radix);
}

std::optional<std::vector<uint8_t>> ParseValue(ValueType type, DisplayBase base,
                                               std::string_view text, uint32_t length) {
  if (type == ValueType::String) {
    if (text.size() > length) return std::nullopt;
    std::vector<uint8_t> out(length, 0);
    std::memcpy(out.data(), text.data(), text.size());
    return out;
  }
  if (type == ValueType::Bytes) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size();) {
      if (text[i] == ' ') {
        ++i;
        continue;
      }
      uint8_t byte = 0;
      const auto [end, error] =
          std::from_chars(text.data() + i, text.data() + std::min(i + 2, text.size()), byte, 16);
      if (error != std::errc() || end != text.data() + std::min(i + 2, text.size()))
        return std::nullopt;
      out.push_back(byte);
      i += 2;
    }
    if (out.size() != length) return std::nullopt;
    return out;
  }
  return ParseNumber(type, kBases[static_cast<size_t>(base)].radix, text);
}

}  // namespace zemlo::live
