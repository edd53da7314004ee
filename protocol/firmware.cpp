#include "protocol/firmware.h"

#include "protocol/commands.h"
#include "protocol/file_buffer.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {

const FileRequest& FirmwareFileRequest() {
  static const FileRequest request{
      "flash-firmware", {{"Zemlo Firmware Files (*.zml)", "*.ZML"}, {"All Files", "*.*"}}, ""};
  return request;
}

int FlashFirmware() {
  if (!RequireConnected()) return 0;
  const std::optional<std::string> path = Ui().ChooseOpenFile(FirmwareFileRequest());
  if (!path) return 2;
  const std::optional<FileBuffer> file = ReadWholeFile(
      *path, FileBufferTexts{kFirmwareSizeLimit, kMsgFirmwareLimit, kMsgFirmwareReadToBuffer});
  if (!file) return 0;

  if (!SendCommand(CMD_FLASH_FIRMWARE)) return 0;
  const std::optional<uint8_t> reply = ReadReply();
  if (!reply) return 0;
  // Only an explicit refusal stops the flash; any other byte lets it proceed.
  if (*reply == REPLY_FAIL) {
    ShowUsbError(kMsgFirmwareRefused);
    return 0;
  }
  SetLinkTimeouts(kFirmwareTimeoutMs, kFirmwareTimeoutMs);
  // A header that went out short is left for the console to notice; only a driver error stops.
  if (SendHeader({file->size}) == TRANSFER_FAILED) {
    ShowUsbError(kMsgTransmitRetry);
    return 0;
  }
  const PacketUpload upload{kFirmwarePacketSize, kMsgUsbTransmit, kMsgUsbTransmit, kMsgUsbTransmit,
                            kMsgFirmwareLastPacket};
  if (!RunPacketUpload(file->data.get(), file->size, upload)) return 0;
  ShowDone(kMsgFirmwareLoaded);
  ProgressEnd();
  return 1;
}

int OnLoadFirmwarePressed() {
  PurgeLink();
  return FlashFirmware();
}

}  // namespace zemlo
