#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "link/bytes.h"
#include "protocol/messages.h"
#include "protocol/upload.h"
#include "tests/memory/message_print.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Bytes;
using testing::RecordedMessage;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

std::vector<uint8_t> BE32(uint32_t value) {
  std::vector<uint8_t> bytes(4);
  WriteBE32(bytes.data(), value);
  return bytes;
}

RecordedMessage UsbError(const std::string& text) {
  return {text, kCaptionUsbError, MessageIcon::Error, MessageOwner::None};
}

class UploadTest : public testing::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_uploadCode = {};
  }
  // Writes a file of `size` pattern bytes and lets the next file dialog choose it.
  std::vector<uint8_t> ChooseFile(size_t size) {
    std::vector<uint8_t> data = Pattern(size);
    testing::WriteFileBytes(TempPath("upload.bin"), data);
    ui().SetOpenFile(TempPath("upload.bin"));
    return data;
  }
};

// Every kind goes out as its command byte, the big-endian size and the file unchanged.
TEST_F(UploadTest, EachKindSendsCommandSizeAndFile) {
  for (UploadKind kind : {UploadKind::Dol, UploadKind::Elf, UploadKind::Mod, UploadKind::Mp3}) {
    const UploadKindInfo& info = UploadKindInfoOf(kind);
    SCOPED_TRACE(info.name);
    ui().Clear();
    const std::vector<uint8_t> data = ChooseFile(5000);
    EXPECT_EQ(OnLoadPressed(kind), 1);
    std::vector<uint8_t> expected{info.command};
    for (uint8_t b : BE32(5000)) expected.push_back(b);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(OnlyMessage(), (RecordedMessage{info.successText, kCaptionDone, MessageIcon::None,
                                              MessageOwner::None}));
    EXPECT_EQ(ui().fileRequests().back().key, info.request.key);
    EXPECT_EQ(model().uploads.uploads.back().data, data);
  }
}

// Full packets acknowledged one by one, the remainder (possibly empty) unanswered.
TEST_F(UploadTest, PacketCountsAtTheBoundaries) {
  for (size_t size :
       {size_t{0}, size_t{3968}, size_t{3 * 3968}, size_t{3969}, size_t{kUploadSizeLimit}}) {
    SCOPED_TRACE(size);
    ui().Clear();
    const std::vector<uint8_t> data = ChooseFile(size);
    ASSERT_EQ(UploadFile(UploadKind::Dol), 1);
    EXPECT_EQ(model().uploads.uploads.back().data, data);
    const auto progress = ui().progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().high, size / 3968);
    EXPECT_EQ(progress.back().high, 0u);  // emptied at the end
    EXPECT_EQ(Sent().size(), 5 + size);
  }
}

TEST_F(UploadTest, OneByteAboveTheLimitIsRefusedBeforeAnythingIsSent) {
  ChooseFile(kUploadSizeLimit + 1);
  EXPECT_EQ(UploadFile(UploadKind::Mp3), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgFileTooBig, kCaptionFileError, MessageIcon::Error,
                                            MessageOwner::None}));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(UploadTest, CodeGoesToItsAddressWithoutSizeLimit) {
  const std::vector<uint8_t> data = ChooseFile(kUploadSizeLimit + 1);
  ASSERT_EQ(OnUploadCodeOpenPressed("80100000"), 1);
  const std::vector<uint8_t> sent = Sent();
  EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 9),
            Bytes({0x41, 0x80, 0x10, 0x00, 0x00, 0x01, 0x2F, 0xD0, 0x01}));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), model().memory.begin() + 0x100000));
  EXPECT_EQ(OnlyMessage().text, "Code Uploaded");
  // A text without a number keeps the address of the last run.
  ChooseFile(16);
  ASSERT_EQ(OnUploadCodeOpenPressed("zzzzzzzz"), 1);
  EXPECT_EQ(model().uploads.uploads.back().header, (std::vector<uint32_t>{0x80100000u, 16u}));
}

TEST_F(UploadTest, SevenCharacterCodeAddressIsRefusedBeforeTheFileDialog) {
  EXPECT_EQ(OnUploadCodeOpenPressed("8000310"), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{"Memory address incorrect size", kCaptionRangeError,
                                            MessageIcon::Error, MessageOwner::None}));
  EXPECT_TRUE(ui().fileRequests().empty());
  EXPECT_TRUE(Sent().empty());
}

TEST_F(UploadTest, UnacknowledgedPacketIsSentAgainWithoutProgress) {
  for (std::optional<uint8_t> reply : {std::optional<uint8_t>{0x00}, std::optional<uint8_t>{}}) {
    ui().Clear();
    const std::vector<uint8_t> data = ChooseFile(2 * 3968 + 10);
    model().uploads.refusePackets = 2;
    model().uploads.refusalReply = reply;
    ASSERT_EQ(UploadFile(UploadKind::Elf), 1);
    EXPECT_EQ(Sent().size(), 5 + data.size() + 2 * 3968);  // the first packet three times
    EXPECT_EQ(model().uploads.uploads.back().data, data);
    const auto progress = ui().progress();
    EXPECT_EQ(
        std::count_if(progress.begin(), progress.end(),
                      [](const auto& e) { return e.kind == testing::ProgressEvent::Advance; }),
        2);
  }
}

TEST_F(UploadTest, PacketRefusedEveryTimeGivesUpAfterTheBound) {
  ChooseFile(3968);
  model().uploads.refusePackets = 1000;
  EXPECT_EQ(UploadFile(UploadKind::Mod), 0);
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgTooManyAttempts));
  EXPECT_EQ(Sent().size(), 5 + kMaxAttemptsPerPacket * 3968);
  EXPECT_EQ(ui().progress().back().high, 0u);
}

// One row per failure of the upload, each with its message and nothing sent past it.
TEST_F(UploadTest, FailureTable) {
  struct Row {
    const char* name;
    std::function<void()> arm;
    std::vector<std::string> texts;  // every message shown, in order
  };
  const std::vector<Row> rows{
      {"not connected", [this] { Disconnect(); }, {kMsgNotConnected}},
      {"cancelled", [this] { ui().SetOpenFile(std::nullopt); }, {}},
      {"missing file", [this] { ui().SetOpenFile(TempPath("none")); }, {kMsgFopen}},
      {"command short", [this] { faults().ShortenNextWrites(1); }, {kMsgSendCommand}},
      {"no reply", [this] { faults().SuppressNextReplies(1); }, {kMsgReadResponse}},
      {"wrong reply", [this] { faults().WrongNextReplies(0x00); }, {kMsgReadAcknowledgement}},
      {"header short", [this] { faults().ShortenNextWrites(1, 1); }, {kMsgTransmitRetry}},
      {"packet short", [this] { faults().ShortenNextWrites(1, 2); }, {kMsgPacketDrop}},
      {"packet failed",
       [this] { faults().FailNextWrites(1, 2); },
       {"Error: Fatal USB Write Error. Exiting.", kMsgFatalUsb}},
      {"last packet short", [this] { faults().ShortenNextWrites(1, 3); }, {kMsgLastPacket}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    ChooseFile(3968 + 100);
    row.arm();
    EXPECT_EQ(UploadFile(UploadKind::Dol), 0);
    std::vector<std::string> texts;
    for (const auto& message : ui().messages()) texts.push_back(message.text);
    EXPECT_EQ(texts, row.texts);
  }
}

}  // namespace
}  // namespace zemlo
