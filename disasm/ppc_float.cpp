// Groups 59 (single precision) and 63 (double precision and FPSCR).

#include <array>

#include "disasm/ppc_fields.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

constexpr std::uint32_t kFrA = 0x1F0000;
constexpr std::uint32_t kFrB = 0xF800;
constexpr std::uint32_t kFrC = 0x7C0;

struct ArithEntry {
  std::uint8_t xo;  // bits 1-5
  std::string_view name;
  std::uint8_t form;  // index into float_forms
  std::uint32_t must_be_zero;
};

// Group 59: the key is bits 1-5 with Rc, and every entry exists with both Rc values.
constexpr ArithEntry kGroup59[] = {
    {18, "fdivs", 1, kFrC},       {20, "fsubs", 1, kFrC}, {21, "fadds", 1, kFrC},
    {24, "fres", 2, kFrA | kFrC}, {25, "fmuls", 3, kFrB}, {28, "fmsubs", 4, 0},
    {29, "fmadds", 4, 0},         {30, "fnmsubs", 4, 0},  {31, "fnmadds", 4, 0},
};

constexpr auto kGroup59Index = [] {
  std::array<std::uint8_t, 32> index{};
  std::uint8_t i = 0;
  for (const ArithEntry& e : kGroup59) index[e.xo] = ++i;
  return index;
}();

enum class Kind63 : std::uint8_t { kArith, kCompare, kMcrfs, kMtfsb, kMtfsfi, kMtfsf };

constexpr std::uint8_t kAnySub = 0xFF;  // bits 6-10 are an operand (frC), not part of the key

struct Entry63 {
  std::uint8_t xo;   // bits 1-5
  std::uint8_t sub;  // bits 6-10, or kAnySub
  std::string_view name;
  Kind63 kind;
  std::uint8_t form;
  std::uint32_t must_be_zero;
  bool both;  // also exists with Rc set
};

constexpr Entry63 kGroup63[] = {
    {0, 0, "fcmpu", Kind63::kCompare, 0, 0x600001, false},
    {0, 1, "fcmpo", Kind63::kCompare, 0, 0x600001, false},
    {0, 2, "mcrfs", Kind63::kMcrfs, 0, 0x63F801, false},
    {6, 1, "mtfsb1", Kind63::kMtfsb, 0, 0x1FF800, true},
    {6, 2, "mtfsb0", Kind63::kMtfsb, 0, 0x1FF800, true},
    {6, 4, "mtfsfi", Kind63::kMtfsfi, 0, 0x7F0800, true},
    {7, 18, "mffs", Kind63::kArith, 5, 0x1FF800, true},
    {7, 22, "mtfsf", Kind63::kMtfsf, 0, 0x2010000, true},
    {8, 1, "fneg", Kind63::kArith, 2, kFrA, true},
    {8, 2, "fmr", Kind63::kArith, 2, kFrA, true},
    {8, 4, "fnabs", Kind63::kArith, 2, kFrA, true},
    {8, 8, "fabs", Kind63::kArith, 2, kFrA, true},
    {12, 0, "frsp", Kind63::kArith, 2, kFrA, true},
    {14, 0, "fctiw", Kind63::kArith, 2, kFrA, true},
    {15, 0, "fctiwz", Kind63::kArith, 2, kFrA, true},
    {18, kAnySub, "fdiv", Kind63::kArith, 1, kFrC, true},
    {20, kAnySub, "fsub", Kind63::kArith, 1, kFrC, true},
    {21, kAnySub, "fadd", Kind63::kArith, 1, kFrC, true},
    {23, kAnySub, "fsel", Kind63::kArith, 4, 0, true},
    {25, kAnySub, "fmul", Kind63::kArith, 3, kFrB, true},
    {26, kAnySub, "frsqrte", Kind63::kArith, 2, kFrA | kFrC, true},
    {28, kAnySub, "fmsub", Kind63::kArith, 4, 0, true},
    {29, kAnySub, "fmadd", Kind63::kArith, 4, 0, true},
    {30, kAnySub, "fnmsub", Kind63::kArith, 4, 0, true},
    {31, kAnySub, "fnmadd", Kind63::kArith, 4, 0, true},
};

// Key (bits 0-10: bits 1-5 and 6-10 and Rc) -> 1 + index into kGroup63.
constexpr auto kGroup63Index = [] {
  std::array<std::uint8_t, 2048> index{};
  std::uint8_t i = 0;
  for (const Entry63& e : kGroup63) {
    ++i;
    for (unsigned sub = 0; sub < 32; ++sub) {
      if (e.sub != kAnySub && e.sub != sub) continue;
      const unsigned key = (sub << 6) | (static_cast<unsigned>(e.xo) << 1);
      index[key] = i;
      if (e.both) index[key | 1u] = i;
    }
  }
  return index;
}();

}  // namespace

void decode_group59(PpcDisasmRecord& r) {
  const std::uint8_t slot = kGroup59Index[field(r.word, 1, 5)];
  if (slot == 0) return;
  const ArithEntry& e = kGroup59[slot - 1];
  emit_float(r, e.name, e.must_be_zero, e.form);
}

void decode_group63(PpcDisasmRecord& r) {
  const std::uint32_t w = r.word;
  const std::uint8_t slot = kGroup63Index[w & 0x7FFu];
  if (slot == 0) return;
  const Entry63& e = kGroup63[slot - 1];
  if (e.kind == Kind63::kArith) return emit_float(r, e.name, e.must_be_zero, e.form);
  if ((w & e.must_be_zero) != 0) return mark_undecodable(r);
  r.mnemonic = e.name;
  if (e.both && rc_bit(w)) r.mnemonic.append('.');
  FixedText<64>& ops = r.operands;
  switch (e.kind) {
    case Kind63::kCompare:  // the field prints as a bare number here, unlike everywhere else
      ops.append_decimal(field_crfd(w));
      append_separator(ops);
      append_fpr(ops, field_ra(w));
      append_separator(ops);
      append_fpr(ops, field_rb(w));
      return;
    case Kind63::kMcrfs:
      append_crf(ops, field_crfd(w));
      append_separator(ops);
      append_crf(ops, field(w, 18, 3));
      return;
    case Kind63::kMtfsb:
      ops.append_decimal(field_rd(w));
      return;
    case Kind63::kMtfsfi:
      append_crf(ops, field_crfd(w));
      append_separator(ops);
      ops.append_decimal(field(w, 12, 4));
      return;
    case Kind63::kMtfsf:
      ops.append("0x");
      ops.append_hex(field(w, 17, 8), 2);
      append_separator(ops);
      append_fpr(ops, field_rb(w));
      return;
    case Kind63::kArith:
      return;
  }
}

}  // namespace zemlo
