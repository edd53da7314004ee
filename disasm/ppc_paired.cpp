// The paired-single group (primary 4) and the quantized loads and stores (56, 57, 60, 61).

#include <array>

#include "disasm/ppc_fields.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

constexpr std::uint32_t kFrA = 0x1F0000;
constexpr std::uint32_t kFrB = 0xF800;
constexpr std::uint32_t kFrC = 0x7C0;
constexpr std::uint32_t kDcbzL = 1014;  // bits 1-10

enum class Kind4 : std::uint8_t { kArith, kCompare, kQuantizedLoad, kQuantizedStore };

constexpr std::uint8_t kAnySub = 0xFF;  // bits 6-10 are operands, not part of the key

struct Entry4 {
  std::uint8_t xo;        // bits 1-5
  std::uint8_t sub;       // bits 6-10, or kAnySub
  std::string_view name;  // after "ps_" for the arithmetic entries
  Kind4 kind;
  std::uint8_t form;
  std::uint32_t must_be_zero;
};

constexpr Entry4 kGroup4[] = {
    {0, kAnySub, "", Kind4::kCompare, 0, 0x600001},
    {6, kAnySub, "", Kind4::kQuantizedLoad, 0, 1},
    {7, kAnySub, "", Kind4::kQuantizedStore, 0, 1},
    {8, 1, "neg", Kind4::kArith, 2, kFrA},
    {8, 2, "mr", Kind4::kArith, 2, kFrA},
    {8, 4, "nabs", Kind4::kArith, 2, kFrA},
    {8, 8, "abs", Kind4::kArith, 2, kFrA},
    {10, kAnySub, "sum0", Kind4::kArith, 4, 0},
    {11, kAnySub, "sum1", Kind4::kArith, 4, 0},
    {12, kAnySub, "muls0", Kind4::kArith, 3, kFrB},
    {13, kAnySub, "muls1", Kind4::kArith, 3, kFrB},
    {14, kAnySub, "madds0", Kind4::kArith, 4, 0},
    {15, kAnySub, "madds1", Kind4::kArith, 4, 0},
    {16, 16, "merge00", Kind4::kArith, 1, 0},
    {16, 17, "merge01", Kind4::kArith, 1, 0},
    {16, 18, "merge10", Kind4::kArith, 1, 0},
    {16, 19, "merge11", Kind4::kArith, 1, 0},
    {18, kAnySub, "div", Kind4::kArith, 1, kFrC},
    {20, kAnySub, "sub", Kind4::kArith, 1, kFrC},
    {21, kAnySub, "add", Kind4::kArith, 1, kFrC},
    {23, kAnySub, "sel", Kind4::kArith, 4, 0},
    {24, kAnySub, "res", Kind4::kArith, 2, kFrA | kFrC},
    {25, kAnySub, "mul", Kind4::kArith, 3, kFrB},
    {26, kAnySub, "rsqrte", Kind4::kArith, 2, kFrA | kFrC},
    {28, kAnySub, "msub", Kind4::kArith, 4, 0},
    {29, kAnySub, "madd", Kind4::kArith, 4, 0},
    {30, kAnySub, "nmsub", Kind4::kArith, 4, 0},
    {31, kAnySub, "nmadd", Kind4::kArith, 4, 0},
};

// Key (bits 1-10) -> 1 + index into kGroup4.
constexpr auto kGroup4Index = [] {
  std::array<std::uint8_t, 1024> index{};
  std::uint8_t i = 0;
  for (const Entry4& e : kGroup4) {
    ++i;
    for (unsigned sub = 0; sub < 32; ++sub) {
      if (e.sub == kAnySub || e.sub == sub) index[(sub << 5) | e.xo] = i;
    }
  }
  return index;
}();

constexpr std::array<PaddedText, 4> kQuantizedNames = {padded("psq_l"), padded("psq_lu"),
                                                       padded("psq_st"), padded("psq_stu")};

}  // namespace

void decode_paired_group(PpcDisasmRecord& r) {
  const std::uint32_t w = r.word;
  const std::uint32_t key = field(w, 1, 10);
  if (key == kDcbzL) return decode_cache(r, "dcbz_l");  // Rc ignored
  const std::uint8_t slot = kGroup4Index[key];
  if (slot == 0) return;
  const Entry4& e = kGroup4[slot - 1];
  if (e.kind == Kind4::kArith) return emit_paired(r, e.name, e.must_be_zero, e.form);
  if ((w & e.must_be_zero) != 0) return mark_undecodable(r);
  FixedText<64>& ops = r.operands;
  if (e.kind == Kind4::kCompare) {
    r.mnemonic = "ps_cmp";
    r.mnemonic.append(ps_compare_suffixes[field(w, 6, 2)]);
    append_crf(ops, field_crfd(w));
    append_separator(ops);
    append_fpr(ops, field_ra(w));
    append_separator(ops);
    append_fpr(ops, field_rb(w));
    return;
  }
  const bool update = (w & (1u << 6)) != 0;
  r.mnemonic = e.kind == Kind4::kQuantizedLoad ? (update ? "psq_lux" : "psq_lx")
                                               : (update ? "psq_stux" : "psq_stx");
  append_fpr(ops, field_rd(w));
  append_separator(ops);
  append_gpr(ops, field_ra(w));
  append_separator(ops);
  append_gpr(ops, field_rb(w));
  append_separator(ops);
  ops.append_decimal(field(w, 10, 1));  // W
  append_separator(ops);
  ops.append_decimal(field(w, 7, 3));  // I
}

void decode_quantized(PpcDisasmRecord& r, std::uint32_t primary) {
  static constexpr PaddedText kOpenBase = padded(" ("), kCloseBase = padded("), ");
  const std::uint32_t w = r.word;
  // 56, 57, 60, 61 -> 0, 1, 2, 3
  r.mnemonic = kQuantizedNames[((primary >> 1) & 2u) | (primary & 1u)];
  r.operands.append_all(kFprNames[field_rd(w)], kSeparator, offset12_text(w), kOpenBase,
                        kGprNames[field_ra(w)]);
  r.operands.append_all(kCloseBase, kSmallDecimals[field(w, 15, 1)], kSeparator,  // W
                        kSmallDecimals[field(w, 12, 3)]);                         // I
}

}  // namespace zemlo
