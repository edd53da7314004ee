// Listing and erasing saves through the simulated console.
#include <gtest/gtest.h>

#include <functional>

#include "extract/card_browser.h"
#include "link/link.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Box;
using testing::Bytes;
using testing::RecordedMessage;

using CardBrowserTest = testing::SimFixture;

const std::vector<std::string> kThreeSaves = {"Game Save: zemlo-racer",
                                              "Game Save: puzzle_progress.dat",
                                              "Game Save: ADVENTURE_SAVE_SLOT_0123456789AB"};

// The last name fills its 32 bytes with no terminator and is shown whole; the erase takes the
// selected save away and empties the list.
TEST_F(CardBrowserTest, ListEraseAndListAgain) {
  ui().ListInsert(0, "stale line");
  EXPECT_EQ(ListCard(), 0);
  EXPECT_EQ(ui().list(), kThreeSaves);
  EXPECT_EQ(Sent(), Bytes({0x15}));
  ui().SetSelection(1);
  EXPECT_EQ(EraseCardSave(), 1);
  EXPECT_EQ(Sent(), Bytes({0x17, 0x01}));
  EXPECT_TRUE(ui().list().empty());
  ui().Clear();
  EXPECT_EQ(ListCard(), 0);
  EXPECT_EQ(ui().list(), (std::vector<std::string>{kThreeSaves[0], kThreeSaves[2]}));
}

// The command byte and the first status are the list's own (caption "Error"); a name cut short
// is neither shown from stale bytes nor has its rest taken for the next marker.
TEST_F(CardBrowserTest, ListLinkFailures) {
  const struct {
    std::function<void()> arm;
    RecordedMessage message;
  } rows[] = {
      {[this] { faults().ShortenNextWrites(1); },
       Box("Error sending List Card Contents command", "Error")},
      // An empty card, so that the console has nothing to send after the status it withholds.
      {[this] {
         model().card.saves.clear();
         faults().SuppressNextReplies(1);
       },
       Box(kMsgReadResponse, "Error")},
      // One save, so that the console waits for the next command after the end marker.
      {[this] {
         model().card.saves.resize(1);
         faults().ShortenNextPackets(1, 5);
       },
       Box(kMsgReadResponse, "USB Error")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message.text);
    Restart();
    row.arm();
    EXPECT_EQ(ListCard(), 0);
    EXPECT_EQ(OnlyMessage(), row.message);
    EXPECT_TRUE(ui().insertedLines().empty());
  }
}

// A selection that does not fit one byte is refused here; one past the last save goes to the
// console, whose entry error after the index is not one the erase names.
TEST_F(CardBrowserTest, EraseNeedsASelectionThatFitsOneByte) {
  for (int selection : {-1, 256, 300, 3}) {
    SCOPED_TRACE(selection);
    ui().Clear();
    ui().SetSelection(selection);
    EXPECT_EQ(EraseCardSave(), 0);
    EXPECT_EQ(OnlyMessage(),
              Box(selection == 3 ? "Error: No Card Acklowledgement" : "No Game Save selected",
                  selection == 3 ? "Memory Card Error" : "Memcard Error"));
    EXPECT_EQ(Sent(), selection == 3 ? Bytes({0x17, 0x03}) : Bytes({}));
  }
  EXPECT_EQ(model().card.saves.size(), 3u);
}

}  // namespace
}  // namespace zemlo
