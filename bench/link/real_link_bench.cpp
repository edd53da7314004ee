// A GameCube disc extraction through the ftdi back end, the real libftdi1 and the modelled
// FT245R at a full-speed chip's rate, against the link's floor (bytes the console sends / rate),
// for several latency timer settings.
//
//   zemlo_real_link_bench [--rate BYTES_PER_SECOND] [--packets N] [--latency MS,MS,...]
//
// Defaults: 1,000,000 B/s, a whole GameCube disc (23,762 packets and the final part; about
// 25 minutes per setting at that rate), latency 16 (the chip's power-up value), 2 and 1 (the
// driver's choice). Each run also pays a fixed 0.3 s or so (the handshake, the final part, and
// the quarter second the client listens after it), which weighs on short runs only. The client
// shares the machine with the model of the chip and console: on a busy machine run it under
// `nice -n -10` or expect late wake-ups in the figures.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "extract/disc_extractor.h"
#include "link/driver_ftdi.h"
#include "link/link.h"
#include "protocol/console_controls.h"
#include "tests/ftdi_chip/usb_bus.h"
#include "tests/support/recording_ui.h"

using namespace zemlo;

namespace {

struct Options {
  uint64_t rate = 1'000'000;
  uint32_t packets = 23762;
  std::vector<int> latencies = {16, 2, 1};
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--rate") {
      options.rate = std::stoull(value);
    } else if (name == "--packets") {
      options.packets = static_cast<uint32_t>(std::stoul(value));
    } else if (name == "--latency") {
      options.latencies.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');)
        options.latencies.push_back(std::stoi(item));
    } else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      std::exit(2);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  testing::RecordingUi ui;
  InstallUi(&ui);
  const std::string path =
      (std::filesystem::temp_directory_path() / "zemlo-real-link-bench.iso").string();
  std::printf("rate %llu B/s, %u packets\n", static_cast<unsigned long long>(options.rate),
              options.packets);
  std::printf("%8s %14s %10s %10s %8s\n", "latency", "console bytes", "floor s", "client s",
              "ratio");
  for (int latency : options.latencies) {
    usbdouble::ClearBus();
    auto chip = usbdouble::Plug({.withChip = true});
    chip->SetFeedRate(options.rate);
    chip->PinLatency(latency);
    std::vector<DiscKind> kinds(DiscKinds().begin(), DiscKinds().end());
    kinds[0].fullPackets = chip->model().extract.gamecube.fullPackets = options.packets;
    InstallDriver(MakeFtdiDriver());
    if (!(g_connected = ConnectAdapter())) {
      std::fprintf(stderr, "no connection\n");
      return 1;
    }
    ui.SetSaveFile(path);
    g_stopRequested = 0;
    const auto start = std::chrono::steady_clock::now();
    const ExtractOutcome outcome = ExtractDisc(0, kinds);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (outcome != ExtractOutcome::Finished) {
      std::fprintf(stderr, "extraction did not finish\n");
      return 1;
    }
    const double consoleBytes = double(options.packets) * kDiscPacketSize + kinds[0].finalPart;
    const double floor = consoleBytes / double(options.rate);
    std::printf("%6d ms %14.0f %10.2f %10.2f %8.3f\n", latency, consoleBytes, floor, seconds,
                seconds / floor);
    std::fflush(stdout);
    if (FT_HANDLE handle = g_ftHandle.exchange(nullptr)) ActiveDriver()->FT_Close(handle);
    InstallDriver(nullptr);
    chip.reset();
    usbdouble::ClearBus();
    std::filesystem::remove(path);
  }
  InstallUi(nullptr);
  return 0;
}
