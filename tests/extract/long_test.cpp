// Real sizes through the simulated console: a whole GameCube disc and a whole NAND.
#include <gtest/gtest.h>

#include "extract/nand_dumper.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

using LongTest = ExtractFixture;

// Keeps only the count of a quarter of a million list lines and the last page line: a list box
// model that inserts each line at position 1 would spend the run shifting lines.
class CountingUi final : public UiPort {
 public:
  void ShowMessage(const std::string&, const std::string&, MessageIcon, MessageOwner,
                   const std::string&) override {}
  std::optional<std::string> ChooseOpenFile(const FileRequest&) override { return {}; }
  std::optional<std::string> ChooseSaveFile(const FileRequest&) override { return path; }
  void ProgressSetRange(uint32_t, uint32_t) override {}
  void ProgressSetStep(uint32_t) override {}
  void ProgressStep() override {}
  void ListInsert(int, const std::string& line) override {
    ++lines;
    if (line.starts_with("Dumping")) lastPage = line;
  }
  void ListClear() override {}
  int ListSelection() override { return -1; }
  void RequestQuit(int) override {}

  std::string path;
  size_t lines = 0;
  std::string lastPage;
};

TEST_F(LongTest, WholeGameCubeDisc) {
  const std::string path = SaveTo("gamecube.iso");
  EXPECT_EQ(ExtractDisc(0), ExtractOutcome::Finished);
  EXPECT_EQ(std::filesystem::file_size(path), 1'459'978'240u);
  EXPECT_EQ(model().extract.packetsAccepted, 23'762u);
}

TEST_F(LongTest, WholeNandWithSpareArea) {
  CountingUi counting;
  counting.path = TempPath("nand.bin");
  InstallUi(&counting);
  EXPECT_EQ(DumpNand(1), ExtractOutcome::Finished);
  InstallUi(&ui());
  EXPECT_EQ(std::filesystem::file_size(counting.path), 553'648'128u);
  // The selection, a line per page, the three sums and the page check's summary.
  EXPECT_EQ(counting.lines, 1u + kNandPages + 4);
  EXPECT_EQ(counting.lastPage, "Dumping Page 40000 of 0x40000");
}

}  // namespace
}  // namespace zemlo::testing
