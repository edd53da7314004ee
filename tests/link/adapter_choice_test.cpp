// Choosing the back end from the --adapter text, and the run-time loader of the vendor's library.
#include "link/adapter_choice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include "link/driver_d2xx.h"
#include "sim/sim_adapter.h"

namespace zemlo {
namespace {

#ifdef _WIN32
constexpr char kLibraryWithoutD2xx[] = "kernel32.dll";
#else
// One nothing else here loads, so that whether the loader let it go shows.
constexpr char kLibraryWithoutD2xx[] = "libanl.so.1";
#endif

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  value ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
}

TEST(AdapterChoice, ParsesHostAndPort) {
  const struct {
    const char* text;
    bool allowZero;
    const char* parsed;  // HOST:PORT, or nullptr when refused
  } cases[] = {
      {"localhost:65535", false, "localhost:65535"},
      {"[::1]:7", false, "::1:7"},
      {"127.0.0.1:0", true, "127.0.0.1:0"},
      {"127.0.0.1:0", false, nullptr},
      {"127.0.0.1:65536", false, nullptr},
      {":5000", false, nullptr},
      {"127.0.0.1", false, nullptr},
      {"127.0.0.1:50x", false, nullptr},
      {"127.0.0.1:4294967296", true, nullptr},
      {"::1:5000", false, nullptr},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseHostPort(c.text, c.allowZero);
    EXPECT_EQ(parsed ? parsed->host + ":" + std::to_string(parsed->port) : "refused",
              c.parsed ? c.parsed : "refused")
        << c.text;
  }
}

TEST(AdapterChoice, NamesEveryBackEndAndRefusesOtherText) {
  std::string error;
  sim::SimAdapter simulated;
  RegisterSimAdapterFactory([&] { return simulated.MakeDriver(); });
  std::vector<const char*> accepted{"sim", "d2xx", "auto", "tcp:127.0.0.1:9", "tcp:[::1]:9"};
  std::vector<const char*> refused{"", "SIM", "usb", "tcp:", "tcp:127.0.0.1", "tcp:host:0"};
  // A build without libftdi1 (Windows) refuses it with a pointer to d2xx.
  (ZEMLO_WITH_LIBFTDI ? accepted : refused).push_back("ftdi");
  for (const char* adapter : accepted) {
    EXPECT_NE(MakeDriverForAdapter(adapter, &error), nullptr) << adapter;
  }
  // A program that registered no simulated console has no "sim".
  RegisterSimAdapterFactory(nullptr);
  refused.push_back("sim");
  for (const char* adapter : refused) {
    error.clear();
    EXPECT_EQ(MakeDriverForAdapter(adapter, &error), nullptr) << adapter;
    EXPECT_FALSE(error.empty()) << adapter;
  }
  // The refusal says what a valid choice looks like.
  MakeDriverForAdapter("tcp:host:0", &error);
  EXPECT_EQ(error, "expected tcp:HOST:PORT with a port from 1 to 65535, got 'tcp:host:0'");
}

// The loader opens only a library that has every D2XX function, and lets go of any other; the
// environment can name it.
TEST(D2xxLoader, OpensOnlyACompleteLibrary) {
  for (const char* path : {"/nonexistent/libftd2xx.so", kLibraryWithoutD2xx}) {
    auto driver = MakeD2xxDriver(path);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND)
        << path;
    uint32_t moved = 1;
    EXPECT_NE(driver->FT_Read(handle, nullptr, 0, &moved), FT_OK);
    EXPECT_EQ(moved, 0u);
  }
#ifndef _WIN32
  EXPECT_EQ(dlopen(kLibraryWithoutD2xx, RTLD_NOW | RTLD_NOLOAD), nullptr);
#endif
  SetEnvironment(kD2xxLibraryVariable, ZEMLO_FAKE_D2XX_PATH);
  std::string error;
  auto driver = MakeDriverForAdapter("auto", &error);
  ASSERT_NE(driver, nullptr);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
  EXPECT_EQ(driver->FT_Close(handle), FT_OK);
  SetEnvironment(kD2xxLibraryVariable, "/nonexistent/libftd2xx.so");
  EXPECT_FALSE(D2xxLibraryAvailable());
  SetEnvironment(kD2xxLibraryVariable, nullptr);
}

}  // namespace
}  // namespace zemlo
