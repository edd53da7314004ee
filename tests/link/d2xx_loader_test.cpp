#include <gtest/gtest.h>

#include <cstdlib>

#include "link/adapter_choice.h"
#include "link/driver_d2xx.h"
#include "link/link.h"
#include "link/shared_library.h"
#if ZEMLO_WITH_LIBFTDI
#include "link/driver_ftdi.h"
#endif
#include "protocol/commands.h"
#include "tests/support/recording_ui.h"

namespace zemlo {
namespace {

constexpr char kFakeLibrary[] = ZEMLO_FAKE_D2XX_PATH;

#ifdef _WIN32
constexpr char kLibraryWithoutD2xx[] = "kernel32.dll";
#else
constexpr char kLibraryWithoutD2xx[] = "libm.so.6";
#endif

// The fake library's own view of its console, reached through the copy the driver loaded.
template <typename Fn>
Fn FakeHook(const char* name) {
  LibraryHandle library = OpenLibrary(kFakeLibrary);
  EXPECT_NE(library, nullptr);
  auto hook = reinterpret_cast<Fn>(FindSymbol(library, name));
  CloseLibrary(library);
  return hook;
}

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

TEST(D2xxLoader, DrivesTheLibraryThroughTheLink) {
  testing::RecordingUi ui;
  InstallUi(&ui);
  InstallDriver(MakeD2xxDriver(kFakeLibrary));
  ASSERT_EQ(ConnectAdapter(), 1);
  EXPECT_TRUE(ui.messages().empty());

  const uint8_t freeze = CMD_FREEZE;
  EXPECT_EQ(WriteExact(&freeze, 1), TRANSFER_COMPLETE);
  EXPECT_EQ(FakeHook<int (*)()>("zemlo_fake_d2xx_frozen")(), 1);
  uint8_t sent[8] = {};
  EXPECT_EQ(FakeHook<uint32_t (*)(uint8_t*, uint32_t)>("zemlo_fake_d2xx_take_sent")(sent, 8), 1u);
  EXPECT_EQ(sent[0], CMD_FREEZE);

  // The console answers the register request with its 40-word block.
  const uint8_t request = CMD_READ_REGISTERS;
  ASSERT_EQ(WriteExact(&request, 1), TRANSFER_COMPLETE);
  uint8_t block[160] = {};
  EXPECT_EQ(ReadExact(block, sizeof block), TRANSFER_COMPLETE);
  EXPECT_EQ(g_bytesRead.load(), 160u);
  // Nothing more comes: a short read, no error.
  EXPECT_EQ(ReadExact(block, 4), TRANSFER_SHORT);
  EXPECT_EQ(g_bytesRead.load(), 0u);

  LinkShutdown();
  EXPECT_EQ(FakeHook<int (*)()>("zemlo_fake_d2xx_open_handles")(), 0);
  EXPECT_TRUE(ui.messages().empty());
  InstallDriver(nullptr);
  InstallUi(nullptr);
}

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

#if ZEMLO_WITH_LIBFTDI
// No adapter is plugged into the machines the tests run on.
TEST(FtdiDriver, OpenWithoutAdapterIsDeviceNotFound) {
  auto driver = MakeFtdiDriver();
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(driver->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(driver->FT_Close(handle), FT_INVALID_HANDLE);
}
#else
TEST(FtdiDriver, BuildWithoutLibftdiRefusesTheFtdiAdapter) {
  std::string error;
  EXPECT_EQ(MakeDriverForAdapter("ftdi", &error), nullptr);
  EXPECT_NE(error.find("d2xx"), std::string::npos) << error;
}
#endif

}  // namespace
}  // namespace zemlo
