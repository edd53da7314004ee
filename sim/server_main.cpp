// zemlo-sim: the simulated console on a TCP port, for zemlo-cli --adapter tcp:HOST:PORT and for
// outside test peers. Prints "listening on HOST:PORT" once it accepts connections.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>

#include "link/adapter_choice.h"
#include "link/terminal.h"
#include "sim/console.h"
#include "sim/tcp_server.h"
#include "version/version.h"

namespace {

zemlo::sim::TcpConsoleServer* g_server = nullptr;

void OnStopRequest() {
  if (g_server) g_server->Stop();
}

}  // namespace

int main(int argc, char** argv) {
  zemlo::UseBinaryStandardStreams();
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  CLI::App app{"The simulated console, served over TCP one connection at a time.", "zemlo-sim"};
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", zemlo::VersionText("zemlo-sim"),
                       "print the version and the commit built from, then exit");
  std::string listen = "127.0.0.1:0";
  bool wii = false;
  uint64_t throttle = 0;
  bool verbose = false;
  std::string discImage;
  app.add_option("--listen", listen, "HOST:PORT to listen on; port 0 picks a free port")
      ->capture_default_str();
  app.add_flag("--wii", wii, "be a Wii instead of a GameCube");
  app.add_option("--throttle", throttle, "bytes per second the console sends (0: no limit)");
  app.add_flag("--verbose", verbose, "report connections and commands the console does not serve");
  app.add_option("--disc-image", discImage, "serve the drive's disc from this image file")
      ->check(CLI::ExistingFile);
  CLI11_PARSE(app, argc, argv);

  const auto endpoint = zemlo::ParseHostPort(listen, true);
  if (!endpoint) {
    std::fprintf(stderr, "zemlo-sim: --listen expects HOST:PORT, got '%s'\n", listen.c_str());
    return 2;
  }

  zemlo::sim::Console console;
  console.model().isWii = wii;
  console.model().extract.discImage = discImage;
  console.SetThrottle(throttle);
  console.SetVerbose(verbose);

  zemlo::sim::TcpConsoleServer server;
  server.SetVerbose(verbose);
  std::string error;
  if (!server.Listen(endpoint->host, endpoint->port, &error)) {
    std::fprintf(stderr, "zemlo-sim: %s\n", error.c_str());
    return 1;
  }
  g_server = &server;
  const zemlo::InterruptGuard stopOnInterrupt(OnStopRequest, true);
  std::printf("listening on %s\n", server.address().c_str());
  std::fflush(stdout);

  server.Run(console);
  g_server = nullptr;
  return 0;
}
