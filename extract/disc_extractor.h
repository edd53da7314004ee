// Copies the game disc in the console's drive into an image file, on the worker thread: packets
// of 61,440 disc bytes, each followed by its big-endian byte sum, acknowledged one by one, then a
// raw final part. Stops at the next packet boundary when `g_keepExtracting` is cleared.
#pragma once

#include <cstdint>
#include <span>

#include "extract/outcome.h"

namespace zemlo {

inline constexpr uint32_t kDiscPacketData = 0xF000;               // 61,440
inline constexpr uint32_t kDiscPacketSize = kDiscPacketData + 4;  // data + checksum
inline constexpr uint32_t kDiscSectorSize = 2048;

struct DiscKind {
  const char* comboText;  // the DVD dialog's combo box, in this order
  const char* listLine;   // written to the top of the list box when the run starts
  uint8_t command;
  uint32_t fullPackets;
  uint32_t finalPart;  // raw bytes after the last packet, no checksum, no acknowledgement

  constexpr uint64_t imageSize() const {
    return uint64_t{fullPackets} * kDiscPacketData + finalPart;
  }
};

// GameCube, single-layer Wii, dual-layer Wii.
std::span<const DiscKind> DiscKinds();

inline constexpr char kMsgSelectExtractMethod[] = "Please select an Extract Method";
inline constexpr char kMsgDiscStopped[] = "DVD Extract operation stopped";
inline constexpr char kCaptionDiscStopped[] = "DVD Stopped";
inline constexpr char kLineDiscFinished[] = "Finished Extracting Game";
inline constexpr char kMsgConsoleSilent[] =
    "Error: The console sent nothing for 300 seconds. Please check the disc and retry";
inline constexpr char kMsgWiiRvz[] =
    "Error: An RVZ image of a Wii disc needs the console's keys file. Please choose it, or another "
    "image format";
inline constexpr char kMsgWiiRvzWrongKey[] =
    "Error: The keys file's common key does not open this Wii disc. Please choose the console's "
    "own keys file, or another image format";
inline constexpr char kMsgStreamOutOfStep[] =
    "Error: The console sent more data than the disc holds, so the image cannot be trusted. "
    "Please retry";

// The worker procedure. `selection` is the combo box index (-1: none selected). `kinds` is the
// table the selection indexes: DiscKinds() except in tests, which shrink the discs.
// Clears `g_workerBusy` at every exit.
ExtractOutcome ExtractDisc(int selection, std::span<const DiscKind> kinds = DiscKinds());

}  // namespace zemlo
