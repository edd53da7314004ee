#include "link/adapter_choice.h"

#include <charconv>
#include <mutex>

#include "link/driver_auto.h"
#include "link/driver_d2xx.h"
#include "link/driver_tcp.h"
#if ZEMLO_WITH_LIBFTDI
#include "link/driver_ftdi.h"
#endif

namespace zemlo {
namespace {

constexpr std::string_view kTcpPrefix = "tcp:";

std::mutex g_simFactoryMutex;
DriverFactory g_simFactory;

}  // namespace

void RegisterSimAdapterFactory(DriverFactory factory) {
  std::lock_guard lock(g_simFactoryMutex);
  g_simFactory = std::move(factory);
}

std::optional<TcpEndpoint> ParseHostPort(std::string_view text, bool allowPortZero) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view portText = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return std::nullopt;  // an IPv6 address without brackets cannot be told from its port
  }
  if (host.empty() || portText.empty()) return std::nullopt;
  unsigned port = 0;
  const auto [end, error] =
      std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (error != std::errc() || end != portText.data() + portText.size() || port > 65535) {
    return std::nullopt;
  }
  if (port == 0 && !allowPortZero) return std::nullopt;
  return TcpEndpoint{std::string(host), static_cast<uint16_t>(port)};
}

std::unique_ptr<D2xxDriver> MakeDriverForAdapter(const std::string& adapter, std::string* error) {
  auto fail = [&](std::string reason) -> std::unique_ptr<D2xxDriver> {
    if (error) *error = std::move(reason);
    return nullptr;
  };
  if (adapter == "sim") {
    std::lock_guard lock(g_simFactoryMutex);
    if (!g_simFactory) return fail("the simulated console is not available in this program");
    return g_simFactory();
  }
#if ZEMLO_WITH_LIBFTDI
  if (adapter == "ftdi") return MakeFtdiDriver();
  if (adapter == "auto") return MakeAutoDriver(MakeD2xxDriver(), MakeFtdiDriver());
#else
  // Built without libftdi1 (as on Windows): the vendor's library is the only way to the chip.
  if (adapter == "ftdi") return fail("this build has no libftdi1 back end; use d2xx");
  if (adapter == "auto") return MakeD2xxDriver();
#endif
  if (adapter == "d2xx") return MakeD2xxDriver();
  if (std::string_view(adapter).starts_with(kTcpPrefix)) {
    auto endpoint = ParseHostPort(std::string_view(adapter).substr(kTcpPrefix.size()), false);
    if (!endpoint)
      return fail("expected tcp:HOST:PORT with a port from 1 to 65535, got '" + adapter + "'");
    return MakeTcpDriver(std::move(endpoint->host), endpoint->port);
  }
  return fail("unknown adapter '" + adapter +
              "' (expected sim, tcp:HOST:PORT, ftdi, d2xx or auto)");
}

}  // namespace zemlo
