// Console state behind the uploads, firmware, memory and hook commands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zemlo::sim {

// One upload the console took in whole: its command byte, the header fields and the data.
struct UploadRecord {
  uint8_t command = 0;
  std::vector<uint32_t> header;  // size; or address, size for a code upload
  std::vector<uint8_t> data;     // the first kUploadKeepLimit bytes
};

struct PokeRecord {
  uint32_t address = 0;
  uint32_t value = 0;
};

struct RangeRecord {
  uint32_t start = 0;
  uint32_t end = 0;
};

struct UploadModel {
  // Larger uploads are still received in full; only their first bytes are kept.
  static constexpr size_t kUploadKeepLimit = 64u << 20;

  std::vector<UploadRecord> uploads;
  std::vector<std::vector<uint8_t>> firmwareImages;  // every image handed over for flashing
  std::vector<uint8_t> hooks;                        // every hook byte, in order
  std::vector<PokeRecord> pokes;
  std::vector<RangeRecord> fills;
  std::vector<RangeRecord> dumps;
  std::vector<uint8_t> dumpAnswers;   // every 0xAA / 0xBB the client sent inside a dump
  std::vector<uint32_t> memoryReads;  // addresses of the 0x31 page reads

  // A hooked game answers fill and dump with 0xAA; otherwise the console refuses with 0xFF.
  bool hooked = true;
  // The firmware cannot be flashed: 0x18 is answered with 0xFF.
  bool refuseFirmware = false;
  // The byte the console writes into a filled range.
  uint8_t fillByte = 0;

  // The next `refusePackets` full packets of an upload or flash are not taken: the console
  // answers `refusalReply` instead of 0xAA (nothing at all when unset) and waits for the same
  // packet again.
  int refusePackets = 0;
  std::optional<uint8_t> refusalReply = 0xBB;
};

}  // namespace zemlo::sim
