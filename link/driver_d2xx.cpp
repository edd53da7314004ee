#include "link/driver_d2xx.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "link/shared_library.h"

// The vendor's entry points are WINAPI (__stdcall), which matters for a 32-bit Windows build.
#if defined(_WIN32) && !defined(_WIN64)
#define ZEMLO_D2XX_CALL __stdcall
#else
#define ZEMLO_D2XX_CALL
#endif

namespace zemlo {
namespace {

// The vendor's C interface: ULONG status, DWORD arguments. Both are 32 bits wide on every
// platform the library ships for, but its headers spell DWORD per platform; the counts it writes
// back therefore land in a zeroed 64-bit slot of which only the low 32 bits are taken, so a wider
// DWORD could never write past our variable.
using VendorStatus = uint32_t;
using VendorDword = uint32_t;
using OpenExFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* arg, VendorDword flags, void** handle);
using HandleFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* handle);
using SetTimeoutsFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* handle, VendorDword readMs,
                                                     VendorDword writeMs);
using PurgeFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* handle, VendorDword mask);
using SetUsbParametersFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* handle, VendorDword inSize,
                                                          VendorDword outSize);
using ReadFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* handle, void* buffer, VendorDword count,
                                              void* moved);
using WriteFn = VendorStatus(ZEMLO_D2XX_CALL*)(void* handle, void* buffer, VendorDword count,
                                               void* moved);

struct D2xxApi {
  OpenExFn openEx = nullptr;
  HandleFn resetDevice = nullptr;
  SetTimeoutsFn setTimeouts = nullptr;
  PurgeFn purge = nullptr;
  SetUsbParametersFn setUsbParameters = nullptr;
  ReadFn read = nullptr;
  WriteFn write = nullptr;
  HandleFn close = nullptr;
};

class MovedSlot {
 public:
  void* get() { return bytes_; }
  uint32_t value() const {
    uint32_t value = 0;
    std::memcpy(&value, bytes_, sizeof value);
    return value;
  }

 private:
  alignas(8) unsigned char bytes_[8] = {};
};

template <typename Fn>
bool Resolve(LibraryHandle library, const char* name, Fn& function) {
  function = reinterpret_cast<Fn>(FindSymbol(library, name));
  return function != nullptr;
}

std::shared_ptr<const D2xxApi> LoadFrom(const std::string& path) {
  LibraryHandle library = OpenLibrary(path);
  if (!library) return nullptr;
  auto api = std::make_shared<D2xxApi>();
  const bool complete = Resolve(library, "FT_OpenEx", api->openEx) &&
                        Resolve(library, "FT_ResetDevice", api->resetDevice) &&
                        Resolve(library, "FT_SetTimeouts", api->setTimeouts) &&
                        Resolve(library, "FT_Purge", api->purge) &&
                        Resolve(library, "FT_SetUSBParameters", api->setUsbParameters) &&
                        Resolve(library, "FT_Read", api->read) &&
                        Resolve(library, "FT_Write", api->write) &&
                        Resolve(library, "FT_Close", api->close);
  if (!complete) {
    CloseLibrary(library);
    return nullptr;
  }
  return api;
}

// A library that loaded stays loaded for the rest of the process: the vendor's library runs
// threads of its own, and unloading it under them (or under a handle still open somewhere)
// would crash. Each path is loaded once.
std::vector<std::string> Candidates(const std::string& requested) {
  if (!requested.empty()) return {requested};
  if (const char* fromEnvironment = std::getenv(kD2xxLibraryVariable);
      fromEnvironment && *fromEnvironment) {
    return {fromEnvironment};
  }
  return D2xxLibraryNames();
}

std::string Joined(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) text += (text.empty() ? "" : ", ") + path;
  return text;
}

std::shared_ptr<const D2xxApi> Load(const std::string& requested) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const D2xxApi>> loaded;

  const std::vector<std::string> candidates = Candidates(requested);

  std::lock_guard lock(mutex);
  for (const std::string& path : candidates) {
    if (auto found = loaded.find(path); found != loaded.end()) return found->second;
    if (auto api = LoadFrom(path)) {
      loaded.emplace(path, api);
      return api;
    }
  }
  return nullptr;
}

class D2xxLibraryDriver final : public D2xxDriver {
 public:
  D2xxLibraryDriver(std::shared_ptr<const D2xxApi> api, std::string tried)
      : api_(std::move(api)), tried_(std::move(tried)) {}

  FT_STATUS FT_OpenEx(const char* serial, uint32_t flags, FT_HANDLE* handle) override {
    if (!api_) {
      failure_ = "The vendor's D2XX library could not be loaded (tried " + tried_ +
                 "). Install it, name its path in " + kD2xxLibraryVariable +
                 ", or use --adapter ftdi.";
      return FT_DEVICE_NOT_FOUND;
    }
    if (!handle) return FT_INVALID_PARAMETER;
    // The vendor's open takes a mutable pointer but only reads the serial number.
    const FT_STATUS status = api_->openEx(const_cast<char*>(serial), flags, handle);
    failure_.clear();
    if (status != FT_OK) {
      failure_ = "The vendor's D2XX library (" + tried_ + ") could not open the adapter \"" +
                 std::string(serial ? serial : "") + "\" (FT_OpenEx status " +
                 std::to_string(status) +
                 "). On Linux it cannot open a device held by the ftdi_sio kernel driver; "
                 "--adapter ftdi detaches that driver itself.";
    }
    return status;
  }
  std::string OpenFailure() const override { return failure_; }
  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override {
    return api_ ? api_->resetDevice(handle) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
    return api_ ? api_->setTimeouts(handle, readMs, writeMs) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
    return api_ ? api_->purge(handle, mask) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize) override {
    return api_ ? api_->setUsbParameters(handle, inSize, outSize) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* moved) override {
    *moved = 0;
    if (!api_) return FT_INVALID_HANDLE;
    MovedSlot slot;
    const FT_STATUS status = api_->read(handle, buffer, count, slot.get());
    *moved = std::min(slot.value(), count);
    return status;
  }
  FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                     uint32_t* moved) override {
    *moved = 0;
    if (!api_) return FT_INVALID_HANDLE;
    MovedSlot slot;
    // Declared with a mutable buffer by the vendor; a write only reads it.
    const FT_STATUS status = api_->write(handle, const_cast<void*>(buffer), count, slot.get());
    *moved = std::min(slot.value(), count);
    return status;
  }
  FT_STATUS FT_Close(FT_HANDLE handle) override {
    return api_ ? api_->close(handle) : FT_INVALID_HANDLE;
  }

 private:
  std::shared_ptr<const D2xxApi> api_;
  std::string tried_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<D2xxDriver> MakeD2xxDriver(std::string libraryPath) {
  return std::make_unique<D2xxLibraryDriver>(Load(libraryPath), Joined(Candidates(libraryPath)));
}

bool D2xxLibraryAvailable() {
  return Load("") != nullptr;
}

}  // namespace zemlo
