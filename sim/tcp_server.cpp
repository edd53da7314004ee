#include "sim/tcp_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "link/net_listen.h"

namespace zemlo::sim {
namespace {

// Waits until `fd` is ready for `events`. False when the server is told to stop first.
bool WaitReady(net::SocketHandle fd, short events, net::SocketHandle wakeFd) {
  return net::WaitReady(fd, events, wakeFd, -1) == net::Ready::kSocket;
}

// The console's end of one connection: waits as long as it takes, as the console-side program
// does, and gives up when the client leaves or the server stops.
class SocketConsoleIo final : public ConsoleIo {
 public:
  SocketConsoleIo(net::SocketHandle fd, net::SocketHandle wakeFd, const std::atomic<bool>& stopping)
      : fd_(fd), wakeFd_(wakeFd), stopping_(stopping) {}

  bool Gone() override { return stopping_.load(std::memory_order_acquire); }

  bool Read(void* buffer, size_t count) override {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    while (got < count) {
      const std::ptrdiff_t n = net::Receive(fd_, bytes + got, count - got);
      if (n > 0) {
        got += static_cast<size_t>(n);
      } else if (n == 0) {
        return false;
      } else if (net::WouldBlock(net::LastError())) {
        if (!WaitReady(fd_, POLLIN, wakeFd_)) return false;
      } else if (!net::Interrupted(net::LastError())) {
        return false;
      }
    }
    return true;
  }

  bool Write(const void* buffer, size_t count) override {
    // What was made after the stop (a disc's set-up cut short) must not reach the client.
    if (Gone()) return false;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t sent = 0;
    while (sent < count) {
      const std::ptrdiff_t n = net::Send(fd_, bytes + sent, count - sent);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && net::WouldBlock(net::LastError())) {
        if (!WaitReady(fd_, POLLOUT, wakeFd_)) return false;
      } else if (n < 0 && !net::Interrupted(net::LastError())) {
        return false;
      }
    }
    return true;
  }

 private:
  const net::SocketHandle fd_;
  const net::SocketHandle wakeFd_;
  const std::atomic<bool>& stopping_;
};

}  // namespace

struct TcpConsoleServer::Sockets {
  net::SocketHandle listen = net::kNoSocket;
  net::Waker stop;
};

TcpConsoleServer::TcpConsoleServer() : sockets_(std::make_unique<Sockets>()) {}

TcpConsoleServer::~TcpConsoleServer() {
  if (sockets_->listen != net::kNoSocket) net::CloseSocket(sockets_->listen);
}

bool TcpConsoleServer::Listen(const std::string& host, uint16_t port, std::string* error) {
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (!net::StartSockets()) return fail("cannot start the system's sockets");
  if (!sockets_->stop.ok()) return fail("cannot create the stop pipe");
  net::Listener listener;
  if (!net::Listen(host, port, 8, &listener, error)) return false;
  sockets_->listen = listener.socket;
  address_ = listener.address;
  port_ = listener.port;
  return true;
}

void TcpConsoleServer::Run(Console& console) {
  while (sockets_->listen != net::kNoSocket && !stopping_) {
    if (!WaitReady(sockets_->listen, POLLIN, sockets_->stop.handle())) break;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const net::SocketHandle fd =
        ::accept(sockets_->listen, reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd == net::kNoSocket) {
      // Out of descriptors or the like: wait a little instead of spinning on the ready socket.
      if (!net::TransientAcceptError(net::LastError())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    net::MakeNonBlocking(fd);
    net::PrepareStream(fd);
    const std::string client =
        net::FormatAddress(reinterpret_cast<sockaddr*>(&peer), length, nullptr);
    if (verbose_) std::fprintf(stderr, "zemlo-sim: connection from %s\n", client.c_str());
    SocketConsoleIo io(fd, sockets_->stop.handle(), stopping_);
    console.Serve(io);
    net::CloseSocket(fd);
    served_.fetch_add(1, std::memory_order_release);
    if (verbose_) std::fprintf(stderr, "zemlo-sim: %s disconnected\n", client.c_str());
  }
  // Clients still waiting in the queue learn at once that nobody will serve them.
  if (sockets_->listen != net::kNoSocket) net::CloseSocket(sockets_->listen);
  sockets_->listen = net::kNoSocket;
}

void TcpConsoleServer::Stop() {
  stopping_ = true;
  sockets_->stop.Wake();
}

}  // namespace zemlo::sim
