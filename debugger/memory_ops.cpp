#include "debugger/memory_ops.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "protocol/commands.h"
#include "protocol/file_buffer.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {

RangeInputs g_fillInputs;
RangeInputs g_dumpInputs;

namespace {

bool CheckRange(int startTextLength, uint32_t start, int endTextLength, uint32_t end) {
  if (startTextLength != 8 || endTextLength != 8) {
    ShowError(kMsgMemoryAddressSize, kCaptionRangeError);
    return false;
  }
  if (end < start) {
    ShowError(kMsgEndBelowStart, kCaptionRangeError);
    return false;
  }
  return true;
}

// Sends the command byte, expects 0xAA, then the range. False after a message.
bool StartRangeCommand(uint8_t command, const char* notHookedText, uint32_t start, uint32_t end) {
  if (!SendCommand(command)) return false;
  const std::optional<uint8_t> reply = ReadReply();
  if (!reply) return false;
  if (*reply != REPLY_ACK) {
    ShowUsbError(notHookedText);
    return false;
  }
  if (SendHeader({start, end}) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgSendCommand);
    return false;
  }
  return true;
}

void Answer(uint8_t byte) {
  WriteExact(&byte, 1);
}

bool Store(std::FILE* file, const uint8_t* data, uint32_t size) {
  return std::fwrite(data, 1, size, file) == size && !std::ferror(file);
}

// The stream after the range went out: N full packets, each written and acknowledged (or asked
// for again when short), then the final part. The bar is emptied on every exit.
int ReceiveDump(std::FILE* file, const std::string& path, uint32_t count) {
  const uint32_t fullPackets = count / kDumpPacketSize;
  const uint32_t lastPart = count % kDumpPacketSize;
  ProgressBegin(fullPackets, kDumpPacketSize);
  const auto fail = [](const char* text, const char* caption) {
    ShowError(text, caption);
    ProgressEnd();
    return 0;
  };
  std::unique_ptr<uint8_t[]> packet(new (std::nothrow) uint8_t[kDumpPacketSize]());
  if (!packet) return fail(kMsgAllocate, kCaptionMallocError);

  unsigned attempts = 0;
  for (uint32_t received = 0; received < fullPackets;) {
    switch (ReadExact(packet.get(), kDumpPacketSize)) {
      case TRANSFER_COMPLETE:
        if (!Store(file, packet.get(), kDumpPacketSize)) {
          return fail(kMsgWriteToFile, kCaptionFileError);
        }
        ++received;
        attempts = 0;
        Answer(ACK_BLOCK);
        Ui().ProgressStep();
        break;
      case TRANSFER_SHORT:
        // A console that keeps sending the packet short would hold the dialog for ever.
        if (++attempts >= kMaxAttemptsPerPacket) {
          return fail(kMsgTooManyAttempts, kCaptionUsbError);
        }
        Answer(RETRY_BLOCK);
        break;
      case TRANSFER_FAILED:
        return fail(kMsgUsbTransmit, kCaptionUsbError);
    }
  }
  if (lastPart > 0) {
    const TransferResult last = ReadExact(packet.get(), lastPart);
    if (last == TRANSFER_FAILED) return fail(kMsgDumpLastPart, kCaptionUsbError);
    // Only what arrived goes into the file: the rest of the buffer holds nothing of this part.
    const uint32_t arrived =
        last == TRANSFER_COMPLETE ? lastPart : std::min(g_bytesRead.load(), lastPart);
    if (!Store(file, packet.get(), arrived)) return fail(kMsgWriteToFile, kCaptionFileError);
    if (last == TRANSFER_SHORT) return fail(kMsgDumpLastPart, kCaptionUsbError);
  }
  // Buffered bytes that cannot reach the disk must not end in a success message.
  if (std::fflush(file) != 0 || std::ferror(file)) return fail(kMsgWriteToFile, kCaptionFileError);
  ShowDone(kMsgDumpFinished, WrittenFileDetail(path));
  ProgressEnd();
  return 1;
}

}  // namespace

const FileRequest& DumpFileRequest() {
  static const FileRequest request{
      "dump-memory", {{"Binary File (*.bin)", "*.bin"}, {"All Files", "*.*"}}, "bin"};
  return request;
}

int PokeMemory(int addressTextLength, uint32_t address, int valueTextLength, uint32_t value) {
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  if (addressTextLength != 8) {
    ShowError(kMsgMemoryAddressSize, kCaptionRangeError);
    return 0;
  }
  if (valueTextLength != 8) {
    ShowError(kMsgPokeValueSize, kCaptionRangeError);
    return 0;
  }
  if (!SendCommand(CMD_POKE)) return 0;
  if (SendHeader({address, value}) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgPokeSendAddress);
    return 0;
  }
  return 1;
}

int FillMemory(int startTextLength, uint32_t start, int endTextLength, uint32_t end) {
  if (!RequireConnected()) return 0;
  if (!CheckRange(startTextLength, start, endTextLength, end)) return 0;
  return StartRangeCommand(CMD_FILL_MEMORY, kMsgFillNotHooked, start, end) ? 1 : 0;
}

int DumpMemory(int startTextLength, uint32_t start, int endTextLength, uint32_t end) {
  if (!RequireConnected()) return 0;
  if (!CheckRange(startTextLength, start, endTextLength, end)) return 0;
  const std::optional<std::string> path = Ui().ChooseSaveFile(DumpFileRequest());
  if (!path) return 2;
  return DumpMemoryToPath(*path, start, end);
}

int DumpMemoryToPath(const std::string& path, uint32_t start, uint32_t end) {
  // Callers that bring their own path skip DumpMemory's checks; a reversed range would wrap.
  if (!RequireConnected() || !CheckRange(8, start, 8, end)) return 0;
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    ShowFileError(kMsgFopen);
    return 0;
  }
  if (!StartRangeCommand(CMD_DUMP_MEMORY, kMsgDumpNotHooked, start, end)) return 0;
  SetLinkTimeouts(kDumpTimeoutMs, kDumpTimeoutMs);
  return ReceiveDump(file.get(), path, end - start);
}

int OnFillMemoryPressed(std::string_view startText, std::string_view endText) {
  g_fillInputs.start.Take(startText);
  g_fillInputs.end.Take(endText);
  PurgeLink();
  return FillMemory(g_fillInputs.start.CheckedLength(), g_fillInputs.start.value,
                    g_fillInputs.end.CheckedLength(), g_fillInputs.end.value);
}

int OnDumpMemoryPressed(std::string_view startText, std::string_view endText) {
  g_dumpInputs.start.Take(startText);
  g_dumpInputs.end.Take(endText);
  PurgeLink();
  return DumpMemory(g_dumpInputs.start.CheckedLength(), g_dumpInputs.start.value,
                    g_dumpInputs.end.CheckedLength(), g_dumpInputs.end.value);
}

}  // namespace zemlo
