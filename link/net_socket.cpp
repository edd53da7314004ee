#include "link/net_socket.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <mutex>
#else
#include <fcntl.h>
#include <netinet/tcp.h>
#include <unistd.h>
#endif

namespace zemlo::net {

#ifdef _WIN32

bool StartSockets() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SocketHandle OpenSocket(int family, int type, int protocol) {
  if (!StartSockets()) return kNoSocket;
  // A child process must not keep the port or the peer alive.
  const SocketHandle socket = ::WSASocketW(family, type, protocol, nullptr, 0,
                                           WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket != kNoSocket) MakeNonBlocking(socket);
  return socket;
}

void CloseSocket(SocketHandle socket) {
  ::closesocket(socket);
}

void MakeNonBlocking(SocketHandle socket) {
  u_long on = 1;
  ::ioctlsocket(socket, FIONBIO, &on);
}

void PrepareStream(SocketHandle socket) {
  const BOOL on = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

void ReserveAddress(SocketHandle socket) {
  const BOOL on = TRUE;
  ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
}

int LastError() {
  return ::WSAGetLastError();
}
bool WouldBlock(int error) {
  return error == WSAEWOULDBLOCK;
}
bool Interrupted(int error) {
  return error == WSAEINTR;
}
bool ConnectPending(int error) {
  return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
bool TransientAcceptError(int error) {
  return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET;
}

std::string ErrorText(int error) {
  char text[256] = {};
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "socket error " + std::to_string(error) : message;
}

std::ptrdiff_t Receive(SocketHandle socket, void* buffer, size_t count) {
  const int chunk = static_cast<int>(count > 1u << 30 ? 1u << 30 : count);
  return ::recv(socket, static_cast<char*>(buffer), chunk, 0);
}

std::ptrdiff_t Send(SocketHandle socket, const void* buffer, size_t count) {
  const int chunk = static_cast<int>(count > 1u << 30 ? 1u << 30 : count);
  return ::send(socket, static_cast<const char*>(buffer), chunk, 0);
}

void ShutdownBoth(SocketHandle socket) {
  ::shutdown(socket, SD_BOTH);
}

namespace {
int PollSockets(WSAPOLLFD* entries, ULONG count, int timeoutMs) {
  return ::WSAPoll(entries, count, timeoutMs);
}
using PollEntry = WSAPOLLFD;
}  // namespace

// A connected loopback pair: Winsock has no pipe that WSAPoll can wait on.
Waker::Waker() {
  const SocketHandle listener = OpenSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == kNoSocket) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  SocketHandle writer = kNoSocket;
  SocketHandle reader = kNoSocket;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::listen(listener, 1) == 0 &&
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    writer = OpenSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (writer != kNoSocket) {
      ::connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address);
      if (WaitReady(listener, POLLIN, kNoSocket, 5000) == Ready::kSocket) {
        reader = ::accept(listener, nullptr, nullptr);
      }
    }
  }
  CloseSocket(listener);
  if (reader == kNoSocket || WaitReady(writer, POLLOUT, kNoSocket, 5000) != Ready::kSocket) {
    if (writer != kNoSocket) CloseSocket(writer);
    if (reader != kNoSocket) CloseSocket(reader);
    return;
  }
  MakeNonBlocking(reader);
  readEnd_ = reader;
  writeEnd_ = writer;
}

#else

bool StartSockets() {
  return true;
}

SocketHandle OpenSocket(int family, int type, int protocol) {
  const SocketHandle socket = ::socket(family, type, protocol);
  if (socket != kNoSocket) MakeNonBlocking(socket);
  return socket;
}

void CloseSocket(SocketHandle socket) {
  ::close(socket);
}

void MakeNonBlocking(SocketHandle socket) {
  ::fcntl(socket, F_SETFD, FD_CLOEXEC);
  ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
}

void PrepareStream(SocketHandle socket) {
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
#ifdef SO_NOSIGPIPE
  ::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

void ReserveAddress(SocketHandle socket) {
  const int on = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

int LastError() {
  return errno;
}
bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}
bool Interrupted(int error) {
  return error == EINTR;
}
bool ConnectPending(int error) {
  return error == EINPROGRESS;
}
bool TransientAcceptError(int error) {
  return WouldBlock(error) || error == EINTR || error == ECONNABORTED;
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE on the socket does the same
#endif

std::ptrdiff_t Receive(SocketHandle socket, void* buffer, size_t count) {
  return ::recv(socket, buffer, count, 0);
}

std::ptrdiff_t Send(SocketHandle socket, const void* buffer, size_t count) {
  return ::send(socket, buffer, count, kSendFlags);
}

void ShutdownBoth(SocketHandle socket) {
  ::shutdown(socket, SHUT_RDWR);
}

namespace {
int PollSockets(pollfd* entries, nfds_t count, int timeoutMs) {
  return ::poll(entries, count, timeoutMs);
}
using PollEntry = pollfd;
}  // namespace

Waker::Waker() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  MakeNonBlocking(fds[0]);
  MakeNonBlocking(fds[1]);
  readEnd_ = fds[0];
  writeEnd_ = fds[1];
}

#endif

Waker::~Waker() {
  if (readEnd_ != kNoSocket) CloseSocket(readEnd_);
  if (writeEnd_ != kNoSocket) CloseSocket(writeEnd_);
}

void Waker::Wake() {
  if (writeEnd_ == kNoSocket) return;
  const char byte = 1;
#ifdef _WIN32
  ::send(writeEnd_, &byte, 1, 0);
#else
  [[maybe_unused]] const ssize_t ignored = ::write(writeEnd_, &byte, 1);
#endif
}

Ready WaitReady(SocketHandle socket, short events, SocketHandle waker, int timeoutMs) {
  PollEntry entries[2] = {};
  entries[0].fd = socket;
  entries[0].events = events;
  entries[1].fd = waker;
  entries[1].events = POLLIN;
  const unsigned count = waker == kNoSocket ? 1 : 2;
  for (;;) {
    const int ready = PollSockets(entries, count, timeoutMs);
    if (ready < 0 && Interrupted(LastError())) continue;
    if (ready < 0) return Ready::kSocket;
    if (count == 2 && entries[1].revents) return Ready::kWoken;
    return ready > 0 ? Ready::kSocket : Ready::kTimeout;
  }
}

}  // namespace zemlo::net
