#include "sim/tcp_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace zemlo::sim {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

void MakeNonBlocking(int fd) {
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// "HOST:PORT" of a socket address, numeric, with brackets around an IPv6 host.
std::string FormatAddress(const sockaddr* address, socklen_t length, uint16_t* port) {
  char host[NI_MAXHOST] = "?";
  char service[NI_MAXSERV] = "0";
  ::getnameinfo(address, length, host, sizeof host, service, sizeof service,
                NI_NUMERICHOST | NI_NUMERICSERV);
  if (port) *port = static_cast<uint16_t>(std::atoi(service));
  const std::string hostText =
      address->sa_family == AF_INET6 ? "[" + std::string(host) + "]" : host;
  return hostText + ":" + service;
}

// Waits until `fd` is ready for `events`. False when the server is told to stop first.
bool WaitReady(int fd, short events, int wakeFd) {
  pollfd entries[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
  for (;;) {
    if (::poll(entries, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (entries[1].revents) return false;
    if (entries[0].revents) return true;
  }
}

// The console's end of one connection: waits as long as it takes, as the console-side program
// does, and gives up when the client leaves or the server stops.
class SocketConsoleIo final : public ConsoleIo {
 public:
  SocketConsoleIo(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}

  bool Read(void* buffer, size_t count) override {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    while (got < count) {
      const ssize_t n = ::recv(fd_, bytes + got, count - got, 0);
      if (n > 0) {
        got += static_cast<size_t>(n);
      } else if (n == 0) {
        return false;
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!WaitReady(fd_, POLLIN, wakeFd_)) return false;
      } else if (errno != EINTR) {
        return false;
      }
    }
    return true;
  }

  bool Write(const void* buffer, size_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t sent = 0;
    while (sent < count) {
      const ssize_t n = ::send(fd_, bytes + sent, count - sent, kSendFlags);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!WaitReady(fd_, POLLOUT, wakeFd_)) return false;
      } else if (n < 0 && errno != EINTR) {
        return false;
      }
    }
    return true;
  }

 private:
  const int fd_;
  const int wakeFd_;
};

}  // namespace

TcpConsoleServer::TcpConsoleServer() {
  int fds[2];
  if (::pipe(fds) == 0) {
    MakeNonBlocking(fds[0]);
    MakeNonBlocking(fds[1]);
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
  }
}

TcpConsoleServer::~TcpConsoleServer() {
  if (listenFd_ >= 0) ::close(listenFd_);
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool TcpConsoleServer::Listen(const std::string& host, uint16_t port, std::string* error) {
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (wakeRead_ < 0) return fail("cannot create the stop pipe");
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      status != 0) {
    return fail("cannot resolve " + host + ": " + ::gai_strerror(status));
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
  int lastError = 0;
  for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
    const int fd = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, address->ai_addr, address->ai_addrlen) == 0 && ::listen(fd, 8) == 0) {
      MakeNonBlocking(fd);
      sockaddr_storage bound{};
      socklen_t length = sizeof bound;
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
      address_ = FormatAddress(reinterpret_cast<sockaddr*>(&bound), length, &port_);
      listenFd_ = fd;
      return true;
    }
    lastError = errno;
    ::close(fd);
  }
  return fail("cannot listen on " + host + ":" + std::to_string(port) + ": " +
              std::strerror(lastError));
}

void TcpConsoleServer::Run(Console& console) {
  while (listenFd_ >= 0 && !stopping_) {
    if (!WaitReady(listenFd_, POLLIN, wakeRead_)) break;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd < 0) {
      // Out of descriptors or the like: wait a little instead of spinning on the ready socket.
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    MakeNonBlocking(fd);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
#ifdef SO_NOSIGPIPE
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    const std::string client = FormatAddress(reinterpret_cast<sockaddr*>(&peer), length, nullptr);
    if (verbose_) std::fprintf(stderr, "zemlo-sim: connection from %s\n", client.c_str());
    SocketConsoleIo io(fd, wakeRead_);
    console.Serve(io);
    ::close(fd);
    served_.fetch_add(1, std::memory_order_release);
    if (verbose_) std::fprintf(stderr, "zemlo-sim: %s disconnected\n", client.c_str());
  }
  // Clients still waiting in the queue learn at once that nobody will serve them.
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

void TcpConsoleServer::Stop() {
  stopping_ = true;
  if (wakeWrite_ >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
  }
}

}  // namespace zemlo::sim
