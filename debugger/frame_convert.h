// The console's frame buffer (Y Cb Y Cr, two bytes per pixel) turned into the rows of a 24-bit
// bottom-up BMP (blue, green, red per pixel).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zemlo {

struct Bgr {
  uint8_t b;
  uint8_t g;
  uint8_t r;
};

// One pixel from its luminance and the chroma its pair shares; each component is clamped to
// 0..255 rather than wrapped.
Bgr ConvertPixel(uint8_t y, uint8_t cb, uint8_t cr);

// Bytes of one BMP row of `width` pixels: 3 per pixel, padded to a multiple of 4.
constexpr size_t BmpRowBytes(uint32_t width) {
  return (size_t{width} * 3 + 3) / 4 * 4;
}

// Frame bytes holding `lines` lines of `width` pixels, packed line after line.
constexpr size_t FrameBytesFor(uint32_t width, uint32_t lines) {
  return size_t{width} * 2 * lines;
}

// Converts `lines` lines of `width` pixels from `frame` into `pixels`, last line first, each row
// BmpRowBytes(width) long with zero padding. An odd width's last pixel has no Cr sample and is
// shown by its luminance alone. Returns false, touching nothing, when `frame` is shorter than
// FrameBytesFor(width, lines) or `pixels` shorter than BmpRowBytes(width) * lines.
bool ConvertFrame(std::span<const uint8_t> frame, uint32_t width, uint32_t lines,
                  std::span<uint8_t> pixels);

}  // namespace zemlo
