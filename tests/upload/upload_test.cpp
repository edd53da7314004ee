#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "protocol/firmware.h"
#include "protocol/messages.h"
#include "protocol/upload.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using namespace zemlo::testing;

class UploadTest : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_uploadCode = {};
  }
  void Restart() {
    TearDown();
    SetUp();
  }
  std::vector<uint8_t> ChooseFile(size_t size, bool zeros = false) {
    std::vector<uint8_t> data = Pattern(size, zeros);
    WriteFileBytes(TempPath("upload.bin"), data);
    ui().SetOpenFile(TempPath("upload.bin"));
    return data;
  }
};
using FirmwareTest = UploadTest;

// Command byte, big-endian size, then the file unchanged in acknowledged 3,968-byte packets.
TEST_F(UploadTest, SendsCommandSizeAndFile) {
  struct Row {
    UploadKind kind;
    uint32_t size;
  };
  for (auto [kind, size] :
       {Row{UploadKind::Dol, 0}, Row{UploadKind::Elf, 3968}, Row{UploadKind::Mod, 3 * 3968},
        Row{UploadKind::Mp3, 3969}, Row{UploadKind::Dol, kUploadSizeLimit}}) {
    const UploadKindInfo& info = UploadKindInfoOf(kind);
    SCOPED_TRACE(std::string(info.name) + " " + std::to_string(size));
    Restart();
    std::vector<uint8_t> expected = Wire(info.command, {size});
    const std::vector<uint8_t> data = ChooseFile(size);
    expected.insert(expected.end(), data.begin(), data.end());
    ASSERT_EQ(OnLoadPressed(kind), 1);
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(model().uploads.uploads.back().data, data);
    EXPECT_EQ(ui().progress().front().high, size / 3968);
    EXPECT_EQ(ui().progress().back().high, 0u);
    EXPECT_EQ(OnlyMessage(), Box(info.successText, kCaptionDone, MessageIcon::None));
    EXPECT_EQ(ui().fileRequests().back().key, info.request.key);
  }
}

TEST_F(UploadTest, CodeGoesToItsAddressWithoutSizeLimit) {
  EXPECT_EQ(OnUploadCodeOpenPressed("8000310"), 0);  // refused before the file dialog
  EXPECT_EQ(OnlyMessage(), Box("Memory address incorrect size", kCaptionRangeError));
  EXPECT_TRUE(ui().fileRequests().empty());

  const std::vector<uint8_t> data = ChooseFile(kUploadSizeLimit + 1);
  ASSERT_EQ(OnUploadCodeOpenPressed("80100000"), 1);
  const std::vector<uint8_t> sent = Sent();
  EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 9),
            Wire(0x41, {0x80100000u, kUploadSizeLimit + 1}));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), model().memory.begin() + 0x100000));
  // A text without a number keeps the address of the last run.
  ChooseFile(16);
  ASSERT_EQ(OnUploadCodeOpenPressed("zzzzzzzz"), 1);
  EXPECT_EQ(model().uploads.uploads.back().header, (std::vector<uint32_t>{0x80100000u, 16u}));
}

// A wrong or missing acknowledgement resends the packet without progress, up to the bound.
TEST_F(UploadTest, UnacknowledgedPacketIsSentAgain) {
  for (std::optional<uint8_t> reply : {std::optional<uint8_t>{0x00}, std::optional<uint8_t>{}}) {
    Restart();
    const std::vector<uint8_t> data = ChooseFile(2 * 3968 + 10);
    model().uploads.refusePackets = 2;
    model().uploads.refusalReply = reply;
    ASSERT_EQ(UploadFile(UploadKind::Elf), 1);
    EXPECT_EQ(Sent().size(), 5 + data.size() + 2 * 3968);
    EXPECT_EQ(model().uploads.uploads.back().data, data);
    const auto progress = ui().progress();
    EXPECT_EQ(std::count_if(progress.begin(), progress.end(),
                            [](const auto& e) { return e.kind == ProgressEvent::Advance; }),
              2);
  }
  Restart();
  ChooseFile(3968);
  model().uploads.refusePackets = 1000;
  EXPECT_EQ(UploadFile(UploadKind::Mod), 0);
  EXPECT_EQ(OnlyMessage(), Box(kMsgTooManyAttempts, kCaptionUsbError));
  EXPECT_EQ(Sent().size(), 5 + kMaxAttemptsPerPacket * 3968);
  EXPECT_EQ(ui().progress().back().high, 0u);
}

TEST_F(UploadTest, FailureTable) {
  struct Row {
    const char* name;
    size_t size;
    std::function<void()> arm;
    std::vector<std::string> texts;  // every message shown, in order
    bool sendsNothing = false;
  };
  const std::vector<Row> rows{
      {"cancelled", 10, [this] { ui().SetOpenFile(std::nullopt); }, {}, true},
      {"missing file", 10, [this] { ui().SetOpenFile(TempPath("none")); }, {kMsgFopen}, true},
      {"too big", kUploadSizeLimit + 1, [] {}, {kMsgFileTooBig}, true},
      {"command short", 10, [this] { faults().ShortenNextWrites(1); }, {kMsgSendCommand}},
      {"no reply", 10, [this] { faults().SuppressNextReplies(1); }, {kMsgReadResponse}},
      {"wrong reply", 10, [this] { faults().WrongNextReplies(0); }, {kMsgReadAcknowledgement}},
      {"header short", 10, [this] { faults().ShortenNextWrites(1, 1); }, {kMsgTransmitRetry}},
      {"packet short", 4000, [this] { faults().ShortenNextWrites(1, 2); }, {kMsgPacketDrop}},
      {"packet failed",
       4000,
       [this] { faults().FailNextWrites(1, 2); },
       {"Error: Fatal USB Write Error. Exiting.", kMsgFatalUsb}},
      {"last packet short", 4000, [this] { faults().ShortenNextWrites(1, 3); }, {kMsgLastPacket}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Restart();
    ChooseFile(row.size, true);
    row.arm();
    EXPECT_EQ(UploadFile(UploadKind::Dol), 0);
    EXPECT_EQ(Texts(ui()), row.texts);
    if (row.sendsNothing) {
      EXPECT_TRUE(Sent().empty());
    }
  }
}

// 524,288 bytes: 8 packets of 63,488 and 16,384 left; the 1 s time-outs stay afterwards.
TEST_F(FirmwareTest, ImagesUpToTheLimitGoOutInLargePackets) {
  for (uint32_t size : {kFirmwareSizeLimit, 63488u, 100u}) {
    SCOPED_TRACE(size);
    Restart();
    std::vector<uint8_t> expected = Wire(0x18, {size});
    const std::vector<uint8_t> image = ChooseFile(size);
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
  const std::vector<uint8_t> image = ChooseFile(2 * 63488 + 1);
  model().uploads.refusePackets = 3;
  ASSERT_EQ(FlashFirmware(), 1);
  EXPECT_EQ(model().uploads.firmwareImages.back(), image);
  EXPECT_EQ(Sent().size(), 5 + image.size() + 3 * 63488);
  for (std::optional<uint8_t> reply : {std::optional<uint8_t>{}, std::optional<uint8_t>{0xBB}}) {
    Restart();  // the console still waits for the packet it did not take
    ChooseFile(2 * 63488 + 1);
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
    ChooseFile(row.size, true);
    row.arm();
    EXPECT_EQ(FlashFirmware(), row.result);
    EXPECT_EQ(Texts(ui()), row.texts);
  }
}

}  // namespace
}  // namespace zemlo
