// What the TCP back end adds to the semantics every back end keeps (link_conformance_test.cpp):
// a peer that hangs up, and the connection failure through the link.
#include <gtest/gtest.h>

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

TEST_F(TcpDriverTest, ClosedPeerIsAnErrorOnceItsBytesHaveBeenRead) {
  peer_.Send({7, 8});
  peer_.Hangup();
  EXPECT_EQ(Read(10), (std::vector<uint8_t>{7, 8}));
  EXPECT_TRUE(Read(1, FT_IO_ERROR).empty());
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
