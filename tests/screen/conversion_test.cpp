#include <gtest/gtest.h>

#include <vector>

#include "debugger/bmp.h"
#include "debugger/frame_convert.h"

namespace zemlo {
namespace {

std::vector<uint8_t> Convert(const std::vector<uint8_t>& frame, uint32_t width, uint32_t lines) {
  std::vector<uint8_t> pixels(BmpRowBytes(width) * lines, 0xEE);
  EXPECT_TRUE(ConvertFrame(frame, width, lines, pixels));
  return pixels;
}

TEST(ConvertFrame, GroupsGiveTwoPixelsStoredBlueGreenRed) {
  // Y, Cb, Y, Cr, then B, G, R, the same for both pixels.
  const uint8_t rows[][7] = {
      {0x10, 0x80, 0x10, 0x80, 0x10, 0x10, 0x10},  // black
      {0xEB, 0x80, 0xEB, 0x80, 0xEB, 0xEB, 0xEB},  // white
      {0x51, 0x5A, 0x51, 0xF0, 0x0F, 0x0F, 0xEA},  // red
      {0xEB, 0x80, 0xEB, 0xFF, 0xEB, 0x92, 0xFF},  // R 409.1 clamped to 255
      {0x00, 0x00, 0x00, 0x80, 0x00, 0x2B, 0x00},  // B -221 clamped to 0, not 35
      {0x00, 0x80, 0x00, 0x7F, 0x00, 0x00, 0x00},  // R -1.37 clamped to 0, not 255
  };
  for (const auto& row : rows) {
    std::vector<uint8_t> both(row + 4, row + 7);
    both.insert(both.end(), row + 4, row + 7);
    both.insert(both.end(), 2, 0);  // padding of a 6-byte row
    EXPECT_EQ(Convert({row, row + 4}, 2, 1), both) << int{row[0]} << " " << int{row[3]};
  }
}

TEST(ConvertFrame, OddWidthStaysInsideTheFrameLastLineFirst) {
  // Lines of 3 pixels are 6 bytes: one group and a lone Y, Cb pair. The vector is exactly the
  // frame, so any read beyond it is caught by the address sanitizer. The last line comes first,
  // each row padded to four bytes.
  const std::vector<uint8_t> frame{0x10, 0x80, 0x10, 0x80, 0x90, 0x00,
                                   0xEB, 0x80, 0xEB, 0x80, 0x30, 0xFF};
  const std::vector<uint8_t> expected{0xEB, 0xEB, 0xEB, 0xEB, 0xEB, 0xEB, 0x30, 0x30,
                                      0x30, 0,    0,    0,    0x10, 0x10, 0x10, 0x10,
                                      0x10, 0x10, 0x90, 0x90, 0x90, 0,    0,    0};
  EXPECT_EQ(Convert(frame, 3, 2), expected);
}

}  // namespace
}  // namespace zemlo
