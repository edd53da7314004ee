// The hash tree that lets a console trust a Wii partition's data: H0 hashes each 0x400 bytes of a
// cluster's data, H1 each H0 table of a subgroup of 8 clusters, H2 each H1 table of a group of 8
// subgroups, the partition's H3 table each group's H2 table, and the TMD the H3 table. A cluster
// carries its own H0 table and copies of its subgroup's H1 and its group's H2.
#pragma once

#include <cstdint>
#include <optional>

#include "disc/wii_cluster.h"
#include "disc/wii_crypto.h"
#include "disc/wii_partition.h"

namespace zemlo::disc {

inline constexpr uint32_t kClustersPerSubgroup = 8;
inline constexpr uint32_t kClustersPerGroup = 64;
inline constexpr uint64_t kGroupSize = uint64_t{kClustersPerGroup} * kClusterSize;
inline constexpr uint32_t kMaxGroups = kH3TableSize / 20;

// Fills the hash blocks of a group of decrypted clusters whose data is in place, and returns the
// group's H3 entry. A group at the end of a partition may hold fewer than 64 clusters; the
// hashes of those it lacks are zeros.
Sha1Digest BuildGroupHashes(uint8_t* group, uint32_t clusters);

// Which hash disagreed with what it covers.
enum class HashLevel {
  kNone,
  kH0,       // a 0x400-byte block of data
  kH1,       // a cluster's H0 table
  kH2,       // a cluster's H1 table
  kH3,       // a cluster's H2 table
  kH3Table,  // the partition's H3 table, against the TMD
};

struct HashFault {
  HashLevel level = HashLevel::kNone;
  uint64_t cluster = 0;  // within the group, or the partition when a whole partition is checked
};

// Checks every cluster of a decrypted group as a console does: its H2 table against the group's
// H3 entry, its H1 table against its subgroup's entry in H2, its H0 table against its entry in
// H1, its data against its H0 table. The first fault, or kNone.
HashFault CheckGroupHashes(const uint8_t* group, uint32_t clusters, const Sha1Digest& h3Entry);

// Checks a partition of a disc: decrypts its title key with `commonKey`, its H3 table against the
// TMD, then every cluster. Nullopt when the partition's header or data cannot be read.
std::optional<HashFault> CheckWiiPartition(const DiscReader& read, uint64_t partitionOffset,
                                           const AesKey& commonKey);

}  // namespace zemlo::disc
