// The image writers and readers on a simulated GameCube disc: every format reads back as the
// same bytes, split parts stay within their size, a cut-short RVZ leaves nothing, and Debian's
// dolphin-tool reads our RVZ back to the same ISO, at about the size of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "disc/image_file.h"
#include "disc/rvz.h"
#include "disc/simulated_gamecube.h"

namespace zemlo::disc {
namespace {

namespace fs = std::filesystem;

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zemlo_image_test_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
            std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    disc_.resize(kSize);
    SimulatedGameCubeDisc("GZME01", "Zemlo Test Disc (GameCube)", kSize)
        .Read(0, disc_.data(), kSize);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Writes the disc in packet-sized pieces, as a dump does.
  std::vector<std::string> Write(const ImageTarget& target) {
    std::unique_ptr<ImageWriter> writer = CreateImageWriter(target);
    EXPECT_TRUE(writer);
    if (!writer) return {};
    for (size_t at = 0; at < disc_.size(); at += 61440) {
      EXPECT_TRUE(writer->Write(&disc_[at], std::min<size_t>(61440, disc_.size() - at)));
    }
    EXPECT_TRUE(writer->Finish());
    return writer->Files();
  }

  std::vector<uint8_t> ReadBack(const std::string& path) {
    std::string error;
    std::unique_ptr<ImageReader> reader = OpenImage(path, error);
    EXPECT_TRUE(reader) << error;
    if (!reader) return {};
    std::vector<uint8_t> bytes(reader->size());
    EXPECT_TRUE(reader->Read(0, bytes.data(), bytes.size()));
    return bytes;
  }

  static std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  static constexpr size_t kSize = 12 << 20;
  fs::path dir_;
  std::vector<uint8_t> disc_;
};

TEST_F(ImageFileTest, EveryFormatReadsBackAsTheDisc) {
  const struct {
    ImageTarget target;
    size_t files;
  } rows[] = {
      {{ImageFormat::Iso, Path("a.iso")}, 1},
      {{ImageFormat::Split, Path("b.iso"), 5 << 20}, 3},
      {{ImageFormat::Split, Path("c"), kSize}, 1},
      {{ImageFormat::Rvz, Path("d.rvz")}, 1},
      {{ImageFormat::Rvz, Path("e.rvz"), 0, {19, 2 << 20}}, 1},
  };
  for (const auto& row : rows) {
    if (row.target.format == ImageFormat::Rvz && !RvzAvailable()) continue;
    const std::vector<std::string> files = Write(row.target);
    ASSERT_EQ(files.size(), row.files) << row.target.path;
    for (const std::string& file : files) {
      if (row.target.format == ImageFormat::Split) {
        EXPECT_LE(fs::file_size(file), row.target.splitSize);
      }
    }
    if (row.target.format == ImageFormat::Split) {
      EXPECT_EQ(files[0], SplitPartPath(row.target.path, 0));
      EXPECT_EQ(fs::path(files.back()).filename().string(),
                fs::path(row.target.path).stem().string() + ".part" +
                    std::to_string(files.size() - 1) + ".iso");
    }
    EXPECT_TRUE(ReadBack(files[0]) == disc_) << row.target.path;
  }
}

TEST_F(ImageFileTest, RvzCutShortLeavesNothingAndDamageIsNoticed) {
  if (!RvzAvailable()) GTEST_SKIP() << "no zstd in this build";
  {
    std::unique_ptr<ImageWriter> writer = CreateImageWriter({ImageFormat::Rvz, Path("cut.rvz")});
    ASSERT_TRUE(writer->Write(disc_.data(), 3 << 20));
    writer->Abandon();
  }
  EXPECT_FALSE(fs::exists(Path("cut.rvz")));
  const std::string path = Write({ImageFormat::Rvz, Path("whole.rvz")}).at(0);
  std::vector<uint8_t> bytes = FileBytes(path);
  const struct {
    size_t at;
    bool opens;
  } damages[] = {{0x20, false}, {0x60, false}, {bytes.size() / 2, true}};
  for (const auto& damage : damages) {
    std::vector<uint8_t> damaged = bytes;
    damaged[damage.at] ^= 0x40;
    std::ofstream(Path("bad.rvz"), std::ios::binary)
        .write(reinterpret_cast<const char*>(damaged.data()), static_cast<long>(damaged.size()));
    std::string error;
    std::unique_ptr<ImageReader> reader = OpenImage(Path("bad.rvz"), error);
    ASSERT_EQ(reader != nullptr, damage.opens) << damage.at;
    if (!reader) continue;
    std::vector<uint8_t> back(reader->size());
    EXPECT_TRUE(!reader->Read(0, back.data(), back.size()) || back != disc_);
  }
}

#ifdef ZEMLO_DOLPHIN_TOOL
std::string Shell(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
  std::string output;
  char chunk[4096];
  for (size_t got; pipe && (got = fread(chunk, 1, sizeof chunk, pipe.get())) > 0;) {
    output.append(chunk, got);
  }
  return output;
}

// Our RVZ converts back to the very bytes dumped, its header reads as written, and it is within
// 1 % of the size dolphin-tool makes of the same ISO with the same settings.
TEST_F(ImageFileTest, DolphinToolReadsOurRvz) {
  if (!RvzAvailable()) GTEST_SKIP() << "no zstd in this build";
  const std::string ours = Write({ImageFormat::Rvz, Path("ours.rvz")}).at(0);
  const std::string tool = ZEMLO_DOLPHIN_TOOL;
  Shell(tool + " convert -i " + ours + " -o " + Path("back.iso") + " -f iso");
  EXPECT_TRUE(FileBytes(Path("back.iso")) == disc_);
  const std::string header = Shell(tool + " header -i " + ours);
  EXPECT_NE(header.find("Block Size: 131072"), std::string::npos) << header;
  EXPECT_NE(header.find("Compression Method: Zstandard"), std::string::npos) << header;
  EXPECT_NE(header.find("Compression Level: 5"), std::string::npos) << header;

  Write({ImageFormat::Iso, Path("disc.iso")});
  Shell(tool + " convert -i " + Path("disc.iso") + " -o " + Path("theirs.rvz") +
        " -f rvz -c zstd -l 5 -b 131072");
  const double theirs = static_cast<double>(fs::file_size(Path("theirs.rvz")));
  EXPECT_NEAR(static_cast<double>(fs::file_size(ours)) / theirs, 1.0, 0.01)
      << fs::file_size(ours) << " against " << theirs;
}
#endif

}  // namespace
}  // namespace zemlo::disc
