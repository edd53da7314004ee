// Where a Wii disc keeps its partitions and what a partition's header holds: the partition table
// at 0x40000, the ticket with the encrypted title key, the partition's own offsets, and the TMD
// whose first content hash covers the H3 table. Field offsets as public descriptions of the
// format give them (wiibrew.org's "Wii Disc", "Ticket" and "Title metadata" pages).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "disc/wii_crypto.h"

namespace zemlo::disc {

// Four groups of (partition count, table offset >> 2); each table entry is (partition offset
// >> 2, type).
inline constexpr uint64_t kWiiPartitionInfoOffset = 0x40000;
inline constexpr uint32_t kWiiPartitionGroups = 4;
inline constexpr uint32_t kWiiDataPartition = 0;
inline constexpr uint64_t kWiiRegionOffset = 0x4E000;  // region word, then 16 age ratings at +0x10
inline constexpr uint64_t kWiiSystemAreaMagicOffset = 0x4FFFC;
inline constexpr uint32_t kWiiSystemAreaMagic = 0xC3F81A8E;

struct TicketField {
  static constexpr uint32_t kSignatureType = 0x000;
  static constexpr uint32_t kIssuer = 0x140;
  static constexpr uint32_t kTitleKey = 0x1BF;  // encrypted with the common key
  static constexpr uint32_t kTicketId = 0x1D0;
  static constexpr uint32_t kTitleId = 0x1DC;  // also the title key's IV, zero padded
  static constexpr uint32_t kCommonKeyIndex = 0x1F1;
};
inline constexpr uint32_t kTicketSize = 0x2A4;

// Offsets and sizes after the ticket are in 4-byte words.
struct PartitionHeaderField {
  static constexpr uint32_t kTmdSize = 0x2A4;
  static constexpr uint32_t kTmdOffset = 0x2A8;
  static constexpr uint32_t kCertChainSize = 0x2AC;
  static constexpr uint32_t kCertChainOffset = 0x2B0;
  static constexpr uint32_t kH3Offset = 0x2B4;
  static constexpr uint32_t kDataOffset = 0x2B8;
  static constexpr uint32_t kDataSize = 0x2BC;
};
inline constexpr uint32_t kPartitionHeaderSize = 0x2C0;

struct TmdField {
  static constexpr uint32_t kSignatureType = 0x000;
  static constexpr uint32_t kIssuer = 0x140;
  static constexpr uint32_t kSystemVersion = 0x184;
  static constexpr uint32_t kTitleId = 0x18C;
  static constexpr uint32_t kTitleType = 0x194;
  static constexpr uint32_t kGroupId = 0x198;
  static constexpr uint32_t kTitleVersion = 0x1DC;
  static constexpr uint32_t kContentCount = 0x1DE;
  static constexpr uint32_t kBootIndex = 0x1E0;
  static constexpr uint32_t kContents = 0x1E4;  // records of kTmdContentSize bytes
};
struct TmdContentField {
  static constexpr uint32_t kId = 0x00;
  static constexpr uint32_t kIndex = 0x04;
  static constexpr uint32_t kType = 0x06;
  static constexpr uint32_t kSize = 0x08;
  static constexpr uint32_t kHash = 0x10;
};
inline constexpr uint32_t kTmdContentSize = 0x24;
inline constexpr uint32_t kH3TableSize = 0x18000;
inline constexpr uint32_t kSignatureTypeRsa2048 = 0x10001;

// Gives the disc's bytes [offset, offset + count); false when it cannot.
using DiscReader = std::function<bool(uint64_t offset, uint8_t* out, size_t count)>;

struct WiiPartitionEntry {
  uint64_t offset = 0;
  uint32_t type = 0;
};

// The partitions the table lists, in its order; empty when it cannot be read or is implausible.
std::vector<WiiPartitionEntry> ReadWiiPartitionTable(const DiscReader& read);

// What a partition's header says, offsets relative to the partition's start.
struct WiiPartitionHeader {
  AesKey encryptedTitleKey{};
  uint64_t titleId = 0;
  uint8_t commonKeyIndex = 0;
  uint64_t tmdOffset = 0;
  uint64_t tmdSize = 0;
  uint64_t h3Offset = 0;
  uint64_t dataOffset = 0;
  uint64_t dataSize = 0;
  Sha1Digest h3Hash{};  // the TMD's first content hash: the H3 table's SHA-1
};

// Null when the header or its TMD cannot be read or does not hold together.
std::optional<WiiPartitionHeader> ReadWiiPartitionHeader(const DiscReader& read,
                                                         uint64_t partitionOffset);

// The title key's IV: the title ID, big-endian, then zeros.
AesIv TitleKeyIv(uint64_t titleId);
// The title key in the clear; nullopt when the provider failed.
std::optional<AesKey> DecryptTitleKey(const WiiPartitionHeader& header, const AesKey& commonKey);

}  // namespace zemlo::disc
