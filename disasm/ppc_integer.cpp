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
// Set in 48-55, the floating-point ones, and clear in 32-47.
constexpr std::uint32_t kFloatLoadStoreBit = 16;
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
// The operands are described by masks and shifts rather than by kinds: the compiler turns a
// choice between kinds into branches, which random words mispredict half of the time.
enum class ImmediateKind : std::uint8_t { kSigned, kMagnitude, kHex };
struct ImmediateForm {
  PaddedText names[2];          // by immediate < 0; the same name twice outside the add family
  std::int32_t negate = 0;      // -1: a negative immediate shows as its magnitude
  std::int32_t value_mask = 0;  // 0xFFFF: the immediate reads unsigned
  std::uint8_t first_shift = 21, second_shift = 16;  // rD, rA; rA, rS for the logical ones
  bool always_hex = false, is_signed = false;
};
constexpr ImmediateForm immediate_form(std::string_view name, ImmediateKind kind,
                                       std::string_view negative_name = {}) {
  const bool hex = kind == ImmediateKind::kHex;
  return {{padded(name), padded(negative_name.empty() ? name : negative_name)},
          kind == ImmediateKind::kMagnitude ? -1 : 0,
          hex ? 0xFFFF : -1,
          static_cast<std::uint8_t>(hex ? 16 : 21),
          static_cast<std::uint8_t>(hex ? 21 : 16),
          hex,
          kind == ImmediateKind::kSigned};
}
constexpr std::uint32_t kFirstImmediate = 7;
constexpr auto kImmediateForms = [] {
  std::array<ImmediateForm, 23> forms{};
  using enum ImmediateKind;
  forms[7 - kFirstImmediate] = immediate_form("mulli", kSigned);
  forms[8 - kFirstImmediate] = immediate_form("subfic", kSigned);
  forms[12 - kFirstImmediate] = immediate_form("addic", kMagnitude, "subic");
  forms[13 - kFirstImmediate] = immediate_form("addic.", kMagnitude, "subic.");
  forms[14 - kFirstImmediate] = immediate_form("addi", kMagnitude, "subi");
  forms[15 - kFirstImmediate] = immediate_form("addis", kMagnitude, "subis");
  forms[24 - kFirstImmediate] = immediate_form("ori", kHex);
  forms[25 - kFirstImmediate] = immediate_form("oris", kHex);
  forms[26 - kFirstImmediate] = immediate_form("xori", kHex);
  forms[27 - kFirstImmediate] = immediate_form("xoris", kHex);
  forms[28 - kFirstImmediate] = immediate_form("andi.", kHex);
  forms[29 - kFirstImmediate] = immediate_form("andis.", kHex);
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
  const std::int32_t negate = (value >> 31) & form.negate;  // -1 for a negative add
  r.mnemonic = form.names[negate & 1];
  // The magnitude of a negative add runs up to 32768, which needs the unsigned reading.
  const std::int32_t shown = ((value ^ negate) - negate) & form.value_mask;
  r.operands.append_all(kGprNames[(w >> form.first_shift) & 31], kSeparator,
                        kGprNames[(w >> form.second_shift) & 31], kSeparator,
                        imm16_text(shown, form.always_hex, form.is_signed));
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
  r.operands.append_all(kLoadStoreDataNames[(primary & kFloatLoadStoreBit) * 2 + field_rd(w)],
                        kSeparator, imm16_text(simm16(w), false, true), kOpenBase,
                        kGprNames[field_ra(w)], kCloseBase);
}

}  // namespace zemlo
