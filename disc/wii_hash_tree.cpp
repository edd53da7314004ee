#include "disc/wii_hash_tree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zemlo::disc {
namespace {

constexpr uint32_t kSubgroupsPerGroup = kClustersPerGroup / kClustersPerSubgroup;

bool Matches(const Sha1Digest& digest, const uint8_t* stored) {
  return std::equal(digest.begin(), digest.end(), stored);
}

}  // namespace

Sha1Digest BuildGroupHashes(uint8_t* group, uint32_t clusters) {
  std::array<uint8_t, kSubgroupsPerGroup * kH1TableSize> h1{};  // each subgroup's H1 table
  std::array<uint8_t, kH2TableSize> h2{};
  for (uint32_t c = 0; c < clusters; ++c) {
    uint8_t* cluster = group + size_t{c} * kClusterSize;
    std::memset(cluster, 0, kClusterHashSize);
    for (uint32_t block = 0; block < kH0Count; ++block) {
      const Sha1Digest h0 = Sha1(cluster + kClusterHashSize + block * kH0BlockSize, kH0BlockSize);
      std::copy(h0.begin(), h0.end(), cluster + ClusterHashField::kH0 + block * 20);
    }
    const Sha1Digest entry = Sha1(cluster + ClusterHashField::kH0, kH0TableSize);
    std::copy(entry.begin(), entry.end(),
              &h1[c / kClustersPerSubgroup * kH1TableSize + c % kClustersPerSubgroup * 20]);
  }
  for (uint32_t s = 0; s * kClustersPerSubgroup < clusters; ++s) {
    const Sha1Digest entry = Sha1(&h1[s * kH1TableSize], kH1TableSize);
    std::copy(entry.begin(), entry.end(), &h2[s * 20]);
  }
  for (uint32_t c = 0; c < clusters; ++c) {
    uint8_t* cluster = group + size_t{c} * kClusterSize;
    std::copy_n(&h1[c / kClustersPerSubgroup * kH1TableSize], kH1TableSize,
                cluster + ClusterHashField::kH1);
    std::copy(h2.begin(), h2.end(), cluster + ClusterHashField::kH2);
  }
  return Sha1(h2.data(), h2.size());
}

HashFault CheckGroupHashes(const uint8_t* group, uint32_t clusters, const Sha1Digest& h3Entry) {
  for (uint32_t c = 0; c < clusters; ++c) {
    const uint8_t* cluster = group + size_t{c} * kClusterSize;
    // From the top down, so a fault is reported at the hash that covers the changed bytes.
    if (!Matches(Sha1(cluster + ClusterHashField::kH2, kH2TableSize), h3Entry.data())) {
      return {HashLevel::kH3, c};
    }
    if (!Matches(Sha1(cluster + ClusterHashField::kH1, kH1TableSize),
                 cluster + ClusterHashField::kH2 + c / kClustersPerSubgroup * 20)) {
      return {HashLevel::kH2, c};
    }
    if (!Matches(Sha1(cluster + ClusterHashField::kH0, kH0TableSize),
                 cluster + ClusterHashField::kH1 + c % kClustersPerSubgroup * 20)) {
      return {HashLevel::kH1, c};
    }
    for (uint32_t block = 0; block < kH0Count; ++block) {
      if (!Matches(Sha1(cluster + kClusterHashSize + block * kH0BlockSize, kH0BlockSize),
                   cluster + ClusterHashField::kH0 + block * 20)) {
        return {HashLevel::kH0, c};
      }
    }
  }
  return {};
}

std::optional<HashFault> CheckWiiPartition(const DiscReader& read, uint64_t partitionOffset,
                                           const AesKey& commonKey) {
  const std::optional<WiiPartitionHeader> header = ReadWiiPartitionHeader(read, partitionOffset);
  if (!header) return std::nullopt;
  const std::optional<AesKey> titleKey = DecryptTitleKey(*header, commonKey);
  std::vector<uint8_t> h3(kH3TableSize);
  if (!titleKey || !read(partitionOffset + header->h3Offset, h3.data(), h3.size())) {
    return std::nullopt;
  }
  if (!Matches(Sha1(h3.data(), h3.size()), header->h3Hash.data())) {
    return HashFault{HashLevel::kH3Table, 0};
  }
  const uint64_t totalClusters = header->dataSize / kClusterSize;
  if (totalClusters > uint64_t{kMaxGroups} * kClustersPerGroup) return std::nullopt;
  std::vector<uint8_t> group(kGroupSize);
  for (uint64_t first = 0; first < totalClusters; first += kClustersPerGroup) {
    const uint32_t clusters =
        static_cast<uint32_t>(std::min<uint64_t>(kClustersPerGroup, totalClusters - first));
    if (!read(partitionOffset + header->dataOffset + first * kClusterSize, group.data(),
              size_t{clusters} * kClusterSize)) {
      return std::nullopt;
    }
    for (uint32_t c = 0; c < clusters; ++c) {
      if (!DecryptCluster(*titleKey, &group[size_t{c} * kClusterSize])) return std::nullopt;
    }
    Sha1Digest entry;
    std::copy_n(&h3[first / kClustersPerGroup * 20], entry.size(), entry.begin());
    const HashFault fault = CheckGroupHashes(group.data(), clusters, entry);
    if (fault.level != HashLevel::kNone) return HashFault{fault.level, first + fault.cluster};
  }
  return HashFault{};
}

}  // namespace zemlo::disc
