// The fixed parts of an RVZ file; all numbers big-endian.
#pragma once

#include <cstdint>

namespace zemlo::disc::rvz {

inline constexpr uint8_t kMagic[4] = {'R', 'V', 'Z', 1};
inline constexpr uint32_t kVersion = 0x01000000;
inline constexpr uint32_t kVersionCompatible = 0x00030000;
inline constexpr uint32_t kCompressionZstd = 5;
inline constexpr uint32_t kDiscTypeGameCube = 1;
inline constexpr uint32_t kDiscTypeWii = 2;

// File head: magic, version, compatible version, disc struct size, disc struct SHA-1, ISO size,
// file size, SHA-1 of the head up to it.
inline constexpr uint32_t kHeadSize = 0x48;
inline constexpr uint32_t kHeadHashedSize = 0x34;
struct HeadField {
  static constexpr uint32_t kDiscSize = 0x0C, kDiscHash = 0x10, kIsoSize = 0x24, kFileSize = 0x2C,
                            kHeadHash = 0x34;
};

// Disc struct, right after the head.
inline constexpr uint32_t kDiscSize = 0xDC;
struct DiscField {
  static constexpr uint32_t kDiscType = 0x00, kCompression = 0x04, kLevel = 0x08, kChunkSize = 0x0C,
                            kDiscHead = 0x10, kPartCount = 0x90, kPartEntrySize = 0x94,
                            kPartOffset = 0x98, kPartHash = 0xA0, kRawCount = 0xB4,
                            kRawOffset = 0xB8, kRawSize = 0xC0, kGroupCount = 0xC4,
                            kGroupOffset = 0xC8, kGroupSize = 0xD0;
};
inline constexpr uint32_t kDiscHeadSize = 0x80;
inline constexpr uint32_t kPartEntrySize = 0x30;

// Raw-data entry: disc offset (8), size (8), first group, group count.
inline constexpr uint32_t kRawEntrySize = 24;
// Group entry: file offset / 4, stored size (top bit: compressed), size before unpacking.
inline constexpr uint32_t kGroupEntrySize = 12;
inline constexpr uint32_t kCompressedFlag = 0x80000000;
// A packed run's size word: top bit set for padding, whose 17-word seed follows.
inline constexpr uint32_t kJunkFlag = 0x80000000;

}  // namespace zemlo::disc::rvz
