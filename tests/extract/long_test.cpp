// Real sizes through the simulated console: a whole GameCube disc and a whole NAND.
#include <gtest/gtest.h>

#include "extract/nand_dumper.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

class LongTest : public ExtractFixture {};

TEST_F(LongTest, WholeGameCubeDisc) {
  const std::string path = TempPath("gamecube.iso");
  ui().SetSaveFile(path);
  EXPECT_EQ(ExtractDisc(0), ExtractOutcome::Finished);
  EXPECT_EQ(std::filesystem::file_size(path), 1'459'978'240u);
  EXPECT_EQ(model().extract.packetsAccepted, 23'762u);
  EXPECT_EQ(Advances(), 23'762u);
  EXPECT_EQ(ui().progress().front().high, 23'762u);
  EXPECT_EQ(ui().list().back(), "Finished Extracting Game");
  std::filesystem::remove(path);
}

TEST_F(LongTest, WholeNandWithSpareArea) {
  const std::string path = TempPath("nand.bin");
  ui().SetSaveFile(path);
  EXPECT_EQ(DumpNand(1), ExtractOutcome::Finished);
  EXPECT_EQ(std::filesystem::file_size(path), 553'648'128u);
  EXPECT_EQ(ui().insertedLines().back(), "Dumping Page 40000 of 0x40000");
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace zemlo::testing
