#include "disc/simulated_wii.h"

#include <algorithm>
#include <cstring>

#include "disc/big_endian.h"
#include "disc/disc_header.h"
#include "disc/junk.h"
#include "disc/wii_cluster.h"
#include "disc/wii_hash_tree.h"
#include "disc/wii_partition.h"
#include "link/bytes.h"

namespace zemlo::disc {
namespace {

constexpr uint64_t kPartitionTableOffset = kWiiPartitionInfoOffset + 0x20;
constexpr uint32_t kTmdOffset = kPartitionHeaderSize;
constexpr uint32_t kTmdSize = TmdField::kContents + kTmdContentSize;
constexpr uint32_t kCertChainOffset = (kTmdOffset + kTmdSize + 0x1F) / 0x20 * 0x20;

void PutText(uint8_t* at, const std::string& text) {
  std::memcpy(at, text.data(), text.size());
}

uint32_t RegionOf(const std::string& gameId) {
  switch (gameId.size() > 3 ? gameId[3] : 'E') {
    case 'J':
      return 0;
    case 'P':
      return 2;
    default:
      return 1;
  }
}

}  // namespace

SimulatedWiiDisc::SimulatedWiiDisc(std::string gameId, std::string title, uint64_t size,
                                   std::function<bool()> abandoned)
    : gameId_(std::move(gameId)),
      size_(size),
      group_(kGroupSize),
      abandoned_(std::move(abandoned)) {
  const uint64_t dataStart = kPartitionOffset + kDataOffset;
  groups_ = std::min<uint64_t>(size > dataStart ? (size - dataStart) / kGroupSize : 0, kMaxGroups);
  content_ = std::make_unique<SimulatedGameCubeDisc>(gameId_, title,
                                                     groups_ * kClustersPerGroup * kClusterDataSize,
                                                     SimulatedLayout::WiiPartition);
  for (size_t i = 0; i < titleKey_.size(); ++i) {
    titleKey_[i] = static_cast<uint8_t>(gameId_[i % gameId_.size()] * 37 + i * 101);
  }

  head_.assign(dataStart, 0);
  PutText(&head_[BootHeaderField::kGameId], gameId_.substr(0, 6));
  WriteBE32(&head_[BootHeaderField::kWiiMagic], kWiiMagic);
  PutText(&head_[BootHeaderField::kTitle], title.substr(0, 0x3F));
  WriteBE32(&head_[kWiiPartitionInfoOffset], 1);
  WriteBE32(&head_[kWiiPartitionInfoOffset + 4], static_cast<uint32_t>(kPartitionTableOffset >> 2));
  WriteBE32(&head_[kPartitionTableOffset], static_cast<uint32_t>(kPartitionOffset >> 2));
  WriteBE32(&head_[kPartitionTableOffset + 4], kWiiDataPartition);
  WriteBE32(&head_[kWiiRegionOffset], RegionOf(gameId_));
  WriteBE32(&head_[kWiiSystemAreaMagicOffset], kWiiSystemAreaMagic);

  // The ticket and TMD are signed by nobody: the simulator's console does not check signatures.
  uint8_t* partition = &head_[kPartitionOffset];
  const uint64_t titleId = uint64_t{0x00010000} << 32 |
                           ReadBE32(reinterpret_cast<const uint8_t*>(gameId_.substr(0, 4).c_str()));
  WriteBE32(partition + TicketField::kSignatureType, kSignatureTypeRsa2048);
  PutText(partition + TicketField::kIssuer, "Root-CA00000001-XS00000003");
  AesKey encryptedKey = titleKey_;
  AesCbcEncrypt(kSimulatedCommonKey, TitleKeyIv(titleId), encryptedKey.data(), encryptedKey.size());
  std::copy(encryptedKey.begin(), encryptedKey.end(), partition + TicketField::kTitleKey);
  WriteBE64(partition + TicketField::kTicketId, titleId ^ 0x5A454D4C4F000000ull);
  WriteBE64(partition + TicketField::kTitleId, titleId);
  partition[TicketField::kCommonKeyIndex] = 0;

  WriteBE32(partition + PartitionHeaderField::kTmdSize, kTmdSize);
  WriteBE32(partition + PartitionHeaderField::kTmdOffset, kTmdOffset >> 2);
  WriteBE32(partition + PartitionHeaderField::kCertChainSize, 0);
  WriteBE32(partition + PartitionHeaderField::kCertChainOffset, kCertChainOffset >> 2);
  WriteBE32(partition + PartitionHeaderField::kH3Offset, static_cast<uint32_t>(kH3Offset >> 2));
  WriteBE32(partition + PartitionHeaderField::kDataOffset, static_cast<uint32_t>(kDataOffset >> 2));
  WriteBE32(partition + PartitionHeaderField::kDataSize, static_cast<uint32_t>(dataSize() >> 2));

  uint8_t* tmd = partition + kTmdOffset;
  WriteBE32(tmd + TmdField::kSignatureType, kSignatureTypeRsa2048);
  PutText(tmd + TmdField::kIssuer, "Root-CA00000001-CP00000004");
  WriteBE64(tmd + TmdField::kSystemVersion, 0x0000000100000024ull);
  WriteBE64(tmd + TmdField::kTitleId, titleId);
  WriteBE32(tmd + TmdField::kTitleType, 1);
  PutText(tmd + TmdField::kGroupId, gameId_.substr(4, 2));
  WriteBE16(tmd + TmdField::kContentCount, 1);
  uint8_t* content = tmd + TmdField::kContents;
  WriteBE16(content + TmdContentField::kType, 1);
  WriteBE64(content + TmdContentField::kSize, dataSize());

  helper_ = std::thread([this] { HashGroups(); });
}

SimulatedWiiDisc::~SimulatedWiiDisc() {
  stopHashing_ = true;
  if (helper_.joinable()) helper_.join();
}

void SimulatedWiiDisc::HashGroups() {
  // Each thread its own group: they share only the counter and distinct H3 entries.
  std::vector<uint8_t> group(kGroupSize);
  uint8_t* h3 = &head_[kPartitionOffset + kH3Offset];
  while (!stopHashing_) {
    if (abandoned_ && abandoned_()) {
      stopHashing_ = true;
      break;
    }
    const uint64_t next = nextGroup_.fetch_add(1);
    if (next >= groups_) break;
    const Sha1Digest entry = BuildPlainGroup(next, group.data());
    std::copy(entry.begin(), entry.end(), h3 + next * 20);
  }
}

void SimulatedWiiDisc::FinishHead() {
  if (headFinished_) return;
  HashGroups();
  if (helper_.joinable()) helper_.join();
  if (stopHashing_) return;
  uint8_t* partition = &head_[kPartitionOffset];
  const Sha1Digest h3Hash = Sha1(partition + kH3Offset, kH3TableSize);
  std::copy(h3Hash.begin(), h3Hash.end(),
            partition + kTmdOffset + TmdField::kContents + TmdContentField::kHash);
  headFinished_ = true;
}

uint64_t SimulatedWiiDisc::dataSize() const {
  return groups_ * kGroupSize;
}

Sha1Digest SimulatedWiiDisc::BuildPlainGroup(uint64_t group, uint8_t* into) const {
  for (uint32_t c = 0; c < kClustersPerGroup; ++c) {
    const uint64_t cluster = group * kClustersPerGroup + c;
    content_->Read(cluster * kClusterDataSize, into + size_t{c} * kClusterSize + kClusterHashSize,
                   kClusterDataSize);
  }
  return BuildGroupHashes(into, kClustersPerGroup);
}

const uint8_t* SimulatedWiiDisc::EncryptedGroup(uint64_t group) {
  if (groupHeld_ != group) {
    BuildPlainGroup(group, group_.data());
    for (uint32_t c = 0; c < kClustersPerGroup; ++c) {
      EncryptCluster(titleKey_, &group_[size_t{c} * kClusterSize]);
    }
    groupHeld_ = group;
  }
  return group_.data();
}

void SimulatedWiiDisc::Read(uint64_t offset, uint8_t* out, size_t count) {
  const uint64_t dataStart = head_.size();
  const uint64_t dataEnd = dataStart + dataSize();
  while (count > 0) {
    size_t part = 0;
    if (offset < dataStart) {
      part = static_cast<size_t>(std::min<uint64_t>(count, dataStart - offset));
      if (offset + part > kPartitionOffset) FinishHead();
      std::memcpy(out, &head_[offset], part);
    } else if (offset < dataEnd) {
      const uint64_t group = (offset - dataStart) / kGroupSize;
      const size_t within = static_cast<size_t>((offset - dataStart) % kGroupSize);
      part = std::min<size_t>(count, kGroupSize - within);
      std::memcpy(out, EncryptedGroup(group) + within, part);
    } else {
      // Past the partition, as on real discs, the padding generator's bytes.
      part = count;
      FillSimulatedJunk(gameId_, 0, offset, out, part);
    }
    out += part;
    offset += part;
    count -= part;
  }
}

}  // namespace zemlo::disc
