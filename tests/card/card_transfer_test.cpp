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

std::vector<uint8_t> GciOf(const sim::CardSave& save) {
  std::vector<uint8_t> gci(save.entry.begin(), save.entry.end());
  gci.insert(gci.end(), save.data.begin(), save.data.end());
  return gci;
}

// The first save selected, downloads go to save.gci.
class CardTransferTest : public testing::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    ui().SetSelection(0);
    ui().SetSaveFile(TempPath("save.gci"));
  }
  // Adds a save of `size` data bytes and selects it.
  sim::CardSave AddSave(size_t size) {
    sim::CardSave save = sim::CardSave::Make("ZTST01", "sized", size, 9);
    model().card.saves.push_back(save);
    ui().SetSelection(static_cast<int>(model().card.saves.size() - 1));
    return save;
  }
  std::vector<uint8_t> File() { return ReadFileBytes(TempPath("save.gci")); }
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

// Below one packet: only a final part. Exactly one packet: no final read.
TEST_F(CardTransferTest, WritesEntryAndDataAcknowledgingEachPacket) {
  for (size_t size : {size_t{16384}, kPacket, size_t{65536}, 2 * kPacket + 1}) {
    SCOPED_TRACE(size);
    ui().Clear();
    const sim::CardSave save = AddSave(size);
    ASSERT_EQ(DownloadCardSave(), 1);
    EXPECT_EQ(File(), GciOf(save));
    std::vector<uint8_t> sent = Bytes({0x16, ui().ListSelection()});
    sent.insert(sent.end(), size / kPacket, 0xAA);
    EXPECT_EQ(Sent(), sent);
    EXPECT_EQ(ui().progress().front().high, size / kPacket);
    EXPECT_TRUE(testing::BarEmpty(ui()));
  }
}

TEST_F(CardTransferTest, AShortPacketIsRequestedAgainUpToTheBound) {
  const sim::CardSave save = AddSave(3 * kPacket + 10);
  model().card.shortPacket = 1;
  model().card.shortPacketTimes = 2;
  ASSERT_EQ(DownloadCardSave(), 1);
  EXPECT_EQ(File(), GciOf(save));
  EXPECT_EQ(model().card.answers, Bytes({0xAA, 0xBB, 0xBB, 0xAA, 0xAA}));

  model().card.shortPacketTimes = 1000;
  ui().Clear();
  EXPECT_EQ(DownloadCardSave(), 0);
  EXPECT_EQ(OnlyMessage(), Box(kMsgTooManyAttempts, "USB Error"));
  const auto& answers = model().card.answers;
  ASSERT_EQ(answers.size(), 1 + kMaxAttemptsPerPacket);
  EXPECT_EQ(std::count(answers.begin(), answers.end(), 0xBB), kMaxAttemptsPerPacket);
  // The file holds exactly what was accepted; the bar is emptied.
  const std::vector<uint8_t> gci = GciOf(save);
  EXPECT_EQ(File(), std::vector<uint8_t>(gci.begin(), gci.begin() + 64 + kPacket));
  EXPECT_EQ(ui().progress().back().high, 0u);
}

// Each failure, its one message (none when the dialog was cancelled) and what the file holds.
TEST_F(CardTransferTest, Failures) {
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
       0, Box(kMsgUsbTransmit, "USB Error"), 0},
      {"length cut short", [this] { model().card.lengthBytesSent = 2; }, 0,
       Box(kMsgUsbTransmit, "USB Error"), 64},
      {"final part short",
       [this] {
         AddSave(kPacket + 2000);
         model().card.shortFinalPart = true;
       },
       0, Box("Error: Couldn't send the last packet bytes", "USB Error"), 64 + kPacket + 1000},
      {"command short", [this] { faults().ShortenNextWrites(1); }, 0,
       Box("Error sending Download Save command", "USB Error"), 0},
      {"index short", [this] { faults().ShortenNextWrites(1, 1); }, 0,
       Box("Error sending index", "USB Error"), 0},
      {"no selection", [this] { ui().SetSelection(-1); }, 0,
       Box("No Game Save selected", "Memcard Error"), -1},
      {"cancelled", [this] { ui().SetSaveFile(std::nullopt); }, kCardTransferCancelled, {}, -1},
      {"unwritable path", [this] { ui().SetSaveFile(TempPath("no-such-folder/save.gci")); }, 0,
       Box(kMsgFopen, "File Error"), -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Restart();
    row.arm();
    EXPECT_EQ(DownloadCardSave(), row.result);
    EXPECT_EQ(ui().messages(),
              row.message.text.empty() ? std::vector<RecordedMessage>{} : std::vector{row.message});
    EXPECT_TRUE(testing::BarEmpty(ui()));
    if (row.fileBytes < 0) {
      EXPECT_FALSE(std::filesystem::exists(TempPath("save.gci")));
      EXPECT_TRUE(Sent().empty());
    } else {
      const std::vector<uint8_t> gci = GciOf(model().card.saves[ui().ListSelection()]);
      EXPECT_EQ(File(), std::vector<uint8_t>(gci.begin(), gci.begin() + row.fileBytes));
    }
  }
}

// Data of whole packets ends with an empty final write.
TEST_F(CardTransferTest, AGciFileBecomesANewSave) {
  for (size_t size : {size_t{2 * 8192}, 2 * kPacket - 64}) {
    SCOPED_TRACE(size);
    const std::vector<uint8_t> gci = NewGci(size, std::to_string(size).c_str());
    ui().Clear();
    ui().ListInsert(0, "line");
    ASSERT_EQ(Upload(gci), 1);
    EXPECT_EQ(LastSave(), gci);
    EXPECT_TRUE(ui().list().empty());
    std::vector<uint8_t> expected = testing::Wire(0x32, {static_cast<uint32_t>(gci.size())});
    expected.insert(expected.end(), gci.begin(), gci.end());
    EXPECT_EQ(Sent(), expected);
    // No time limit while the console writes the card, then the ordinary time-outs.
    std::vector<std::pair<uint32_t, uint32_t>> timeouts;
    for (const auto& t : adapter().TakeTimeoutHistory()) timeouts.emplace_back(t.readMs, t.writeMs);
    EXPECT_EQ(timeouts, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {2000, 2000}}));
  }
  EXPECT_EQ(model().card.saves.size(), 5u);
}

// A Game Shark(tm) header is recognised by content, not name, and dropped; a file that begins like
// one but cannot hold its header, or that is over the limit, is refused before anything is sent;
// a file shorter than the magic is sent whole, and the card has no use for it, nor for a second
// file of a name it holds.
TEST_F(CardTransferTest, WhatIsSentOfAFile) {
  constexpr size_t kLimit = 19'910'656;
  const std::vector<uint8_t> gci = NewGci(8192, "shark");
  std::vector<uint8_t> gcs(272, 0x77), stub(271, 0);
  std::memcpy(gcs.data(), "GCSAVE", 6);
  std::memcpy(stub.data(), "GCSAVE", 6);
  gcs.insert(gcs.end(), gci.begin(), gci.end());
  // A save the card holds: the padding byte after the maker code is no part of a file's identity.
  std::vector<uint8_t> again = GciOf(sim::CardModel().saves[0]);
  again[6] = 0x00;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<uint8_t> sent;
    std::string refusal = "";  // empty: uploaded as `sent`
  } rows[] = {
      {"save.gci", gcs, gci},
      {"plain.gcs", gci, gci},
      {"at-limit.gci", NewGci(kLimit - 64, "at limit"), NewGci(kLimit - 64, "at limit")},
      {"over.gci", NewGci(kLimit - 63), {}, "Error: File too big - Limit is 19910656 bytes"},
      {"stub.gcs", stub, {}, "Error: Game Shark(tm) save file is shorter than its 272 byte header"},
      {"tiny.gci", Bytes({'G', 'C', 'S'}), Bytes({'G', 'C', 'S'}), "Card Create Error"},
      {"empty.gci", {}, {}, "Card Create Error"},
      {"again.gci", again, again, "This filename already exists"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ui().Clear();
    Sent();
    model().card = sim::CardModel();
    model().card.capacityBlocks = 4000;
    EXPECT_EQ(Upload(row.file, row.name), row.refusal.empty() ? 1 : 0);
    EXPECT_EQ(model().card.lastUploadLength, row.sent.size());
    EXPECT_TRUE(testing::BarEmpty(ui()));
    if (row.refusal.empty()) {
      EXPECT_EQ(LastSave(), row.sent);
    } else {
      EXPECT_EQ(OnlyMessage().text, row.refusal);
      EXPECT_EQ(model().card.saves.size(), 3u);
      EXPECT_EQ(Sent().empty(), OnlyMessage().caption == "File Error");
    }
  }
}

// The bound on attempts is the packet upload's own test; the time-outs come back as after a
// success.
TEST_F(CardTransferTest, RefusedPacketsAreSentAgain) {
  const std::vector<uint8_t> gci = NewGci(3 * kPacket);
  model().card.refusedPacket = 1;
  model().card.refusedPacketTimes = 3;
  ASSERT_EQ(Upload(gci), 1);
  EXPECT_EQ(LastSave(), gci);
  EXPECT_EQ(Sent().size(), 1 + 4 + gci.size() + 3 * kPacket);
}

TEST_F(CardTransferTest, ARefusedCommandTouchesNoTimeouts) {
  faults().WrongNextReplies(0x00);
  EXPECT_EQ(Upload(NewGci(100)), 0);
  EXPECT_EQ(OnlyMessage(), Box(kMsgReadAcknowledgement, "USB Error"));
  EXPECT_TRUE(adapter().TakeTimeoutHistory().empty());
}

}  // namespace
}  // namespace zemlo
