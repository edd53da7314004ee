#include "extract/card_browser.h"

#include <array>
#include <cstring>
#include <string>

#include "extract/card_selection.h"
#include "extract/card_status.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr uint32_t kSaveNameSize = 32;

// The name field runs to its first zero byte; a name that fills all 32 bytes has none.
std::string SaveName(const std::array<uint8_t, kSaveNameSize>& field) {
  const auto* begin = reinterpret_cast<const char*>(field.data());
  const void* zero = std::memchr(begin, 0, field.size());
  const size_t length =
      zero ? static_cast<size_t>(static_cast<const char*>(zero) - begin) : field.size();
  return std::string(begin, length);
}

}  // namespace

int ListCard() {
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const uint8_t command = CMD_CARD_LIST;
  if (WriteExact(&command, 1) != TRANSFER_COMPLETE) {
    ShowError("Error sending List Card Contents command", kCaptionError);
    return 0;
  }
  uint8_t status = 0;
  if (ReadExact(&status, 1) != TRANSFER_COMPLETE) {
    ShowError(kMsgReadResponse, kCaptionError);
    return 0;
  }
  if (ReportCardStatus(CardStatusPoint::List, status) != CardStatusAction::Continue) return 0;

  Ui().ListClear();
  for (int position = 0;; ++position) {
    uint8_t marker = 0;
    if (ReadExact(&marker, 1) != TRANSFER_COMPLETE) {
      ShowUsbError(kMsgReadResponse);
      return 0;
    }
    if (marker == REPLY_CARD_DONE) {
      ShowDone("Done listing Card in Slot A");
      return 0;
    }
    // A name that did not arrive whole would show stale bytes and leave the rest of it to be
    // taken for the next marker.
    std::array<uint8_t, kSaveNameSize> name{};
    if (ReadExact(name.data(), kSaveNameSize) != TRANSFER_COMPLETE) {
      ShowUsbError(kMsgReadResponse);
      return 0;
    }
    Ui().ListInsert(position, "Game Save: " + SaveName(name));
  }
}

int EraseCardSave() {
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const std::optional<uint8_t> index = SelectedSaveIndex();
  if (!index) return 0;
  if (!SendCommand(CMD_CARD_ERASE)) return 0;
  std::optional<uint8_t> status = ReadReply();
  if (!status) return 0;
  if (ReportCardStatus(CardStatusPoint::EraseFirst, *status) != CardStatusAction::Continue) {
    return 0;
  }
  if (WriteExact(&*index, 1) != TRANSFER_COMPLETE) {
    ShowUsbError("Error sending index");
    return 0;
  }
  status = ReadReply();
  if (!status) return 0;
  if (ReportCardStatus(CardStatusPoint::EraseSecond, *status) != CardStatusAction::Success) {
    return 0;
  }
  Ui().ListClear();
  return 1;
}

}  // namespace zemlo
