#include "extract/card_transfer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extract/card_selection.h"
#include "extract/card_status.h"
#include "link/file_offset.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr char kMsgWriteFile[] = "Error: Couldn't write to file";
constexpr char kMsgLastPacketIn[] = "Error: Couldn't send the last packet bytes";
constexpr char kMsgLastPacketOut[] = "Error: Couldn't send last packet bytes";
constexpr char kMsgTooBig[] = "Error: File too big - Limit is 19910656 bytes";
constexpr char kMsgReadFile[] = "Error: Couldn't read file to buffer";
constexpr char kMsgShortGameShark[] =
    "Error: Game Shark(tm) save file is shorter than its 272 byte header";

constexpr uint32_t kLinkTimeoutMs = 2000;

// Writes and flushes, so that a failed download leaves exactly what arrived before it on disk.
bool StoreToFile(std::FILE* file, const uint8_t* data, size_t size) {
  if (std::fwrite(data, 1, size, file) != size || std::fflush(file) != 0) {
    ShowFileError(kMsgWriteFile);
    return false;
  }
  return true;
}

bool SendByte(uint8_t byte) {
  return WriteExact(&byte, 1) == TRANSFER_COMPLETE;
}

// The announced data length, one byte at a time, most significant first. Every byte must arrive:
// a guessed length would turn the packet stream into a file of the wrong size.
std::optional<uint32_t> ReadDataLength() {
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t byte = 0;
    if (ReadExact(&byte, 1) != TRANSFER_COMPLETE) return std::nullopt;
    length = (length << 8) | byte;
  }
  return length;
}

// Receives the save's data into `file`: full packets acknowledged before they are stored, a short
// one re-requested, then the final part. Shows the failure message itself.
bool ReceiveSaveData(std::FILE* file, uint32_t length) {
  const uint32_t packets = length / kCardPacketSize;
  const uint32_t finalPart = length % kCardPacketSize;
  std::vector<uint8_t> packet(kCardPacketSize);
  ProgressBegin(packets, kCardPacketSize);
  const auto fail = [](const char* text) {
    ShowUsbError(text);
    ProgressEnd();
    return false;
  };
  unsigned attempts = 0;
  for (uint32_t received = 0; received < packets;) {
    if (++attempts > kMaxAttemptsPerPacket) return fail(kMsgTooManyAttempts);
    const TransferResult read = ReadExact(packet.data(), kCardPacketSize);
    if (read == TRANSFER_FAILED) return fail(kMsgUsbTransmit);
    // An answer the console never got would make it answer our next byte out of step, and a
    // packet sent again would then be stored as the next one.
    if (read == TRANSFER_SHORT) {
      if (!SendByte(RETRY_BLOCK)) return fail(kMsgUsbTransmit);
      continue;
    }
    if (!SendByte(ACK_BLOCK)) return fail(kMsgUsbTransmit);
    ++received;
    attempts = 0;
    if (!StoreToFile(file, packet.data(), kCardPacketSize)) {
      ProgressEnd();
      return false;
    }
    Ui().ProgressStep();
  }
  if (finalPart != 0) {
    const TransferResult read = ReadExact(packet.data(), finalPart);
    if (read == TRANSFER_FAILED) return fail(kMsgLastPacketIn);
    if (read == TRANSFER_SHORT) {
      // Only what arrived goes to the file; the bytes after it would be the previous packet's.
      const uint32_t arrived = std::min<uint32_t>(g_bytesRead, finalPart);
      if (std::fwrite(packet.data(), 1, arrived, file) == arrived) std::fflush(file);
      return fail(kMsgLastPacketIn);
    }
    if (!StoreToFile(file, packet.data(), finalPart)) {
      ProgressEnd();
      return false;
    }
  }
  return true;
}

// Every exit of the upload from the moment it lifted the time-outs puts the ordinary ones back.
class UnlimitedTimeouts {
 public:
  UnlimitedTimeouts() { SetLinkTimeouts(0, 0); }
  ~UnlimitedTimeouts() { SetLinkTimeouts(kLinkTimeoutMs, kLinkTimeoutMs); }
  UnlimitedTimeouts(const UnlimitedTimeouts&) = delete;
  UnlimitedTimeouts& operator=(const UnlimitedTimeouts&) = delete;
};

// The whole file in memory, or nothing after its message.
struct LoadedFile {
  std::unique_ptr<uint8_t[]> bytes;
  size_t size = 0;
};

std::optional<LoadedFile> LoadSaveFile(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    ShowFileError(kMsgFopen);
    return std::nullopt;
  }
  const std::optional<uint64_t> end = FileSizeFromStart(file.get());
  if (!end) {
    ShowFileError(kMsgReadFile);
    return std::nullopt;
  }
  if (*end > kCardUploadLimit) {
    ShowFileError(kMsgTooBig);
    return std::nullopt;
  }
  LoadedFile loaded;
  loaded.size = static_cast<size_t>(*end);
  loaded.bytes.reset(new (std::nothrow) uint8_t[loaded.size]);
  if (!loaded.bytes) {
    ShowError(kMsgAllocate, kCaptionMallocError);
    return std::nullopt;
  }
  if (std::fread(loaded.bytes.get(), 1, loaded.size, file.get()) != loaded.size) {
    ShowFileError(kMsgReadFile);
    return std::nullopt;
  }
  return loaded;
}

}  // namespace

std::optional<std::span<const uint8_t>> CardSaveData(std::span<const uint8_t> file) {
  constexpr size_t kMagicSize = sizeof(kGameSharkMagic) - 1;
  if (file.size() < kMagicSize || std::memcmp(file.data(), kGameSharkMagic, kMagicSize) != 0) {
    return file;
  }
  if (file.size() < kGameSharkHeaderSize) return std::nullopt;
  return file.subspan(kGameSharkHeaderSize);
}

int DownloadCardSave() {
  if (!RequireConnected(MessageOwner::Dialog)) return kCardTransferFailed;
  const std::optional<uint8_t> index = SelectedSaveIndex();
  if (!index) return kCardTransferFailed;
  const std::optional<std::string> path = Ui().ChooseSaveFile(
      {"card-download", {{"GCI Game Save File (*.gci)", "*.gci"}, {"All Files", "*.*"}}, "gci"});
  if (!path) return kCardTransferCancelled;
  File file(std::fopen(path->c_str(), "wb"));
  if (!file) {
    ShowFileError(kMsgFopen);
    return kCardTransferFailed;
  }
  const uint8_t command = CMD_CARD_DOWNLOAD_SAVE;
  if (WriteExact(&command, 1) != TRANSFER_COMPLETE) {
    ShowUsbError("Error sending Download Save command");
    return kCardTransferFailed;
  }
  std::optional<uint8_t> status = ReadReply();
  if (!status) return kCardTransferFailed;
  if (ReportCardStatus(CardStatusPoint::DownloadFirst, *status) != CardStatusAction::Continue) {
    return kCardTransferFailed;
  }
  if (!SendByte(*index)) {
    ShowUsbError("Error sending index");
    return kCardTransferFailed;
  }
  status = ReadReply();
  if (!status) return kCardTransferFailed;
  if (ReportCardStatus(CardStatusPoint::DownloadSecond, *status) != CardStatusAction::Continue) {
    return kCardTransferFailed;
  }
  std::array<uint8_t, kCardDirectoryEntrySize> entry{};
  if (ReadExact(entry.data(), kCardDirectoryEntrySize) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgUsbTransmit);
    return kCardTransferFailed;
  }
  if (!StoreToFile(file.get(), entry.data(), entry.size())) return kCardTransferFailed;
  const std::optional<uint32_t> length = ReadDataLength();
  if (!length) {
    ShowUsbError(kMsgUsbTransmit);
    return kCardTransferFailed;
  }
  if (!ReceiveSaveData(file.get(), *length)) return kCardTransferFailed;
  file.reset();  // closed before it is hashed, so the hash is of what reached the disk
  ShowDone("Done Saving GCI save file", WrittenFileDetail(*path));
  ProgressEnd();
  return kCardTransferDone;
}

int UploadCardSave() {
  if (!RequireConnected(MessageOwner::Dialog)) return kCardTransferFailed;
  const std::optional<std::string> path =
      Ui().ChooseOpenFile({"card-upload",
                           {{"GCI Game Save Files (*.gci)", "*.GCI"},
                            {"Game Shark(tm) Save Files (*.gcs)", "*.GCS"},
                            {"All Files", "*.*"}},
                           ""});
  if (!path) return kCardTransferCancelled;
  std::optional<LoadedFile> loaded = LoadSaveFile(*path);
  if (!loaded) return kCardTransferFailed;
  const std::optional<std::span<const uint8_t>> data =
      CardSaveData({loaded->bytes.get(), loaded->size});
  if (!data) {
    ShowFileError(kMsgShortGameShark);
    return kCardTransferFailed;
  }
  if (!SendCommand(CMD_CARD_UPLOAD_SAVE)) return kCardTransferFailed;
  const std::optional<uint8_t> reply = ReadReply();
  if (!reply) return kCardTransferFailed;
  if (*reply != REPLY_ACK) {
    ShowUsbError(kMsgReadAcknowledgement);
    return kCardTransferFailed;
  }
  const UnlimitedTimeouts timeouts;
  const auto length = static_cast<uint32_t>(data->size());
  // A length that went out in part would have the console take packet bytes for the rest of it.
  if (SendHeader({length}) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgTransmitRetry);
    return kCardTransferFailed;
  }
  // A packet write that moved only part of the packet cannot be made good by sending the whole
  // packet again: the console would count the part twice and store shifted data.
  const PacketUpload upload{kCardPacketSize, kMsgUsbTransmit, kMsgUsbTransmit, kMsgUsbTransmit,
                            kMsgLastPacketOut};
  if (!RunPacketUpload(data->data(), length, upload)) return kCardTransferFailed;
  loaded.reset();

  uint8_t status = 0;
  if (ReadExact(&status, 1) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgReadResponse);
    return kCardTransferFailed;
  }
  const CardStatusAction action = ReportCardStatus(CardStatusPoint::UploadFinal, status);
  if (action == CardStatusAction::Success) Ui().ListClear();
  ProgressEnd();
  return action == CardStatusAction::Success ? kCardTransferDone : kCardTransferFailed;
}

}  // namespace zemlo
