// The one packet buffer a dump allocates for its run. Allocation may fail (a buffer is tens of
// kilobytes, but the worker must end cleanly all the same), so it is made without throwing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zemlo {

// Zero-filled, or null when the memory could not be had.
std::unique_ptr<uint8_t[]> AllocatePacketBuffer(size_t size);

// Makes the next `count` allocations fail, to exercise the cleanup paths.
void FailNextPacketBuffers(int count = 1);

}  // namespace zemlo
