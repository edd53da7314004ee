// Receiving one packet or page of a stream without mistaking a slow console for a bad packet.
//
// The stream has no sequence numbers: the console sends one packet for each answer it receives.
// Answering 0xBB to a packet that has not even begun to arrive (a drive retrying a scratched
// sector takes longer than the read time-out) makes the console send it twice, and from then on
// the image is shifted by a packet. So a read that times out with nothing received is waited out
// (bounded); only a packet that arrived in part or damaged is asked for again.
#pragma once

#include <cstdint>
#include <functional>

namespace zemlo {

enum class PacketRead {
  Whole,    // every byte arrived
  Partial,  // some bytes, then a read time-out
  Stopped,  // nothing arrived and the user stopped the run meanwhile
  Silent,   // nothing arrived for the whole wait
  Failed,   // driver error, already reported
};

// The longest wait for a packet that has not begun to arrive, as for an unlimited driver wait.
inline constexpr uint32_t kPacketWaitCapMs = 300'000;

// Reads `size` bytes into `into` (zero where nothing arrived). `waiting` is called once when the
// first read time-out passes with nothing received, so the caller can say that the console is still
// reading.
PacketRead ReadPacket(uint8_t* into, uint32_t size, const std::function<void()>& waiting,
                      uint32_t capMs = kPacketWaitCapMs);

// After the last part of a stream nothing more may come: any further bytes mean that the two
// sides fell out of step. Waits briefly with a short time-out and restores `timeoutMs` after.
bool StreamIsSilent(uint32_t timeoutMs);

}  // namespace zemlo
