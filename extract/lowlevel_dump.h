// The GameCube low-level dumps: SRAM, BIOS and the disc drive's ROM, IRAM and ERAM, each into a
// binary file, synchronously on the calling (UI) thread.
#pragma once

#include <cstdint>
#include <span>

namespace zemlo {

inline constexpr uint32_t kLowLevelPacketSize = 0xF800;  // 63,488

struct LowLevelRegion {
  const char* comboText;  // the low-level dialog's combo box, in this order
  const char* fileKey;    // each region keeps its own last chosen path
  uint8_t command;
  bool hasReadyByte;         // false for the SRAM: no second reply, no packets, no time-outs
  bool refusesWii;           // a first reply of 0xDD ends the dump
  const char* wiiCaption;    // caption of that refusal
  bool refusesFail;          // a first reply of 0xFF ends the dump
  const char* failText;      // text of that refusal
  uint32_t packets;          // 63,488-byte packets, each acknowledged
  uint32_t finalPart;        // raw bytes after them, not acknowledged
  const char* commandText;   // the command byte was not sent whole
  const char* notReadyText;  // the second reply was not 0xCC
  const char* doneText;

  constexpr uint32_t fileSize() const { return packets * kLowLevelPacketSize + finalPart; }
};

// In the dialog's combo box order.
std::span<const LowLevelRegion> LowLevelRegions();

inline constexpr char kMsgSelectLowLevel[] = "Please select a Low Level option";
inline constexpr char kMsgWiiDetected[] = "Wii console detected, this is a Gamecube only command";

// One dump: 1 on success, 0 on failure (after its message), 2 when the file choice was cancelled.
int RunLowLevelDump(const LowLevelRegion& region);

// The "Execute" button: with nothing selected (-1) "Please select a Low Level option" (owned by
// the dialog); otherwise purge the adapter and run the selected dump. Returns the dump's result,
// 0 when nothing was selected.
int ExecuteLowLevel(int selection);

}  // namespace zemlo
