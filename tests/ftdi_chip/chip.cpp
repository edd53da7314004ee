#include "tests/ftdi_chip/chip.h"

#include <libusb.h>

#include <algorithm>

namespace zemlo::usbdouble {
namespace {

constexpr int kPayload = Chip::kPacketSize - 2;
constexpr uint8_t kModemStatus[2] = {0x01, 0x60};
constexpr uint8_t kVendorOut = 0x40;

// libftdi's request numbers (its SIO_* names) and the purge values of the reset request.
enum Request : uint8_t {
  kReset = 0,
  kModemCtrl = 1,
  kFlowCtrl = 2,
  kBaudRate = 3,
  kData = 4,
  kPollModem = 5,
  kLatency = 9,
  kGetLatency = 10,
  kBitMode = 11,
};
constexpr uint16_t kPurgeHostToConsole = 1;
constexpr uint16_t kPurgeConsoleToHost = 2;

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
                    [&] { return closed_ || (consoleWaiting_ && rx_.empty()); });
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

Clock::time_point Chip::Arrival(uint64_t index) const {
  auto segment =
      std::prev(std::upper_bound(segments_.begin(), segments_.end(), index,
                                 [](uint64_t at, const Segment& s) { return at < s.first; }));
  if (segment->rate == 0) return segment->start;
  return segment->start +
         std::chrono::nanoseconds((index - segment->first) * 1'000'000'000ull / segment->rate);
}

void Chip::DropTx() {
  tx_.clear();
  segments_.clear();
  taken_ = written_;
}

int Chip::BulkIn(uint8_t* data, int length, int* transferred, unsigned timeoutMs) {
  const Clock::time_point deadline = DeadlineAfter(timeoutMs);
  std::unique_lock lock(mutex_);
  Clock::time_point cursor = Clock::now();
  int out = 0;
  int result = 0;
  bool shortPacket = false;
  while (out + kPacketSize <= length && !shortPacket) {
    if (unplugged_ || closed_) {
      result = LIBUSB_ERROR_NO_DEVICE;
      break;
    }
    const Clock::time_point latencyDue =
        std::max(lastPacket_ + std::chrono::milliseconds(settings_.latencyMs), cursor);
    const uint64_t waiting = written_ - taken_;
    const Clock::time_point fullAt = waiting >= kPayload
                                         ? std::max(Arrival(taken_ + kPayload - 1), cursor)
                                         : Clock::time_point::max();
    size_t payload = 0;
    if (fullAt <= latencyDue && fullAt <= deadline) {
      payload = kPayload;
      cursor = fullAt;
    } else if (latencyDue <= deadline && Clock::now() >= latencyDue) {
      // Whatever the console writes from now on arrives after the timer ran out.
      while (payload < waiting && Arrival(taken_ + payload) <= latencyDue) ++payload;
      cursor = latencyDue;
      shortPacket = true;
    } else if (latencyDue > deadline && fullAt > deadline && Clock::now() >= deadline) {
      result = LIBUSB_ERROR_TIMEOUT;
      break;
    } else {
      changed_.wait_until(lock, std::min(latencyDue, deadline));
      continue;
    }
    std::copy(kModemStatus, kModemStatus + 2, data + out);
    std::copy_n(tx_.begin(), payload, data + out + 2);
    tx_.erase(tx_.begin(), tx_.begin() + static_cast<std::ptrdiff_t>(payload));
    taken_ += payload;
    while (segments_.size() > 1 && segments_[1].first <= taken_) segments_.pop_front();
    out += static_cast<int>(payload + 2);
    lastPacket_ = cursor;
    changed_.notify_all();
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

int Chip::Control(uint8_t requestType, uint8_t request, uint16_t value, uint8_t* data,
                  uint16_t length) {
  std::lock_guard lock(mutex_);
  if (unplugged_) return LIBUSB_ERROR_NO_DEVICE;
  if (requestType != kVendorOut) {
    if (request == kGetLatency && length >= 1) {
      data[0] = static_cast<uint8_t>(settings_.latencyMs);
      return 1;
    }
    if (request == kPollModem && length >= 2) {
      std::copy(kModemStatus, kModemStatus + 2, data);
      return 2;
    }
    return LIBUSB_ERROR_PIPE;
  }
  switch (request) {
    case kReset:
      if (value == 0 || value == kPurgeHostToConsole) {
        rx_.clear();
        ++(value == 0 ? settings_.resets : settings_.rxPurges);
      }
      if (value == 0 || value == kPurgeConsoleToHost) {
        DropTx();
        settings_.txPurges += value != 0;
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
    case kModemCtrl:
    case kBaudRate:
    case kData:
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
    consoleWaiting_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return closed_ || (draining_ && !rx_.empty()); });
    consoleWaiting_ = false;
    if (closed_) return false;
    const size_t part = std::min(count - got, rx_.size());
    std::copy_n(rx_.begin(), part, out + got);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(part));
    got += part;
    changed_.notify_all();
  }
  return true;
}

bool Chip::Write(const void* buffer, size_t count) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  std::unique_lock lock(mutex_);
  while (count > 0) {
    changed_.wait(lock, [&] { return closed_ || written_ - taken_ < kTxCapacity; });
    if (closed_) return false;
    const size_t part = std::min<size_t>(count, kTxCapacity - (written_ - taken_));
    // A byte arrives when the console writes it, but no sooner than the feed rate allows.
    const Clock::time_point now = Clock::now();
    const Clock::time_point next =
        lastArrival_ +
        (rate_ ? std::chrono::nanoseconds(1'000'000'000ull / rate_) : Clock::duration{});
    segments_.push_back({written_, std::max(now, next), rate_});
    tx_.insert(tx_.end(), bytes, bytes + part);
    written_ += part;
    lastArrival_ = Arrival(written_ - 1);
    bytes += part;
    count -= part;
    changed_.notify_all();
  }
  return true;
}

}  // namespace zemlo::usbdouble
