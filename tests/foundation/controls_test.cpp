#include <gtest/gtest.h>

#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/console_controls.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

class ControlsTest : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_keepExtracting = 0;
    g_stopRequested = 0;
  }
};

TEST_F(ControlsTest, FreezeAndUnfreezeSendOneByteEach) {
  EXPECT_EQ(FreezeConsole(), 1);
  EXPECT_EQ(FreezeConsole(), 1);
  EXPECT_EQ(Sent(), Bytes({0x06, 0x06}));
  EXPECT_TRUE(model().frozen);
  EXPECT_EQ(UnfreezeConsole(), 1);
  EXPECT_EQ(Sent(), Bytes({0x07}));
  EXPECT_FALSE(model().frozen);
  EXPECT_TRUE(ui().messages().empty());
}

TEST_F(ControlsTest, FreezeNotSentSaysSo) {
  faults().ShortenNextWrites();
  EXPECT_EQ(FreezeConsole(), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgSendCommand, "USB Error", MessageIcon::Error,
                                            MessageOwner::None}));
}

TEST_F(ControlsTest, StopSendsBaAndRaisesFlags) {
  g_keepExtracting = 1;
  EXPECT_EQ(StopExtraction(), 1);
  EXPECT_EQ(Sent(), Bytes({0xBA}));
  EXPECT_EQ(g_stopRequested, 1);
  EXPECT_EQ(g_keepExtracting, 0);
  EXPECT_EQ(model().stopCount, 1u);
  // A stop byte that does not go out still stops the worker, silently.
  g_keepExtracting = 1;
  faults().ShortenNextWrites();
  EXPECT_EQ(StopExtraction(), 1);
  EXPECT_EQ(g_keepExtracting, 0);
  EXPECT_TRUE(ui().messages().empty());
}

}  // namespace
}  // namespace zemlo::testing
