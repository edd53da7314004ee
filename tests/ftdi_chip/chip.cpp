// The modelled chip, and the libusb-1.0 functions libftdi1 (and the ftdi driver) call, answered
// from the modelled bus. Linked into the test executable, these definitions take precedence over
// the real libusb for the shared libftdi1 as well; libftdi1's asynchronous calls are left to the
// real libusb, as nothing here makes them.
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/ftdi_chip/usb_bus.h"

namespace zemlo::usbdouble {
namespace {

using namespace std::chrono_literals;

constexpr int kPacketSize = 64;
constexpr size_t kPayload = kPacketSize - 2;

// libftdi's request numbers (its SIO_* names) and the purge values of the reset request.
enum Request : uint8_t { kReset = 0, kFlowCtrl = 2, kLatency = 9, kBitMode = 11 };
constexpr uint16_t kPurgeHostToConsole = 1;
constexpr uint16_t kPurgeConsoleToHost = 2;

}  // namespace

sim::ConsoleModel& Chip::model() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(5),
                    [&] { return gone_ || (reading_ && rx_.empty()); });
  return console_.model();
}

Clock::time_point Chip::Entry(size_t k) {
  const Clock::duration gap{rate_ ? std::chrono::nanoseconds(1'000'000'000ull / rate_) : 0ns};
  for (; entered_ <= k; ++entered_) {
    // Once written, a feed-rate period after the byte before it, and once there was room.
    lastEntry_ = at_[entered_] =
        std::max({at_[entered_], lastEntry_ + gap, left_[(taken_ + entered_) % kTxCapacity]});
  }
  return at_[k];
}

void Chip::Take(size_t count, Clock::time_point at) {
  for (size_t i = 0; i < count; ++i) left_[(taken_ + i) % kTxCapacity] = at;
  tx_.erase(tx_.begin(), tx_.begin() + static_cast<std::ptrdiff_t>(count));
  at_.erase(at_.begin(), at_.begin() + static_cast<std::ptrdiff_t>(count));
  entered_ -= count;
  taken_ += count;
  changed_.notify_all();
}

int Chip::BulkIn(uint8_t* data, int length, int* transferred, unsigned timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  Clock::time_point cursor = Clock::now();
  int result = 0;
  while (*transferred + kPacketSize <= length) {
    if (gone_) return LIBUSB_ERROR_NO_DEVICE;
    const Clock::time_point latencyDue =
        std::max(lastPacket_ + std::chrono::milliseconds(settings_.latencyMs), cursor);
    const bool full = tx_.size() >= kPayload && Entry(kPayload - 1) <= latencyDue;
    const Clock::time_point due = full ? std::max(Entry(kPayload - 1), cursor) : latencyDue;
    // The soonest the console's thread could still write something.
    const bool quiet = writing_ || (reading_ && (rx_.empty() || !draining_));
    const Clock::time_point busyUntil = quiet ? Clock::time_point::max() : consoleClock_;
    if (due > deadline && busyUntil > deadline) {
      cursor = std::max(cursor, deadline);
      result = LIBUSB_ERROR_TIMEOUT;
      break;
    }
    if (due <= deadline && (full || busyUntil > latencyDue)) {
      size_t payload = full ? kPayload : 0;
      while (payload < tx_.size() && payload < kPayload && Entry(payload) <= due) ++payload;
      uint8_t* packet = data + *transferred;
      packet[0] = 0x01;  // the modem status
      packet[1] = 0x60;
      std::copy_n(tx_.begin(), payload, packet + 2);
      *transferred += static_cast<int>(payload + 2);
      cursor = lastPacket_ = due;
      Take(payload, due);
      if (!full) break;  // a short packet ends the transfer
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      return LIBUSB_ERROR_TIMEOUT;
    }
  }
  lock.unlock();
  // The packets were decided ahead; the host has them when the chip would have sent them.
  std::this_thread::sleep_until(cursor);
  return result;
}

int Chip::BulkOut(const uint8_t* data, int length, int* transferred, unsigned timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  while (*transferred < length) {
    if (gone_) return LIBUSB_ERROR_NO_DEVICE;
    const int packet = std::min(kPacketSize, length - *transferred);
    if (rx_.size() + packet <= kRxCapacity) {
      rx_.insert(rx_.end(), data + *transferred, data + *transferred + packet);
      rxAt_ = Clock::now();
      *transferred += packet;
      changed_.notify_all();
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      return LIBUSB_ERROR_TIMEOUT;  // the chip answered NAK while its buffer was full
    }
  }
  return 0;
}

void Chip::Control(uint8_t request, uint16_t value, uint16_t index) {
  std::lock_guard lock(mutex_);
  if (request == kReset && value != kPurgeConsoleToHost) rx_.clear();
  if (request == kReset && value != kPurgeHostToConsole) {
    // Bytes the console has not yet put into the chip are still to come.
    size_t entered = 0;
    const Clock::time_point now = Clock::now();
    while (entered < std::min(tx_.size(), kTxCapacity) && Entry(entered) <= now) ++entered;
    Take(entered, now);
  }
  if (request == kLatency && !pinnedLatencyMs_) settings_.latencyMs = std::max(1, value & 0xFF);
  if (request == kFlowCtrl) settings_.flowControl = index & 0xFF00;
  if (request == kBitMode) settings_.bitMode = value >> 8;
  changed_.notify_all();
}

bool Chip::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  std::unique_lock lock(mutex_);
  for (size_t got = 0; got < count;) {
    reading_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return gone_ || (draining_ && !rx_.empty()); });
    reading_ = false;
    if (gone_) return false;
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
  tx_.insert(tx_.end(), bytes, bytes + count);
  at_.insert(at_.end(), count, consoleClock_);
  const uint64_t end = taken_ + tx_.size();
  writing_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return gone_ || end <= taken_ + kTxCapacity; });
  writing_ = false;
  if (gone_) return false;
  consoleClock_ = std::max(consoleClock_, end > taken_ ? Entry(end - taken_ - 1) : lastEntry_);
  return true;
}

void Chip::Pause(std::chrono::microseconds duration) {
  std::unique_lock lock(mutex_);
  const Clock::time_point until = consoleClock_ += duration;
  changed_.notify_all();
  changed_.wait_until(lock, until, [&] { return gone_; });
}

}  // namespace zemlo::usbdouble

struct libusb_device {
  std::atomic<int> references{1};
  zemlo::usbdouble::DeviceSpec spec;
  int address = 0;
  std::shared_ptr<zemlo::usbdouble::Chip> chip;
  std::atomic<bool> kernelDriver{false};
};

struct libusb_device_handle {
  libusb_device* device;
};

namespace zemlo::usbdouble {
namespace {

std::mutex g_busMutex;
std::vector<libusb_device*> g_devices;
int g_nextAddress = 2;
std::atomic<int> g_openHandles{0};

void Unref(libusb_device* device) {
  if (--device->references == 0) delete device;
}

}  // namespace

void ClearBus() {
  std::lock_guard lock(g_busMutex);
  for (libusb_device* device : g_devices) Unref(device);
  g_devices.clear();
  g_nextAddress = 2;
}

std::shared_ptr<Chip> Plug(const DeviceSpec& spec) {
  auto* device = new libusb_device{.spec = spec, .kernelDriver = spec.kernelDriver};
  if (spec.withChip) device->chip = std::make_shared<Chip>();
  std::lock_guard lock(g_busMutex);
  device->address = g_nextAddress++;
  g_devices.push_back(device);
  return device->chip;
}

void Unplug(const std::shared_ptr<Chip>& chip) {
  chip->Unplug();
  std::lock_guard lock(g_busMutex);
  std::erase_if(g_devices, [&](libusb_device* device) {
    if (device->chip != chip) return false;
    Unref(device);
    return true;
  });
}

int OpenUsbHandles() {
  return g_openHandles;
}

}  // namespace zemlo::usbdouble

using namespace zemlo::usbdouble;

extern "C" {

int libusb_init(libusb_context** context) {
  if (context) *context = nullptr;
  return 0;
}

void libusb_exit(libusb_context*) {}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  std::lock_guard lock(g_busMutex);
  *list = new libusb_device*[g_devices.size() + 1]();
  for (size_t i = 0; i < g_devices.size(); ++i) (*list)[i] = libusb_ref_device(g_devices[i]);
  return static_cast<ssize_t>(g_devices.size());
}

void libusb_free_device_list(libusb_device** list, int unrefDevices) {
  for (libusb_device** at = list; unrefDevices && *at; ++at) Unref(*at);
  delete[] list;
}

libusb_device* libusb_ref_device(libusb_device* device) {
  ++device->references;
  return device;
}

void libusb_unref_device(libusb_device* device) {
  Unref(device);
}

int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
  *descriptor = {.idVendor = 0x0403,
                 .idProduct = device->spec.product,
                 .bcdDevice = 0x0600,  // the R series
                 .iSerialNumber = device->spec.serial ? uint8_t{3} : uint8_t{0},
                 .bNumConfigurations = 1};
  return 0;
}

int libusb_get_config_descriptor(libusb_device*, uint8_t, libusb_config_descriptor** config) {
  // Configuration 1 without interface descriptors: libftdi1 then takes the R series' 64-byte
  // packets as given.
  static libusb_config_descriptor one = {.bConfigurationValue = 1};
  *config = &one;
  return 0;
}

void libusb_free_config_descriptor(libusb_config_descriptor*) {}

uint8_t libusb_get_bus_number(libusb_device*) {
  return 1;
}

uint8_t libusb_get_device_address(libusb_device* device) {
  return static_cast<uint8_t>(device->address);
}

int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  if (device->spec.openError) return device->spec.openError;
  *handle = new libusb_device_handle{libusb_ref_device(device)};
  ++g_openHandles;
  return 0;
}

void libusb_close(libusb_device_handle* handle) {
  Unref(handle->device);
  delete handle;
  --g_openHandles;
}

int libusb_get_configuration(libusb_device_handle*, int* configuration) {
  *configuration = 1;
  return 0;
}

int libusb_kernel_driver_active(libusb_device_handle* handle, int) {
  return handle->device->kernelDriver ? 1 : 0;
}

int libusb_detach_kernel_driver(libusb_device_handle* handle, int) {
  if (handle->device->spec.kernelDriverStays) {
    errno = EBUSY;
    return LIBUSB_ERROR_OTHER;
  }
  handle->device->kernelDriver = false;
  return 0;
}

int libusb_claim_interface(libusb_device_handle* handle, int) {
  if (handle->device->spec.claimedElsewhere || handle->device->kernelDriver)
    return LIBUSB_ERROR_BUSY;
  return 0;
}

int libusb_release_interface(libusb_device_handle*, int) {
  return 0;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t, unsigned char* data,
                                       int length) {
  const std::string serial = handle->device->spec.serial.value_or("");
  const int size = std::min(length, static_cast<int>(serial.size()));
  std::memcpy(data, serial.data(), static_cast<size_t>(size));
  return size;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char*, uint16_t length,
                            unsigned int) {
  if (handle->device->chip) handle->device->chip->Control(request, value, index);
  return requestType & LIBUSB_ENDPOINT_IN ? length : 0;
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
  *transferred = 0;
  Chip& chip = *handle->device->chip;  // libftdi1 opens only the adapter
  return endpoint & LIBUSB_ENDPOINT_IN ? chip.BulkIn(data, length, transferred, timeout)
                                       : chip.BulkOut(data, length, transferred, timeout);
}

}  // extern "C"
