#include "debugger/breakpoints.h"

#include <gtest/gtest.h>

#include <functional>

#include "link/link.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Bytes;

const std::string kRanges =
    "\nCached memory is 0x80000000 to 0x817fffff\nUncached memory is 0xC0000000 to "
    "0xC17fffff\nHardware Registers are 0xCC000000 to 0xCC008000";
const std::string kDabrRange = "DABR Address is out of range" + kRanges;
const std::string kIabrRange = "IABR Address is out of range" + kRanges;
constexpr char kSet[] = "Breakpoint Set, Once hit the game will freeze";

using BreakpointTest = testing::SimFixture;

// The address with the low bits of the data breakpoint word: 2 write, 1 read. (Read
// and write together, write alone, and the instruction breakpoint's 3: the CLI's test.)
TEST_F(BreakpointTest, BreakpointWordsOnTheWire) {
  EXPECT_EQ(SetDataBreakpoint("80001234", true, false), 1);
  EXPECT_EQ(Sent(), Bytes({0x09, 0x80, 0x00, 0x12, 0x35}));
  EXPECT_EQ(OnlyMessage(), testing::Box(kSet, kCaptionDone, MessageIcon::None));
  EXPECT_EQ(SetDataBreakpoint("80001235", false, true), 1);  // the low bit kept
  EXPECT_EQ(Sent(), Bytes({0x09, 0x80, 0x00, 0x12, 0x37}));
}

// Lower case, an empty text and a "0x" prefix are the hex input's tests.
TEST_F(BreakpointTest, AddressRangeBoundaries) {
  const std::pair<const char*, bool> rows[] = {
      {"80000000", true},  {"817FFFFF", true},   {"C0000000", true},  {"C17FFFFF", true},
      {"CC000000", true},  {"CC008000", true},   {"7FFFFFFF", false}, {"81800000", false},
      {"BFFFFFFF", false}, {"C1800000", false},  {"CBFFFFFF", false}, {"CC008001", false},
      {"8000000", false},  {"800000000", false}, {"zzzzzzzz", false},
  };
  for (const auto& [text, accepted] : rows) {
    SCOPED_TRACE(text);
    ui().Clear();
    EXPECT_EQ(SetDataBreakpoint(text, true, true), accepted ? 1 : 0);
    EXPECT_EQ(SetInstructionBreakpoint(text), accepted ? 1 : 0);
    EXPECT_EQ(testing::Texts(ui()), (std::vector<std::string>{accepted ? kSet : kDabrRange,
                                                              accepted ? kSet : kIabrRange}));
    EXPECT_EQ(Sent().size(), accepted ? 10u : 0u);
  }
}

TEST_F(BreakpointTest, EachFailureShowsItsOneMessage) {
  using testing::RecordedMessage;
  const auto usb = [](const std::string& text) { return testing::Box(text, kCaptionUsbError); };
  const auto range = [](const std::string& text) { return testing::Box(text, kCaptionRangeError); };
  const auto dabr = [](const char* text, bool read, bool write) {
    return [=] { return SetDataBreakpoint(text, read, write); };
  };
  const struct {
    const char* name;
    int shortWrite;  // -1: none; else the write (from 0) that moves only half its bytes
    std::function<int()> run;
    RecordedMessage message;
  } rows[] = {
      {"no type", -1, dabr("80001234", 0, 0),
       range("Please select which type of breakpoint for the address")},
      {"range before type", -1, dabr("7FFFFFFF", 0, 0), range(kDabrRange)},
      {"dabr command short", 0, dabr("80001234", 1, 0), usb(kMsgSendCommand)},
      {"dabr word short", 1, dabr("80001234", 1, 0), usb("Error sending DABR Address")},
      {"iabr word short", 1, [] { return SetInstructionBreakpoint("80003100"); },
       usb("Error sending IABR Address")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Restart();
    if (row.shortWrite >= 0) faults().ShortenNextWrites(1, row.shortWrite);
    EXPECT_EQ(row.run(), 0);
    EXPECT_EQ(OnlyMessage(), row.message);
  }
}

// Short: the values shown stay as they were and nothing is said. Failed: the link has shown its
// fatal message; the tool adds its own.
TEST_F(BreakpointTest, RegistersInWordOrderWithLabelsOrNoneWhenShort) {
  const RegisterReadout readout = RetrieveRegisters();
  EXPECT_EQ(Sent(), Bytes({0x30}));
  ASSERT_EQ(readout.result, 1);
  ASSERT_TRUE(readout.values);
  EXPECT_EQ(*readout.values, model().debugger.registers);
  EXPECT_EQ(RegisterLine(*readout.values, 0), "CR: 22000084");
  EXPECT_EQ(RegisterLine(*readout.values, 8), "(SP) R1: 8173FE60");

  faults().ShortenNextPackets(1, 159);
  const RegisterReadout cut = RetrieveRegisters();
  EXPECT_EQ(cut.result, 1);
  EXPECT_FALSE(cut.values);
  EXPECT_TRUE(ui().messages().empty());
  faults().FailNextReads(1);
  EXPECT_EQ(RetrieveRegisters().result, 0);
  ASSERT_FALSE(ui().messages().empty());
  EXPECT_EQ(ui().messages().back(), testing::Box(kMsgUsbTransmit, kCaptionUsbError));
}

}  // namespace
}  // namespace zemlo
