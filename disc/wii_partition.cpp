#include "disc/wii_partition.h"

#include <algorithm>
#include <array>

#include "disc/big_endian.h"
#include "link/bytes.h"

namespace zemlo::disc {
namespace {

// Beyond any real disc's partition count; keeps a damaged table from asking for millions.
constexpr uint32_t kMaxPartitions = 64;

}  // namespace

std::vector<WiiPartitionEntry> ReadWiiPartitionTable(const DiscReader& read) {
  std::array<uint8_t, kWiiPartitionGroups * 8> info{};
  if (!read(kWiiPartitionInfoOffset, info.data(), info.size())) return {};
  std::vector<WiiPartitionEntry> partitions;
  for (uint32_t group = 0; group < kWiiPartitionGroups; ++group) {
    const uint32_t count = ReadBE32(&info[group * 8]);
    const uint64_t table = uint64_t{ReadBE32(&info[group * 8 + 4])} << 2;
    if (count == 0) continue;
    if (partitions.size() + count > kMaxPartitions) return {};
    std::vector<uint8_t> entries(size_t{count} * 8);
    if (!read(table, entries.data(), entries.size())) return {};
    for (uint32_t i = 0; i < count; ++i) {
      partitions.push_back(
          {uint64_t{ReadBE32(&entries[i * 8])} << 2, ReadBE32(&entries[i * 8 + 4])});
    }
  }
  return partitions;
}

std::optional<WiiPartitionHeader> ReadWiiPartitionHeader(const DiscReader& read,
                                                         uint64_t partitionOffset) {
  std::array<uint8_t, kPartitionHeaderSize> raw{};
  if (!read(partitionOffset, raw.data(), raw.size())) return std::nullopt;
  WiiPartitionHeader header;
  std::copy_n(&raw[TicketField::kTitleKey], header.encryptedTitleKey.size(),
              header.encryptedTitleKey.begin());
  header.titleId = ReadBE64(&raw[TicketField::kTitleId]);
  header.commonKeyIndex = raw[TicketField::kCommonKeyIndex];
  header.tmdSize = ReadBE32(&raw[PartitionHeaderField::kTmdSize]);
  header.tmdOffset = uint64_t{ReadBE32(&raw[PartitionHeaderField::kTmdOffset])} << 2;
  header.h3Offset = uint64_t{ReadBE32(&raw[PartitionHeaderField::kH3Offset])} << 2;
  header.dataOffset = uint64_t{ReadBE32(&raw[PartitionHeaderField::kDataOffset])} << 2;
  header.dataSize = uint64_t{ReadBE32(&raw[PartitionHeaderField::kDataSize])} << 2;
  // A TMD too small for its first content, or larger than the space before the H3 table, is not
  // one a disc carries.
  if (header.tmdSize < TmdField::kContents + kTmdContentSize || header.tmdOffset < raw.size() ||
      header.tmdOffset + header.tmdSize > header.h3Offset ||
      header.h3Offset + kH3TableSize > header.dataOffset) {
    return std::nullopt;
  }
  std::vector<uint8_t> tmd(header.tmdSize);
  if (!read(partitionOffset + header.tmdOffset, tmd.data(), tmd.size()) ||
      ReadBE16(&tmd[TmdField::kContentCount]) == 0) {
    return std::nullopt;
  }
  std::copy_n(&tmd[TmdField::kContents + TmdContentField::kHash], header.h3Hash.size(),
              header.h3Hash.begin());
  return header;
}

AesIv TitleKeyIv(uint64_t titleId) {
  AesIv iv{};
  WriteBE64(iv.data(), titleId);
  return iv;
}

std::optional<AesKey> DecryptTitleKey(const WiiPartitionHeader& header, const AesKey& commonKey) {
  AesKey key = header.encryptedTitleKey;
  if (!AesCbcDecrypt(commonKey, TitleKeyIv(header.titleId), key.data(), key.size())) {
    return std::nullopt;
  }
  return key;
}

}  // namespace zemlo::disc
