#include <gtest/gtest.h>

#include <functional>

#include "debugger/memory_view.h"
#include "disasm/asm_line.h"
#include "link/bytes.h"
#include "protocol/messages.h"
#include "tests/memory/message_print.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using testing::Bytes;
using testing::RecordedMessage;

class MemoryViewTest : public testing::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_memoryView = MemoryView{};
  }
  // The address of the page the console was asked for last.
  uint32_t LastRead() {
    const auto& reads = model().uploads.memoryReads;
    return reads.empty() ? 0xDEADDEADu : reads.back();
  }
  std::string FirstLine() {
    const auto list = ui().list();
    return list.empty() ? "" : list.front();
  }
};

TEST_F(MemoryViewTest, FirstPageDownShowsTheAssemblerViewAfterTheDefaultAddress) {
  ASSERT_EQ(OnPageDown(), 1);
  EXPECT_EQ(Sent(), Bytes({0x31, 0x80, 0x00, 0x31, 0x64}));
  const auto list = ui().list();
  ASSERT_EQ(list.size(), 25u);
  const auto word = [&](uint32_t offset) { return ReadBE32(&model().memory[0x3164 + offset]); };
  EXPECT_EQ(list.front(), asm_line(0x80003164, word(0)));
  EXPECT_EQ(list.back(), asm_line(0x800031C4, word(96)));
}

TEST_F(MemoryViewTest, HexPagesStepBy200AndAssemblerPagesBy100) {
  ASSERT_EQ(OnHexPressed("80003100"), 1);
  const auto list = ui().list();
  ASSERT_EQ(list.size(), 25u);
  EXPECT_EQ(list.front(), FormatHexLine(0x80003100, &model().memory[0x3100]));
  EXPECT_EQ(list.back().substr(0, 10), "0x800031C0");
  OnPageDown();
  EXPECT_EQ(LastRead(), 0x800031C8u);

  OnAsmPressed("80003100");
  EXPECT_EQ(ui().list().back().substr(0, 10), "0x80003160");
  OnPageUp();
  EXPECT_EQ(LastRead(), 0x8000309Cu);
  EXPECT_EQ(FirstLine().substr(0, 10), "0x8000309C");
}

TEST_F(MemoryViewTest, PagingWrapsAroundZero) {
  OnHexPressed("00000000");
  OnPageUp();
  EXPECT_EQ(LastRead(), 0xFFFFFF38u);
  EXPECT_EQ(FirstLine().substr(0, 10), "0xFFFFFF38");
}

TEST_F(MemoryViewTest, ShortGotoTextIsRefusedButItsAddressIsKept) {
  OnHexPressed("80003100");
  Sent();
  ui().Clear();
  EXPECT_EQ(OnHexPressed("8000310"), 0);
  EXPECT_EQ(OnlyMessage(), (RecordedMessage{kMsgMemoryAddressSize, kCaptionRangeError,
                                            MessageIcon::Error, MessageOwner::None}));
  EXPECT_TRUE(Sent().empty());
  EXPECT_TRUE(ui().insertedLines().empty());  // the old page stays
  EXPECT_EQ(g_memoryView.windowAddress, 0x08000310u);
  OnPageDown();
  EXPECT_EQ(LastRead(), 0x080003D8u);
}

TEST_F(MemoryViewTest, GotoTextWithoutNumberKeepsThePageAddress) {
  OnAsmPressed("zzzzzzzz");  // nothing parsed yet: the page at 0
  EXPECT_EQ(LastRead(), 0u);
  OnHexPressed("80004000");
  OnHexPressed("zzzzzzzz");
  EXPECT_EQ(LastRead(), 0x80004000u);
}

TEST_F(MemoryViewTest, AssemblerLineUsesTheBigEndianWord) {
  const uint8_t li[] = {0x38, 0x60, 0x00, 0x01};
  std::copy(std::begin(li), std::end(li), model().memory.begin() + 0x3100);
  OnAsmPressed("80003100");
  EXPECT_EQ(FirstLine(), asm_line(0x80003100, 0x38600001));
  EXPECT_EQ(FirstLine().substr(0, 24), "0x80003100  0x38600001  ");
}

TEST_F(MemoryViewTest, FailuresKeepTheListAndNameTheStep) {
  struct Row {
    const char* name;
    std::function<void()> arm;
    RecordedMessage message;
  };
  const std::vector<Row> rows{
      {"not connected",
       [this] { Disconnect(); },
       {kMsgNotConnected, kCaptionError, MessageIcon::Information, MessageOwner::Dialog}},
      {"command short",
       [this] { faults().ShortenNextWrites(1); },
       {kMsgSendCommand, kCaptionUsbError, MessageIcon::Error, MessageOwner::None}},
      {"address short",
       [this] { faults().ShortenNextWrites(1, 1); },
       {kMsgSendMemoryAddress, kCaptionUsbError, MessageIcon::Error, MessageOwner::None}},
      {"page short",
       [this] { faults().ShortenNextPackets(1, 199); },
       {kMsgReceivePacket, kCaptionUsbError, MessageIcon::Error, MessageOwner::None}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    ASSERT_EQ(OnHexPressed("80003100"), 1);
    ui().Clear();
    row.arm();
    EXPECT_EQ(OnPageDown(), 0);
    EXPECT_EQ(OnlyMessage(), row.message);
    EXPECT_TRUE(ui().insertedLines().empty());
    EXPECT_EQ(g_memoryView.pageAddress, 0x800031C8u);  // the new address stays in force
  }
}

}  // namespace
}  // namespace zemlo
