// The USB bus the libusb stand-in shows libftdi1: FTDI devices with serial numbers, one of them
// (usually) the adapter, an FT232R with the simulated console behind it.
// Devices can refuse access, be held by another program or a kernel driver, lack a serial number,
// or be pulled out mid-run.
//
// The chip as libftdi1 and the ftdi driver see it: bulk IN packets of 64 bytes, each starting with
// two modem-status bytes; a full packet once 62 bytes wait, a short one (possibly status only,
// ending the transfer) once the latency timer has run since the last packet. It holds 256 bytes
// from the console, which waits while they are full, and 128 from the host: when the console
// stops taking them, the host's transfer times out with what was accepted.
//
// The console is a device of its own: it answers as soon as the host's bytes reach it and feeds
// the chip at the feed rate however late the thread that simulates it runs. So every console
// byte's entry into the chip is worked out (from when the console wrote it, the feed rate, and
// when the byte kTxCapacity before it left), the chip decides its packets from those times, and
// the host has each packet when the chip would have sent it. The chip waits for the simulating
// thread only while that thread could still write something the chip would send sooner.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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
  bool operator==(const ChipSettings&) const = default;
};

class Chip final : public sim::ConsoleIo {
  // Runs `change` under the lock and wakes whoever waits for one.
  template <typename Change>
  auto Locked(Change change) {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
    return change();
  }

 public:
  static constexpr size_t kRxCapacity = 128;
  static constexpr size_t kTxCapacity = 256;

  Chip() : thread_([this] { console_.Serve(*this); }) {}
  ~Chip() override {
    Unplug();
    thread_.join();
  }

  sim::Console& console() { return console_; }
  // The console-side model, once the console waits for the host.
  sim::ConsoleModel& model();
  // Console bytes per second into the chip; 0 for as fast as the console writes.
  void SetFeedRate(uint64_t bytesPerSecond) {
    Locked([&] { rate_ = bytesPerSecond; });
  }
  // false: the console side stops taking the host's bytes.
  void SetDraining(bool draining) {
    Locked([&] { draining_ = draining; });
  }
  // Keeps the latency timer at `ms` whatever the host sets.
  void PinLatency(int ms) {
    Locked([&] { pinnedLatencyMs_ = settings_.latencyMs = ms; });
  }
  // Transfers fail from now on as for a device pulled from its socket.
  void Unplug() {
    Locked([&] { gone_ = true; });
  }
  ChipSettings settings() {
    return Locked([&] { return settings_; });
  }

  // USB side, with libusb's results.
  int BulkIn(uint8_t* data, int length, int* transferred, unsigned timeoutMs);
  int BulkOut(const uint8_t* data, int length, int* transferred, unsigned timeoutMs);
  void Control(uint8_t request, uint16_t value, uint16_t index);

  // Console side.
  bool Read(void* buffer, size_t count) override;
  bool Write(const void* buffer, size_t count) override;
  void Pause(std::chrono::microseconds duration) override;

 private:
  // When waiting console byte `k` (below kTxCapacity) enters the chip.
  Clock::time_point Entry(size_t k);
  // The first `count` waiting bytes leave the chip (sent or purged) at `at`.
  void Take(size_t count, Clock::time_point at);

  sim::Console console_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool gone_ = false;  // unplugged or being destroyed
  bool draining_ = true;
  bool reading_ = false;  // the console waits for the host's bytes
  bool writing_ = false;  // the console waits for room for its bytes
  uint64_t rate_ = 0;
  int pinnedLatencyMs_ = 0;
  ChipSettings settings_;
  std::deque<uint8_t> rx_;  // host to console
  std::deque<uint8_t> tx_;  // console to host, from byte number taken_
  // Of tx_'s bytes: when the console wrote them or, for the first entered_, entered the chip.
  std::deque<Clock::time_point> at_;
  size_t entered_ = 0;
  uint64_t taken_ = 0;
  std::array<Clock::time_point, kTxCapacity> left_{};  // of the latest bytes sent, by number
  Clock::time_point lastEntry_{};
  Clock::time_point consoleClock_ = Clock::now();  // the console's own time
  Clock::time_point rxAt_{};                       // when the host's latest bytes reached the chip
  Clock::time_point lastPacket_{};
  std::thread thread_;
};

struct DeviceSpec {
  uint16_t product = 0x6001;
  std::optional<std::string> serial = "ZEMLUSB0";
  int openError = 0;               // what libusb_open answers (e.g. LIBUSB_ERROR_ACCESS)
  bool claimedElsewhere = false;   // another program holds its interface
  bool kernelDriver = false;       // ftdi_sio is bound to it
  bool kernelDriverStays = false;  // and refuses to be detached
  bool withChip = false;           // the adapter: a chip model with the console behind it
};

// Empties the bus. Chips of devices that were plugged stay alive while libftdi holds them.
void ClearBus();
// Adds a device at the next address (from 2, node /001/ADDRESS); returns its chip when it has one.
std::shared_ptr<Chip> Plug(const DeviceSpec& spec);
// Pulls the adapter out: its transfers fail and it leaves the bus.
void Unplug(const std::shared_ptr<Chip>& chip);
// libusb handles open now, across all devices (a leak check).
int OpenUsbHandles();

}  // namespace zemlo::usbdouble
