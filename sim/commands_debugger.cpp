#include <algorithm>
#include <cmath>

#include "link/bytes.h"
#include "protocol/commands.h"
#include "sim/console.h"

namespace zemlo::sim {
namespace {

// Registers as a game stopped by a data breakpoint leaves them: a store to 0x80401234 inside a
// small function, stack pointer in the arena's top, the small-data anchors in R2 and R13.
constexpr std::array<uint32_t, DebuggerModel::kRegisterCount> kStoppedRegisters{
    0x22000084u, 0x20000000u, 0x8000A1C4u, 0x02400000u, 0x80401234u, 0x800063A8u,  // CR..SRR0
    0x00009032u,                                                                   // SRR1
    0x800063A0u, 0x8173FE60u, 0x8045A8E0u, 0x80401230u, 0x00000004u, 0x3F800000u,  // R0..R5
    0x00000001u, 0x80401200u, 0x00000000u, 0x8000A1C4u, 0x00000020u, 0x000000FFu,  // R6..R11
    0x00000000u, 0x80458B40u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u,  // R12..R17
    0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x8173FF20u, 0x80402000u,  // R18..R23
    0x00000010u, 0x00000003u, 0x80401100u, 0x8173FF00u, 0x00000000u, 0x80401230u,  // R24..R29
    0x80401180u, 0x80401230u,                                                      // R30, R31
    0x800063A0u};                                                                  // LR

struct YCbCr {
  double y, cb, cr;
};

YCbCr FromRgb(const std::array<uint8_t, 3>& rgb) {
  const double r = rgb[0], g = rgb[1], b = rgb[2];
  return {0.299 * r + 0.587 * g + 0.114 * b, 128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
          128 + 0.5 * r - 0.418688 * g - 0.081312 * b};
}

uint8_t Sample(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

void SetBreakpoint(ConsoleSession& session, std::vector<uint32_t>& words) {
  uint32_t word = 0;
  if (session.ReadBE32(word)) words.push_back(word);
}

void SetDabr(ConsoleSession& session) {
  SetBreakpoint(session, session.model().debugger.dabrWords);
  if (!session.model().debugger.dabrWords.empty()) {
    session.model().game.cpu.breakpoints.dabr = session.model().debugger.dabrWords.back();
  }
}
void SetIabr(ConsoleSession& session) {
  SetBreakpoint(session, session.model().debugger.iabrWords);
  if (!session.model().debugger.iabrWords.empty()) {
    session.model().game.cpu.breakpoints.iabr = session.model().debugger.iabrWords.back();
  }
}

void ReadRegisters(ConsoleSession& session) {
  uint8_t block[DebuggerModel::kRegisterCount * 4];
  for (int i = 0; i < DebuggerModel::kRegisterCount; ++i) {
    WriteBE32(block + 4 * i, session.model().debugger.registers[i]);
  }
  session.Write(block, sizeof block);
}

void ServeGrab(ConsoleSession& session) {
  DebuggerModel& debugger = session.model().debugger;
  const std::vector<uint8_t> frame = debugger.GrabBytes();
  // The header goes out as single bytes, the width least significant byte first.
  const uint8_t header[] = {debugger.videoMode, static_cast<uint8_t>(debugger.frameWidth),
                            static_cast<uint8_t>(debugger.frameWidth >> 8)};
  for (int i = 0; i < 3; ++i) {
    if (i >= debugger.grabHeaderBytes) return;
    if (!session.Reply(header[i])) return;
  }
  size_t offset = 0;
  while (frame.size() - offset >= DebuggerModel::kPacketSize) {
    if (!session.Write(frame.data() + offset, DebuggerModel::kPacketSize)) return;
    uint8_t answer = 0;
    if (!session.ReadByte(answer)) return;
    debugger.grabAnswers.push_back(answer);
    if (answer == ACK_BLOCK) offset += DebuggerModel::kPacketSize;
  }
  const size_t rest = frame.size() - offset;
  session.Write(frame.data() + offset, std::min(rest, debugger.grabFinalPartKeep.value_or(rest)));
}

}  // namespace

DebuggerModel::DebuggerModel() : registers(kStoppedRegisters) {}

void DebuggerModel::SaveContext(const BreakpointHit& hit) {
  // Translation, recoverable and external interrupts on, as a running game has them.
  constexpr uint32_t kGameMsr = 0x00009032u;
  constexpr uint32_t kDsisrBreakpoint = 0x00400000u;
  constexpr uint32_t kDsisrStore = 0x02000000u;
  const PpcContext& c = hit.context;
  registers[0] = c.cr;
  registers[1] = c.xer;
  registers[2] = c.ctr;
  if (hit.outcome.event == CpuEvent::DataBreak) {
    registers[3] = kDsisrBreakpoint | (hit.outcome.store ? kDsisrStore : 0);
    registers[4] = hit.outcome.dataAddress;
  }
  registers[5] = c.pc;
  registers[6] = kGameMsr;
  for (int n = 0; n < 32; ++n) registers[7 + n] = c.gpr[n];
  registers[39] = c.lr;
}

std::vector<uint8_t> DebuggerModel::GrabBytes() const {
  std::vector<uint8_t> bytes = frameBuffer.empty() ? TestPattern(frameWidth, Lines()) : frameBuffer;
  const size_t size = size_t{Lines()} * kFrameLineBytes;
  // Black: luminance 16, neutral chroma.
  const size_t old = bytes.size();
  bytes.resize(size);
  for (size_t i = old; i < size; ++i) bytes[i] = (i % 2 == 0) ? 0x10 : 0x80;
  return bytes;
}

std::vector<uint8_t> TestPattern(uint32_t width, uint32_t lines) {
  std::vector<uint8_t> frame(size_t{width} * 2 * lines);
  const uint32_t barLines = lines * 3 / 4;
  for (uint32_t line = 0; line < lines; ++line) {
    uint8_t* out = frame.data() + size_t{line} * width * 2;
    for (uint32_t x = 0; x < width; x += 2) {
      YCbCr left{}, right{};
      if (line < barLines) {
        left = FromRgb(kTestBarColours[size_t{x} * 8 / width]);
        right = FromRgb(kTestBarColours[std::min<size_t>(size_t{x + 1} * 8 / width, 7)]);
      } else {
        const auto grey = [&](uint32_t column) {
          const double level = width > 1 ? 255.0 * column / (width - 1) : 0.0;
          return YCbCr{level, 128, 128};
        };
        left = grey(x);
        right = grey(std::min(x + 1, width - 1));
      }
      out[2 * x] = Sample(left.y);
      out[2 * x + 1] = Sample((left.cb + right.cb) / 2);
      if (x + 1 < width) {
        out[2 * x + 2] = Sample(right.y);
        out[2 * x + 3] = Sample((left.cr + right.cr) / 2);
      }
    }
  }
  return frame;
}

void RegisterDebuggerCommands(CommandTable& table) {
  table.Register(CMD_SET_DABR, SetDabr);
  table.Register(CMD_SET_IABR, SetIabr);
  table.Register(CMD_READ_REGISTERS, ReadRegisters);
  table.Register(CMD_GRAB_SCREEN, ServeGrab);
}

}  // namespace zemlo::sim
