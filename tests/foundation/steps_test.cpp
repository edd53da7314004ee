#include <gtest/gtest.h>

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
  EXPECT_EQ(ui().progress().back().high, 0u);
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

TEST_F(StepsTest, BlockDownloadRetriesShortBlocksAndStoresEachOnce) {
  adapter().console().commands().Register(kTestStream, ServeTwoBlocks);
  ASSERT_TRUE(SendCommand(kTestStream));
  faults().ShortenNextPackets(1, 100);
  std::vector<uint8_t> stored;
  BlockDownload download;
  download.fullBlocks = 2;
  download.lastSize = 0x10;
  download.store = [&](const uint8_t* data, uint32_t size) {
    stored.insert(stored.end(), data, data + size);
    return true;
  };
  EXPECT_TRUE(RunBlockDownload(download));
  EXPECT_TRUE(ui().messages().empty());
  const auto& memory = model().memory;
  EXPECT_EQ(stored, std::vector<uint8_t>(memory.begin(), memory.begin() + 2 * 0xF800 + 0x10));
  EXPECT_EQ(ui().progress().back().high, 0u);  // the bar was emptied at the end
  // The short block was answered 0xBB, then each whole block 0xAA.
  EXPECT_EQ(Sent(), Bytes({kTestStream, RETRY_BLOCK, ACK_BLOCK, ACK_BLOCK}));
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
