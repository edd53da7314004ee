// Every card status byte at every point where a card operation reads one, sent by the simulated
// console: the operation goes on, succeeds or fails with exactly the message of its column.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "extract/card_browser.h"
#include "extract/card_transfer.h"
#include "protocol/file_sha1.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Box;
using testing::RecordedMessage;

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

// Each column: where the console sends the status, the operation, and the message it shows when
// the status lets it run to its end.
struct Column {
  const char* name;
  std::optional<uint8_t> sim::CardModel::*status;
  int (*run)();
  const char* completion;
};
const Column kColumns[] = {
    {"List", &sim::CardModel::firstStatus, ListCard, "Done listing Card in Slot A"},
    {"EraseFirst", &sim::CardModel::firstStatus, EraseCardSave, "Done Erasing Game Save"},
    {"EraseSecond", &sim::CardModel::secondStatus, EraseCardSave, "Done Erasing Game Save"},
    {"DownloadFirst", &sim::CardModel::firstStatus, DownloadCardSave, "Done Saving GCI save file"},
    {"DownloadSecond", &sim::CardModel::secondStatus, DownloadCardSave,
     "Done Saving GCI save file"},
    {"Upload", &sim::CardModel::finalStatus, UploadCardSave, "Save File Uploaded"},
};

class CardStatusTest : public testing::SimFixture, public ::testing::WithParamInterface<size_t> {};

TEST_P(CardStatusTest, EachCodeRaisesItsColumnsMessage) {
  const Column& column = kColumns[GetParam()];
  const bool download = column.run == DownloadCardSave;
  // A save the card does not hold yet, so that the console means 0xAA after its upload.
  std::vector<uint8_t> gci(64 + 8192, 0x5A);
  std::copy_n("ZNEW01", 6, gci.begin());
  testing::WriteFileBytes(TempPath("new.gci"), gci);
  for (const Row& row : kRows) {
    SCOPED_TRACE(::testing::Message() << "status 0x" << std::hex << row.code);
    model().card = sim::CardModel();
    model().card.*column.status = static_cast<uint8_t>(row.code);
    ui().Clear();
    ui().ListInsert(0, "kept");
    ui().SetSelection(0);
    ui().SetSaveFile(TempPath("save.gci"));
    ui().SetOpenFile(TempPath("new.gci"));
    const int result = column.run();
    const std::string cell = row.cells[GetParam()];
    const std::vector<RecordedMessage> messages = ui().messages();
    ASSERT_EQ(messages.size(), 1u);
    if (cell.empty() || cell[0] == '=') {
      EXPECT_EQ(messages[0],
                (RecordedMessage{column.completion, "Done.", MessageIcon::None, MessageOwner::None,
                                 download ? WrittenFileDetail(TempPath("save.gci")) : ""}));
      EXPECT_EQ(result, column.run == ListCard ? 0 : 1);  // the list reports 0 either way
    } else {
      EXPECT_EQ(messages[0], Box(cell, "Memory Card Error"));
      EXPECT_EQ(result, 0);
      // The file was created before the console was asked; a refusal leaves it empty.
      if (download) {
        EXPECT_TRUE(testing::ReadFileBytes(TempPath("save.gci")).empty());
      }
      // A refusal keeps the list.
      if (column.run == ListCard) {
        EXPECT_EQ(ui().list(), std::vector<std::string>{"kept"});
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Columns, CardStatusTest, ::testing::Range<size_t>(0, 6),
                         [](const auto& param) { return kColumns[param.param].name; });

}  // namespace
}  // namespace zemlo
