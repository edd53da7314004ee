#include "link/net_listen.h"

#include <cstdlib>
#include <memory>

namespace zemlo::net {

std::string FormatAddress(const sockaddr* address, socklen_t length, uint16_t* port) {
  char host[NI_MAXHOST] = "?";
  char service[NI_MAXSERV] = "0";
  ::getnameinfo(address, length, host, sizeof host, service, sizeof service,
                NI_NUMERICHOST | NI_NUMERICSERV);
  if (port) *port = static_cast<uint16_t>(std::atoi(service));
  const std::string hostText =
      address->sa_family == AF_INET6 ? "[" + std::string(host) + "]" : host;
  return hostText + ":" + service;
}

bool Listen(const std::string& host, uint16_t port, int backlog, Listener* listener,
            std::string* error) {
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
      status != 0) {
    return fail("cannot resolve " + host + ": " + ::gai_strerror(status));
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
  int lastError = 0;
  for (const addrinfo* address = addresses.get(); address; address = address->ai_next) {
    const SocketHandle fd =
        OpenSocket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (fd == kNoSocket) {
      lastError = LastError();
      continue;
    }
    ReserveAddress(fd);
    if (::bind(fd, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0 &&
        ::listen(fd, backlog) == 0) {
      sockaddr_storage bound{};
      socklen_t length = sizeof bound;
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
      listener->socket = fd;
      listener->address =
          FormatAddress(reinterpret_cast<sockaddr*>(&bound), length, &listener->port);
      return true;
    }
    lastError = LastError();
    CloseSocket(fd);
  }
  return fail("cannot listen on " + host + ":" + std::to_string(port) + ": " +
              ErrorText(lastError));
}

}  // namespace zemlo::net
