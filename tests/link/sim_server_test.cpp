// The TCP back end and the simulated console's server: what TCP adds to the semantics every back
// end keeps (link_conformance_test.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/bytes.h"
#include "link/driver_tcp.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "sim/tcp_server.h"
#include "tests/support/child_process.h"
#include "tests/support/recording_ui.h"

namespace zemlo {
namespace {

// A client connection through the TCP back end, as zemlo-cli makes one.
class Client {
 public:
  // The time-out is generous: on a loaded machine the server may take a while to get round to us.
  explicit Client(uint16_t port, uint32_t timeoutMs = 20000)
      : driver_(MakeTcpDriver("127.0.0.1", port)) {
    EXPECT_EQ(driver_->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle_), FT_OK);
    driver_->FT_SetTimeouts(handle_, timeoutMs, timeoutMs);
  }
  ~Client() { Close(); }

  void Send(uint8_t byte) {
    uint32_t moved = 0;
    EXPECT_EQ(driver_->FT_Write(handle_, &byte, 1, &moved), FT_OK);
  }
  std::vector<uint8_t> Read(uint32_t count, FT_STATUS expected = FT_OK) {
    std::vector<uint8_t> bytes(count);
    uint32_t moved = 0;
    EXPECT_EQ(driver_->FT_Read(handle_, bytes.data(), count, &moved), expected);
    bytes.resize(moved);
    return bytes;
  }
  void Close() {
    if (handle_) driver_->FT_Close(handle_);
    handle_ = nullptr;
  }

 private:
  std::unique_ptr<D2xxDriver> driver_;
  FT_HANDLE handle_ = nullptr;
};

std::vector<uint8_t> RegisterBlock(const sim::ConsoleModel& model) {
  std::vector<uint8_t> block(model.debugger.registers.size() * 4);
  for (size_t i = 0; i < model.debugger.registers.size(); ++i) {
    WriteBE32(block.data() + 4 * i, model.debugger.registers[i]);
  }
  return block;
}

void WaitForServed(const sim::TcpConsoleServer& server, uint64_t count) {
  while (server.connectionsServed() < count) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

TEST(TcpConsoleServer, KeepsTheConsoleFromOneConnectionToTheNext) {
  sim::Console console;
  sim::TcpConsoleServer server;
  std::string error;
  ASSERT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
  EXPECT_EQ(server.address(), "127.0.0.1:" + std::to_string(server.port()));
  std::thread serving([&] { server.Run(console); });

  {
    Client client(server.port());
    client.Send(CMD_FREEZE);
  }
  WaitForServed(server, 1);
  EXPECT_TRUE(console.model().frozen);

  {
    Client client(server.port());
    client.Send(CMD_READ_REGISTERS);
    EXPECT_EQ(client.Read(160), RegisterBlock(console.model()));
    client.Send(CMD_UNFREEZE);
  }
  WaitForServed(server, 2);
  EXPECT_FALSE(console.model().frozen);
  EXPECT_EQ(console.model().commandLog,
            (std::vector<uint8_t>{CMD_FREEZE, CMD_READ_REGISTERS, CMD_UNFREEZE}));

  // Stopping drops a client that is still connected: what arrived before is still read, then
  // the read fails.
  Client idle(server.port());
  idle.Send(CMD_READ_REGISTERS);
  EXPECT_EQ(idle.Read(1).size(), 1u);
  server.Stop();
  serving.join();
  EXPECT_EQ(idle.Read(159).size(), 159u);
  EXPECT_TRUE(idle.Read(1, FT_IO_ERROR).empty());
}

TEST(TcpDriver, ConnectsThroughTheLinkOrReportsTheNormalFailure) {
  testing::RecordingUi ui;
  InstallUi(&ui);
  uint16_t port = 0;
  {
    sim::Console console;
    sim::TcpConsoleServer server;
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, &error)) << error;
    std::thread serving([&] { server.Run(console); });
    port = server.port();
    InstallDriver(MakeTcpDriver("127.0.0.1", port));
    EXPECT_EQ(ConnectAdapter(), 1);
    EXPECT_TRUE(ui.messages().empty());
    LinkShutdown();
    server.Stop();
    serving.join();
  }
  // The port is free again: nothing listens there.
  InstallDriver(MakeTcpDriver("127.0.0.1", port));
  EXPECT_EQ(ConnectAdapter(), 0);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0].text, "Error: Couldn't connect to USB Zemlo. Please check connection");
  EXPECT_EQ(LinkStatus.load(), FT_DEVICE_NOT_FOUND);
  InstallDriver(nullptr);
  InstallUi(nullptr);
}

// The built program, as scripts use it: read the port it prints, talk to it, stop it.
TEST(ZemloSim, ServesOnThePortItPrintsAndStopsOnSigterm) {
  testing::ChildProcess program(ZEMLO_SIM_BINARY, {"--listen", "127.0.0.1:0"});
  ASSERT_TRUE(program.started());
  const std::string line = program.ReadLine().value_or("");
  unsigned port = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "listening on 127.0.0.1:%u", &port), 1) << line;
  EXPECT_EQ(line, "listening on 127.0.0.1:" + std::to_string(port));  // "\n" alone ends it

  for (int run = 0; run < 2; ++run) {
    Client client(static_cast<uint16_t>(port));
    client.Send(CMD_READ_REGISTERS);
    EXPECT_EQ(client.Read(160), RegisterBlock(sim::Console().model()));
  }

  if (!testing::ChildProcess::InterruptsReachChildren()) {
    GTEST_SKIP() << "served; the stop request is not deliverable to a child here";
  }
  program.Terminate();
  EXPECT_EQ(program.Wait(), 0);
}

}  // namespace
}  // namespace zemlo
