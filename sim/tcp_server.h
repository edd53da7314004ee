// The simulated console served over TCP: each connection is one adapter session, served one at a
// time on the same Console, so its state carries over from one client run to the next.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/console.h"

namespace zemlo::sim {

class TcpConsoleServer {
 public:
  TcpConsoleServer();
  ~TcpConsoleServer();
  TcpConsoleServer(const TcpConsoleServer&) = delete;
  TcpConsoleServer& operator=(const TcpConsoleServer&) = delete;

  // Binds and listens; port 0 picks a free port. False with the reason in `error`.
  bool Listen(const std::string& host, uint16_t port, std::string* error);

  // The address bound, as "HOST:PORT" ("[HOST]:PORT" for IPv6).
  std::string address() const { return address_; }
  uint16_t port() const { return port_; }

  // Serves connections one after the other until Stop(). Clients that connect meanwhile wait
  // in the queue, as they would for an adapter that another program holds open.
  void Run(Console& console);

  // Ends Run: the open connection is dropped and no other is taken. Safe to call from a signal
  // handler and from any thread.
  void Stop();

  // Connections whose session has ended; the console is quiet after each.
  uint64_t connectionsServed() const { return served_.load(std::memory_order_acquire); }

  // Says on standard error who connects and when they leave.
  void SetVerbose(bool verbose) { verbose_ = verbose; }

 private:
  // The listening socket and the stop waker, kept out of this header with the system's.
  struct Sockets;
  std::unique_ptr<Sockets> sockets_;
  std::string address_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> served_{0};
  bool verbose_ = false;
};

}  // namespace zemlo::sim
