// The NAND dumper run on the calling thread: refusals and link failures. Whole dumps in both page
// modes are in disc_test.cpp.
#include <gtest/gtest.h>

#include "extract/nand_dumper.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

using NandTest = ExtractFixture;

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
