// Group 31: integer register arithmetic and logic, indexed loads and stores, cache control,
// system and special-register instructions. The key is bits 0-10 (extended opcode and Rc), so
// every "." variant is an entry of its own.

#include <array>

#include "disasm/ppc_fields.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

enum class Kind : std::uint8_t {
  kArith3,        // form X rD, rA, rB
  kArith2,        // form X rD, rA; rB must be zero
  kLogic3,        // form Z rA, rS, rB
  kLogic2,        // form S rA, rS; rB must be zero
  kIndexed,       // form X rD, rA, rB
  kIndexedFloat,  // form F frD, rA, rB
  kCache,         // rA, rB; rD must be zero
  kCmp,
  kCmpl,
  kTw,
  kMfcr,
  kMfmsr,
  kMtmsr,
  kMtcrf,
  kMtsr,
  kMfsr,
  kMtsrin,
  kMfsrin,
  kTlbie,
  kMfspr,
  kMtspr,
  kMftb,
  kMcrxr,
  kSync,
  kStringImm,
  kSrawi,
};

enum class Rc : std::uint8_t { kClearOnly, kBoth, kSetOnly };

struct Entry {
  std::uint16_t xo;  // bits 1-10
  std::string_view name;
  Kind kind;
  Rc rc = Rc::kClearOnly;
};

constexpr Entry kGroup31[] = {
    // form X, rD, rA, rB; both
    {8, "subfc", Kind::kArith3, Rc::kBoth},
    {10, "addc", Kind::kArith3, Rc::kBoth},
    {11, "mulhwu", Kind::kArith3, Rc::kBoth},
    {40, "subf", Kind::kArith3, Rc::kBoth},
    {75, "mulhw", Kind::kArith3, Rc::kBoth},
    {136, "subfe", Kind::kArith3, Rc::kBoth},
    {138, "adde", Kind::kArith3, Rc::kBoth},
    {235, "mullw", Kind::kArith3, Rc::kBoth},
    {266, "add", Kind::kArith3, Rc::kBoth},
    {459, "divwu", Kind::kArith3, Rc::kBoth},
    {491, "divw", Kind::kArith3, Rc::kBoth},
    {520, "subfco", Kind::kArith3, Rc::kBoth},
    {522, "addco", Kind::kArith3, Rc::kBoth},
    {552, "subfo", Kind::kArith3, Rc::kBoth},
    {648, "subfeo", Kind::kArith3, Rc::kBoth},
    {650, "addeo", Kind::kArith3, Rc::kBoth},
    {747, "mullwo", Kind::kArith3, Rc::kBoth},
    {778, "addo", Kind::kArith3, Rc::kBoth},
    {971, "divwuo", Kind::kArith3, Rc::kBoth},
    {1003, "divwo", Kind::kArith3, Rc::kBoth},
    // form X, rD, rA; rB must be zero; both
    {104, "neg", Kind::kArith2, Rc::kBoth},
    {200, "subfze", Kind::kArith2, Rc::kBoth},
    {202, "addze", Kind::kArith2, Rc::kBoth},
    {232, "subfme", Kind::kArith2, Rc::kBoth},
    {234, "addme", Kind::kArith2, Rc::kBoth},
    {616, "nego", Kind::kArith2, Rc::kBoth},
    {712, "subfzeo", Kind::kArith2, Rc::kBoth},
    {714, "addzeo", Kind::kArith2, Rc::kBoth},
    {744, "subfmeo", Kind::kArith2, Rc::kBoth},
    {746, "addmeo", Kind::kArith2, Rc::kBoth},
    // form Z, rA, rS, rB; both
    {24, "slw", Kind::kLogic3, Rc::kBoth},
    {28, "and", Kind::kLogic3, Rc::kBoth},
    {60, "andc", Kind::kLogic3, Rc::kBoth},
    {124, "nor", Kind::kLogic3, Rc::kBoth},
    {284, "eqv", Kind::kLogic3, Rc::kBoth},
    {316, "xor", Kind::kLogic3, Rc::kBoth},
    {412, "orc", Kind::kLogic3, Rc::kBoth},
    {444, "or", Kind::kLogic3, Rc::kBoth},
    {476, "nand", Kind::kLogic3, Rc::kBoth},
    {536, "srw", Kind::kLogic3, Rc::kBoth},
    {792, "sraw", Kind::kLogic3, Rc::kBoth},
    // form S, rA, rS; rB must be zero; both
    {26, "cntlzw", Kind::kLogic2, Rc::kBoth},
    {922, "extsh", Kind::kLogic2, Rc::kBoth},
    {954, "extsb", Kind::kLogic2, Rc::kBoth},
    // form X, rD, rA, rB (loads and stores)
    {20, "lwarx", Kind::kIndexed},
    {23, "lwzx", Kind::kIndexed},
    {55, "lwzux", Kind::kIndexed},
    {87, "lbzx", Kind::kIndexed},
    {119, "lbzux", Kind::kIndexed},
    {151, "stwx", Kind::kIndexed},
    {183, "stwux", Kind::kIndexed},
    {215, "stbx", Kind::kIndexed},
    {247, "stbux", Kind::kIndexed},
    {279, "lhzx", Kind::kIndexed},
    {311, "lhzux", Kind::kIndexed},
    {343, "lhax", Kind::kIndexed},
    {375, "lhaux", Kind::kIndexed},
    {407, "sthx", Kind::kIndexed},
    {439, "sthux", Kind::kIndexed},
    {533, "lswx", Kind::kIndexed},
    {534, "lwbrx", Kind::kIndexed},
    {661, "stswx", Kind::kIndexed},
    {662, "stwbrx", Kind::kIndexed},
    {790, "lhbrx", Kind::kIndexed},
    {918, "sthbrx", Kind::kIndexed},
    {150, "stwcx.", Kind::kIndexed, Rc::kSetOnly},
    // form F, frD, rA, rB
    {535, "lfsx", Kind::kIndexedFloat},
    {567, "lfsux", Kind::kIndexedFloat},
    {599, "lfdx", Kind::kIndexedFloat},
    {631, "lfdux", Kind::kIndexedFloat},
    {663, "stfsx", Kind::kIndexedFloat},
    {695, "stfsux", Kind::kIndexedFloat},
    {727, "stfdx", Kind::kIndexedFloat},
    {759, "stfdux", Kind::kIndexedFloat},
    {983, "stfiwx", Kind::kIndexedFloat},
    // cache, rA, rB; rD must be zero
    {54, "dcbst", Kind::kCache},
    {86, "dcbf", Kind::kCache},
    {246, "dcbtst", Kind::kCache},
    {278, "dcbt", Kind::kCache},
    {470, "dcbi", Kind::kCache},
    {982, "icbi", Kind::kCache},
    {1014, "dcbz", Kind::kCache},
    // handled one by one
    {0, "cmpw", Kind::kCmp},
    {4, "tw", Kind::kTw},
    {19, "mfcr", Kind::kMfcr},
    {32, "cmplw", Kind::kCmpl},
    {83, "mfmsr", Kind::kMfmsr},
    {144, "mtcrf", Kind::kMtcrf},
    {146, "mtmsr", Kind::kMtmsr},
    {210, "mtsr", Kind::kMtsr},
    {242, "mtsrin", Kind::kMtsrin},
    {306, "tlbie", Kind::kTlbie},
    {310, "eciwx", Kind::kIndexed},
    {339, "mfspr", Kind::kMfspr},
    {371, "mftb", Kind::kMftb},
    {438, "ecowx", Kind::kIndexed},
    {467, "mtspr", Kind::kMtspr},
    {512, "mcrxr", Kind::kMcrxr},
    {566, "tlbsync", Kind::kSync},
    {595, "mfsr", Kind::kMfsr},
    {597, "lswi", Kind::kStringImm},
    {598, "sync", Kind::kSync},
    {659, "mfsrin", Kind::kMfsrin},
    {725, "stswi", Kind::kStringImm},
    {824, "srawi", Kind::kSrawi, Rc::kBoth},
    {854, "eieio", Kind::kSync},
};
static_assert(std::size(kGroup31) < 255);

// Key (bits 0-10) -> 1 + index into kGroup31, 0 for no instruction.
constexpr auto kGroup31Index = [] {
  std::array<std::uint8_t, 2048> index{};
  std::uint8_t i = 0;
  for (const Entry& e : kGroup31) {
    ++i;
    const unsigned key = static_cast<unsigned>(e.xo) << 1;
    if (e.rc != Rc::kSetOnly) index[key] = i;
    if (e.rc != Rc::kClearOnly) index[key | 1u] = i;
  }
  return index;
}();

// Name of a variant: the entry's name, plus "." for the Rc = 1 variant of a "both" entry.
FixedText<16> variant_name(const Entry& e, std::uint32_t word) {
  FixedText<16> name = e.name;
  if (e.rc == Rc::kBoth && rc_bit(word)) name.append('.');
  return name;
}

void decode_special_register(PpcDisasmRecord& r, bool move_to) {
  const std::uint32_t w = r.word;
  const std::uint32_t spr = (field_rb(w) << 5) | field_ra(w);
  const std::uint32_t reg = field_rd(w);
  const char direction = move_to ? 't' : 'f';
  if (spr == 1 || spr == 8 || spr == 9) {
    r.mnemonic = "m";
    r.mnemonic.append(direction);
    r.mnemonic.append(spr == 1 ? "xer" : spr == 8 ? "lr" : "ctr");
    append_gpr(r.operands, reg);
    return;
  }
  r.mnemonic = move_to ? "mtspr" : "mfspr";
  FixedText<16> spr_text = spr_name(spr);
  if (spr_text.empty()) spr_text.append_decimal(spr);
  if (move_to) {
    r.operands.append(spr_text);
    append_separator(r.operands);
    append_gpr(r.operands, reg);
  } else {
    append_gpr(r.operands, reg);
    append_separator(r.operands);
    r.operands.append(spr_text);
  }
}

void decode_time_base(PpcDisasmRecord& r) {
  const std::uint32_t w = r.word;
  const std::uint32_t tbr = (field_rb(w) << 5) | field_ra(w);
  r.mnemonic = tbr == 268 ? "mftbl" : tbr == 269 ? "mftbu" : "mftb";
  append_gpr(r.operands, field_rd(w));
  if (tbr == 268 || tbr == 269) return;
  append_separator(r.operands);
  r.operands.append_decimal(tbr);
}

// "name reg" after testing the must-be-zero mask.
void register_only(PpcDisasmRecord& r, std::string_view name, std::uint32_t must_be_zero,
                   std::uint32_t reg) {
  if ((r.word & must_be_zero) != 0) return mark_undecodable(r);
  r.mnemonic = name;
  append_gpr(r.operands, reg);
}

}  // namespace

void decode_cache(PpcDisasmRecord& r, std::string_view name) {
  if (field_rd(r.word) != 0) return mark_undecodable(r);
  emit_operands(r, name, OperandForm::X, kShowSecond | kShowThird);
}

void decode_group31(PpcDisasmRecord& r) {
  const std::uint32_t w = r.word;
  const std::uint8_t slot = kGroup31Index[w & 0x7FFu];
  if (slot == 0) return;
  const Entry& e = kGroup31[slot - 1];
  const FixedText<16> name = variant_name(e, w);
  FixedText<64>& ops = r.operands;
  constexpr std::uint32_t kRbMask = 0x1Fu << 11;
  switch (e.kind) {
    case Kind::kArith3:
      return emit_operands(r, name.view(), OperandForm::X, kShowAll);
    case Kind::kArith2:
      if (w & kRbMask) return mark_undecodable(r);
      return emit_operands(r, name.view(), OperandForm::X, kShowFirst | kShowSecond);
    case Kind::kLogic3:
      if (e.xo == 124 && !rc_bit(w) && field_rd(w) == field_rb(w)) {
        return emit_operands(r, "not", OperandForm::Z, kShowFirst | kShowSecond);
      }
      return emit_operands(r, name.view(), OperandForm::Z, kShowAll);
    case Kind::kLogic2:
      if (w & kRbMask) return mark_undecodable(r);
      return emit_operands(r, name.view(), OperandForm::S, kShowFirst | kShowSecond);
    case Kind::kIndexed:
      return emit_operands(r, name.view(), OperandForm::X, kShowAll);
    case Kind::kIndexedFloat:
      return emit_operands(r, name.view(), OperandForm::F, kShowAll);
    case Kind::kCache:
      return decode_cache(r, name.view());
    case Kind::kCmp:
      return decode_compare(r, false, false);
    case Kind::kCmpl:
      return decode_compare(r, true, false);
    case Kind::kTw:
      return decode_trap_register(r);
    case Kind::kMfcr:
      return register_only(r, name.view(), kRbMask, field_rd(w));
    case Kind::kMfmsr:
      return register_only(r, name.view(), 0x1FF800, field_rd(w));
    case Kind::kMtmsr:
      return register_only(r, name.view(), 0x1FF800, field_rd(w));
    case Kind::kTlbie:
      return register_only(r, name.view(), 0x3FF0000, field_rb(w));
    case Kind::kMtcrf: {
      const std::uint32_t crm = field(w, 12, 8);
      if (crm == 0xFF) {
        r.mnemonic = "mtcr";
      } else {
        r.mnemonic = name;
        ops.append("0x");
        ops.append_hex(crm, 2);
        append_separator(ops);
      }
      append_gpr(ops, field_rd(w));
      return;
    }
    case Kind::kMcrxr:
      if (w & 0x7FF800u) return mark_undecodable(r);
      r.mnemonic = name;
      append_crf(ops, field_crfd(w));
      return;
    case Kind::kMtsr:
    case Kind::kMfsr: {
      if (w & 0x10F801u) return mark_undecodable(r);
      const std::uint32_t sr = field(w, 16, 4);
      r.mnemonic = name;
      if (e.kind == Kind::kMtsr) {
        ops.append_decimal(sr);
        append_separator(ops);
        append_gpr(ops, field_rd(w));
      } else {
        append_gpr(ops, field_rd(w));
        append_separator(ops);
        ops.append_decimal(sr);
      }
      return;
    }
    case Kind::kMtsrin:
    case Kind::kMfsrin:
      if (w & 0x1F0001u) return mark_undecodable(r);
      r.mnemonic = name;
      append_gpr(ops, field_rd(w));
      append_separator(ops);
      append_gpr(ops, field_rb(w));
      return;
    case Kind::kMfspr:
      return decode_special_register(r, false);
    case Kind::kMtspr:
      return decode_special_register(r, true);
    case Kind::kMftb:
      return decode_time_base(r);
    case Kind::kSync:
      return match_exact(r, name.view(), 0x3FFF800, 0);
    case Kind::kStringImm:
      r.mnemonic = name;
      append_gpr(ops, field_rd(w));
      append_separator(ops);
      append_gpr(ops, field_ra(w));
      append_separator(ops);
      ops.append_decimal(field_rb(w));  // NB
      return;
    case Kind::kSrawi:
      r.mnemonic = name;
      append_gpr(ops, field_ra(w));
      append_separator(ops);
      append_gpr(ops, field_rd(w));
      append_separator(ops);
      ops.append_decimal(field_rb(w));  // SH
      return;
  }
}

}  // namespace zemlo
