// The extraction worker thread: start and refusal to start twice, stopping at a packet boundary,
// a driver error on the worker, and a thread that cannot be created.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "extract/nand_dumper.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

using WorkerTest = ExtractFixture;

TEST_F(WorkerTest, StopDuringTheStreamEndsAtAPacketBoundary) {
  const std::vector<DiscKind> kinds = SmallDiscs(2000, 1, 1);
  adapter().console().SetThrottle(400 * kDiscPacketSize);  // about 400 packets a second
  const std::string path = SaveTo("stopped.iso");
  std::atomic<int> doneCalls{0};
  ASSERT_EQ(StartWorker([&] { return ExtractDisc(0, kinds); },
                        [&](ExtractOutcome outcome) {
                          EXPECT_EQ(outcome, ExtractOutcome::Stopped);
                          EXPECT_EQ(g_workerBusy, 0);
                          ++doneCalls;
                        }),
            WorkerStart::Started);
  for (int i = 0; i < 1000 && Advances() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // A second start while busy is refused and changes nothing.
  EXPECT_EQ(StartNandDump(0), WorkerStart::Busy);
  EXPECT_EQ(g_stopRequested, 0);
  // The next packet is late and will arrive cut short, as if by the purge below.
  faults().DelayNextPackets(1, 300);
  faults().ShortenNextPackets(1, 1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  // What "Stop Extract" does.
  PurgeLink();
  EXPECT_EQ(StopExtraction(), 1);

  EXPECT_EQ(WaitForWorker(), ExtractOutcome::Stopped);
  EXPECT_EQ(doneCalls, 1);
  EXPECT_FALSE(WorkerRunning());
  EXPECT_EQ(g_workerBusy, 0);
  // Exactly the accepted packets, and no final part; the stop message says what was kept.
  const uint32_t accepted = Advances();
  EXPECT_EQ(OnlyMessage(),
            (RecordedMessage{"DVD Extract operation stopped", "DVD Stopped", MessageIcon::None,
                             MessageOwner::None,
                             "Kept the partial file " + path + " (" +
                                 std::to_string(accepted * kDiscPacketData) + " bytes)"}));
  EXPECT_TRUE(ui().list().empty());
  EXPECT_EQ(ui().progress().back().high, 0u);
  // The packet the stop's purge cut short is neither a mismatch nor asked for again.
  for (const std::string& line : ui().insertedLines()) EXPECT_EQ(line.find("Mismatch"), line.npos);
  const std::vector<uint8_t> sent = Sent();
  EXPECT_EQ(std::ranges::count(sent, RETRY_BLOCK), 0);
  EXPECT_EQ(std::ranges::count(sent, CMD_NAND_DUMP_2048), 0);
  EXPECT_LT(accepted, 2000u);
  EXPECT_EQ(ReadFileBytes(path),
            sim::GeneratedDiscBytes(sim::DiscType::GameCube, model().extract.gamecube.size(), 0,
                                    accepted * kDiscPacketData));
  EXPECT_EQ(model().extract.streamsCompleted, 0u);
}

// A stop with nothing running does not stop the next run; one pressed while the console was
// preparing the disc is not overridden by the stream, and ends the wait for the drive at once.
TEST_F(WorkerTest, StopOutsideTheStream) {
  const std::vector<DiscKind> kinds = SmallDiscs(2, 1, 1);
  PurgeLink();
  EXPECT_EQ(StopExtraction(), 1);
  SaveTo("after-stop.iso");
  ASSERT_EQ(StartWorker([&] { return ExtractDisc(0, kinds); }), WorkerStart::Started);
  EXPECT_EQ(WaitForWorker(), ExtractOutcome::Finished);
  EXPECT_EQ(ui().list()[1], "Finished Extracting Game");
  EXPECT_TRUE(ui().messages().empty());
  EXPECT_EQ(WaitForWorker(), std::nullopt);  // nothing started since

  const std::string path = SaveTo("early.iso");
  g_stopRequested = 1;
  EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Stopped);
  EXPECT_EQ(g_keepExtracting, 0);
  EXPECT_TRUE(ReadFileBytes(path).empty());
  EXPECT_FALSE(std::filesystem::exists(path + ".txt"));  // a stopped run leaves no report
  EXPECT_EQ(OnlyMessage().text, "DVD Extract operation stopped");

  ui().Clear();
  const std::string spinning = SaveTo("spin-up.iso");
  model().extract.discSpinUpMs = 60'000;
  ASSERT_EQ(StartWorker([&] { return ExtractDisc(0, kinds); }), WorkerStart::Started);
  PurgeLink();
  EXPECT_EQ(StopExtraction(), 1);
  EXPECT_EQ(WaitForWorker(), ExtractOutcome::Stopped);
  const RecordedMessage stopped = OnlyMessage();
  EXPECT_EQ(stopped.text, "DVD Extract operation stopped");
  EXPECT_EQ(stopped.detail, "Kept the partial file " + spinning + " (0 bytes)");
}

// A driver error in either stream: the link's fatal box, the flow's own, and the application quits.
TEST_F(WorkerTest, DriverErrorOnTheWorkerEndsTheApplication) {
  const std::vector<DiscKind> kinds = SmallDiscs(3, 1, 1);
  const struct {
    std::function<ExtractOutcome()> run;
    int passingReads;  // the replies and the first packet or page
    RecordedMessage own;
    bool listEmptied;
  } flows[] = {
      {[&] { return ExtractDisc(0, kinds); }, 3, Box("Fatal Error. Exiting", "DVD Error"), true},
      // The console is still sending the page when the link goes.
      {[this] {
         faults().HoldNextPacket();
         return DumpNand(0, 3);
       },
       1, Box("NAND Fatal Error. Exiting", "NAND Error"), false}};
  for (const auto& flow : flows) {
    SCOPED_TRACE(flow.own.caption);
    Reconnect();
    SaveTo("fatal.bin");
    faults().FailNextReads(1, flow.passingReads);
    ASSERT_EQ(StartWorker(flow.run), WorkerStart::Started);
    EXPECT_EQ(WaitForWorker(), ExtractOutcome::Failed);
    EXPECT_EQ(ui().messages(),
              (std::vector<RecordedMessage>{
                  Box("Error: Fatal USB Read Error. Exiting.", "TRANSMIT ERROR"), flow.own}));
    EXPECT_EQ(ui().quitRequests(), 1);
    EXPECT_EQ(g_connected, 0);
    EXPECT_EQ(g_workerBusy, 0);
    EXPECT_EQ(ui().list().empty(), flow.listEmptied);
    EXPECT_EQ(model().extract.streamsCompleted, 0u);  // the console left its stream
  }
}

TEST_F(WorkerTest, ThreadThatCannotBeCreated) {
  FailNextWorkerThreads(1);
  EXPECT_EQ(StartDiscExtraction(0), WorkerStart::Failed);
  EXPECT_EQ(g_workerBusy, 0);
  EXPECT_FALSE(WorkerRunning());
  EXPECT_EQ(OnlyMessage(), Box(kMsgWorkerStart, kCaptionError));
  EXPECT_TRUE(Sent().empty());
  // The next start works again.
  g_connected = 0;
  ASSERT_EQ(StartDiscExtraction(0), WorkerStart::Started);
  EXPECT_EQ(WaitForWorker(), ExtractOutcome::Failed);
  EXPECT_EQ(ui().messages().back().text, kMsgNotConnected);
}

}  // namespace
}  // namespace zemlo::testing
