// The padding generator against itself (a seed found from its bytes regenerates them, wherever in
// the block they start), the file system table both ways, and the simulated GameCube disc as
// Debian's wit lists it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disc/disc_header.h"
#include "disc/junk.h"
#include "disc/simulated_gamecube.h"

namespace zemlo::disc {
namespace {

TEST(JunkTest, SeedFoundFromTheBytesRegeneratesThem) {
  std::vector<uint8_t> block(kJunkBlockSize);
  FillSimulatedJunk("GZME", 0, 5 * kJunkBlockSize, block.data(), block.size());
  const struct {
    uint32_t from;
    size_t expected;
  } rows[] = {
      {0, kJunkBlockSize},           {4, kJunkBlockSize - 4},    {0x1A2C, kJunkBlockSize - 0x1A2C},
      {kJunkBlockSize - 2084, 2084}, {kJunkBlockSize - 2080, 0}, {2, 0}};
  for (const auto& row : rows) {
    JunkSeed seed{};
    EXPECT_EQ(FindJunkSeed(&block[row.from], block.size() - row.from, row.from, seed), row.expected)
        << row.from;
    if (row.expected == 0) continue;
    std::vector<uint8_t> again(row.expected);
    JunkGenerator generator;
    generator.Start(seed, row.from);
    generator.Fill(again.data(), again.size());
    EXPECT_TRUE(std::equal(again.begin(), again.end(), block.begin() + row.from)) << row.from;
  }
  // Bytes that are not padding, and padding that ends early, give no seed or a shorter one.
  std::vector<uint8_t> broken = block;
  broken[0x3000] ^= 1;
  JunkSeed seed{};
  EXPECT_EQ(FindJunkSeed(broken.data(), broken.size(), 0, seed), 0x3000u);
  std::fill(broken.begin(), broken.end(), 0);
  EXPECT_EQ(FindJunkSeed(broken.data(), broken.size(), 0, seed), 0u);
}

TEST(FstTest, FoldersAndFilesRoundTrip) {
  const std::vector<FstFile> files{{"a.bin", 0x8000, 10},
                                   {"audio/b.adp", 0x10000, 20},
                                   {"audio/se/c.aw", 0x20000, 30},
                                   {"maps/d.arc", 0x3FFFFFFF0, 40}};
  EXPECT_EQ(ParseFst(BuildFst(files, 2), 2).size(), files.size());
  const std::vector<FstFile> back = ParseFst(BuildFst(files, 2), 2);
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(back[i].path, files[i].path);
    EXPECT_EQ(back[i].offset, files[i].offset);
    EXPECT_EQ(back[i].size, files[i].size);
  }
  EXPECT_TRUE(ParseFst(std::vector<uint8_t>(5)).empty());
}

#ifdef ZEMLO_WIT
// wit reads our boot header and FST: the disc by its ID and title, then every file.
TEST(SimulatedDiscTest, WitListsTheGameCubeDiscsFiles) {
  const SimulatedGameCubeDisc disc("GZME01", "Zemlo Test Disc (GameCube)", 12 << 20);
  const std::string path =
      (std::filesystem::temp_directory_path() / "zemlo_disc_test_gc.iso").string();
  {
    std::vector<uint8_t> bytes(disc.size());
    disc.Read(0, bytes.data(), bytes.size());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      popen(
          (std::string(ZEMLO_WIT) + " ls " + path + " && " + ZEMLO_WIT + " files " + path).c_str(),
          "r"),
      pclose);
  ASSERT_TRUE(pipe);
  std::string listing;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe.get())) > 0;)
    listing.append(chunk, got);
  pipe.reset();
  std::filesystem::remove(path);
  EXPECT_NE(listing.find("GZME01  Zemlo Test Disc (GameCube)"), std::string::npos) << listing;
  for (const FstFile& file : disc.files()) {
    EXPECT_NE(listing.find(file.path), std::string::npos) << file.path << "\n" << listing;
  }
}
#endif

}  // namespace
}  // namespace zemlo::disc
