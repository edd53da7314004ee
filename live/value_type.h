// The types a watch entry or a search reads, big-endian as the console stores them, and the bases
// a value is shown in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zemlo::live {

enum class ValueType { U8, U16, U32, S8, S16, S32, F32, F64, String, Bytes };
enum class DisplayBase { Dec, Hex, Oct, Bin };

// "u8" ... "f64", "string", "bytes"; the names files and the command line use.
const char* TypeName(ValueType type);
std::optional<ValueType> TypeNamed(std::string_view name);
const char* BaseName(DisplayBase base);
std::optional<DisplayBase> BaseNamed(std::string_view name);

// Bytes a value of the type occupies; `length` counts for strings and byte arrays only.
uint32_t TypeSize(ValueType type, uint32_t length);
bool IsNumeric(ValueType type);
bool IsFloat(ValueType type);

// A numeric value as a double: exact for every integer type and both float widths.
double DecodeNumber(ValueType type, const uint8_t* bytes);

// The value at `bytes` as the user reads it. Floats ignore the base.
std::string FormatValue(ValueType type, DisplayBase base, const uint8_t* bytes, uint32_t length);

// The bytes to write for a typed text: numbers in the base (a 0x prefix is accepted in any),
// strings as their characters padded with zeros to `length`, byte arrays as hex pairs. Nothing
// when the text does not fit the type.
std::optional<std::vector<uint8_t>> ParseValue(ValueType type, DisplayBase base,
                                               std::string_view text, uint32_t length);

}  // namespace zemlo::live
