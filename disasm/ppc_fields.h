#pragma once

// Field extraction and the family handlers the primary-opcode dispatch calls. Bits count from
// the least significant bit of the word (bit 0 = Rc, bits 26-31 = primary opcode).

#include <cstdint>

#include "disasm/ppc_disasm.h"
#include "disasm/ppc_tables.h"

namespace zemlo {

constexpr std::uint32_t field(std::uint32_t word, int low_bit, int width) {
  return (word >> low_bit) & ((1u << width) - 1u);
}
constexpr std::uint32_t field_rd(std::uint32_t word) {
  return field(word, 21, 5);
}
constexpr std::uint32_t field_ra(std::uint32_t word) {
  return field(word, 16, 5);
}
constexpr std::uint32_t field_rb(std::uint32_t word) {
  return field(word, 11, 5);
}
constexpr std::uint32_t field_rc(std::uint32_t word) {
  return field(word, 6, 5);
}
constexpr std::uint32_t field_crfd(std::uint32_t word) {
  return field(word, 23, 3);
}
constexpr bool rc_bit(std::uint32_t word) {
  return (word & 1u) != 0;
}
constexpr std::int32_t simm16(std::uint32_t word) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFFu));
}

// Appenders for the register spellings used everywhere; inline, so that a family keeps its
// text's length in a register from one operand to the next.
inline void append_gpr(FixedText<64>& text, std::uint32_t reg) {
  text.append(kGprNames[reg & 31]);
}
inline void append_fpr(FixedText<64>& text, std::uint32_t reg) {  // "fr" and the number
  text.append(kFprNames[reg & 31]);
}
inline void append_crf(FixedText<64>& text, std::uint32_t field) {  // "cr" and the number
  text.append(kCrfNames[field & 7]);
}
inline void append_separator(FixedText<64>& text) {
  text.append(", ");
}

// Families, one per primary opcode or group.
void decode_trap_immediate(PpcDisasmRecord& r);                            // 3
void decode_paired_group(PpcDisasmRecord& r);                              // 4
void decode_integer_immediate(PpcDisasmRecord& r, std::uint32_t primary);  // 7, 8, 12-15, 24-29
void decode_compare(PpcDisasmRecord& r, bool logical, bool immediate);     // 10, 11, 31/0, 31/32
void decode_trap_register(PpcDisasmRecord& r);                             // 31/4
void decode_branch_conditional(PpcDisasmRecord& r);                        // 16
void decode_branch_register(PpcDisasmRecord& r, bool to_ctr);              // 19/16, 19/528
void decode_branch(PpcDisasmRecord& r);                                    // 18
void decode_group19(PpcDisasmRecord& r);
void decode_rotate(PpcDisasmRecord& r, std::uint32_t primary);  // 20, 21, 23
void decode_group31(PpcDisasmRecord& r);
void decode_load_store(PpcDisasmRecord& r, std::uint32_t primary);  // 32-55
void decode_cache(PpcDisasmRecord& r, std::string_view name);       // also dcbz_l
void decode_quantized(PpcDisasmRecord& r, std::uint32_t primary);   // 56, 57, 60, 61
void decode_group59(PpcDisasmRecord& r);
void decode_group63(PpcDisasmRecord& r);

}  // namespace zemlo
