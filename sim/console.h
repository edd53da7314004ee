// The simulated console-side program: reads one command byte at a time and answers it from the
// model console, as the real program does over the adapter.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "sim/console_io.h"
#include "sim/console_model.h"
#include "sim/faults.h"

namespace zemlo::sim {

class Console;

// What a command handler works with: the model, and the link with the armed faults applied.
class ConsoleSession {
 public:
  ConsoleSession(Console& console, ConsoleIo& io);

  ConsoleModel& model();
  Faults& faults();

  bool Read(void* buffer, size_t count);
  bool ReadByte(uint8_t& byte);
  bool ReadBE32(uint32_t& value);
  // Multi-byte data (packets, blocks, pages): subject to packet shortening and the throttle.
  bool Write(const void* buffer, size_t count);
  // Reads the client's answer; when it is `expected`, may write `data` at once (see
  // ConsoleIo::ReadThenWrite). With a fault armed, or a slowed console, it only reads, and the
  // caller writes as it would have without this.
  bool ReadThenWrite(uint8_t& byte, uint8_t expected, const void* data, size_t count, bool& sent);
  // See ConsoleIo::Post and Settle. Refused with a fault armed or a slowed console, as above.
  bool Post(uint8_t expected, const void* data, size_t count);
  bool Settle(uint8_t& byte, bool& sent) { return io_.Settle(byte, sent); }
  // A one-byte reply: subject to wrong and suppressed replies.
  bool Reply(uint8_t byte);
  bool WriteBE32(uint32_t value);
  // The client has left or the server stops (see ConsoleIo::Gone); safe from any thread.
  bool LinkGone() { return io_.Gone(); }
  // The console is busy this long before its next step.
  void Pause(std::chrono::microseconds duration) { io_.Pause(duration); }

 private:
  Console& console_;
  ConsoleIo& io_;
};

using CommandHandler = void (*)(ConsoleSession& session);

class CommandTable {
 public:
  void Register(uint8_t command, CommandHandler handler) { handlers_[command] = handler; }
  CommandHandler Find(uint8_t command) const { return handlers_[command]; }

 private:
  std::array<CommandHandler, 256> handlers_{};
};

// Each group of commands registers its handlers here.
void RegisterControlCommands(CommandTable& table);   // freeze, unfreeze, stop
void RegisterUploadCommands(CommandTable& table);    // uploads, firmware, memory, hooks
void RegisterDebuggerCommands(CommandTable& table);  // registers, breakpoints, screen
void RegisterExtractCommands(CommandTable& table);   // disc, NAND, low-level dumps
void RegisterCardCommands(CommandTable& table);      // memory card

class Console {
 public:
  Console();

  // Serves commands until the link closes. One link at a time.
  void Serve(ConsoleIo& io);

  // Only touch the model while the console is quiet (see SimAdapter::Quiesce).
  ConsoleModel& model() { return model_; }
  Faults& faults() { return faults_; }
  // Tests may serve extra command bytes of their own.
  CommandTable& commands() { return table_; }

  // Bytes per second the console can send; 0 for as fast as possible.
  void SetThrottle(uint64_t bytesPerSecond) { throttle_ = bytesPerSecond; }
  uint64_t throttle() const { return throttle_; }

  // What each answer waits before it goes out, as the adapter's chip holds short packets back.
  void SetLatency(uint64_t microseconds) { latency_ = microseconds; }
  uint64_t latency() const { return latency_; }

  // Where the console says what it does not serve (zemlo-sim prints it).
  void SetVerbose(bool verbose) { verbose_ = verbose; }
  bool verbose() const { return verbose_; }

 private:
  ConsoleModel model_;
  Faults faults_;
  CommandTable table_;
  std::atomic<uint64_t> throttle_{0};
  std::atomic<uint64_t> latency_{0};
  std::atomic<bool> verbose_{false};
};

}  // namespace zemlo::sim
