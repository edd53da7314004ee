#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/console_controls.h"
#include "protocol/messages.h"
#include "protocol/steps.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

using StepsTest = SimFixture;

TEST_F(StepsTest, PacketUploadGivesUpAfterTheAttemptBound) {
  // Nothing answers these packets: the bound ends what would otherwise never end.
  std::vector<uint8_t> data(10);
  const PacketUpload upload{4, "failed", "short", nullptr, "last"};
  EXPECT_FALSE(RunPacketUpload(data.data(), 10, upload));
  EXPECT_EQ(OnlyMessage().text, kMsgTooManyAttempts);
  EXPECT_EQ(Sent().size(), 4u * kMaxAttemptsPerPacket);
  EXPECT_TRUE(BarEmpty(ui()));
}

// A block source like the dumps: two blocks of 0xF800 bytes of memory, each resent on 0xBB, then
// a last part of 0x10 bytes.
void ServeTwoBlocks(sim::ConsoleSession& session) {
  const uint8_t* memory = session.model().memory.data();
  for (uint32_t block = 0; block < 2;) {
    uint8_t answer = 0;
    if (!session.Write(memory + block * 0xF800u, 0xF800u) || !session.ReadByte(answer)) return;
    if (answer == ACK_BLOCK) ++block;
  }
  session.Write(memory + 2 * 0xF800u, 0x10);
}

constexpr uint8_t kTestStream = 0x77;

// A short block is answered 0xBB and stored once; a failed read or store ends the download, the
// bar emptied either way.
TEST_F(StepsTest, BlockDownloadRetriesShortBlocksAndStoresEachOnce) {
  const struct {
    std::function<void()> arm;
    int failingStore;  // the store call that fails, or -1
    std::vector<std::string> texts;
    std::vector<uint8_t> answers;  // after the command byte
    uint32_t storedBytes;
  } rows[] = {
      {[this] { faults().ShortenNextPackets(1, 100); },
       -1,
       {},
       {RETRY_BLOCK, ACK_BLOCK, ACK_BLOCK},
       2 * 0xF800 + 0x10},
      {[this] { faults().FailNextReads(1, 1); },
       -1,
       {"Error: Fatal USB Read Error. Exiting.", "Error: USB Transmit Error"},
       {ACK_BLOCK},
       0xF800},
      {[] {}, 0, {}, {}, 0},
      {[] {}, 2, {}, {ACK_BLOCK, ACK_BLOCK}, 2 * 0xF800},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
    Restart();
    adapter().console().commands().Register(kTestStream, ServeTwoBlocks);
    ASSERT_TRUE(SendCommand(kTestStream));
    row.arm();
    std::vector<uint8_t> stored;
    int stores = 0;
    BlockDownload download;
    download.fullBlocks = 2;
    download.lastSize = 0x10;
    download.store = [&](const uint8_t* data, uint32_t size) {
      if (stores++ == row.failingStore) return false;
      stored.insert(stored.end(), data, data + size);
      return true;
    };
    EXPECT_EQ(RunBlockDownload(download), row.texts.empty() && row.failingStore < 0);
    EXPECT_EQ(Texts(ui()), row.texts);
    const auto& memory = model().memory;
    EXPECT_EQ(stored, std::vector<uint8_t>(memory.begin(), memory.begin() + row.storedBytes));
    EXPECT_TRUE(BarEmpty(ui()));
    std::vector<uint8_t> sent{kTestStream};
    sent.insert(sent.end(), row.answers.begin(), row.answers.end());
    EXPECT_EQ(Sent(), sent);
  }
}

// A stop whose byte does not go out still raises the flags that stop the worker, silently (the
// byte itself: the worker's and the CLI's tests). A freeze that does not go out says so.
TEST_F(StepsTest, StopAlwaysStopsAndAFreezeNotSentSaysSo) {
  g_stopRequested = 0;
  g_keepExtracting = 1;
  faults().ShortenNextWrites();
  EXPECT_EQ(StopExtraction(), 1);
  EXPECT_EQ(g_stopRequested, 1);
  EXPECT_EQ(g_keepExtracting, 0);
  EXPECT_TRUE(ui().messages().empty());
  g_stopRequested = 0;

  faults().ShortenNextWrites();
  EXPECT_EQ(FreezeConsole(), 0);
  EXPECT_EQ(OnlyMessage(), Box(kMsgSendCommand, "USB Error"));
}

}  // namespace
}  // namespace zemlo::testing
