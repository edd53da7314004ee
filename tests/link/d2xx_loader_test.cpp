#include <gtest/gtest.h>

#include <cstdlib>

#include "link/adapter_choice.h"
#include "link/driver_d2xx.h"

namespace zemlo {
namespace {

#ifdef _WIN32
constexpr char kLibraryWithoutD2xx[] = "kernel32.dll";
#else
constexpr char kLibraryWithoutD2xx[] = "libm.so.6";
#endif

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  value ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
}

// The loader opens only a library that has every D2XX function; the environment can name it.
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
