// Branches with targets and hints, condition-register logic, special and system registers.

#include <gtest/gtest.h>

#include "tests/disasm/decode_helper.h"

namespace zemlo::testing {
namespace {

TEST(Branches, UnconditionalTargetsWrapAndSuffixes) {
  expect_cases({
      {0x4BFFFFFC, "b 0x800030FC"},
      {0x48002921, "bl 0x80005A20"},
      {0x4BFFFFFE, "ba 0xFFFFFFFC"},
      {0x48000103, "bla 0x00000100"},
      {0x4BFFFF00, "b 0x80003000"},
  });
  EXPECT_EQ(decode(0x4BFFFFF8, 0x4), "b 0xFFFFFFFC");
  EXPECT_EQ(decode(0x48000010, 0xFFFFFFF8), "b 0x00000008");
}

TEST(Branches, ConditionalHintFollowsDirectionAndYBit) {
  expect_cases({
      {0x4182000C, "beq- 0x8000310C"},
      {0x4082FFF0, "bne+ 0x800030F0"},
      {0x41A2000C, "beq+ 0x8000310C"},  // y set on a forward branch
      {0x40A2FFF0, "bne- 0x800030F0"},  // y set on a backward branch
      {0x40860020, "bne- cr1, 0x80003120"},
      {0x4180000D, "bltl- 0x8000310C"},
      {0x40820012, "bnea- 0x00000010"},
      {0x4200FFF8, "bdnz+ 0x800030F8"},
      {0x42400008, "bdz- 0x80003108"},
      {0x41000008, "bdnzt- 0, 0x80003108"},
      {0x40020040, "bdnzf- 2, 0x80003140"},
      {0x4300000C, "bc 24, 0, 0x8000310C"},
      {0x4280FFF0, "b 0x800030F0"},  // BO 20: always, no hint
      {0x40C2000C, ""},              // z bit of a conditional form
  });
}

TEST(Branches, RegisterFormsHaveNoTargetAndNeverCountDownCtr) {
  expect_cases({
      {0x4E800020, "blr"},
      {0x4E800021, "blrl"},
      {0x4E800420, "bctr"},
      {0x4E800421, "bctrl"},
      {0x4C820020, "bnelr-"},
      {0x4D800421, "bltctrl-"},
      {0x4C800020, "bgelr-"},
      {0x4C200020, "bdnzflr+ 0"},
      {0x4E000020, "bdnzlr-"},
      {0x4F000020, "bclr 24, 0"},
      {0x4E000420, ""},  // bcctr with decrement
      {0x4E800820, ""},  // bits 11-15 set
  });
}

TEST(ConditionRegister, ShortFormsOnlyWhenOperandsCoincide) {
  expect_cases({
      {0x4CC63182, "crclr 6"},
      {0x4CC63982, "crxor 6, 6, 7"},
      {0x4C221982, "crxor 1, 2, 3"},
      {0x4CC63242, "crset 6"},
      {0x4C631042, "crnor 3, 3, 2"},
      {0x4C642042, "crnot 3, 4"},
      {0x4C642382, "crmove 3, 4"},
      {0x4C221983, ""},  // Rc set
      {0x4C8C0000, "mcrf cr1, cr3"},
      {0x4C8D0000, ""},
      {0x4C000064, "rfi"},
      {0x4C00012C, "isync"},
      {0x4C00012D, ""},
      {0x4C00000C, ""},  // unlisted key
  });
}

TEST(SpecialRegisters, NamesShortFormsAndTimeBase) {
  expect_cases({
      {0x7C0802A6, "mflr r0"},
      {0x7C6102A6, "mfxer r3"},
      {0x7D8903A6, "mtctr r12"},
      {0x7C7A8AA6, "mfspr r3, 570"},
      {0x7C70E3A6, "mtspr GQR0, r3"},
      {0x7C78E2A6, "mfspr r3, HID2"},
      {0x7C74FBA6, "mtspr 1012, r3"},
      {0x7C7EFBA6, "mtspr THRM3, r3"},
      {0x7C0802A7, ""},
      {0x7C6C42E6, "mftbl r3"},
      {0x7C6D42E6, "mftbu r3"},
      {0x7C6862E6, "mftb r3, 392"},  // not a tbr of mftb: printed in decimal
      {0x7C6FF120, "mtcr r3"},
      {0x7C680120, "mtcrf 0x80, r3"},
      {0x7C600026, "mfcr r3"},
      {0x7C602026, ""},
  });
}

TEST(System, ReservedFieldsMakeUndecodable) {
  expect_cases({
      {0x44000002, "sc"},
      {0x44000003, ""},
      {0x7C0004AC, "sync"},
      {0x7C2004AC, ""},
      {0x7C0006AC, "eieio"},
      {0x7C00046C, "tlbsync"},
      {0x7C6000A6, "mfmsr r3"},
      {0x7C6008A6, ""},
      {0x7C600124, "mtmsr r3"},
      {0x7F800400, "mcrxr cr7"},
      {0x7F810400, ""},
      {0x7C6301A4, "mtsr 3, r3"},
      {0x7C6304A6, "mfsr r3, 3"},
      {0x7C7304A6, ""},  // bit 20 of SR field
      {0x7C6021E4, "mtsrin r3, r4"},
      {0x7C6121E4, ""},
      {0x7C602526, "mfsrin r3, r4"},
      {0x7C002264, "tlbie r4"},
      {0x7C012264, ""},
  });
}

TEST(Dispatch, UnassignedPrimaryOpcodesAreUndecodable) {
  for (std::uint32_t primary : {0u, 1u, 2u, 5u, 6u, 9u, 22u, 30u, 58u, 62u}) {
    EXPECT_EQ(decode(primary << 26 | 0x00A4B0C4), "") << primary;
  }
}

}  // namespace
}  // namespace zemlo::testing
