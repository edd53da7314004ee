#include "protocol/upload.h"

#include <array>

#include "protocol/commands.h"
#include "protocol/file_buffer.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {

UploadCodeInput g_uploadCode;

namespace {

FileRequest OpenRequest(const char* key, const char* description, const char* pattern) {
  return FileRequest{key, {{description, pattern}, {"All Files", "*.*"}}, ""};
}

const std::array<UploadKindInfo, 5>& KindTable() {
  static const std::array<UploadKindInfo, 5> table{{
      {UploadKind::Dol, CMD_UPLOAD_DOL, "dol", "Load DOL",
       OpenRequest("upload-dol", "DOL Files (*.dol)", "*.DOL"), kUploadSizeLimit, false,
       "DOL File Loaded"},
      {UploadKind::Elf, CMD_UPLOAD_ELF, "elf", "Load ELF",
       OpenRequest("upload-elf", "ELF Files (*.elf)", "*.ELF"), kUploadSizeLimit, false,
       "ELF File Loaded"},
      {UploadKind::Mod, CMD_UPLOAD_MOD, "mod", "Load MOD",
       OpenRequest("upload-mod", "MOD Files (*.mod)", "*.MOD"), kUploadSizeLimit, false,
       "MOD File Loaded"},
      {UploadKind::Mp3, CMD_UPLOAD_MP3, "mp3", "Load MP3",
       OpenRequest("upload-mp3", "MP3 Files (*.mp3)", "*.MP3"), kUploadSizeLimit, false,
       "MP3 File Loaded"},
      {UploadKind::Code, CMD_UPLOAD_CODE, "code", "Open",
       OpenRequest("upload-code", "BIN Files (*.bin)", "*.BIN"), std::nullopt, true,
       "Code Uploaded"},
  }};
  return table;
}

int RunUpload(const UploadKindInfo& info) {
  if (!RequireConnected()) return 0;
  if (info.addressInHeader && g_uploadCode.addressTextLength != 8) {
    ShowError(kMsgUploadAddressSize, kCaptionRangeError);
    return 0;
  }
  const std::optional<std::string> path = Ui().ChooseOpenFile(info.request);
  if (!path) return 0;
  const std::optional<FileBuffer> file =
      ReadWholeFile(*path, FileBufferTexts{info.sizeLimit, kMsgFileTooBig, kMsgReadToBuffer});
  if (!file) return 0;

  if (!SendCommand(info.command)) return 0;
  const std::optional<uint8_t> reply = ReadReply();
  if (!reply) return 0;
  if (*reply != REPLY_ACK) {
    ShowUsbError(kMsgReadAcknowledgement);
    return 0;
  }
  const TransferResult header = info.addressInHeader
                                    ? SendHeader({g_uploadCode.address, file->size})
                                    : SendHeader({file->size});
  if (header != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgTransmitRetry);
    return 0;
  }
  // A missing or wrong acknowledgement sends the same packet again (up to the shared bound).
  const PacketUpload upload{kUploadPacketSize, kMsgFatalUsb, kMsgPacketDrop, nullptr,
                            kMsgLastPacket};
  if (!RunPacketUpload(file->data.get(), file->size, upload)) return 0;
  ShowDone(info.successText);
  ProgressEnd();
  return 1;
}

}  // namespace

std::span<const UploadKindInfo> UploadKinds() {
  return KindTable();
}

const UploadKindInfo& UploadKindInfoOf(UploadKind kind) {
  for (const UploadKindInfo& info : KindTable()) {
    if (info.kind == kind) return info;
  }
  return KindTable().front();
}

std::optional<UploadKind> UploadKindNamed(std::string_view name) {
  for (const UploadKindInfo& info : KindTable()) {
    if (info.kind != UploadKind::Code && name == info.name) return info.kind;
  }
  return std::nullopt;
}

int UploadFile(UploadKind kind) {
  return RunUpload(UploadKindInfoOf(kind));
}

int UploadCode() {
  return RunUpload(UploadKindInfoOf(UploadKind::Code));
}

int OnLoadPressed(UploadKind kind) {
  PurgeLink();
  return UploadFile(kind);
}

int OnUploadCodeOpenPressed(std::string_view addressText) {
  HexInput input{0, g_uploadCode.address};
  input.Take(addressText);
  g_uploadCode.address = input.value;
  g_uploadCode.addressTextLength = input.CheckedLength();
  PurgeLink();
  return UploadCode();
}

}  // namespace zemlo
