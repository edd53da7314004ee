#include "sim/sim_adapter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>

namespace zemlo::sim {
namespace {

// A byte queue that hands out contiguous runs and compacts lazily.
class ByteQueue {
 public:
  size_t size() const { return data_.size() - head_; }
  void Append(const uint8_t* bytes, size_t count) {
    data_.insert(data_.end(), bytes, bytes + count);
  }
  size_t Take(uint8_t* out, size_t count) {
    count = std::min(count, size());
    if (count) std::memcpy(out, data_.data() + head_, count);
    head_ += count;
    if (head_ == data_.size()) {
      data_.clear();
      head_ = 0;
    } else if (head_ > (1u << 20) && head_ > data_.size() / 2) {
      data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    return count;
  }
  void Clear() {
    data_.clear();
    head_ = 0;
  }

 private:
  std::vector<uint8_t> data_;
  size_t head_ = 0;
};

constexpr int kSpinsBeforeBlocking = 4000;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// The console may run ahead of the client by this much before its writes wait.
constexpr size_t kConsoleBacklogLimit = 4u << 20;
// The client's bytes kept for TakeSent; a long session stops recording past this.
constexpr size_t kSentCaptureLimit = 64u << 20;

}  // namespace

// One open handle: the two directions of the link and the console thread serving it.
class SimAdapter::Connection final : public ConsoleIo {
 public:
  explicit Connection(SimAdapter& adapter) : adapter_(adapter) {}
  ~Connection() override { Close(); }

  void Start() {
    thread_ = std::thread([this] {
      {
        std::lock_guard serve(adapter_.serveMutex_);
        adapter_.console_.Serve(*this);
      }
      std::lock_guard lock(mutex_);
      consoleGone_ = true;
      Changed();
    });
  }

  void Close() {
    {
      std::lock_guard lock(mutex_);
      if (closed_ && !thread_.joinable()) return;
      closed_ = true;
      Changed();
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  }

  bool closed() {
    std::lock_guard lock(mutex_);
    return closed_;
  }

  // Console side.
  bool Read(void* buffer, size_t count) override {
    std::unique_lock lock(mutex_);
    waitingFor_ = count;
    Changed();
    WaitUntil(lock, [&] { return closed_ || toConsole_.size() >= count; });
    waitingFor_ = 0;
    if (closed_) return false;
    toConsole_.Take(static_cast<uint8_t*>(buffer), count);
    return true;
  }

  bool Write(const void* buffer, size_t count) override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || toHost_.size() < kConsoleBacklogLimit; });
    if (closed_) return false;
    toHost_.Append(static_cast<const uint8_t*>(buffer), count);
    Changed();
    return true;
  }

  // Client side.
  FT_STATUS HostRead(void* buffer, uint32_t count, uint32_t* moved, uint32_t timeoutMs) {
    *moved = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(EffectiveTimeoutMs(timeoutMs));
    std::unique_lock lock(mutex_);
    const auto settled = [&] { return closed_ || toHost_.size() >= count || ConsoleStalled(); };
    WaitUntil(lock, settled, deadline);
    if (closed_) return FT_IO_ERROR;
    *moved = static_cast<uint32_t>(toHost_.Take(static_cast<uint8_t*>(buffer), count));
    Changed();
    return FT_OK;
  }

  void HostWrite(const void* buffer, uint32_t count) {
    std::lock_guard lock(mutex_);
    toConsole_.Append(static_cast<const uint8_t*>(buffer), count);
    Changed();
  }

  void PurgeReceive() {
    std::lock_guard lock(mutex_);
    toHost_.Clear();
    Changed();
  }

  void PurgeTransmit() {
    std::lock_guard lock(mutex_);
    toConsole_.Clear();
  }

  void Quiesce() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || ConsoleStalled(); });
  }

 private:
  // Called with the mutex held whenever either side changes anything the other may wait for.
  void Changed() {
    changes_.fetch_add(1, std::memory_order_release);
    changed_.notify_all();
  }

  // Each packet of a stream is a hand-over between the two threads, and sleeping in the kernel
  // costs more than the other side usually takes to answer: spin a moment before blocking.
  template <typename Settled>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Settled settled,
                 std::chrono::steady_clock::time_point deadline =
                     std::chrono::steady_clock::time_point::max()) {
    if (settled()) return true;
    const uint64_t seen = changes_.load(std::memory_order_acquire);
    lock.unlock();
    for (int spin = 0; spin < kSpinsBeforeBlocking; ++spin) {
      if (changes_.load(std::memory_order_acquire) != seen) break;
      CpuRelax();
    }
    lock.lock();
    if (deadline == std::chrono::steady_clock::time_point::max()) {
      changed_.wait(lock, settled);
      return true;
    }
    return changed_.wait_until(lock, deadline, settled);
  }

  // Nothing more can come from the console until the client sends something.
  bool ConsoleStalled() const {
    return consoleGone_ || (waitingFor_ > 0 && toConsole_.size() < waitingFor_);
  }

  SimAdapter& adapter_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<uint64_t> changes_{0};
  ByteQueue toConsole_;
  ByteQueue toHost_;
  size_t waitingFor_ = 0;
  bool closed_ = false;
  bool consoleGone_ = false;
  std::thread thread_;
};

class SimDriver final : public D2xxDriver {
 public:
  explicit SimDriver(SimAdapter& adapter) : adapter_(adapter) {}

  FT_STATUS FT_OpenEx(const char* serial, uint32_t flags, FT_HANDLE* handle) override {
    *handle = nullptr;
    Faults& faults = adapter_.faults();
    if (faults.TakeConnectFailure(ConnectStep::Open) || flags != FT_OPEN_BY_SERIAL_NUMBER ||
        std::strcmp(serial, "ZEMLUSB0") != 0) {
      return FT_DEVICE_NOT_FOUND;
    }
    faults.ClearDropped();
    auto connection = std::make_shared<SimAdapter::Connection>(adapter_);
    {
      std::lock_guard lock(adapter_.mutex_);
      std::erase_if(adapter_.connections_, [](auto& old) { return old->closed(); });
      adapter_.connections_.push_back(connection);
      adapter_.readTimeoutMs_ = 0;
    }
    connection->Start();
    *handle = connection.get();
    return FT_OK;
  }

  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override { return Check(handle, ConnectStep::Reset); }

  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
    if (FT_STATUS status = Check(handle, ConnectStep::Timeouts); status != FT_OK) return status;
    std::lock_guard lock(adapter_.mutex_);
    adapter_.timeouts_ = {readMs, writeMs};
    adapter_.timeoutHistory_.push_back(adapter_.timeouts_);
    adapter_.readTimeoutMs_ = readMs;
    return FT_OK;
  }

  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
    const ConnectStep step = mask == FT_PURGE_RX ? ConnectStep::PurgeRx : ConnectStep::PurgeTx;
    if (FT_STATUS status = Check(handle, step); status != FT_OK) return status;
    std::shared_ptr<SimAdapter::Connection> connection = Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    if (mask & FT_PURGE_RX) connection->PurgeReceive();
    if (mask & FT_PURGE_TX) connection->PurgeTransmit();
    return FT_OK;
  }

  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t, uint32_t) override {
    return Check(handle, ConnectStep::UsbParameters);
  }

  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* moved) override {
    *moved = 0;
    if (FT_STATUS status = Check(handle); status != FT_OK) return status;
    if (adapter_.faults().TakeReadFailure()) return FT_IO_ERROR;
    uint32_t timeout;
    {
      std::lock_guard lock(adapter_.mutex_);
      timeout = adapter_.readTimeoutMs_;
    }
    // Holding the connection keeps it alive should another thread close the handle meanwhile.
    std::shared_ptr<SimAdapter::Connection> connection = Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    return connection->HostRead(buffer, count, moved, timeout);
  }

  FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                     uint32_t* moved) override {
    *moved = 0;
    if (FT_STATUS status = Check(handle); status != FT_OK) return status;
    if (adapter_.faults().TakeWriteFailure()) return FT_IO_ERROR;
    uint32_t sending = count;
    if (count > 0 && adapter_.faults().TakeWriteShortening()) sending = count / 2;
    {
      std::lock_guard lock(adapter_.mutex_);
      if (adapter_.sent_.size() + sending <= kSentCaptureLimit) {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        adapter_.sent_.insert(adapter_.sent_.end(), bytes, bytes + sending);
      }
    }
    std::shared_ptr<SimAdapter::Connection> connection = Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    connection->HostWrite(buffer, sending);
    *moved = sending;
    return FT_OK;
  }

  FT_STATUS FT_Close(FT_HANDLE handle) override {
    std::shared_ptr<SimAdapter::Connection> connection = Find(handle);
    if (!connection) return FT_INVALID_HANDLE;
    connection->Close();
    return FT_OK;
  }

 private:
  std::shared_ptr<SimAdapter::Connection> Find(FT_HANDLE handle) {
    std::lock_guard lock(adapter_.mutex_);
    for (auto& connection : adapter_.connections_) {
      if (connection.get() == handle) return connection;
    }
    return nullptr;
  }

  FT_STATUS Check(FT_HANDLE handle, std::optional<ConnectStep> step = std::nullopt) {
    std::shared_ptr<SimAdapter::Connection> connection = Find(handle);
    if (!connection || connection->closed()) return FT_INVALID_HANDLE;
    if (adapter_.faults().Dropped()) return FT_IO_ERROR;
    if (step && adapter_.faults().TakeConnectFailure(*step)) return FT_IO_ERROR;
    return FT_OK;
  }

  SimAdapter& adapter_;
};

SimAdapter::SimAdapter() = default;

SimAdapter::~SimAdapter() {
  std::vector<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& connection : connections) connection->Close();
}

std::unique_ptr<D2xxDriver> SimAdapter::MakeDriver() {
  return std::make_unique<SimDriver>(*this);
}

void SimAdapter::Quiesce() {
  std::vector<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections = connections_;
  }
  for (auto& connection : connections) connection->Quiesce();
}

std::vector<uint8_t> SimAdapter::TakeSent() {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> sent;
  sent.swap(sent_);
  return sent;
}

SimAdapter::Timeouts SimAdapter::timeouts() {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

std::vector<SimAdapter::Timeouts> SimAdapter::TakeTimeoutHistory() {
  std::lock_guard lock(mutex_);
  std::vector<Timeouts> history;
  history.swap(timeoutHistory_);
  return history;
}

int SimAdapter::openHandles() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(connections_.begin(), connections_.end(),
                                        [](auto& connection) { return !connection->closed(); }));
}

SimAdapter& ProcessSimAdapter() {
  static SimAdapter adapter;
  return adapter;
}

}  // namespace zemlo::sim
