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

class StreamStepTest : public ExtractFixture {
 protected:
  struct Run {
    const char* name;
    std::function<ExtractOutcome()> run;
    std::function<std::vector<uint8_t>()> expected;
    const char* waitingLine;
    const char* outOfStepText;
    std::vector<std::string> listAfterFailure;
  };

  std::vector<Run> Runs() {
    kinds_ = SmallDiscs(4, 1, 1);
    model().extract.nandPages = 4;
    return {
        {"disc",
         [this] { return ExtractDisc(0, kinds_); },
         [this] {
           return sim::GeneratedDiscBytes(sim::DiscType::GameCube, 0,
                                          static_cast<uint32_t>(kinds_[0].imageSize()));
         },
         "Console still reading Packet 2",
         kMsgStreamOutOfStep,
         {}},
        {"nand",
         [] { return DumpNand(1, 4); },
         [] { return NandBytes(4, 0x840); },
         "Console still reading Page 2",
         kMsgNandOutOfStep,
         {"Selected NAND (2112 Page Mode)"}},
    };
  }

  // A fresh connection and dialog for the next run; returns the file it writes.
  std::string Begin(const Run& run, const char* what) {
    Reconnect();
    model().extract.streamsStopped = 0;
    model().extract.resendsServed = 0;
    return SaveTo(std::string(run.name) + what);
  }

  std::vector<DiscKind> kinds_;
};

TEST_F(StreamStepTest, LatePacketBytesAfterTheLastPartAndTheAttemptBound) {
  for (const Run& run : Runs()) {
    SCOPED_TRACE(run.name);
    std::string path = Begin(run, "-late.bin");
    faults().DelayNextPackets(1, 2400, 2);  // the third packet, past the 2,000 ms read time-out
    EXPECT_EQ(run.run(), ExtractOutcome::Finished);
    EXPECT_EQ(ReadFileBytes(path), run.expected());
    const std::vector<std::string> lines = ui().insertedLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), run.waitingLine), 1);
    EXPECT_EQ(ui().InsertPosition(run.waitingLine), 1);  // below the selection line
    EXPECT_EQ(Count(Sent(), RETRY_BLOCK), 0u);
    EXPECT_EQ(model().extract.resendsServed, 0u);

    Begin(run, "-extra.bin");
    model().extract.bytesAfterStream = 61444;
    EXPECT_EQ(run.run(), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage().text, run.outOfStepText);
    EXPECT_EQ(Sent().back(), CMD_STOP);
    model().extract.bytesAfterStream = 0;

    path = Begin(run, "-bound.bin");
    faults().ShortenNextPackets(static_cast<int>(kMaxAttemptsPerPacket - 1), 100);
    EXPECT_EQ(run.run(), ExtractOutcome::Finished);
    EXPECT_EQ(ReadFileBytes(path), run.expected());

    Begin(run, "-bound.bin");
    faults().ShortenNextPackets(static_cast<int>(kMaxAttemptsPerPacket), 100);
    EXPECT_EQ(run.run(), ExtractOutcome::Failed);
    EXPECT_EQ(OnlyMessage(), Box(kMsgTooManyAttempts, kCaptionUsbError));
    EXPECT_EQ(ui().list(), run.listAfterFailure);
    // The console is told to leave its stream instead of one more request.
    const std::vector<uint8_t> sent = Sent();
    EXPECT_EQ(Count(sent, RETRY_BLOCK), kMaxAttemptsPerPacket - 1);
    EXPECT_EQ(sent.back(), CMD_STOP);
    EXPECT_EQ(model().extract.streamsStopped, 1u);
  }
}

}  // namespace
}  // namespace zemlo::testing
