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

using SimLinkTest = SimFixture;

// Disc packet `index` of a GameCube stream as the console sends it.
std::vector<uint8_t> Packet(uint32_t index) {
  std::vector<uint8_t> packet = sim::GeneratedDiscBytes(
      sim::DiscType::GameCube, sim::ExtractModel{}.gamecube.size(), index * 61440, 61440);
  packet.resize(kPacket);
  WriteBE32(&packet[61440], ByteSum(packet.data(), 61440));
  return packet;
}

// Looking at the console's model mid-packet must neither hang nor lose the packet; a packet taken
// in pieces arrives whole and nothing follows it unanswered; a purge drops what is left of the
// next, and neither a resend nor closing the link with a packet unread gets stuck.
TEST_F(SimLinkTest, PiecesInspectionPurgeResendAndClose) {
  const uint8_t command = CMD_DVD_GAMECUBE, ack = ACK_BLOCK, again = RETRY_BLOCK;
  WriteExact(&command, 1);
  uint8_t replies[2] = {};
  EXPECT_EQ(ReadExact(replies, 2), TRANSFER_COMPLETE);
  EXPECT_EQ(replies[0], REPLY_ACK);
  EXPECT_EQ(model().extract.packetsAccepted, 0u);
  std::vector<uint8_t> packet(kPacket);
  for (uint32_t at = 0; at < kPacket; at += 1000) {
    ASSERT_EQ(ReadExact(&packet[at], std::min<uint32_t>(1000, kPacket - at)), TRANSFER_COMPLETE);
  }
  EXPECT_EQ(packet, Packet(0));
  EXPECT_EQ(ReadExact(packet.data(), 1), TRANSFER_SHORT);

  WriteExact(&ack, 1);
  ASSERT_EQ(ReadExact(packet.data(), 1000), TRANSFER_COMPLETE);
  PurgeLink();
  std::atomic<uint32_t> moved{0};
  EXPECT_EQ(ReadExact(packet.data(), kPacket, moved), TRANSFER_SHORT);
  EXPECT_EQ(moved, 0u);
  WriteExact(&again, 1);
  ASSERT_EQ(ReadExact(packet.data(), kPacket), TRANSFER_COMPLETE);
  EXPECT_EQ(packet, Packet(1));
  WriteExact(&ack, 1);
  Disconnect();
  EXPECT_EQ(adapter().openHandles(), 0);
}

}  // namespace
}  // namespace zemlo::testing
