// A model of an FT232R/FT245R as libusb sees it, with the simulated console behind its FIFO.
//
// Bulk IN: 64-byte packets, each starting with two modem-status bytes. The chip sends a full
// packet once 62 bytes wait, a short one (possibly status only) when its latency timer runs out,
// and restarts the timer with every packet. Bulk OUT: 64-byte packets into a small receive buffer
// that the console drains; when it stops draining, the host's transfer times out with what was
// accepted.
//
// The console is a device of its own: it answers as soon as the host's bytes reach it and feeds
// the chip at its rate however late the thread that simulates it is scheduled. So every console
// byte carries the time it enters the chip (the feed rate, room in the chip's 256-byte buffer,
// the host bytes it answers, the console's own pauses), and the chip decides its packets from
// those times. It waits for the simulating thread only while that thread could still write
// something the chip would send sooner.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "sim/console.h"

namespace zemlo::usbdouble {

using Clock = std::chrono::steady_clock;

// What the chip's control requests last set; the power-up values are what another program might
// have left.
struct ChipSettings {
  int latencyMs = 16;
  int flowControl = 0x0100;  // RTS/CTS
  int bitMode = 0x01;        // asynchronous bit-bang
};

class Chip final : public sim::ConsoleIo {
 public:
  static constexpr int kPacketSize = 64;
  static constexpr uint64_t kTxCapacity = 256;
  static constexpr size_t kRxCapacity = 128;

  Chip();
  ~Chip() override;
  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;

  sim::Console& console() { return console_; }
  // The console-side model, once the console waits for the host.
  sim::ConsoleModel& model();

  // Console bytes per second into the chip; 0 for as fast as the console writes.
  void SetFeedRate(uint64_t bytesPerSecond);
  // false: the console side stops taking the host's bytes out of the receive buffer.
  void SetDraining(bool draining);
  // Keeps the latency timer at `ms` whatever the host sets.
  void PinLatency(int ms);
  // Transfers fail from now on as for a device pulled from its socket.
  void Unplug();
  ChipSettings settings();

  // USB side, with libusb's results.
  int BulkIn(uint8_t* data, int length, int* transferred, unsigned timeoutMs);
  int BulkOut(const uint8_t* data, int length, int* transferred, unsigned timeoutMs);
  int Control(uint8_t requestType, uint8_t request, uint16_t value);

  // Console side.
  bool Read(void* buffer, size_t count) override;
  bool Write(const void* buffer, size_t count) override;
  void Pause(std::chrono::microseconds duration) override;

 private:
  enum class ConsoleState { Busy, Reading, Writing };
  struct Mark {
    uint64_t index;  // Write: its first byte; Departure: one past the packet's last byte
    Clock::time_point at;
    uint64_t rate = 0;
  };
  // When console byte `index` (at most kTxCapacity past the last one sent) enters the chip.
  Clock::time_point Entry(uint64_t index);
  // The soonest the console could write a byte it has not written yet; max() while it waits.
  Clock::time_point NextWriteNoSooner() const;
  // The first `count` waiting bytes leave the chip (sent or purged) at `at`.
  void Take(uint64_t count, Clock::time_point at);

  sim::Console console_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  bool unplugged_ = false;
  bool draining_ = true;
  ConsoleState state_ = ConsoleState::Busy;
  Clock::time_point consoleClock_ = Clock::now();
  Clock::time_point rxAt_{};  // when the host's latest bytes reached the receive buffer
  uint64_t rate_ = 0;
  int pinnedLatencyMs_ = 0;
  ChipSettings settings_;
  std::deque<uint8_t> rx_;                 // host to console
  std::deque<uint8_t> tx_;                 // console to host, from index taken_
  std::deque<Clock::time_point> entries_;  // of tx_'s first bytes, as far as worked out
  std::deque<Mark> writes_;
  std::deque<Mark> departures_;  // recent packets, for the room they made
  uint64_t taken_ = 0;
  Clock::time_point lastEntry_{};  // of the byte before tx_'s first unworked one
  Clock::time_point lastPacket_{};
  std::thread thread_;
};

}  // namespace zemlo::usbdouble
