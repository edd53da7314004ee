// A stand-in for the vendor's D2XX library, for tests only: exports the same C functions, with the
// simulated console as the adapter behind them, so the run-time loader is tested for real.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "link/d2xx.h"
#include "sim/sim_adapter.h"

#ifdef _WIN32
#define FAKE_D2XX_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_D2XX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct FakeLibrary {
  zemlo::sim::SimAdapter adapter;
  std::unique_ptr<zemlo::D2xxDriver> driver = adapter.MakeDriver();
};

FakeLibrary& Fake() {
  static FakeLibrary fake;
  return fake;
}

}  // namespace

FAKE_D2XX_EXPORT uint32_t FT_OpenEx(void* serial, uint32_t flags, void** handle) {
  return Fake().driver->FT_OpenEx(static_cast<const char*>(serial), flags, handle);
}
FAKE_D2XX_EXPORT uint32_t FT_ResetDevice(void* handle) {
  return Fake().driver->FT_ResetDevice(handle);
}
FAKE_D2XX_EXPORT uint32_t FT_SetTimeouts(void* handle, uint32_t readMs, uint32_t writeMs) {
  return Fake().driver->FT_SetTimeouts(handle, readMs, writeMs);
}
FAKE_D2XX_EXPORT uint32_t FT_Purge(void* handle, uint32_t mask) {
  return Fake().driver->FT_Purge(handle, mask);
}
FAKE_D2XX_EXPORT uint32_t FT_SetUSBParameters(void* handle, uint32_t inSize, uint32_t outSize) {
  return Fake().driver->FT_SetUSBParameters(handle, inSize, outSize);
}
FAKE_D2XX_EXPORT uint32_t FT_Read(void* handle, void* buffer, uint32_t count, uint32_t* moved) {
  return Fake().driver->FT_Read(handle, buffer, count, moved);
}
FAKE_D2XX_EXPORT uint32_t FT_Write(void* handle, void* buffer, uint32_t count, uint32_t* moved) {
  return Fake().driver->FT_Write(handle, buffer, count, moved);
}
FAKE_D2XX_EXPORT uint32_t FT_Close(void* handle) {
  return Fake().driver->FT_Close(handle);
}

// For the tests: what the console behind the library saw.
FAKE_D2XX_EXPORT int zemlo_fake_d2xx_frozen() {
  Fake().adapter.Quiesce();
  return Fake().adapter.model().frozen ? 1 : 0;
}
FAKE_D2XX_EXPORT uint32_t zemlo_fake_d2xx_take_sent(uint8_t* out, uint32_t capacity) {
  Fake().adapter.Quiesce();
  const std::vector<uint8_t> sent = Fake().adapter.TakeSent();
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(sent.size(), capacity));
  std::memcpy(out, sent.data(), count);
  return count;
}
FAKE_D2XX_EXPORT int zemlo_fake_d2xx_open_handles() {
  return Fake().adapter.openHandles();
}
