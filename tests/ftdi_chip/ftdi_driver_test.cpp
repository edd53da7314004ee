// The ftdi back end on the modelled FT232R: finding the adapter among other FTDI devices, the
// chip settings it leaves, what a failed connection tells the user, and D2XX read and write
// semantics where libftdi1's own calls differ from the vendor's driver.
#include <libusb.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "debugger/memory_ops.h"
#include "link/driver_auto.h"
#include "link/driver_d2xx.h"
#include "protocol/commands.h"
#include "tests/ftdi_chip/chip_fixture.h"

namespace zemlo::testing {
namespace {

using usbdouble::DeviceSpec;
using FtdiDriverTest = ChipFixture;

constexpr char kConnectText[] = "Error: Couldn't connect to USB Zemlo. Please check connection";

// The adapter is found behind other FTDI devices that cannot be read or are in use, and is left
// without what a previous program set; when it cannot be opened, the detail says why.
TEST_F(FtdiDriverTest, ConnectionFindsTheAdapterOrSaysWhyNot) {
  const struct {
    const char* name;
    std::vector<DeviceSpec> devices;
    std::vector<std::string> detailParts;  // {Node} stands for the first device's node
  } cases[] = {
      {"nothing plugged", {}, {"No FTDI device is connected"}},
      {"only other devices",
       {{.serial = "A50285BI"}, {.product = 0x6015, .serial = std::nullopt}},
       {"No adapter with serial number \"ZEMLUSB0\" found. FTDI devices seen:\n"
        "  0403:6001 at {Node} serial \"A50285BI\"\n  0403:6015 at ",
        " without a serial number"}},
      {"permission",
       {{.openError = LIBUSB_ERROR_ACCESS, .withChip = true}},
       {"Permission denied opening {Node} (owner ", ", mode 0664)",
        "udevadm control --reload-rules && sudo udevadm trigger", "plugdev"}},
      {"in use", {{.claimedElsewhere = true, .withChip = true}}, {"in use by another program"}},
      {"kernel driver stays",
       {{.kernelDriver = true, .kernelDriverStays = true, .withChip = true}},
       {"kernel driver ftdi_sio holds the adapter at {Node} and could not be detached"}},
      {"behind unreadable devices, kernel driver detached",
       {{.serial = std::nullopt},
        {.openError = LIBUSB_ERROR_ACCESS},
        {.serial = "A50285BI", .kernelDriver = true},
        {.kernelDriver = true, .withChip = true}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Disconnect();
    usbdouble::ClearBus();
    ui().Clear();
    std::shared_ptr<usbdouble::Chip> adapter;
    for (const DeviceSpec& spec : c.devices) adapter = usbdouble::Plug(spec);
    std::ofstream(Node(2)).put('\n');
    ::chmod(Node(2).c_str(), 0664);
    const bool connects = c.detailParts.empty();
    ASSERT_EQ(Connect(), connects ? 1 : 0);
    EXPECT_EQ(usbdouble::OpenUsbHandles(), connects ? 1 : 0);
    if (connects) {
      EXPECT_TRUE(ui().messages().empty());
      const usbdouble::ChipSettings settings = adapter->settings();
      EXPECT_EQ(settings.latencyMs, 1);
      EXPECT_EQ(settings.flowControl, 0);
      EXPECT_EQ(settings.bitMode, 0);
      continue;
    }
    const auto messages = ui().messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kConnectText);
    EXPECT_EQ(messages[0].caption, "USB ERROR");
    for (std::string part : c.detailParts) {
      if (auto at = part.find("{Node}"); at != std::string::npos) part.replace(at, 6, Node(2));
      EXPECT_NE(messages[0].detail.find(part), std::string::npos) << messages[0].detail;
    }
  }
}

// A vendor library that is missing leaves the adapter to libftdi1; when neither opens it, the
// detail has both reasons.
TEST_F(FtdiDriverTest, AutoFallsBackToLibftdi) {
  InstallDriver(MakeAutoDriver(MakeD2xxDriver("/nonexistent/libftd2xx.so"), MakeFtdiDriver()));
  EXPECT_EQ(Connect(), 0);
  const std::string detail = ui().messages().at(0).detail;
  EXPECT_NE(detail.find("could not be loaded (tried /nonexistent/libftd2xx.so)"), std::string::npos)
      << detail;
  EXPECT_NE(detail.find("\nNo FTDI device is connected"), std::string::npos) << detail;

  PlugAdapter();
  ASSERT_EQ(Connect(), 1);
  const uint8_t request[5] = {CMD_READ_MEMORY, 0x80, 0x00, 0x00, 0x00};
  uint8_t page[200];
  EXPECT_EQ(WriteExact(request, 5), TRANSFER_COMPLETE);
  EXPECT_EQ(ReadExact(page, 200), TRANSFER_COMPLETE);
}

// The vendor's read returns short at its time-out however the bytes trickle in; the rest stays
// for the next read.
TEST_F(FtdiDriverTest, TricklingReadReturnsShortAtTheTimeout) {
  PlugAdapter().SetFeedRate(70);
  ASSERT_EQ(Connect(), 1);
  const uint8_t request[5] = {CMD_READ_MEMORY, 0x80, 0x00, 0x00, 0x00};
  ASSERT_EQ(WriteExact(request, 5), TRANSFER_COMPLETE);
  uint8_t page[200];
  EXPECT_EQ(ReadExact(page, 200), TRANSFER_SHORT);
  const uint32_t first = g_bytesRead;
  EXPECT_GT(first, 100u);
  EXPECT_LT(first, 170u);
  chip().SetFeedRate(0);
  EXPECT_EQ(ReadExact(page + first, 200 - first), TRANSFER_COMPLETE);
  EXPECT_EQ(
      std::vector<uint8_t>(page, page + 200),
      std::vector<uint8_t>(chip().model().memory.begin(), chip().model().memory.begin() + 200));
}

// A write time-out moves fewer bytes and is the operation's to report, as with the vendor's
// driver; a device that is gone is the fatal path.
TEST_F(FtdiDriverTest, WriteTimeoutIsTheOperationsToReportUnplugIsFatal) {
  usbdouble::Chip& adapter = PlugAdapter();
  ASSERT_EQ(Connect(), 1);
  SetLinkTimeouts(300, 300);
  adapter.SetDraining(false);
  const std::vector<uint8_t> filler(usbdouble::Chip::kRxCapacity - 1, 0);
  ASSERT_EQ(WriteExact(filler.data(), static_cast<uint32_t>(filler.size())), TRANSFER_COMPLETE);
  EXPECT_EQ(PokeMemory(8, 0x80003100, 8, 0x12345678), 0);
  ASSERT_EQ(ui().messages().size(), 1u);
  EXPECT_EQ(ui().messages()[0].text, kMsgPokeSendAddress);
  EXPECT_EQ(ui().quitRequests(), 0);
  EXPECT_EQ(g_connected, 1);

  Disconnect();
  ASSERT_EQ(Connect(), 1);
  ui().Clear();
  usbdouble::Unplug(chipHandle());
  uint8_t byte = 0;
  EXPECT_EQ(ReadExact(&byte, 1), TRANSFER_FAILED);
  EXPECT_EQ(ui().messages().at(0).text, "Error: Fatal USB Read Error. Exiting.");
  EXPECT_EQ(g_connected, 0);
}

}  // namespace
}  // namespace zemlo::testing
