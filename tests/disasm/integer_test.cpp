// Integer immediates, compares, traps, rotates, loads and stores, and group-31 rules.

#include <gtest/gtest.h>

#include "tests/disasm/decode_helper.h"

namespace zemlo::testing {
namespace {

TEST(Immediates, AddFamilyChoosesLiLisSubiOrAddi) {
  expect_cases({
      {0x38600000, "li r3, 0"},
      {0x3860FFFF, "li r3, -1"},
      {0x38601000, "li r3, 0x1000"},
      {0x3C608000, "lis r3, 0x8000"},
      {0x3C000000, "lis r0, 0x0000"},
      {0x3863FFF8, "subi r3, r3, 8"},
      {0x38638000, "subi r3, r3, 0x8000"},
      {0x38218000, "subi sp, sp, 0x8000"},
      {0x3C63FFF8, "subis r3, r3, 8"},
      {0x3063FFFF, "subic r3, r3, 1"},
      {0x3463FFFF, "subic. r3, r3, 1"},
      {0x38640010, "addi r3, r4, 16"},
      {0x38640101, "addi r3, r4, 0x0101"},
      {0x3C631000, "addis r3, r3, 0x1000"},
      {0x30630001, "addic r3, r3, 1"},
      {0x30600001, "addic r3, r0, 1"},  // no li form for addic
      {0x3460FFF8, "subic. r3, r0, 8"},
      {0x1C64FFF8, "mulli r3, r4, -8"},
      {0x2064FEFF, "subfic r3, r4, -0x0101"},
  });
}

TEST(Immediates, LogicalAlwaysHexAndOnlyTheExactNop) {
  expect_cases({
      {0x60000000, "nop"},
      {0x60000001, "ori r0, r0, 0x0001"},
      {0x60630001, "ori r3, r3, 0x0001"},
      {0x60210000, "ori sp, sp, 0x0000"},
      {0x706000FF, "andi. r0, r3, 0x00FF"},
      {0x7460FFFF, "andis. r0, r3, 0xFFFF"},
      {0x64638000, "oris r3, r3, 0x8000"},
      {0x68630010, "xori r3, r3, 0x0010"},
      {0x6C630010, "xoris r3, r3, 0x0010"},
  });
}

TEST(Compares, CrFieldOnlyWhenNonZeroAnd64BitFormsUndecodable) {
  expect_cases({
      {0x2C030000, "cmpwi r3, 0"},
      {0x2F83FFFF, "cmpwi cr7, r3, -1"},
      {0x2F800400, "cmpwi cr7, r0, 0x0400"},
      {0x2803FFFF, "cmplwi r3, 0xFFFF"},
      {0x28000100, "cmplwi r0, 256"},
      {0x7C832000, "cmpw cr1, r3, r4"},
      {0x7C032000, "cmpw r3, r4"},
      {0x7C832040, "cmplw cr1, r3, r4"},
      {0x2C230000, ""},  // L set: a 64-bit compare
      {0x2C430000, ""},  // reserved bit 22
      {0x7C232000, ""},
      {0x7C032001, ""},  // Rc is part of the group-31 key
  });
}

TEST(Traps, NamedConditionsSignednessAndGenericForm) {
  expect_cases({
      {0x7FE00008, "trap"},
      {0x7FE10008, "tw 31, sp, r0"},
      {0x0FE00000, "twi 31, r0, 0"},
      {0x0C1F0000, "twi 0, r31, 0"},
      {0x7C830008, "tweq r3, r0"},
      {0x7E032008, "twlt r3, r4"},
      {0x7C632008, "tw 3, r3, r4"},
      {0x0C83FF00, "tweqi r3, -256"},    // sign-extended -256 is still small
      {0x0C83FE00, "tweqi r3, 0xFE00"},  // unsigned pattern when TO has neither lt nor gt
      {0x0E03FE00, "twlti r3, -0x0200"},
      {0x0D03FE00, "twgti r3, -0x0200"},
      {0x0C43FE00, "twllti r3, 0xFE00"},
      {0x0C630101, "twi 3, r3, 0x0101"},
      {0x7C830009, ""},
  });
}

TEST(Rotates, PlainMnemonicsAndRc) {
  expect_cases({
      {0x5483103A, "rlwinm r3, r4, 2, 0, 29"},
      {0x5C60243F, "rlwnm. r0, r3, r4, 16, 31"},
      {0x5083103A, "rlwimi r3, r4, 2, 0, 29"},
      {0x7C831670, "srawi r3, r4, 2"},
      {0x7C831671, "srawi. r3, r4, 2"},
      {0x7C832030, "slw r3, r4, r4"},
  });
}

TEST(LoadsStores, DFormWithBlankBeforeParenthesisAndNoReservedTest) {
  expect_cases({
      {0x80010008, "lwz r0, 8 (sp)"},
      {0x9421FF00, "stwu sp, -256 (sp)"},
      {0x9421FEE8, "stwu sp, -0x0118 (sp)"},
      {0x9421FFE8, "stwu sp, -24 (sp)"},
      {0xC03F1040, "lfs fr1, 0x1040 (r31)"},
      {0xC0230010, "lfs fr1, 16 (r3)"},
      {0xBB61000C, "lmw r27, 12 (sp)"},
      {0x806D8000, "lwz r3, -0x8000 (sd1)"},
      {0x84600004, "lwzu r3, 4 (r0)"},  // update form with rA = 0 still decodes
      {0xDFE20100, "stfdu fr31, 256 (sd2)"},
  });
}

TEST(Group31, RegisterFormsAndTheirRcVariants) {
  expect_cases({
      {0x7C601B78, "or r0, r3, r3"},
      {0x7C6320F8, "nor r3, r3, r4"},
      {0x7C6418F8, "not r4, r3"},
      {0x7C6418F9, "nor. r4, r3, r3"},  // the short form never takes Rc
      {0x7C641A14, "add r3, r4, r3"},
      {0x7C641A15, "add. r3, r4, r3"},
      {0x7C641E15, "addo. r3, r4, r3"},
      {0x7C6400D0, "neg r3, r4"},
      {0x7C6418D0, ""},  // neg with rB set
      {0x7C830034, "cntlzw r3, r4"},
      {0x7C831835, ""},
      {0x7C830775, "extsb. r3, r4"},
  });
}

TEST(Group31, IndexedLoadsStoresAndCache) {
  expect_cases({
      {0x7C64282E, "lwzx r3, r4, r5"},
      {0x7C64282F, ""},  // no Rc form of a load
      {0x7C23252E, "stfsx fr1, r3, r4"},
      {0x7C64292D, "stwcx. r3, r4, r5"},
      {0x7C64292C, ""},  // stwcx exists only with Rc set
      {0x7C0018AC, "dcbf r0, r3"},
      {0x7C2018AC, ""},  // rD not zero
      {0x7C0327EC, "dcbz r3, r4"},
      {0x7C6424AA, "lswi r3, r4, 4"},
      {0x7C6425AA, "stswi r3, r4, 4"},
      {0x7C64226C, "eciwx r3, r4, r4"},
  });
}

}  // namespace
}  // namespace zemlo::testing
