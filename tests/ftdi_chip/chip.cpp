#include "tests/ftdi_chip/chip.h"

#include <libusb.h>

#include <algorithm>

namespace zemlo::usbdouble {
namespace {

constexpr int kPayload = Chip::kPacketSize - 2;
constexpr uint8_t kModemStatus[2] = {0x01, 0x60};
constexpr uint8_t kVendorOut = 0x40;

// libftdi's request numbers (its SIO_* names) and the purge values of the reset request.
enum Request : uint8_t { kReset = 0, kFlowCtrl = 2, kBaudRate = 3, kLatency = 9, kBitMode = 11 };
constexpr uint16_t kPurgeHostToConsole = 1;
constexpr uint16_t kPurgeConsoleToHost = 2;

// Orders a byte index against the marks of writes and departures.
constexpr auto kBefore = [](uint64_t index, const auto& mark) { return index < mark.index; };

Clock::time_point DeadlineAfter(unsigned timeoutMs) {
  // libusb's 0 means no time-out.
  return Clock::now() + std::chrono::milliseconds(timeoutMs ? timeoutMs : 3'600'000u);
}

}  // namespace

Chip::Chip() {
  thread_ = std::thread([this] { console_.Serve(*this); });
}

Chip::~Chip() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

sim::ConsoleModel& Chip::model() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(5),
                    [&] { return closed_ || (state_ == ConsoleState::Reading && rx_.empty()); });
  return console_.model();
}

void Chip::SetFeedRate(uint64_t bytesPerSecond) {
  std::lock_guard lock(mutex_);
  rate_ = bytesPerSecond;
}

void Chip::SetDraining(bool draining) {
  {
    std::lock_guard lock(mutex_);
    draining_ = draining;
  }
  changed_.notify_all();
}

void Chip::PinLatency(int ms) {
  std::lock_guard lock(mutex_);
  pinnedLatencyMs_ = ms;
  if (ms) settings_.latencyMs = ms;
}

void Chip::Unplug() {
  {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
  }
  changed_.notify_all();
}

ChipSettings Chip::settings() {
  std::lock_guard lock(mutex_);
  return settings_;
}

Clock::time_point Chip::Entry(uint64_t index) {
  for (uint64_t next = taken_ + entries_.size(); next <= index; ++next) {
    const Mark& write = *std::prev(std::upper_bound(writes_.begin(), writes_.end(), next, kBefore));
    Clock::time_point at = std::max(
        write.at, lastEntry_ + (write.rate ? std::chrono::nanoseconds(1'000'000'000ull / write.rate)
                                           : Clock::duration{}));
    if (next >= kTxCapacity) {
      // Room for this byte came when the byte kTxCapacity before it left.
      const auto room =
          std::upper_bound(departures_.begin(), departures_.end(), next - kTxCapacity, kBefore);
      if (room != departures_.end()) at = std::max(at, room->at);
    }
    entries_.push_back(at);
    lastEntry_ = at;
  }
  return entries_[index - taken_];
}

Clock::time_point Chip::NextWriteNoSooner() const {
  const bool waits = closed_ || state_ == ConsoleState::Writing ||
                     (state_ == ConsoleState::Reading && (rx_.empty() || !draining_));
  return waits ? Clock::time_point::max() : consoleClock_;
}

void Chip::Take(uint64_t count, Clock::time_point at) {
  tx_.erase(tx_.begin(), tx_.begin() + static_cast<std::ptrdiff_t>(count));
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
  taken_ += count;
  while (writes_.size() > 1 && writes_[1].index <= taken_) writes_.pop_front();
  departures_.push_back({taken_, at});
  while (departures_.size() > 1 && departures_[1].index + kTxCapacity <= taken_) {
    departures_.pop_front();
  }
  changed_.notify_all();
}

int Chip::BulkIn(uint8_t* data, int length, int* transferred, unsigned timeoutMs) {
  const Clock::time_point deadline = DeadlineAfter(timeoutMs);
  std::unique_lock lock(mutex_);
  Clock::time_point cursor = Clock::now();
  int out = 0;
  int result = 0;
  while (out + kPacketSize <= length) {
    if (unplugged_ || closed_) {
      result = LIBUSB_ERROR_NO_DEVICE;
      break;
    }
    const uint64_t waiting = tx_.size();
    const Clock::time_point fullAt = waiting >= kPayload
                                         ? std::max(Entry(taken_ + kPayload - 1), cursor)
                                         : Clock::time_point::max();
    const Clock::time_point latencyDue =
        std::max(lastPacket_ + std::chrono::milliseconds(settings_.latencyMs), cursor);
    const Clock::time_point quietUntil = NextWriteNoSooner();
    const bool full = fullAt <= latencyDue;
    const Clock::time_point due = full ? fullAt : latencyDue;
    if (due > deadline && quietUntil > deadline) {
      cursor = std::max(cursor, deadline);
      result = LIBUSB_ERROR_TIMEOUT;
      break;
    }
    if (due <= deadline && (full || quietUntil > latencyDue)) {
      uint64_t payload = full ? kPayload : 0;
      while (!full && payload < waiting && Entry(taken_ + payload) <= latencyDue) ++payload;
      std::copy(kModemStatus, kModemStatus + 2, data + out);
      std::copy_n(tx_.begin(), payload, data + out + 2);
      out += static_cast<int>(payload + 2);
      cursor = lastPacket_ = due;
      Take(payload, due);
      if (!full) break;  // a short packet ends the transfer
      continue;
    }
    // The console's thread could still write something the chip would send sooner.
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      cursor = std::max(cursor, Clock::now());
      result = LIBUSB_ERROR_TIMEOUT;
      break;
    }
  }
  lock.unlock();
  // The packets were decided ahead of time; the host has them when the chip would have sent them.
  std::this_thread::sleep_until(cursor);
  *transferred = out;
  return result;
}

int Chip::BulkOut(const uint8_t* data, int length, int* transferred, unsigned timeoutMs) {
  const Clock::time_point deadline = DeadlineAfter(timeoutMs);
  std::unique_lock lock(mutex_);
  int sent = 0;
  int result = 0;
  while (sent < length) {
    if (unplugged_ || closed_) {
      result = LIBUSB_ERROR_NO_DEVICE;
      break;
    }
    const size_t packet = std::min(kPacketSize, length - sent);
    if (kRxCapacity - rx_.size() >= packet) {
      rx_.insert(rx_.end(), data + sent, data + sent + packet);
      rxAt_ = Clock::now();
      sent += static_cast<int>(packet);
      changed_.notify_all();
      continue;
    }
    // The chip answers NAK while its buffer is full.
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      result = LIBUSB_ERROR_TIMEOUT;
      break;
    }
  }
  *transferred = sent;
  return result;
}

int Chip::Control(uint8_t requestType, uint8_t request, uint16_t value) {
  std::lock_guard lock(mutex_);
  if (unplugged_) return LIBUSB_ERROR_NO_DEVICE;
  if (requestType != kVendorOut) return LIBUSB_ERROR_PIPE;
  switch (request) {
    case kReset:
      if (value == 0 || value == kPurgeHostToConsole) rx_.clear();
      if (value == 0 || value == kPurgeConsoleToHost) {
        // Bytes the console has not yet put into the chip are still to come.
        const Clock::time_point now = Clock::now();
        uint64_t entered = 0;
        while (entered < std::min<uint64_t>(tx_.size(), kTxCapacity) &&
               Entry(taken_ + entered) <= now) {
          ++entered;
        }
        Take(entered, now);
      }
      changed_.notify_all();
      return 0;
    case kLatency:
      if (!pinnedLatencyMs_) settings_.latencyMs = std::max(1, value & 0xFF);
      return 0;
    case kFlowCtrl:
      settings_.flowControl = value;
      return 0;
    case kBitMode:
      settings_.bitMode = value >> 8;
      return 0;
    case kBaudRate:
      return 0;
    default:
      return LIBUSB_ERROR_PIPE;
  }
}

bool Chip::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  std::unique_lock lock(mutex_);
  size_t got = 0;
  while (got < count) {
    state_ = ConsoleState::Reading;
    changed_.notify_all();
    changed_.wait(lock, [&] { return closed_ || (draining_ && !rx_.empty()); });
    state_ = ConsoleState::Busy;
    if (closed_) return false;
    consoleClock_ = std::max(consoleClock_, rxAt_);
    const size_t part = std::min(count - got, rx_.size());
    std::copy_n(rx_.begin(), part, out + got);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(part));
    got += part;
    changed_.notify_all();
  }
  return true;
}

// The console's bytes queue up behind the chip's buffer at once; the call returns once the last
// of them has entered the chip, as the console's own write would.
bool Chip::Write(const void* buffer, size_t count) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  if (count == 0) return true;
  writes_.push_back({taken_ + tx_.size(), consoleClock_, rate_});
  tx_.insert(tx_.end(), bytes, bytes + count);
  const uint64_t last = taken_ + tx_.size() - 1;
  state_ = ConsoleState::Writing;
  changed_.notify_all();
  changed_.wait(lock, [&] { return closed_ || last < taken_ + kTxCapacity; });
  state_ = ConsoleState::Busy;
  if (closed_) return false;
  consoleClock_ = std::max(consoleClock_, last >= taken_ ? Entry(last) : lastEntry_);
  return true;
}

void Chip::Pause(std::chrono::microseconds duration) {
  Clock::time_point until;
  {
    std::lock_guard lock(mutex_);
    until = consoleClock_ += duration;
  }
  changed_.notify_all();
  std::this_thread::sleep_until(until);
}

}  // namespace zemlo::usbdouble
