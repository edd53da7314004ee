// Every card status byte at every point where a card operation reads one, sent by the simulated
// console: the operation goes on, succeeds or fails with exactly the message of its column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/card_browser.h"
#include "extract/card_transfer.h"
#include "protocol/file_sha1.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::RecordedMessage;

enum Column { kList, kEraseFirst, kEraseSecond, kDownloadFirst, kDownloadSecond, kUpload };

// What a column does with a byte: go on (""), or show this text; "=" marks a success ("Done.").
struct Row {
  int code;  // -1: a byte with no row of its own
  const char* cells[6];
};

constexpr char kNoAck[] = "Error: No Card Acklowledgement";
constexpr char kGoOn[] = "";

const Row kRows[] = {
    {0xAA, {kGoOn, kGoOn, kNoAck, kGoOn, kGoOn, "=Save File Uploaded"}},
    {0xEE, {kGoOn, kNoAck, "=Done Erasing Game Save", kNoAck, kNoAck, kNoAck}},
    {0xFA,
     {"No Gamecube Memory Card found in Slot A", kNoAck, kNoAck, kNoAck, kNoAck,
      "No Gamecube Memory Card in Slot A"}},
    {0xFB,
     {"Card Init Error", "Card Init Error", "Card Init Error",
      "Couldn't Initiate Gamecube Memory Card", "Card Init Error", "Card Init Error"}},
    {0xFC,
     {"Card Mount Error", "Card Mount Error", "Card Mount Error",
      "Couldn't Mount Gamecube Memory Card", "Card Mount Error", "Card Mount Error"}},
    {0xFD,
     {"No Files On Memory Card", "Card Entry Error", kNoAck, "Card Entry Error", "Card Entry Error",
      kNoAck}},
    {0xFE, {kGoOn, kNoAck, kNoAck, kNoAck, "Card Sector Size Error", "Card Sector Size Error"}},
    {0xEF, {kGoOn, kNoAck, kNoAck, kNoAck, "Card Open Error", kNoAck}},
    {0xED, {kGoOn, kNoAck, kNoAck, kNoAck, "Card Status Error", kNoAck}},
    {0xEB, {kGoOn, kNoAck, "Card Erase Error", kNoAck, kNoAck, kNoAck}},
    {0xEA, {kGoOn, kNoAck, kNoAck, kNoAck, kNoAck, "This filename already exists"}},
    {0xE9, {kGoOn, kNoAck, kNoAck, kNoAck, kNoAck, "Card Create Error"}},
    {0xE8, {kGoOn, kNoAck, kNoAck, kNoAck, kNoAck, "Card Write Error"}},
    {0xE7, {kGoOn, kNoAck, kNoAck, kNoAck, kNoAck, "Card Set Status Error"}},
    {0x00, {kGoOn, kNoAck, kNoAck, kNoAck, kNoAck, kNoAck}},
    {0xBB, {kGoOn, kNoAck, kNoAck, kNoAck, kNoAck, kNoAck}},
};

// The message an operation shows when the status lets it run to its end.
const char* const kCompletion[] = {
    "Done listing Card in Slot A", "Done Erasing Game Save",    "Done Erasing Game Save",
    "Done Saving GCI save file",   "Done Saving GCI save file", "Save File Uploaded",
};
const int kSucceeded[] = {0, 1, 1, 1, 1, 1};

class CardStatusTest : public testing::SimFixture, public ::testing::WithParamInterface<Column> {
 protected:
  // Runs the column's operation with `code` put in place of the status the console means there.
  int RunWithStatus(uint8_t code) {
    sim::CardModel& card = model().card;
    card = sim::CardModel();
    switch (GetParam()) {
      case kList:
      case kEraseFirst:
      case kDownloadFirst:
        card.firstStatus = code;
        break;
      case kEraseSecond:
      case kDownloadSecond:
        card.secondStatus = code;
        break;
      case kUpload:
        card.finalStatus = code;
        break;
    }
    ui().Clear();
    ui().ListInsert(0, "kept");
    ui().SetSelection(0);
    switch (GetParam()) {
      case kList:
        return ListCard();
      case kEraseFirst:
      case kEraseSecond:
        return EraseCardSave();
      case kDownloadFirst:
      case kDownloadSecond:
        ui().SetSaveFile(TempPath("save.gci"));
        return DownloadCardSave();
      case kUpload: {
        // A save the card does not hold yet, so that the console means 0xAA.
        std::vector<uint8_t> gci(64 + 8192, 0x5A);
        std::copy_n("ZNEW01", 6, gci.begin());
        testing::WriteFileBytes(TempPath("new.gci"), gci);
        ui().SetOpenFile(TempPath("new.gci"));
        return UploadCardSave();
      }
    }
    return -1;
  }
};

TEST_P(CardStatusTest, EachCodeRaisesItsColumnsMessage) {
  const Column column = GetParam();
  for (const Row& row : kRows) {
    SCOPED_TRACE(::testing::Message() << "status 0x" << std::hex << row.code);
    const int result = RunWithStatus(static_cast<uint8_t>(row.code));
    const std::string cell = row.cells[column];
    const std::vector<RecordedMessage> messages = ui().messages();
    ASSERT_EQ(messages.size(), 1u);
    if (cell.empty() || cell[0] == '=') {
      const bool wroteFile = column == kDownloadFirst || column == kDownloadSecond;
      EXPECT_EQ(
          messages[0],
          (RecordedMessage{kCompletion[column], "Done.", MessageIcon::None, MessageOwner::None,
                           wroteFile ? WrittenFileDetail(TempPath("save.gci")) : ""}));
      EXPECT_EQ(result, kSucceeded[column]);
    } else {
      EXPECT_EQ(messages[0], (RecordedMessage{cell, "Memory Card Error", MessageIcon::Error,
                                              MessageOwner::None}));
      EXPECT_EQ(result, 0);
      if (column == kDownloadFirst || column == kDownloadSecond) {
        // The file was created before the console was asked; a refusal leaves it empty.
        EXPECT_TRUE(testing::ReadFileBytes(TempPath("save.gci")).empty());
      }
      if (column == kList) {
        EXPECT_EQ(ui().list(), std::vector<std::string>{"kept"});  // a refusal keeps the list
      }
    }
  }
}

std::string ColumnName(const ::testing::TestParamInfo<Column>& param) {
  const char* const names[] = {"List",          "EraseFirst",     "EraseSecond",
                               "DownloadFirst", "DownloadSecond", "Upload"};
  return names[param.param];
}

INSTANTIATE_TEST_SUITE_P(Columns, CardStatusTest,
                         ::testing::Values(kList, kEraseFirst, kEraseSecond, kDownloadFirst,
                                           kDownloadSecond, kUpload),
                         ColumnName);

}  // namespace
}  // namespace zemlo
