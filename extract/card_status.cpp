#include "extract/card_status.h"

#include <array>

#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

using Cells = std::array<CardStatusVerdict, kCardStatusPoints>;

constexpr CardStatusVerdict kGo{CardStatusAction::Continue, nullptr};
constexpr CardStatusVerdict kNoAck{CardStatusAction::Fail, kMsgNoCardAcknowledgement};

constexpr CardStatusVerdict Fail(const char* text) {
  return {CardStatusAction::Fail, text};
}
constexpr CardStatusVerdict Done(const char* text) {
  return {CardStatusAction::Success, text};
}

struct CardStatusRow {
  uint8_t code;
  Cells cells;  // in CardStatusPoint order
};

constexpr char kInit[] = "Card Init Error";
constexpr char kMount[] = "Card Mount Error";
constexpr char kEntry[] = "Card Entry Error";
constexpr char kSectorSize[] = "Card Sector Size Error";

// Columns: list, erase first, erase second, download first, download second, upload final.
// The list goes on for every status but the four that say there is nothing to list.
constexpr std::array<CardStatusRow, 14> kCardStatusTable{{
    {REPLY_ACK, {kGo, kGo, kNoAck, kGo, kGo, Done("Save File Uploaded")}},
    {REPLY_CARD_DONE, {kGo, kNoAck, Done("Done Erasing Game Save"), kNoAck, kNoAck, kNoAck}},
    {REPLY_CARD_NO_CARD,
     {Fail("No Gamecube Memory Card found in Slot A"), kNoAck, kNoAck, kNoAck, kNoAck,
      Fail("No Gamecube Memory Card in Slot A")}},
    {REPLY_CARD_INIT_ERROR,
     {Fail(kInit), Fail(kInit), Fail(kInit), Fail("Couldn't Initiate Gamecube Memory Card"),
      Fail(kInit), Fail(kInit)}},
    {REPLY_CARD_MOUNT_ERROR,
     {Fail(kMount), Fail(kMount), Fail(kMount), Fail("Couldn't Mount Gamecube Memory Card"),
      Fail(kMount), Fail(kMount)}},
    {REPLY_CARD_ENTRY_ERROR,
     {Fail("No Files On Memory Card"), Fail(kEntry), kNoAck, Fail(kEntry), Fail(kEntry), kNoAck}},
    {REPLY_CARD_SECTOR_SIZE_ERROR,
     {kGo, kNoAck, kNoAck, kNoAck, Fail(kSectorSize), Fail(kSectorSize)}},
    {REPLY_CARD_OPEN_ERROR, {kGo, kNoAck, kNoAck, kNoAck, Fail("Card Open Error"), kNoAck}},
    {REPLY_CARD_STATUS_ERROR, {kGo, kNoAck, kNoAck, kNoAck, Fail("Card Status Error"), kNoAck}},
    {REPLY_CARD_ERASE_ERROR, {kGo, kNoAck, Fail("Card Erase Error"), kNoAck, kNoAck, kNoAck}},
    {REPLY_CARD_FILE_EXISTS,
     {kGo, kNoAck, kNoAck, kNoAck, kNoAck, Fail("This filename already exists")}},
    {REPLY_CARD_CREATE_ERROR, {kGo, kNoAck, kNoAck, kNoAck, kNoAck, Fail("Card Create Error")}},
    {REPLY_CARD_WRITE_ERROR, {kGo, kNoAck, kNoAck, kNoAck, kNoAck, Fail("Card Write Error")}},
    {REPLY_CARD_SET_STATUS_ERROR,
     {kGo, kNoAck, kNoAck, kNoAck, kNoAck, Fail("Card Set Status Error")}},
}};

// Every byte without a row of its own.
constexpr Cells kOtherStatus{kGo, kNoAck, kNoAck, kNoAck, kNoAck, kNoAck};

}  // namespace

CardStatusVerdict JudgeCardStatus(CardStatusPoint point, uint8_t status) {
  const size_t column = static_cast<size_t>(point);
  for (const CardStatusRow& row : kCardStatusTable) {
    if (row.code == status) return row.cells[column];
  }
  return kOtherStatus[column];
}

CardStatusAction ReportCardStatus(CardStatusPoint point, uint8_t status) {
  const CardStatusVerdict verdict = JudgeCardStatus(point, status);
  switch (verdict.action) {
    case CardStatusAction::Continue:
      break;
    case CardStatusAction::Success:
      ShowDone(verdict.text);
      break;
    case CardStatusAction::Fail:
      ShowError(verdict.text, kCaptionCardError);
      break;
  }
  return verdict.action;
}

}  // namespace zemlo
