#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "link/driver_tcp.h"
#include "link/link.h"
#include "link/net_socket.h"
#include "tests/support/recording_ui.h"

namespace zemlo {
namespace {

// The far end of the adapter: a listening socket on a free loopback port and the one
// connection the driver makes to it.
class Peer {
 public:
  Peer() {
    net::StartSockets();
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(listen_, 1), 0);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Peer() {
    Hangup();
    net::CloseSocket(listen_);
  }

  uint16_t port() const { return port_; }
  void Accept() { fd_ = ::accept(listen_, nullptr, nullptr); }
  void Send(std::vector<uint8_t> bytes) {
    ASSERT_EQ(net::Send(fd_, bytes.data(), bytes.size()), std::ptrdiff_t(bytes.size()));
  }
  std::vector<uint8_t> Receive(size_t count) {
    std::vector<uint8_t> bytes(count);
    size_t got = 0;
    while (got < count) {
      const std::ptrdiff_t n = net::Receive(fd_, bytes.data() + got, count - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    EXPECT_EQ(got, count);
    return bytes;
  }
  void Hangup() {
    if (fd_ != net::kNoSocket) net::CloseSocket(fd_);
    fd_ = net::kNoSocket;
  }

 private:
  net::SocketHandle listen_ = net::kNoSocket;
  net::SocketHandle fd_ = net::kNoSocket;
  uint16_t port_ = 0;
};

class TcpDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_ = MakeTcpDriver("127.0.0.1", peer_.port());
    ASSERT_EQ(driver_->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle_), FT_OK);
    peer_.Accept();
    ASSERT_EQ(driver_->FT_SetTimeouts(handle_, 100, 100), FT_OK);
  }
  void TearDown() override {
    if (handle_) driver_->FT_Close(handle_);
  }

  std::vector<uint8_t> Read(uint32_t count, FT_STATUS expected = FT_OK) {
    std::vector<uint8_t> buffer(count);
    uint32_t moved = 12345;
    EXPECT_EQ(driver_->FT_Read(handle_, buffer.data(), count, &moved), expected);
    buffer.resize(std::min(moved, count));
    return buffer;
  }

  Peer peer_;
  std::unique_ptr<D2xxDriver> driver_;
  FT_HANDLE handle_ = nullptr;
};

TEST_F(TcpDriverTest, ReadWaitsForTheWholeCountAndReturnsWhatArrivedByTheTimeout) {
  ASSERT_EQ(driver_->FT_SetTimeouts(handle_, 2000, 100), FT_OK);
  std::thread sender([&] {
    peer_.Send({1, 2});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    peer_.Send({3, 4, 5});
  });
  EXPECT_EQ(Read(5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  sender.join();

  ASSERT_EQ(driver_->FT_SetTimeouts(handle_, 100, 100), FT_OK);
  peer_.Send({6, 7, 8});
  EXPECT_EQ(Read(10), (std::vector<uint8_t>{6, 7, 8}));  // short, and no error
  EXPECT_TRUE(Read(4).empty());
  EXPECT_TRUE(Read(0).empty());
}

TEST_F(TcpDriverTest, WriteSendsEverything) {
  std::vector<uint8_t> data(200'000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> received;
  std::thread receiver([&] { received = peer_.Receive(data.size()); });
  ASSERT_EQ(driver_->FT_SetTimeouts(handle_, 100, 5000), FT_OK);
  uint32_t moved = 0;
  EXPECT_EQ(driver_->FT_Write(handle_, data.data(), static_cast<uint32_t>(data.size()), &moved),
            FT_OK);
  EXPECT_EQ(moved, data.size());
  receiver.join();
  EXPECT_EQ(received, data);
}

TEST_F(TcpDriverTest, PurgeDropsReceivedUnreadBytesOnly) {
  peer_.Send({1, 2, 3, 4, 5});
  EXPECT_EQ(Read(1), (std::vector<uint8_t>{1}));  // the rest has arrived by now
  EXPECT_EQ(driver_->FT_Purge(handle_, FT_PURGE_RX), FT_OK);
  EXPECT_EQ(driver_->FT_Purge(handle_, FT_PURGE_TX), FT_OK);
  EXPECT_TRUE(Read(4).empty());
  peer_.Send({9});
  EXPECT_EQ(Read(1), (std::vector<uint8_t>{9}));
}

TEST_F(TcpDriverTest, ClosedPeerIsAnErrorOnceItsBytesHaveBeenRead) {
  peer_.Send({7, 8});
  peer_.Hangup();
  EXPECT_EQ(Read(10), (std::vector<uint8_t>{7, 8}));
  EXPECT_TRUE(Read(1, FT_IO_ERROR).empty());
}

// The disc extraction case: a worker waits in a read while the UI thread purges and sends the
// stop byte through the same handle, then closes it.
TEST_F(TcpDriverTest, WriteAndCloseWhileAnotherThreadReads) {
  ASSERT_EQ(driver_->FT_SetTimeouts(handle_, 5000, 1000), FT_OK);
  std::vector<uint8_t> first;
  std::thread worker([&] { first = Read(1); });
  EXPECT_EQ(driver_->FT_Purge(handle_, FT_PURGE_RX), FT_OK);
  uint32_t moved = 0;
  const uint8_t stop = 0xBA;
  EXPECT_EQ(driver_->FT_Write(handle_, &stop, 1, &moved), FT_OK);
  EXPECT_EQ(peer_.Receive(1), (std::vector<uint8_t>{0xBA}));
  peer_.Send({0x55});
  worker.join();
  EXPECT_EQ(first, (std::vector<uint8_t>{0x55}));

  FT_STATUS status = FT_OK;
  std::thread waiting([&] {
    uint8_t byte = 0;
    uint32_t got = 0;
    status = driver_->FT_Read(handle_, &byte, 1, &got);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(driver_->FT_Close(handle_), FT_OK);
  waiting.join();  // woken long before its 5 s time-out
  EXPECT_NE(status, FT_OK);
  EXPECT_EQ(driver_->FT_Close(handle_), FT_INVALID_HANDLE);
  EXPECT_EQ(driver_->FT_Write(handle_, &stop, 1, &moved), FT_INVALID_HANDLE);
  handle_ = nullptr;
}

TEST(TcpDriver, ConnectsThroughTheLinkOrReportsTheNormalFailure) {
  testing::RecordingUi ui;
  InstallUi(&ui);
  uint16_t port = 0;
  {
    Peer peer;
    port = peer.port();
    InstallDriver(MakeTcpDriver("127.0.0.1", port));
    EXPECT_EQ(ConnectAdapter(), 1);
    EXPECT_TRUE(ui.messages().empty());
    LinkShutdown();
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

}  // namespace
}  // namespace zemlo
