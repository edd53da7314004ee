#include "extract/lowlevel_dump.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "extract/output_file.h"
#include "extract/packet_buffer.h"
#include "extract/stream_control.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr std::array kRegions{
    LowLevelRegion{"Dump SRAM", "lowlevel-sram", CMD_DUMP_SRAM, false, false, nullptr, true,
                   "Error reading SRAM. Please check connection and retry", 0, 64, kMsgSendCommand,
                   nullptr, "Finished dumping SRAM"},
    LowLevelRegion{"Dump Gamecube Bios", "lowlevel-bios", CMD_DUMP_BIOS, true, true,
                   "Detection Error", true, "Failed to Allocated enough memory on the console", 33,
                   0x800, kMsgSendCommand, "Error reading Gamecube Bios.",
                   "Finished dumping Gamecube Bios"},
    LowLevelRegion{"Dump Drive Firmware", "lowlevel-drive-rom", CMD_DUMP_DRIVE_ROM, true, true,
                   kCaptionUsbError, false, nullptr, 1, 0x7FF, kMsgSendCommand,
                   "Error reading Dump GC Drive ROM.", "Finished dumping Gamecube Drive ROM"},
    LowLevelRegion{"Dump Drive IRAM", "lowlevel-drive-iram", CMD_DUMP_DRIVE_IRAM, true, true,
                   kCaptionUsbError, false, nullptr, 0, 0x8000, kMsgSendCommand,
                   "Error reading Dump GC Drive IRAM.", "Finished dumping Gamecube Drive IRAM"},
    LowLevelRegion{"Dump Drive ERAM", "lowlevel-drive-eram", CMD_DUMP_DRIVE_ERAM, true, true,
                   kCaptionUsbError, false, nullptr, 4, 0x2000,
                   "Error sending Dump GC Drive ERAM command", "Error reading Dump GC Drive ERAM.",
                   "Finished dumping Gamecube Drive ERAM"},
};
static_assert(kRegions[1].fileSize() == 2'097'152);
static_assert(kRegions[2].fileSize() == 65'535);
static_assert(kRegions[3].fileSize() == 32'768);
static_assert(kRegions[4].fileSize() == 262'144);

constexpr uint32_t kRegionTimeoutMs = 1000;
constexpr char kMsgWriteFile[] = "Error: Couldn't write to file";

// Empties the progress bar on every exit once the region transfer has set it up.
class ProgressScope {
 public:
  explicit ProgressScope(uint32_t packets) { ProgressBegin(packets, kLowLevelPacketSize); }
  ~ProgressScope() { ProgressEnd(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
};

int DumpSram(const LowLevelRegion& region, OutputFile& file) {
  std::array<uint8_t, 64> sram{};
  if (ReadExact(sram.data(), region.finalPart) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgUsbTransmit);
    return 0;
  }
  if (!file.Write(sram.data(), region.finalPart) || !file.Flush()) {
    ShowFileError(kMsgWriteFile);
    return 0;
  }
  ShowDone(region.doneText, WrittenFileDetail(file.path()));
  return 1;
}

// The ready byte may take the console a while (it reads the region first): no time limit, then
// 1000 ms for the packets, which stays in force after the dump.
bool AwaitReady(const LowLevelRegion& region) {
  SetLinkTimeouts(0, 0);
  const std::optional<uint8_t> ready = ReadReply();
  if (ready && *ready != REPLY_READY) ShowUsbError(region.notReadyText);
  SetLinkTimeouts(kRegionTimeoutMs, kRegionTimeoutMs);
  return ready == REPLY_READY;
}

int TransferRegion(const LowLevelRegion& region, OutputFile& file) {
  if (!AwaitReady(region)) return 0;
  const std::unique_ptr<uint8_t[]> packet =
      AllocatePacketBuffer(std::max(kLowLevelPacketSize, region.finalPart));
  if (!packet) {
    ShowError(kMsgAllocate, kCaptionMallocError);
    return 0;
  }
  ProgressScope progress(region.packets);
  uint32_t accepted = 0;
  unsigned attempts = 0;
  if (region.packets != 0) {
    do {
      switch (ReadExact(packet.get(), kLowLevelPacketSize)) {
        case TRANSFER_COMPLETE:
          ++accepted;
          attempts = 0;
          SendUnchecked(ACK_BLOCK);
          if (!file.Write(packet.get(), kLowLevelPacketSize) || !file.Flush()) {
            ShowFileError(kMsgWriteFile);
            return 0;
          }
          Ui().ProgressStep();
          break;
        case TRANSFER_SHORT:
          if (++attempts >= kMaxAttemptsPerPacket) {
            ShowUsbError(kMsgTooManyAttempts);
            return 0;
          }
          SendUnchecked(RETRY_BLOCK);
          break;
        case TRANSFER_FAILED:
          ShowUsbError(kMsgUsbTransmit);
          return 0;
      }
    } while (accepted < region.packets);
  }
  // A short final part is written at its full length all the same; what did not arrive is
  // written as zeros rather than as leftovers of the previous packet.
  std::memset(packet.get(), 0, region.finalPart);
  if (ReadExact(packet.get(), region.finalPart) == TRANSFER_FAILED) {
    ShowUsbError("Error: Couldn't send the last packet bytes");
    return 0;
  }
  if (!file.Write(packet.get(), region.finalPart) || !file.Flush()) {
    ShowFileError(kMsgWriteFile);
    return 0;
  }
  ShowDone(region.doneText, WrittenFileDetail(file.path()));
  return 1;
}

}  // namespace

std::span<const LowLevelRegion> LowLevelRegions() {
  return kRegions;
}

int RunLowLevelDump(const LowLevelRegion& region) {
  if (!RequireConnected()) return 0;
  const std::optional<std::string> path = Ui().ChooseSaveFile(
      FileRequest{region.fileKey, {{"Binary File (*.bin)", "*.bin"}, {"All Files", "*.*"}}, "bin"});
  if (!path) return 2;
  OutputFile file;
  if (!file.Open(*path)) {
    ShowFileError(kMsgFopen);
    return 0;
  }
  if (WriteExact(&region.command, 1) != TRANSFER_COMPLETE) {
    ShowUsbError(region.commandText);
    return 0;
  }
  const std::optional<uint8_t> first = ReadReply();
  if (!first) return 0;
  if (region.refusesWii && *first == REPLY_WII_DETECTED) {
    ShowError(kMsgWiiDetected, region.wiiCaption);
    return 0;
  }
  if (region.refusesFail && *first == REPLY_FAIL) {
    ShowUsbError(region.failText);
    return 0;
  }
  return region.hasReadyByte ? TransferRegion(region, file) : DumpSram(region, file);
}

int ExecuteLowLevel(int selection) {
  if (selection < 0 || static_cast<size_t>(selection) >= kRegions.size()) {
    ShowInfo(kMsgSelectLowLevel, kCaptionPleaseSelect, MessageOwner::Dialog);
    return 0;
  }
  PurgeLink();
  return RunLowLevelDump(kRegions[static_cast<size_t>(selection)]);
}

}  // namespace zemlo
