#include "link/driver_tcp.h"

#include <atomic>
#include <mutex>

#include "link/deadline.h"
#include "link/handle_table.h"
#include "link/net_socket.h"

namespace zemlo {
namespace {

// One open connection. The socket is non-blocking and only closed when the last call using it has
// returned, so closing the handle while another thread waits in a read cannot free the socket
// under that read (nor let the number be reused for another file meanwhile).
class TcpConnection {
 public:
  explicit TcpConnection(net::SocketHandle fd) : fd_(fd) {}
  ~TcpConnection() { net::CloseSocket(fd_); }
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  void SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    readMs_ = readMs;
    writeMs_ = writeMs;
  }

  // D2XX semantics: wait up to the read time-out for the whole count and return what arrived. A
  // peer that has gone away is an error only once everything it sent has been read.
  FT_STATUS Read(uint8_t* buffer, uint32_t count, uint32_t* moved) {
    const Deadline deadline(EffectiveTimeoutMs(readMs_));
    uint32_t got = 0;
    FT_STATUS status = FT_OK;
    while (got < count) {
      if (closed_) {
        status = FT_IO_ERROR;
        break;
      }
      const std::ptrdiff_t n = net::Receive(fd_, buffer + got, count - got);
      if (n > 0) {
        got += static_cast<uint32_t>(n);
        continue;
      }
      if (n == 0) {
        if (got == 0 || closed_) status = FT_IO_ERROR;
        break;
      }
      const int error = net::LastError();
      if (net::Interrupted(error)) continue;
      if (!net::WouldBlock(error)) {
        status = FT_IO_ERROR;
        break;
      }
      const int left = deadline.RemainingMs();
      if (left == 0 || !WaitFor(POLLIN, left)) break;
    }
    *moved = got;
    return status;
  }

  // Sends everything, waiting for room up to the write time-out; what did not fit by then is
  // reported as a short write.
  FT_STATUS Write(const uint8_t* buffer, uint32_t count, uint32_t* moved) {
    const Deadline deadline(EffectiveTimeoutMs(writeMs_));
    uint32_t sent = 0;
    FT_STATUS status = FT_OK;
    while (sent < count) {
      if (closed_) {
        status = FT_IO_ERROR;
        break;
      }
      const std::ptrdiff_t n = net::Send(fd_, buffer + sent, count - sent);
      if (n > 0) {
        sent += static_cast<uint32_t>(n);
        continue;
      }
      const int error = n < 0 ? net::LastError() : 0;
      if (n < 0 && net::Interrupted(error)) continue;
      if (n < 0 && !net::WouldBlock(error)) {
        status = FT_IO_ERROR;
        break;
      }
      const int left = deadline.RemainingMs();
      if (left == 0 || !WaitFor(POLLOUT, left)) break;
    }
    *moved = sent;
    return status;
  }

  // Drops every byte that has arrived and not been read yet.
  FT_STATUS DropReceived() {
    if (closed_) return FT_IO_ERROR;
    uint8_t scratch[4096];
    for (;;) {
      const std::ptrdiff_t n = net::Receive(fd_, scratch, sizeof scratch);
      if (n > 0) continue;
      if (n < 0 && net::Interrupted(net::LastError())) continue;
      return FT_OK;  // drained, or the peer has gone (the next read reports that)
    }
  }

  // Wakes a read or write waiting in another thread; it then returns an error.
  void Close() {
    closed_ = true;
    net::ShutdownBoth(fd_);
    closing_.Wake();
  }

 private:
  // Ready, or woken by Close: either way the next call finds out. False on time-out.
  bool WaitFor(short events, int timeoutMs) {
    return net::WaitReady(fd_, events, closing_.handle(), timeoutMs) != net::Ready::kTimeout;
  }

  const net::SocketHandle fd_;
  // A shutdown alone does not end a wait already under way on every system.
  net::Waker closing_;
  std::atomic<uint32_t> readMs_{0};
  std::atomic<uint32_t> writeMs_{0};
  std::atomic<bool> closed_{false};
};

// A connected, non-blocking socket with TCP_NODELAY (the protocol is full of one-byte commands
// and replies), or kNoSocket with the system's reason in `why`.
net::SocketHandle ConnectSocket(const std::string& host, uint16_t port, std::string& why) {
  if (!net::StartSockets()) {
    why = "the system's sockets could not be started";
    return net::kNoSocket;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      error != 0) {
    why = ::gai_strerror(error);
    return net::kNoSocket;
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);

  const Deadline deadline(kTcpConnectTimeoutMs);
  why = "no address to connect to";
  for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
    const net::SocketHandle fd =
        net::OpenSocket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (fd == net::kNoSocket) {
      why = net::ErrorText(net::LastError());
      continue;
    }
    int error = 0;
    bool connected = ::connect(fd, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0;
    if (!connected) error = net::LastError();
    if (!connected && net::ConnectPending(error)) {
      if (net::WaitReady(fd, POLLOUT, net::kNoSocket, deadline.RemainingMs()) ==
          net::Ready::kSocket) {
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
          error = net::LastError();
        }
        connected = error == 0;
      } else {
        why = "no answer within " + std::to_string(kTcpConnectTimeoutMs / 1000) + " s";
        error = 0;
      }
    }
    if (connected) {
      net::PrepareStream(fd);
      return fd;
    }
    if (error != 0) why = net::ErrorText(error);
    net::CloseSocket(fd);
    if (deadline.Passed()) break;
  }
  return net::kNoSocket;
}

class TcpDriver final : public HandleDriver<TcpConnection> {
 public:
  TcpDriver(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {}

  FT_STATUS FT_OpenEx(const char*, uint32_t, FT_HANDLE* handle) override {
    if (!handle) return FT_INVALID_PARAMETER;
    std::string why;
    const net::SocketHandle fd = ConnectSocket(host_, port_, why);
    if (fd == net::kNoSocket) {
      std::lock_guard lock(failureMutex_);
      const std::string endpoint = host_ + ":" + std::to_string(port_);
      failure_ = "no connection to " + endpoint + ": " + why +
                 "\nis the simulated console running there? Start it with: zemlo-sim --listen " +
                 endpoint;
      return FT_DEVICE_NOT_FOUND;
    }
    *handle = handles_.Add(std::make_shared<TcpConnection>(fd));
    return FT_OK;
  }

  // Resetting the chip empties its buffers; the stream has nothing else to reset.
  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->DropReceived() : FT_INVALID_HANDLE;
  }

  // What has been sent is already on its way; only the receive side holds anything to drop.
  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
    auto connection = handles_.Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    return (mask & FT_PURGE_RX) ? connection->DropReceived() : FT_OK;
  }

  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t, uint32_t) override {
    return handles_.Find(handle) ? FT_OK : FT_INVALID_HANDLE;
  }

  std::string OpenFailure() const override {
    std::lock_guard lock(failureMutex_);
    return failure_;
  }

 private:
  const std::string host_;
  const uint16_t port_;
  mutable std::mutex failureMutex_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<D2xxDriver> MakeTcpDriver(std::string host, uint16_t port) {
  return std::make_unique<TcpDriver>(std::move(host), port);
}

}  // namespace zemlo
