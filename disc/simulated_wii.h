// A Wii disc made up for the simulated console: the boot header, the partition table at 0x40000
// with one data partition, region data, and the partition itself (ticket, TMD, H3 table, then
// clusters encrypted with a title key that the ticket holds encrypted by the simulator's own
// common key). The partition's plain data is laid out as the simulated GameCube disc is. Bytes
// are made a group of 64 clusters at a time, keeping the last one for reads in order, so a
// dual-layer disc costs a few MiB. Only the H3 table (and the TMD's hash of it) needs every group
// hashed once: a helper thread starts on that at once, and the first read that reaches the
// partition joins in and waits for the rest, so the bytes before it go out without delay.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
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

  // `abandoned`, when given, is asked between groups while the H3 table is made (from the helper
  // thread too): once it says true nobody takes the bytes any more, so the table is left
  // unfinished and the partition's header served from then on is not the disc's.
  SimulatedWiiDisc(std::string gameId, std::string title, uint64_t size,
                   std::function<bool()> abandoned = {});
  ~SimulatedWiiDisc();
  SimulatedWiiDisc(const SimulatedWiiDisc&) = delete;
  SimulatedWiiDisc& operator=(const SimulatedWiiDisc&) = delete;

  // Not const: keeps the group it made last.
  void Read(uint64_t offset, uint8_t* out, size_t count);

  uint64_t size() const { return size_; }
  // The partition's data clusters: whole groups, as many as its files need.
  uint64_t dataSize() const;

 private:
  // Fills `into` with the plain clusters of a group and their hashes; returns its H3 entry.
  Sha1Digest BuildPlainGroup(uint64_t group, uint8_t* into) const;
  const uint8_t* EncryptedGroup(uint64_t group);
  // Takes the next group nobody has taken and puts its H3 entry in head_, until none is left.
  void HashGroups();
  // The H3 table and the TMD's hash of it, in head_ before any of the partition is served.
  void FinishHead();

  std::string gameId_;
  uint64_t size_;
  uint64_t groups_ = 0;
  AesKey titleKey_{};
  std::unique_ptr<SimulatedGameCubeDisc> content_;  // the partition's plain data
  std::vector<uint8_t> head_;                       // the disc up to the partition's data
  std::vector<uint8_t> group_;
  uint64_t groupHeld_ = UINT64_MAX;
  std::function<bool()> abandoned_;
  std::atomic<uint64_t> nextGroup_{0};
  std::atomic<bool> stopHashing_{false};
  bool headFinished_ = false;
  std::thread helper_;  // last: it uses all of the above
};

}  // namespace zemlo::disc
