#include "protocol/steps.h"

#include <vector>

#include "link/bytes.h"
#include "protocol/commands.h"
#include "protocol/messages.h"

namespace zemlo {

void ShowUsbError(const std::string& text) {
  Ui().ShowMessage(text, kCaptionUsbError, MessageIcon::Error, MessageOwner::None);
}

void ShowFileError(const std::string& text) {
  Ui().ShowMessage(text, kCaptionFileError, MessageIcon::Error, MessageOwner::None);
}

void ShowDone(const std::string& text, const std::string& detail) {
  Ui().ShowMessage(text, kCaptionDone, MessageIcon::None, MessageOwner::None, detail);
}

void ShowInfo(const std::string& text, const std::string& caption, MessageOwner owner) {
  Ui().ShowMessage(text, caption, MessageIcon::Information, owner);
}

void ShowError(const std::string& text, const std::string& caption, MessageOwner owner) {
  Ui().ShowMessage(text, caption, MessageIcon::Error, owner);
}

bool RequireConnected(MessageOwner owner) {
  if (g_connected) return true;
  ShowInfo(kMsgNotConnected, kCaptionError, owner);
  return false;
}

bool SendCommand(uint8_t command) {
  if (WriteExact(&command, 1) == TRANSFER_COMPLETE) return true;
  ShowUsbError(kMsgSendCommand);
  return false;
}

std::optional<uint8_t> ReadReply() {
  uint8_t reply = 0;
  if (ReadExact(&reply, 1) == TRANSFER_COMPLETE) return reply;
  ShowUsbError(kMsgReadResponse);
  return std::nullopt;
}

TransferResult SendHeader(std::initializer_list<uint32_t> fields) {
  std::vector<uint8_t> header(fields.size() * 4);
  size_t offset = 0;
  for (uint32_t field : fields) {
    WriteBE32(&header[offset], field);
    offset += 4;
  }
  return WriteExact(header.data(), static_cast<uint32_t>(header.size()));
}

void ProgressBegin(uint32_t packets, uint32_t packetBytes) {
  Ui().ProgressSetStepBytes(packetBytes);
  Ui().ProgressSetRange(0, packets);
  Ui().ProgressSetStep(1);
}

void ProgressEnd() {
  Ui().ProgressSetRange(0, 0);
}

bool RunPacketUpload(const uint8_t* data, uint32_t size, const PacketUpload& upload) {
  const uint32_t fullPackets = size / upload.packetSize;
  const uint32_t lastPacket = size % upload.packetSize;
  ProgressBegin(fullPackets, upload.packetSize);
  const auto fail = [](const char* text) {
    ShowUsbError(text);
    ProgressEnd();
    return false;
  };
  uint32_t position = 0;
  unsigned attempts = 0;
  for (uint32_t accepted = 0; accepted < fullPackets;) {
    if (++attempts > kMaxAttemptsPerPacket) return fail(kMsgTooManyAttempts);
    switch (WriteExact(data + position, upload.packetSize)) {
      case TRANSFER_FAILED:
        return fail(upload.writeFailedText);
      case TRANSFER_SHORT:
        return fail(upload.writeShortText);
      case TRANSFER_COMPLETE:
        break;
    }
    uint8_t reply = 0;
    const TransferResult read = ReadExact(&reply, 1);
    if (read == TRANSFER_FAILED) return fail(upload.writeFailedText);
    if (read != TRANSFER_COMPLETE && upload.missingReplyText) return fail(upload.missingReplyText);
    if (read == TRANSFER_COMPLETE && reply == REPLY_ACK) {
      position += upload.packetSize;
      ++accepted;
      attempts = 0;
      Ui().ProgressStep();
    }
  }
  if (WriteExact(data + position, lastPacket) != TRANSFER_COMPLETE) {
    return fail(upload.lastPacketText);
  }
  return true;
}

bool RunBlockDownload(const BlockDownload& download) {
  std::vector<uint8_t> block(std::max(download.blockSize, download.lastSize));
  ProgressBegin(download.fullBlocks, download.blockSize);
  const auto fail = [](const char* text) {
    ShowUsbError(text);
    ProgressEnd();
    return false;
  };
  const auto answer = [](uint8_t byte) { return WriteExact(&byte, 1) != TRANSFER_FAILED; };
  unsigned attempts = 0;
  for (uint32_t stored = 0; stored < download.fullBlocks;) {
    if (++attempts > kMaxAttemptsPerPacket) return fail(kMsgTooManyAttempts);
    const TransferResult read = ReadExact(block.data(), download.blockSize);
    if (read == TRANSFER_FAILED) return fail(download.readFailedText);
    if (read == TRANSFER_SHORT) {
      if (!answer(RETRY_BLOCK)) return fail(download.readFailedText);
      continue;
    }
    if (download.acknowledgeBeforeStore && !answer(ACK_BLOCK)) {
      return fail(download.readFailedText);
    }
    if (!download.store(block.data(), download.blockSize)) {
      ProgressEnd();
      return false;
    }
    if (!download.acknowledgeBeforeStore && !answer(ACK_BLOCK)) {
      return fail(download.readFailedText);
    }
    ++stored;
    attempts = 0;
    Ui().ProgressStep();
  }
  const TransferResult last = ReadExact(block.data(), download.lastSize);
  if (last == TRANSFER_FAILED) return fail(download.readFailedText);
  const uint32_t received = g_bytesRead;
  if (last == TRANSFER_SHORT) {
    if (!download.lastBlockShort) return fail(download.readFailedText);
    if (!download.lastBlockShort(received)) {
      ProgressEnd();
      return false;
    }
  }
  if (!download.store(block.data(), last == TRANSFER_SHORT ? received : download.lastSize)) {
    ProgressEnd();
    return false;
  }
  ProgressEnd();
  return true;
}

}  // namespace zemlo
