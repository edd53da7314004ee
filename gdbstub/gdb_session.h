// One gdb connection: the packets of the remote serial protocol turned into the console's
// operations. The console has one instruction and one data breakpoint, no register writes and no
// step, and says nothing when a breakpoint freezes the game; the session works within that:
// breakpoints of both software and hardware kind go into the IABR, a step puts the IABR on the
// next instruction the processor will run, and a running game is watched for a new register
// block, which the console-side program saves only when a breakpoint hits.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "gdbstub/console_target.h"
#include "gdbstub/rsp_codec.h"

namespace zemlo::gdb {

// The byte stream to gdb.
class Channel {
 public:
  virtual ~Channel() = default;
  // Waits up to `timeoutMs` for bytes: the count read, 0 when none came, -1 when gdb has gone.
  virtual int Receive(char* buffer, int size, int timeoutMs) = 0;
  virtual bool Send(const std::string& bytes) = 0;
};

class GdbSession {
 public:
  // `log`, when set, gets every packet: "<- " for gdb's, "-> " for the stub's.
  GdbSession(ConsoleTarget& target, Channel& channel, std::FILE* log = nullptr);

  // Freezes the game and serves gdb until it detaches, kills or leaves, or `stop` is raised;
  // the game is then left running with no breakpoint of the stub's in force.
  void Run(const std::atomic<bool>& stop);

  // The reply to one packet; nothing for packets that get none (k).
  std::optional<std::string> Handle(const std::string& packet);

 private:
  struct CodeBreak {
    uint32_t address;
  };
  struct Watch {
    uint32_t address;
    uint32_t length;
    char type;  // '2' write, '3' read, '4' access
  };

  std::string Resume(bool step);
  std::string StopReply(const RegisterValues& block, std::optional<uint32_t> stepTarget) const;
  std::string ReadMemory(const std::string& arguments);
  std::string WriteMemory(const std::string& arguments, bool binary);
  std::string Breakpoint(const std::string& packet, bool insert);
  std::string Transfer(const std::string& document, const std::string& range) const;
  void Send(const std::string& payload);
  void LeaveRunning();

  ConsoleTarget& target_;
  Channel& channel_;
  std::FILE* log_;
  RspReader reader_;
  const std::atomic<bool>* stop_ = nullptr;
  RegisterValues block_{};
  std::optional<CodeBreak> codeBreak_;
  std::optional<Watch> watch_;
  std::string lastStop_ = "S05";
  std::string lastSent_;
  bool noAck_ = false;
  bool ended_ = false;
};

}  // namespace zemlo::gdb
