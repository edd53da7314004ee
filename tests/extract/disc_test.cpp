// The disc extractor and the NAND dumper run to their end on the calling thread: images, checksum
// handling, handshake and the failure exits. Stopping and the worker itself are in worker_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "extract/nand_dumper.h"
#include "extract/packet_buffer.h"
#include "link/bytes.h"
#include "link/driver_tcp.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/file_sha1.h"
#include "protocol/messages.h"
#include "sim/tcp_server.h"
#include "tests/extract/extract_fixture.h"
#include "tests/support/child_process.h"

namespace zemlo::testing {
namespace {

class DiscTest : public ExtractFixture {};

// Each disc kind and NAND page mode writes its whole file: the command byte, one acknowledgement
// per packet or page (none for a disc's final part), and the sums of the file as written.
TEST_F(DiscTest, EachKindAndPageModeWritesItsWholeFile) {
  const std::vector<DiscKind> kinds = SmallDiscs(3, 2, 4);
  model().extract.nandPages = 27;
  for (int i = 0; i < 5; ++i) {
    const bool disc = i < 3;
    const DiscKind& kind = kinds[static_cast<size_t>(std::min(i, 2))];
    const NandMode& nand = NandModes()[static_cast<size_t>(std::max(i - 3, 0))];
    const uint32_t packets = disc ? kind.fullPackets : 27;
    const std::string listLine = disc ? kind.listLine : nand.listLine;
    SCOPED_TRACE(listLine);
    ui().Clear();
    const std::string path = SaveTo(listLine + ".bin");
    g_workerBusy = 1;

    EXPECT_EQ(disc ? ExtractDisc(i, kinds) : DumpNand(i - 3, 27), ExtractOutcome::Finished);

    EXPECT_EQ(g_workerBusy, 0);
    EXPECT_EQ(ReadFileBytes(path),
              disc ? sim::GeneratedDiscBytes(static_cast<sim::DiscType>(i), kind.imageSize(), 0,
                                             kind.imageSize())
                   : NandBytes(27, nand.pageSize));
    std::vector<uint8_t> expected{disc ? kind.command : nand.command};
    expected.insert(expected.end(), packets, ACK_BLOCK);
    EXPECT_EQ(Sent(), expected);
    // The disc's handshake waits in short reads; both end with a brief look for stray bytes.
    std::vector<Timeouts> timeouts{{2000, 2000}, {250, 2000}, {2000, 2000}};
    if (disc) timeouts.insert(timeouts.begin(), {500, 2000});
    EXPECT_EQ(TimeoutHistory(), timeouts);
    const std::vector<std::string> lines = ui().insertedLines();
    EXPECT_EQ(lines[0], listLine);
    if (disc) {
      // The run's own lines, then who the disc is, the verdict and the sums, top to bottom.
      EXPECT_TRUE(ui().messages().empty());
      const std::vector<std::string> list = ui().list();
      ASSERT_EQ(list.size(), 7u);
      EXPECT_EQ(list[1], kLineDiscFinished);
      EXPECT_EQ(list[2].substr(0, 6), "Disc: ");
      EXPECT_EQ(list[4].substr(0, 7), "CRC32: ");
      EXPECT_EQ(list.back(), "SHA-1: " + FileSha1Hex(path));
      EXPECT_EQ(Advances(), packets);
      EXPECT_EQ(ui().progress().front().high, packets);
      EXPECT_EQ(ui().progress().back().high, 0u);
    } else {
      // The page lines go; the sums stay in the list and go into the closing message's detail.
      EXPECT_EQ(ui().list().size(), 3u + static_cast<size_t>(i - 3));
      EXPECT_EQ(ui().list()[2], "SHA-1: " + FileSha1Hex(path));
      EXPECT_EQ(g_keepExtracting, 0);
      const RecordedMessage done = OnlyMessage();
      EXPECT_EQ(Box(done.text, done.caption), Box(kMsgNandFinished, kCaptionDone));
      EXPECT_NE(done.detail.find("SHA-1: " + FileSha1Hex(path)), std::string::npos);
      // The pages, the sums, and the 2112-byte mode's page check.
      ASSERT_EQ(lines.size(), 28u + 3 + static_cast<size_t>(i - 3));
      EXPECT_EQ(lines[26], "Dumping Page 1a of 0x40000");
    }
  }
}

TEST_F(DiscTest, BadChecksumAndShortPacketAreRequestedAgain) {
  const std::vector<DiscKind> kinds = SmallDiscs(28, 1, 1);
  model().extract.damagedPacket = 26;
  faults().ShortenNextPackets(1, 1000);  // packet 0 arrives short
  const std::string path = SaveTo("retry.iso");

  EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Finished);

  const std::vector<std::string> lines = ui().insertedLines();
  EXPECT_EQ(std::vector(lines.begin(), lines.begin() + 5),
            (std::vector<std::string>{"Gamecube Game Selected", "checksum Mismatch Packet 0",
                                      "Disc: GZME01 Zemlo Test Disc (GameCube) (disc 1, version 0)",
                                      "checksum Mismatch Packet 1a", "Finished Extracting Game"}));
  EXPECT_EQ(ui().InsertPosition("checksum Mismatch Packet 1a"), 1);  // below the selection line
  EXPECT_EQ(ReadFileBytes(path),
            sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                                    kinds[0].imageSize()));
  const std::vector<uint8_t> sent = Sent();
  EXPECT_EQ(sent[1], RETRY_BLOCK);
  EXPECT_EQ(sent[1 + 1 + 26], RETRY_BLOCK);  // after the 26 packets before it
  EXPECT_EQ(Advances(), 28u);
  EXPECT_EQ(model().extract.resendsServed, 2u);
}

// Over TCP, where the console reads one packet ahead and writes it on the answer: the damaged one
// is asked for again and the image is still whole.
TEST_F(DiscTest, OverTcpADamagedPacketIsSentAgain) {
  const std::vector<DiscKind> kinds = SmallDiscs(40, 1, 1);
  model().extract.damagedPacket = 26;
  Disconnect();
  sim::TcpConsoleServer server;
  std::string error;
  ASSERT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
  std::thread serving([&] { server.Run(adapter().console()); });
  InstallDriver(MakeTcpDriver("127.0.0.1", server.port()));
  ASSERT_EQ(Connect(), 1);
  const std::string path = SaveTo("tcp.iso");

  EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Finished);
  Disconnect();
  server.Stop();
  serving.join();
  EXPECT_EQ(ui().InsertPosition("checksum Mismatch Packet 1a"), 1);
  EXPECT_EQ(ReadFileBytes(path),
            sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                                    kinds[0].imageSize()));
  EXPECT_EQ(model().extract.resendsServed, 1u);
  EXPECT_EQ(model().extract.packetsAccepted, 40u);
}

// A file that cannot be created; then, for both flows: no selection, the file choice cancelled
// (silent, the selection line taken away again) and the console's refusal to start.
TEST_F(DiscTest, RefusalsBeforeTheStream) {
  const struct {
    std::function<ExtractOutcome(int)> run;
    const char* selectFirst;
    const char* extension;
    RecordedMessage refused;
  } flows[] = {{[](int i) { return ExtractDisc(i); }, "Please select an Extract Method", "iso",
                Box("DVD Extract Error. Exiting", kCaptionUsbError)},
               {[](int i) { return DumpNand(i, 3); }, "Please select a Page Mode", "bin",
                Box("Couldn't Dump Nand.", kCaptionUsbError)}};
  SaveTo("no-such-folder/disc.iso");
  EXPECT_EQ(ExtractDisc(1), ExtractOutcome::Failed);
  EXPECT_EQ(OnlyMessage(), Box(kMsgFopen, kCaptionFileError));
  EXPECT_TRUE(Sent().empty());
  for (const auto& flow : flows) {
    SCOPED_TRACE(flow.extension);
    Reconnect();
    EXPECT_EQ(flow.run(-1), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage(), (RecordedMessage{flow.selectFirst, "Please Select",
                                              MessageIcon::Information, MessageOwner::Dialog}));
    EXPECT_TRUE(ui().fileRequests().empty());
    ui().Clear();
    g_keepExtracting = 1;
    ui().SetSaveFile(std::nullopt);
    EXPECT_EQ(flow.run(1), ExtractOutcome::Cancelled);
    EXPECT_TRUE(ui().messages().empty());
    EXPECT_TRUE(ui().list().empty());
    EXPECT_EQ(g_keepExtracting, 0);
    ASSERT_EQ(ui().fileRequests().size(), 1u);
    EXPECT_EQ(ui().fileRequests()[0].defaultExtension, flow.extension);
    SaveTo("refused.bin");
    faults().WrongNextReplies(0xFF);
    EXPECT_EQ(flow.run(0), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage(), flow.refused);
  }
}

// Failures in the handshake keep the selection line; those in the stream empty the dialog. The
// console is told to leave a stream it has started only when it is still sending: a packet is
// answered before it is on disk, so a failed write finds the console sending the next part.
TEST_F(DiscTest, FailuresInTheHandshakeAndTheStream) {
  const auto full = [this] { ui().SetSaveFile(FullDevice().value_or(TempPath("full"))); };
  const struct {
    uint32_t packets;
    std::function<void()> arm;
    RecordedMessage message;
    bool keepsSelection;
    std::vector<uint8_t> sentAfter = {};  // after the command
  } rows[] = {
      {0, [&] { faults().SetSilent(true); },
       Box("Error sending Extract DVD command", kCaptionUsbError), true},
      {0, [&] { model().extract.discReadyReply.reset(); }, Box(kMsgReadResponse, kCaptionUsbError),
       true},
      {0, [&] { model().extract.discReadyReply = 0xAB; },
       Box("2. Wrong reply from console. Exiting", kCaptionUsbError), true},
      {0,
       [] { FailNextPacketBuffers(1); },
       Box(kMsgAllocate, kCaptionMallocError),
       true,
       {CMD_STOP}},
      // The final part cut short: nothing written, and no acknowledgement for it.
      {0, [&] { faults().ShortenNextPackets(1, 100); }, Box(kMsgUsbTransmit, kCaptionUsbError),
       false},
      {1,
       full,
       Box("Error: Couldn't write to file", kCaptionFileError),
       false,
       {ACK_BLOCK, CMD_STOP}},
      {0, full, Box("Error: Couldn't write last packet to file", kCaptionFileError), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message.text);
    if (!FullDevice() && row.message.caption == kCaptionFileError) continue;
    Restart();
    const std::vector<DiscKind> kinds = SmallDiscs(row.packets, 1, 1);
    SaveTo("failed.iso");
    row.arm();
    g_workerBusy = 1;
    EXPECT_EQ(ExtractDisc(0, kinds), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage(), row.message);
    std::vector<uint8_t> sent{CMD_DVD_GAMECUBE};
    sent.insert(sent.end(), row.sentAfter.begin(), row.sentAfter.end());
    EXPECT_EQ(Sent(), sent);
    EXPECT_EQ(ui().list(), row.keepsSelection ? std::vector<std::string>{"Gamecube Game Selected"}
                                              : std::vector<std::string>{});
    EXPECT_TRUE(ReadFileBytes(TempPath("failed.iso")).empty());
    EXPECT_TRUE(ui().progress().empty() || ui().progress().back().high == 0u);
    EXPECT_EQ(g_workerBusy, 0);
    faults().SetSilent(false);
  }
}

}  // namespace
}  // namespace zemlo::testing
