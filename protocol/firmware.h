// Hands a new adapter firmware image to the console-side program, which flashes it.
#pragma once

#include <cstdint>

#include "link/ui_port.h"

namespace zemlo {

inline constexpr uint32_t kFirmwarePacketSize = 0xF800;  // 63,488 bytes
inline constexpr uint32_t kFirmwareSizeLimit = 0x80000;  // 512 KiB, accepted exactly
inline constexpr uint32_t kFirmwareTimeoutMs = 1000;     // set after the reply; left so

inline constexpr char kMsgFirmwareLimit[] = "Flash file limit is 0x80000 bytes (512K)";
inline constexpr char kMsgFirmwareReadToBuffer[] = "Error: Could'nt read file to buffer";
inline constexpr char kMsgFirmwareRefused[] = "Error: Couldn't Flash Firmware.";
inline constexpr char kMsgFirmwareLastPacket[] = "Error: Couldn't send last packet bytes";
inline constexpr char kMsgFirmwareLoaded[] =
    "Flash file loaded to memory, check console for progress";

// The open-file dialog of the flash.
const FileRequest& FirmwareFileRequest();

// 1 when the image was handed over; 0 on failure; 2 when no file was chosen (nothing shown).
int FlashFirmware();

// "Load Firmware": the dialog's purge, then the flash.
int OnLoadFirmwarePressed();

}  // namespace zemlo
