#include "gdbstub/gdb_server.h"

#include <cstdlib>
#include <memory>

#include "gdbstub/gdb_session.h"
#include "link/net_listen.h"

namespace zemlo::gdb {
namespace {

class SocketChannel final : public Channel {
 public:
  SocketChannel(net::SocketHandle fd, net::SocketHandle wake) : fd_(fd), wake_(wake) {}

  int Receive(char* buffer, int size, int timeoutMs) override {
    for (;;) {
      const std::ptrdiff_t n = net::Receive(fd_, buffer, static_cast<size_t>(size));
      if (n > 0) return static_cast<int>(n);
      if (n == 0) return -1;
      const int error = net::LastError();
      if (net::Interrupted(error)) continue;
      if (!net::WouldBlock(error)) return -1;
      switch (net::WaitReady(fd_, POLLIN, wake_, timeoutMs)) {
        case net::Ready::kSocket:
          continue;
        case net::Ready::kTimeout:
          return 0;
        case net::Ready::kWoken:
          return -1;
      }
    }
  }

  bool Send(const std::string& bytes) override {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const std::ptrdiff_t n = net::Send(fd_, bytes.data() + sent, bytes.size() - sent);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && net::WouldBlock(net::LastError())) {
        if (net::WaitReady(fd_, POLLOUT, wake_, -1) != net::Ready::kSocket) return false;
      } else if (n < 0 && net::Interrupted(net::LastError())) {
        continue;
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  net::SocketHandle fd_;
  net::SocketHandle wake_;
};

}  // namespace

struct GdbServer::Sockets {
  net::SocketHandle listen = net::kNoSocket;
  net::Waker stop;
};

GdbServer::GdbServer() : sockets_(std::make_unique<Sockets>()) {}

GdbServer::~GdbServer() {
  if (sockets_->listen != net::kNoSocket) net::CloseSocket(sockets_->listen);
}

bool GdbServer::Listen(const std::string& host, uint16_t port, std::string* error) {
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (!net::StartSockets()) return fail("cannot start the system's sockets");
  if (!sockets_->stop.ok()) return fail("cannot create the stop pipe");
  net::Listener listener;
  if (!net::Listen(host, port, 1, &listener, error)) return false;
  sockets_->listen = listener.socket;
  address_ = listener.address;
  port_ = listener.port;
  return true;
}

void GdbServer::Run(ConsoleTarget& target) {
  while (sockets_->listen != net::kNoSocket && !stopping_) {
    if (net::WaitReady(sockets_->listen, POLLIN, sockets_->stop.handle(), -1) !=
        net::Ready::kSocket) {
      break;
    }
    const net::SocketHandle fd = ::accept(sockets_->listen, nullptr, nullptr);
    if (fd == net::kNoSocket) continue;
    net::MakeNonBlocking(fd);
    net::PrepareStream(fd);
    const auto tell = [this](Event event) {
      if (observer_) observer_(event);
    };
    // A gdb that finds the link taken is let go at once: it says the connection closed.
    if (!target.Hold()) {
      net::CloseSocket(fd);
      tell(Event::kRefused);
      continue;
    }
    tell(Event::kAttached);
    {
      SocketChannel channel(fd, sockets_->stop.handle());
      GdbSession session(target, channel, log_);
      session.Run(stopping_);
    }
    target.Release();
    net::CloseSocket(fd);
    tell(Event::kLeft);
  }
}

void GdbServer::Stop() {
  stopping_ = true;
  sockets_->stop.Wake();
}

}  // namespace zemlo::gdb
