// Integer immediates, compares, traps, rotates and the D-form loads and stores.

#include <array>

#include "disasm/ppc_fields.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

constexpr std::uint32_t kTrapWord = 0x7FE00008;  // tw 31, r0, r0

// Mnemonics of primary opcodes 32-55, the most frequent family.
constexpr std::array<PaddedText, 24> kLoadStoreNames = {
    padded("lwz"),  padded("lwzu"),  padded("lbz"),  padded("lbzu"), padded("stw"),
    padded("stwu"), padded("stb"),   padded("stbu"), padded("lhz"),  padded("lhzu"),
    padded("lha"),  padded("lhau"),  padded("sth"),  padded("sthu"), padded("lmw"),
    padded("stmw"), padded("lfs"),   padded("lfsu"), padded("lfd"),  padded("lfdu"),
    padded("stfs"), padded("stfsu"), padded("stfd"), padded("stfdu")};
constexpr std::uint32_t kFirstFloatLoadStore = 48;
constexpr PaddedText kOpenBase = padded(" (");

// The shared part of tw and twi: named condition or the generic form with TO in decimal.
void begin_trap(PpcDisasmRecord& r, bool immediate) {
  const std::uint32_t to = field_rd(r.word);
  const std::string_view condition = trap_conditions[to];
  r.mnemonic = "tw";
  if (!condition.empty()) {
    r.mnemonic.append(condition);
  } else {
    r.operands.append_decimal(to);
    append_separator(r.operands);
  }
  if (immediate) r.mnemonic.append('i');
  append_gpr(r.operands, field_ra(r.word));
  append_separator(r.operands);
}

}  // namespace

void decode_trap_immediate(PpcDisasmRecord& r) {
  begin_trap(r, true);
  // Only the ordered (lt/gt) conditions read the immediate as signed; the value is
  // sign-extended either way, so small negative ones still print in decimal.
  const bool is_signed = (field_rd(r.word) & (16 | 8)) != 0;
  append_imm16(r.operands, simm16(r.word), false, is_signed);
}

void decode_trap_register(PpcDisasmRecord& r) {
  if (r.word == kTrapWord) {
    r.mnemonic = "trap";
    return;
  }
  begin_trap(r, false);
  append_gpr(r.operands, field_rb(r.word));
}

void decode_integer_immediate(PpcDisasmRecord& r, std::uint32_t primary) {
  const std::uint32_t w = r.word;
  switch (primary) {
    case 7:
      return emit_operands(r, "mulli", OperandForm::D,
                           kIsSigned | kWithImm | kShowFirst | kShowSecond);
    case 8:
      return emit_operands(r, "subfic", OperandForm::D,
                           kIsSigned | kWithImm | kShowFirst | kShowSecond);
    case 24:
      if (w == 0x60000000) {
        r.mnemonic = "nop";
        return;
      }
      return emit_operands(r, "ori", OperandForm::S,
                           kAlwaysHex | kWithImm | kShowFirst | kShowSecond);
    case 25:
      return emit_operands(r, "oris", OperandForm::S,
                           kAlwaysHex | kWithImm | kShowFirst | kShowSecond);
    case 26:
      return emit_operands(r, "xori", OperandForm::S,
                           kAlwaysHex | kWithImm | kShowFirst | kShowSecond);
    case 27:
      return emit_operands(r, "xoris", OperandForm::S,
                           kAlwaysHex | kWithImm | kShowFirst | kShowSecond);
    case 28:
      return emit_operands(r, "andi.", OperandForm::S,
                           kAlwaysHex | kWithImm | kShowFirst | kShowSecond);
    case 29:
      return emit_operands(r, "andis.", OperandForm::S,
                           kAlwaysHex | kWithImm | kShowFirst | kShowSecond);
    default:
      break;
  }
  // The add-immediate family: 12 addic, 13 addic., 14 addi, 15 addis.
  const std::string_view suffix = primary == 12   ? "c"
                                  : primary == 13 ? "c."
                                  : primary == 15 ? "s"
                                                  : "";
  const bool loads_constant = (primary == 14 || primary == 15) && field_ra(w) == 0;
  if (loads_constant) {
    if (primary == 14)
      return emit_operands(r, "li", OperandForm::D, kIsSigned | kWithImm | kShowFirst);
    return emit_operands(r, "lis", OperandForm::D, kAlwaysHex | kWithImm | kShowFirst);
  }
  const std::int32_t value = simm16(w);
  FixedText<16> name = value < 0 ? "subi" : "addi";
  name.append(suffix);
  emit_operands(r, name.view(), OperandForm::D, kShowFirst | kShowSecond);
  append_separator(r.operands);
  // The magnitude of a negative value runs up to 32768, which needs the unsigned reading.
  const std::int32_t shown = value < 0 ? -value : value;
  append_imm16(r.operands, shown, false, false);
}

void decode_compare(PpcDisasmRecord& r, bool logical, bool immediate) {
  const std::uint32_t w = r.word;
  if ((w & (3u << 21)) != 0) return mark_undecodable(r);  // reserved bit and L (64-bit)
  FixedText<16> name = "cmp";
  if (logical) name.append('l');
  name.append('w');
  if (immediate) name.append('i');
  unsigned flags = field_crfd(w) != 0 ? kWithCrf : 0u;
  if (immediate) {
    flags |= kShowSecond | kWithImm | (logical ? 0u : kIsSigned);
    return emit_operands(r, name.view(), OperandForm::D, flags);
  }
  emit_operands(r, name.view(), OperandForm::X, flags | kShowSecond | kShowThird);
}

void decode_rotate(PpcDisasmRecord& r, std::uint32_t primary) {
  const std::uint32_t w = r.word;
  r.mnemonic = primary == 20 ? "rlwimi" : primary == 21 ? "rlwinm" : "rlwnm";
  if (rc_bit(w)) r.mnemonic.append('.');
  FixedText<64>& ops = r.operands;
  append_gpr(ops, field_ra(w));
  append_separator(ops);
  append_gpr(ops, field_rd(w));
  append_separator(ops);
  if (primary == 23) {
    append_gpr(ops, field_rb(w));
  } else {
    ops.append_decimal(field_rb(w));  // SH
  }
  append_separator(ops);
  ops.append_decimal(field_rc(w));  // MB
  append_separator(ops);
  ops.append_decimal(field(w, 1, 5));  // ME
}

void decode_load_store(PpcDisasmRecord& r, std::uint32_t primary) {
  const std::uint32_t w = r.word;
  r.mnemonic = kLoadStoreNames[primary - 32];
  FixedText<64>& ops = r.operands;
  if (primary >= kFirstFloatLoadStore) {
    append_fpr(ops, field_rd(w));
  } else {
    append_gpr(ops, field_rd(w));
  }
  append_separator(ops);
  append_imm16(ops, simm16(w), false, true);
  ops.append(kOpenBase);
  append_gpr(ops, field_ra(w));
  ops.append(')');
}

}  // namespace zemlo
