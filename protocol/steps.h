// The steps every operation is made of: the connected check, command byte, reply byte, header,
// packet upload and block download. Each step shows its own failure message (caption "USB Error",
// error icon, unless said otherwise) and returns false; the operation then cleans up and returns.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

#include "link/link.h"
#include "link/ui_port.h"

namespace zemlo {

// Message helpers with the conventional icon for each caption.
void ShowUsbError(const std::string& text);
void ShowFileError(const std::string& text);
void ShowDone(const std::string& text, const std::string& detail = {});
void ShowInfo(const std::string& text, const std::string& caption,
              MessageOwner owner = MessageOwner::None);
void ShowError(const std::string& text, const std::string& caption,
               MessageOwner owner = MessageOwner::None);

// False (after "You must first connect USB Zemlo in USB Menu") when no adapter is connected.
bool RequireConnected(MessageOwner owner = MessageOwner::None);

// The command byte; on failure "Error sending command. Please check connection and retry".
bool SendCommand(uint8_t command);

// One reply byte; nothing when it did not arrive whole, after
// "Error reading response from Console. Please check connection and retry".
std::optional<uint8_t> ReadReply();

// A header of big-endian 32-bit fields in one write. Returns the write's result; the caller
// decides which results fail and with what message.
TransferResult SendHeader(std::initializer_list<uint32_t> fields);

// Progress of the dialog's bar: range 0..packets with step 1, then one step per packet.
void ProgressBegin(uint32_t packets, uint32_t packetBytes = 0);
void ProgressEnd();  // range 0..0

// A file held in memory sent in equal packets, each answered by one reply byte (only a complete
// 0xAA counts), then the remainder without an answer. The texts differ between operations.
struct PacketUpload {
  uint32_t packetSize = 0;
  const char* writeFailedText = nullptr;  // a packet write ended in a driver error
  const char* writeShortText = nullptr;   // a packet write moved fewer bytes
  // When set, a reply byte that did not arrive ends the upload with this text; otherwise the
  // packet is sent again (as after a reply other than 0xAA).
  const char* missingReplyText = nullptr;
  const char* lastPacketText = nullptr;  // the remainder did not go out whole
};

// Sends `size` bytes of `data`, driving the progress bar. False after showing the failure message
// and emptying the bar; on success the caller shows its own message and then empties the bar.
bool RunPacketUpload(const uint8_t* data, uint32_t size, const PacketUpload& upload);

// Blocks of equal size streamed by the console, each answered with ACK_BLOCK when it arrived
// whole or RETRY_BLOCK when short, then a last partial block without an answer.
struct BlockDownload {
  uint32_t blockSize = 0xF800;
  uint32_t fullBlocks = 0;
  uint32_t lastSize = 0;
  bool acknowledgeBeforeStore = false;
  const char* readFailedText = "Error: USB Transmit Error";  // a read ended in a driver error
  // Stores one block; false stops the download (the sink has shown why).
  std::function<bool(const uint8_t* data, uint32_t size)> store;
  // Asked when the last partial block arrives short: true to store what came and succeed, false
  // to fail (the callback shows the message). Unset: the short part is a failure with
  // readFailedText.
  std::function<bool(uint32_t received)> lastBlockShort;
};

bool RunBlockDownload(const BlockDownload& download);

}  // namespace zemlo
