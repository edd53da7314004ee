// The BMP file header the screen grabber writes in front of its pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zemlo {

inline constexpr uint32_t kBmpHeaderSize = 54;
inline constexpr uint32_t kFrameWidth = 640;  // the width both templates are made for
inline constexpr uint32_t kLinesMode1 = 538;
inline constexpr uint32_t kLinesOther = 448;

using BmpHeader = std::array<uint8_t, kBmpHeaderSize>;

// The fixed header for a 640-pixel-wide picture of 448 or 538 lines, exactly as the tool has
// always written it (its two size fields are 2 more than the rows of pixels).
const BmpHeader& BmpTemplate(uint32_t lines);

// The header for `width` x `lines` pixels: the template with the width patched in for 640, and
// for any other width a header whose size fields match the padded rows that follow.
BmpHeader MakeBmpHeader(uint32_t width, uint32_t lines);

// The zero bytes that follow `pixelBytes` of pixels so that the file is as long as `header`
// says: readers that check the declared size against the file refuse a shorter one.
uint32_t BmpTrailerBytes(const BmpHeader& header, std::size_t pixelBytes);

}  // namespace zemlo
