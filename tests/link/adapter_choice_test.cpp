#include "link/adapter_choice.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/sim_adapter.h"

namespace zemlo {
namespace {

TEST(AdapterChoice, ParsesHostAndPort) {
  struct Case {
    const char* text;
    bool allowZero;
    const char* host;  // nullptr: refused
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1:5000", false, "127.0.0.1", 5000},
      {"localhost:65535", false, "localhost", 65535},
      {"[::1]:7", false, "::1", 7},
      {"127.0.0.1:0", true, "127.0.0.1", 0},
      {"127.0.0.1:0", false, nullptr, 0},
      {"127.0.0.1:65536", false, nullptr, 0},
      {"127.0.0.1:", false, nullptr, 0},
      {":5000", false, nullptr, 0},
      {"127.0.0.1", false, nullptr, 0},
      {"127.0.0.1:50x", false, nullptr, 0},
      {"127.0.0.1:-1", false, nullptr, 0},
      {"::1:5000", false, nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseHostPort(c.text, c.allowZero);
    if (!c.host) {
      EXPECT_FALSE(parsed) << c.text;
      continue;
    }
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port, c.port);
  }
}

TEST(AdapterChoice, NamesEveryBackEndAndRefusesOtherText) {
  std::string error;
  std::vector<const char*> accepted{"d2xx", "auto", "tcp:127.0.0.1:9", "tcp:[::1]:9"};
  std::vector<const char*> refused{"", "SIM", "usb", "tcp:", "tcp:127.0.0.1", "tcp:host:0"};
  // A build without libftdi1 (Windows) refuses it with a pointer to d2xx.
  (ZEMLO_WITH_LIBFTDI ? accepted : refused).push_back("ftdi");
  for (const char* adapter : accepted) {
    EXPECT_NE(MakeDriverForAdapter(adapter, &error), nullptr) << adapter;
  }
  for (const char* adapter : refused) {
    error.clear();
    EXPECT_EQ(MakeDriverForAdapter(adapter, &error), nullptr) << adapter;
    EXPECT_FALSE(error.empty()) << adapter;
  }
  // The refusal says what a valid choice looks like.
  MakeDriverForAdapter("tcp:host:0", &error);
  EXPECT_EQ(error, "expected tcp:HOST:PORT with a port from 1 to 65535, got 'tcp:host:0'");
}

TEST(AdapterChoice, SimIsWhatTheProgramRegistered) {
  std::string error;
  RegisterSimAdapterFactory(nullptr);
  EXPECT_EQ(MakeDriverForAdapter("sim", &error), nullptr);
  EXPECT_FALSE(error.empty());

  sim::SimAdapter adapter;
  RegisterSimAdapterFactory([&] { return adapter.MakeDriver(); });
  auto driver = MakeDriverForAdapter("sim", &error);
  ASSERT_NE(driver, nullptr);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver->FT_OpenEx("ZEMLUSB0", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
  EXPECT_EQ(adapter.openHandles(), 1);
  driver->FT_Close(handle);
  RegisterSimAdapterFactory(nullptr);
}

}  // namespace
}  // namespace zemlo
