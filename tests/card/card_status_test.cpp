// The card status byte at each point where a card operation reads one, sent by the simulated
// console: the operation goes on, succeeds or fails with the message of its column.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "extract/card_browser.h"
#include "extract/card_transfer.h"
#include "protocol/file_sha1.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::RecordedMessage;

constexpr char kNoAck[] = "Error: No Card Acklowledgement";

// Each column: where the console sends the status, the operation, the message it shows when the
// status lets it run to its end, a byte that does so, and bytes the column refuses: one with its
// own text, and in one column a further one with the bare "no acknowledgement". The meanings are
// the product's table; the bytes are picked so that each column's verdicts differ from every
// other column's, which catches an operation that reads its status as another point would.
struct Column {
  const char* name;
  std::optional<uint8_t> sim::CardModel::*status;
  int (*run)();
  const char* completion;
  uint8_t goOn;
  uint8_t refused;
  const char* refusal;
  int noAck = -1;
};
const Column kColumns[] = {
    {"List", &sim::CardModel::firstStatus, ListCard, "Done listing Card in Slot A", 0x00, 0xFD,
     "No Files On Memory Card"},
    {"EraseFirst", &sim::CardModel::firstStatus, EraseCardSave, "Done Erasing Game Save", 0xAA,
     0xFB, "Card Init Error", 0xFE},
    {"EraseSecond", &sim::CardModel::secondStatus, EraseCardSave, "Done Erasing Game Save", 0xEE,
     0xEB, "Card Erase Error"},
    {"DownloadFirst", &sim::CardModel::firstStatus, DownloadCardSave, "Done Saving GCI save file",
     0xAA, 0xFB, "Couldn't Initiate Gamecube Memory Card"},
    {"DownloadSecond", &sim::CardModel::secondStatus, DownloadCardSave, "Done Saving GCI save file",
     0xAA, 0xEF, "Card Open Error"},
    {"Upload", &sim::CardModel::finalStatus, UploadCardSave, "Save File Uploaded", 0xAA, 0xEA,
     "This filename already exists"},
};
// Further bytes a column refuses with a text of its own: the column, the byte, the text.
const std::tuple<size_t, int, const char*> kMoreRefusals[] = {
    {0, 0xFA, "No Gamecube Memory Card found in Slot A"},
    {0, 0xFC, "Card Mount Error"},
    {1, 0xFD, "Card Entry Error"},
    {3, 0xFC, "Couldn't Mount Gamecube Memory Card"},
    {4, 0xFE, "Card Sector Size Error"},
    {4, 0xED, "Card Status Error"},
    {5, 0xFA, "No Gamecube Memory Card in Slot A"},
    {5, 0xE9, "Card Create Error"},
    {5, 0xE8, "Card Write Error"},
    {5, 0xE7, "Card Set Status Error"},
};

class CardStatusTest : public testing::SimFixture, public ::testing::WithParamInterface<size_t> {};

TEST_P(CardStatusTest, EachCodeRaisesItsColumnsMessage) {
  const Column& column = kColumns[GetParam()];
  const bool download = column.run == DownloadCardSave;
  // A save the card does not hold yet, so that the console means 0xAA after its upload.
  std::vector<uint8_t> gci(64 + 8192, 0x5A);
  std::copy_n("ZNEW01", 6, gci.begin());
  testing::WriteFileBytes(TempPath("new.gci"), gci);
  std::vector<std::pair<int, std::string>> cells{{column.goOn, ""},
                                                 {column.refused, column.refusal}};
  if (column.noAck >= 0) cells.emplace_back(column.noAck, kNoAck);
  for (const auto& [index, code, text] : kMoreRefusals) {
    if (index == GetParam()) cells.emplace_back(code, text);
  }
  for (const auto& [code, cell] : cells) {
    SCOPED_TRACE(::testing::Message() << "status 0x" << std::hex << code);
    model().card = sim::CardModel();
    model().card.*column.status = static_cast<uint8_t>(code);
    ui().Clear();
    ui().ListInsert(0, "kept");
    ui().SetSelection(0);
    ui().SetSaveFile(TempPath("save.gci"));
    ui().SetOpenFile(TempPath("new.gci"));
    const int result = column.run();
    const RecordedMessage message = OnlyMessage();
    if (cell.empty()) {
      EXPECT_EQ(message,
                (RecordedMessage{column.completion, "Done.", MessageIcon::None, MessageOwner::None,
                                 download ? WrittenFileDetail(TempPath("save.gci")) : ""}));
      EXPECT_EQ(result, column.run == ListCard ? 0 : 1);  // the list reports 0 either way
    } else {
      EXPECT_EQ(message, testing::Box(cell, "Memory Card Error"));
      EXPECT_EQ(result, 0);
      // The file was created before the console was asked; a refusal leaves it empty.
      EXPECT_TRUE(!download || testing::ReadFileBytes(TempPath("save.gci")).empty());
      // A refusal keeps the list.
      EXPECT_TRUE(column.run != ListCard || ui().list() == std::vector<std::string>{"kept"});
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Columns, CardStatusTest, ::testing::Range<size_t>(0, 6),
                         [](const auto& param) { return kColumns[param.param].name; });

}  // namespace
}  // namespace zemlo
