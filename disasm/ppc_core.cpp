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

void mark_undecodable(PpcDisasmRecord& record) {
  record.mnemonic.clear();
  record.operands.clear();
}

void match_exact(PpcDisasmRecord& record, std::string_view name, std::uint32_t mask,
                 std::uint32_t value) {
  if ((record.word & mask) != value) return mark_undecodable(record);
  record.mnemonic = name;
}

PaddedText imm16_text(std::int32_t value, bool always_hex, bool is_signed) {
  if (!always_hex && value >= -256 && value <= 256)
    return kImmDecimals[static_cast<std::size_t>(value + 256)];
  // Random words take either sign equally often: the sign picks by selection, not by a branch.
  const bool negative = is_signed && (value & 0x8000) != 0;
  const std::uint32_t bits = static_cast<std::uint32_t>(value);
  const std::uint32_t magnitude = (negative ? 0u - bits : bits) & 0xFFFFu;
  return HexImmediate(magnitude, negative, 4);
}

void append_imm16(FixedText<64>& operands, std::int32_t value, bool always_hex, bool is_signed) {
  operands.append(imm16_text(value, always_hex, is_signed));
}

void append_offset12(FixedText<64>& operands, std::uint32_t value) {
  value &= 0xFFFu;
  if (value <= 128) {
    operands.append(kSmallDecimals[value]);
  } else if ((value & 0x800u) != 0) {
    operands.append(HexImmediate((~value & 0xFFFu) + 1u, true, 3));
  } else {
    operands.append(HexImmediate(value, false, 3));
  }
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

void ppc_disassemble(PpcDisasmRecord* record) {
  if (record == nullptr) return;
  PpcDisasmRecord& r = *record;
  mark_undecodable(r);
  const std::uint32_t primary = r.word >> 26;
  switch (primary) {
    case 3:
      return decode_trap_immediate(r);
    case 4:
      return decode_paired_group(r);
    case 7:
    case 8:
    case 12:
    case 13:
    case 14:
    case 15:
    case 24:
    case 25:
    case 26:
    case 27:
    case 28:
    case 29:
      return decode_integer_immediate(r, primary);
    case 10:
      return decode_compare(r, true, true);
    case 11:
      return decode_compare(r, false, true);
    case 16:
      return decode_branch_conditional(r);
    case 17:
      return match_exact(r, "sc", 0x3FFFFFF, 2);
    case 18:
      return decode_branch(r);
    case 19:
      return decode_group19(r);
    case 20:
    case 21:
    case 23:
      return decode_rotate(r, primary);
    case 31:
      return decode_group31(r);
    case 56:
    case 57:
    case 60:
    case 61:
      return decode_quantized(r, primary);
    case 59:
      return decode_group59(r);
    case 63:
      return decode_group63(r);
    default:
      if (primary >= 32 && primary <= 55) return decode_load_store(r, primary);
      return;  // 0, 1, 2, 5, 6, 9, 22, 30, 58, 62: no instruction
  }
}

}  // namespace zemlo
