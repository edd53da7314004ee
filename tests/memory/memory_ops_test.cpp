#include <gtest/gtest.h>

#include <functional>

#include "debugger/hook_launcher.h"
#include "debugger/memory_ops.h"
#include "debugger/memory_view.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using namespace zemlo::testing;

class MemoryOpsTest : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_pokeInputs = {};
    ui().SetSaveFile(TempPath("dump.bin"));
  }
  std::vector<uint8_t> Memory(uint32_t offset, uint32_t count) {
    const auto& memory = model().memory;
    return {memory.begin() + offset, memory.begin() + offset + count};
  }
  std::vector<uint8_t> DumpFile() { return ReadFileBytes(TempPath("dump.bin")); }
};

TEST_F(MemoryOpsTest, Poke) {
  ASSERT_EQ(OnPokePressed("80003100", "12345678"), 1);
  EXPECT_EQ(Sent(), Wire(0x03, {0x80003100, 0x12345678}));
  ASSERT_EQ(OnPokePressed("80003104", "zzzzzzzz"), 1);  // the previous value again
  EXPECT_EQ(Sent(), Wire(0x03, {0x80003104, 0x12345678}));
  EXPECT_TRUE(ui().messages().empty());

  EXPECT_EQ(OnPokePressed("80003100", "1234"), 0);
  EXPECT_EQ(OnPokePressed("8000310", "12345678"), 0);
  EXPECT_EQ(OnPokePressed("zzzzzzzz", "12345678"), 0);  // not the previous address again
  EXPECT_TRUE(Sent().empty());
  faults().ShortenNextWrites(1, 1);
  EXPECT_EQ(OnPokePressed("80003100", "12345678"), 0);
  EXPECT_EQ(ui().messages(),
            (std::vector<RecordedMessage>{Box(kMsgPokeValueSize, kCaptionRangeError),
                                          Box(kMsgMemoryAddressSize, kCaptionRangeError),
                                          Box(kMsgMemoryAddressSize, kCaptionRangeError),
                                          Box(kMsgPokeSendAddress, kCaptionUsbError)}));
}

TEST_F(MemoryOpsTest, Fill) {
  using Arm = std::function<void()>;
  const Arm none = [] {}, notHooked = [this] { model().uploads.hooked = false; };
  const Arm noReply = [this] { faults().SuppressNextReplies(1); };
  const Arm rangeShort = [this] { faults().ShortenNextWrites(1, 1); };
  const auto usb = [](const char* text) { return Box(text, kCaptionUsbError); };
  const auto range = [](const char* text) { return Box(text, kCaptionRangeError); };
  const struct {
    const char* start;
    const char* end;
    Arm arm;
    std::vector<RecordedMessage> messages;
    std::vector<uint8_t> sent;
  } rows[] = {
      {"80001000", "80001000", none, {}, Wire(0x35, {0x80001000, 0x80001000})},
      {"80001000", "80000FFF", none, {range(kMsgEndBelowStart)}, {}},
      {"8000100", "80001000", none, {range(kMsgMemoryAddressSize)}, {}},
      {"80001000", "80002000", notHooked, {usb(kMsgFillNotHooked)}, {0x35}},
      {"80001000", "80002000", noReply, {usb(kMsgReadResponse)}, {0x35}},
      {"80001000", "80002000", rangeShort, {usb(kMsgSendCommand)}, {0x35, 0x80, 0x00, 0x10, 0x00}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.start) + " " + row.end);
    Restart();
    row.arm();
    EXPECT_EQ(OnFillMemoryPressed(row.start, row.end), row.messages.empty() ? 1 : 0);
    EXPECT_EQ(ui().messages(), row.messages);
    EXPECT_EQ(Sent(), row.sent);
  }
  Restart();
  model().uploads.fillByte = 0xEE;
  ASSERT_EQ(OnFillMemoryPressed("80001000", "80001010"), 1);
  EXPECT_EQ(Memory(0x1000, 16), std::vector<uint8_t>(16, 0xEE));
}

// Full packets written then acknowledged; the final part read without an answer. (The address
// boxes and the file dialog: the other dump tests.)
TEST_F(MemoryOpsTest, DumpSizesAtThePacketBoundaries) {
  for (uint32_t bytes : {0u, 100u, 63488u, 2 * 63488u + 5, 25'165'824u}) {
    SCOPED_TRACE(bytes);
    Restart();
    ASSERT_EQ(DumpMemoryToPath(TempPath("dump.bin"), 0x80000000, 0x80000000 + bytes), 1);
    EXPECT_EQ(DumpFile(), Memory(0, bytes));
    // 396 for the whole 24 MiB.
    EXPECT_EQ(model().uploads.dumpAnswers, std::vector<uint8_t>(bytes / 63488, ACK_BLOCK));
    const auto progress = ui().progress();
    EXPECT_EQ(progress.front().high, bytes / 63488);
    EXPECT_EQ(progress.size(), bytes / 63488 + 3);  // range, step, one advance each, emptied
    EXPECT_EQ(progress.back().high, 0u);
    EXPECT_EQ(OnlyMessage(),
              (RecordedMessage{kMsgDumpFinished, kCaptionDone, MessageIcon::None,
                               MessageOwner::None, WrittenFileDetail(TempPath("dump.bin"))}));
    EXPECT_EQ(adapter().timeouts().readMs, kDumpTimeoutMs);
  }
}

TEST_F(MemoryOpsTest, ShortPacketsAreAskedForAgainUpToTheBound) {
  faults().ShortenNextPackets(2, 1000);
  ASSERT_EQ(OnDumpMemoryPressed("80000000", "8001F000"), 1);
  EXPECT_EQ(model().uploads.dumpAnswers, Bytes({0xBB, 0xBB, 0xAA, 0xAA}));
  EXPECT_EQ(DumpFile(), Memory(0, 2 * 63488));

  Restart();
  faults().ShortenNextPackets(1000, 1000);
  EXPECT_EQ(OnDumpMemoryPressed("80000000", "8001F000"), 0);
  EXPECT_EQ(OnlyMessage(), Box(kMsgTooManyAttempts, kCaptionUsbError));
  EXPECT_EQ(model().uploads.dumpAnswers,
            std::vector<uint8_t>(kMaxAttemptsPerPacket - 1, RETRY_BLOCK));
  EXPECT_EQ(ui().progress().back().high, 0u);
  EXPECT_TRUE(DumpFile().empty());
}

// A short final part keeps what came, never padded with stale bytes; a reversed range sends
// nothing; a full disk fails at the end rather than claiming success.
TEST_F(MemoryOpsTest, DumpFailures) {
  const RecordedMessage fatal = Box("Error: Fatal USB Read Error. Exiting.", "TRANSMIT ERROR");
  const auto usb = [](const char* text) { return Box(text, kCaptionUsbError); };
  const auto file = [](const char* text) { return Box(text, kCaptionFileError); };
  const std::string full = FullDevice().value_or(TempPath("no/dir/full"));
  const RecordedMessage fullText = file(FullDevice() ? kMsgWriteToFile : kMsgFopen);
  const struct {
    std::function<void()> arm;
    int result;
    std::vector<RecordedMessage> messages;
    uint32_t fileBytes;
    const char* end = "8000F864";
  } rows[] = {
      {[this] { ui().SetSaveFile(std::nullopt); }, 2, {}, 0},
      {[this] { model().uploads.hooked = false; }, 0, {usb(kMsgDumpNotHooked)}, 0},
      {[this] { ui().SetSaveFile(TempPath("no/dir/dump.bin")); }, 0, {file(kMsgFopen)}, 0},
      {[this] { faults().FailNextReads(1, 1); }, 0, {fatal, usb(kMsgUsbTransmit)}, 0},
      {[this] { faults().FailNextReads(1, 2); }, 0, {fatal, usb(kMsgDumpLastPart)}, 63488},
      {[this] { faults().ShortenNextPackets(1, 40); }, 0, {usb(kMsgDumpLastPart)}, 40, "80000064"},
      {[] {}, 0, {Box(kMsgEndBelowStart, kCaptionRangeError)}, 0, "7FFFFFFF"},
      {[&] { ui().SetSaveFile(full); }, 0, {fullText}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
    Restart();
    row.arm();
    EXPECT_EQ(OnDumpMemoryPressed("80000000", row.end), row.result);
    EXPECT_EQ(ui().messages(), row.messages);
    EXPECT_TRUE(BarEmpty(ui()));
    EXPECT_EQ(DumpFile(), Memory(0, row.fileBytes));
  }
}

// Nothing selected sends nothing; a launch that fails leaves alone the time-outs that a dump
// raised to 20 s, and one that goes out restores the ordinary ones.
TEST_F(MemoryOpsTest, HookLaunch) {
  for (int selection : {-1, 5}) {
    ui().SetSelection(selection);
    EXPECT_EQ(LaunchGameWithHook(), 0);
  }
  EXPECT_TRUE(Sent().empty());
  ASSERT_EQ(OnDumpMemoryPressed("80000000", "80000010"), 1);
  ui().SetSelection(4);
  faults().ShortenNextWrites(1);
  EXPECT_EQ(LaunchGameWithHook(), 0);
  EXPECT_EQ(adapter().timeouts().readMs, 20000u);
  // The list's first entry; the rest of the table is the product's own.
  ui().SetSelection(0);
  ASSERT_EQ(LaunchGameWithHook(), 1);
  EXPECT_EQ(adapter().timeouts().readMs, 2000u);
  EXPECT_EQ(model().uploads.hooks, Bytes({0x01}));
  EXPECT_EQ(Texts(ui()),
            (std::vector<std::string>{kMsgNoHookSelected, kMsgNoHookSelected, kMsgDumpFinished,
                                      kMsgSendCommand, kMsgHookStarted}));
}

}  // namespace
}  // namespace zemlo
