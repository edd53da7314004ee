#include <gtest/gtest.h>

#include "debugger/hook_launcher.h"
#include "debugger/memory_ops.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using namespace zemlo::testing;

class HookTest : public SimFixture {};

TEST_F(HookTest, EachPositionSendsItsOneByteThenRestoresTimeouts) {
  const std::vector<uint8_t> bytes{0x01, 0x13, 0x33, 0x34, 0x42};
  for (int position = 0; position < 5; ++position) {
    ui().Clear();
    adapter().TakeTimeoutHistory();
    ui().SetSelection(position);
    ASSERT_EQ(LaunchGameWithHook(), 1);
    EXPECT_EQ(Sent(), std::vector<uint8_t>{bytes[static_cast<size_t>(position)]});
    EXPECT_EQ(OnlyMessage(), Box(kMsgHookStarted, kCaptionDone, MessageIcon::None));
    const auto history = adapter().TakeTimeoutHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].readMs, 2000u);
  }
  EXPECT_EQ(model().uploads.hooks, bytes);
}

// Nothing selected sends nothing; a launch that fails leaves a dump's 20 s time-outs alone.
TEST_F(HookTest, Failures) {
  for (int selection : {-1, 5}) {
    ui().SetSelection(selection);
    EXPECT_EQ(LaunchGameWithHook(), 0);
  }
  EXPECT_TRUE(Sent().empty());
  ui().SetSaveFile(TempPath("dump.bin"));
  ASSERT_EQ(OnDumpMemoryPressed("80000000", "80000010"), 1);
  ui().SetSelection(4);
  faults().ShortenNextWrites(1);
  EXPECT_EQ(LaunchGameWithHook(), 0);
  EXPECT_EQ(adapter().timeouts().readMs, 20000u);
  EXPECT_EQ(ui().messages(), (std::vector<RecordedMessage>{
                                 Box(kMsgNoHookSelected, kCaptionError),
                                 Box(kMsgNoHookSelected, kCaptionError),
                                 {kMsgDumpFinished, kCaptionDone, MessageIcon::None,
                                  MessageOwner::None, WrittenFileDetail(TempPath("dump.bin"))},
                                 Box(kMsgSendCommand, kCaptionUsbError)}));
}

}  // namespace
}  // namespace zemlo
