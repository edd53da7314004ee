// The stub on a TCP port: one gdb connection at a time (another waits until the first leaves),
// each served by a GdbSession on the console the link reaches.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "gdbstub/console_target.h"

namespace zemlo::gdb {

inline constexpr char kDefaultListen[] = "127.0.0.1:2345";

class GdbServer {
 public:
  GdbServer();
  ~GdbServer();
  GdbServer(const GdbServer&) = delete;
  GdbServer& operator=(const GdbServer&) = delete;

  // Binds and listens; port 0 picks a free port. False with the reason in `error`.
  bool Listen(const std::string& host, uint16_t port, std::string* error);
  // "HOST:PORT" as bound.
  std::string address() const { return address_; }
  uint16_t port() const { return port_; }

  // Every packet of every session goes to `log` when set.
  void SetLog(std::FILE* log) { log_ = log; }

  // A connection keeps the link for itself while it lasts; told on Run's thread.
  enum class Event { kAttached, kLeft, kRefused };
  void SetObserver(std::function<void(Event)> observer) { observer_ = std::move(observer); }

  // Serves connections until Stop().
  void Run(ConsoleTarget& target);
  // Ends Run, leaving the game running. Safe from a signal handler and from any thread.
  void Stop();

 private:
  struct Sockets;
  std::unique_ptr<Sockets> sockets_;
  std::string address_;
  uint16_t port_ = 0;
  std::FILE* log_ = nullptr;
  std::function<void(Event)> observer_;
  std::atomic<bool> stopping_{false};
};

}  // namespace zemlo::gdb
