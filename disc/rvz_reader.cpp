#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "disc/big_endian.h"
#include "disc/junk.h"
#include "disc/plain_file.h"
#include "disc/rvz.h"
#include "disc/rvz_layout.h"
#include "disc/rvz_wii.h"
#include "disc/wii_cluster.h"
#include "disc/wii_hash_tree.h"
#include "protocol/message_digest.h"

namespace zemlo::disc {
namespace {

bool Sha1Matches(const uint8_t* data, size_t size, const uint8_t* expected) {
  MessageDigest digest(MessageDigest::Kind::kSha1);
  digest.Update(data, size);
  const std::vector<uint8_t> sum = digest.Finish();
  return sum.size() == 20 && std::equal(sum.begin(), sum.end(), expected);
}

std::vector<uint8_t> Decompress(const uint8_t* data, size_t size, size_t expected) {
  std::vector<uint8_t> out(expected);
  const size_t got = ZSTD_decompress(out.data(), out.size(), data, size);
  if (ZSTD_isError(got) || got != expected) return {};
  return out;
}

// For data whose size the frame tells (exception lists make a Wii group's vary); nullopt when it
// is over `limit` or the frame is damaged.
std::optional<std::vector<uint8_t>> DecompressUpTo(const uint8_t* data, size_t size, size_t limit) {
  const unsigned long long expected = ZSTD_getFrameContentSize(data, size);
  if (expected == ZSTD_CONTENTSIZE_ERROR || expected == ZSTD_CONTENTSIZE_UNKNOWN ||
      expected > limit) {
    return std::nullopt;
  }
  std::vector<uint8_t> out = Decompress(data, size, static_cast<size_t>(expected));
  if (out.size() != expected) return std::nullopt;
  return out;
}

constexpr uint64_t kLargestDisc = uint64_t{16} << 30;
constexpr uint32_t kMostRawEntries = 0x10000;
constexpr uint32_t kMostPartitions = 64;

struct Group {
  uint64_t discOffset;  // of its first byte
  uint32_t size;        // disc bytes it holds
  uint32_t fileOffset;  // / 4
  uint32_t storedSize;  // with the compressed flag
  uint32_t packedSize;
  int partition = -1;         // a Wii partition's clusters, or plain disc bytes
  uint64_t firstCluster = 0;  // within the partition
};

struct Partition {
  AesKey key;
  uint64_t dataStart;
  uint64_t clusters;
};

class RvzReader final : public ImageReader {
 public:
  bool Open(const std::string& path, std::string& error) {
    uint8_t header[rvz::kHeadSize + rvz::kDiscSize];
    if (!file_.Open(path, "rb") || !file_.Read(header, sizeof header)) {
      error = "cannot read the RVZ header";
      return false;
    }
    const uint8_t* disc = header + rvz::kHeadSize;
    if (!Sha1Matches(header, rvz::kHeadHashedSize, header + rvz::HeadField::kHeadHash) ||
        ReadBE32(header + rvz::HeadField::kDiscSize) != rvz::kDiscSize ||
        !Sha1Matches(disc, rvz::kDiscSize, header + rvz::HeadField::kDiscHash)) {
      error = "the RVZ header's SHA-1 is wrong";
      return false;
    }
    if (ReadBE32(disc + rvz::DiscField::kCompression) != rvz::kCompressionZstd) {
      error = "only zstd-compressed RVZ images can be read";
      return false;
    }
    size_ = ReadBE64(header + rvz::HeadField::kIsoSize);
    chunk_ = ReadBE32(disc + rvz::DiscField::kChunkSize);
    if (!ValidRvzChunkSize(chunk_) ||
        file_.Size() != ReadBE64(header + rvz::HeadField::kFileSize)) {
      error = "the RVZ file is cut short or damaged";
      return false;
    }
    const uint32_t rawCount = ReadBE32(disc + rvz::DiscField::kRawCount);
    const uint32_t groupCount = ReadBE32(disc + rvz::DiscField::kGroupCount);
    // The counts and sizes come from the file: bounded by what the disc can need before anything
    // is allocated for them.
    const uint32_t partitionCount = ReadBE32(disc + rvz::DiscField::kPartCount);
    const uint32_t partitionSize = ReadBE32(disc + rvz::DiscField::kPartEntrySize);
    if (size_ > kLargestDisc || rawCount > kMostRawEntries || partitionCount > kMostPartitions ||
        (partitionCount != 0 && (partitionSize < rvz::kPartEntrySize || partitionSize > 0x1000)) ||
        groupCount > size_ / chunk_ + 1 + rawCount + 2 * partitionCount) {
      error = "the RVZ tables are larger than any disc needs";
      return false;
    }
    std::vector<uint8_t> partitions(size_t{partitionCount} * partitionSize);
    if (!file_.Seek(ReadBE64(disc + rvz::DiscField::kPartOffset)) ||
        !file_.Read(partitions.data(), partitions.size())) {
      error = "the RVZ tables cannot be read";
      return false;
    }
    if (!Sha1Matches(partitions.data(), partitions.size(), disc + rvz::DiscField::kPartHash)) {
      error = "the RVZ partition table's SHA-1 is wrong";
      return false;
    }
    const std::vector<uint8_t> raw =
        Table(ReadBE64(disc + rvz::DiscField::kRawOffset),
              ReadBE32(disc + rvz::DiscField::kRawSize), size_t{rawCount} * rvz::kRawEntrySize);
    const std::vector<uint8_t> groups = Table(ReadBE64(disc + rvz::DiscField::kGroupOffset),
                                              ReadBE32(disc + rvz::DiscField::kGroupSize),
                                              size_t{groupCount} * rvz::kGroupEntrySize);
    if ((rawCount != 0 && raw.empty()) || (groupCount != 0 && groups.empty())) {
      error = "the RVZ tables cannot be read";
      return false;
    }
    for (uint32_t i = 0; i < rawCount; ++i) {
      const uint8_t* entry = &raw[size_t{i} * rvz::kRawEntrySize];
      const uint64_t end = ReadBE64(entry) + ReadBE64(entry + 8);
      // An entry starts at a 32 KiB boundary whatever its offset says (the first one says 0x80).
      uint64_t at = ReadBE64(entry) / 0x8000 * 0x8000;
      const uint32_t first = ReadBE32(entry + 16), count = ReadBE32(entry + 20);
      if (uint64_t{first} + count > groupCount) {
        error = "the RVZ group table is too short";
        return false;
      }
      for (uint32_t g = first; g < first + count && at < end; ++g, at += chunk_) {
        const uint8_t* item = &groups[size_t{g} * rvz::kGroupEntrySize];
        groups_.push_back({at, static_cast<uint32_t>(std::min<uint64_t>(chunk_, end - at)),
                           ReadBE32(item), ReadBE32(item + 4), ReadBE32(item + 8)});
      }
    }
    for (uint32_t i = 0; i < partitionCount; ++i) {
      if (!AddPartition(&partitions[size_t{i} * partitionSize], groupCount, groups)) {
        error = "the RVZ partition table does not hold together";
        return false;
      }
    }
    std::sort(groups_.begin(), groups_.end(),
              [](const Group& a, const Group& b) { return a.discOffset < b.discOffset; });
    return true;
  }

  uint64_t size() const override { return size_; }
  ImageFormat format() const override { return ImageFormat::Rvz; }

  bool Read(uint64_t offset, uint8_t* out, size_t count) override {
    while (count > 0) {
      auto next = std::upper_bound(groups_.begin(), groups_.end(), offset,
                                   [](uint64_t at, const Group& g) { return at < g.discOffset; });
      if (next == groups_.begin()) return false;
      const Group& group = *std::prev(next);
      if (offset >= group.discOffset + group.size) return false;
      const size_t index = static_cast<size_t>(std::prev(next) - groups_.begin());
      const uint8_t* bytes = nullptr;
      size_t left = 0;
      if (group.partition < 0) {
        if (index != cachedGroup_ && !Load(group, index)) return false;
        const size_t within = static_cast<size_t>(offset - group.discOffset);
        bytes = &cache_[within];
        left = cache_.size() - within;
      } else {
        // Clusters are rebuilt a whole Wii group at a time, as their hashes cover the group.
        const Partition& partition = partitions_[static_cast<size_t>(group.partition)];
        const uint64_t wiiGroup = (offset - partition.dataStart) / kGroupSize;
        if (!BuildWiiGroup(group.partition, wiiGroup)) return false;
        const size_t within =
            static_cast<size_t>(offset - partition.dataStart - wiiGroup * kGroupSize);
        bytes = &wiiCache_[within];
        left = wiiCache_.size() - within;
      }
      const size_t part = std::min(count, left);
      std::memcpy(out, bytes, part);
      out += part;
      offset += part;
      count -= part;
    }
    return true;
  }

 private:
  std::vector<uint8_t> Table(uint64_t at, uint32_t storedSize, size_t size) {
    std::vector<uint8_t> stored(storedSize);
    if (!file_.Seek(at) || !file_.Read(stored.data(), stored.size())) return {};
    return Decompress(stored.data(), stored.size(), size);
  }

  // A partition entry's runs of clusters become groups; false when they do not fit the tables.
  bool AddPartition(const uint8_t* entry, uint32_t groupCount, const std::vector<uint8_t>& table) {
    Partition partition;
    std::copy_n(entry + rvz::kPartitionKey, partition.key.size(), partition.key.begin());
    const uint8_t* runs = entry + rvz::kPartitionRuns;
    const uint64_t firstCluster = ReadBE32(runs);
    partition.dataStart = firstCluster * kClusterSize;
    partition.clusters = 0;
    const int index = static_cast<int>(partitions_.size());
    for (int r = 0; r < 2; ++r) {
      const uint8_t* run = runs + r * rvz::kPartitionRunSize;
      const uint64_t first = ReadBE32(run), clusters = ReadBE32(run + 4);
      const uint32_t group = ReadBE32(run + 8), count = ReadBE32(run + 12);
      if (clusters == 0) continue;
      const uint64_t bytes = clusters * kClusterSize;
      if (first < firstCluster || uint64_t{group} + count > groupCount ||
          count != (bytes + chunk_ - 1) / chunk_ || (first + clusters) * kClusterSize > size_) {
        return false;
      }
      partition.clusters = std::max(partition.clusters, first + clusters - firstCluster);
      for (uint32_t g = 0; g < count; ++g) {
        const uint8_t* item = &table[(size_t{group} + g) * rvz::kGroupEntrySize];
        groups_.push_back(
            {first * kClusterSize + uint64_t{g} * chunk_,
             static_cast<uint32_t>(std::min<uint64_t>(chunk_, bytes - uint64_t{g} * chunk_)),
             ReadBE32(item), ReadBE32(item + 4), ReadBE32(item + 8), index,
             first - firstCluster + uint64_t{g} * (chunk_ / kClusterSize)});
      }
    }
    partitions_.push_back(partition);
    return true;
  }

  // Gathers the plain data and hash exceptions of a Wii group's clusters from the groups that
  // hold them, rebuilds the hashes and encrypts the clusters into wiiCache_.
  bool BuildWiiGroup(int partitionIndex, uint64_t wiiGroup) {
    if (cachedPartition_ == partitionIndex && cachedWiiGroup_ == wiiGroup) return true;
    cachedPartition_ = -1;
    const Partition& partition = partitions_[static_cast<size_t>(partitionIndex)];
    const uint64_t first = wiiGroup * kClustersPerGroup;
    if (first >= partition.clusters) return false;
    const uint32_t clusters =
        static_cast<uint32_t>(std::min<uint64_t>(kClustersPerGroup, partition.clusters - first));
    std::vector<uint8_t> data(size_t{clusters} * kClusterDataSize);
    std::vector<rvz::HashException> exceptions;
    for (uint64_t c = first; c < first + clusters;) {
      const uint64_t at = partition.dataStart + c * kClusterSize;
      auto next =
          std::upper_bound(groups_.begin(), groups_.end(), at,
                           [](uint64_t offset, const Group& g) { return offset < g.discOffset; });
      if (next == groups_.begin()) return false;
      const size_t index = static_cast<size_t>(std::prev(next) - groups_.begin());
      const Group& group = groups_[index];
      const uint64_t groupClusters = group.size / kClusterSize;
      if (group.partition != partitionIndex || c < group.firstCluster ||
          c >= group.firstCluster + groupClusters) {
        return false;
      }
      if (index != cachedGroup_ && !Load(group, index)) return false;
      const uint64_t end = std::min(first + clusters, group.firstCluster + groupClusters);
      std::memcpy(&data[(c - first) * kClusterDataSize],
                  &cache_[(c - group.firstCluster) * kClusterDataSize],
                  (end - c) * kClusterDataSize);
      // A group smaller than a Wii group has one list, counted from its first cluster; a larger
      // one has a list per Wii group.
      const bool small = chunk_ < kGroupSize;
      const size_t list =
          small ? 0 : static_cast<size_t>((first - group.firstCluster) / kClustersPerGroup);
      if (list >= lists_.size()) return false;
      const uint32_t shift =
          small ? static_cast<uint32_t>(group.firstCluster - first) * kClusterHashSize : 0;
      for (rvz::HashException exception : lists_[list]) {
        exception.offset += shift;
        exceptions.push_back(exception);
      }
      c = end;
    }
    wiiCache_.resize(size_t{clusters} * kClusterSize);
    if (!rvz::RebuildWiiGroup(partition.key, data.data(), clusters, exceptions, wiiCache_.data())) {
      return false;
    }
    cachedPartition_ = partitionIndex;
    cachedWiiGroup_ = wiiGroup;
    return true;
  }

  bool Load(const Group& group, size_t index) {
    cachedGroup_ = SIZE_MAX;
    if (group.partition >= 0) return LoadPartitionGroup(group, index);
    const uint32_t storedSize = group.storedSize & ~rvz::kCompressedFlag;
    // Packing adds a word per run and 68 bytes per padding run, a little over the group at most.
    const size_t largest = size_t{chunk_} * 2 + 0x1000;
    if (storedSize > largest || group.packedSize > largest) return false;
    if (storedSize == 0) {
      cache_.assign(group.size, 0);
      cachedGroup_ = index;
      return true;
    }
    std::vector<uint8_t> stored(storedSize);
    if (!file_.Seek(uint64_t{group.fileOffset} * 4) || !file_.Read(stored.data(), stored.size())) {
      return false;
    }
    const size_t plainSize = group.packedSize != 0 ? group.packedSize : group.size;
    std::vector<uint8_t> plain = (group.storedSize & rvz::kCompressedFlag)
                                     ? Decompress(stored.data(), stored.size(), plainSize)
                                     : std::move(stored);
    if (plain.size() != plainSize) return false;
    if (group.packedSize == 0) {
      cache_ = std::move(plain);
    } else if (!Unpack(plain, group.discOffset, group.size)) {
      return false;
    }
    cachedGroup_ = index;
    return true;
  }

  // A Wii partition's group: its exception lists, then its clusters' plain data.
  bool LoadPartitionGroup(const Group& group, size_t index) {
    const uint32_t listCount = std::max<uint32_t>(1, chunk_ / static_cast<uint32_t>(kGroupSize));
    const uint32_t dataSize = group.size / kClusterSize * kClusterDataSize;
    const uint32_t storedSize = group.storedSize & ~rvz::kCompressedFlag;
    // At most an exception for every 20 bytes of every hash block, as a list may cover padding.
    const size_t listsLimit =
        size_t{listCount} * (2 + kClustersPerGroup * 52 * rvz::kExceptionSize);
    const size_t largest = size_t{chunk_} * 2 + 0x1000 + listsLimit;
    if (storedSize > largest || group.packedSize > largest) return false;
    lists_.assign(listCount, {});
    if (storedSize == 0) {
      cache_.assign(dataSize, 0);
      cachedGroup_ = index;
      return true;
    }
    std::vector<uint8_t> stored(storedSize);
    if (!file_.Seek(uint64_t{group.fileOffset} * 4) || !file_.Read(stored.data(), stored.size())) {
      return false;
    }
    const bool compressed = group.storedSize & rvz::kCompressedFlag;
    std::optional<std::vector<uint8_t>> plain =
        compressed ? DecompressUpTo(stored.data(), stored.size(), largest) : std::move(stored);
    if (!plain) return false;
    size_t used = 0;
    auto lists = rvz::ParseExceptionLists(plain->data(), plain->size(), listCount, used);
    if (!lists) return false;
    lists_ = std::move(*lists);
    if (!compressed) used = (used + 3) / 4 * 4;  // stored lists are padded to 4 bytes
    if (used > plain->size()) return false;
    const std::vector<uint8_t> rest(plain->begin() + static_cast<long>(used), plain->end());
    if (group.packedSize == 0) {
      if (rest.size() != dataSize) return false;
      cache_ = rest;
    } else if (rest.size() != group.packedSize ||
               !Unpack(rest, group.firstCluster * kClusterDataSize, dataSize)) {
      return false;
    }
    cachedGroup_ = index;
    return true;
  }

  bool Unpack(const std::vector<uint8_t>& packed, uint64_t discOffset, uint32_t size) {
    cache_.clear();
    size_t at = 0;
    while (at + 4 <= packed.size()) {
      const uint32_t word = ReadBE32(&packed[at]);
      const uint32_t length = word & ~rvz::kJunkFlag;
      at += 4;
      if (cache_.size() + length > size) return false;
      if (word & rvz::kJunkFlag) {
        if (at + 4 * kJunkSeedWords > packed.size()) return false;
        JunkSeed seed;
        for (size_t i = 0; i < kJunkSeedWords; ++i) seed[i] = ReadBE32(&packed[at + 4 * i]);
        at += 4 * kJunkSeedWords;
        const size_t from = cache_.size();
        cache_.resize(from + length);
        JunkGenerator generator;
        generator.Start(seed, static_cast<uint32_t>((discOffset + from) % kJunkBlockSize));
        generator.Fill(&cache_[from], length);
      } else {
        if (at + length > packed.size()) return false;
        cache_.insert(cache_.end(), packed.begin() + static_cast<long>(at),
                      packed.begin() + static_cast<long>(at + length));
        at += length;
      }
    }
    return at == packed.size() && cache_.size() == size;
  }

  PlainFile file_;
  uint64_t size_ = 0;
  uint32_t chunk_ = 0;
  std::vector<Group> groups_;
  std::vector<uint8_t> cache_;  // the loaded group's disc bytes, or plain partition data
  std::vector<std::vector<rvz::HashException>> lists_;  // and its exception lists
  size_t cachedGroup_ = SIZE_MAX;
  std::vector<Partition> partitions_;
  std::vector<uint8_t> wiiCache_;  // a Wii group's clusters, encrypted as on the disc
  int cachedPartition_ = -1;
  uint64_t cachedWiiGroup_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> OpenRvz(const std::string& path, std::string& error) {
  auto reader = std::make_unique<RvzReader>();
  if (!reader->Open(path, error)) return nullptr;
  return reader;
}

}  // namespace zemlo::disc
