// The in-process link under the ways a client may take a long packet: in pieces, purged half-way,
// or not at all while a test inspects the console.
#include <gtest/gtest.h>

#include <atomic>

#include "link/bytes.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "sim/disc_source.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

constexpr uint32_t kPacket = 61444;

class SimLinkTest : public SimFixture {
 protected:
  // Starts a GameCube stream and returns the first packet as the console sends it.
  std::vector<uint8_t> StartStream() {
    const uint8_t command = CMD_DVD_GAMECUBE;
    WriteExact(&command, 1);
    uint8_t acks[2] = {};
    EXPECT_EQ(ReadExact(acks, 2), TRANSFER_COMPLETE);
    EXPECT_EQ(acks[0], REPLY_ACK);
    EXPECT_EQ(acks[1], REPLY_ACK);
    std::vector<uint8_t> packet = sim::GeneratedDiscBytes(sim::DiscType::GameCube, 0, 61440);
    packet.resize(kPacket);
    WriteBE32(&packet[61440], ByteSum(packet.data(), 61440));
    return packet;
  }
};

TEST_F(SimLinkTest, PacketTakenInPiecesArrivesWhole) {
  const std::vector<uint8_t> expected = StartStream();
  std::vector<uint8_t> packet(kPacket);
  for (uint32_t at = 0; at < kPacket; at += 1000) {
    const uint32_t part = std::min<uint32_t>(1000, kPacket - at);
    ASSERT_EQ(ReadExact(&packet[at], part), TRANSFER_COMPLETE) << at;
  }
  EXPECT_EQ(packet, expected);
  // Nothing more comes until the client answers.
  uint8_t extra = 0;
  EXPECT_EQ(ReadExact(&extra, 1), TRANSFER_SHORT);
}

// Looking at the console's model mid-packet must neither hang nor lose the packet; a purge drops
// what is left of it, and neither a resend nor closing the link with a packet unread gets stuck.
TEST_F(SimLinkTest, InspectionPurgeResendAndClose) {
  const std::vector<uint8_t> expected = StartStream();
  EXPECT_EQ(model().extract.packetsAccepted, 0u);
  std::vector<uint8_t> packet(kPacket);
  ASSERT_EQ(ReadExact(packet.data(), 1000), TRANSFER_COMPLETE);
  PurgeLink();
  std::atomic<uint32_t> moved{0};
  EXPECT_EQ(ReadExact(packet.data(), kPacket, moved), TRANSFER_SHORT);
  EXPECT_EQ(moved, 0u);

  const uint8_t again = RETRY_BLOCK;
  WriteExact(&again, 1);
  std::fill(packet.begin(), packet.end(), 0);
  ASSERT_EQ(ReadExact(packet.data(), kPacket), TRANSFER_COMPLETE);
  EXPECT_EQ(packet, expected);
  const uint8_t next = ACK_BLOCK;
  WriteExact(&next, 1);
  Disconnect();
  EXPECT_EQ(adapter().openHandles(), 0);
}

}  // namespace
}  // namespace zemlo::testing
