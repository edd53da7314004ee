#pragma once

// PowerPC 750 (with the paired-single extension) instruction decoder: one 32-bit word and its
// address in, a mnemonic text and an operand text out. Pure and re-entrant: every text lives in
// the record or in a returned value, never in module-wide storage.

#include <cstdint>
#include <string_view>

#include "disasm/fixed_text.h"

namespace zemlo {

struct PpcDisasmRecord {
  std::uint64_t address = 0;  // only used for relative branch targets
  std::uint32_t word = 0;     // the instruction, first byte in memory most significant
  FixedText<16> mnemonic;     // empty when the word is undecodable
  FixedText<64> operands;
};

// Decodes record->word at record->address into the record's two texts; an undecodable word
// leaves both empty. A null record is ignored.
void ppc_disassemble(PpcDisasmRecord* record);

// ---- Pieces shared by the instruction families ----

// Empties both texts: the one outcome of every undecodable word.
inline void mark_undecodable(PpcDisasmRecord& record) {
  record.mnemonic.clear();
  record.operands.clear();
}

// Operand-less instructions: `name` when (word & mask) == value, otherwise undecodable.
void match_exact(PpcDisasmRecord& record, std::string_view name, std::uint32_t mask,
                 std::uint32_t value);

// Appends a 16-bit immediate already extended to 32 bits by the caller. Small values
// (-256..256) print in decimal unless `always_hex`; the rest as 0x%04X, with a minus sign and
// the magnitude when `is_signed` and bit 15 is set.
void append_imm16(FixedText<64>& operands, std::int32_t value, bool always_hex, bool is_signed);
// The text append_imm16 appends, for FixedText::append_all.
PaddedText imm16_text(std::int32_t value, bool always_hex, bool is_signed);

// Appends the 12-bit displacement of the quantized loads and stores: 0..128 in decimal,
// negative values always as -0x%03X of the magnitude, other positive ones as 0x%03X.
void append_offset12(FixedText<64>& operands, std::uint32_t value);
// The text append_offset12 appends, for FixedText::append_all.
PaddedText offset12_text(std::uint32_t value);

// Appends ", " (when `with_separator`) and the low 32 bits of `target` as 0x%08X.
void append_target(FixedText<64>& operands, std::uint64_t target, bool with_separator);

// Register layouts of `emit_operands`.
enum class OperandForm : std::uint8_t {
  D,  // rD, rA [, immediate]
  S,  // rA, rS [, immediate]
  X,  // rD, rA, rB
  F,  // frD, rA, rB
  Z,  // rA, rS, rB
};

// Flags of `emit_operands`, named after its parameters.
enum OperandFlag : unsigned {
  kAlwaysHex = 1u << 0,
  kIsSigned = 1u << 1,
  kWithCrf = 1u << 2,  // "crN, " prefix from bits 23-25
  kWithImm = 1u << 3,  // D and S forms only: ", " and the 16-bit immediate
  kShowFirst = 1u << 4,
  kShowSecond = 1u << 5,
  kShowThird = 1u << 6,
  kShowAll = kShowFirst | kShowSecond | kShowThird,
};

// The generic register/immediate operand builder: mnemonic `name`, then the shown registers of
// `form` separated by ", ".
void emit_operands(PpcDisasmRecord& record, std::string_view name, OperandForm form,
                   unsigned flags);

// Floating-point arithmetic: undecodable when (word & must_be_zero) != 0, otherwise `name` and
// the registers of float_forms[form]. Rc appends "." (each Rc variant is its own full name).
void emit_float(PpcDisasmRecord& record, std::string_view name, std::uint32_t must_be_zero,
                int form);

// As emit_float, with the mnemonic "ps_" + name and "." when Rc is set.
void emit_paired(PpcDisasmRecord& record, std::string_view name, std::uint32_t must_be_zero,
                 int form);

}  // namespace zemlo
