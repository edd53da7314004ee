#include "extract/card_selection.h"

#include "link/ui_port.h"
#include "protocol/steps.h"

namespace zemlo {

std::optional<uint8_t> SelectedSaveIndex() {
  const int selection = Ui().ListSelection();
  if (selection < 0 || selection > UINT8_MAX) {
    ShowError(kMsgNoSaveSelected, kCaptionMemcardError);
    return std::nullopt;
  }
  return static_cast<uint8_t>(selection);
}

}  // namespace zemlo
