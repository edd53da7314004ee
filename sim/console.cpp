#include "sim/console.h"

#include <chrono>
#include <cstdio>

#include "link/bytes.h"

namespace zemlo::sim {

ConsoleSession::ConsoleSession(Console& console, ConsoleIo& io) : console_(console), io_(io) {}

ConsoleModel& ConsoleSession::model() {
  return console_.model();
}
Faults& ConsoleSession::faults() {
  return console_.faults();
}

bool ConsoleSession::Read(void* buffer, size_t count) {
  return io_.Read(buffer, count);
}

bool ConsoleSession::ReadByte(uint8_t& byte) {
  return io_.Read(&byte, 1);
}

bool ConsoleSession::ReadBE32(uint32_t& value) {
  uint8_t bytes[4];
  if (!io_.Read(bytes, 4)) return false;
  value = zemlo::ReadBE32(bytes);
  return true;
}

namespace {

constexpr std::chrono::milliseconds kHoldPoll{5};
constexpr int kHoldPolls = 12'000;  // a minute

}  // namespace

bool ConsoleSession::Write(const void* buffer, size_t count) {
  if (console_.faults().Silent()) return true;
  if (count > 1) {
    if (auto keep = console_.faults().TakePacketShortening()) count = std::min(count, *keep);
    if (auto delay = console_.faults().TakePacketDelay()) {
      io_.Pause(std::chrono::milliseconds(*delay));
    }
    // A held write waits as a pause would, so that the link sees a console that is not at work;
    // a test that ends without releasing it does not leave the console waiting for ever.
    if (console_.faults().TakeHold()) {
      for (int i = 0; i < kHoldPolls && console_.faults().Holding(); ++i) io_.Pause(kHoldPoll);
    }
  }
  if (const uint64_t latency = console_.latency(); latency > 0 && count > 0) {
    io_.Pause(std::chrono::microseconds(latency));
  }
  if (const uint64_t rate = console_.throttle(); rate > 0 && count > 0) {
    io_.Pause(std::chrono::microseconds(count * 1'000'000 / rate));
  }
  return io_.Write(buffer, count);
}

bool ConsoleSession::ReadThenWrite(uint8_t& byte, uint8_t expected, const void* data, size_t count,
                                   bool& sent) {
  if (console_.faults().ConsoleFaultsArmed() || console_.latency() > 0 || console_.throttle() > 0) {
    sent = false;
    return ReadByte(byte);
  }
  return io_.ReadThenWrite(byte, expected, data, count, sent);
}

bool ConsoleSession::Post(uint8_t expected, const void* data, size_t count) {
  if (console_.faults().ConsoleFaultsArmed() || console_.latency() > 0 || console_.throttle() > 0) {
    return false;
  }
  return io_.Post(expected, data, count);
}

bool ConsoleSession::Reply(uint8_t byte) {
  if (console_.faults().Silent()) return true;
  const std::optional<uint8_t> sent = console_.faults().FilterReply(byte);
  return sent ? io_.Write(&*sent, 1) : true;
}

bool ConsoleSession::WriteBE32(uint32_t value) {
  uint8_t bytes[4];
  zemlo::WriteBE32(bytes, value);
  return Write(bytes, 4);
}

Console::Console() {
  RegisterControlCommands(table_);
  RegisterUploadCommands(table_);
  RegisterDebuggerCommands(table_);
  RegisterExtractCommands(table_);
  RegisterCardCommands(table_);
}

void Console::Serve(ConsoleIo& io) {
  ConsoleSession session(*this, io);
  uint8_t command = 0;
  while (io.Read(&command, 1)) {
    // A silent console swallows whatever it is sent.
    if (faults_.Silent()) continue;
    model_.commandLog.push_back(command);
    // The game only moves between commands, so every answer shows one consistent frame.
    model_.game.Advance(model_.MemorySpan(), model_.frozen);
    // A breakpoint that hit meanwhile has frozen the game with its context saved.
    if (const std::optional<BreakpointHit> hit = model_.game.TakeHit()) {
      model_.debugger.SaveContext(*hit);
      model_.frozen = true;
    }
    if (CommandHandler handler = table_.Find(command)) {
      handler(session);
    } else {
      // The real program ignores bytes it does not know and waits for the next command; the
      // client then sees its read for a reply come back short.
      model_.unknownCommands.push_back(command);
      if (verbose_) std::fprintf(stderr, "console: command 0x%02X is not served\n", command);
    }
  }
}

}  // namespace zemlo::sim
