#include "debugger/frame_convert.h"

#include <algorithm>

namespace zemlo {
namespace {

// Truncation toward zero as the tool has always done it, but clamped: a dark pixel whose
// component goes below 0 must stay dark instead of wrapping round to a bright value.
uint8_t Component(double value) {
  const int truncated = static_cast<int>(value);
  return static_cast<uint8_t>(std::clamp(truncated, 0, 255));
}

}  // namespace

Bgr ConvertPixel(uint8_t y, uint8_t cb, uint8_t cr) {
  const double luma = y;
  const double u = static_cast<int>(cb) - 128;
  const double v = static_cast<int>(cr) - 128;
  return Bgr{Component(luma + 1.732446 * u), Component(luma - 0.698001 * v - 0.337633 * u),
             Component(luma + 1.370705 * v)};
}

bool ConvertFrame(std::span<const uint8_t> frame, uint32_t width, uint32_t lines,
                  std::span<uint8_t> pixels) {
  const size_t lineBytes = size_t{width} * 2;
  const size_t rowBytes = BmpRowBytes(width);
  if (frame.size() < FrameBytesFor(width, lines) || pixels.size() < rowBytes * lines) {
    return false;
  }
  const uint32_t groups = width / 2;
  uint8_t* out = pixels.data();
  for (uint32_t line = lines; line-- > 0;) {
    const uint8_t* in = frame.data() + line * lineBytes;
    uint8_t* row = out;
    for (uint32_t group = 0; group < groups; ++group, in += 4) {
      for (const uint8_t luma : {in[0], in[2]}) {
        const Bgr pixel = ConvertPixel(luma, in[1], in[3]);
        *row++ = pixel.b;
        *row++ = pixel.g;
        *row++ = pixel.r;
      }
    }
    if (width % 2 != 0) {
      // The line ends in half a group (Y, Cb) whose Cr would be the next line's first byte.
      const Bgr pixel = ConvertPixel(in[0], 128, 128);
      *row++ = pixel.b;
      *row++ = pixel.g;
      *row++ = pixel.r;
    }
    std::fill(row, out + rowBytes, uint8_t{0});
    out += rowBytes;
  }
  return true;
}

}  // namespace zemlo
