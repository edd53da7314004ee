// How soon the simulated dual-layer Wii disc serves its first packet, when the packet that holds
// the partition's TMD (which needs every group hashed) is ready, and how long a whole read in the
// disc stream's packets takes. Run by hand on an optimised build; prints its figures.
//
//   wii_disc_bench [--first-only]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "disc/simulated_wii.h"

namespace {

constexpr uint64_t kDualLayerSize = 8'511'160'320;
constexpr size_t kPacket = 61440;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const bool firstOnly = argc > 1 && std::strcmp(argv[1], "--first-only") == 0;
  std::vector<uint8_t> packet(kPacket);
  const auto start = std::chrono::steady_clock::now();
  zemlo::disc::SimulatedWiiDisc disc("RZDE01", "Zemlo Test Disc (Wii, dual layer)", kDualLayerSize);
  disc.Read(0, packet.data(), kPacket);
  std::printf("first packet: %.3f s\n", SecondsSince(start));
  const uint64_t tmdPacket = zemlo::disc::SimulatedWiiDisc::kPartitionOffset / kPacket;
  for (uint64_t index = 1; index <= tmdPacket; ++index) {
    disc.Read(index * kPacket, packet.data(), kPacket);
  }
  std::printf("packet holding the TMD: %.3f s\n", SecondsSince(start));
  if (firstOnly) return 0;
  for (uint64_t offset = (tmdPacket + 1) * kPacket; offset < kDualLayerSize; offset += kPacket) {
    disc.Read(offset, packet.data(), std::min<uint64_t>(kPacket, kDualLayerSize - offset));
  }
  std::printf("whole disc (%llu bytes): %.3f s\n", static_cast<unsigned long long>(kDualLayerSize),
              SecondsSince(start));
  return 0;
}
