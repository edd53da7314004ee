#include <gtest/gtest.h>

#include <functional>

#include "protocol/firmware.h"
#include "protocol/messages.h"
#include "tests/memory/message_print.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::RecordedMessage;

class FirmwareTest : public testing::SimFixture {
 protected:
  // Zero bytes mean nothing to the console should a broken exchange leave it reading commands.
  std::vector<uint8_t> ChooseImage(size_t size, bool zeros = false) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size && !zeros; ++i) image[i] = static_cast<uint8_t>(i % 253);
    testing::WriteFileBytes(TempPath("image.zml"), image);
    ui().SetOpenFile(TempPath("image.zml"));
    return image;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& message : ui().messages()) texts.push_back(message.text);
    return texts;
  }
};

TEST_F(FirmwareTest, ImagesUpToTheLimitGoOutInLargePackets) {
  for (size_t size : {size_t{kFirmwareSizeLimit}, size_t{63488}, size_t{100}}) {
    SCOPED_TRACE(size);
    ui().Clear();
    const std::vector<uint8_t> image = ChooseImage(size);
    ASSERT_EQ(OnLoadFirmwarePressed(), 1);
    EXPECT_EQ(model().uploads.firmwareImages.back(), image);
    EXPECT_EQ(Sent().size(), 5 + size);
    EXPECT_EQ(ui().progress().front().high, size / 63488);  // 8 for the full 512 KiB
    EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgFirmwareLoaded, kCaptionDone, MessageIcon::None,
                                              MessageOwner::None}));
    // The shorter time-outs are set after the reply and left in force.
    const auto timeouts = adapter().timeouts();
    EXPECT_EQ(timeouts.readMs, 1000u);
    EXPECT_EQ(timeouts.writeMs, 1000u);
  }
}

TEST_F(FirmwareTest, OneByteAboveTheLimitIsRefused) {
  ChooseImage(kFirmwareSizeLimit + 1);
  EXPECT_EQ(FlashFirmware(), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgFirmwareLimit, kCaptionFileError,
                                            MessageIcon::Error, MessageOwner::None}));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(FirmwareTest, OnlyAnExplicitRefusalStopsTheFlash) {
  ChooseImage(100);
  faults().WrongNextReplies(0x00);  // any byte but 0xFF lets the flash go on
  EXPECT_EQ(FlashFirmware(), 1);
  ui().Clear();
  adapter().TakeTimeoutHistory();
  model().uploads.refuseFirmware = true;
  EXPECT_EQ(FlashFirmware(), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgFirmwareRefused, kCaptionUsbError,
                                            MessageIcon::Error, MessageOwner::None}));
  EXPECT_TRUE(adapter().TakeTimeoutHistory().empty());
}

TEST_F(FirmwareTest, WrongAcknowledgementResendsButAMissingOneFails) {
  const std::vector<uint8_t> image = ChooseImage(2 * 63488 + 1);
  model().uploads.refusePackets = 3;
  model().uploads.refusalReply = 0xBB;
  EXPECT_EQ(FlashFirmware(), 1);
  EXPECT_EQ(model().uploads.firmwareImages.back(), image);
  EXPECT_EQ(Sent().size(), 5 + image.size() + 3 * 63488);

  ui().Clear();
  model().uploads.refusePackets = 1;
  model().uploads.refusalReply.reset();
  EXPECT_EQ(FlashFirmware(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgUsbTransmit});
  EXPECT_EQ(ui().progress().back().high, 0u);

  // The console still waits for the packet it never answered: start over with a fresh one.
  TearDown();
  SetUp();
  ChooseImage(2 * 63488 + 1);
  model().uploads.refusePackets = 1000;
  model().uploads.refusalReply = 0xBB;
  EXPECT_EQ(FlashFirmware(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgTooManyAttempts});
}

TEST_F(FirmwareTest, FailureTable) {
  struct Row {
    const char* name;
    std::function<void()> arm;
    int result;
    std::vector<std::string> texts;
  };
  const std::vector<Row> rows{
      {"not connected", [this] { Disconnect(); }, 0, {kMsgNotConnected}},
      {"cancelled", [this] { ui().SetOpenFile(std::nullopt); }, 2, {}},
      {"missing file", [this] { ui().SetOpenFile(TempPath("none")); }, 0, {kMsgFopen}},
      {"command short", [this] { faults().ShortenNextWrites(1); }, 0, {kMsgSendCommand}},
      {"no reply", [this] { faults().SuppressNextReplies(1); }, 0, {kMsgReadResponse}},
      // A header that goes out short does not stop the flash; only a driver error does.
      {"header short", [this] { faults().ShortenNextWrites(1, 1); }, 1, {kMsgFirmwareLoaded}},
      {"header failed",
       [this] { faults().FailNextWrites(1, 1); },
       0,
       {"Error: Fatal USB Write Error. Exiting.", kMsgTransmitRetry}},
      {"last packet short",
       [this] { faults().ShortenNextWrites(1, 2); },
       0,
       {kMsgFirmwareLastPacket}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    ChooseImage(100, true);
    row.arm();
    EXPECT_EQ(FlashFirmware(), row.result);
    EXPECT_EQ(Texts(), row.texts);
  }
  TearDown();
  SetUp();
  ChooseImage(63488 + 1);
  faults().ShortenNextWrites(1, 2);
  EXPECT_EQ(FlashFirmware(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{kMsgUsbTransmit});
}

}  // namespace
}  // namespace zemlo
