// Disc and NAND streams that must stay in step with the console: a late packet is waited for,
// not requested twice; bytes after the last part fail the run instead of passing as success; a
// packet that never arrives whole ends the run after the attempt bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "extract/nand_dumper.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "tests/extract/extract_fixture.h"

namespace zemlo::testing {
namespace {

using StreamStepTest = ExtractFixture;

TEST_F(StreamStepTest, LatePacketBytesAfterTheLastPartAndTheAttemptBound) {
  const std::vector<DiscKind> kinds = SmallDiscs(4, 1, 1);
  model().extract.nandPages = 4;
  const struct Run {
    const char* name;
    std::function<ExtractOutcome()> run;
    std::vector<uint8_t> expected;
    const char* waitingLine;
    RecordedMessage outOfStep;
    std::vector<std::string> listAfterFailure;
  } runs[] = {
      {"disc",
       [&] { return ExtractDisc(0, kinds); },
       sim::GeneratedDiscBytes(sim::DiscType::GameCube, kinds[0].imageSize(), 0,
                               kinds[0].imageSize()),
       "Console still reading Packet 2",
       Box(kMsgStreamOutOfStep, "DVD Error"),
       {}},
      {"nand",
       [] { return DumpNand(1, 4); },
       NandBytes(4, 0x840),
       "Console still reading Page 2",
       Box(kMsgNandOutOfStep, "NAND Error"),
       {"Selected NAND (2112 Page Mode)"}},
  };
  // A fresh connection and dialog for the next run; returns the file it writes.
  const auto begin = [this](const Run& run, const char* what) {
    Reconnect();
    model().extract.streamsStopped = 0;
    return SaveTo(std::string(run.name) + what);
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    std::string path = begin(run, "-late.bin");
    faults().DelayNextPackets(1, 2400, 2);  // the third packet, past the 2,000 ms read time-out
    EXPECT_EQ(run.run(), ExtractOutcome::Finished);
    EXPECT_EQ(ReadFileBytes(path), run.expected);
    const std::vector<std::string> lines = ui().insertedLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), run.waitingLine), 1);
    EXPECT_EQ(ui().InsertPosition(run.waitingLine), 1);  // below the selection line
    EXPECT_EQ(std::ranges::count(Sent(), RETRY_BLOCK), 0);

    begin(run, "-extra.bin");
    model().extract.bytesAfterStream = 61444;
    EXPECT_EQ(run.run(), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage(), run.outOfStep);
    EXPECT_TRUE(BarEmpty(ui()));
    EXPECT_EQ(Sent().back(), CMD_STOP);
    model().extract.bytesAfterStream = 0;

    path = begin(run, "-bound.bin");
    faults().ShortenNextPackets(static_cast<int>(kMaxAttemptsPerPacket - 1), 100);
    EXPECT_EQ(run.run(), ExtractOutcome::Finished);
    EXPECT_EQ(ReadFileBytes(path), run.expected);

    begin(run, "-bound.bin");
    faults().ShortenNextPackets(static_cast<int>(kMaxAttemptsPerPacket), 100);
    EXPECT_EQ(run.run(), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage(), Box(kMsgTooManyAttempts, kCaptionUsbError));
    EXPECT_EQ(ui().list(), run.listAfterFailure);
    EXPECT_TRUE(BarEmpty(ui()));
    // The console is told to leave its stream instead of one more request.
    const std::vector<uint8_t> sent = Sent();
    EXPECT_EQ(std::ranges::count(sent, RETRY_BLOCK), long{kMaxAttemptsPerPacket} - 1);
    EXPECT_EQ(sent.back(), CMD_STOP);
    EXPECT_EQ(model().extract.streamsStopped, 1u);
  }
}

}  // namespace
}  // namespace zemlo::testing
