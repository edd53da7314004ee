#include "link/link.h"

#include <mutex>

#include "link/ui_port.h"

namespace zemlo {

std::atomic<FT_HANDLE> g_ftHandle{nullptr};
std::atomic<FT_STATUS> LinkStatus{FT_OK};
std::atomic<int32_t> g_connected{0};
std::atomic<uint32_t> g_bytesRead{0};
std::atomic<uint32_t> g_bytesWritten{0};
std::atomic<uint64_t> g_linkBytesTotal{0};

namespace {

constexpr char kConnectCaption[] = "USB ERROR";
constexpr char kTransmitCaption[] = "TRANSMIT ERROR";

std::unique_ptr<D2xxDriver> g_driver;

void ConnectFailed(const char* text, const std::string& detail = {}) {
  Ui().ShowMessage(text, kConnectCaption, MessageIcon::Error, MessageOwner::None, detail);
}

// Steps 2 to 5 of the connect sequence: each a driver call and the message for its failure.
bool ConfigureAdapter(D2xxDriver& driver, FT_HANDLE handle) {
  FT_STATUS status = driver.FT_ResetDevice(handle);
  LinkStatus = status;
  if (status != FT_OK) {
    ConnectFailed("Error: Couldn't reset device.");
    return false;
  }
  status = driver.FT_SetTimeouts(handle, kConnectTimeoutMs, kConnectTimeoutMs);
  LinkStatus = status;
  if (status != FT_OK) {
    ConnectFailed("Error: Couldn't set timeouts.");
    return false;
  }
  status = driver.FT_Purge(handle, FT_PURGE_RX);
  if (status == FT_OK) status = driver.FT_Purge(handle, FT_PURGE_TX);
  LinkStatus = status;
  if (status != FT_OK) {
    ConnectFailed("Error: Couldn't purge buffers.");
    return false;
  }
  status = driver.FT_SetUSBParameters(handle, kUsbTransferSize, kUsbTransferSize);
  LinkStatus = status;
  if (status != FT_OK) {
    ConnectFailed("Error: Couldn't set USB Parameters.");
    return false;
  }
  return true;
}

}  // namespace

void InstallDriver(std::unique_ptr<D2xxDriver> driver) {
  g_driver = std::move(driver);
}

D2xxDriver* ActiveDriver() {
  return g_driver.get();
}

int ConnectAdapter() {
  D2xxDriver* driver = ActiveDriver();
  // Connecting again while open starts from a closed adapter: a device that is still held open
  // cannot be opened a second time, and the old handle would leak.
  if (FT_HANDLE previous = g_ftHandle.exchange(nullptr); previous && driver) {
    driver->FT_Close(previous);
  }
  FT_HANDLE handle = nullptr;
  FT_STATUS status = driver ? driver->FT_OpenEx(kAdapterSerial, FT_OPEN_BY_SERIAL_NUMBER, &handle)
                            : FT_DEVICE_NOT_FOUND;
  LinkStatus = status;
  if (status != FT_OK || handle == nullptr) {
    ConnectFailed("Error: Couldn't connect to USB Zemlo. Please check connection",
                  driver ? driver->OpenFailure() : std::string());
    return 0;
  }
  if (!ConfigureAdapter(*driver, handle)) {
    LinkStatus = driver->FT_Close(handle);
    return 0;
  }
  g_ftHandle = handle;
  return 1;
}

FT_STATUS PurgeLink() {
  D2xxDriver* driver = ActiveDriver();
  FT_HANDLE handle = g_ftHandle.load();
  if (!driver || !handle) return FT_OK;
  driver->FT_Purge(handle, FT_PURGE_RX);
  return driver->FT_Purge(handle, FT_PURGE_TX);
}

namespace {

template <typename Call>
TransferResult Transfer(uint32_t count, std::atomic<uint32_t>& moved, const char* fatalText,
                        Call call) {
  D2xxDriver* driver = ActiveDriver();
  FT_HANDLE handle = g_ftHandle.load();
  uint32_t done = 0;
  FT_STATUS status = (driver && handle) ? call(*driver, handle, &done) : FT_INVALID_HANDLE;
  moved = done;
  g_linkBytesTotal += done;
  LinkStatus = status;
  if (status != FT_OK) {
    Ui().ShowMessage(fatalText, kTransmitCaption, MessageIcon::Error, MessageOwner::None);
    LinkShutdown();
    return TRANSFER_FAILED;
  }
  return done == count ? TRANSFER_COMPLETE : TRANSFER_SHORT;
}

}  // namespace

TransferResult ReadExact(void* buffer, uint32_t count, std::atomic<uint32_t>& moved) {
  return Transfer(count, moved, "Error: Fatal USB Read Error. Exiting.",
                  [&](D2xxDriver& driver, FT_HANDLE handle, uint32_t* done) {
                    return driver.FT_Read(handle, buffer, count, done);
                  });
}

TransferResult WriteExact(const void* buffer, uint32_t count, std::atomic<uint32_t>& moved) {
  return Transfer(count, moved, "Error: Fatal USB Write Error. Exiting.",
                  [&](D2xxDriver& driver, FT_HANDLE handle, uint32_t* done) {
                    return driver.FT_Write(handle, buffer, count, done);
                  });
}

void LinkShutdown() {
  if (FT_HANDLE handle = g_ftHandle.exchange(nullptr)) {
    if (D2xxDriver* driver = ActiveDriver()) driver->FT_Close(handle);
  }
  g_connected = 0;
  Ui().RequestQuit(0);
}

FT_STATUS SetLinkTimeouts(uint32_t readMs, uint32_t writeMs) {
  D2xxDriver* driver = ActiveDriver();
  FT_HANDLE handle = g_ftHandle.load();
  if (!driver || !handle) return FT_INVALID_HANDLE;
  return driver->FT_SetTimeouts(handle, readMs, writeMs);
}

}  // namespace zemlo
