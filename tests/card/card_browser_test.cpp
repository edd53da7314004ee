// Listing and erasing saves through the simulated console.
#include <gtest/gtest.h>

#include "extract/card_browser.h"
#include "link/link.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Bytes;
using testing::RecordedMessage;

using CardBrowserTest = testing::SimFixture;

const std::vector<std::string> kThreeSaves = {"Game Save: zemlo-racer",
                                              "Game Save: puzzle_progress.dat",
                                              "Game Save: ADVENTURE_SAVE_SLOT_0123456789AB"};

RecordedMessage UsbError(const std::string& text) {
  return {text, "USB Error", MessageIcon::Error, MessageOwner::None};
}

TEST_F(CardBrowserTest, ListShowsEverySaveInTheOrderSent) {
  ui().ListInsert(0, "stale line");
  EXPECT_EQ(ListCard(), 0);
  // The last name fills its 32 bytes with no terminator and is shown whole.
  EXPECT_EQ(ui().list(), kThreeSaves);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{"Done listing Card in Slot A", "Done.",
                                            MessageIcon::None, MessageOwner::None}));
  EXPECT_EQ(Sent(), Bytes({0x15}));
}

TEST_F(CardBrowserTest, ListLinkFailuresUseTheirCaptions) {
  // The command byte and the first status are the list's own: caption "Error".
  faults().ShortenNextWrites(1);
  EXPECT_EQ(ListCard(), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{"Error sending List Card Contents command", "Error",
                                            MessageIcon::Error, MessageOwner::None}));

  // An empty card, so that the console has nothing to send after the status it withholds.
  ui().Clear();
  model().card.saves.clear();
  faults().SuppressNextReplies(1);
  EXPECT_EQ(ListCard(), 0);
  EXPECT_EQ(OnlyMessage(),
            (RecordedMessage{kMsgReadResponse, "Error", MessageIcon::Error, MessageOwner::None}));
}

TEST_F(CardBrowserTest, ListStopsAtANameThatArrivesShort) {
  // Stale bytes must not be shown as a name, nor the rest of it be taken for the next marker.
  // One save, so that the console waits for the next command after the end marker.
  model().card.saves.resize(1);
  faults().ShortenNextPackets(1, 5);
  EXPECT_EQ(ListCard(), 0);
  EXPECT_TRUE(ui().insertedLines().empty());
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgReadResponse));
}

TEST_F(CardBrowserTest, EraseRemovesTheSelectedSaveAndEmptiesTheList) {
  ASSERT_EQ(ListCard(), 0);
  ui().Clear();
  ui().ListInsert(0, "line");
  ui().SetSelection(1);
  Sent();
  EXPECT_EQ(EraseCardSave(), 1);
  EXPECT_EQ(Sent(), Bytes({0x17, 0x01}));
  EXPECT_TRUE(ui().list().empty());
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{"Done Erasing Game Save", "Done.", MessageIcon::None,
                                            MessageOwner::None}));
  ASSERT_EQ(model().card.saves.size(), 2u);

  ui().Clear();
  EXPECT_EQ(ListCard(), 0);
  EXPECT_EQ(ui().list(), (std::vector<std::string>{kThreeSaves[0], kThreeSaves[2]}));
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
              (RecordedMessage{
                  selection == 3 ? "Error: No Card Acklowledgement" : "No Game Save selected",
                  selection == 3 ? "Memory Card Error" : "Memcard Error", MessageIcon::Error,
                  MessageOwner::None}));
    EXPECT_EQ(Sent(), selection == 3 ? Bytes({0x17, 0x03}) : Bytes({}));
  }
  EXPECT_EQ(model().card.saves.size(), 3u);
}

}  // namespace
}  // namespace zemlo
