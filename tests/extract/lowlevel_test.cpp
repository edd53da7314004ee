// The five low-level dumps: sizes, acknowledgements, time-outs and the console's refusals.
#include <gtest/gtest.h>

#include <functional>

#include "extract/lowlevel_dump.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "sim/disc_source.h"
#include "tests/extract/extract_fixture.h"
#include "tests/support/child_process.h"

namespace zemlo::testing {
namespace {

using LowLevelTest = ExtractFixture;

TEST_F(LowLevelTest, EachRegionWritesItsWholeFile) {
  const char* const doneTexts[] = {"Finished dumping SRAM", "Finished dumping Gamecube Bios",
                                   "Finished dumping Gamecube Drive ROM",
                                   "Finished dumping Gamecube Drive IRAM",
                                   "Finished dumping Gamecube Drive ERAM"};
  for (int index = 0; index < 5; ++index) {
    const LowLevelRegion& region = LowLevelRegions()[static_cast<size_t>(index)];
    SCOPED_TRACE(region.comboText);
    ui().Clear();
    const std::string path = SaveTo(std::string(region.fileKey) + ".bin");

    EXPECT_EQ(ExecuteLowLevel(index), 1);

    const RecordedMessage done = OnlyMessage();
    EXPECT_EQ(Box(done.text, done.caption), Box(doneTexts[index], kCaptionDone));
    EXPECT_EQ(ReadFileBytes(path), sim::RegionBytes(region.command));
    // The command byte, then one acknowledgement per packet; the final part has none.
    std::vector<uint8_t> expected{region.command};
    expected.insert(expected.end(), region.packets, ACK_BLOCK);
    EXPECT_EQ(Sent(), expected);
    const bool sram = index == 0;  // one short read: no time-outs, no progress
    EXPECT_EQ(TimeoutHistory(),
              (sram ? std::vector<Timeouts>{} : std::vector<Timeouts>{{0, 0}, {1000, 1000}}));
    EXPECT_EQ(ui().progress().empty(), sram);
    if (!sram) {
      EXPECT_EQ(Advances(), region.packets);
      EXPECT_EQ(ui().progress().front().high, region.packets);
      EXPECT_TRUE(BarEmpty(ui()));
    }
  }
}

// Each refusal shows its one message and leaves the file empty; replies a region does not refuse
// on are read as the start of its data; a short packet is asked for again, up to the bound.
TEST_F(LowLevelTest, RefusalsAndRepliesTakenAsData) {
  const struct {
    int index;
    std::function<void()> arm;
    int result;
    RecordedMessage message;
  } rows[] = {
      {-1,
       [] {},
       0,
       {"Please select a Low Level option", "Please Select", MessageIcon::Information,
        MessageOwner::Dialog}},
      {1, [] {}, 2, {}},  // the file choice cancelled
      {1, [this] { model().isWii = true; }, 0, Box(kMsgWiiDetected, "Detection Error")},
      {2, [this] { model().isWii = true; }, 0, Box(kMsgWiiDetected, kCaptionUsbError)},
      {0, [this] { model().isWii = true; }, 1, {}},
      {0, [this] { model().extract.sramUnreadable = true; }, 0,
       Box("Error reading SRAM. Please check connection and retry", kCaptionUsbError)},
      {1, [this] { model().extract.biosAllocationFails = true; }, 0,
       Box("Failed to Allocated enough memory on the console", kCaptionUsbError)},
      {2, [this] { faults().WrongNextReplies(REPLY_FAIL); }, 1, {}},
      {4, [this] { faults().ShortenNextWrites(1); }, 0,
       Box("Error sending Dump GC Drive ERAM command", kCaptionUsbError)},
      {1, [this] { faults().ShortenNextPackets(2, 10); }, 1, {}},  // asked for again
      {4, [this] { faults().ShortenNextPackets(static_cast<int>(kMaxAttemptsPerPacket), 10); }, 0,
       Box(kMsgTooManyAttempts, kCaptionUsbError)},
      {3, [this] { faults().ShortenNextWrites(1); }, 0, Box(kMsgSendCommand, kCaptionUsbError)},
      {3, [this] { ui().SetSaveFile(TempPath("no/dir/region.bin")); }, 0,
       Box(kMsgFopen, kCaptionFileError)},
      {2, [this] { model().extract.regionReadyReply = 0xAB; }, 0,
       Box("Error reading Dump GC Drive ROM.", kCaptionUsbError)},
      {1, [this] { model().extract.regionReadyReply = 0xAB; }, 0,
       Box("Error reading Gamecube Bios.", kCaptionUsbError)},
      {3, [this] { model().extract.regionReadyReply = 0xAB; }, 0,
       Box("Error reading Dump GC Drive IRAM.", kCaptionUsbError)},
      {4, [this] { model().extract.regionReadyReply = 0xAB; }, 0,
       Box("Error reading Dump GC Drive ERAM.", kCaptionUsbError)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.index << " " << row.message.text);
    Restart();
    const std::string path = TempPath("region.bin");
    ui().SetSaveFile(row.result == 2 ? std::nullopt : std::optional(path));
    row.arm();
    EXPECT_EQ(ExecuteLowLevel(row.index), row.result);
    if (row.result == 0) {
      EXPECT_EQ(OnlyMessage(), row.message);
      EXPECT_TRUE(ReadFileBytes(path).empty());
      EXPECT_TRUE(BarEmpty(ui()));
    } else if (row.result == 1) {
      EXPECT_EQ(ReadFileBytes(path),
                sim::RegionBytes(LowLevelRegions()[static_cast<size_t>(row.index)].command));
    } else {
      EXPECT_TRUE(ui().messages().empty());
      EXPECT_TRUE(Sent().empty());
    }
  }
  // The ready byte is awaited without a time limit even when it is the wrong one.
  EXPECT_EQ(TimeoutHistory(), (std::vector<Timeouts>{{0, 0}, {1000, 1000}}));
}

// A short final part is written at its full length, with zeros where nothing came.
TEST_F(LowLevelTest, ShortFinalPartAndFullDevice) {
  const std::string iram = SaveTo("iram.bin");
  faults().ShortenNextPackets(1, 100);
  EXPECT_EQ(ExecuteLowLevel(3), 1);
  std::vector<uint8_t> expected = sim::RegionBytes(CMD_DUMP_DRIVE_IRAM);
  std::fill(expected.begin() + 100, expected.end(), 0);
  EXPECT_EQ(ReadFileBytes(iram), expected);
  EXPECT_EQ(Sent(), std::vector<uint8_t>{CMD_DUMP_DRIVE_IRAM});  // no acknowledgement at all

  // A file that cannot be written is never reported as dumped, however short the region.
  if (const std::optional<std::string> full = FullDevice()) {
    for (const int index : {0, 3}) {
      Reconnect();
      ui().SetSaveFile(*full);
      EXPECT_EQ(ExecuteLowLevel(index), 0);
      EXPECT_EQ(OnlyMessage(), Box("Error: Couldn't write to file", kCaptionFileError));
      EXPECT_TRUE(BarEmpty(ui()));
    }
  }
}

}  // namespace
}  // namespace zemlo::testing
