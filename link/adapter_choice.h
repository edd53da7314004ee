// The --adapter choice of the command line and the desktop client: which driver back end stands
// behind the link.
//
//   sim            the simulated console in process (only where a program has registered it)
//   tcp:HOST:PORT  a raw byte stream to a console peer; an IPv6 host goes in brackets
//   ftdi           a real adapter through libftdi1
//   d2xx           a real adapter through the vendor's library
//   auto           d2xx, or ftdi when the vendor's library is missing or cannot open the adapter
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/d2xx.h"

namespace zemlo {

inline constexpr char kDefaultAdapter[] = "auto";

using DriverFactory = std::function<std::unique_ptr<D2xxDriver>()>;

// The link does not know the simulator; programs that offer `sim` register it at start-up.
void RegisterSimAdapterFactory(DriverFactory factory);

// The driver for `adapter`, or empty with the reason in `error` when the text names none.
std::unique_ptr<D2xxDriver> MakeDriverForAdapter(const std::string& adapter, std::string* error);

struct TcpEndpoint {
  std::string host;
  uint16_t port = 0;
};

// "HOST:PORT" or "[V6HOST]:PORT". With `allowPortZero` a port of 0 is accepted (to listen on a
// free port); connecting needs a real one.
std::optional<TcpEndpoint> ParseHostPort(std::string_view text, bool allowPortZero);

}  // namespace zemlo
