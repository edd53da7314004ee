#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "debugger/memory_ops.h"
#include "debugger/memory_view.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "tests/memory/message_print.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Bytes;
using testing::RecordedMessage;

RecordedMessage RangeError(const char* text) {
  return {text, kCaptionRangeError, MessageIcon::Error, MessageOwner::None};
}
RecordedMessage UsbError(const char* text) {
  return {text, kCaptionUsbError, MessageIcon::Error, MessageOwner::None};
}

class MemoryOpsTest : public testing::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_pokeInputs = {};
    g_fillInputs = {};
    g_dumpInputs = {};
    ui().SetSaveFile(TempPath("dump.bin"));
  }
  std::vector<uint8_t> Memory(uint32_t offset, uint32_t count) {
    const auto& memory = model().memory;
    return {memory.begin() + offset, memory.begin() + offset + count};
  }
  size_t Answers(uint8_t byte) {
    const auto& answers = model().uploads.dumpAnswers;
    return static_cast<size_t>(std::count(answers.begin(), answers.end(), byte));
  }
};

TEST_F(MemoryOpsTest, PokeSendsCommandAddressAndValue) {
  ASSERT_EQ(OnPokePressed("80003100", "12345678"), 1);
  EXPECT_EQ(Sent(), Bytes({0x03, 0x80, 0x00, 0x31, 0x00, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(Memory(0x3100, 4), Bytes({0x12, 0x34, 0x56, 0x78}));
  EXPECT_TRUE(ui().messages().empty());
  // A box without a number sends its previous value again.
  ASSERT_EQ(OnPokePressed("80003104", "zzzzzzzz"), 1);
  EXPECT_EQ(Sent(), Bytes({0x03, 0x80, 0x00, 0x31, 0x04, 0x12, 0x34, 0x56, 0x78}));
}

TEST_F(MemoryOpsTest, PokeFailures) {
  EXPECT_EQ(OnPokePressed("80003100", "1234"), 0);
  EXPECT_EQ(OnPokePressed("8000310", "12345678"), 0);
  faults().ShortenNextWrites(1, 1);
  EXPECT_EQ(OnPokePressed("80003100", "12345678"), 0);
  Disconnect();
  EXPECT_EQ(OnPokePressed("80003100", "12345678"), 0);
  EXPECT_EQ(ui().messages(),
            (std::vector<RecordedMessage>{RangeError(kMsgPokeValueSize),
                                          RangeError(kMsgMemoryAddressSize),
                                          UsbError(kMsgPokeSendAddress),
                                          {kMsgNotConnected, kCaptionError,
                                           MessageIcon::Information, MessageOwner::Dialog}}));
}

TEST_F(MemoryOpsTest, FillSendsTheRangeOnceTheConsoleAgrees) {
  model().uploads.fillByte = 0xEE;
  ASSERT_EQ(OnFillMemoryPressed("80001000", "80001010"), 1);
  EXPECT_EQ(Sent(), Bytes({0x35, 0x80, 0x00, 0x10, 0x00, 0x80, 0x00, 0x10, 0x10}));
  EXPECT_EQ(Memory(0x1000, 16), std::vector<uint8_t>(16, 0xEE));
  EXPECT_EQ(OnFillMemoryPressed("80001000", "80001000"), 1);  // an empty range is accepted
  EXPECT_TRUE(ui().messages().empty());
}

TEST_F(MemoryOpsTest, FillFailures) {
  struct Row {
    const char* start;
    const char* end;
    std::function<void()> arm;
    RecordedMessage message;
    std::vector<uint8_t> sent;
  };
  const std::vector<Row> rows{
      {"80001000", "80000FFF", [] {}, RangeError(kMsgEndBelowStart), {}},
      {"8000100", "80001000", [] {}, RangeError(kMsgMemoryAddressSize), {}},
      {"80001000",
       "80002000",
       [this] { model().uploads.hooked = false; },
       UsbError(kMsgFillNotHooked),
       {0x35}},
      {"80001000",
       "80002000",
       [this] { faults().SuppressNextReplies(1); },
       UsbError(kMsgReadResponse),
       {0x35}},
      {"80001000",
       "80002000",
       [this] { faults().ShortenNextWrites(1, 1); },
       UsbError(kMsgSendCommand),
       {0x35, 0x80, 0x00, 0x10, 0x00}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message.text);
    TearDown();
    SetUp();
    row.arm();
    EXPECT_EQ(OnFillMemoryPressed(row.start, row.end), 0);
    EXPECT_EQ(OnlyMessage(), row.message);
    EXPECT_EQ(Sent(), row.sent);
  }
}

// Full packets acknowledged with 0xAA, the final part read without an answer.
TEST_F(MemoryOpsTest, DumpSizesAtThePacketBoundaries) {
  struct Row {
    const char* end;
    uint32_t bytes;
  };
  for (const Row& row : {Row{"80000000", 0}, Row{"80000064", 100}, Row{"8000F800", 63488},
                         Row{"8001F005", 2 * 63488 + 5}, Row{"81800000", 25'165'824}}) {
    SCOPED_TRACE(row.end);
    TearDown();
    SetUp();
    ASSERT_EQ(OnDumpMemoryPressed("80000000", row.end), 1);
    EXPECT_EQ(testing::ReadFileBytes(TempPath("dump.bin")), Memory(0, row.bytes));
    EXPECT_EQ(Answers(ACK_BLOCK), row.bytes / 63488);  // 396 for the whole 24 MiB
    EXPECT_EQ(ui().progress().front().high, row.bytes / 63488);
    EXPECT_EQ(ui().progress().back().high, 0u);
    EXPECT_EQ(OnlyMessage().text, kMsgDumpFinished);
    EXPECT_EQ(adapter().timeouts().readMs, kDumpTimeoutMs);
  }
}

TEST_F(MemoryOpsTest, ShortPacketIsAskedForAgain) {
  faults().ShortenNextPackets(2, 1000);
  ASSERT_EQ(OnDumpMemoryPressed("80000000", "8001F000"), 1);
  EXPECT_EQ(model().uploads.dumpAnswers, Bytes({0xBB, 0xBB, 0xAA, 0xAA}));
  EXPECT_EQ(testing::ReadFileBytes(TempPath("dump.bin")), Memory(0, 2 * 63488));
}

TEST_F(MemoryOpsTest, PacketShortEveryTimeGivesUpAfterTheBound) {
  faults().ShortenNextPackets(1000, 1000);
  EXPECT_EQ(OnDumpMemoryPressed("80000000", "8001F000"), 0);
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgTooManyAttempts));
  EXPECT_EQ(Answers(RETRY_BLOCK), kMaxAttemptsPerPacket - 1);
  EXPECT_EQ(ui().progress().back().high, 0u);
  EXPECT_TRUE(testing::ReadFileBytes(TempPath("dump.bin")).empty());
}

// The final part that comes short is kept as far as it arrived and reported, never padded.
TEST_F(MemoryOpsTest, ShortFinalPartIsReportedAndNotPadded) {
  faults().ShortenNextPackets(1, 40);
  EXPECT_EQ(OnDumpMemoryPressed("80000000", "80000064"), 0);
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgDumpLastPart));
  EXPECT_EQ(testing::ReadFileBytes(TempPath("dump.bin")), Memory(0, 40));
}

TEST_F(MemoryOpsTest, DumpFailures) {
  struct Row {
    const char* name;
    std::function<void()> arm;
    int result;
    std::vector<std::string> texts;
    size_t fileBytes;
  };
  const std::vector<Row> rows{
      {"cancelled", [this] { ui().SetSaveFile(std::nullopt); }, 2, {}, 0},
      {"end below start", [] {}, 0, {kMsgEndBelowStart}, 0},
      {"not hooked", [this] { model().uploads.hooked = false; }, 0, {kMsgDumpNotHooked}, 0},
      {"unwritable path",
       [this] { ui().SetSaveFile(TempPath("no/dir/dump.bin")); },
       0,
       {kMsgFopen},
       0},
      {"full packet failed",
       [this] { faults().FailNextReads(1, 1); },
       0,
       {"Error: Fatal USB Read Error. Exiting.", kMsgUsbTransmit},
       0},
      {"final part failed",
       [this] { faults().FailNextReads(1, 2); },
       0,
       {"Error: Fatal USB Read Error. Exiting.", kMsgDumpLastPart},
       63488},
      {"disk full", [this] { ui().SetSaveFile("/dev/full"); }, 0, {kMsgWriteToFile}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    row.arm();
    const int result = row.name == std::string("end below start")
                           ? DumpMemory(8, 0x80000100, 8, 0x800000FF)
                           : OnDumpMemoryPressed("80000000", "8000F864");
    EXPECT_EQ(result, row.result);
    std::vector<std::string> texts;
    for (const auto& message : ui().messages()) texts.push_back(message.text);
    EXPECT_EQ(texts, row.texts);
    EXPECT_EQ(testing::ReadFileBytes(TempPath("dump.bin")).size(), row.fileBytes);
  }
}

}  // namespace
}  // namespace zemlo
