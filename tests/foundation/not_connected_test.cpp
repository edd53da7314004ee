// Before Connect, every operation that talks to the console says so and sends nothing.
#include <gtest/gtest.h>

#include <functional>

#include "debugger/breakpoints.h"
#include "debugger/hook_launcher.h"
#include "debugger/memory_ops.h"
#include "debugger/memory_view.h"
#include "debugger/screen_grab.h"
#include "extract/card_browser.h"
#include "extract/card_transfer.h"
#include "extract/disc_extractor.h"
#include "extract/lowlevel_dump.h"
#include "extract/nand_dumper.h"
#include "protocol/console_controls.h"
#include "protocol/firmware.h"
#include "protocol/messages.h"
#include "protocol/upload.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {
namespace {

using NotConnectedTest = SimFixture;

// Operations that share their guard with another (unfreeze with freeze, the asm page with the hex
// page) are left to that one.
TEST_F(NotConnectedTest, EveryOperationRefusesWithTheSameMessage) {
  constexpr auto kBar = MessageOwner::None;
  constexpr auto kDialog = MessageOwner::Dialog;
  const struct {
    const char* name;
    MessageOwner owner;
    std::function<bool()> reportsSuccess;
  } operations[] = {
      {"freeze", kBar, [] { return FreezeConsole() != 0; }},
      {"stop", kDialog, [] { return StopExtraction() != 0; }},
      {"firmware", kBar, [] { return FlashFirmware() != 0; }},
      {"upload", kBar, [] { return UploadFile(UploadKind::Dol) != 0; }},
      {"data breakpoint", kDialog, [] { return SetDataBreakpoint("80001234", true, true) != 0; }},
      {"instruction breakpoint", kDialog, [] { return SetInstructionBreakpoint("80001234") != 0; }},
      {"registers", kDialog, [] { return RetrieveRegisters().result != 0; }},
      {"hook", kDialog, [] { return LaunchGameWithHook() != 0; }},
      {"poke", kDialog, [] { return PokeMemory(8, 0x80003100, 8, 1) != 0; }},
      {"fill", kBar, [] { return FillMemory(8, 0x80000000, 8, 0x80000010) != 0; }},
      {"dump", kBar, [] { return DumpMemory(8, 0x80000000, 8, 0x80000010) != 0; }},
      {"dump to path", kBar,
       [] { return DumpMemoryToPath("/dev/null", 0x80000000, 0x80000010) != 0; }},
      {"hex page", kDialog, [] { return ShowHexPage() != 0; }},
      {"screen", kDialog, [] { return GrabScreen() != 0; }},
      {"card list", kDialog, [] { return ListCard() != 0; }},
      {"card erase", kDialog, [] { return EraseCardSave() != 0; }},
      {"card download", kDialog, [] { return DownloadCardSave() != kCardTransferFailed; }},
      {"card upload", kDialog, [] { return UploadCardSave() != kCardTransferFailed; }},
      {"disc", kDialog, [] { return ExtractDisc(0) != ExtractOutcome::Failed; }},
      {"nand", kDialog, [] { return DumpNand(0, 16) != ExtractOutcome::Failed; }},
      {"low-level dump", kBar, [] { return RunLowLevelDump(LowLevelRegions()[0]) != 0; }},
  };
  Disconnect();
  g_keepExtracting = 1;
  g_stopRequested = 0;
  for (const auto& op : operations) {
    SCOPED_TRACE(op.name);
    ui().Clear();
    ui().SetSelection(0);
    ui().SetSaveFile(TempPath("out.bin"));
    ui().SetOpenFile("/dev/null");
    EXPECT_FALSE(op.reportsSuccess());
    EXPECT_EQ(OnlyMessage(),
              Box(kMsgNotConnected, kCaptionError, MessageIcon::Information, op.owner));
    EXPECT_TRUE(ui().fileRequests().empty());
  }
  EXPECT_TRUE(adapter().TakeSent().empty());
  EXPECT_EQ(g_keepExtracting, 1);  // a refused stop changes no flag
  EXPECT_EQ(g_stopRequested, 0);
}

}  // namespace
}  // namespace zemlo::testing
