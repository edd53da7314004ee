#include "link/driver_auto.h"

#include <map>
#include <mutex>

namespace zemlo {
namespace {

class AutoDriver final : public D2xxDriver {
 public:
  AutoDriver(std::unique_ptr<D2xxDriver> first, std::unique_ptr<D2xxDriver> second)
      : first_(std::move(first)), second_(std::move(second)) {}

  FT_STATUS FT_OpenEx(const char* serial, uint32_t flags, FT_HANDLE* handle) override {
    FT_STATUS status = FT_DEVICE_NOT_FOUND;
    std::string failure;
    for (D2xxDriver* driver : {first_.get(), second_.get()}) {
      status = driver->FT_OpenEx(serial, flags, handle);
      if (status == FT_OK) {
        std::lock_guard lock(mutex_);
        owners_[*handle] = driver;
        failure_.clear();
        return FT_OK;
      }
      const std::string why = driver->OpenFailure();
      if (!why.empty()) failure += (failure.empty() ? "" : "\n") + why;
    }
    std::lock_guard lock(mutex_);
    failure_ = failure;
    return status;
  }
  std::string OpenFailure() const override {
    std::lock_guard lock(mutex_);
    return failure_;
  }

  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override {
    D2xxDriver* owner = Owner(handle);
    return owner ? owner->FT_ResetDevice(handle) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
    D2xxDriver* owner = Owner(handle);
    return owner ? owner->FT_SetTimeouts(handle, readMs, writeMs) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
    D2xxDriver* owner = Owner(handle);
    return owner ? owner->FT_Purge(handle, mask) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize) override {
    D2xxDriver* owner = Owner(handle);
    return owner ? owner->FT_SetUSBParameters(handle, inSize, outSize) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* moved) override {
    *moved = 0;
    D2xxDriver* owner = Owner(handle);
    return owner ? owner->FT_Read(handle, buffer, count, moved) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                     uint32_t* moved) override {
    *moved = 0;
    D2xxDriver* owner = Owner(handle);
    return owner ? owner->FT_Write(handle, buffer, count, moved) : FT_INVALID_HANDLE;
  }
  FT_STATUS FT_Close(FT_HANDLE handle) override {
    D2xxDriver* owner = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto found = owners_.find(handle);
      if (found == owners_.end()) return FT_INVALID_HANDLE;
      owner = found->second;
      owners_.erase(found);
    }
    return owner->FT_Close(handle);
  }

 private:
  D2xxDriver* Owner(FT_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto found = owners_.find(handle);
    return found == owners_.end() ? nullptr : found->second;
  }

  std::unique_ptr<D2xxDriver> first_;
  std::unique_ptr<D2xxDriver> second_;
  mutable std::mutex mutex_;
  std::map<FT_HANDLE, D2xxDriver*> owners_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<D2xxDriver> MakeAutoDriver(std::unique_ptr<D2xxDriver> first,
                                           std::unique_ptr<D2xxDriver> second) {
  return std::make_unique<AutoDriver>(std::move(first), std::move(second));
}

}  // namespace zemlo
