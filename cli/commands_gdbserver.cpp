#include <cstdio>
#include <memory>

#include "cli/handlers.h"
#include "gdbstub/gdb_server.h"
#include "gdbstub/target_description.h"
#include "link/adapter_choice.h"
#include "link/link.h"
#include "link/terminal.h"

// The GDB remote stub from a terminal: serves until Ctrl-C, then leaves the game running.
namespace zemlo::cli {
namespace {

gdb::GdbServer* g_server = nullptr;

void OnStopRequest() {
  if (g_server) g_server->Stop();
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int CmdGdbServer(const CliArgs& args, CliUi&) {
  const auto listen = args.options.find("--listen");
  const std::string text = listen == args.options.end() ? gdb::kDefaultListen : listen->second;
  const auto endpoint = ParseHostPort(text, true);
  if (!endpoint) return UsageError("gdbserver", "--listen expects HOST:PORT, got '" + text + "'");
  if (args.flags.count("--print-gdbinit")) {
    std::fputs(gdb::GdbInit(text).c_str(), stdout);
    return kExitOk;
  }
  if (!g_connected) return kExitFailure;  // the connect has said why
  std::unique_ptr<std::FILE, FileCloser> log;
  if (const auto path = args.options.find("--log"); path != args.options.end()) {
    log.reset(std::fopen(path->second.c_str(), "w"));
    if (!log) {
      std::fprintf(stderr, "File Error: cannot write %s\n", path->second.c_str());
      return kExitFailure;
    }
  }
  gdb::GdbServer server;
  server.SetLog(log.get());
  std::string error;
  if (!server.Listen(endpoint->host, endpoint->port, &error)) {
    std::fprintf(stderr, "Error: %s\n", error.c_str());
    return kExitFailure;
  }
  g_server = &server;
  const InterruptGuard stopOnInterrupt(OnStopRequest, true);
  std::printf("listening on %s\n", server.address().c_str());
  std::fflush(stdout);
  gdb::ConsoleTarget target;
  server.Run(target);
  g_server = nullptr;
  return kExitOk;
}

}  // namespace zemlo::cli
