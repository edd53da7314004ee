// Whole operations over libftdi1 and the modelled chip: a memory dump, a disc extraction, and a
// disc extraction stopped midway.
#include <thread>

#include "debugger/memory_ops.h"
#include "extract/disc_extractor.h"
#include "extract/worker.h"
#include "protocol/console_controls.h"
#include "sim/disc_source.h"
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

  std::vector<DiscKind> kinds_;
};

// The console's memory and disc, byte for byte, as over the TCP path. The dump streams steadily
// below 16 KB/s: libftdi1's read drops what a timed-out USB transfer delivered, and such a stream
// never fills its 16 KiB request within its one-second transfer time-out.
TEST_F(FtdiOperationsTest, DumpAndExtractionGiveTheConsolesBytes) {
  chip().SetFeedRate(8000);
  ASSERT_EQ(Connect(), 1);
  EXPECT_EQ(DumpMemoryToPath(TempPath("dump"), 0x80000000, 0x80000000 + kDumpPacketSize), 1);
  chip().SetFeedRate(0);
  ui().SetSaveFile(TempPath("disc"));
  EXPECT_EQ(ExtractDisc(0, kinds_), ExtractOutcome::Finished);
  const auto& memory = chip().model().memory;
  EXPECT_EQ(ReadFileBytes(TempPath("dump")),
            std::vector<uint8_t>(memory.begin(), memory.begin() + kDumpPacketSize));
  EXPECT_EQ(ReadFileBytes(TempPath("disc")),
            sim::GeneratedDiscBytes(sim::DiscType::GameCube, 0,
                                    static_cast<uint32_t>(kinds_[0].imageSize())));
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
