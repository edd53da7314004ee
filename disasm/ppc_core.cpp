#include <array>
#include <bit>
#include <cstring>

#include "disasm/ppc_disasm.h"
#include "disasm/ppc_fields.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

// SPR number -> 1 + index into spr_names (0: no name), so the lookup is one load.
constexpr auto kSprIndex = [] {
  std::array<std::uint8_t, 1024> index{};
  std::uint8_t i = 0;
  for (const SprName& entry : spr_names) index[entry.number] = ++i;
  return index;
}();
static_assert(std::size(spr_names) < 255);

}  // namespace

std::string_view spr_name(std::uint32_t spr) {
  if (spr >= kSprIndex.size() || kSprIndex[spr] == 0) return {};
  return spr_names[kSprIndex[spr] - 1].name;
}

namespace {

// "-256".."256", indexed by value + 256.
constexpr auto kImmDecimals = [] {
  std::array<PaddedText, 513> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::size_t magnitude = i < 256 ? 256 - i : i - 256;
    const PaddedText& digits = kSmallDecimals[magnitude];
    PaddedText& entry = table[i];
    std::size_t n = 0;
    if (i < 256) entry.text[n++] = '-';
    for (std::size_t d = 0; d < digits.size; ++d) entry.text[n++] = digits.text[d];
    entry.size = static_cast<std::uint8_t>(n);
  }
  return table;
}();

// "0x" or "-0x" and the last `digits` (3 or 4) hex digits of `magnitude`, built in one word.
PaddedText HexImmediate(std::uint32_t magnitude, bool negative, int digits) {
  static_assert(std::endian::native == std::endian::little, "the word is stored as it is built");
  std::uint64_t x = magnitude & 0xFFFFu;
  x = (x | (x << 8)) & 0x00FF00FFull;
  x = (x | (x << 4)) & 0x0F0F0F0Full;  // nibble i in byte i
  const std::uint64_t letters = ((x + 0x06060606ull) >> 4) & 0x01010101ull;
  x += 0x30303030ull + letters * ('A' - '0' - 10);
  // Most significant digit first in memory; the leading digit of four dropped for three.
  x = byte_swap32(static_cast<std::uint32_t>(x)) >> (8 * (4 - digits));
  const int prefix = negative ? 3 : 2;
  const std::uint64_t lead = negative ? 0x78302Dull : 0x7830ull;  // "-0x" / "0x", first byte low
  x = lead | (x << (8 * prefix));
  PaddedText out;
  std::memcpy(out.text, &x, sizeof x);
  out.size = static_cast<std::uint8_t>(prefix + digits);
  return out;
}

}  // namespace

void match_exact(PpcDisasmRecord& record, std::string_view name, std::uint32_t mask,
                 std::uint32_t value) {
  if ((record.word & mask) != value) return mark_undecodable(record);
  record.mnemonic = name;
}

PaddedText imm16_text(std::int32_t value, bool always_hex, bool is_signed) {
  if (!always_hex && value >= -256 && value <= 256)
    return kImmDecimals[static_cast<std::size_t>(value + 256)];
  // Random words take either sign equally often, so the magnitude comes from arithmetic on an
  // all-ones mask rather than from a branch (which the compiler emits for a plain selection).
  const std::uint32_t bits = static_cast<std::uint32_t>(value);
  const std::uint32_t negative = (bits >> 15) & static_cast<std::uint32_t>(is_signed);
  const std::uint32_t mask = 0u - negative;
  return HexImmediate(((bits ^ mask) - mask) & 0xFFFFu, negative != 0, 4);
}

void append_imm16(FixedText<64>& operands, std::int32_t value, bool always_hex, bool is_signed) {
  operands.append(imm16_text(value, always_hex, is_signed));
}

PaddedText offset12_text(std::uint32_t value) {
  value &= 0xFFFu;
  if (value <= 128) return kSmallDecimals[value];
  // The sign by arithmetic, as in imm16_text.
  const std::uint32_t mask = 0u - ((value >> 11) & 1u);
  return HexImmediate(((value ^ mask) - mask) & 0xFFFu, mask != 0, 3);
}

void append_offset12(FixedText<64>& operands, std::uint32_t value) {
  operands.append(offset12_text(value));
}

void append_target(FixedText<64>& operands, std::uint64_t target, bool with_separator) {
  if (with_separator) append_separator(operands);
  operands.append("0x");
  operands.append_hex(static_cast<std::uint32_t>(target), 8);
}

void emit_operands(PpcDisasmRecord& record, std::string_view name, OperandForm form,
                   unsigned flags) {
  const std::uint32_t w = record.word;
  record.mnemonic = name;
  FixedText<64>& ops = record.operands;
  if (flags & kWithCrf) {
    append_crf(ops, field_rd(w) >> 2);
    append_separator(ops);
  }
  // Fields of the three register slots, by form.
  std::uint32_t regs[3] = {};
  switch (form) {
    case OperandForm::D:
    case OperandForm::X:
    case OperandForm::F:
      regs[0] = field_rd(w);
      regs[1] = field_ra(w);
      break;
    case OperandForm::S:
    case OperandForm::Z:
      regs[0] = field_ra(w);
      regs[1] = field_rd(w);
      break;
  }
  regs[2] = field_rb(w);
  const bool has_third = form == OperandForm::X || form == OperandForm::F || form == OperandForm::Z;
  const unsigned shown[3] = {flags & kShowFirst, flags & kShowSecond,
                             has_third ? flags & kShowThird : 0u};
  bool any = false;
  for (int slot = 0; slot < 3; ++slot) {
    if (!shown[slot]) continue;
    if (any) append_separator(ops);
    any = true;
    if (slot == 0 && form == OperandForm::F) {
      append_fpr(ops, regs[0]);
    } else {
      append_gpr(ops, regs[slot]);
    }
  }
  if ((flags & kWithImm) && (form == OperandForm::D || form == OperandForm::S)) {
    const bool is_signed = (flags & kIsSigned) != 0;
    const std::int32_t value = is_signed ? simm16(w) : static_cast<std::int32_t>(w & 0xFFFFu);
    append_separator(ops);
    append_imm16(ops, value, (flags & kAlwaysHex) != 0, is_signed);
  }
}

namespace {

void append_float_registers(PpcDisasmRecord& record, int form) {
  const FloatForm& f = float_forms[static_cast<std::size_t>(form)];
  for (std::uint8_t i = 0; i < f.count; ++i) {
    if (i != 0) append_separator(record.operands);
    append_fpr(record.operands, field(record.word, f.shifts[i], 5));
  }
}

}  // namespace

void emit_float(PpcDisasmRecord& record, std::string_view name, std::uint32_t must_be_zero,
                int form) {
  if ((record.word & must_be_zero) != 0) return mark_undecodable(record);
  record.mnemonic = name;
  if (rc_bit(record.word)) record.mnemonic.append('.');
  append_float_registers(record, form);
}

void emit_paired(PpcDisasmRecord& record, std::string_view name, std::uint32_t must_be_zero,
                 int form) {
  if ((record.word & must_be_zero) != 0) return mark_undecodable(record);
  record.mnemonic = "ps_";
  record.mnemonic.append(name);
  if (rc_bit(record.word)) record.mnemonic.append('.');
  append_float_registers(record, form);
}

namespace {

// The family of each primary opcode, called through one table: random words make the primary
// opcode unpredictable, and a switch adds a second mispredicted branch for the opcodes outside
// its jump table (the loads and stores, the most frequent family).
using Family = void (*)(PpcDisasmRecord&, std::uint32_t primary);
constexpr auto kFamilies = [] {
  std::array<Family, 64> families{};
  families.fill([](PpcDisasmRecord&, std::uint32_t) {});  // no instruction
  families[3] = [](PpcDisasmRecord& r, std::uint32_t) { decode_trap_immediate(r); };
  families[4] = [](PpcDisasmRecord& r, std::uint32_t) { decode_paired_group(r); };
  for (std::uint32_t p : {7, 8, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29})
    families[p] = decode_integer_immediate;
  families[10] = [](PpcDisasmRecord& r, std::uint32_t) { decode_compare(r, true, true); };
  families[11] = [](PpcDisasmRecord& r, std::uint32_t) { decode_compare(r, false, true); };
  families[16] = [](PpcDisasmRecord& r, std::uint32_t) { decode_branch_conditional(r); };
  families[17] = [](PpcDisasmRecord& r, std::uint32_t) { match_exact(r, "sc", 0x3FFFFFF, 2); };
  families[18] = [](PpcDisasmRecord& r, std::uint32_t) { decode_branch(r); };
  families[19] = [](PpcDisasmRecord& r, std::uint32_t) { decode_group19(r); };
  for (std::uint32_t p : {20, 21, 23}) families[p] = decode_rotate;
  families[31] = [](PpcDisasmRecord& r, std::uint32_t) { decode_group31(r); };
  for (std::uint32_t p = 32; p <= 55; ++p) families[p] = decode_load_store;
  for (std::uint32_t p : {56, 57, 60, 61}) families[p] = decode_quantized;
  families[59] = [](PpcDisasmRecord& r, std::uint32_t) { decode_group59(r); };
  families[63] = [](PpcDisasmRecord& r, std::uint32_t) { decode_group63(r); };
  return families;
}();

}  // namespace

void ppc_disassemble(PpcDisasmRecord* record) {
  if (record == nullptr) return;
  mark_undecodable(*record);
  const std::uint32_t primary = record->word >> 26;
  kFamilies[primary](*record, primary);
}

}  // namespace zemlo
