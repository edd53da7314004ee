// The open handles of a driver back end. A handle is a number that is never reused, so a stale
// or closed handle is refused instead of reaching freed state; whoever is inside a call keeps its
// connection alive through its own reference until the call returns.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "link/d2xx.h"

namespace zemlo {

template <typename Connection>
class HandleTable {
 public:
  FT_HANDLE Add(std::shared_ptr<Connection> connection) {
    std::lock_guard lock(mutex_);
    const uintptr_t id = next_++;
    entries_.emplace(id, std::move(connection));
    return reinterpret_cast<FT_HANDLE>(id);
  }

  // Empty for a handle that is not open.
  std::shared_ptr<Connection> Find(FT_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    return found == entries_.end() ? nullptr : found->second;
  }

  // Forgets the handle and hands its connection to the caller; empty when it was not open.
  std::shared_ptr<Connection> Remove(FT_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == entries_.end()) return nullptr;
    std::shared_ptr<Connection> connection = std::move(found->second);
    entries_.erase(found);
    return connection;
  }

 private:
  std::mutex mutex_;
  uintptr_t next_ = 1;
  std::map<uintptr_t, std::shared_ptr<Connection>> entries_;
};

// The driver calls that only look a handle up and forward to its connection, shared by the back
// ends that keep their connections in a HandleTable.
template <typename Connection>
class HandleDriver : public D2xxDriver {
 public:
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* moved) override {
    *moved = 0;
    auto connection = handles_.Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    return connection->Read(static_cast<uint8_t*>(buffer), count, moved);
  }

  FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                     uint32_t* moved) override {
    *moved = 0;
    auto connection = handles_.Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    return connection->Write(static_cast<const uint8_t*>(buffer), count, moved);
  }

  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
    auto connection = handles_.Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    connection->SetTimeouts(readMs, writeMs);
    return FT_OK;
  }

  FT_STATUS FT_Close(FT_HANDLE handle) override {
    auto connection = handles_.Remove(handle);
    if (!connection) return FT_INVALID_HANDLE;
    connection->Close();
    return FT_OK;
  }

 protected:
  HandleTable<Connection> handles_;
};

}  // namespace zemlo
