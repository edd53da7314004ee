#include "extract/packet_buffer.h"

#include <atomic>
#include <new>

namespace zemlo {
namespace {

std::atomic<int> g_failingBuffers{0};

bool TakeFailure() {
  int pending = g_failingBuffers.load();
  while (pending > 0) {
    if (g_failingBuffers.compare_exchange_weak(pending, pending - 1)) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<uint8_t[]> AllocatePacketBuffer(size_t size) {
  if (TakeFailure()) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]());
}

void FailNextPacketBuffers(int count) {
  g_failingBuffers = count;
}

}  // namespace zemlo
