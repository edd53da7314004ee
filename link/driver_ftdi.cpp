#include "link/driver_ftdi.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "link/deadline.h"
#include "link/driver_ftdi_finder.h"
#include "link/handle_table.h"

namespace zemlo {
namespace {

// The chip sends what it holds once this long has passed since its last packet. The last two
// bytes of every 61,444-byte disc packet wait that long before the client can acknowledge it: at
// the power-up value (16 ms) a disc takes about 1.3 times the link's floor, at 2 ms about 1.04,
// at 1 ms about 1.025 (bench/link/). An idle chip sends a status packet each period.
constexpr unsigned char kLatencyTimerMs = 1;

// Every bulk IN packet starts with the chip's two modem-status bytes.
constexpr uint32_t kStatusBytes = 2;
// A transfer asks for at most this many packets (64 KiB): a whole disc or memory packet in one
// request, which libusb hands the host controller all at once, so the chip is polled without a
// gap. Between two synchronous requests nobody polls it, and its 256-byte buffer fills in a
// quarter of a millisecond at 1 MB/s.
constexpr uint32_t kMaxPacketsPerRequest = 1024;
constexpr uint32_t kMaxWriteRequest = 16384;
// No single USB transfer waits longer, so that a close from another thread is never held up
// for long; the D2XX time-out spans as many transfers as it needs.
constexpr uint32_t kTransferSliceMs = 200;

struct ContextFree {
  void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using ContextPtr = std::unique_ptr<ftdi_context, ContextFree>;

// Bulk transfers go straight to libusb on the handle libftdi opened: libftdi's own read and write
// calls give up the bytes already moved when a transfer times out, and its read keeps waiting
// past the caller's time-out while bytes trickle in. libftdi keeps the open, the reset, the
// purges and the chip settings.
class FtdiConnection {
 public:
  explicit FtdiConnection(ContextPtr context)
      : context_(std::move(context)),
        packetSize_(std::max<uint32_t>(context_->max_packet_size, kStatusBytes + 1)),
        usbBuffer_(kMaxPacketsPerRequest * packetSize_) {}
  ~FtdiConnection() { Close(); }
  FtdiConnection(const FtdiConnection&) = delete;
  FtdiConnection& operator=(const FtdiConnection&) = delete;

  // What a previous program left in the chip (latency, flow control, bit-bang mode) is not ours.
  bool ApplySettings() {
    std::shared_lock life(lifeMutex_);
    return !closing_ && ftdi_set_bitmode(context_.get(), 0, BITMODE_RESET) == 0 &&
           ftdi_setflowctrl(context_.get(), SIO_DISABLE_FLOW_CTRL) == 0 &&
           ftdi_set_latency_timer(context_.get(), kLatencyTimerMs) == 0;
  }

  FT_STATUS Reset() {
    {
      std::shared_lock life(lifeMutex_);
      if (closing_ || ftdi_usb_reset(context_.get()) != 0) return FT_IO_ERROR;
    }
    DropPending();
    return ApplySettings() ? FT_OK : FT_IO_ERROR;
  }

  void SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    readMs_ = readMs;
    writeMs_ = writeMs;
  }

  FT_STATUS Purge(uint32_t mask) {
    std::shared_lock life(lifeMutex_);
    if (closing_) return FT_IO_ERROR;
    if (mask & FT_PURGE_RX) {
      DropPending();
      if (ftdi_tciflush(context_.get()) != 0) return FT_IO_ERROR;
    }
    if ((mask & FT_PURGE_TX) && ftdi_tcoflush(context_.get()) != 0) return FT_IO_ERROR;
    return FT_OK;
  }

  // The vendor driver's transfer sizes are its own buffers; ours are fixed.
  FT_STATUS SetTransferSizes() {
    std::shared_lock life(lifeMutex_);
    return closing_ ? FT_IO_ERROR : FT_OK;
  }

  // D2XX semantics: wait up to the read time-out for the whole count, return what arrived.
  FT_STATUS Read(uint8_t* buffer, uint32_t count, uint32_t* moved) {
    std::lock_guard reading(readMutex_);
    const Deadline deadline(EffectiveTimeoutMs(readMs_));
    uint32_t got = TakePending(buffer, count);
    const uint32_t payload = packetSize_ - kStatusBytes;
    // One transfer is made even when the time-out has already passed (a busy machine may start
    // the call late): what the chip holds is returned, as the vendor's driver does.
    for (bool first = true; got < count; first = false) {
      const int left = std::max(deadline.RemainingMs(), first ? 1 : 0);
      if (left == 0) break;
      const uint32_t packets =
          std::min((count - got + payload - 1) / payload, kMaxPacketsPerRequest);
      int actual = 0;
      int rc = 0;
      {
        std::shared_lock life(lifeMutex_);
        if (closing_) break;
        rc = libusb_bulk_transfer(context_->usb_dev, static_cast<unsigned char>(context_->out_ep),
                                  usbBuffer_.data(), static_cast<int>(packets * packetSize_),
                                  &actual, std::min<unsigned>(left, kTransferSliceMs));
      }
      // A transfer that timed out still delivered the packets it received.
      got += Unpack(static_cast<uint32_t>(std::max(actual, 0)), buffer + got, count - got);
      if (rc != 0 && rc != LIBUSB_ERROR_TIMEOUT) {
        *moved = got;
        return FT_IO_ERROR;
      }
    }
    *moved = got;
    return closing_ ? FT_IO_ERROR : FT_OK;
  }

  // D2XX semantics: a time-out is not an error; the caller sees how many bytes went out.
  FT_STATUS Write(const uint8_t* buffer, uint32_t count, uint32_t* moved) {
    std::lock_guard writing(writeMutex_);
    const Deadline deadline(EffectiveTimeoutMs(writeMs_));
    uint32_t sent = 0;
    // As for reads: what fits into the chip goes out even when the call starts late.
    for (bool first = true; sent < count; first = false) {
      const int left = std::max(deadline.RemainingMs(), first ? 1 : 0);
      if (left == 0) break;
      int actual = 0;
      int rc = 0;
      {
        std::shared_lock life(lifeMutex_);
        if (closing_) break;
        // libusb only reads from an OUT transfer's buffer.
        rc = libusb_bulk_transfer(context_->usb_dev, static_cast<unsigned char>(context_->in_ep),
                                  const_cast<uint8_t*>(buffer + sent),
                                  static_cast<int>(std::min(count - sent, kMaxWriteRequest)),
                                  &actual, std::min<unsigned>(left, kTransferSliceMs));
      }
      sent += static_cast<uint32_t>(std::max(actual, 0));
      if (rc != 0 && rc != LIBUSB_ERROR_TIMEOUT) {
        *moved = sent;
        return FT_IO_ERROR;
      }
    }
    *moved = sent;
    return closing_ ? FT_IO_ERROR : FT_OK;
  }

  // A transfer in flight in another thread ends within one slice; the close waits for it, and
  // that thread's call then returns an error.
  void Close() {
    closing_ = true;
    std::unique_lock life(lifeMutex_);
    if (closed_) return;
    closed_ = true;
    ftdi_usb_close(context_.get());
  }

 private:
  // Strips the status bytes of each packet in usbBuffer_[0, length); the payload fills `out` up
  // to `room` and the rest waits for the next read.
  uint32_t Unpack(uint32_t length, uint8_t* out, uint32_t room) {
    uint32_t written = 0;
    std::lock_guard lock(pendingMutex_);
    for (uint32_t at = 0; at < length; at += packetSize_) {
      const uint32_t end = std::min(length, at + packetSize_);
      if (end <= at + kStatusBytes) continue;
      const uint8_t* data = usbBuffer_.data() + at + kStatusBytes;
      const uint32_t size = end - at - kStatusBytes;
      const uint32_t direct = std::min(size, room - written);
      std::memcpy(out + written, data, direct);
      written += direct;
      pending_.insert(pending_.end(), data + direct, data + size);
    }
    return written;
  }

  uint32_t TakePending(uint8_t* out, uint32_t count) {
    std::lock_guard lock(pendingMutex_);
    const uint32_t taken = std::min<uint32_t>(count, static_cast<uint32_t>(pending_.size()));
    if (taken == 0) return 0;  // an empty buffer may have no storage to copy from
    std::memcpy(out, pending_.data(), taken);
    pending_.erase(pending_.begin(), pending_.begin() + taken);
    return taken;
  }

  void DropPending() {
    std::lock_guard lock(pendingMutex_);
    pending_.clear();
  }

  ContextPtr context_;
  const uint32_t packetSize_;
  std::mutex readMutex_;   // one reader at a time; guards usbBuffer_
  std::mutex writeMutex_;  // one writer at a time
  std::mutex pendingMutex_;
  std::vector<uint8_t> usbBuffer_;
  std::vector<uint8_t> pending_;  // payload that arrived beyond what a read asked for
  // Shared by every USB call, exclusive for the close that frees the libusb handle.
  std::shared_mutex lifeMutex_;
  std::atomic<bool> closing_{false};
  bool closed_ = false;  // guarded by lifeMutex_
  std::atomic<uint32_t> readMs_{0};
  std::atomic<uint32_t> writeMs_{0};
};

class FtdiDriver final : public HandleDriver<FtdiConnection> {
 public:
  FT_STATUS FT_OpenEx(const char* serial, uint32_t flags, FT_HANDLE* handle) override {
    if (!handle || !serial || flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
    failure_.clear();
    ContextPtr context(ftdi_new());
    if (!context) {
      failure_ = "libftdi1 could not start libusb (no USB support on this machine?)";
      return FT_DEVICE_NOT_FOUND;
    }
    FtdiOpenResult result = OpenFtdiBySerial(context.get(), serial);
    if (!result.opened) {
      failure_ = std::move(result.failure);
      return FT_DEVICE_NOT_FOUND;
    }
    auto connection = std::make_shared<FtdiConnection>(std::move(context));
    if (!connection->ApplySettings()) {
      failure_ = "The adapter did not accept its settings (latency timer, flow control).";
      return FT_IO_ERROR;
    }
    *handle = handles_.Add(std::move(connection));
    return FT_OK;
  }

  std::string OpenFailure() const override { return failure_; }

  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->Reset() : FT_INVALID_HANDLE;
  }

  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->Purge(mask) : FT_INVALID_HANDLE;
  }

  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t, uint32_t) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->SetTransferSizes() : FT_INVALID_HANDLE;
  }

 private:
  std::string failure_;  // the connecting thread's own
};

}  // namespace

std::unique_ptr<D2xxDriver> MakeFtdiDriver() {
  return std::make_unique<FtdiDriver>();
}

}  // namespace zemlo
