// The simulated console's TCP server and the zemlo-sim program around it. What the TCP back end
// must do is the link conformance suite's; connecting to a port where nothing listens is the CLI
// contract test's.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/driver_tcp.h"
#include "protocol/commands.h"
#include "sim/tcp_server.h"
#include "tests/support/child_process.h"

namespace zemlo {
namespace {

// A client connection through the TCP back end, as zemlo-cli makes one.
class Client {
 public:
  // The time-out is generous: on a loaded machine the server may take a while to get round to us.
  explicit Client(uint16_t port) : driver_(MakeTcpDriver("127.0.0.1", port)) {
    EXPECT_EQ(driver_->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle_), FT_OK);
    driver_->FT_SetTimeouts(handle_, 20000, 20000);
  }
  ~Client() { driver_->FT_Close(handle_); }

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

 private:
  std::unique_ptr<D2xxDriver> driver_;
  FT_HANDLE handle_ = nullptr;
};

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
    EXPECT_EQ(client.Read(160).size(), 160u);
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

// The built program, as scripts use it: read the port it prints, talk to it, stop it.
TEST(ZemloSim, ServesOnThePortItPrintsAndStopsOnSigterm) {
  testing::ChildProcess program(ZEMLO_SIM_BINARY, {"--listen", "127.0.0.1:0"});
  ASSERT_TRUE(program.started());
  const std::string line = program.ReadLine().value_or("");
  unsigned port = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "listening on 127.0.0.1:%u", &port), 1) << line;
  EXPECT_EQ(line, "listening on 127.0.0.1:" + std::to_string(port));  // "\n" alone ends it

  {
    Client client(static_cast<uint16_t>(port));
    client.Send(CMD_READ_REGISTERS);
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
