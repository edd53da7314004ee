#include <gtest/gtest.h>

#include <vector>

#include "link/bytes.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

using LinkTest = SimFixture;
using sim::ConnectStep;

// Reads and writes share the fatal path; only the text differs (the write's: the upload test).
TEST_F(LinkTest, DriverErrorIsFatalOnce) {
  uint8_t byte = 0;
  faults().FailNextReads();
  EXPECT_EQ(ReadExact(&byte, 1), TRANSFER_FAILED);
  EXPECT_EQ(OnlyMessage(), Box("Error: Fatal USB Read Error. Exiting.", "TRANSMIT ERROR"));
  EXPECT_EQ(ui().quitRequests(), 1);
  EXPECT_EQ(g_connected, 0);
  EXPECT_EQ(g_ftHandle.load(), nullptr);
  EXPECT_EQ(adapter().openHandles(), 0);
  // Once closed, a purge does nothing and says nothing.
  EXPECT_EQ(PurgeLink(), FT_OK);
  EXPECT_EQ(ui().messages().size(), 1u);
}

TEST_F(LinkTest, ConnectFailsAtEachStepWithItsMessage) {
  const struct {
    ConnectStep step;
    const char* text;
  } cases[] = {
      {ConnectStep::Open, "Error: Couldn't connect to USB Zemlo. Please check connection"},
      {ConnectStep::Reset, "Error: Couldn't reset device."},
      {ConnectStep::Timeouts, "Error: Couldn't set timeouts."},
      {ConnectStep::PurgeRx, "Error: Couldn't purge buffers."},
      {ConnectStep::PurgeTx, "Error: Couldn't purge buffers."},
      {ConnectStep::UsbParameters, "Error: Couldn't set USB Parameters."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ui().Clear();
    faults().FailConnectStep(c.step);
    EXPECT_EQ(Connect(), 0);
    EXPECT_EQ(OnlyMessage(), Box(c.text, "USB ERROR"));
    EXPECT_TRUE(c.step != ConnectStep::Open || LinkStatus.load() != FT_OK);
    EXPECT_EQ(adapter().openHandles(), 0);
    EXPECT_EQ(ui().quitRequests(), 0);
  }
  // Connecting again re-runs the whole sequence with the fixed configuration.
  adapter().TakeTimeoutHistory();
  EXPECT_EQ(Connect(), 1);
  EXPECT_EQ(adapter().openHandles(), 1);
  EXPECT_EQ(adapter().TakeTimeoutHistory().size(), 1u);
  EXPECT_EQ(adapter().timeouts().readMs, 2000u);
  EXPECT_EQ(adapter().timeouts().writeMs, 2000u);
  // A second connect replaces the open handle, and the new link carries bytes.
  EXPECT_EQ(Connect(), 1);
  EXPECT_EQ(adapter().openHandles(), 1);
  const uint8_t command = CMD_FREEZE;
  EXPECT_EQ(WriteExact(&command, 1), TRANSFER_COMPLETE);
  EXPECT_EQ(Sent(), std::vector<uint8_t>{CMD_FREEZE});
}

TEST(ByteUtilities, SumWrapsAndAgreesAtEveryAlignment) {
  // Wraps modulo 2^32 rather than saturating; a negative count sums nothing.
  std::vector<uint8_t> many(16'843'010, 0xFF);  // 255 * that = 2^32 + 254
  EXPECT_EQ(ByteSum(many.data(), static_cast<int32_t>(many.size())), 254u);
  EXPECT_EQ(ByteSum(many.data(), -5), 0u);
  // Every length and alignment around the vector width agrees with a plain byte-by-byte sum.
  const std::vector<uint8_t> mixed = Pattern(300);
  for (int32_t start = 0; start < 17; ++start) {
    for (int32_t count = 0; start + count <= 283; ++count) {
      uint32_t plain = 0;
      for (int32_t i = 0; i < count; ++i) plain += mixed[static_cast<size_t>(start + i)];
      ASSERT_EQ(ByteSum(mixed.data() + start, count), plain) << start << "+" << count;
    }
  }
}

}  // namespace
}  // namespace zemlo::testing
