// A simulated console with small discs and a short NAND, and the extraction flags and dump options
// reset, for the extraction tests.
#pragma once

#include <algorithm>
#include <vector>

#include "extract/disc_extractor.h"
#include "extract/dump_options.h"
#include "extract/worker.h"
#include "protocol/console_controls.h"
#include "sim/disc_source.h"
#include "tests/support/sim_fixture.h"

namespace zemlo::testing {

using Timeouts = std::pair<uint32_t, uint32_t>;

class ExtractFixture : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    g_keepExtracting = 0;
    g_stopRequested = 0;
    g_workerBusy = 0;
  }
  void TearDown() override {
    WaitForWorker();
    SetDumpOptions({});
    SimFixture::TearDown();
  }

  // A path in the test's folder, the answer of the next file dialogs.
  std::string SaveTo(const std::string& name) {
    ui().SetSaveFile(TempPath(name));
    return TempPath(name);
  }

  // The FT_SetTimeouts calls since the last look, as (read, write) pairs.
  std::vector<Timeouts> TimeoutHistory() {
    std::vector<Timeouts> history;
    for (const auto& t : adapter().TakeTimeoutHistory()) history.emplace_back(t.readMs, t.writeMs);
    return history;
  }

  // A console left inside a stream by a failed run takes the next command byte for an answer;
  // a fresh connection starts it from its command loop again, with an empty dialog.
  void Reconnect() {
    Disconnect();
    ASSERT_EQ(Connect(), 1);
    Sent();
    adapter().TakeTimeoutHistory();
    ui().Clear();
  }

  // Gives the console's discs these packet counts (final parts as on real discs) and returns the
  // client's table to match.
  std::vector<DiscKind> SmallDiscs(uint32_t gamecube, uint32_t wiiSingle, uint32_t wiiDual) {
    std::vector<DiscKind> kinds(DiscKinds().begin(), DiscKinds().end());
    kinds[0].fullPackets = model().extract.gamecube.fullPackets = gamecube;
    kinds[1].fullPackets = model().extract.wiiSingle.fullPackets = wiiSingle;
    kinds[2].fullPackets = model().extract.wiiDual.fullPackets = wiiDual;
    return kinds;
  }

  uint32_t Advances() {
    return static_cast<uint32_t>(
        std::ranges::count(ui().progress(), ProgressEvent::Advance, &ProgressEvent::kind));
  }

  // The first `pages` pages of the simulated flash, as a dump in this page size holds them.
  static std::vector<uint8_t> NandBytes(uint32_t pages, uint32_t pageSize) {
    std::vector<uint8_t> bytes(size_t{pages} * pageSize);
    for (uint32_t page = 0; page < pages; ++page)
      sim::FillNandPage(page, pageSize, &bytes[size_t{page} * pageSize]);
    return bytes;
  }
};

}  // namespace zemlo::testing
