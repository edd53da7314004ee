// A listening TCP socket on a host and port given by the user, for the servers this program runs
// (the simulated console and the gdb stub): both resolve, bind and report the same way.
#pragma once

#include <cstdint>
#include <string>

#include "link/net_socket.h"

namespace zemlo::net {

// "HOST:PORT" of a socket address, numeric, with brackets around an IPv6 host; the port also
// goes to `port` when given.
std::string FormatAddress(const sockaddr* address, socklen_t length, uint16_t* port);

struct Listener {
  SocketHandle socket = kNoSocket;
  std::string address;  // as bound, e.g. "127.0.0.1:2345"
  uint16_t port = 0;    // the port bound, which port 0 leaves to the system
};

// Binds the first address `host` resolves to that can be bound, and listens on it. On failure
// returns false with a sentence for the user in `error` ("cannot resolve ...", "cannot listen
// on HOST:PORT: ...").
bool Listen(const std::string& host, uint16_t port, int backlog, Listener* listener,
            std::string* error);

}  // namespace zemlo::net
