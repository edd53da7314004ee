#include "link/driver_ftdi.h"

#include <ftdi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <mutex>
#include <thread>

#include "link/deadline.h"
#include "link/handle_table.h"

namespace zemlo {
namespace {

constexpr int kFtdiVendor = 0x0403;
// FT232R/FT245R, FT2232, FT4232, FT232H, FT-X: the chips the adapter has been built on.
constexpr std::array<int, 5> kFtdiProducts = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

// One USB transfer waits at most this long. The chip answers every latency period (16 ms) even
// with nothing to send, so only a device that has gone away takes this long; the read loop
// itself keeps to the D2XX read time-out.
constexpr int kUsbTransferTimeoutMs = 1000;

struct ContextFree {
  void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using ContextPtr = std::unique_ptr<ftdi_context, ContextFree>;

// libftdi keeps the read side (its read buffer) and the write side in one context; each side has
// its own lock so that a worker's read and the UI thread's purge and one-byte write can run at
// the same time, as they do with the vendor's driver.
class FtdiConnection {
 public:
  explicit FtdiConnection(ContextPtr context) : context_(std::move(context)) {
    context_->usb_read_timeout = kUsbTransferTimeoutMs;
  }
  ~FtdiConnection() { Close(); }
  FtdiConnection(const FtdiConnection&) = delete;
  FtdiConnection& operator=(const FtdiConnection&) = delete;

  FT_STATUS Reset() {
    std::scoped_lock lock(readMutex_, writeMutex_);
    if (!open_) return FT_IO_ERROR;
    return ftdi_usb_reset(context_.get()) == 0 ? FT_OK : FT_IO_ERROR;
  }

  void SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    readMs_ = readMs;
    writeMs_ = writeMs;
  }

  FT_STATUS Purge(uint32_t mask) {
    if (mask & FT_PURGE_RX) {
      std::lock_guard lock(readMutex_);
      if (!open_ || ftdi_tciflush(context_.get()) != 0) return FT_IO_ERROR;
    }
    if (mask & FT_PURGE_TX) {
      std::lock_guard lock(writeMutex_);
      if (!open_ || ftdi_tcoflush(context_.get()) != 0) return FT_IO_ERROR;
    }
    return FT_OK;
  }

  FT_STATUS SetTransferSizes(uint32_t inSize, uint32_t outSize) {
    std::scoped_lock lock(readMutex_, writeMutex_);
    if (!open_) return FT_IO_ERROR;
    if (ftdi_read_data_set_chunksize(context_.get(), inSize) != 0 ||
        ftdi_write_data_set_chunksize(context_.get(), outSize) != 0) {
      return FT_IO_ERROR;
    }
    return FT_OK;
  }

  // D2XX semantics: wait up to the read time-out for the whole count, return what arrived.
  FT_STATUS Read(uint8_t* buffer, uint32_t count, uint32_t* moved) {
    const Deadline deadline(EffectiveTimeoutMs(readMs_));
    uint32_t got = 0;
    while (got < count) {
      int n = 0;
      {
        std::lock_guard lock(readMutex_);
        if (!open_) {
          *moved = got;
          return FT_IO_ERROR;
        }
        const int want = static_cast<int>(std::min<uint32_t>(count - got, INT_MAX));
        n = ftdi_read_data(context_.get(), buffer + got, want);
      }
      if (n < 0) {
        *moved = got;
        return FT_IO_ERROR;
      }
      got += static_cast<uint32_t>(n);
      if (got == count || deadline.Passed()) break;
      // Nothing came this latency period: let a purge or a close in between.
      if (n == 0) std::this_thread::yield();
    }
    *moved = got;
    return FT_OK;
  }

  FT_STATUS Write(const uint8_t* buffer, uint32_t count, uint32_t* moved) {
    std::lock_guard lock(writeMutex_);
    *moved = 0;
    if (!open_) return FT_IO_ERROR;
    if (count == 0) return FT_OK;
    context_->usb_write_timeout = static_cast<int>(EffectiveTimeoutMs(writeMs_));
    uint32_t sent = 0;
    while (sent < count) {
      const int want = static_cast<int>(std::min<uint32_t>(count - sent, INT_MAX));
      const int n = ftdi_write_data(context_.get(), buffer + sent, want);
      if (n < 0) {
        *moved = sent;
        return FT_IO_ERROR;
      }
      if (n == 0) break;
      sent += static_cast<uint32_t>(n);
    }
    *moved = sent;
    return FT_OK;
  }

  // A read in another thread finishes its current USB transfer first, then sees the closed
  // device and returns an error. The context itself lives until the last user lets go.
  void Close() {
    std::scoped_lock lock(readMutex_, writeMutex_);
    if (!open_) return;
    open_ = false;
    ftdi_usb_close(context_.get());
  }

 private:
  ContextPtr context_;
  std::mutex readMutex_;
  std::mutex writeMutex_;
  bool open_ = true;  // guarded by both mutexes: held by either to read, by both to change
  std::atomic<uint32_t> readMs_{0};
  std::atomic<uint32_t> writeMs_{0};
};

class FtdiDriver final : public HandleDriver<FtdiConnection> {
 public:
  FT_STATUS FT_OpenEx(const char* serial, uint32_t flags, FT_HANDLE* handle) override {
    if (!handle || !serial || flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
    ContextPtr context(ftdi_new());
    if (!context) return FT_DEVICE_NOT_FOUND;  // no USB support on this machine
    for (int product : kFtdiProducts) {
      if (ftdi_usb_open_desc(context.get(), kFtdiVendor, product, nullptr, serial) == 0) {
        *handle = handles_.Add(std::make_shared<FtdiConnection>(std::move(context)));
        return FT_OK;
      }
    }
    return FT_DEVICE_NOT_FOUND;
  }

  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->Reset() : FT_INVALID_HANDLE;
  }

  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->Purge(mask) : FT_INVALID_HANDLE;
  }

  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize) override {
    auto connection = handles_.Find(handle);
    return connection ? connection->SetTransferSizes(inSize, outSize) : FT_INVALID_HANDLE;
  }
};

}  // namespace

std::unique_ptr<D2xxDriver> MakeFtdiDriver() {
  return std::make_unique<FtdiDriver>();
}

}  // namespace zemlo
