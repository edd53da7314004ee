#include <array>

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

void append_gpr(FixedText<64>& text, std::uint32_t reg) {
  text.append(gpr_names[reg & 31]);
}

void append_fpr(FixedText<64>& text, std::uint32_t reg) {
  text.append("fr");
  text.append_decimal(reg);
}

void append_crf(FixedText<64>& text, std::uint32_t crf) {
  text.append("cr");
  text.append_decimal(crf);
}

void mark_undecodable(PpcDisasmRecord& record) {
  record.mnemonic.clear();
  record.operands.clear();
}

void match_exact(PpcDisasmRecord& record, std::string_view name, std::uint32_t mask,
                 std::uint32_t value) {
  if ((record.word & mask) != value) return mark_undecodable(record);
  record.mnemonic = name;
}

ImmText format_imm16(std::int32_t value, bool always_hex, bool is_signed) {
  ImmText text;
  if (!always_hex && value >= -256 && value <= 256) {
    text.append_decimal(value);
  } else if (is_signed && (value & 0x8000) != 0) {
    text.append("-0x");
    text.append_hex((~static_cast<std::uint32_t>(value) & 0xFFFFu) + 1u, 4);
  } else {
    text.append("0x");
    text.append_hex(static_cast<std::uint32_t>(value) & 0xFFFFu, 4);
  }
  return text;
}

ImmText format_offset12(std::uint32_t value) {
  value &= 0xFFFu;
  ImmText text;
  if (value <= 128) {
    text.append_decimal(value);
  } else if ((value & 0x800u) != 0) {
    text.append("-0x");
    text.append_hex((~value & 0xFFFu) + 1u, 3);
  } else {
    text.append("0x");
    text.append_hex(value, 3);
  }
  return text;
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
    ops.append(format_imm16(value, (flags & kAlwaysHex) != 0, is_signed));
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
