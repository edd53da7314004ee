// The simulated Wii disc against our own hash-tree check: its one data partition decrypts with the
// simulator's common key and every level holds; a byte changed anywhere is caught by the hash
// that covers it. Whatever was changed, the disc goes through RVZ (partition stored decrypted,
// the hashes that differ kept as exceptions) and back to the same bytes, in groups smaller and
// larger than a Wii group; a common key that does not open the disc is refused.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "disc/big_endian.h"
#include "disc/image_file.h"
#include "disc/rvz.h"
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
    for (const uint32_t chunk : {0x8000u, 0x20000u, 0x400000u}) {
      if (!RvzAvailable()) break;
      // Of its own, as other checkouts may run this suite at the same time.
      const std::string path = (std::filesystem::temp_directory_path() /
                                ("zemlo_wii_" + std::to_string(std::random_device{}()) + ".rvz"))
                                   .string();
      const bool opens = row.change != Change::OtherKey;
      std::unique_ptr<ImageWriter> writer =
          CreateImageWriter({ImageFormat::Rvz, path, 0, {1, chunk, commonKey}});
      bool written = true;
      for (size_t at = 0; at < image.size() && written; at += 61440) {
        written = writer->Write(&image[at], std::min<size_t>(61440, image.size() - at));
      }
      ASSERT_EQ(written && writer->Finish(), opens) << chunk;
      EXPECT_EQ(writer->Refused(), !opens);
      if (!opens) {
        writer->Abandon();
        continue;
      }
      std::string error;
      std::unique_ptr<ImageReader> reader = OpenImage(path, error);
      ASSERT_TRUE(reader) << error;
      std::vector<uint8_t> back(reader->size());
      EXPECT_TRUE(reader->Read(0, back.data(), back.size()) && back == image) << chunk;
      if (row.change == Change::None) {
        // The partition table's SHA-1 in the disc struct tells a damaged table.
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        uint8_t offset[8];
        file.seekg(0x48 + 0x98).read(reinterpret_cast<char*>(offset), 8);
        file.seekp(static_cast<long>(ReadBE64(offset)) + 3).put('\x55');
        file.close();
        EXPECT_FALSE(OpenImage(path, error));
        EXPECT_EQ(error, "the RVZ partition table's SHA-1 is wrong");
      }
      reader.reset();  // Windows removes no file that is still open
      std::filesystem::remove(path);
    }
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
