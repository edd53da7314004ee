#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

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
  std::vector<uint8_t> ChooseFile(size_t size, bool zeros = false) {
    std::vector<uint8_t> data = Pattern(size, zeros);
    WriteFileBytes(TempPath("upload.bin"), data);
    ui().SetOpenFile(TempPath("upload.bin"));
    return data;
  }
};

// Command byte, big-endian size, then the file unchanged in acknowledged packets: 3,968 bytes
// for an upload; 63,488 for firmware (524,288 bytes: 8 of them and 16,384 left), after which the
// 1 s time-outs stay (an upload leaves the ordinary ones). No kind: firmware.
TEST_F(UploadTest, SendsCommandSizeAndFile) {
  const std::tuple<std::optional<UploadKind>, uint32_t, const char*> rows[] = {
      {UploadKind::Dol, 0, "DOL File Loaded"},
      {UploadKind::Elf, 3968, "ELF File Loaded"},
      {UploadKind::Mod, 3 * 3968, "MOD File Loaded"},
      {UploadKind::Mp3, 3969, "MP3 File Loaded"},
      {UploadKind::Dol, kUploadSizeLimit, "DOL File Loaded"},
      {{}, kFirmwareSizeLimit, "Flash file loaded to memory, check console for progress"},
      {{}, 63488, kMsgFirmwareLoaded},
      {{}, 100, kMsgFirmwareLoaded}};
  for (auto [kind, size, done] : rows) {
    const UploadKindInfo* info = kind ? &UploadKindInfoOf(*kind) : nullptr;
    SCOPED_TRACE(std::string(info ? info->name : "firmware") + " " + std::to_string(size));
    Restart();
    std::vector<uint8_t> expected = Wire(info ? info->command : 0x18, {size});
    const std::vector<uint8_t> data = ChooseFile(size);
    expected.insert(expected.end(), data.begin(), data.end());
    ASSERT_EQ(info ? OnLoadPressed(*kind) : OnLoadFirmwarePressed(), 1);
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(ui().progress().front().high, size / (info ? 3968 : 63488));
    EXPECT_TRUE(BarEmpty(ui()));
    EXPECT_EQ(OnlyMessage(), Box(done, kCaptionDone, MessageIcon::None));
    EXPECT_EQ(ui().fileRequests().back().key, (info ? info->request : FirmwareFileRequest()).key);
    EXPECT_EQ(adapter().timeouts().readMs, info ? 2000u : 1000u);
    EXPECT_EQ(adapter().timeouts().writeMs, info ? 2000u : 1000u);
  }
}

TEST_F(UploadTest, CodeGoesToItsAddressWithoutSizeLimit) {
  for (const char* text : {"8000310", "zzzzzzzz"}) {  // refused before the file dialog
    ui().Clear();
    EXPECT_EQ(OnUploadCodeOpenPressed(text), 0);
    EXPECT_EQ(OnlyMessage(), Box("Memory address incorrect size", kCaptionRangeError));
  }
  EXPECT_TRUE(ui().fileRequests().empty());

  const std::vector<uint8_t> data = ChooseFile(kUploadSizeLimit + 1);
  ASSERT_EQ(OnUploadCodeOpenPressed("80100000"), 1);
  EXPECT_EQ(model().uploads.uploads.back().header,
            (std::vector<uint32_t>{0x80100000u, kUploadSizeLimit + 1}));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), model().memory.begin() + 0x100000));
  EXPECT_EQ(ui().messages().back(), Box("Code Uploaded", kCaptionDone, MessageIcon::None));
}

// A wrong or missing acknowledgement sends the packet again without progress, but a missing one
// ends a flash. (The bound on attempts is the packet upload's own test.)
TEST_F(UploadTest, UnacknowledgedPacketsAreSentAgain) {
  const struct {
    bool firmware;
    std::optional<uint8_t> reply;
    int refusals;
  } rows[] = {{false, 0x00, 2}, {false, std::nullopt, 2}, {true, 0xBB, 3}, {true, std::nullopt, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
    Restart();
    const size_t packet = row.firmware ? 63488 : 3968;
    const std::vector<uint8_t> data = ChooseFile(2 * packet + 10);
    model().uploads.refusePackets = row.refusals;
    model().uploads.refusalReply = row.reply;
    if (row.firmware && !row.reply) {
      EXPECT_EQ(FlashFirmware(), 0);
      EXPECT_EQ(Texts(ui()), std::vector<std::string>{kMsgUsbTransmit});
      EXPECT_EQ(ui().progress().back().high, 0u);
      continue;
    }
    ASSERT_EQ(row.firmware ? FlashFirmware() : UploadFile(UploadKind::Elf), 1);
    EXPECT_EQ(Sent().size(), 5 + data.size() + row.refusals * packet);
    const auto& uploads = model().uploads;
    EXPECT_EQ(row.firmware ? uploads.firmwareImages.back() : uploads.uploads.back().data, data);
    EXPECT_EQ(ui().progress().size(), 5u);  // range, step, one advance per packet taken, emptied
  }
}

// Every message shown, in order; a failure before the command byte sends nothing.
TEST_F(UploadTest, FailureTable) {
  using Arm = std::function<void()>;
  const auto shortWrite = [this](int write) -> Arm {
    return [this, write] { faults().ShortenNextWrites(1, write); };
  };
  const auto failedWrite = [this](int write) -> Arm {
    return [this, write] { faults().FailNextWrites(1, write); };
  };
  const Arm cancel = [this] { ui().SetOpenFile(std::nullopt); };
  const Arm missing = [this] { ui().SetOpenFile(TempPath("none")); };
  const Arm noReply = [this] { faults().SuppressNextReplies(1); };
  const Arm wrongReply = [this] { faults().WrongNextReplies(0); };
  constexpr char kFatal[] = "Error: Fatal USB Write Error. Exiting.";
  constexpr bool kFw = true;
  const struct {
    bool firmware;
    size_t size;
    Arm arm;
    int result;
    std::vector<std::string> texts;
  } rows[] = {
      {!kFw, 10, cancel, 0, {}},
      {!kFw, 10, missing, 0, {kMsgFopen}},
      {!kFw, kUploadSizeLimit + 1, [] {}, 0, {kMsgFileTooBig}},
      {!kFw, 10, shortWrite(0), 0, {kMsgSendCommand}},
      {!kFw, 10, noReply, 0, {kMsgReadResponse}},
      {!kFw, 10, wrongReply, 0, {kMsgReadAcknowledgement}},
      {!kFw, 10, shortWrite(1), 0, {kMsgTransmitRetry}},
      {!kFw, 4000, shortWrite(2), 0, {kMsgPacketDrop}},
      {!kFw, 4000, failedWrite(2), 0, {kFatal, kMsgFatalUsb}},
      {!kFw, 4000, shortWrite(3), 0, {kMsgLastPacket}},
      {kFw, 100, cancel, 2, {}},
      {kFw, kFirmwareSizeLimit + 1, [] {}, 0, {kMsgFirmwareLimit}},
      {kFw, 100, shortWrite(0), 0, {kMsgSendCommand}},
      {kFw, 100, noReply, 0, {kMsgReadResponse}},
      {kFw, 100, [this] { model().uploads.refuseFirmware = true; }, 0, {kMsgFirmwareRefused}},
      // Only an explicit refusal or a driver error stops the flash at the reply or the header.
      {kFw, 100, wrongReply, 1, {kMsgFirmwareLoaded}},
      {kFw, 100, shortWrite(1), 1, {kMsgFirmwareLoaded}},
      {kFw, 100, failedWrite(1), 0, {kFatal, kMsgTransmitRetry}},
      {kFw, 63489, shortWrite(2), 0, {kMsgUsbTransmit}},
      {kFw, 100, shortWrite(2), 0, {kMsgFirmwareLastPacket}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
    Restart();
    ChooseFile(row.size, true);
    row.arm();
    EXPECT_EQ(row.firmware ? FlashFirmware() : UploadFile(UploadKind::Dol), row.result);
    EXPECT_EQ(Texts(ui()), row.texts);
    EXPECT_TRUE(BarEmpty(ui()));
    if (row.texts.empty() || row.texts[0] == kMsgFopen || row.size > 0x80000) {
      EXPECT_TRUE(Sent().empty());
    }
  }
}

}  // namespace
}  // namespace zemlo
