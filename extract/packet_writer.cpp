#include "extract/packet_writer.h"

#include <system_error>

#include "extract/packet_buffer.h"

namespace zemlo {
namespace {

// An idle writer is woken once this many slots wait, not for each: on a busy machine every
// wake-up is a context switch that costs more than the write it starts.
constexpr size_t kWakeBatch = 8;
static_assert(kWakeBatch <= PacketWriter::kSlots / 2);

}  // namespace

PacketWriter::PacketWriter(size_t slotBytes, size_t trailerBytes, Sink sink)
    : slotBytes_(slotBytes), trailerBytes_(trailerBytes), sink_(std::move(sink)) {}

PacketWriter::~PacketWriter() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool PacketWriter::Start() {
  ring_ = AllocatePacketBuffer(kSlots * slotBytes_ + trailerBytes_);
  if (!ring_) return false;
  try {
    thread_ = std::thread(&PacketWriter::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

uint8_t* PacketWriter::Slot() {
  // The trailer of the slot filled spills into the next one, which must be free as well.
  const size_t needed = trailerBytes_ > 0 ? 2 : 1;
  std::unique_lock lock(mutex_);
  if (FreeSlots() < needed) {
    readerWaiting_ = true;
    if (writerIdle_) work_.notify_one();
    space_.wait(lock, [&] { return FreeSlots() >= needed; });
    readerWaiting_ = false;
  }
  return ring_.get() + next_ * slotBytes_;
}

void PacketWriter::Commit(size_t count) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    counts_[next_] = count;
    next_ = (next_ + 1) % kSlots;
    ++queued_;
    wake = writerIdle_ && queued_ >= kWakeBatch;
  }
  if (wake) work_.notify_one();
}

bool PacketWriter::Drain() {
  std::unique_lock lock(mutex_);
  readerWaiting_ = true;
  if (writerIdle_) work_.notify_one();
  space_.wait(lock, [&] { return queued_ == 0 && writing_ == 0; });
  readerWaiting_ = false;
  return !failed();
}

void PacketWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (queued_ == 0) {
      if (ending_) return;
      writerIdle_ = true;
      work_.wait(lock, [&] {
        return ending_ || queued_ >= kWakeBatch || (readerWaiting_ && queued_ > 0);
      });
      writerIdle_ = false;
      continue;
    }
    const size_t first = first_;
    const size_t taken = queued_;
    queued_ = 0;
    writing_ = taken;
    lock.unlock();
    // Consecutive full slots lie back to back in the ring: each run goes out in one write.
    for (size_t done = 0; done < taken && !failed();) {
      const size_t start = (first + done) % kSlots;
      size_t bytes = 0;
      size_t slot = start;
      do {
        bytes += counts_[slot];
        ++slot;
        ++done;
      } while (done < taken && slot < kSlots && counts_[slot - 1] == slotBytes_);
      if (!sink_(ring_.get() + start * slotBytes_, bytes)) {
        failed_.store(true, std::memory_order_release);
      }
    }
    lock.lock();
    first_ = (first + taken) % kSlots;
    writing_ = 0;
    if (readerWaiting_) space_.notify_one();
  }
}

}  // namespace zemlo
