#include "disc/rvz_wii.h"

#include <algorithm>
#include <cstring>

#include "disc/big_endian.h"
#include "disc/wii_cluster.h"
#include "disc/wii_hash_tree.h"
#include "disc/wii_partition.h"

namespace zemlo::disc::rvz {
namespace {

// Every part of a hash block, each compared 20 bytes at a time; the last window of a part that
// is no multiple of 20 overlaps the one before it.
constexpr struct {
  uint32_t offset, size;
} kHashBlockParts[] = {{ClusterHashField::kH0, kH0TableSize},
                       {kH0TableSize, ClusterHashField::kH1 - kH0TableSize},
                       {ClusterHashField::kH1, kH1TableSize},
                       {ClusterHashField::kH1 + kH1TableSize,
                        ClusterHashField::kH2 - ClusterHashField::kH1 - kH1TableSize},
                       {ClusterHashField::kH2, kH2TableSize},
                       {ClusterHashField::kH2 + kH2TableSize,
                        kClusterHashSize - ClusterHashField::kH2 - kH2TableSize}};

// The group's clusters in the clear with hashes recomputed from `data` alone: clusters the group
// lacks count as zeros, as every reader of the format assumes.
std::vector<uint8_t> RecomputedGroup(const uint8_t* data, uint32_t clusters) {
  std::vector<uint8_t> plain(kGroupSize);
  for (uint32_t c = 0; c < clusters; ++c) {
    std::memcpy(&plain[size_t{c} * kClusterSize + kClusterHashSize],
                data + size_t{c} * kClusterDataSize, kClusterDataSize);
  }
  BuildGroupHashes(plain.data(), kClustersPerGroup);
  return plain;
}

}  // namespace

bool SplitWiiGroup(const AesKey& titleKey, uint8_t* group, uint32_t clusters,
                   uint32_t clustersPerList, std::vector<uint8_t>& data,
                   std::vector<std::vector<uint8_t>>& lists) {
  const size_t dataStart = data.size();
  for (uint32_t c = 0; c < clusters; ++c) {
    uint8_t* cluster = group + size_t{c} * kClusterSize;
    if (!DecryptCluster(titleKey, cluster)) return false;
    data.insert(data.end(), cluster + kClusterHashSize, cluster + kClusterSize);
  }
  const std::vector<uint8_t> rebuilt = RecomputedGroup(&data[dataStart], clusters);
  for (uint32_t first = 0; first < clusters; first += clustersPerList) {
    std::vector<uint8_t> list(2);
    uint16_t count = 0;
    for (uint32_t c = first; c < std::min(clusters, first + clustersPerList); ++c) {
      const uint8_t* disc = group + size_t{c} * kClusterSize;
      const uint8_t* ours = &rebuilt[size_t{c} * kClusterSize];
      for (const auto& part : kHashBlockParts) {
        for (uint32_t step = 0; step < part.size; step += 20) {
          const uint32_t at = part.offset + std::min(step, part.size - 20);
          if (std::memcmp(disc + at, ours + at, 20) == 0) continue;
          const size_t end = list.size();
          list.resize(end + kExceptionSize);
          WriteBE16(&list[end], static_cast<uint16_t>((c - first) * kClusterHashSize + at));
          std::memcpy(&list[end + 2], disc + at, 20);
          ++count;
        }
      }
    }
    WriteBE16(list.data(), count);
    lists.push_back(std::move(list));
  }
  return true;
}

bool RebuildWiiGroup(const AesKey& titleKey, const uint8_t* data, uint32_t clusters,
                     const std::vector<HashException>& exceptions, uint8_t* out) {
  std::vector<uint8_t> plain = RecomputedGroup(data, clusters);
  for (const HashException& exception : exceptions) {
    if (exception.offset / kClusterHashSize >= clusters ||
        exception.offset % kClusterHashSize > kClusterHashSize - 20) {
      return false;
    }
    std::copy(exception.bytes.begin(), exception.bytes.end(),
              &plain[exception.offset / kClusterHashSize * kClusterSize +
                     exception.offset % kClusterHashSize]);
  }
  for (uint32_t c = 0; c < clusters; ++c) {
    uint8_t* cluster = &plain[size_t{c} * kClusterSize];
    if (!EncryptCluster(titleKey, cluster)) return false;
    std::memcpy(out + size_t{c} * kClusterSize, cluster, kClusterSize);
  }
  return true;
}

std::optional<std::vector<std::vector<HashException>>> ParseExceptionLists(const uint8_t* bytes,
                                                                           size_t size,
                                                                           uint32_t count,
                                                                           size_t& used) {
  std::vector<std::vector<HashException>> lists(count);
  used = 0;
  for (auto& list : lists) {
    if (used + 2 > size) return std::nullopt;
    const uint16_t entries = ReadBE16(bytes + used);
    used += 2;
    if (used + size_t{entries} * kExceptionSize > size) return std::nullopt;
    for (uint16_t i = 0; i < entries; ++i, used += kExceptionSize) {
      HashException& exception = list.emplace_back();
      exception.offset = ReadBE16(bytes + used);
      std::copy_n(bytes + used + 2, 20, exception.bytes.begin());
    }
  }
  return lists;
}

namespace {

// Partition tables lie in the disc's first 0x50000 bytes, before any partition.
constexpr uint64_t kSystemAreaEnd = 0x50000;
constexpr uint64_t kInfoEnd = kWiiPartitionInfoOffset + kWiiPartitionGroups * 8;

}  // namespace

void WiiDiscMap::Feed(uint64_t at, const uint8_t* data, size_t count) {
  const auto take = [&](std::vector<uint8_t>& into, uint64_t from, uint64_t upto) {
    const uint64_t start = std::max(from + into.size(), at);
    const uint64_t end = std::min(upto, at + count);
    if (start != from + into.size() || start >= end) return;
    into.insert(into.end(), data + (start - at), data + (end - at));
  };
  if (!tableKnown_) {
    take(system_, 0, kSystemAreaEnd);
    if (system_.size() >= kInfoEnd) ReadTable();
  }
  for (PartitionPlan& partition : partitions_) {
    if (partition.known) continue;
    take(header_, partition.offset, partition.offset + kPartitionHeaderSize);
    if (header_.size() < kPartitionHeaderSize) break;
    ReadHeader(partition);
    header_.clear();
  }
}

uint64_t WiiDiscMap::KnownUpTo() const {
  if (!tableKnown_) return tableEnd_ != 0 ? tableEnd_ : kInfoEnd;
  for (const PartitionPlan& partition : partitions_) {
    if (!partition.known) return partition.offset + kPartitionHeaderSize;
  }
  return UINT64_MAX;
}

const PartitionPlan* WiiDiscMap::NextPartition(uint64_t at) const {
  for (const PartitionPlan& partition : partitions_) {
    if (partition.known && partition.usable && partition.dataStart >= at) return &partition;
  }
  return nullptr;
}

void WiiDiscMap::ReadTable() {
  if (tableEnd_ == 0) {
    // The tables' extent first, so that the stream is taken up to their end before they are read.
    const uint8_t* info = &system_[kWiiPartitionInfoOffset];
    tableEnd_ = kInfoEnd;
    for (uint32_t group = 0; group < kWiiPartitionGroups; ++group) {
      const uint64_t end = (uint64_t{ReadBE32(info + group * 8 + 4)} << 2) +
                           uint64_t{ReadBE32(info + group * 8)} * 8;
      if (end <= kSystemAreaEnd) tableEnd_ = std::max(tableEnd_, end);
    }
    if (system_.size() < tableEnd_) return;
  }
  tableKnown_ = true;
  const DiscReader read = [this](uint64_t offset, uint8_t* out, size_t count) {
    if (offset + count > system_.size()) return false;
    std::memcpy(out, &system_[offset], count);
    return true;
  };
  for (const WiiPartitionEntry& entry : ReadWiiPartitionTable(read)) {
    // One already passed cannot be stored as a partition any more.
    if (entry.offset >= tableEnd_) partitions_.push_back({.offset = entry.offset});
  }
  std::sort(partitions_.begin(), partitions_.end(),
            [](const PartitionPlan& a, const PartitionPlan& b) { return a.offset < b.offset; });
  partitions_.erase(std::unique(partitions_.begin(), partitions_.end(),
                                [](const PartitionPlan& a, const PartitionPlan& b) {
                                  return a.offset == b.offset;
                                }),
                    partitions_.end());
  system_.clear();
  system_.shrink_to_fit();
}

void WiiDiscMap::ReadHeader(PartitionPlan& partition) {
  partition.known = true;
  uint64_t previousEnd = 0;
  for (const PartitionPlan& other : partitions_) {
    if (&other == &partition) break;
    if (other.usable) previousEnd = other.dataEnd;
  }
  const uint64_t dataOffset = uint64_t{ReadBE32(&header_[PartitionHeaderField::kDataOffset])} << 2;
  const uint64_t dataSize = uint64_t{ReadBE32(&header_[PartitionHeaderField::kDataSize])} << 2;
  partition.dataStart = partition.offset + dataOffset;
  partition.dataEnd = partition.dataStart + dataSize / kClusterSize * kClusterSize;
  WiiPartitionHeader keyed;
  std::copy_n(&header_[TicketField::kTitleKey], keyed.encryptedTitleKey.size(),
              keyed.encryptedTitleKey.begin());
  keyed.titleId = ReadBE64(&header_[TicketField::kTitleId]);
  const std::optional<AesKey> titleKey = DecryptTitleKey(keyed, commonKey_);
  partition.usable = ReadBE32(&header_[TicketField::kSignatureType]) == kSignatureTypeRsa2048 &&
                     dataOffset >= kPartitionHeaderSize &&
                     partition.dataStart % kClusterSize == 0 && dataSize >= kClusterSize &&
                     partition.offset >= previousEnd && titleKey;
  if (titleKey) partition.titleKey = *titleKey;
}

}  // namespace zemlo::disc::rvz
