// The ftdi back end on the modelled FT232R under the real libftdi1: finding the adapter among
// other FTDI devices, the chip settings it leaves, what a failed connection tells the user, D2XX
// read and write semantics where libftdi1's own calls differ from the vendor's driver, and whole
// operations: a memory dump, a disc extraction, and one stopped midway.
#include <libusb.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "debugger/memory_ops.h"
#include "extract/disc_extractor.h"
#include "extract/worker.h"
#include "link/driver_auto.h"
#include "link/driver_d2xx.h"
#include "link/driver_ftdi.h"
#include "link/driver_ftdi_finder.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/console_controls.h"
#include "sim/disc_source.h"
#include "tests/ftdi_chip/usb_bus.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

constexpr uint8_t kPageRequest[5] = {CMD_READ_MEMORY, 0x80, 0x00, 0x00, 0x00};

// The modelled bus behind the real libftdi1 and the ftdi driver installed.
class FtdiChipTest : public LinkFixture {
 protected:
  void SetUp() override {
    usbdouble::ClearBus();
    LinkFixture::SetUp();
    InstallDriver(MakeFtdiDriver());
    std::filesystem::create_directories(TempPath("usb/001"));
    SetUsbDeviceNodeRoot(TempPath("usb"));
  }
  void TearDown() override {
    LinkFixture::TearDown();
    usbdouble::ClearBus();
    chip_.reset();
    EXPECT_EQ(usbdouble::OpenUsbHandles(), 0);
  }

  usbdouble::Chip& PlugAdapter() {
    chip_ = usbdouble::Plug({.withChip = true});
    return *chip_;
  }
  // The first device's node.
  std::string Node() { return TempPath("usb/001/002"); }
  // The adapter, its console with a five-packet GameCube disc.
  std::vector<DiscKind> PlugDiscAdapter(uint64_t feedRate) {
    PlugAdapter().SetFeedRate(feedRate);
    std::vector<DiscKind> kinds(DiscKinds().begin(), DiscKinds().end());
    kinds[0].fullPackets = chip_->model().extract.gamecube.fullPackets = 5;
    return kinds;
  }

  std::shared_ptr<usbdouble::Chip> chip_;
};

// The adapter is found behind other FTDI devices that cannot be read or are in use, and is left
// without what a previous program set; when it cannot be opened, the detail says why.
TEST_F(FtdiChipTest, ConnectionFindsTheAdapterOrSaysWhyNot) {
  const struct {
    const char* name;
    std::vector<usbdouble::DeviceSpec> devices;
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
      {"in use",
       {{.claimedElsewhere = true, .withChip = true}},
       {"The adapter at {Node} is in use by another program"}},
      {"kernel driver stays",
       {{.kernelDriver = true, .kernelDriverStays = true, .withChip = true}},
       {"The kernel driver ftdi_sio holds the adapter at {Node} and could not be detached"}},
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
    for (const auto& spec : c.devices) adapter = usbdouble::Plug(spec);
    std::ofstream(Node()).put('\n');
    ::chmod(Node().c_str(), 0664);
    const bool connects = c.detailParts.empty();
    ASSERT_EQ(Connect(), connects ? 1 : 0);
    EXPECT_EQ(usbdouble::OpenUsbHandles(), connects ? 1 : 0);
    if (connects) {
      EXPECT_TRUE(ui().messages().empty());
      EXPECT_EQ(adapter->settings(),
                (usbdouble::ChipSettings{.latencyMs = 1, .flowControl = 0, .bitMode = 0}));
      continue;
    }
    const RecordedMessage message = OnlyMessage();
    EXPECT_EQ(message.text, "Error: Couldn't connect to USB Zemlo. Please check connection");
    EXPECT_EQ(message.caption, "USB ERROR");
    for (std::string part : c.detailParts) {
      if (auto at = part.find("{Node}"); at != std::string::npos) part.replace(at, 6, Node());
      EXPECT_NE(message.detail.find(part), std::string::npos) << message.detail;
    }
  }
}

// A vendor library that is missing leaves the adapter to libftdi1 (when neither opens it, the
// detail has both reasons), whose read returns short at its time-out, as the vendor's does,
// however the bytes trickle in; the rest stays for the next read.
TEST_F(FtdiChipTest, AutoFallsBackToLibftdiWhoseTricklingReadReturnsShortAtTheTimeout) {
  InstallDriver(MakeAutoDriver(MakeD2xxDriver("/nonexistent/libftd2xx.so"), MakeFtdiDriver()));
  EXPECT_EQ(Connect(), 0);
  const std::string detail = ui().messages().at(0).detail;
  EXPECT_NE(detail.find(
                "The vendor's D2XX library could not be loaded (tried /nonexistent/libftd2xx.so)"),
            std::string::npos)
      << detail;
  EXPECT_NE(detail.find("\nNo FTDI device is connected"), std::string::npos) << detail;

  PlugAdapter().SetFeedRate(70);
  ASSERT_EQ(Connect(), 1);
  ASSERT_EQ(WriteExact(kPageRequest, 5), TRANSFER_COMPLETE);
  uint8_t page[200];
  EXPECT_EQ(ReadExact(page, 200), TRANSFER_SHORT);
  const uint32_t first = g_bytesRead;
  EXPECT_GT(first, 100u);
  EXPECT_LT(first, 170u);
  chip_->SetFeedRate(0);
  EXPECT_EQ(ReadExact(page + first, 200 - first), TRANSFER_COMPLETE);
  const auto& memory = chip_->model().memory;
  EXPECT_EQ(std::vector<uint8_t>(page, page + 200),
            std::vector<uint8_t>(memory.begin(), memory.begin() + 200));
}

// A write time-out moves fewer bytes and is the operation's to report, as with the vendor's
// driver; a device that is gone is the fatal path.
TEST_F(FtdiChipTest, WriteTimeoutIsTheOperationsToReportUnplugIsFatal) {
  PlugAdapter();
  ASSERT_EQ(Connect(), 1);
  chip_->SetDraining(false);
  // The filler has room in the chip however slowly the machine lets it get there; only the
  // poke's address, which has none, is to time out.
  SetLinkTimeouts(300, 60'000);
  const std::vector<uint8_t> filler(usbdouble::Chip::kRxCapacity - 1, 0);
  ASSERT_EQ(WriteExact(filler.data(), static_cast<uint32_t>(filler.size())), TRANSFER_COMPLETE);
  SetLinkTimeouts(300, 300);
  EXPECT_EQ(PokeMemory(8, 0x80003100, 8, 0x12345678), 0);
  EXPECT_EQ(OnlyMessage().text, kMsgPokeSendAddress);
  EXPECT_EQ(ui().quitRequests(), 0);
  EXPECT_EQ(g_connected, 1);

  Disconnect();
  ASSERT_EQ(Connect(), 1);
  ui().Clear();
  usbdouble::Unplug(chip_);
  uint8_t byte = 0;
  EXPECT_EQ(ReadExact(&byte, 1), TRANSFER_FAILED);
  EXPECT_EQ(ui().messages().at(0).text, "Error: Fatal USB Read Error. Exiting.");
  EXPECT_EQ(g_connected, 0);
}

// The console's memory and disc, byte for byte, as over the TCP path. The dump streams steadily
// below 16 KB/s: libftdi1's read drops what a timed-out USB transfer delivered, and such a stream
// never fills its 16 KiB request within its one-second transfer time-out.
TEST_F(FtdiChipTest, DumpAndExtractionGiveTheConsolesBytes) {
  const std::vector<DiscKind> kinds = PlugDiscAdapter(8000);
  g_stopRequested = 0;
  ASSERT_EQ(Connect(), 1);
  EXPECT_EQ(DumpMemoryToPath(TempPath("dump"), 0x80000000, 0x80000000 + kDumpPacketSize), 1);
  chip_->SetFeedRate(0);
  ui().SetSaveFile(TempPath("disc"));
  EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Finished);
  const auto& memory = chip_->model().memory;
  EXPECT_EQ(ReadFileBytes(TempPath("dump")),
            std::vector<uint8_t>(memory.begin(), memory.begin() + kDumpPacketSize));
  EXPECT_EQ(ReadFileBytes(TempPath("disc")),
            sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                                    static_cast<uint32_t>(kinds[0].imageSize())));
}

TEST_F(FtdiChipTest, StoppedExtractionKeepsTheAcceptedPackets) {
  const std::vector<DiscKind> kinds = PlugDiscAdapter(20 * kDiscPacketSize);
  ASSERT_EQ(Connect(), 1);
  const std::string path = TempPath("stopped.iso");
  ui().SetSaveFile(path);
  ASSERT_EQ(StartWorker([&] { return ExtractDisc(0, kinds); }), WorkerStart::Started);
  // Until the first packet is accepted (reading the file could chase the stream to its end).
  const auto accepted = [&] {
    return std::ranges::count(ui().progress(), ProgressEvent::Advance, &ProgressEvent::kind);
  };
  for (int i = 0; i < 1000 && accepted() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  PurgeLink();
  EXPECT_EQ(StopExtraction(), 1);
  EXPECT_EQ(WaitForWorker(), ExtractOutcome::Stopped);
  const std::vector<uint8_t> kept = ReadFileBytes(path);
  EXPECT_GE(kept.size(), kDiscPacketData);
  EXPECT_LT(kept.size(), kinds[0].imageSize());
  EXPECT_EQ(kept, sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                                          static_cast<uint32_t>(kept.size())));
  EXPECT_EQ(ui().messages().at(0).text, "DVD Extract operation stopped");
}

}  // namespace
}  // namespace zemlo::testing
