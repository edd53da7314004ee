// Real sizes through the simulated console: a whole GameCube disc and a whole NAND.
#include <gtest/gtest.h>

#include "extract/nand_dumper.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

class LongTest : public ExtractFixture {};

// Keeps only the count and the last of a quarter of a million list lines: a list box model that
// inserts each line at position 1 would spend the run shifting lines.
class CountingUi final : public UiPort {
 public:
  explicit CountingUi(std::string path) : path_(std::move(path)) {}
  void ShowMessage(const std::string& text, const std::string&, MessageIcon, MessageOwner,
                   const std::string&) override {
    lastMessage = text;
  }
  std::optional<std::string> ChooseOpenFile(const FileRequest&) override { return {}; }
  std::optional<std::string> ChooseSaveFile(const FileRequest&) override { return path_; }
  void ProgressSetRange(uint32_t, uint32_t) override {}
  void ProgressSetStep(uint32_t) override {}
  void ProgressStep() override {}
  void ListInsert(int, const std::string& line) override {
    ++lines;
    lastLine = line;
  }
  void ListClear() override {}
  int ListSelection() override { return -1; }
  void RequestQuit(int) override {}

  size_t lines = 0;
  std::string lastLine;
  std::string lastMessage;

 private:
  std::string path_;
};

TEST_F(LongTest, WholeGameCubeDisc) {
  const std::string path = SaveTo("gamecube.iso");
  EXPECT_EQ(ExtractDisc(0), ExtractOutcome::Finished);
  EXPECT_EQ(std::filesystem::file_size(path), 1'459'978'240u);
  EXPECT_EQ(model().extract.packetsAccepted, 23'762u);
  std::filesystem::remove(path);
}

TEST_F(LongTest, WholeNandWithSpareArea) {
  const std::string path = TempPath("nand.bin");
  CountingUi counting(path);
  InstallUi(&counting);
  EXPECT_EQ(DumpNand(1), ExtractOutcome::Finished);
  InstallUi(&ui());
  EXPECT_EQ(std::filesystem::file_size(path), 553'648'128u);
  EXPECT_EQ(counting.lines, 1u + kNandPages);
  EXPECT_EQ(counting.lastLine, "Dumping Page 40000 of 0x40000");
  EXPECT_EQ(counting.lastMessage, "Finished Extracting NAND");
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace zemlo::testing
