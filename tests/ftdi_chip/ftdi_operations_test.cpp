// Whole operations over libftdi1 and the modelled chip give the same files as over the TCP
// back end: a memory dump, a disc extraction, and a disc extraction stopped midway.
#include <thread>

#include "debugger/memory_ops.h"
#include "extract/disc_extractor.h"
#include "extract/worker.h"
#include "link/driver_tcp.h"
#include "protocol/console_controls.h"
#include "sim/disc_source.h"
#include "sim/tcp_server.h"
#include "tests/ftdi_chip/chip_fixture.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

constexpr uint32_t kPackets = 5;

class FtdiOperationsTest : public ChipFixture {
 protected:
  void SetUp() override {
    ChipFixture::SetUp();
    g_keepExtracting = 0;
    g_stopRequested = 0;
    g_workerBusy = 0;
    PlugAdapter();
    kinds_.assign(DiscKinds().begin(), DiscKinds().end());
    kinds_[0].fullPackets = chip().model().extract.gamecube.fullPackets = kPackets;
  }

  // Runs `operation` on the simulated console over TCP and returns the file it wrote.
  template <typename Operation>
  std::vector<uint8_t> OverTcp(const std::string& name, Operation operation) {
    sim::Console console;
    console.model().extract.gamecube.fullPackets = kPackets;
    sim::TcpConsoleServer server;
    std::string error;
    EXPECT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
    std::thread serving([&] { server.Run(console); });
    InstallDriver(MakeTcpDriver("127.0.0.1", server.port()));
    EXPECT_EQ(Connect(), 1);
    operation(TempPath("tcp-" + name));
    Disconnect();
    server.Stop();
    serving.join();
    InstallDriver(MakeFtdiDriver());
    return ReadFileBytes(TempPath("tcp-" + name));
  }

  std::vector<DiscKind> kinds_;
};

TEST_F(FtdiOperationsTest, DumpAndExtractionMatchTheTcpPath) {
  const auto dump = [](const std::string& path) {
    EXPECT_EQ(DumpMemoryToPath(path, 0x80000000, 0x80000000 + 2 * kDumpPacketSize + 100), 1);
  };
  const auto extract = [this](const std::string& path) {
    ui().SetSaveFile(path);
    EXPECT_EQ(ExtractDisc(0, kinds_), ExtractOutcome::Finished);
  };
  ASSERT_EQ(Connect(), 1);
  dump(TempPath("dump"));
  extract(TempPath("disc"));
  Disconnect();
  EXPECT_EQ(ReadFileBytes(TempPath("dump")), OverTcp("dump", dump));
  EXPECT_EQ(ReadFileBytes(TempPath("disc")), OverTcp("disc", extract));
  EXPECT_EQ(ReadFileBytes(TempPath("disc")).size(), kinds_[0].imageSize());
}

TEST_F(FtdiOperationsTest, StoppedExtractionKeepsTheAcceptedPackets) {
  chip().SetFeedRate(20 * kDiscPacketSize);
  ASSERT_EQ(Connect(), 1);
  const std::string path = TempPath("stopped.iso");
  ui().SetSaveFile(path);
  ASSERT_EQ(StartWorker([&] { return ExtractDisc(0, kinds_); }), WorkerStart::Started);
  for (int i = 0; i < 1000 && ReadFileBytes(path).size() < kDiscPacketData; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  PurgeLink();
  EXPECT_EQ(StopExtraction(), 1);
  EXPECT_EQ(WaitForWorker(), ExtractOutcome::Stopped);
  const std::vector<uint8_t> kept = ReadFileBytes(path);
  EXPECT_GE(kept.size(), kDiscPacketData);
  EXPECT_LT(kept.size(), kinds_[0].imageSize());
  EXPECT_EQ(kept, sim::GeneratedDiscBytes(sim::DiscType::GameCube, 0,
                                          static_cast<uint32_t>(kept.size())));
  EXPECT_EQ(ui().messages().at(0).text, "DVD Extract operation stopped");
}

}  // namespace
}  // namespace zemlo::testing
