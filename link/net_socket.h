// The few socket calls the TCP back end and the simulator's server make, the same on POSIX and on
// Winsock, whose differences (handle type, closesocket, WSAGetLastError, WSAPoll, exclusive
// binding, no SIGPIPE) stay in net_socket.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace zemlo::net {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// Starts Winsock once per process; always true on POSIX.
bool StartSockets();

// A non-blocking stream socket, not inherited by child processes, or kNoSocket.
SocketHandle OpenSocket(int family, int type, int protocol);
void CloseSocket(SocketHandle socket);
void MakeNonBlocking(SocketHandle socket);
// TCP_NODELAY, and no SIGPIPE where the system has a socket option for it.
void PrepareStream(SocketHandle socket);
// Lets a restarted server bind its port again at once, without letting a second one share it.
void ReserveAddress(SocketHandle socket);

// The error of the last socket call on this thread, and how to read it.
int LastError();
bool WouldBlock(int error);
bool Interrupted(int error);
bool ConnectPending(int error);
bool TransientAcceptError(int error);
std::string ErrorText(int error);

// recv and send with byte counts as size_t; a closed peer never raises SIGPIPE.
std::ptrdiff_t Receive(SocketHandle socket, void* buffer, size_t count);
std::ptrdiff_t Send(SocketHandle socket, const void* buffer, size_t count);
void ShutdownBoth(SocketHandle socket);

// Waits until `socket` is ready for `events` (POLLIN or POLLOUT), `waker` is woken, or the time
// is up (-1: no limit). Returns whether the socket is ready; a failed wait counts as ready so
// that the next socket call reports what is wrong.
enum class Ready { kSocket, kWoken, kTimeout };
Ready WaitReady(SocketHandle socket, short events, SocketHandle waker, int timeoutMs);

// Wakes a waiting WaitReady from another thread or from a signal handler. A pipe on POSIX; a
// loopback socket pair on Windows, where WSAPoll takes nothing else (and where a shutdown of the
// socket does not reliably end a poll already waiting on it).
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  bool ok() const { return readEnd_ != kNoSocket; }
  SocketHandle handle() const { return readEnd_; }
  // Async-signal-safe on POSIX; the waker stays woken.
  void Wake();

 private:
  SocketHandle readEnd_ = kNoSocket;
  SocketHandle writeEnd_ = kNoSocket;
};

}  // namespace zemlo::net
