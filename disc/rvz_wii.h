// Wii partitions in RVZ, as Dolphin's documentation (docs/WiaAndRvz.md) describes them: a
// partition's clusters are stored decrypted and without their hash blocks, 0x7C00 bytes each. A
// reader rebuilds the hashes from the data as a disc is mastered; where the disc's own hashes (or
// the padding between them) differ, the file keeps the disc's 20 bytes as an exception, listed
// before the group's data, so that the rebuilt and re-encrypted clusters are the disc's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "disc/wii_crypto.h"

namespace zemlo::disc::rvz {

// Hash exception: offset into the hash blocks of its list's clusters (0x400 per cluster), then
// the 20 bytes.
inline constexpr uint32_t kExceptionSize = 2 + 20;
// A partition entry: the title key, then two runs of clusters (first cluster on the disc, count,
// first group, group count).
inline constexpr uint32_t kPartitionKey = 0x00;
inline constexpr uint32_t kPartitionRuns = 0x10;
inline constexpr uint32_t kPartitionRunSize = 0x10;

struct HashException {
  uint32_t offset;  // within the hash blocks of the whole 64-cluster group
  Sha1Digest bytes;
};

// A group of encrypted clusters (`clusters` of them, at most 64) as RVZ keeps it: `data` gains
// their plain data, `lists` one serialized exception list per `clustersPerList` clusters (each
// offset counted from the list's first cluster). False when the provider failed.
bool SplitWiiGroup(const AesKey& titleKey, uint8_t* group, uint32_t clusters,
                   uint32_t clustersPerList, std::vector<uint8_t>& data,
                   std::vector<std::vector<uint8_t>>& lists);

// The reverse: the clusters of a group (`data` holds their plain data) with hashes rebuilt, the
// exceptions applied and every cluster encrypted into `out`. False when an exception lies outside
// the hash blocks or the provider failed.
bool RebuildWiiGroup(const AesKey& titleKey, const uint8_t* data, uint32_t clusters,
                     const std::vector<HashException>& exceptions, uint8_t* out);

// Reads `count` exception lists from the front of `bytes`, offsets as stored; nullopt when they
// run past the end. `used` gets the bytes they took.
std::optional<std::vector<std::vector<HashException>>> ParseExceptionLists(const uint8_t* bytes,
                                                                           size_t size,
                                                                           uint32_t count,
                                                                           size_t& used);

// What a writer learns of a Wii disc's layout as its bytes go by, in order: the partition table,
// then each partition's header as the stream passes it. A partition laid out as no partition can
// be (misplaced, overlapping, unsigned) is left as plain disc bytes.
struct PartitionPlan {
  uint64_t offset = 0;
  uint64_t dataStart = 0;
  uint64_t dataEnd = 0;  // after the last whole cluster
  AesKey titleKey{};
  bool known = false;
  bool usable = false;
};

class WiiDiscMap {
 public:
  explicit WiiDiscMap(const AesKey& commonKey) : commonKey_(commonKey) {}
  void Feed(uint64_t at, const uint8_t* data, size_t count);
  // How far the disc may be taken before more of it must be known.
  uint64_t KnownUpTo() const;
  // The first usable partition whose data starts at or after `at`; null when none is known.
  const PartitionPlan* NextPartition(uint64_t at) const;

 private:
  void ReadTable();
  void ReadHeader(PartitionPlan& partition);

  AesKey commonKey_;
  std::vector<uint8_t> system_;  // the disc up to where partitions may start
  bool tableKnown_ = false;
  uint64_t tableEnd_ = 0;
  std::vector<PartitionPlan> partitions_;
  std::vector<uint8_t> header_;  // of the first partition not yet known
};

}  // namespace zemlo::disc::rvz
