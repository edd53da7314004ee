// A Wii disc made up for the simulated console: the boot header, the partition table at 0x40000
// with one data partition, region data, and the partition itself (ticket, TMD, H3 table, then
// clusters encrypted with a title key that the ticket holds encrypted by the simulator's own
// common key). The partition's plain data is laid out as the simulated GameCube disc is. Bytes
// are made a group of 64 clusters at a time, keeping the last one for reads in order, so a
// dual-layer disc costs a few MiB; only the H3 table needs every group hashed once, up front.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disc/simulated_gamecube.h"
#include "disc/wii_crypto.h"

namespace zemlo::disc {

// Made up for the simulator ("zemlo sim common"); no console uses it, and discs made with it
// decrypt only with it.
inline constexpr AesKey kSimulatedCommonKey{'z', 'e', 'm', 'l', 'o', ' ', 's', 'i',
                                            'm', ' ', 'c', 'o', 'm', 'm', 'o', 'n'};

class SimulatedWiiDisc {
 public:
  static constexpr uint64_t kPartitionOffset = 0x50000;
  static constexpr uint64_t kH3Offset = 0x8000;     // within the partition
  static constexpr uint64_t kDataOffset = 0x20000;  // within the partition

  SimulatedWiiDisc(std::string gameId, std::string title, uint64_t size);
  ~SimulatedWiiDisc();

  // Not const: keeps the group it made last.
  void Read(uint64_t offset, uint8_t* out, size_t count);

  uint64_t size() const { return size_; }
  // The partition's data clusters: whole groups, as many as its files need.
  uint64_t dataSize() const;

 private:
  // Fills group_ with the plain clusters of a group and their hashes; returns its H3 entry.
  Sha1Digest BuildPlainGroup(uint64_t group);
  const uint8_t* EncryptedGroup(uint64_t group);

  std::string gameId_;
  uint64_t size_;
  uint64_t groups_ = 0;
  AesKey titleKey_{};
  std::unique_ptr<SimulatedGameCubeDisc> content_;  // the partition's plain data
  std::vector<uint8_t> head_;                       // the disc up to the partition's data
  std::vector<uint8_t> group_;
  uint64_t groupHeld_ = UINT64_MAX;
};

}  // namespace zemlo::disc
