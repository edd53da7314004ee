// A D2XX driver whose adapter is a raw byte stream over TCP: the far end (zemlo-sim --listen, or
// any outside test peer) plays the console. The serial number passed to FT_OpenEx is not used;
// the host and port name the adapter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/d2xx.h"

namespace zemlo {

// Gives up on a peer that does not accept the connection within this time.
inline constexpr uint32_t kTcpConnectTimeoutMs = 5000;

std::unique_ptr<D2xxDriver> MakeTcpDriver(std::string host, uint16_t port);

}  // namespace zemlo
