// The simulated Wii disc against our own hash-tree check: its one data partition decrypts with the
// simulator's common key and every level holds; a byte changed anywhere is caught by the hash
// that covers it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "disc/simulated_wii.h"
#include "disc/wii_cluster.h"
#include "disc/wii_hash_tree.h"
#include "disc/wii_partition.h"

namespace zemlo::disc {
namespace {

constexpr uint64_t kPartition = SimulatedWiiDisc::kPartitionOffset;
constexpr uint64_t kData = kPartition + SimulatedWiiDisc::kDataOffset;

enum class Change { None, PlainByte, EncryptedByte, H3Byte, OtherKey };

struct Row {
  const char* name;
  Change change;
  uint64_t cluster;
  uint32_t at;  // within the cluster (plain or encrypted), or the H3 table
  HashLevel level;
  uint64_t faultCluster;
};

TEST(WiiPartitionTest, HashTreeChecksAndCatchesEachLevel) {
  std::vector<uint8_t> image(kData + 2 * kGroupSize + 0x9000);
  SimulatedWiiDisc(std::string("RZME01"), "Zemlo", image.size())
      .Read(0, image.data(), image.size());
  const DiscReader read = [&image](uint64_t offset, uint8_t* out, size_t count) {
    if (offset + count > image.size()) return false;
    std::memcpy(out, &image[offset], count);
    return true;
  };
  const std::vector<WiiPartitionEntry> partitions = ReadWiiPartitionTable(read);
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0].offset, kPartition);
  EXPECT_EQ(partitions[0].type, kWiiDataPartition);
  const std::optional<WiiPartitionHeader> header = ReadWiiPartitionHeader(read, kPartition);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->dataSize, 2 * kGroupSize);
  const std::optional<AesKey> titleKey = DecryptTitleKey(*header, kSimulatedCommonKey);
  ASSERT_TRUE(titleKey);

  const Row rows[] = {
      {"intact", Change::None, 0, 0, HashLevel::kNone, 0},
      {"data", Change::PlainByte, 70, kClusterHashSize + 0x1234, HashLevel::kH0, 70},
      {"H0 table", Change::PlainByte, 9, ClusterHashField::kH0 + 5 * 20 + 3, HashLevel::kH1, 9},
      {"another cluster's H1 entry", Change::PlainByte, 9, ClusterHashField::kH1 + 4 * 20,
       HashLevel::kH2, 9},
      {"H2 table", Change::PlainByte, 9, ClusterHashField::kH2 + 3 * 20 + 19, HashLevel::kH3, 9},
      {"H3 table", Change::H3Byte, 0, 20 + 7, HashLevel::kH3Table, 0},
      {"encrypted data IV", Change::EncryptedByte, 3, ClusterHashField::kDataIv + 5, HashLevel::kH3,
       3},
      {"encrypted data", Change::EncryptedByte, 127, kClusterSize - 1, HashLevel::kH0, 127},
      {"other common key", Change::OtherKey, 0, 0, HashLevel::kH3, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<uint8_t> original = image;
    uint8_t* cluster = &image[kData + row.cluster * kClusterSize];
    AesKey commonKey = kSimulatedCommonKey;
    switch (row.change) {
      case Change::None:
        break;
      case Change::PlainByte:
        ASSERT_TRUE(DecryptCluster(*titleKey, cluster));
        cluster[row.at] ^= 0x01;
        ASSERT_TRUE(EncryptCluster(*titleKey, cluster));
        break;
      case Change::EncryptedByte:
        cluster[row.at] ^= 0x80;
        break;
      case Change::H3Byte:
        image[kPartition + header->h3Offset + row.at] ^= 0x10;
        break;
      case Change::OtherKey:
        commonKey[15] ^= 1;
        break;
    }
    const std::optional<HashFault> fault = CheckWiiPartition(read, kPartition, commonKey);
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->level, row.level);
    EXPECT_EQ(fault->cluster, row.faultCluster);
    image = original;
  }
}

// A disc nobody takes the bytes of any more gives up its set-up at the next group (each thread
// asks once) instead of hashing a whole dual-layer disc; the bytes before the partition never
// wait for it.
TEST(WiiPartitionTest, SetUpGivesUpOnceAbandoned) {
  std::atomic<int> asked{0};
  SimulatedWiiDisc disc(std::string("RZDE01"), "Zemlo", 8'511'160'320, [&] { return ++asked > 0; });
  std::vector<uint8_t> bytes(0x1000);
  disc.Read(0, bytes.data(), bytes.size());
  EXPECT_EQ(bytes[0], 'R');
  disc.Read(kPartition, bytes.data(), bytes.size());
  EXPECT_LE(asked.load(), 2);
}

}  // namespace
}  // namespace zemlo::disc
