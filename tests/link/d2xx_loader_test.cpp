#include <gtest/gtest.h>

#include <cstdlib>

#include "link/adapter_choice.h"
#include "link/driver_d2xx.h"

namespace zemlo {
namespace {

constexpr char kFakeLibrary[] = ZEMLO_FAKE_D2XX_PATH;

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

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    SetEnvironment(name, value);
  }
  ~ScopedEnvironment() { SetEnvironment(name_, old_.empty() ? nullptr : old_.c_str()); }

 private:
  const char* name_;
  std::string old_;
};

TEST(D2xxLoader, MissingOrIncompleteLibraryFailsToOpen) {
  for (const char* path : {"/nonexistent/libftd2xx.so", kLibraryWithoutD2xx}) {
    auto driver = MakeD2xxDriver(path);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND)
        << path;
    uint32_t moved = 1;
    EXPECT_NE(driver->FT_Read(handle, nullptr, 0, &moved), FT_OK);
    EXPECT_EQ(moved, 0u);
  }
}

TEST(D2xxLoader, EnvironmentChoosesTheLibraryForAuto) {
  {
    ScopedEnvironment library(kD2xxLibraryVariable, kFakeLibrary);
    EXPECT_TRUE(D2xxLibraryAvailable());
    std::string error;
    auto driver = MakeDriverForAdapter("auto", &error);
    ASSERT_NE(driver, nullptr);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    EXPECT_EQ(driver->FT_Close(handle), FT_OK);
  }
  ScopedEnvironment missing(kD2xxLibraryVariable, "/nonexistent/libftd2xx.so");
  EXPECT_FALSE(D2xxLibraryAvailable());
}

#if !ZEMLO_WITH_LIBFTDI
TEST(FtdiDriver, BuildWithoutLibftdiRefusesTheFtdiAdapter) {
  std::string error;
  EXPECT_EQ(MakeDriverForAdapter("ftdi", &error), nullptr);
  EXPECT_NE(error.find("d2xx"), std::string::npos) << error;
}
#endif

}  // namespace
}  // namespace zemlo
