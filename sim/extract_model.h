// Console state behind the disc, NAND and low-level dump commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zemlo::sim {

enum class DiscType { GameCube, WiiSingle, WiiDual };

// How a disc of each type is sent: checksummed 61,440-byte packets, then a raw final part.
struct DiscLayout {
  uint32_t fullPackets = 0;
  uint32_t finalPart = 0;

  uint64_t size() const { return uint64_t{fullPackets} * 61440 + finalPart; }
};

struct ExtractModel {
  // The drive's discs at their real sizes; tests shrink them to keep runs short.
  DiscLayout gamecube{23762, 0xA000};
  DiscLayout wiiSingle{76497, 0x1000};
  DiscLayout wiiDual{138528, 0};
  // When set, every disc read comes from this image file (zeros past its end) instead of the
  // generated content.
  std::string discImage;
  // The second disc reply, sent once the drive has spun up; nothing at all when unset.
  std::optional<uint8_t> discReadyReply = 0xAA;
  uint32_t discSpinUpMs = 0;  // how long the drive takes to spin up before that reply
  // The disc packet of this index goes out once with a checksum one off (-1: none).
  int64_t damagedPacket = -1;

  // Stray bytes the console sends after a disc or NAND stream, as a console out of step would.
  uint32_t bytesAfterStream = 0;

  // Pages the NAND flash sends; tests shrink it.
  uint32_t nandPages = 0x40000;
  // Bits flipped on their way out of the flash: (page, bit offset into the page's data).
  std::vector<std::pair<uint32_t, uint32_t>> nandBitFlips;

  bool sramUnreadable = false;       // 0x27 answers 0xFF
  bool biosAllocationFails = false;  // 0x19 answers 0xFF
  uint8_t regionReadyReply = 0xCC;   // what a region dump answers once the region is read

  // What the console saw of the client's answers, for tests.
  uint64_t packetsAccepted = 0;  // 0xAA answers to disc packets, NAND pages and region packets
  uint64_t resendsServed = 0;    // 0xBB answers
  uint32_t streamsStopped = 0;   // streams left on 0xBA
  uint32_t streamsCompleted = 0;

  DiscLayout& layout(DiscType type) {
    return type == DiscType::GameCube    ? gamecube
           : type == DiscType::WiiSingle ? wiiSingle
                                         : wiiDual;
  }
};

}  // namespace zemlo::sim
