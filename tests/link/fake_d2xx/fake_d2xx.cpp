// A stand-in for the vendor's D2XX library, for tests only: exports the same C functions, so the
// run-time loader is tested for real. Behind them is the simulated console, or (where libftdi1 is
// built in and the test executable models the chip under it) the ftdi back end on that chip.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "link/d2xx.h"
#include "sim/sim_adapter.h"
#if ZEMLO_WITH_LIBFTDI
#include "link/driver_ftdi.h"
#endif

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

// For the tests: the console behind the simulated adapter, and the choice of what is behind the
// entry points (false: the simulated adapter; true: the ftdi back end, when it is built in).
FAKE_D2XX_EXPORT void* zemlo_fake_d2xx_console() {
  return &Fake().adapter.console();
}
FAKE_D2XX_EXPORT bool zemlo_fake_d2xx_use_ftdi(bool ftdi) {
#if ZEMLO_WITH_LIBFTDI
  Fake().driver = ftdi ? zemlo::MakeFtdiDriver() : Fake().adapter.MakeDriver();
  return true;
#else
  return !ftdi;
#endif
}
