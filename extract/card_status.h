// The card status bytes the console answers to the memory card commands, and what each card
// operation makes of them. The same byte does not mean the same thing at every point of every
// exchange, so the verdict depends on where in which operation it arrived.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zemlo {

// The places where a card operation reads a card status byte; one column of the status table each.
enum class CardStatusPoint : uint8_t {
  List,            // the status after CMD_CARD_LIST
  EraseFirst,      // the status after CMD_CARD_ERASE
  EraseSecond,     // the status after the save's index
  DownloadFirst,   // the status after CMD_CARD_DOWNLOAD_SAVE
  DownloadSecond,  // the status after the save's index
  UploadFinal,     // the status after the save's data
};
inline constexpr size_t kCardStatusPoints = 6;

enum class CardStatusAction : uint8_t {
  Continue,  // the exchange goes on; nothing is shown
  Success,   // the operation has succeeded: its text is shown with caption "Done.", no icon
  Fail,      // the operation ends: its text is shown with caption "Memory Card Error", error icon
};

struct CardStatusVerdict {
  CardStatusAction action = CardStatusAction::Fail;
  const char* text = nullptr;  // null for Continue
};

inline constexpr char kMsgNoCardAcknowledgement[] = "Error: No Card Acklowledgement";

// What `status` means when it arrives at `point`.
CardStatusVerdict JudgeCardStatus(CardStatusPoint point, uint8_t status);

// Judges `status` and shows the verdict's message, if it has one. Returns the action.
CardStatusAction ReportCardStatus(CardStatusPoint point, uint8_t status);

}  // namespace zemlo
