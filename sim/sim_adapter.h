// The simulated adapter in process: a D2XX driver whose far end is the simulated console running
// on its own thread. Reads keep D2XX semantics, with one shortcut that keeps tests fast: a read
// that cannot complete because the console is itself waiting for the client returns short at once
// instead of sitting out the read time-out, since nothing more can arrive. The console's own work
// takes no time on the link's clock: a time-out ends a read only while the console pauses on
// purpose (a delay, the throttle), never while a busy machine has not yet run it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "link/d2xx.h"
#include "sim/console.h"

namespace zemlo::sim {

class SimAdapter {
 public:
  SimAdapter();
  ~SimAdapter();
  SimAdapter(const SimAdapter&) = delete;
  SimAdapter& operator=(const SimAdapter&) = delete;

  Console& console() { return console_; }
  ConsoleModel& model() { return console_.model(); }
  Faults& faults() { return console_.faults(); }

  // A driver that opens this adapter. The adapter must outlive it.
  std::unique_ptr<D2xxDriver> MakeDriver();

  // Waits until the console has nothing left to do with what the client sent, so that the
  // model can be inspected. Returns at once when no link is open.
  void Quiesce();

  // Every byte the client has written since the last call, in order.
  std::vector<uint8_t> TakeSent();

  struct Timeouts {
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
  };
  // The time-outs the client set last.
  Timeouts timeouts();
  // Every FT_SetTimeouts the client made since the last call.
  std::vector<Timeouts> TakeTimeoutHistory();
  // How many handles are open now (0 or 1 in a well-behaved client).
  int openHandles();

  class Connection;

 private:
  friend class SimDriver;
  Console console_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Connection>> connections_;
  std::vector<uint8_t> sent_;
  Timeouts timeouts_;
  std::vector<Timeouts> timeoutHistory_;
  uint32_t readTimeoutMs_ = 0;
  std::mutex serveMutex_;  // one connection at a time talks to the console
};

// The adapter behind `--adapter sim`: one per process, created on first use.
SimAdapter& ProcessSimAdapter();

}  // namespace zemlo::sim
