#include "debugger/bmp.h"

#include "debugger/frame_convert.h"

namespace zemlo {
namespace {

constexpr uint32_t kPixelsPerMetre = 5904;

void Put16(BmpHeader& header, size_t offset, uint32_t value) {
  header[offset] = static_cast<uint8_t>(value);
  header[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(BmpHeader& header, size_t offset, uint32_t value) {
  Put16(header, offset, value & 0xFFFFu);
  Put16(header, offset + 2, value >> 16);
}

// A bottom-up, uncompressed 24-bit header with the size fields given as they are to be written.
BmpHeader Header(uint32_t width, uint32_t lines, uint32_t fileSizeField, uint32_t imageSizeField) {
  BmpHeader header{};
  header[0] = 'B';
  header[1] = 'M';
  Put32(header, 2, fileSizeField);
  Put32(header, 10, kBmpHeaderSize);
  Put32(header, 14, 40);
  Put32(header, 18, width);
  Put32(header, 22, lines);
  Put16(header, 26, 1);
  Put16(header, 28, 24);
  Put32(header, 34, imageSizeField);
  Put32(header, 38, kPixelsPerMetre);
  Put32(header, 42, kPixelsPerMetre);
  return header;
}

}  // namespace

const BmpHeader& BmpTemplate(uint32_t lines) {
  static const BmpHeader k448 = Header(kFrameWidth, kLinesOther, 860216, 860162);
  static const BmpHeader k538 = Header(kFrameWidth, kLinesMode1, 1033016, 1032962);
  return lines == kLinesMode1 ? k538 : k448;
}

BmpHeader MakeBmpHeader(uint32_t width, uint32_t lines) {
  if (width == kFrameWidth && (lines == kLinesOther || lines == kLinesMode1)) {
    return BmpTemplate(lines);
  }
  // The templates' sizes only hold for 640 pixels; other widths get sizes that match the padded
  // rows, so that readers which trust them see the picture that is there.
  const uint32_t imageSize = static_cast<uint32_t>(BmpRowBytes(width) * lines);
  return Header(width, lines, kBmpHeaderSize + imageSize, imageSize);
}

uint32_t BmpTrailerBytes(const BmpHeader& header, size_t pixelBytes) {
  const uint32_t declared = uint32_t{header[2]} | uint32_t{header[3]} << 8 |
                            uint32_t{header[4]} << 16 | uint32_t{header[5]} << 24;
  const size_t written = kBmpHeaderSize + pixelBytes;
  return declared > written ? static_cast<uint32_t>(declared - written) : 0;
}

}  // namespace zemlo
