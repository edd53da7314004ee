#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "debugger/memory_view.h"
#include "protocol/messages.h"
#include "tests/support/sim_fixture.h"

namespace zemlo {
namespace {

using namespace zemlo::testing;

class MemoryViewTest : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_memoryView = MemoryView{};
  }
};

// Each row: button presses from a fresh start, the page the console is asked for last, and the
// bytes a line of its view shows (8 hex, 4 asm).
TEST_F(MemoryViewTest, PagingAndGotoAddresses) {
  const struct {
    const char* name;
    std::function<void()> press;
    uint32_t page, lineBytes;
  } rows[] = {
      {"first Page Down", [] { OnPageDown(); }, 0x80003164, 4},
      {"hex Page Down", [] { OnHexPressed("80003100"), OnPageDown(); }, 0x800031C8, 8},
      {"asm Page Up", [] { OnAsmPressed("80003100"), OnPageUp(); }, 0x8000309C, 4},
      {"below zero", [] { OnHexPressed("00000000"), OnPageUp(); }, 0xFFFFFF38, 8},
      {"short goto kept", [] { OnHexPressed("8000310"), OnPageDown(); }, 0x080003D8, 8},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Restart();
    row.press();
    const std::vector<uint8_t> sent = Sent();
    ASSERT_GE(sent.size(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(sent.end() - 5, sent.end()), Wire(0x31, {row.page}));
    const auto list = ui().list();
    ASSERT_EQ(list.size(), 25u);
    const auto address = [](const std::string& line) { return std::stoul(line, nullptr, 16); };
    EXPECT_EQ(address(list.front()), row.page);
    EXPECT_EQ(address(list.back()), row.page + 24 * row.lineBytes);
  }
}

// A failing page leaves the list as it was and keeps the new address.
TEST_F(MemoryViewTest, FailuresKeepTheListAndNameTheStep) {
  const struct {
    std::function<void()> arm;
    RecordedMessage message;
  } rows[] = {
      {[] { OnHexPressed("8000310"); }, Box(kMsgMemoryAddressSize, kCaptionRangeError)},
      {[] { OnAsmPressed("zzzzzzzz"); }, Box(kMsgMemoryAddressSize, kCaptionRangeError)},
      {[this] { faults().ShortenNextWrites(1); }, Box(kMsgSendCommand, kCaptionUsbError)},
      {[this] { faults().ShortenNextWrites(1, 1); }, Box(kMsgSendMemoryAddress, kCaptionUsbError)},
      {[this] { faults().ShortenNextPackets(1, 199); }, Box(kMsgReceivePacket, kCaptionUsbError)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message.text);
    Restart();
    ASSERT_EQ(OnHexPressed("80003100"), 1);
    Sent();
    ui().Clear();
    row.arm();
    EXPECT_TRUE(g_memoryView.addressTextLength != 8 || OnPageDown() == 0);
    EXPECT_EQ(OnlyMessage(), row.message);
    EXPECT_TRUE(ui().insertedLines().empty());
    EXPECT_TRUE(row.message.caption != kCaptionRangeError || Sent().empty());
  }
}

}  // namespace
}  // namespace zemlo
