#include "live/live_link.h"

#include <cstring>

#include "debugger/memory_ops.h"
#include "link/bytes.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo::live {

LinkCounters& Counters() {
  static LinkCounters counters;
  return counters;
}

bool IsConsolePointer(uint32_t address) {
  return (address >= 0x80000000u && address <= 0x817FFFFFu) ||
         (address >= 0x90000000u && address <= 0x93FFFFFFu);
}

bool ReadWindow(uint32_t address, uint8_t* out) {
  if (!g_connected) return false;
  uint8_t request[5] = {CMD_READ_MEMORY};
  WriteBE32(request + 1, address);
  if (WriteExact(request, sizeof request) != TRANSFER_COMPLETE) return false;
  ++Counters().windows;
  return ReadExact(out, kWindowSize) == TRANSFER_COMPLETE;
}

bool PokeWord(uint32_t address, uint32_t value) {
  if (!g_connected) return false;
  uint8_t request[9] = {CMD_POKE};
  WriteBE32(request + 1, address);
  WriteBE32(request + 5, value);
  ++Counters().pokes;
  return WriteExact(request, sizeof request) == TRANSFER_COMPLETE;
}

bool DumpRange(uint32_t start, uint32_t count, std::vector<uint8_t>& out) {
  if (!RequireConnected()) return false;
  out.assign(count, 0);
  if (!SendCommand(CMD_DUMP_MEMORY)) return false;
  const std::optional<uint8_t> reply = ReadReply();
  if (!reply) return false;
  if (*reply != REPLY_ACK) {
    ShowUsbError(kMsgDumpNotHooked);
    return false;
  }
  if (SendHeader({start, start + count}) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgSendCommand);
    return false;
  }
  SetLinkTimeouts(kDumpTimeoutMs, kDumpTimeoutMs);
  uint32_t stored = 0;
  BlockDownload download;
  download.blockSize = kDumpPacketSize;
  download.fullBlocks = count / kDumpPacketSize;
  download.lastSize = count % kDumpPacketSize;
  download.store = [&](const uint8_t* data, uint32_t size) {
    const uint32_t room = count - stored;
    std::memcpy(out.data() + stored, data, std::min(size, room));
    stored += std::min(size, room);
    return true;
  };
  if (!RunBlockDownload(download)) return false;
  Counters().dumpBytes += count;
  return stored == count;
}

}  // namespace zemlo::live
