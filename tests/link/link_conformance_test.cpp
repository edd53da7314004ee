// What every back end must keep of the vendor driver's semantics, run against each with the
// simulated console at the far end: the in-process simulator, TCP, the vendor-library loader on
// its test stand-in, and (where libftdi1 is built in) libftdi1 and the loader on the modelled chip.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "link/bytes.h"
#include "link/driver_d2xx.h"
#include "link/driver_tcp.h"
#include "link/shared_library.h"
#include "protocol/commands.h"
#include "sim/sim_adapter.h"
#include "sim/tcp_server.h"
#if ZEMLO_WITH_LIBFTDI
#include "link/driver_ftdi.h"
#include "tests/ftdi_chip/usb_bus.h"
#endif

namespace zemlo {
namespace {

using std::chrono::milliseconds;

constexpr uint32_t kPage = 200;  // the console's answer to a memory read
constexpr uint32_t kAddress = 0x80001000;

// A back end opened on the adapter, and the console behind it.
struct Rig {
  virtual ~Rig() = default;
  std::unique_ptr<D2xxDriver> driver;
  sim::Console* console = nullptr;
};

struct SimRig : Rig {
  SimRig() {
    driver = adapter.MakeDriver();
    console = &adapter.console();
  }
  sim::SimAdapter adapter;
};

struct TcpRig : Rig {
  TcpRig() {
    std::string error;
    EXPECT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
    serving = std::thread([this] { server.Run(own); });
    driver = MakeTcpDriver("127.0.0.1", server.port());
    console = &own;
  }
  ~TcpRig() override {
    server.Stop();
    serving.join();
  }
  sim::Console own;
  sim::TcpConsoleServer server;
  std::thread serving;
};

template <typename Fn>
Fn Hook(const char* name) {
  return reinterpret_cast<Fn>(FindSymbol(OpenLibrary(ZEMLO_FAKE_D2XX_PATH), name));
}

#if ZEMLO_WITH_LIBFTDI
struct ChipRig : Rig {
  explicit ChipRig(bool throughLoader) {
    usbdouble::ClearBus();
    chip = usbdouble::Plug({.withChip = true});
    console = &chip->console();
    driver = throughLoader ? MakeD2xxDriver(ZEMLO_FAKE_D2XX_PATH) : MakeFtdiDriver();
    if (throughLoader) {
      EXPECT_TRUE(Hook<bool (*)(bool)>("zemlo_fake_d2xx_use_ftdi")(true));
    }
  }
  ~ChipRig() override {
    driver.reset();
    Hook<bool (*)(bool)>("zemlo_fake_d2xx_use_ftdi")(false);
    usbdouble::ClearBus();
  }
  std::shared_ptr<usbdouble::Chip> chip;
};
#endif

struct D2xxRig : Rig {
  D2xxRig() {
    driver = MakeD2xxDriver(ZEMLO_FAKE_D2XX_PATH);
    Hook<bool (*)(bool)>("zemlo_fake_d2xx_use_ftdi")(false);
    console = static_cast<sim::Console*>(Hook<void* (*)()>("zemlo_fake_d2xx_console")());
  }
};

struct Backend {
  const char* name;
  std::function<std::unique_ptr<Rig>()> make;
};

const Backend kBackends[] = {
    {"Sim", [] { return std::make_unique<SimRig>(); }},
    {"Tcp", [] { return std::make_unique<TcpRig>(); }},
    {"D2xx", [] { return std::make_unique<D2xxRig>(); }},
#if ZEMLO_WITH_LIBFTDI
    {"Libftdi", [] { return std::make_unique<ChipRig>(false); }},
    {"D2xxOnChip", [] { return std::make_unique<ChipRig>(true); }},
#endif
};

class LinkConformance : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    rig_ = GetParam().make();
    memory_.assign(rig_->console->model().memory.begin(),
                   rig_->console->model().memory.end());  // the console waits for its first command
    ASSERT_EQ(driver().FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle_), FT_OK);
    SetTimeouts(5000);
  }
  void TearDown() override {
    if (handle_) driver().FT_Close(handle_);
    rig_.reset();
  }

  D2xxDriver& driver() { return *rig_->driver; }
  sim::Faults& faults() { return rig_->console->faults(); }
  void SetTimeouts(uint32_t readMs) {
    ASSERT_EQ(driver().FT_SetTimeouts(handle_, readMs, 5000), FT_OK);
  }

  void Send(std::vector<uint8_t> bytes) {
    uint32_t moved = 0;
    ASSERT_EQ(driver().FT_Write(handle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &moved),
              FT_OK);
    ASSERT_EQ(moved, bytes.size());
  }
  void RequestPage(uint32_t address = kAddress) {
    std::vector<uint8_t> request(5, CMD_READ_MEMORY);
    WriteBE32(&request[1], address);
    Send(request);
  }
  std::vector<uint8_t> Read(uint32_t count) {
    std::vector<uint8_t> bytes(count);
    uint32_t moved = 12345;
    EXPECT_EQ(driver().FT_Read(handle_, bytes.data(), count, &moved), FT_OK);
    bytes.resize(std::min(moved, count));
    return bytes;
  }
  std::vector<uint8_t> Memory(uint32_t address, uint32_t count) const {
    const auto from = memory_.begin() + (address - sim::ConsoleModel::kMemoryBase);
    return {from, from + count};
  }

  std::unique_ptr<Rig> rig_;
  FT_HANDLE handle_ = nullptr;
  std::vector<uint8_t> memory_;
};

// A read waits up to its time-out for the whole count, returns what arrived by then without an
// error, and leaves nothing behind: what was not read yet comes with the next read.
TEST_P(LinkConformance, ReadsWaitUpToTheirTimeoutAndLoseNothing) {
  struct Step {
    uint32_t count;
    uint32_t timeoutMs;
    uint32_t expected;
  };
  const struct {
    const char* name;
    uint32_t delayMs;
    size_t keep;  // the console sends only this much of its answer (0: all of it)
    std::vector<Step> steps;
  } cases[] = {
      {"answer within the time-out", 150, 0, {{kPage, 5000, kPage}}},
      {"answer after the time-out", 600, 0, {{kPage, 100, 0}, {kPage, 5000, kPage}}},
      {"part of the answer", 0, 50, {{kPage, 300, 50}, {10, 100, 0}}},
      {"answer read in parts", 0, 0, {{1, 5000, 1}, {150, 5000, 150}, {49, 5000, 49}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.delayMs) faults().DelayNextPackets(1, c.delayMs);
    if (c.keep) faults().ShortenNextPackets(1, c.keep);
    RequestPage();
    std::vector<uint8_t> received;
    for (const Step& step : c.steps) {
      SetTimeouts(step.timeoutMs);
      const std::vector<uint8_t> part = Read(step.count);
      EXPECT_EQ(part.size(), step.expected);
      received.insert(received.end(), part.begin(), part.end());
    }
    EXPECT_EQ(received, Memory(kAddress, static_cast<uint32_t>(received.size())));
  }
}

// Everything written reaches the console in order, more than the chip's buffers hold at once.
TEST_P(LinkConformance, WriteDeliversEveryByte) {
  std::vector<uint8_t> pokes;
  for (uint32_t i = 0; i < 50; ++i) {
    uint8_t poke[9] = {CMD_POKE};
    WriteBE32(poke + 1, kAddress + 4 * i);
    WriteBE32(poke + 5, 0x01010101u * i);
    pokes.insert(pokes.end(), poke, poke + 9);
  }
  Send(pokes);
  RequestPage();
  const std::vector<uint8_t> page = Read(kPage);
  ASSERT_EQ(page.size(), kPage);
  for (uint32_t i = 0; i < 50; ++i) EXPECT_EQ(ReadBE32(&page[4 * i]), 0x01010101u * i) << i;
}

// A purge drops what arrived and was not read; the link is in step again afterwards.
TEST_P(LinkConformance, PurgeDropsPendingBytes) {
  RequestPage();
  EXPECT_EQ(Read(1).size(), 1u);
  std::this_thread::sleep_for(milliseconds(100));  // the rest of the page arrives meanwhile
  EXPECT_EQ(driver().FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
  SetTimeouts(200);
  EXPECT_TRUE(Read(kPage).empty());
  SetTimeouts(5000);
  RequestPage(kAddress + kPage);
  EXPECT_EQ(Read(kPage), Memory(kAddress + kPage, kPage));
}

// The disc extraction's stop: while the worker waits in a read, the UI thread purges and writes
// through the same handle, and later closes it; the read then ends with an error rather than
// with the answer that would have come.
TEST_P(LinkConformance, AnotherThreadWritesAndClosesDuringARead) {
  FT_STATUS status = FT_IO_ERROR;
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "close" : "purge and write");
    SetTimeouts(60'000);
    faults().DelayNextPackets(1, closing ? 1500 : 300);
    RequestPage();
    std::vector<uint8_t> page(kPage);
    uint32_t moved = 0;
    std::thread reader([&] { status = driver().FT_Read(handle_, page.data(), kPage, &moved); });
    std::this_thread::sleep_for(milliseconds(100));
    if (closing) {
      EXPECT_EQ(driver().FT_Close(handle_), FT_OK);
    } else {
      EXPECT_EQ(driver().FT_Purge(handle_, FT_PURGE_RX), FT_OK);
      Send({CMD_POKE, 0x80, 0x00, 0x10, 0x00, 0xCA, 0xFE, 0xF0, 0x0D});
    }
    reader.join();
    if (!closing) {
      EXPECT_EQ(status, FT_OK);
      EXPECT_EQ(page, Memory(kAddress, kPage));
      RequestPage();
      EXPECT_EQ(ReadBE32(Read(kPage).data()), 0xCAFEF00Du);
    }
  }
  EXPECT_NE(status, FT_OK);  // woken by the close, not by the answer
  const uint8_t byte = 0;
  uint32_t moved = 0;
  EXPECT_NE(driver().FT_Write(handle_, &byte, 1, &moved), FT_OK);
  handle_ = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Backends, LinkConformance, ::testing::ValuesIn(kBackends),
                         [](const auto& backend) { return std::string(backend.param.name); });

}  // namespace
}  // namespace zemlo
