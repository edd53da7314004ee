// Where the boot header of GameCube and Wii discs keeps what readers look for, and the file
// system table (FST) every disc (or Wii partition) carries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zemlo::disc {

inline constexpr uint32_t kGameCubeMagic = 0xC2339F3D;  // at 0x1C
inline constexpr uint32_t kWiiMagic = 0x5D1C9EA3;       // at 0x18

struct BootHeaderField {
  static constexpr uint32_t kGameId = 0x000;  // six characters
  static constexpr uint32_t kDiscNumber = 0x006;
  static constexpr uint32_t kVersion = 0x007;
  static constexpr uint32_t kWiiMagic = 0x018;
  static constexpr uint32_t kGameCubeMagic = 0x01C;
  static constexpr uint32_t kTitle = 0x020;  // up to 0x3E0 bytes
  static constexpr uint32_t kDolOffset = 0x420;
  static constexpr uint32_t kFstOffset = 0x424;
  static constexpr uint32_t kFstSize = 0x428;
  static constexpr uint32_t kFstMaxSize = 0x42C;
};
inline constexpr uint32_t kBootHeaderSize = 0x440;
inline constexpr uint32_t kBi2Offset = 0x440;
inline constexpr uint32_t kBi2Size = 0x2000;
inline constexpr uint32_t kApploaderOffset = 0x2440;

struct FstFile {
  std::string path;  // folders joined with '/'
  uint64_t offset = 0;
  uint32_t size = 0;
};

// A table of 12-byte entries (the root folder first, holding the count), then the names. File
// offsets are bytes on GameCube discs and 4-byte words in Wii partitions (`offsetShift` 2).
std::vector<uint8_t> BuildFst(std::span<const FstFile> files, unsigned offsetShift = 0);
// The files of a table; empty when it is malformed.
std::vector<FstFile> ParseFst(std::span<const uint8_t> fst, unsigned offsetShift = 0);

}  // namespace zemlo::disc
