// `card list | download INDEX -o FILE | upload FILE | erase INDEX`: the memory card tool's four
// buttons. Each purges the link first, as the dialog's buttons do.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/handlers.h"
#include "extract/card_browser.h"
#include "extract/card_transfer.h"
#include "link/link.h"

namespace zemlo::cli {
namespace {

constexpr char kCommand[] = "card";

// A list position as typed: decimal digits only, within the one byte that carries it.
std::optional<int> ParseIndex(const std::string& text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value > UINT8_MAX) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

int Run(int (*operation)()) {
  PurgeLink();
  operation();
  return kExitFromMessages;
}

}  // namespace

int CmdCard(const CliArgs& args, CliUi& ui) {
  if (args.args.empty()) return UsageError(kCommand, "missing sub-command");
  const std::string& sub = args.args[0];
  const size_t expected = (sub == "list") ? 1 : 2;
  if (sub != "list" && sub != "download" && sub != "upload" && sub != "erase") {
    return UsageError(kCommand, "unknown sub-command '" + sub + "'");
  }
  if (args.args.size() != expected) {
    return UsageError(
        kCommand, expected == 1 ? "'list' takes no argument" : "'" + sub + "' takes one argument");
  }
  if (sub == "download" ? args.output.empty() : !args.output.empty()) {
    return UsageError(kCommand, sub == "download" ? "'download' needs -o FILE"
                                                  : "-o FILE is only for 'download'");
  }
  if (sub == "list") return Run(ListCard);
  if (sub == "upload") {
    ui.SetOpenFile(args.args[1]);
    return Run(UploadCardSave);
  }
  const std::optional<int> index = ParseIndex(args.args[1]);
  if (!index) return UsageError(kCommand, "INDEX must be a list position from 0 to 255");
  ui.SetSelection(*index);
  if (sub == "download") {
    ui.SetSaveFile(args.output);
    return Run(DownloadCardSave);
  }
  return Run(EraseCardSave);
}

}  // namespace zemlo::cli
