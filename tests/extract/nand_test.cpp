// The NAND dumper run on the calling thread: both page modes, page retries and refusals.
#include <gtest/gtest.h>

#include "extract/nand_dumper.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

using Timeouts = std::pair<uint32_t, uint32_t>;

using NandTest = ExtractFixture;

TEST_F(NandTest, BothPageModesDumpEveryPage) {
  model().extract.nandPages = 27;
  for (int mode = 0; mode < 2; ++mode) {
    const NandMode& nand = NandModes()[static_cast<size_t>(mode)];
    SCOPED_TRACE(nand.listLine);
    const std::string path = TempPath("nand" + std::to_string(mode) + ".bin");
    ui().Clear();
    ui().SetSaveFile(path);
    g_workerBusy = 1;

    EXPECT_EQ(DumpNand(mode, 27), ExtractOutcome::Finished);

    EXPECT_EQ(g_workerBusy, 0);
    EXPECT_EQ(g_keepExtracting, 0);
    const RecordedMessage done = OnlyMessage();
    EXPECT_EQ(done.text, "Finished Extracting NAND");
    EXPECT_EQ(done.caption, kCaptionDone);
    // The sums of the file as written, in the message's detail too.
    EXPECT_NE(done.detail.find("SHA-1: " + FileSha1Hex(path)), std::string::npos);
    EXPECT_EQ(ReadFileBytes(path), NandBytes(27, nand.pageSize));
    const std::vector<std::string> lines = ui().insertedLines();
    ASSERT_EQ(lines.size(), 28u + 3 + mode);  // the pages, the sums, the page check
    EXPECT_EQ(lines[0], nand.listLine);
    EXPECT_EQ(lines[1], "Dumping Page 1 of 0x40000");
    EXPECT_EQ(lines[26], "Dumping Page 1a of 0x40000");
    EXPECT_TRUE(ui().list().empty());
    std::vector<uint8_t> expected{nand.command};
    expected.insert(expected.end(), 27, ACK_BLOCK);
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(TimeoutHistory(), (std::vector<Timeouts>{{2000, 2000}, {250, 2000}, {2000, 2000}}));
  }
}

TEST_F(NandTest, RefusalsAndLinkFailures) {
  EXPECT_EQ(DumpNand(-1, 3), ExtractOutcome::Failed);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{"Please select a Page Mode", "Please Select",
                                            MessageIcon::Information, MessageOwner::Dialog}));
  EXPECT_TRUE(ui().fileRequests().empty());
  ui().Clear();

  ui().SetSaveFile(std::nullopt);
  EXPECT_EQ(DumpNand(0, 3), ExtractOutcome::Cancelled);
  EXPECT_TRUE(ui().messages().empty());
  EXPECT_TRUE(ui().list().empty());
  ui().Clear();

  ui().SetSaveFile(TempPath("refused.bin"));
  faults().WrongNextReplies(0xFF);
  EXPECT_EQ(DumpNand(0, 3), ExtractOutcome::Failed);
  EXPECT_EQ(OnlyMessage(), Box("Couldn't Dump Nand.", kCaptionUsbError));
  Reconnect();
  ui().Clear();

  // A driver error on a page: the link's fatal box, the dumper's own, and the application quits.
  faults().FailNextReads(1, 1);
  EXPECT_EQ(DumpNand(0, 3), ExtractOutcome::Failed);
  const auto messages = ui().messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].caption, "TRANSMIT ERROR");
  EXPECT_EQ(messages[1], Box("NAND Fatal Error. Exiting", "NAND Error"));
  EXPECT_EQ(ui().quitRequests(), 1);
  EXPECT_EQ(g_connected, 0);
}

}  // namespace
}  // namespace zemlo::testing
