#include <gtest/gtest.h>

#include "debugger/hook_launcher.h"
#include "debugger/memory_ops.h"
#include "protocol/messages.h"
#include "tests/memory/message_print.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Bytes;
using testing::RecordedMessage;

class HookTest : public testing::SimFixture {};

TEST_F(HookTest, EachPositionSendsItsOneByte) {
  const std::vector<uint8_t> bytes{0x01, 0x13, 0x33, 0x34, 0x42};
  ShowHookTypes();
  ASSERT_EQ(ui().list().size(), 5u);
  EXPECT_EQ(ui().list()[4], "5. Wii Game Hooks");
  for (int position = 0; position < 5; ++position) {
    ui().Clear();
    adapter().TakeTimeoutHistory();
    ui().SetSelection(position);
    ASSERT_EQ(LaunchGameWithHook(), 1);
    EXPECT_EQ(Sent(), std::vector<uint8_t>{bytes[static_cast<size_t>(position)]});
    EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgHookStarted, kCaptionDone, MessageIcon::None,
                                              MessageOwner::None}));
    const auto history = adapter().TakeTimeoutHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].readMs, 2000u);
  }
  EXPECT_EQ(model().uploads.hooks, bytes);
}

TEST_F(HookTest, NothingIsSentWithoutASelection) {
  for (int selection : {-1, 5}) {
    ui().Clear();
    ui().SetSelection(selection);
    EXPECT_EQ(LaunchGameWithHook(), 0);
    EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgNoHookSelected, kCaptionError, MessageIcon::Error,
                                              MessageOwner::None}));
  }
  EXPECT_TRUE(Sent().empty());
}

// A dump leaves 20 s time-outs; only a launch that sent its byte brings back 2 s.
TEST_F(HookTest, FailedLaunchLeavesTheDumpTimeouts) {
  ui().SetSaveFile(TempPath("dump.bin"));
  ASSERT_EQ(OnDumpMemoryPressed("80000000", "80000010"), 1);
  ui().Clear();
  ui().SetSelection(4);
  faults().ShortenNextWrites(1);
  EXPECT_EQ(LaunchGameWithHook(), 0);
  EXPECT_EQ(OnlyMessage().text, kMsgSendCommand);
  EXPECT_EQ(adapter().timeouts().readMs, 20000u);
  EXPECT_EQ(LaunchGameWithHook(), 1);
  EXPECT_EQ(adapter().timeouts().readMs, 2000u);
  Disconnect();
  ui().Clear();
  EXPECT_EQ(LaunchGameWithHook(), 0);
  EXPECT_EQ(OnlyMessage().owner, MessageOwner::Dialog);
}

}  // namespace
}  // namespace zemlo
