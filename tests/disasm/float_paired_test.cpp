// Groups 59 and 63, the paired-single group and the quantized loads and stores.

#include <gtest/gtest.h>

#include "tests/disasm/decode_helper.h"

namespace zemlo::testing {
namespace {

TEST(Group59, FormsMustBeZeroFieldsAndRc) {
  expect_cases({
      {0xEC221824, "fdivs fr1, fr2, fr3"},
      {0xEC221825, "fdivs. fr1, fr2, fr3"},
      {0xEC221924, ""},  // frC set
      {0xEC22193A, "fmadds fr1, fr2, fr4, fr3"},
      {0xEC20182C, ""},  // fsqrts is not decoded
      {0xEC201830, "fres fr1, fr3"},
      {0xEC221830, ""},
      {0xEC220132, "fmuls fr1, fr2, fr4"},
      {0xEC220932, ""},
  });
}

TEST(Group63, ArithmeticAndSubKeys) {
  expect_cases({
      {0xFC201090, "fmr fr1, fr2"},
      {0xFC201091, "fmr. fr1, fr2"},
      {0xFC231090, ""},  // frA set
      {0xFC231018, ""},  // frsp with frA set
      {0xFC201018, "frsp fr1, fr2"},
      {0xFC201058, ""},  // frsp key with bits 6-10 not zero
      {0xFC220132, "fmul fr1, fr2, fr4"},
      {0xFC22192E, "fsel fr1, fr2, fr4, fr3"},
      {0xFC20182C, ""},  // fsqrt
      {0xFC201210, "fabs fr1, fr2"},
      {0xFC2010D0, ""},  // key 8 with bits 6-10 = 3
  });
}

TEST(Group63, CompareAndFpscrOperands) {
  expect_cases({
      {0xFC821800, "fcmpu 1, fr2, fr3"},
      {0xFC821840, "fcmpo 1, fr2, fr3"},
      {0xFC821801, ""},
      {0xFCA21800, ""},  // bits 21-22
      {0xFC880080, "mcrfs cr1, cr2"},
      {0xFF80510D, "mtfsfi. cr7, 5"},
      {0xFF80510C, "mtfsfi cr7, 5"},
      {0xFF81510C, ""},
      {0xFDFE158E, "mtfsf 0xFF, fr2"},
      {0xFFFE158E, ""},  // bit 25
      {0xFFC0004C, "mtfsb1 30"},
      {0xFFC0008D, "mtfsb0. 30"},
      {0xFC20048E, "mffs fr1"},
      {0xFC20148E, ""},
  });
}

TEST(PairedSingles, ArithmeticMergeAndRc) {
  expect_cases({
      {0x10221CA1, "ps_merge10. fr1, fr2, fr3"},
      {0x10221C20, "ps_merge00 fr1, fr2, fr3"},
      {0x10221D20, ""},  // merge key with bits 6-10 = 20
      {0x10201091, "ps_mr. fr1, fr2"},
      {0x10201050, "ps_neg fr1, fr2"},
      {0x10251050, ""},  // ps_neg with frA set
      {0x1022182A, "ps_add fr1, fr2, fr3"},
      {0x1022192B, ""},  // frC set (and Rc)
      {0x102218FA, "ps_madd fr1, fr2, fr3, fr3"},
      {0x10220132, "ps_mul fr1, fr2, fr4"},
      {0x10220114, "ps_sum0 fr1, fr2, fr4, fr0"},
      {0x1020182C, ""},  // unlisted key 22
  });
}

TEST(PairedSingles, CompareIgnoresBits8To10ButNotRc) {
  expect_cases({
      {0x10821800, "ps_cmpu0 cr1, fr2, fr3"},
      {0x10021900, "ps_cmpu0 cr0, fr2, fr3"},
      {0x10821840, "ps_cmpo0 cr1, fr2, fr3"},
      {0x108218C0, "ps_cmpo1 cr1, fr2, fr3"},
      {0x10021801, ""},
      {0x10A21800, ""},
  });
}

TEST(QuantizedLoads, IndexedFormsAndDcbzL) {
  expect_cases({
      {0x10221E8C, "psq_lx fr1, sd2, r3, 1, 5"},
      {0x10221ECC, "psq_lux fr1, sd2, r3, 1, 5"},
      {0x10221D4E, "psq_stux fr1, sd2, r3, 1, 2"},
      {0x1022180D, ""},
      {0x100327EC, "dcbz_l r3, r4"},
      {0x100327ED, "dcbz_l r3, r4"},  // Rc ignored
      {0x102327EC, ""},
  });
}

TEST(QuantizedLoads, DFormOffsetsAndFields) {
  expect_cases({
      {0xE0440080, "psq_l fr2, 128 (r4), 0, 0"},
      {0xE0440081, "psq_l fr2, 0x081 (r4), 0, 0"},
      {0xE04407FF, "psq_l fr2, 0x7FF (r4), 0, 0"},
      {0xE0440800, "psq_l fr2, -0x800 (r4), 0, 0"},
      {0xE4230000, "psq_lu fr1, 0 (r3), 0, 0"},
      {0xE023D010, "psq_l fr1, 16 (r3), 1, 5"},
      {0xF3E17FF8, "psq_st fr31, -0x008 (sp), 0, 7"},
      {0xF444A081, "psq_stu fr2, 0x081 (r4), 1, 2"},
      {0xF3FFF800, "psq_st fr31, -0x800 (r31), 1, 7"},
  });
}

}  // namespace
}  // namespace zemlo::testing
