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

}  // namespace
}  // namespace zemlo
