#include "extract/packet_read.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>

#include "link/link.h"
#include "protocol/console_controls.h"

namespace zemlo {
namespace {

constexpr uint32_t kSilenceWindowMs = 250;

}  // namespace

PacketRead ReadPacket(uint8_t* into, uint32_t size, const std::function<void()>& waiting,
                      uint32_t capMs) {
  const auto start = std::chrono::steady_clock::now();
  bool toldWaiting = false;
  for (;;) {
    std::atomic<uint32_t> received{0};
    const TransferResult read = ReadExact(into, size, received);
    if (read == TRANSFER_COMPLETE) return PacketRead::Whole;
    // Zeroing only what did not arrive spares a whole packet's worth of stores per packet.
    const uint32_t got = std::min(received.load(), size);
    std::memset(into + got, 0, size - got);
    if (read == TRANSFER_FAILED) return PacketRead::Failed;
    if (received.load() != 0) return PacketRead::Partial;
    if (!g_keepExtracting || g_stopRequested) return PacketRead::Stopped;
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(capMs)) {
      return PacketRead::Silent;
    }
    if (!toldWaiting && waiting) waiting();
    toldWaiting = true;
  }
}

bool StreamIsSilent(uint32_t timeoutMs) {
  SetLinkTimeouts(kSilenceWindowMs, timeoutMs);
  std::array<uint8_t, 64> extra{};
  std::atomic<uint32_t> received{0};
  const TransferResult read =
      ReadExact(extra.data(), static_cast<uint32_t>(extra.size()), received);
  SetLinkTimeouts(timeoutMs, timeoutMs);
  return read != TRANSFER_FAILED && received.load() == 0;
}

}  // namespace zemlo
