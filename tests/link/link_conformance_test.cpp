// What every back end must keep of the vendor driver's semantics, run against each with the
// simulated console at the far end: the in-process simulator, TCP, the vendor-library loader on
// its test stand-in, and (where libftdi1 is built in) libftdi1 and the loader on the modelled chip.
// Then the console's TCP server and the zemlo-sim program around it; connecting to a port where
// nothing listens is the CLI contract test's.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "link/bytes.h"
#include "link/driver_d2xx.h"
#include "link/driver_tcp.h"
#include "link/net_socket.h"
#include "link/shared_library.h"
#include "protocol/commands.h"
#include "sim/sim_adapter.h"
#include "sim/tcp_server.h"
#include "tests/support/child_process.h"
#if ZEMLO_WITH_LIBFTDI
#include "link/driver_ftdi.h"
#include "tests/ftdi_chip/usb_bus.h"
#endif

namespace zemlo {
namespace {

using std::chrono::milliseconds;

constexpr uint32_t kPage = 200;  // the console's answer to a memory read
constexpr uint32_t kAddress = 0x80001000;

// A console served over TCP on a free port until Stop.
struct TcpConsole {
  TcpConsole() {
    std::string error;
    EXPECT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
    serving = std::thread([this] { server.Run(console); });
  }
  ~TcpConsole() { Stop(); }
  void Stop() {
    server.Stop();
    if (serving.joinable()) serving.join();
  }
  sim::Console console;
  sim::TcpConsoleServer server;
  std::thread serving;
};

// A back end for the adapter, the console behind it, and what keeps that going until after the
// back end is gone.
struct Rig {
  std::shared_ptr<void> farEnd;
  std::unique_ptr<D2xxDriver> driver;
  sim::Console* console = nullptr;
};

template <typename Fn>
Fn Hook(const char* name) {
  return reinterpret_cast<Fn>(FindSymbol(OpenLibrary(ZEMLO_FAKE_D2XX_PATH), name));
}
// What is behind the vendor library's stand-in: the ftdi back end (true) or its simulated adapter.
bool FakeD2xxUsesFtdi(bool ftdi) {
  return Hook<bool (*)(bool)>("zemlo_fake_d2xx_use_ftdi")(ftdi);
}

#if ZEMLO_WITH_LIBFTDI
// The modelled chip alone on the bus; once the back end is gone, the vendor library's stand-in is
// back on its simulated adapter and the bus is empty.
Rig ChipRig(std::unique_ptr<D2xxDriver> driver) {
  usbdouble::ClearBus();
  std::shared_ptr<usbdouble::Chip> chip = usbdouble::Plug({.withChip = true});
  return {std::shared_ptr<void>(nullptr,
                                [chip](void*) {
                                  FakeD2xxUsesFtdi(false);
                                  usbdouble::ClearBus();
                                }),
          std::move(driver), &chip->console()};
}
#endif

struct Backend {
  const char* name;
  std::function<Rig()> make;
};

const Backend kBackends[] = {
    {"Sim",
     [] {
       auto adapter = std::make_shared<sim::SimAdapter>();
       return Rig{adapter, adapter->MakeDriver(), &adapter->console()};
     }},
    {"Tcp",
     [] {
       auto remote = std::make_shared<TcpConsole>();
       return Rig{remote, MakeTcpDriver("127.0.0.1", remote->server.port()), &remote->console};
     }},
    {"D2xx",
     [] {
       FakeD2xxUsesFtdi(false);
       return Rig{nullptr, MakeD2xxDriver(ZEMLO_FAKE_D2XX_PATH),
                  static_cast<sim::Console*>(Hook<void* (*)()>("zemlo_fake_d2xx_console")())};
     }},
#if ZEMLO_WITH_LIBFTDI
    {"Libftdi", [] { return ChipRig(MakeFtdiDriver()); }},
    {"D2xxOnChip",
     [] {
       EXPECT_TRUE(FakeD2xxUsesFtdi(true));
       return ChipRig(MakeD2xxDriver(ZEMLO_FAKE_D2XX_PATH));
     }},
#endif
};

// A back end opened on the adapter, and the calls the tests make through it.
struct Link {
  Link(D2xxDriver& backEnd, uint32_t readMs) : driver(backEnd) {
    EXPECT_EQ(driver.FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    SetTimeouts(readMs);
  }
  ~Link() {
    if (handle) driver.FT_Close(handle);
  }
  void SetTimeouts(uint32_t readMs) {
    ASSERT_EQ(driver.FT_SetTimeouts(handle, readMs, 20000), FT_OK);
  }
  void Send(std::vector<uint8_t> bytes) {
    uint32_t moved = 0;
    ASSERT_EQ(driver.FT_Write(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &moved),
              FT_OK);
    ASSERT_EQ(moved, bytes.size());
  }
  std::vector<uint8_t> Read(uint32_t count, FT_STATUS expected = FT_OK) {
    std::vector<uint8_t> bytes(count);
    uint32_t moved = 12345;
    EXPECT_EQ(driver.FT_Read(handle, bytes.data(), count, &moved), expected);
    bytes.resize(std::min(moved, count));
    return bytes;
  }

  D2xxDriver& driver;
  FT_HANDLE handle = nullptr;
};

class LinkConformance : public ::testing::TestWithParam<Backend> {
 protected:
  // The console's memory is copied while it waits for its first command.
  LinkConformance()
      : rig_(GetParam().make()),
        memory_(rig_.console->model().memory.begin(), rig_.console->model().memory.end()),
        link_(*rig_.driver, 5000) {}

  sim::Faults& faults() { return rig_.console->faults(); }
  // `split`: the address comes when the console, asleep, waits for exactly it.
  void RequestPage(uint32_t address = kAddress, bool split = false) {
    std::vector<uint8_t> request(5, CMD_READ_MEMORY);
    WriteBE32(&request[1], address);
    if (split) {
      link_.Send({CMD_READ_MEMORY});
      std::this_thread::sleep_for(milliseconds(20));
      request.erase(request.begin());
    }
    link_.Send(request);
  }
  std::vector<uint8_t> Memory(uint32_t address, uint32_t count) const {
    const auto from = memory_.begin() + (address - sim::ConsoleModel::kMemoryBase);
    return {from, from + count};
  }

  Rig rig_;
  std::vector<uint8_t> memory_;
  Link link_;
};

// A read waits up to its time-out for the whole count, returns what arrived by then without an
// error, and leaves nothing behind: what was not read yet comes with the next read. The answer
// that comes after a time-out is held back until that read has returned, and a short read may
// find less than the console sent (a busy machine delivers it later), never more.
TEST_P(LinkConformance, ReadsWaitUpToTheirTimeoutAndLoseNothing) {
  struct Step {
    uint32_t count;
    uint32_t timeoutMs;
    uint32_t expected;
    bool atMost = false;   // what arrived in time: up to `expected`, the rest comes next
    bool release = false;  // the held answer goes out before this read
  };
  const struct {
    const char* name;
    uint32_t delayMs;
    bool hold;
    size_t keep;  // the console sends only this much of its answer (0: all of it)
    std::vector<Step> steps;
    bool split = false;  // see RequestPage
  } cases[] = {
      {"answer within the time-out", 150, false, 0, {{kPage, 5000, kPage}}, true},
      {"answer after the time-out",
       0,
       true,
       0,
       {{kPage, 100, 0}, {kPage, 5000, kPage, false, true}}},
      {"part of the answer", 0, false, 50, {{kPage, 300, 50, true}, {10, 100, 0}}},
      {"answer read in parts", 0, false, 0, {{1, 5000, 1}, {150, 5000, 150}, {49, 5000, 49}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.delayMs) faults().DelayNextPackets(1, c.delayMs);
    if (c.hold) faults().HoldNextPacket();
    if (c.keep) faults().ShortenNextPackets(1, c.keep);
    RequestPage(kAddress, c.split);
    std::vector<uint8_t> received;
    for (const Step& step : c.steps) {
      if (step.release) faults().ReleaseHeldPacket();
      link_.SetTimeouts(step.timeoutMs);
      std::vector<uint8_t> part = link_.Read(step.count);
      if (step.atMost && part.size() < step.expected) {
        link_.SetTimeouts(5000);
        const std::vector<uint8_t> rest = link_.Read(step.expected - uint32_t(part.size()));
        part.insert(part.end(), rest.begin(), rest.end());
      }
      EXPECT_EQ(part.size(), step.expected);
      received.insert(received.end(), part.begin(), part.end());
    }
    faults().ReleaseHeldPacket();
    EXPECT_EQ(received, Memory(kAddress, static_cast<uint32_t>(received.size())));
  }
}

// Everything written reaches the console in order, more than the chip's buffers hold at once.
TEST_P(LinkConformance, WriteDeliversEveryByte) {
  std::vector<uint8_t> pokes(50 * 9, CMD_POKE);
  for (uint32_t i = 0; i < 50; ++i) {
    WriteBE32(&pokes[9 * i + 1], kAddress + 4 * i);
    WriteBE32(&pokes[9 * i + 5], 0x01010101u * i);
  }
  link_.Send(pokes);
  RequestPage();
  const std::vector<uint8_t> page = link_.Read(kPage);
  ASSERT_EQ(page.size(), kPage);
  for (uint32_t i = 0; i < 50; ++i) EXPECT_EQ(ReadBE32(&page[4 * i]), 0x01010101u * i) << i;
}

// A purge drops what arrived and was not read; the link is in step again afterwards.
TEST_P(LinkConformance, PurgeDropsPendingBytes) {
  RequestPage();
  EXPECT_EQ(link_.Read(1).size(), 1u);
  std::this_thread::sleep_for(milliseconds(100));  // the rest of the page arrives meanwhile
  EXPECT_EQ(link_.driver.FT_Purge(link_.handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
  link_.SetTimeouts(200);
  EXPECT_TRUE(link_.Read(kPage).empty());
  link_.SetTimeouts(5000);
  RequestPage(kAddress + kPage);
  EXPECT_EQ(link_.Read(kPage), Memory(kAddress + kPage, kPage));
}

// The disc extraction's stop: while the worker waits in a read, the UI thread purges and writes
// through the same handle, and later closes it; the read then ends with an error rather than
// with the answer that would have come.
TEST_P(LinkConformance, AnotherThreadWritesAndClosesDuringARead) {
  FT_STATUS status = FT_IO_ERROR;
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "close" : "purge and write");
    link_.SetTimeouts(60'000);
    faults().DelayNextPackets(1, closing ? 1500 : 300);
    RequestPage();
    std::vector<uint8_t> page(kPage);
    uint32_t moved = 0;
    std::thread reader(
        [&] { status = link_.driver.FT_Read(link_.handle, page.data(), kPage, &moved); });
    std::this_thread::sleep_for(milliseconds(100));
    if (closing) {
      EXPECT_EQ(link_.driver.FT_Close(link_.handle), FT_OK);
    } else {
      EXPECT_EQ(link_.driver.FT_Purge(link_.handle, FT_PURGE_RX), FT_OK);
      link_.Send({CMD_POKE, 0x80, 0x00, 0x10, 0x00, 0xCA, 0xFE, 0xF0, 0x0D});
    }
    reader.join();
    if (!closing) {
      EXPECT_EQ(status, FT_OK);
      EXPECT_EQ(page, Memory(kAddress, kPage));
      RequestPage();
      EXPECT_EQ(ReadBE32(link_.Read(kPage).data()), 0xCAFEF00Du);
    }
  }
  EXPECT_NE(status, FT_OK);  // woken by the close, not by the answer
  const uint8_t byte = 0;
  uint32_t moved = 0;
  EXPECT_NE(link_.driver.FT_Write(link_.handle, &byte, 1, &moved), FT_OK);
  link_.handle = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Backends, LinkConformance, ::testing::ValuesIn(kBackends),
                         [](const auto& backend) { return std::string(backend.param.name); });

// Clients connect as zemlo-cli does, with generous time-outs: on a loaded machine the server may
// take a while to get round to them.
TEST(TcpConsoleServer, KeepsTheConsoleFromOneConnectionToTheNext) {
  TcpConsole remote;
  for (const uint8_t command : {CMD_FREEZE, CMD_READ_REGISTERS, CMD_UNFREEZE}) {
    const auto tcp = MakeTcpDriver("127.0.0.1", remote.server.port());
    Link client(*tcp, 20000);
    client.Send({command});
    if (command == CMD_READ_REGISTERS) {
      EXPECT_EQ(client.Read(160).size(), 160u);
    }
  }
  for (int i = 0; i < 5000 && remote.server.connectionsServed() < 3; ++i) {
    std::this_thread::sleep_for(milliseconds(2));
  }
  EXPECT_EQ(remote.console.model().commandLog,
            (std::vector<uint8_t>{CMD_FREEZE, CMD_READ_REGISTERS, CMD_UNFREEZE}));

  // Stopping drops a client that is still connected: what arrived before is still read, then
  // the read fails.
  const auto tcp = MakeTcpDriver("127.0.0.1", remote.server.port());
  Link idle(*tcp, 20000);
  idle.Send({CMD_READ_REGISTERS});
  EXPECT_EQ(idle.Read(1).size(), 1u);
  remote.Stop();
  EXPECT_EQ(idle.Read(159).size(), 159u);
  EXPECT_TRUE(idle.Read(1, FT_IO_ERROR).empty());
}

// The server takes the next client at once after these accept failures; after any other (out of
// descriptors, a broken listener) it pauses instead of spinning on a socket that stays ready.
TEST(TcpConsoleServer, TellsTransientAcceptFailures) {
#ifdef _WIN32
  const std::pair<int, bool> rows[] = {
      {WSAEWOULDBLOCK, true}, {WSAEINTR, true}, {WSAECONNRESET, true}, {WSAEMFILE, false}};
#else
  const std::pair<int, bool> rows[] = {
      {EAGAIN, true}, {EINTR, true}, {ECONNABORTED, true}, {EMFILE, false}, {EINVAL, false}};
#endif
  for (const auto& [error, transient] : rows) {
    EXPECT_EQ(net::TransientAcceptError(error), transient) << error;
  }
}

// The built program, as scripts use it: read the port it prints, talk to it, stop it.
TEST(ZemloSim, ServesOnThePortItPrintsAndStopsOnSigterm) {
  testing::ChildProcess program(ZEMLO_SIM_BINARY, {"--listen", "127.0.0.1:0"});
  ASSERT_TRUE(program.started());
  const std::string line = program.ReadLine().value_or("");
  unsigned port = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "listening on 127.0.0.1:%u", &port), 1) << line;
  // The server's address, with "\n" alone ending the line.
  EXPECT_EQ(line, "listening on 127.0.0.1:" + std::to_string(port));

  {
    const auto tcp = MakeTcpDriver("127.0.0.1", static_cast<uint16_t>(port));
    Link client(*tcp, 20000);
    client.Send({CMD_READ_REGISTERS});
    EXPECT_EQ(client.Read(160).size(), 160u);
  }

  if (!testing::ChildProcess::InterruptsReachChildren()) {
    GTEST_SKIP() << "served; the stop request is not deliverable to a child here";
  }
  program.Terminate();
  EXPECT_EQ(program.Wait(), 0);
}

}  // namespace
}  // namespace zemlo
