#include "sim/sim_adapter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#endif

namespace zemlo::sim {
namespace {

// A byte queue that hands out contiguous runs and compacts lazily.
class ByteQueue {
 public:
  size_t size() const { return data_.size() - head_; }
  void Append(const uint8_t* bytes, size_t count) {
    data_.insert(data_.end(), bytes, bytes + count);
  }
  uint8_t Peek() const { return data_[head_]; }
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

// How long a side spins for the other before it sleeps in the kernel. On a quiet machine the
// other thread usually answers within a few microseconds, far sooner than a sleep and its wake-up
// on an idle core would take. The budget is time, not a number of attempts, and the spin never
// gives its core away: on a loaded machine a yield hands the CPU to another process for a whole
// time slice, so a stream paid milliseconds per packet while neither side did anything.
constexpr auto kSpinBeforeBlocking = std::chrono::microseconds(20);
// The least a wait spins when its spins have been in vain of late, so that it notices when they
// would pay again.
constexpr auto kLeastSpin = std::chrono::microseconds(1);
// The mutex is held for a few instructions at a time; the same reasoning, for a shorter while.
constexpr auto kSpinBeforeLocking = std::chrono::microseconds(5);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
  _mm_pause();
#endif
}

// Spins until `done` holds or `until` (also bounded by `budget` from now) has passed; true when
// `done` held. The clock is read every few rounds only: reading it costs more than a round.
template <typename Done>
bool SpinFor(std::chrono::steady_clock::duration budget,
             std::chrono::steady_clock::time_point until, Done done) {
  until = std::min(until, std::chrono::steady_clock::now() + budget);
  for (;;) {
    for (int round = 0; round < 16; ++round) {
      if (done()) return true;
      CpuRelax();
    }
    if (std::chrono::steady_clock::now() >= until) return done();
  }
}

// The console may run ahead of the client by this much before its writes wait.
constexpr size_t kConsoleBacklogLimit = 4u << 20;
// The client's bytes kept for TakeSent; a long session stops recording past this.
constexpr size_t kSentCaptureLimit = 64u << 20;
// Console writes at least this long (packets, blocks, pages) are not queued: the client copies
// them straight from the console's buffer, which saves a copy and keeps both buffers in cache.
constexpr size_t kLendAtLeast = 4096;
// A client waiting for a packet of a stream is woken once this many are posted (or the console
// waits itself).
constexpr size_t kPostedBeforeWaking = 8;

}  // namespace

// One open handle: the two directions of the link and the console thread serving it.
//
// Short console writes go through a queue. A long one is lent instead: the console waits until
// the client has copied it out (or dropped it with a purge), the way a device's transmit buffer
// drains into the host's read. Since the protocol waits for an answer after every packet, the
// console never had more than one packet in flight anyway.
class SimAdapter::Connection final : public ConsoleIo {
 public:
  explicit Connection(SimAdapter& adapter) : adapter_(adapter) {}
  ~Connection() override { Close(); }

  void Start() {
    thread_ = std::thread([this] {
      {
        std::lock_guard serve(adapter_.serveMutex_);
        {
          const std::unique_lock lock = Lock();
          awaitingTurn_ = false;
          Changed();
        }
        adapter_.console_.Serve(*this);
      }
      const std::unique_lock lock = Lock();
      consoleGone_ = true;
      Changed();
    });
  }

  void Close() {
    {
      const std::unique_lock lock = Lock();
      if (closed_ && !thread_.joinable()) return;
      closed_ = true;
      Changed();
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  }

  bool closed() {
    const std::unique_lock lock = Lock();
    return closed_;
  }
  bool Gone() override { return closed(); }

  // Console side. A pause ends early when the link closes, so that a long one (a drive spinning
  // up) does not hold up the end of a session.
  void Pause(std::chrono::microseconds duration) override {
    std::unique_lock lock = Lock();
    pausing_ = true;
    Changed();
    changed_.wait_for(lock, duration, [&] { return closed_; });
    pausing_ = false;
  }

  bool Read(void* buffer, size_t count) override {
    std::unique_lock lock = Lock();
    DropPosted();
    // A packet lent on the client's answer is done with first, as a plain write is before the
    // console reads on, so that no buffer of the console's goes away while the client copies.
    FinishLend(lock);
    waitingFor_ = count;
    Changed();
    WaitUntil(lock, [&] { return closed_ || toConsole_.size() >= count; });
    waitingFor_ = 0;
    if (closed_) return false;
    toConsole_.Take(static_cast<uint8_t*>(buffer), count);
    return true;
  }

  bool Write(const void* buffer, size_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    std::unique_lock lock = Lock();
    DropPosted();
    FinishLend(lock);
    WaitUntil(lock, [&] { return closed_ || toHost_.size() < kConsoleBacklogLimit; });
    if (closed_) return false;
    if (count < kLendAtLeast || quiescing_ > 0) {
      toHost_.Append(bytes, count);
      Changed();
      return true;
    }
    lent_ = {bytes, count, 0};
    Changed();
    FinishLend(lock);
    return !closed_;
  }

  // The next packets of a stream are handed to the link before the client's answers come: the
  // client's own write of the expected byte lends the oldest at once, so that the client reads on
  // without waiting for this thread to wake, and this thread prepares the packets after them
  // meanwhile. A client that has answered and waits for a packet not yet posted is woken only
  // once a few are posted: it then takes them one after the other without waiting, where one
  // hand-over per packet costs a wake-up each, which on a busy machine means waiting for a core.
  bool Post(uint8_t expected, const void* data, size_t count) override {
    std::unique_lock lock = Lock();
    if (closed_ || count < kLendAtLeast) return false;
    posted_.push_back({static_cast<const uint8_t*>(data), count, expected, false});
    if (std::count_if(posted_.begin(), posted_.end(), [](auto& p) { return !p.taken; }) >=
        static_cast<std::ptrdiff_t>(kPostedBeforeWaking)) {
      TakeWaitingAnswer();
    }
    return true;
  }

  bool Settle(uint8_t& byte, bool& sent) override {
    sent = false;
    std::unique_lock lock = Lock();
    if (posted_.empty()) return false;
    while (!posted_.front().taken) {
      TakeWaitingAnswer();
      if (posted_.front().taken) break;
      // A client slower than the console wakes it once a few packets have gone out, not for each.
      settleWants_ = std::min(kPostedBeforeWaking, posted_.size());
      waitingFor_ = 1;
      Changed();
      WaitUntil(lock, [&] {
        return closed_ || TakenPosted() >= settleWants_ ||
               (toConsole_.size() > 0 && toHost_.size() < kConsoleBacklogLimit);
      });
      settleWants_ = 0;
      waitingFor_ = 0;
      if (closed_) {
        posted_.clear();
        return false;
      }
      if (posted_.front().taken || toConsole_.size() == 0) continue;
      // An answer the client gave while a packet was still being copied, or another answer: the
      // packet before is done with first, as a plain write would have waited for it.
      FinishLend(lock);
      if (closed_ || toConsole_.size() == 0) continue;
      toConsole_.Take(&byte, 1);
      if (byte != posted_.front().answer) {
        posted_.clear();
        Changed();
        return true;
      }
      Send(posted_.front());
    }
    byte = posted_.front().answer;
    sent = true;
    posted_.pop_front();
    return true;
  }

  bool ReadThenWrite(uint8_t& byte, uint8_t expected, const void* data, size_t count,
                     bool& sent) override {
    if (!Post(expected, data, count))
      return ConsoleIo::ReadThenWrite(byte, expected, data, count, sent);
    return Settle(byte, sent);
  }

  // Client side. Takes what has arrived as it arrives, until `count` bytes are in, the console
  // can send nothing more, or the time-out passes.
  FT_STATUS HostRead(void* buffer, uint32_t count, uint32_t* moved, uint32_t timeoutMs) {
    *moved = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(EffectiveTimeoutMs(timeoutMs));
    size_t got = 0;
    std::unique_lock lock = Lock();
    for (;;) {
      if (closed_) return FT_IO_ERROR;
      got += toHost_.Take(out + got, count - got);
      if (got < count && LentAvailable()) {
        // Claim the bytes, then copy without the lock: the console waits for hostCopying_.
        const size_t part = std::min<size_t>(count - got, lent_.size - lent_.claimed);
        const uint8_t* from = lent_.data + lent_.claimed;
        lent_.claimed += part;
        hostCopying_ = true;
        lock.unlock();
        std::memcpy(out + got, from, part);
        Relock(lock);
        hostCopying_ = false;
        got += part;
        Changed();
        continue;
      }
      if (got == count || ConsoleStalled()) break;
      const bool arrived = WaitUntil(
          lock,
          [&] { return closed_ || toHost_.size() > 0 || LentAvailable() || ConsoleStalled(); },
          deadline);
      if (arrived) continue;
      // The console's own work takes no time on the link's clock: while it is at work on what it
      // sends (neither waiting for the client nor pausing as a slow drive does), the time-out
      // does not end the read, so that a busy machine cannot make the console late.
      if (!ConsoleAtWork()) break;
      WaitUntil(lock, [&] {
        return closed_ || toHost_.size() > 0 || LentAvailable() || !ConsoleAtWork();
      });
    }
    Changed();
    *moved = static_cast<uint32_t>(got);
    return FT_OK;
  }

  void HostWrite(const void* buffer, uint32_t count) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const std::unique_lock lock = Lock();
    PostedWrite* next = NextPosted();
    if (count > 0 && next && bytes[0] == next->answer && toConsole_.size() == 0 &&
        !LentOutstanding() && quiescing_ == 0 && !closed_) {
      // The console has the next packet ready for this very byte: it goes out now.
      Send(*next, false);
      ++bytes;
      --count;
      if (count == 0 && TakenPosted() < settleWants_) return;  // nothing the console waits for
    }
    toConsole_.Append(bytes, count);
    Changed();
  }

  void PurgeReceive() {
    const std::unique_lock lock = Lock();
    toHost_.Clear();
    // Bytes a read has already claimed count as received; the rest of a lent write is dropped.
    lent_.size = lent_.claimed;
    Changed();
  }

  void PurgeTransmit() {
    const std::unique_lock lock = Lock();
    toConsole_.Clear();
  }

  void Quiesce() {
    std::unique_lock lock = Lock();
    ++quiescing_;
    Changed();
    changed_.wait(lock, [&] {
      // A packet lent on the client's answer has no console waiting on it: what the client has not
      // taken of it moves to the queue here.
      if (lent_.onAnswer && !hostCopying_) QueueLentRest();
      return closed_ || (ConsoleStalled() && !lent_.data);
    });
    --quiescing_;
  }

 private:
  struct LentWrite {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t claimed = 0;
    bool onAnswer = false;  // lent by the client's answer (see ReadThenWrite)
  };
  struct PostedWrite {
    const uint8_t* data = nullptr;
    size_t size = 0;
    uint8_t answer = 0;
    bool taken = false;  // sent; settled when the console pops it
  };

  // The oldest posted packet not sent yet.
  PostedWrite* NextPosted() {
    for (PostedWrite& posted : posted_) {
      if (!posted.taken) return &posted;
    }
    return nullptr;
  }
  // Sends a posted packet on its answer, lent as the client's answer would have: the console goes
  // on while the client copies. With the console to be quiet it is queued instead.
  void Send(PostedWrite& posted, bool notify = true) {
    posted.taken = true;
    if (quiescing_ > 0) {
      toHost_.Append(posted.data, posted.size);
    } else {
      lent_ = {posted.data, posted.size, 0, true};
    }
    if (notify) Changed();
  }
  size_t TakenPosted() const {
    size_t taken = 0;
    while (taken < posted_.size() && posted_[taken].taken) ++taken;
    return taken;
  }
  // The client answered before the packet was posted and waits for it: it goes out now, unless
  // the packet before is still being copied.
  void TakeWaitingAnswer() {
    PostedWrite* next = NextPosted();
    uint8_t answer = 0;
    if (!next || toConsole_.size() != 1 || LentOutstanding() || closed_ ||
        toConsole_.Peek() != next->answer) {
      return;
    }
    toConsole_.Take(&answer, 1);
    Send(*next);
  }
  // What the console posted is of no use once it has moved on to a plain read or write.
  void DropPosted() {
    if (!posted_.empty()) posted_.clear();
  }

  // Waits until the lent buffer, if any, can be given back: taken whole, dropped by a purge, or
  // (someone wants the console idle) its rest moved to the queue. Never while the client copies.
  void FinishLend(std::unique_lock<std::mutex>& lock) {
    if (!lent_.data) return;
    WaitUntil(lock, [&] {
      return !hostCopying_ && (closed_ || lent_.claimed == lent_.size || quiescing_ > 0);
    });
    if (!closed_) QueueLentRest();
    lent_ = {};
    Changed();
  }
  void QueueLentRest() {
    if (lent_.claimed < lent_.size) {
      toHost_.Append(lent_.data + lent_.claimed, lent_.size - lent_.claimed);
    }
    lent_ = {};
  }
  bool LentOutstanding() const {
    return lent_.data && (hostCopying_ || lent_.claimed < lent_.size);
  }

  // The two threads take the mutex for a few instructions at a time, once or twice per packet.
  std::unique_lock<std::mutex> Lock() {
    std::unique_lock lock(mutex_, std::defer_lock);
    Relock(lock);
    return lock;
  }
  void Relock(std::unique_lock<std::mutex>& lock) {
    if (SpinFor(kSpinBeforeLocking, std::chrono::steady_clock::time_point::max(),
                [&] { return lock.try_lock(); })) {
      return;
    }
    lock.lock();
  }

  // Called with the mutex held whenever either side changes anything the other may wait for.
  void Changed() {
    changes_.fetch_add(1, std::memory_order_release);
    changed_.notify_all();
  }

  // Each packet of a stream is a hand-over between the two threads: spin a moment for the other
  // side's change, then sleep on the condition variable. The spin budget is for the whole wait,
  // however many unrelated changes come by meanwhile. It halves with every spin in vain and
  // doubles back with every one that pays: on a busy machine the other side is often not running
  // at all, and spinning for it then only takes time from it and from this process's others.
  template <typename Settled>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Settled settled,
                 std::chrono::steady_clock::time_point deadline =
                     std::chrono::steady_clock::time_point::max()) {
    if (settled()) return true;
    const std::chrono::nanoseconds budget = spinBudget_;
    const auto spinEnd = std::min(deadline, std::chrono::steady_clock::now() + budget);
    while (std::chrono::steady_clock::now() < spinEnd) {
      const uint64_t seen = changes_.load(std::memory_order_acquire);
      lock.unlock();
      SpinFor(budget, spinEnd, [&] { return changes_.load(std::memory_order_acquire) != seen; });
      Relock(lock);
      if (settled()) {
        spinBudget_ = std::min<std::chrono::nanoseconds>(kSpinBeforeBlocking, budget * 2);
        return true;
      }
    }
    spinBudget_ = std::max<std::chrono::nanoseconds>(kLeastSpin, budget / 2);
    while (!settled()) {
      if (deadline == std::chrono::steady_clock::time_point::max()) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
        return settled();
      }
    }
    return true;
  }

  bool LentAvailable() const { return lent_.data && !hostCopying_ && lent_.claimed < lent_.size; }

  // Nothing more can come from the console until the client sends something.
  bool ConsoleStalled() const {
    return consoleGone_ || (waitingFor_ > 0 && toConsole_.size() < waitingFor_);
  }
  bool ConsoleAtWork() const {
    return !closed_ && !awaitingTurn_ && !pausing_ && !ConsoleStalled();
  }

  SimAdapter& adapter_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<uint64_t> changes_{0};
  std::chrono::nanoseconds spinBudget_ = kSpinBeforeBlocking;  // with mutex_ held
  ByteQueue toConsole_;
  ByteQueue toHost_;
  LentWrite lent_;
  std::deque<PostedWrite> posted_;
  size_t settleWants_ = 0;  // packets sent that the console waits for in Settle
  bool hostCopying_ = false;
  int quiescing_ = 0;
  size_t waitingFor_ = 0;
  bool pausing_ = false;      // the console takes its time on purpose (a delay, the throttle)
  bool awaitingTurn_ = true;  // another connection still has the console
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
