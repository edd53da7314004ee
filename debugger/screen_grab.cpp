#include "debugger/screen_grab.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "debugger/bmp.h"
#include "debugger/frame_convert.h"
#include "link/link.h"
#include "link/ui_port.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr char kMsgBitmapAllocate[] = "Error: Couldn't allocare enough memory for bitmap";
constexpr char kMsgFileWrite[] = "Error: Couldn't write to file";

constexpr uint8_t kModeTallFrame = 1;       // the mode byte that selects 538 lines
constexpr uint32_t kFrameLineBytes = 1280;  // the console always sends lines of 640 pixels
constexpr uint32_t kPacketSize = 0xF800;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
using Buffer = std::unique_ptr<uint8_t[]>;

FileRequest GrabFileRequest() {
  return FileRequest{"GrabScreen", {{"Bitmap File (*.bmp)", "*.bmp"}, {"All Files", "*.*"}}, "bmp"};
}

// A picture is saved only when every pixel of every line comes from the frame that arrived: the
// frame holds L lines of 1280 bytes, so a width above 640 would need bytes the console never sent,
// and a width of 0 has no BMP.
bool WidthFits(uint32_t width) {
  return width >= 1 && width <= kFrameWidth;
}

std::string WidthRefusedText(uint32_t width) {
  return "Error: The console reported a screen width of " + std::to_string(width) +
         " pixels. Only widths from 1 to 640 can be saved";
}

// Receives the frame into `frame` (fullPackets packets of 0xF800 bytes, answered one by one, then
// `rest` bytes unanswered). Shows the failure message and empties the bar on failure.
bool ReceiveFrame(uint8_t* frame, uint32_t fullPackets, uint32_t rest) {
  const auto fail = [](const char* text) {
    ShowUsbError(text);
    ProgressEnd();
    return false;
  };
  const auto answer = [](uint8_t byte) { WriteExact(&byte, 1); };
  ProgressBegin(fullPackets, kPacketSize);
  unsigned attempts = 0;
  for (uint32_t counter = 0; counter < fullPackets;) {
    // A console that keeps sending the packet short would otherwise hold the tool for ever.
    if (++attempts > kMaxAttemptsPerPacket) return fail(kMsgTooManyAttempts);
    switch (ReadExact(frame + size_t{counter} * kPacketSize, kPacketSize)) {
      case TRANSFER_FAILED:
        return fail(kMsgUsbTransmit);
      case TRANSFER_SHORT:
        answer(RETRY_BLOCK);
        break;
      case TRANSFER_COMPLETE:
        ++counter;
        attempts = 0;
        answer(ACK_BLOCK);
        Ui().ProgressStep();
        break;
    }
  }
  if (ReadExact(frame + size_t{fullPackets} * kPacketSize, rest) != TRANSFER_COMPLETE) {
    return fail(kMsgUsbTransmit);
  }
  return true;
}

int Grab(const std::string& path) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    ShowFileError(kMsgFopen);
    return 0;
  }
  if (!SendCommand(CMD_GRAB_SCREEN)) return 0;
  uint8_t mode = 0;
  uint8_t widthBytes[2] = {};
  if (ReadExact(&mode, 1) != TRANSFER_COMPLETE ||
      ReadExact(widthBytes, sizeof widthBytes) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgReadResponse);
    return 0;
  }
  const uint32_t lines = mode == kModeTallFrame ? kLinesMode1 : kLinesOther;
  // The one little-endian field of the protocol.
  const uint32_t width = uint32_t{widthBytes[0]} | (uint32_t{widthBytes[1]} << 8);
  const bool widthFits = WidthFits(width);

  const size_t frameSize = size_t{lines} * kFrameLineBytes;
  const size_t pixelSize = widthFits ? BmpRowBytes(width) * lines : 0;
  Buffer frame(new (std::nothrow) uint8_t[frameSize]);
  Buffer pixels(widthFits ? new (std::nothrow) uint8_t[pixelSize] : nullptr);
  if (!frame || (widthFits && !pixels)) {
    ShowError(kMsgBitmapAllocate, kCaptionMallocError);
    return 0;
  }

  // The whole frame is taken even when its width cannot be saved, so that the console finishes
  // its stream and is ready for the next command.
  if (!ReceiveFrame(frame.get(), static_cast<uint32_t>(frameSize / kPacketSize),
                    static_cast<uint32_t>(frameSize % kPacketSize))) {
    return 0;
  }
  if (!widthFits) {
    ShowError(WidthRefusedText(width), kCaptionRangeError);
    ProgressEnd();
    return 0;
  }

  ConvertFrame(std::span<const uint8_t>(frame.get(), frameSize), width, lines,
               std::span<uint8_t>(pixels.get(), pixelSize));
  const BmpHeader header = MakeBmpHeader(width, lines);
  std::fwrite(header.data(), 1, header.size(), file.get());
  std::fwrite(pixels.get(), pixelSize, 1, file.get());
  const std::array<uint8_t, 4> trailer{};
  std::fwrite(trailer.data(), 1,
              std::min<size_t>(BmpTrailerBytes(header, pixelSize), trailer.size()), file.get());
  std::fflush(file.get());
  if (std::ferror(file.get())) {
    ShowFileError(kMsgFileWrite);
    ProgressEnd();
    return 0;
  }
  // Buffered data was flushed above, so a failing close has nothing left to lose.
  file.reset();
  pixels.reset();
  frame.reset();
  ShowDone(kMsgScreenGrabbed, WrittenFileDetail(path));
  ProgressEnd();
  return 1;
}

}  // namespace

int GrabScreen() {
  PurgeLink();
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const std::optional<std::string> path = Ui().ChooseSaveFile(GrabFileRequest());
  if (!path) return 2;
  return Grab(*path);
}

int GrabScreenToFile(const std::string& path) {
  PurgeLink();
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  return Grab(path);
}

}  // namespace zemlo
