#include "debugger/screen_grab.h"
#include "protocol/file_sha1.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "protocol/messages.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Box;
using testing::FullDevice;

constexpr char kWriteFailed[] = "Error: Couldn't write to file";

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         uint32_t{bytes[offset + 3]} << 24;
}

std::vector<uint8_t> Answers(size_t retries, size_t acks) {
  std::vector<uint8_t> sent{0x11};
  sent.insert(sent.end(), retries, 0xBB);
  sent.insert(sent.end(), acks, 0xAA);
  return sent;
}

// Runs two independent readers on a grabbed file, each where it is installed: ImageMagick must
// accept the file's sizes, Pillow must see the simulated console's test pattern.
void ExpectReadersAccept(const std::string& path, uint32_t width, uint32_t lines) {
  static const bool identify = std::system("identify -version >/dev/null 2>&1") == 0;
  static const std::string python = [] {
    for (std::string candidate : {"/usr/bin/python3", "python3"}) {
      if (std::system((candidate + " -c 'import PIL.Image' >/dev/null 2>&1").c_str()) == 0)
        return candidate;
    }
    return std::string();
  }();
  const std::string size = std::to_string(width) + " " + std::to_string(lines);
  if (identify) {
    const std::string command =
        "test \"$(identify -regard-warnings -format '%w %h' '" + path + "')\" = '" + size + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  if (!python.empty() && width >= 16) {
    const std::string command = python + " " + ZEMLO_BMP_CHECK + " '" + path + "' " + size;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

class ScreenGrabTest : public testing::SimFixture {
 protected:
  int Grab(const std::string& name = "screen.bmp") {
    path_ = TempPath(name);
    ui().SetSaveFile(path_);
    return GrabScreen();
  }
  std::vector<uint8_t> File() { return testing::ReadFileBytes(path_); }
  std::string path_;
};

// Every mode and width: the fixed header and an upright picture in rows padded to four bytes; the
// last row's short packets are asked for again and give the first row's file. (The bound on
// attempts: the failure table's.)
TEST_F(ScreenGrabTest, ModesAndWidthsGiveValidBitmaps) {
  const struct {
    uint8_t mode;
    uint32_t width, lines, packets, retries = 0;
  } rows[] = {{0, 640, 448, 9}, {1, 640, 538, 10}, {2, 640, 448, 9}, {0, 639, 448, 9},
              {0, 321, 448, 9}, {0, 16, 448, 9},   {0, 1, 448, 9},   {0, 640, 448, 9, 63}};
  std::vector<uint8_t> first;
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << int{row.mode} << " " << row.width);
    ui().Clear();
    model().debugger.videoMode = row.mode;
    model().debugger.frameWidth = static_cast<uint16_t>(row.width);
    faults().ShortenNextPackets(static_cast<int>(row.retries), 100);
    ASSERT_EQ(Grab("w" + std::to_string(row.width) + "m" + std::to_string(row.mode) + ".bmp"), 1);
    EXPECT_EQ(OnlyMessage(),
              (testing::RecordedMessage{"Screen grabbed ok", kCaptionDone, MessageIcon::None,
                                        MessageOwner::None, "SHA-1: " + FileSha1Hex(path_)}));
    EXPECT_EQ(Sent(), Answers(row.retries, row.packets));
    const size_t rowBytes = (row.width * 3 + 3) / 4 * 4;
    const std::vector<uint8_t> file = File();
    if (first.empty()) first = file;
    EXPECT_TRUE(row.retries == 0 || file == first);  // short packets asked for again, stored once
    // The full width's fixed header counts 2 bytes more than the rows: zeros after them.
    const uint32_t fixedHeaderExtra = row.width == 640 ? 2 : 0;
    ASSERT_EQ(file.size(), 54 + rowBytes * row.lines + fixedHeaderExtra);
    EXPECT_EQ(Le32(file, 2), file.size());
    EXPECT_EQ(Le32(file, 18), row.width);
    EXPECT_EQ(Le32(file, 34), rowBytes * row.lines + fixedHeaderExtra);
    for (size_t i = file.size() - fixedHeaderExtra; i < file.size(); ++i) EXPECT_EQ(file[i], 0);
    const auto progress = ui().progress();
    ASSERT_EQ(progress.size(), row.packets + 3);
    EXPECT_EQ(progress.front().high, row.packets);
    EXPECT_TRUE(testing::BarEmpty(ui()));
    ExpectReadersAccept(path_, row.width, row.lines);
  }
}

// A width that cannot be saved is refused only after the whole frame was taken, so that the
// console is ready for the next command. Nothing is sent before the file is open, or when the
// dialog is cancelled.
TEST_F(ScreenGrabTest, EachFailureShowsItsOneMessageAndLeavesTheFileEmpty) {
  ui().SetSaveFile(std::nullopt);
  EXPECT_EQ(GrabScreen(), 2);
  EXPECT_TRUE(ui().messages().empty());
  const auto usb = [](const char* text) { return Box(text, kCaptionUsbError); };
  const auto width = [](int pixels) {
    return Box("Error: The console reported a screen width of " + std::to_string(pixels) +
                   " pixels. Only widths from 1 to 640 can be saved",
               kCaptionRangeError);
  };
  const struct {
    std::function<void()> arrange;
    testing::RecordedMessage message;
    std::vector<uint8_t> sent;  // nothing when there is no file
  } rows[] = {
      {[this] { path_ = TempPath("missing/screen.bmp"); }, Box(kMsgFopen, kCaptionFileError), {}},
      {[this] { faults().SetSilent(true); }, usb(kMsgReadResponse), Answers(0, 0)},
      {[this] { model().debugger.grabHeaderBytes = 2; }, usb(kMsgReadResponse), Answers(0, 0)},
      {[this] { model().debugger.grabFinalPartKeep = 2047; }, usb(kMsgUsbTransmit), Answers(0, 9)},
      {[this] { model().debugger.frameWidth = 0; }, width(0), Answers(0, 9)},
      {[this] { model().debugger.frameWidth = 641; }, width(641), Answers(0, 9)},
      {[this] { faults().ShortenNextPackets(64, 100); }, usb(kMsgTooManyAttempts), Answers(64, 0)},
      {[this] { path_ = FullDevice().value_or(""); }, Box(kWriteFailed, kCaptionFileError),
       Answers(0, 9)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message.text);
    if (row.message.text == kWriteFailed && !FullDevice()) continue;
    Restart();
    path_ = TempPath("screen.bmp");
    row.arrange();
    EXPECT_EQ(GrabScreenToFile(path_), 0);
    EXPECT_EQ(OnlyMessage(), row.message);
    EXPECT_EQ(Sent(), row.sent);
    EXPECT_EQ(std::filesystem::exists(path_), !row.sent.empty());
    EXPECT_TRUE(row.message.text == kWriteFailed || File().empty());  // the full device reads zeros
    EXPECT_TRUE(testing::BarEmpty(ui()));
  }
}

}  // namespace
}  // namespace zemlo
