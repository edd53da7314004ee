// A model of an FT232R/FT245R as libusb sees it, with the simulated console behind its FIFO.
//
// Bulk IN: 64-byte packets, each starting with two modem-status bytes. The chip sends a full
// packet once 62 bytes wait, a short one (possibly status only) when its latency timer runs out,
// and restarts the timer with every packet. Console bytes enter the chip's small transmit buffer
// at the feed rate; each byte carries the time it arrives, so packets go out at the times a chip
// would send them without the model polling at that rate.
// Bulk OUT: 64-byte packets into a small receive buffer that the console drains; when it stops
// draining, the host's transfer times out with what was accepted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/console.h"

namespace zemlo::usbdouble {

using Clock = std::chrono::steady_clock;

// What the chip's control requests last set.
struct ChipSettings {
  int latencyMs = 16;
  int flowControl = 0x0100;  // left at RTS/CTS by another program
  int bitMode = 0x01;        // left in asynchronous bit-bang mode
  int resets = 0;
  int rxPurges = 0;  // host-to-console buffer
  int txPurges = 0;  // console-to-host buffer
};

class Chip final : public sim::ConsoleIo {
 public:
  static constexpr int kPacketSize = 64;
  static constexpr size_t kTxCapacity = 256;
  static constexpr size_t kRxCapacity = 128;

  Chip();
  ~Chip() override;
  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;

  sim::Console& console() { return console_; }
  // The console-side model, once the console has gone quiet.
  sim::ConsoleModel& model();

  // Console bytes per second into the chip; 0 for as fast as the console writes.
  void SetFeedRate(uint64_t bytesPerSecond);
  // false: the console side stops taking the host's bytes out of the receive buffer.
  void SetDraining(bool draining);
  // Keeps the latency timer at `ms` whatever the host sets (0: the host's setting counts).
  void PinLatency(int ms);
  // Transfers fail from now on as for a device pulled from its socket.
  void Unplug();
  ChipSettings settings();

  // USB side, with libusb's results.
  int BulkIn(uint8_t* data, int length, int* transferred, unsigned timeoutMs);
  int BulkOut(const uint8_t* data, int length, int* transferred, unsigned timeoutMs);
  int Control(uint8_t requestType, uint8_t request, uint16_t value, uint8_t* data, uint16_t length);

  // Console side.
  bool Read(void* buffer, size_t count) override;
  bool Write(const void* buffer, size_t count) override;

 private:
  struct Segment {
    uint64_t first;  // index of its first byte in the console's output
    Clock::time_point start;
    uint64_t rate;
  };
  Clock::time_point Arrival(uint64_t index) const;
  void DropTx();

  sim::Console console_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  bool unplugged_ = false;
  bool draining_ = true;
  bool consoleWaiting_ = false;  // the console waits in Read for the host's next bytes
  uint64_t rate_ = 0;
  int pinnedLatencyMs_ = 0;
  ChipSettings settings_;
  std::deque<uint8_t> rx_;  // host to console
  std::deque<uint8_t> tx_;  // console to host, from index taken_
  std::deque<Segment> segments_;
  uint64_t taken_ = 0;
  uint64_t written_ = 0;
  Clock::time_point lastPacket_{};
  Clock::time_point lastArrival_{};  // of the console's latest byte
  std::thread thread_;
};

}  // namespace zemlo::usbdouble
