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
constexpr PaddedText kCloseBase = padded(")");
// The data register by (float ? 32 : 0) + number: an index, not a branch, as random words make
// any branch on the opcode a coin toss.
constexpr auto kLoadStoreDataNames = [] {
  std::array<PaddedText, 64> names{};
  for (std::size_t i = 0; i < 32; ++i) {
    names[i] = kGprNames[i];
    names[32 + i] = kFprNames[i];
  }
  return names;
}();

// Primary opcodes 7-29 with a register pair and a 16-bit immediate. The add family (12-15)
// shows a negative immediate as the magnitude under a "sub" name.
enum class ImmediateKind : std::uint8_t { kNone, kSigned, kMagnitude, kHex };
struct ImmediateForm {
  PaddedText names[2];  // by immediate < 0; the same name twice outside the add family
  ImmediateKind kind = ImmediateKind::kNone;
  bool source_first = false;  // rA, rS instead of rD, rA
};
constexpr ImmediateForm immediate_form(std::string_view name, ImmediateKind kind, bool source_first,
                                       std::string_view negative_name = {}) {
  return {{padded(name), padded(negative_name.empty() ? name : negative_name)}, kind, source_first};
}
constexpr std::uint32_t kFirstImmediate = 7;
constexpr auto kImmediateForms = [] {
  std::array<ImmediateForm, 23> forms{};
  using enum ImmediateKind;
  forms[7 - kFirstImmediate] = immediate_form("mulli", kSigned, false);
  forms[8 - kFirstImmediate] = immediate_form("subfic", kSigned, false);
  forms[12 - kFirstImmediate] = immediate_form("addic", kMagnitude, false, "subic");
  forms[13 - kFirstImmediate] = immediate_form("addic.", kMagnitude, false, "subic.");
  forms[14 - kFirstImmediate] = immediate_form("addi", kMagnitude, false, "subi");
  forms[15 - kFirstImmediate] = immediate_form("addis", kMagnitude, false, "subis");
  forms[24 - kFirstImmediate] = immediate_form("ori", kHex, true);
  forms[25 - kFirstImmediate] = immediate_form("oris", kHex, true);
  forms[26 - kFirstImmediate] = immediate_form("xori", kHex, true);
  forms[27 - kFirstImmediate] = immediate_form("xoris", kHex, true);
  forms[28 - kFirstImmediate] = immediate_form("andi.", kHex, true);
  forms[29 - kFirstImmediate] = immediate_form("andis.", kHex, true);
  return forms;
}();

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
  if (w == 0x60000000) {  // ori r0, r0, 0
    r.mnemonic = "nop";
    return;
  }
  if ((primary == 14 || primary == 15) && field_ra(w) == 0) {  // rA 0 reads as the constant 0
    if (primary == 14)
      return emit_operands(r, "li", OperandForm::D, kIsSigned | kWithImm | kShowFirst);
    return emit_operands(r, "lis", OperandForm::D, kAlwaysHex | kWithImm | kShowFirst);
  }
  const ImmediateForm& form = kImmediateForms[primary - kFirstImmediate];
  const std::int32_t value = simm16(w);
  const bool negative = value < 0;
  r.mnemonic = form.names[negative && form.kind == ImmediateKind::kMagnitude];
  // Selections rather than branches on the kind: the opcodes of random words mix at random.
  const std::int32_t shown = form.kind == ImmediateKind::kHex         ? value & 0xFFFF
                             : form.kind == ImmediateKind::kMagnitude ? (negative ? -value : value)
                                                                      : value;
  const std::uint32_t first = form.source_first ? field_ra(w) : field_rd(w);
  const std::uint32_t second = form.source_first ? field_rd(w) : field_ra(w);
  // The magnitude of a negative add runs up to 32768, which needs the unsigned reading.
  r.operands.append_all(
      kGprNames[first], kSeparator, kGprNames[second], kSeparator,
      imm16_text(shown, form.kind == ImmediateKind::kHex, form.kind == ImmediateKind::kSigned));
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
  static constexpr PaddedText kNames[] = {padded("rlwimi"),  padded("rlwimi."), padded("rlwinm"),
                                          padded("rlwinm."), padded("rlwnm"),   padded("rlwnm.")};
  const std::uint32_t w = r.word;
  const bool by_register = primary == 23;
  r.mnemonic = kNames[(primary - 20 - by_register) * 2 + rc_bit(w)];
  // The shift is a register for rlwnm and a count (SH) otherwise; then MB and ME.
  const std::uint32_t shift = field_rb(w);
  r.operands.append_all(kGprNames[field_ra(w)], kSeparator, kGprNames[field_rd(w)], kSeparator,
                        by_register ? kGprNames[shift] : kSmallDecimals[shift]);
  r.operands.append_all(kSeparator, kSmallDecimals[field_rc(w)], kSeparator,
                        kSmallDecimals[field(w, 1, 5)]);
}

void decode_load_store(PpcDisasmRecord& r, std::uint32_t primary) {
  const std::uint32_t w = r.word;
  r.mnemonic = kLoadStoreNames[primary - 32];
  r.operands.append_all(
      kLoadStoreDataNames[(primary >= kFirstFloatLoadStore ? 32 : 0) + field_rd(w)], kSeparator,
      imm16_text(simm16(w), false, true), kOpenBase, kGprNames[field_ra(w)], kCloseBase);
}

}  // namespace zemlo
