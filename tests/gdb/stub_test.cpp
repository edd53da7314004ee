// The pieces under the gdb stub: the branch rules a step relies on, the interpreter's two
// breakpoints and its arithmetic corner cases, a hit freezing the simulated game with its context,
// and the stub's packets over the in-process console.
#include <gtest/gtest.h>

#include <cstring>

#include "debugger/breakpoints.h"
#include "debugger/memory_view.h"
#include "disasm/ppc_flow.h"
#include "gdbstub/gdb_session.h"
#include "link/bytes.h"
#include "live/live_link.h"
#include "sim/game_code.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

TEST(PpcFlow, NextInstructionFromTheWordAndRegisters) {
  constexpr uint32_t pc = 0x80001000u;
  struct Row {
    uint32_t word, cr, ctr, lr, next;
    bool links;
  };
  for (const Row& row : std::vector<Row>{
           {0x48000008u, 0, 0, 0, pc + 8, false},                      // b +8
           {0x4BFFFFFDu, 0, 0, 0, pc - 4, true},                       // bl -4
           {0x48000102u, 0, 0, 0, 0x100, false},                       // ba 0x100
           {0x41820010u, 0x20000000u, 0, 0, pc + 16, false},           // beq taken
           {0x41820010u, 0x40000000u, 0, 0, pc + 4, false},            // beq not taken
           {0x4200FFF8u, 0, 2, 0, pc - 8, false},                      // bdnz, CTR 2 -> 1
           {0x4200FFF8u, 0, 1, 0, pc + 4, false},                      // bdnz, CTR 1 -> 0
           {0x4E800020u, 0, 0, 0x80001237u, 0x80001234u, false},       // blr
           {0x4C820020u, 0x20000000u, 0, 0x80002000u, pc + 4, false},  // bnelr on equal
           {0x4E800421u, 0, 0x80003000u, 0, 0x80003000u, true},        // bctrl
           {0x38600001u, 0, 0, 0, pc + 4, false},                      // li: no branch
       }) {
    SCOPED_TRACE(row.word);
    const FlowStep step = ppc_flow(row.word, pc, {row.cr, row.ctr, row.lr});
    EXPECT_EQ(step.next, row.next);
    EXPECT_EQ(step.links, row.links);
  }
}

// lis r9,0x8000; stw r3,0x208(r9); lbz r4,0x20F(r9); lhz r5,0x210(r9): one store and two loads,
// the first two in one doubleword.
TEST(PpcCpu, BreakpointsStopBeforeTheInstructionCompletes) {
  constexpr uint32_t kCode = 0x80000100u, kEnd = kCode + 16;
  struct Row {
    uint32_t iabr, dabr;
    sim::CpuEvent event;
    uint32_t pc, dataAddress;
    bool store;
  };
  for (const Row& row : std::vector<Row>{
           {(kCode + 4) | 3, 0, sim::CpuEvent::InstructionBreak, kCode + 4, 0, false},
           {(kCode + 4) | 2, 0, sim::CpuEvent::Ran, kEnd, 0, false},  // untranslated: never
           {0, 0x80000208u | 6, sim::CpuEvent::DataBreak, kCode + 4, 0x80000208u, true},
           {0, 0x80000208u | 5, sim::CpuEvent::DataBreak, kCode + 8, 0x8000020Fu, false},
           {0, 0x80000210u | 7, sim::CpuEvent::DataBreak, kCode + 12, 0x80000210u, false},
           {0, 0x80000208u | 3, sim::CpuEvent::Ran, kEnd, 0, false},
       }) {
    SCOPED_TRACE(row.pc);
    std::vector<uint8_t> memory(0x1000);
    for (uint32_t i = 0;
         const uint32_t word : {0x3D208000u, 0x90690208u, 0x8889020Fu, 0xA0A90210u}) {
      WriteBE32(&memory[kCode - 0x80000000u + 4 * i++], word);
    }
    sim::PpcCpu cpu;
    cpu.context.pc = kCode;
    cpu.context.gpr[3] = 0x11223344u;
    cpu.breakpoints = {row.iabr, row.dabr};
    sim::CpuOutcome outcome;
    while (cpu.context.pc != kEnd && (outcome = cpu.Step(memory)).event == sim::CpuEvent::Ran) {
    }
    EXPECT_EQ(outcome.event, row.event);
    EXPECT_EQ(cpu.context.pc, row.pc);
    EXPECT_EQ(outcome.dataAddress, row.dataAddress);
    EXPECT_EQ(outcome.store, row.store);
    // A store stopped by its breakpoint has not reached memory.
    EXPECT_EQ(ReadBE32(&memory[0x208]), row.pc > kCode + 4 ? 0x11223344u : 0u);
  }
}

// Integer results the PowerPC manual defines where overflow and carries meet: rD = rA op rB, and
// XER[CA] after. A divw of 0x80000000 by -1 or by 0 is left undefined there, so it has no row.
TEST(PpcCpu, DivisionAndCarryCornerCases) {
  constexpr uint32_t kCode = 0x80000100u, kCarry = 0x20000000u;
  struct Row {
    uint32_t xo, a, b;
    bool carryIn;
    uint32_t result;
    bool carryOut;
  };
  for (const Row& row : std::vector<Row>{
           {491, 7, 0xFFFFFFFFu, false, 0xFFFFFFF9u, false},  // divw 7 / -1
           {491, 0x80000000u, 2, true, 0xC0000000u, true},    // divw INT_MIN / 2
           {491, 0xFFFFFFF9u, 2, false, 0xFFFFFFFDu, false},  // divw -7 / 2 truncates
           {459, 0x80000000u, 0xFFFFFFFFu, false, 0, false},  // divwu
           {10, 1, 1, true, 2, false},                        // addc ignores CA
           {10, 0xFFFFFFFFu, 1, false, 0, true},              // addc
           {138, 1, 1, true, 3, false},                       // adde
           {138, 0xFFFFFFFFu, 0, true, 0, true},              // adde
           {8, 5, 5, false, 0, true},                         // subfc: no borrow
           {8, 5, 3, true, 0xFFFFFFFEu, false},               // subfc: borrow
           {136, 5, 5, false, 0xFFFFFFFFu, false},            // subfe
       }) {
    SCOPED_TRACE(::testing::Message() << row.xo << " " << row.a << " " << row.b);
    std::vector<uint8_t> memory(0x1000);
    WriteBE32(&memory[kCode - 0x80000000u],
              31u << 26 | 3u << 21 | 4u << 16 | 5u << 11 | row.xo << 1);
    sim::PpcCpu cpu;
    cpu.context.pc = kCode;
    cpu.context.gpr[4] = row.a;
    cpu.context.gpr[5] = row.b;
    cpu.context.xer = row.carryIn ? kCarry : 0;
    ASSERT_EQ(cpu.Step(memory).event, sim::CpuEvent::Ran);
    EXPECT_EQ(cpu.context.gpr[3], row.result);
    EXPECT_EQ((cpu.context.xer & kCarry) != 0, row.carryOut);
  }
}

class StubTest : public testing::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    model().game.clockDriven = false;
    model().uploads.hooked = true;
    ASSERT_EQ(Connect(), 1);
  }
  void Play(uint64_t frames) {
    adapter().Quiesce();
    model().game.Step(model().MemorySpan(), frames);
  }
  RegisterValues Registers() { return RetrieveRegisters().values.value(); }
};

TEST_F(StubTest, AHitFreezesTheGameWithItsContext) {
  EXPECT_EQ(FormatAsmLine(sim::GameCode::kLowerHealth, 0x3D208090u),
            "0x80800180  0x3D208090  lis r9, 0x8090");
  ASSERT_EQ(SetInstructionBreakpoint("80800180"), 1);
  Play(sim::GameModel::kHealthDropEvery);
  RegisterValues block = Registers();
  EXPECT_TRUE(model().frozen);
  EXPECT_EQ(block[5], sim::GameCode::kLowerHealth);    // SRR0
  EXPECT_EQ(block[39], 0x8080004Cu);                   // LR: back into the frame loop
  EXPECT_EQ(block[7 + 1] & 0xFFFF0000u, 0x81700000u);  // R1 in the game's stack

  // The breakpoint stays set: the game resumes into it again, as the processor would.
  Play(1);
  EXPECT_EQ(Registers()[5], sim::GameCode::kLowerHealth);
  ASSERT_EQ(SetDataBreakpoint("80900000", false, true), 1);
  ASSERT_EQ(SendInstructionBreakpointWord(0), true);
  Play(1);
  block = Registers();
  EXPECT_EQ(block[4], sim::GameModel::kFrameCounter);  // DAR
  EXPECT_EQ(block[3], 0x02400000u);                    // DSISR: a store on the breakpoint
  EXPECT_EQ(block[5], sim::GameCode::kAdvanceFrame + 16);
}

class NoChannel final : public gdb::Channel {
 public:
  int Receive(char*, int, int) override { return -1; }
  bool Send(const std::string&) override { return true; }
};

TEST_F(StubTest, PacketsOverTheConsole) {
  gdb::ConsoleTarget target;
  NoChannel channel;
  gdb::GdbSession session(target, channel);
  const uint64_t windows = live::Counters().windows;
  std::string mem1(2000, '\0');
  std::memcpy(mem1.data(), model().memory.data(), mem1.size());
  EXPECT_EQ(session.Handle("m80000000,7d0"),
            gdb::ToHex(reinterpret_cast<uint8_t*>(mem1.data()), mem1.size()));
  EXPECT_EQ(live::Counters().windows - windows, 10u);  // 200-byte reads
  struct Row {
    const char* packet;
    const char* reply;
  };
  for (const Row& row : std::vector<Row>{
           {"qSupported:swbreak+",
            "PacketSize=1000;qXfer:features:read+;qXfer:memory-map:read+;"
            "hwbreak+;QStartNoAckMode+"},
           {"Z1,80800180,4", "OK"},
           {"Z0,80800200,4", "E01"},  // the one IABR is taken
           {"z1,80800180,4", "OK"},
           {"Z0,80800200,4", "OK"},
           {"Z1,00001000,4", "E01"},
           {"Z2,80900000,9", "E01"},  // longer than the DABR's doubleword
           {"Z2,80900006,4", "E01"},  // across two doublewords
           {"Z2,80900008,2", "OK"},
           {"Z3,80900000,4", "E01"},
           {"G00000000", "E01"},
           {"P1=00000000", "E01"},
           {"p41", "xxxxxxxx"},
           {"m817fff00,101", "E01"},
           {"M80900011,1:41", "OK"},
           {"X80900012,2:ZZ", "OK"},
           {"m80900010,9", "57415a5a4420312d31"},
           {"qXfer:memory-map:read::0,20", "m<?xml version=\"1.0\"?>\n<!DOCTYPE "},
           {"qXfer:features:read:target.xml:0,20", "m<?xml version=\"1.0\"?>\n<!DOCTYPE "},
           {"qTStatus", ""},
       }) {
    EXPECT_EQ(session.Handle(row.packet), row.reply) << row.packet;
  }
  adapter().Quiesce();
  EXPECT_EQ(model().debugger.iabrWords.back(), 0x80800203u);
  EXPECT_EQ(model().debugger.dabrWords.back(), 0x8090000Eu);
  EXPECT_EQ(session.Handle("D"), "OK");
  adapter().Quiesce();
  EXPECT_EQ(model().debugger.iabrWords.back(), 0u);
  EXPECT_EQ(model().debugger.dabrWords.back(), 0u);
  EXPECT_FALSE(model().frozen);
}

}  // namespace
}  // namespace zemlo
