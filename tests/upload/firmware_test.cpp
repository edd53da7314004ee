#include <gtest/gtest.h>

#include <functional>

#include "protocol/firmware.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using namespace zemlo::testing;

class FirmwareTest : public SimFixture {
 protected:
  void Restart() {
    TearDown();
    SetUp();
  }
  std::vector<uint8_t> ChooseImage(size_t size, bool zeros = false) {
    std::vector<uint8_t> image = Pattern(size, zeros);
    WriteFileBytes(TempPath("image.zml"), image);
    ui().SetOpenFile(TempPath("image.zml"));
    return image;
  }
};

// 524,288 bytes: 8 packets of 63,488 and 16,384 left; the 1 s time-outs stay afterwards.
TEST_F(FirmwareTest, ImagesUpToTheLimitGoOutInLargePackets) {
  for (uint32_t size : {kFirmwareSizeLimit, 63488u, 100u}) {
    SCOPED_TRACE(size);
    Restart();
    std::vector<uint8_t> expected = Wire(0x18, {size});
    const std::vector<uint8_t> image = ChooseImage(size);
    expected.insert(expected.end(), image.begin(), image.end());
    ASSERT_EQ(OnLoadFirmwarePressed(), 1);
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(model().uploads.firmwareImages.back(), image);
    EXPECT_EQ(ui().progress().front().high, size / 63488);
    EXPECT_EQ(OnlyMessage(), Box(kMsgFirmwareLoaded, kCaptionDone, MessageIcon::None));
    EXPECT_EQ(adapter().timeouts().readMs, 1000u);
    EXPECT_EQ(adapter().timeouts().writeMs, 1000u);
  }
}

TEST_F(FirmwareTest, WrongAcknowledgementResendsButAMissingOneFails) {
  const std::vector<uint8_t> image = ChooseImage(2 * 63488 + 1);
  model().uploads.refusePackets = 3;
  ASSERT_EQ(FlashFirmware(), 1);
  EXPECT_EQ(model().uploads.firmwareImages.back(), image);
  EXPECT_EQ(Sent().size(), 5 + image.size() + 3 * 63488);
  for (std::optional<uint8_t> reply : {std::optional<uint8_t>{}, std::optional<uint8_t>{0xBB}}) {
    Restart();  // the console still waits for the packet it did not take
    ChooseImage(2 * 63488 + 1);
    model().uploads.refusePackets = 1000;
    model().uploads.refusalReply = reply;
    EXPECT_EQ(FlashFirmware(), 0);
    EXPECT_EQ(Texts(ui()), std::vector<std::string>{reply ? kMsgTooManyAttempts : kMsgUsbTransmit});
    EXPECT_EQ(ui().progress().back().high, 0u);
  }
}

TEST_F(FirmwareTest, FailureTable) {
  struct Row {
    const char* name;
    size_t size;
    std::function<void()> arm;
    int result;
    std::vector<std::string> texts;
  };
  const std::vector<Row> rows{
      {"cancelled", 100, [this] { ui().SetOpenFile(std::nullopt); }, 2, {}},
      {"missing file", 100, [this] { ui().SetOpenFile(TempPath("none")); }, 0, {kMsgFopen}},
      {"too big", kFirmwareSizeLimit + 1, [] {}, 0, {kMsgFirmwareLimit}},
      {"command short", 100, [this] { faults().ShortenNextWrites(1); }, 0, {kMsgSendCommand}},
      {"no reply", 100, [this] { faults().SuppressNextReplies(1); }, 0, {kMsgReadResponse}},
      {"refused", 100, [this] { model().uploads.refuseFirmware = true; }, 0, {kMsgFirmwareRefused}},
      {"reply 0x00 proceeds",
       100,
       [this] { faults().WrongNextReplies(0); },
       1,
       {kMsgFirmwareLoaded}},
      // Only a driver error stops the flash at the header; a short header does not.
      {"header short", 100, [this] { faults().ShortenNextWrites(1, 1); }, 1, {kMsgFirmwareLoaded}},
      {"header failed",
       100,
       [this] { faults().FailNextWrites(1, 1); },
       0,
       {"Error: Fatal USB Write Error. Exiting.", kMsgTransmitRetry}},
      {"packet short", 63489, [this] { faults().ShortenNextWrites(1, 2); }, 0, {kMsgUsbTransmit}},
      {"last packet short",
       100,
       [this] { faults().ShortenNextWrites(1, 2); },
       0,
       {kMsgFirmwareLastPacket}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Restart();
    ChooseImage(row.size, true);
    row.arm();
    EXPECT_EQ(FlashFirmware(), row.result);
    EXPECT_EQ(Texts(ui()), row.texts);
  }
}

}  // namespace
}  // namespace zemlo
