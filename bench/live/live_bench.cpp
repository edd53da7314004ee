// The live tools through the simulated console at the adapter's rate (1 MB/s) with the latency
// its chip adds to every answer: watch-list refreshes a second for 100 entries in 20 windows, and
// a first scan of SCAN_MIB and of the whole of MEM1 (24 MiB), each against one plain dump of the
// same range. Prints the figures.
//
//   live_bench [LATENCY_US] [SCAN_MIB]    (defaults 2000 and 24: all of MEM1 only)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/d2xx.h"
#include "link/link.h"
#include "live/live_link.h"
#include "live/value_search.h"
#include "live/watch_list.h"
#include "sim/sim_adapter.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

constexpr uint32_t kMem1MiB = 24;

// One dump of [0x80000000, +mib MiB) and then a first scan of the same range. False on failure.
bool ScanFigures(uint32_t mib, zemlo::live::ValueSearch& search) {
  const uint32_t size = mib << 20;
  std::vector<uint8_t> bytes;
  auto start = std::chrono::steady_clock::now();
  if (!zemlo::live::DumpRange(0x80000000u, size, bytes)) return false;
  const double dump = Seconds(start);
  start = std::chrono::steady_clock::now();
  const std::string error =
      search.First({0x80000000u, 0x80000000u + size, zemlo::live::ValueType::U16, true},
                   {zemlo::live::Compare::Exact, 1000});
  const double first = Seconds(start);
  if (!error.empty()) return false;
  std::printf("scan: %u MiB%s, one dump %.2f s, first scan %.2f s (%.2fx), %llu candidates\n", mib,
              mib == kMem1MiB ? " (all of MEM1)" : "", dump, first, first / dump,
              static_cast<unsigned long long>(search.count()));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t latencyUs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000;
  const uint32_t scanMiB =
      argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 24;
  zemlo::sim::SimAdapter adapter;
  adapter.console().SetThrottle(1'000'000);
  adapter.console().SetLatency(latencyUs);
  adapter.model().uploads.hooked = true;
  zemlo::InstallDriver(adapter.MakeDriver());
  zemlo::g_connected = zemlo::ConnectAdapter();
  if (!zemlo::g_connected) return 1;
  std::printf("adapter: 1 MB/s, %llu us latency per answer\n",
              static_cast<unsigned long long>(latencyUs));

  zemlo::live::WatchList list;
  for (uint32_t i = 0; i < 100; ++i) {
    zemlo::live::WatchEntry entry;
    entry.address = 0x80100000u + (i / 5) * 0x10000 + (i % 5) * 40;
    list.entries().push_back(entry);
  }
  int refreshes = 0;
  const auto watchStart = std::chrono::steady_clock::now();
  while (Seconds(watchStart) < 3.0) {
    if (list.Refresh() != zemlo::live::RefreshOutcome::Done) return 1;
    ++refreshes;
  }
  std::printf("watch: 100 entries, %zu windows a refresh, %.1f refreshes/s (target >= 10)\n",
              list.lastWindowCount(), refreshes / Seconds(watchStart));

  zemlo::live::ValueSearch search;
  if (!ScanFigures(scanMiB, search)) return 1;
  uint64_t windowBytes = 0, dumpBytes = 0;
  const auto plan = search.NextPlan(&windowBytes, &dumpBytes);
  const auto start = std::chrono::steady_clock::now();
  search.Next({zemlo::live::Compare::Unchanged});
  std::printf("next scan: %s (%llu bytes by windows, %llu by dump), %.3f s\n",
              plan == zemlo::live::ReadPlan::Windows ? "windows" : "dump",
              static_cast<unsigned long long>(windowBytes),
              static_cast<unsigned long long>(dumpBytes), Seconds(start));
  if (scanMiB != kMem1MiB) {
    zemlo::live::ValueSearch whole;
    if (!ScanFigures(kMem1MiB, whole)) return 1;
  }
  zemlo::InstallDriver(nullptr);
  return 0;
}
