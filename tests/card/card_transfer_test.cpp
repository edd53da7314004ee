// GCI download and save upload through the simulated console.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

#include "extract/card_transfer.h"
#include "link/link.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Box;
using testing::Bytes;
using testing::ProgressEvent;
using testing::ReadFileBytes;
using testing::RecordedMessage;
using testing::WriteFileBytes;

constexpr size_t kPacket = 0xF800;

RecordedMessage UsbError(const std::string& text) {
  return {text, "USB Error", MessageIcon::Error, MessageOwner::None};
}

std::vector<uint8_t> GciOf(const sim::CardSave& save) {
  std::vector<uint8_t> gci(save.entry.begin(), save.entry.end());
  gci.insert(gci.end(), save.data.begin(), save.data.end());
  return gci;
}

class CardDownloadTest : public testing::SimFixture {
 protected:
  // Adds a save of `size` data bytes and selects it.
  sim::CardSave AddSave(size_t size) {
    sim::CardSave save = sim::CardSave::Make("ZTST01", "sized", size, 9);
    model().card.saves.push_back(save);
    selected_ = model().card.saves.size() - 1;
    ui().SetSelection(static_cast<int>(selected_));
    return save;
  }
  int Download() {
    ui().SetSaveFile(TempPath("save.gci"));
    return DownloadCardSave();
  }
  std::vector<uint8_t> File() { return ReadFileBytes(TempPath("save.gci")); }
  size_t selected_ = 0;
};

// Below one packet: only a final part. Exactly one packet: no final read.
TEST_F(CardDownloadTest, WritesEntryAndDataAcknowledgingEachPacket) {
  for (size_t size : {size_t{16384}, kPacket, size_t{65536}, 2 * kPacket + 1}) {
    SCOPED_TRACE(size);
    ui().Clear();
    const sim::CardSave save = AddSave(size);
    ASSERT_EQ(Download(), 1);
    EXPECT_EQ(File(), GciOf(save));
    std::vector<uint8_t> sent = Bytes({0x16, static_cast<int>(selected_)});
    sent.insert(sent.end(), size / kPacket, 0xAA);
    EXPECT_EQ(Sent(), sent);
    EXPECT_EQ(OnlyMessage(),
              (RecordedMessage{"Done Saving GCI save file", "Done.", MessageIcon::None,
                               MessageOwner::None, "SHA-1: " + FileSha1Hex(TempPath("save.gci"))}));
    const auto progress = ui().progress();
    EXPECT_EQ(progress.front().high, size / kPacket);
    EXPECT_EQ(ui().progressSteps(), 0u);
    EXPECT_EQ(progress.back().kind, ProgressEvent::Range);
    EXPECT_EQ(progress.back().high, 0u);
  }
}

TEST_F(CardDownloadTest, AShortPacketIsRequestedAgainUpToTheBound) {
  const sim::CardSave save = AddSave(3 * kPacket + 10);
  model().card.shortPacket = 1;
  model().card.shortPacketTimes = 2;
  ASSERT_EQ(Download(), 1);
  EXPECT_EQ(File(), GciOf(save));
  EXPECT_EQ(model().card.answers, Bytes({0xAA, 0xBB, 0xBB, 0xAA, 0xAA}));

  model().card.shortPacketTimes = 1000;
  ui().Clear();
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgTooManyAttempts));
  const auto& answers = model().card.answers;
  ASSERT_EQ(answers.size(), 1 + kMaxAttemptsPerPacket);
  EXPECT_EQ(std::count(answers.begin(), answers.end(), 0xBB), kMaxAttemptsPerPacket);
  // The file holds exactly what was accepted; the bar is emptied.
  const std::vector<uint8_t> gci = GciOf(save);
  EXPECT_EQ(File(), std::vector<uint8_t>(gci.begin(), gci.begin() + 64 + kPacket));
  EXPECT_EQ(ui().progress().back().high, 0u);
}

// Each failure, its one message (none when the dialog was cancelled) and what the file holds.
TEST_F(CardDownloadTest, Failures) {
  const struct {
    const char* name;
    std::function<void()> arm;
    int result;
    RecordedMessage message;
    int fileBytes;  // -1: no file
  } rows[] = {
      {"entry cut short",
       [this] {
         model().card.lengthBytesSent = 0;
         faults().ShortenNextPackets(1, 10);
       },
       0, UsbError(kMsgUsbTransmit), 0},
      {"length cut short", [this] { model().card.lengthBytesSent = 2; }, 0,
       UsbError(kMsgUsbTransmit), 64},
      {"final part short",
       [this] {
         AddSave(kPacket + 2000);
         model().card.shortFinalPart = true;
       },
       0, UsbError("Error: Couldn't send the last packet bytes"), 64 + kPacket + 1000},
      {"no selection",
       [this] { ui().SetSelection(-1); },
       0,
       {"No Game Save selected", "Memcard Error", MessageIcon::Error, MessageOwner::None},
       -1},
      {"cancelled", [this] { ui().SetSaveFile(std::nullopt); }, kCardTransferCancelled, {}, -1},
      {"unwritable path",
       [this] { ui().SetSaveFile(TempPath("no-such-folder/save.gci")); },
       0,
       {kMsgFopen, "File Error", MessageIcon::Error, MessageOwner::None},
       -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    selected_ = 0;
    ui().SetSelection(0);
    ui().SetSaveFile(TempPath("save.gci"));
    row.arm();
    EXPECT_EQ(DownloadCardSave(), row.result);
    EXPECT_EQ(ui().messages(),
              row.message.text.empty() ? std::vector<RecordedMessage>{} : std::vector{row.message});
    if (row.fileBytes < 0) {
      EXPECT_FALSE(std::filesystem::exists(TempPath("save.gci")));
      EXPECT_TRUE(Sent().empty());
    } else {
      const std::vector<uint8_t> gci = GciOf(model().card.saves[selected_]);
      EXPECT_EQ(File(), std::vector<uint8_t>(gci.begin(), gci.begin() + row.fileBytes));
    }
  }
}

class CardUploadTest : public testing::SimFixture {
 protected:
  // A GCI file for a save the card does not hold, with `dataSize` bytes of data.
  std::vector<uint8_t> NewGci(size_t dataSize, const char* name = "uploaded") {
    return GciOf(sim::CardSave::Make("ZUPL01", name, dataSize, 7));
  }
  int Upload(const std::vector<uint8_t>& file, const std::string& name = "save.gci") {
    WriteFileBytes(TempPath(name), file);
    ui().SetOpenFile(TempPath(name));
    return UploadCardSave();
  }
  std::vector<uint8_t> LastSave() { return GciOf(model().card.saves.back()); }
};

// Data of whole packets ends with an empty final write.
TEST_F(CardUploadTest, AGciFileBecomesANewSave) {
  for (size_t size : {size_t{2 * 8192}, 2 * kPacket - 64}) {
    SCOPED_TRACE(size);
    const std::vector<uint8_t> gci = NewGci(size, std::to_string(size).c_str());
    ui().Clear();
    ui().ListInsert(0, "line");
    ASSERT_EQ(Upload(gci), 1);
    EXPECT_EQ(OnlyMessage(), (RecordedMessage{"Save File Uploaded", "Done.", MessageIcon::None,
                                              MessageOwner::None}));
    EXPECT_EQ(LastSave(), gci);
    EXPECT_TRUE(ui().list().empty());
    std::vector<uint8_t> expected = testing::Wire(0x32, {static_cast<uint32_t>(gci.size())});
    expected.insert(expected.end(), gci.begin(), gci.end());
    EXPECT_EQ(Sent(), expected);
    // No time limit while the console writes the card, then the ordinary time-outs.
    const auto timeouts = adapter().TakeTimeoutHistory();
    ASSERT_EQ(timeouts.size(), 2u);
    EXPECT_EQ(timeouts[0].readMs, 0u);
    EXPECT_EQ(timeouts[1].readMs, 2000u);
    EXPECT_EQ(timeouts[1].writeMs, 2000u);
  }
  EXPECT_EQ(model().card.saves.size(), 5u);
}

TEST_F(CardUploadTest, ADownloadedSaveUploadedAgainClashesByName) {
  ui().SetSelection(1);
  ui().SetSaveFile(TempPath("down.gci"));
  ASSERT_EQ(DownloadCardSave(), 1);
  EXPECT_EQ(ReadFileBytes(TempPath("down.gci")), GciOf(model().card.saves[1]));

  ui().Clear();
  ui().ListInsert(0, "kept");
  ui().SetOpenFile(TempPath("down.gci"));
  EXPECT_EQ(UploadCardSave(), 0);
  EXPECT_EQ(OnlyMessage().text, "This filename already exists");
  EXPECT_EQ(ui().list(), std::vector<std::string>{"kept"});
  EXPECT_EQ(model().card.saves.size(), 3u);

  // Erased, it uploads again.
  model().card.saves.erase(model().card.saves.begin() + 1);
  ui().Clear();
  EXPECT_EQ(UploadCardSave(), 1);
  EXPECT_EQ(LastSave(), ReadFileBytes(TempPath("down.gci")));
}

TEST_F(CardUploadTest, GameSharkHeaderIsDroppedByContentNotName) {
  const std::vector<uint8_t> gci = NewGci(8192, "shark");
  std::vector<uint8_t> gcs(272, 0x77);
  std::memcpy(gcs.data(), "GCSAVE", 6);
  gcs.insert(gcs.end(), gci.begin(), gci.end());
  for (const char* name : {"save.gcs", "save.gci", "save"}) {
    SCOPED_TRACE(name);
    model().card = sim::CardModel();
    ui().Clear();
    ASSERT_EQ(Upload(gcs, name), 1);
    EXPECT_EQ(model().card.lastUploadLength, gcs.size() - 272);
    EXPECT_EQ(LastSave(), gci);
  }
  // A GCI file under a Game Shark(tm) name is sent whole.
  model().card = sim::CardModel();
  ASSERT_EQ(Upload(gci, "plain.gcs"), 1);
  EXPECT_EQ(LastSave(), gci);
}

TEST_F(CardUploadTest, FilesTooShortForTheirKind) {
  // Begins like a Game Shark(tm) file but cannot hold its header: refused before anything is sent.
  std::vector<uint8_t> stub(271, 0);
  std::memcpy(stub.data(), "GCSAVE", 6);
  EXPECT_EQ(Upload(stub), 0);
  EXPECT_EQ(OnlyMessage().caption, "File Error");
  EXPECT_TRUE(Sent().empty());

  // Shorter than the magic: sent whole; the card has no use for it.
  for (const std::vector<uint8_t>& tiny : {Bytes({'G', 'C', 'S'}), std::vector<uint8_t>{}}) {
    ui().Clear();
    EXPECT_EQ(Upload(tiny), 0);
    EXPECT_EQ(OnlyMessage().text, "Card Create Error");
    EXPECT_EQ(model().card.lastUploadLength, tiny.size());
  }
}

TEST_F(CardUploadTest, SizeLimitCountsTheWholeFile) {
  model().card.capacityBlocks = 4000;
  constexpr size_t kLimit = 19'910'656;
  const std::vector<uint8_t> atLimit = NewGci(kLimit - 64);
  ASSERT_EQ(Upload(atLimit), 1);
  EXPECT_EQ(LastSave().size(), kLimit);
  // Whole packets only, then a final write of 0 bytes, then the status.
  static_assert(kLimit % kPacket != 0);

  ui().Clear();
  std::vector<uint8_t> over = NewGci(kLimit - 63, "over");
  Sent();
  EXPECT_EQ(Upload(over), 0);
  EXPECT_EQ(OnlyMessage(), Box("Error: File too big - Limit is 19910656 bytes", "File Error"));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(CardUploadTest, RefusedPacketsAreSentAgainUpToTheBound) {
  const std::vector<uint8_t> gci = NewGci(3 * kPacket);
  model().card.refusedPacket = 1;
  model().card.refusedPacketTimes = 3;
  ASSERT_EQ(Upload(gci), 1);
  EXPECT_EQ(LastSave(), gci);
  EXPECT_EQ(Sent().size(), 1 + 4 + gci.size() + 3 * kPacket);

  ui().Clear();
  model().card = sim::CardModel();
  model().card.refusedPacket = 0;
  model().card.refusedPacketTimes = 1000;
  adapter().TakeTimeoutHistory();
  EXPECT_EQ(Upload(gci), 0);
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgTooManyAttempts));
  EXPECT_EQ(Sent().size(), 1 + 4 + kMaxAttemptsPerPacket * kPacket);
  EXPECT_EQ(adapter().timeouts().readMs, 2000u);
  EXPECT_EQ(ui().progress().back().high, 0u);
}

TEST_F(CardUploadTest, ARefusedCommandTouchesNoTimeouts) {
  faults().WrongNextReplies(0x00);
  EXPECT_EQ(Upload(NewGci(100)), 0);
  EXPECT_EQ(OnlyMessage(), UsbError(kMsgReadAcknowledgement));
  EXPECT_TRUE(adapter().TakeTimeoutHistory().empty());
}

}  // namespace
}  // namespace zemlo
