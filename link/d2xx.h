// The driver seam: the eight calls of the vendor's D2XX library the link relies on, as a C++
// interface so that the real library, libftdi1, the in-process console simulator and a TCP byte
// stream can stand behind the same link code. Every back end keeps D2XX semantics: a read waits
// up to the read time-out for the whole count and may come back short with FT_OK.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zemlo {

using FT_HANDLE = void*;
using FT_STATUS = uint32_t;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr uint32_t FT_PURGE_RX = 1;
inline constexpr uint32_t FT_PURGE_TX = 2;

// A read time-out of 0 means "no limit" to the driver. No operation may hang forever on a console
// that never answers, so every back end caps such a wait at this bound.
inline constexpr uint32_t kUnlimitedTimeoutCapMs = 300'000;

// Turns a D2XX time-out into the wait a back end really performs.
constexpr uint32_t EffectiveTimeoutMs(uint32_t timeoutMs) {
  return timeoutMs == 0 ? kUnlimitedTimeoutCapMs : timeoutMs;
}

class D2xxDriver {
 public:
  virtual ~D2xxDriver() = default;

  virtual FT_STATUS FT_OpenEx(const char* serial, uint32_t flags, FT_HANDLE* handle) = 0;
  virtual FT_STATUS FT_ResetDevice(FT_HANDLE handle) = 0;
  virtual FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) = 0;
  virtual FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) = 0;
  virtual FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize) = 0;
  virtual FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* moved) = 0;
  virtual FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                             uint32_t* moved) = 0;
  // Closing must be safe while another thread waits in FT_Read on the same handle: that read
  // returns an error instead of touching freed state.
  virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;

  // Why the last FT_OpenEx failed, in words the user can act on; empty when the back end
  // cannot tell.
  virtual std::string OpenFailure() const { return {}; }
};

// The process-wide driver the link calls. The link owns it; installing a new one is only done at
// start-up (or between tests, with no adapter open).
void InstallDriver(std::unique_ptr<D2xxDriver> driver);
D2xxDriver* ActiveDriver();

}  // namespace zemlo
