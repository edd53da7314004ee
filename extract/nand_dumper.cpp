#include "extract/nand_dumper.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "extract/dump_options.h"
#include "extract/dump_verifier.h"
#include "extract/nand_check.h"
#include "extract/output_file.h"
#include "extract/packet_read.h"
#include "extract/stream_control.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/console_controls.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr std::array kNandModes{
    NandMode{" Dump 2048 bytes per page", "Selected NAND (2048 Page Mode)", CMD_NAND_DUMP_2048,
             0x800},
    NandMode{" Dump 2112 bytes per page (Inc ECC data)", "Selected NAND (2112 Page Mode)",
             CMD_NAND_DUMP_2112, 0x840},
};
constexpr uint32_t kLargestPage = 0x840;
constexpr uint32_t kPageTimeoutMs = 2000;
constexpr char kNandFileKey[] = "nand-image";

std::string PageLine(uint32_t pages) {
  char line[48];
  std::snprintf(line, sizeof line, "Dumping Page %x of 0x40000", pages);
  return line;
}

std::string WaitingLine(uint32_t pages) {
  char line[48];
  std::snprintf(line, sizeof line, "Console still reading Page %x", pages);
  return line;
}

// The keys file other NAND tools expect after a 2,112-byte dump; empty unless it has their size.
std::vector<uint8_t> ReadKeys(const std::string& path) {
  std::vector<uint8_t> keys(kNandKeysSize + 1);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file || std::fread(keys.data(), 1, keys.size(), file.get()) != kNandKeysSize) return {};
  keys.resize(kNandKeysSize);
  return keys;
}

// The checksums and the page check, for the list and the finished message's detail, and the
// report beside the dump.
std::vector<std::string> ReportVerification(DumpVerifier& verifier, const NandPageCheck* check,
                                            const std::string& path) {
  verifier.Finish();
  std::vector<std::string> lines = verifier.HashLines();
  ReportFields fields = verifier.CommonFields(path);
  if (check) {
    const ReportFields counts = check->Fields();
    fields.insert(fields.end(), counts.begin(), counts.end());
    char line[128];
    std::snprintf(line, sizeof line,
                  "Pages: %u bad blocks, %u erased, %u correctable, %u uncorrectable",
                  check->badBlocks(), check->erasedPages(), check->correctablePages(),
                  check->uncorrectablePages());
    lines.push_back(line);
    lines.insert(lines.end(), check->findings().begin(), check->findings().end());
  }
  if (!WriteDumpReport(path, fields)) lines.push_back("Error: Couldn't write the report");
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

}  // namespace

std::span<const NandMode> NandModes() {
  return kNandModes;
}

ExtractOutcome DumpNand(int selection, uint32_t pages) {
  WorkerBusyGuard busy;
  if (!RequireConnected(MessageOwner::Dialog)) return ExtractOutcome::Failed;
  if (selection < 0 || static_cast<size_t>(selection) >= kNandModes.size()) {
    ShowInfo(kMsgSelectPageMode, kCaptionPleaseSelect, MessageOwner::Dialog);
    return ExtractOutcome::Failed;
  }
  const NandMode& mode = kNandModes[static_cast<size_t>(selection)];
  Ui().ListInsert(0, mode.listLine);

  const std::optional<std::string> path = Ui().ChooseSaveFile(FileRequest{
      kNandFileKey, {{"Nand Binary File (*.bin)", "*.bin"}, {"All Files", "*.*"}}, "bin"});
  if (!path) {
    g_keepExtracting = 0;
    Ui().ListClear();
    return ExtractOutcome::Cancelled;
  }
  const bool spare = mode.pageSize == kNandDataBytes + kNandSpareBytes;
  std::vector<uint8_t> keys;
  if (const std::string keysPath = CurrentDumpOptions().keysFile; spare && !keysPath.empty()) {
    keys = ReadKeys(keysPath);
    if (keys.empty()) {
      ShowFileError(kMsgNandKeysSize);
      return ExtractOutcome::Failed;
    }
  }
  OutputFile file;
  if (!file.Open(*path)) {
    ShowFileError(kMsgFopen);
    return ExtractOutcome::Failed;
  }
  DumpVerifier verifier;
  NandPageCheck check;
  const auto endStopped = [&] {
    Ui().ShowMessage(kMsgNandStopped, kCaptionNandStopped, MessageIcon::None, MessageOwner::None,
                     KeptFileDetail(file));
    Ui().ListClear();
    g_keepExtracting = 0;
    return ExtractOutcome::Stopped;
  };
  // A stop before the command goes out sends nothing; one while the reply is awaited takes the
  // reply with its purge, and ends the run as stopped rather than as a lost reply.
  if (g_stopRequested) return endStopped();
  if (!SendCommand(mode.command)) return ExtractOutcome::Failed;
  uint8_t reply = 0;
  if (ReadExact(&reply, 1) != TRANSFER_COMPLETE) {
    if (g_stopRequested) return endStopped();
    ShowUsbError(kMsgReadResponse);
    return ExtractOutcome::Failed;
  }
  if (reply != REPLY_ACK) {
    ShowUsbError("Couldn't Dump Nand.");
    return ExtractOutcome::Failed;
  }
  SetLinkTimeouts(kPageTimeoutMs, kPageTimeoutMs);
  BeginStream();

  std::array<uint8_t, kLargestPage> page{};
  uint32_t accepted = 0;
  unsigned attempts = 0;
  if (pages != 0) {
    do {
      if (!g_keepExtracting) break;
      const PacketRead read = ReadPacket(page.data(), mode.pageSize,
                                         [&] { Ui().ListInsert(1, WaitingLine(accepted)); });
      if (read == PacketRead::Failed) {
        ShowError("NAND Fatal Error. Exiting", "NAND Error");
        return ExtractOutcome::Failed;
      }
      if (read == PacketRead::Stopped) break;
      if (read == PacketRead::Silent) {
        AbandonStream();
        ShowError(kMsgNandConsoleSilent, "NAND Error");
        return ExtractOutcome::Failed;
      }
      if (read == PacketRead::Partial) {
        // A page cut short by the purge of the user's own stop is not asked for again.
        if (g_stopRequested) break;
        verifier.NoteRetry();
        if (++attempts >= kMaxAttemptsPerPacket) {
          AbandonStream();
          ShowUsbError(kMsgTooManyAttempts);
          return ExtractOutcome::Failed;
        }
        SendUnchecked(RETRY_BLOCK);
        continue;
      }
      if (!file.Write(page.data(), mode.pageSize) || !file.Flush()) {
        ShowFileError("Error: Couldn't write to file");
        return ExtractOutcome::Failed;
      }
      verifier.Feed(page.data(), mode.pageSize);
      if (spare) check.Check(accepted, page.data());
      ++accepted;
      attempts = 0;
      Ui().ListInsert(1, PageLine(accepted));
      SendUnchecked(ACK_BLOCK);
    } while (accepted < pages);
  }
  if (!g_stopRequested && g_keepExtracting && !StreamIsSilent(kPageTimeoutMs)) {
    AbandonStream();
    ShowError(kMsgNandOutOfStep, "NAND Error");
    return ExtractOutcome::Failed;
  }

  if (g_stopRequested) return endStopped();
  if (!keys.empty()) {
    if (!file.Write(keys.data(), keys.size()) || !file.Flush()) {
      ShowFileError("Error: Couldn't write to file");
      return ExtractOutcome::Failed;
    }
    verifier.Feed(keys.data(), keys.size());
  }
  const std::vector<std::string> results =
      verifier.enabled() ? ReportVerification(verifier, spare ? &check : nullptr, *path)
                         : std::vector<std::string>();
  ShowDone(kMsgNandFinished, Joined(results));
  // The page lines go; the sums and the page check stay for the user to read or copy.
  Ui().ListClear();
  for (const std::string& line : results) AppendLine(line);
  g_keepExtracting = 0;
  return ExtractOutcome::Finished;
}

}  // namespace zemlo
