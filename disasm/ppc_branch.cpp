// Branches and the group-19 instructions (condition-register logic, mcrf, rfi, isync).

#include <array>

#include "disasm/ppc_fields.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

constexpr std::uint64_t branch_target(const PpcDisasmRecord& r, std::int64_t displacement) {
  const bool absolute = (r.word & 2u) != 0;
  return absolute ? static_cast<std::uint64_t>(displacement)
                  : r.address + static_cast<std::uint64_t>(displacement);
}

// BO bits by value.
constexpr std::uint32_t kBoAlways = 16;      // ignore the condition
constexpr std::uint32_t kBoIfTrue = 8;       // branch if the bit is set
constexpr std::uint32_t kBoNoDecrement = 4;  // leave CTR alone
constexpr std::uint32_t kBoReservedZ = 2;    // must be clear in the conditional forms
constexpr std::uint32_t kBoHint = 1;         // y: reverses the static prediction

// One routine for bc, bclr and bcctr. `kind` is "" (bc), "lr" or "ctr"; `target` is only
// meaningful for bc.
void decode_conditional(PpcDisasmRecord& r, std::string_view kind, bool has_target, bool backward,
                        std::uint64_t target) {
  const std::uint32_t w = r.word;
  const std::uint32_t bo = field_rd(w);
  const std::uint32_t bi = field_ra(w);
  const std::string_view suffix = branch_suffixes[has_target ? (w & 3u) : (w & 1u)];
  const char hint = ((bo & kBoHint) != 0) != backward ? '+' : '-';
  FixedText<16>& mn = r.mnemonic;
  FixedText<64>& ops = r.operands;
  bool wrote_field = false;
  if (bo & kBoNoDecrement) {
    if (bo & kBoAlways) {
      mn = "b";
      mn.append(kind);
      mn.append(suffix);
      if (has_target) append_target(ops, target, false);
      return;
    }
    if (bo & kBoReservedZ) return mark_undecodable(r);
    mn = "b";
    mn.append(branch_conditions[((bo & kBoIfTrue) ? 4u : 0u) | (bi & 3u)]);
    mn.append(kind);
    mn.append(suffix);
    mn.append(hint);
    if (bi >= 4) {
      append_crf(ops, bi >> 2);
      wrote_field = true;
    }
  } else {
    if (kind == "ctr") return mark_undecodable(r);  // bcctr cannot decrement its own target
    const std::string_view condition = ctr_conditions[bo >> 1];
    if (condition.empty()) {
      mn = "bc";
      mn.append(kind);
      mn.append(suffix);
      ops.append_decimal(bo);
      append_separator(ops);
      ops.append_decimal(bi);
      wrote_field = true;
    } else {
      mn = "b";
      mn.append(condition);
      mn.append(kind);
      mn.append(suffix);
      mn.append(hint);
      if ((bo & kBoAlways) == 0) {
        ops.append_decimal(bi);
        wrote_field = true;
      }
    }
  }
  if (has_target) append_target(ops, target, wrote_field);
}

enum class Group19Kind : std::uint8_t { kNone, kCrLogic, kMcrf, kExact, kBranchLr, kBranchCtr };

// When a condition-register operation prints its short form.
enum class CrShort : std::uint8_t {
  kNever,
  kSameSources,  // crbA == crbB: "name crbD, crbA"
  kAllSame,      // crbD == crbA == crbB: "name crbD"
};

struct Group19Entry {
  std::uint16_t xo;  // bits 1-10
  Group19Kind kind;
  std::string_view name;  // after "cr" for the logic entries
  CrShort short_when = CrShort::kNever;
  std::string_view short_name = {};
};

constexpr Group19Entry kGroup19[] = {
    {0, Group19Kind::kMcrf, "mcrf"},
    {16, Group19Kind::kBranchLr, "lr"},
    {33, Group19Kind::kCrLogic, "nor", CrShort::kSameSources, "crnot"},
    {50, Group19Kind::kExact, "rfi"},
    {129, Group19Kind::kCrLogic, "andc"},
    {150, Group19Kind::kExact, "isync"},
    {193, Group19Kind::kCrLogic, "xor", CrShort::kAllSame, "crclr"},
    {225, Group19Kind::kCrLogic, "nand"},
    {257, Group19Kind::kCrLogic, "and"},
    {289, Group19Kind::kCrLogic, "eqv", CrShort::kAllSame, "crset"},
    {417, Group19Kind::kCrLogic, "orc"},
    {449, Group19Kind::kCrLogic, "or", CrShort::kSameSources, "crmove"},
    {528, Group19Kind::kBranchCtr, "ctr"},
};

constexpr auto kGroup19Index = [] {
  std::array<std::uint8_t, 1024> index{};
  std::uint8_t i = 0;
  for (const Group19Entry& e : kGroup19) index[e.xo] = ++i;
  return index;
}();

void decode_cr_logic(PpcDisasmRecord& r, const Group19Entry& e) {
  const std::uint32_t w = r.word;
  if (rc_bit(w)) return mark_undecodable(r);
  const std::uint32_t d = field_rd(w), a = field_ra(w), b = field_rb(w);
  FixedText<64>& ops = r.operands;
  if (e.short_when != CrShort::kNever && a == b &&
      (e.short_when == CrShort::kSameSources || d == a)) {
    r.mnemonic = e.short_name;
    ops.append_decimal(d);
    if (e.short_when == CrShort::kSameSources) {
      append_separator(ops);
      ops.append_decimal(a);
    }
    return;
  }
  r.mnemonic = "cr";
  r.mnemonic.append(e.name);
  ops.append_decimal(d);
  append_separator(ops);
  ops.append_decimal(a);
  append_separator(ops);
  ops.append_decimal(b);
}

}  // namespace

void decode_branch(PpcDisasmRecord& r) {
  // LI: bits 2-25, sign-extended from bit 25.
  const std::int64_t displacement = static_cast<std::int32_t>((r.word & 0x03FFFFFCu) << 6) >> 6;
  r.mnemonic = "b";
  r.mnemonic.append(branch_suffixes[r.word & 3u]);
  append_target(r.operands, branch_target(r, displacement), false);
}

void decode_branch_conditional(PpcDisasmRecord& r) {
  const std::int64_t displacement = static_cast<std::int16_t>(r.word & 0xFFFCu);
  decode_conditional(r, "", true, displacement < 0, branch_target(r, displacement));
}

void decode_branch_register(PpcDisasmRecord& r, bool to_ctr) {
  if (field_rb(r.word) != 0) return mark_undecodable(r);
  decode_conditional(r, to_ctr ? "ctr" : "lr", false, false, 0);
}

void decode_group19(PpcDisasmRecord& r) {
  const std::uint8_t slot = kGroup19Index[field(r.word, 1, 10)];
  if (slot == 0) return;
  const Group19Entry& e = kGroup19[slot - 1];
  switch (e.kind) {
    case Group19Kind::kCrLogic:
      return decode_cr_logic(r, e);
    case Group19Kind::kMcrf:
      if ((r.word & 0x63F801u) != 0) return mark_undecodable(r);
      r.mnemonic = e.name;
      append_crf(r.operands, field_crfd(r.word));
      append_separator(r.operands);
      append_crf(r.operands, field(r.word, 18, 3));
      return;
    case Group19Kind::kExact:
      return match_exact(r, e.name, 0x3FFF801, 0);
    case Group19Kind::kBranchLr:
      return decode_branch_register(r, false);
    case Group19Kind::kBranchCtr:
      return decode_branch_register(r, true);
    case Group19Kind::kNone:
      return;
  }
}

}  // namespace zemlo
