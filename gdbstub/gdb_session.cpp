#include "gdbstub/gdb_session.h"

#include <chrono>
#include <cstdlib>
#include <vector>

#include "debugger/breakpoints.h"
#include "disasm/ppc_flow.h"
#include "gdbstub/target_description.h"
#include "link/bytes.h"

namespace zemlo::gdb {
namespace {

// How often a running game's register block is read for a hit: far below what a person notices,
// and a 160-byte read costs the console little.
constexpr int kPollMs = 15;
constexpr char kError[] = "E01";
constexpr uint32_t kSigInt = 2;
constexpr uint32_t kSigTrap = 5;

std::string Signal(uint32_t number) {
  char text[4];
  std::snprintf(text, sizeof text, "T%02x", static_cast<unsigned>(number));
  return text;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "ADDR,LEN" at the start of `text`; the rest after it in `rest`.
std::optional<std::pair<uint32_t, uint32_t>> AddressLength(std::string_view text,
                                                           std::string_view* rest = nullptr) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  size_t end = text.find_first_of(":;", comma);
  if (end == std::string_view::npos) end = text.size();
  const auto address = ParseHex(text.substr(0, comma));
  const auto length = ParseHex(text.substr(comma + 1, end - comma - 1));
  if (!address || !length) return std::nullopt;
  if (rest) *rest = text.substr(std::min(end + 1, text.size()));
  return std::pair{*address, *length};
}

}  // namespace

GdbSession::GdbSession(ConsoleTarget& target, Channel& channel, std::FILE* log)
    : target_(target), channel_(channel), log_(log) {}

void GdbSession::Send(const std::string& payload) {
  if (log_) {
    std::fprintf(log_, "-> %s\n", payload.c_str());
    std::fflush(log_);
  }
  lastSent_ = FramePacket(payload);
  channel_.Send(lastSent_);
}

void GdbSession::LeaveRunning() {
  if (codeBreak_) target_.SetIabr(0);
  if (watch_) target_.SetDabr(0);
  codeBreak_.reset();
  watch_.reset();
  target_.Unfreeze();
}

void GdbSession::Run(const std::atomic<bool>& stop) {
  stop_ = &stop;
  target_.Freeze();
  if (const auto block = target_.Registers()) block_ = *block;
  char buffer[512];
  while (!ended_ && !stop) {
    const int got = channel_.Receive(buffer, sizeof buffer, 100);
    if (got < 0) break;
    for (int i = 0; i < got; ++i) reader_.Feed(buffer[i]);
    while (!ended_) {
      const std::optional<RspEvent> event = reader_.Next();
      if (!event) break;
      if (event->kind == RspEvent::BadPacket) {
        channel_.Send("-");
      } else if (event->kind == RspEvent::Nack) {
        if (!lastSent_.empty()) channel_.Send(lastSent_);
      } else if (event->kind == RspEvent::Packet) {
        if (!noAck_) channel_.Send("+");
        if (log_) {
          std::fprintf(log_, "<- %s\n", event->payload.c_str());
          std::fflush(log_);
        }
        const bool startsNoAck = event->payload == "QStartNoAckMode";
        if (const std::optional<std::string> reply = Handle(event->payload)) Send(*reply);
        if (startsNoAck) noAck_ = true;
      }
      // An interrupt while the game is already stopped has nothing to stop.
    }
  }
  if (!ended_) LeaveRunning();
}

std::optional<std::string> GdbSession::Handle(const std::string& packet) {
  if (packet.empty()) return "";
  if (StartsWith(packet, "qSupported")) {
    return "PacketSize=1000;qXfer:features:read+;qXfer:memory-map:read+;hwbreak+;"
           "QStartNoAckMode+";
  }
  if (packet == "QStartNoAckMode") return "OK";
  constexpr std::string_view kFeatures = "qXfer:features:read:target.xml:";
  constexpr std::string_view kMemoryMap = "qXfer:memory-map:read::";
  if (StartsWith(packet, kFeatures)) return Transfer(TargetXml(), packet.substr(kFeatures.size()));
  if (StartsWith(packet, kMemoryMap)) {
    return Transfer(MemoryMapXml(), packet.substr(kMemoryMap.size()));
  }
  if (packet == "qAttached") return "1";
  if (packet == "qC") return "QC1";
  if (packet == "qfThreadInfo") return "m1";
  if (packet == "qsThreadInfo") return "l";
  if (packet == "?") return lastStop_;
  if (packet == "vCont?") return "vCont;c;C;s;S";
  if (StartsWith(packet, "vCont;")) {
    // One thread: any step in the list steps it, otherwise it continues.
    return Resume(packet.find(";s") != std::string::npos || packet.find(";S") != std::string::npos);
  }
  switch (packet[0]) {
    case 'g':
      return RegisterPacket(block_);
    case 'p': {
      const auto number = ParseHex(std::string_view(packet).substr(1));
      const std::string text = number ? RegisterText(block_, *number) : "";
      return text.empty() ? kError : text;
    }
    case 'G':
    case 'P':
      return kError;  // the console cannot load registers
    case 'm':
      return ReadMemory(packet.substr(1));
    case 'M':
      return WriteMemory(packet.substr(1), false);
    case 'X':
      return WriteMemory(packet.substr(1), true);
    case 'c':
    case 's':
      // The console cannot move the PC, so a resume address other than the current one fails.
      if (packet.size() > 1 && ParseHex(packet.substr(1)) != block_[kBlockSrr0]) return kError;
      return Resume(packet[0] == 's');
    case 'Z':
    case 'z':
      return Breakpoint(packet, packet[0] == 'Z');
    case 'H':
    case 'T':
      return "OK";
    case 'D':
      LeaveRunning();
      ended_ = true;
      return "OK";
    case 'k':
      LeaveRunning();
      ended_ = true;
      return std::nullopt;
    default:
      return "";
  }
}

std::string GdbSession::Transfer(const std::string& document, const std::string& range) const {
  const auto offsetLength = AddressLength(range);
  if (!offsetLength) return kError;
  const auto [offset, length] = *offsetLength;
  if (offset >= document.size()) return "l";
  const std::string part = document.substr(offset, length);
  return (offset + part.size() >= document.size() ? "l" : "m") + part;
}

std::string GdbSession::ReadMemory(const std::string& arguments) {
  const auto range = AddressLength(arguments);
  if (!range) return kError;
  std::vector<uint8_t> bytes;
  if (!target_.Read(range->first, range->second, bytes)) return kError;
  return ToHex(bytes.data(), bytes.size());
}

std::string GdbSession::WriteMemory(const std::string& arguments, bool binary) {
  std::string_view data;
  const auto range = AddressLength(arguments, &data);
  if (!range) return kError;
  std::vector<uint8_t> bytes;
  if (binary) {
    bytes.assign(data.begin(), data.end());
  } else if (const auto decoded = FromHex(data)) {
    bytes = *decoded;
  } else {
    return kError;
  }
  if (bytes.size() != range->second) return kError;
  return target_.Write(range->first, bytes) ? "OK" : kError;
}

std::string GdbSession::Breakpoint(const std::string& packet, bool insert) {
  const char type = packet.size() > 1 ? packet[1] : '?';
  const auto range =
      packet.size() > 3 ? AddressLength(std::string_view(packet).substr(3)) : std::nullopt;
  if (!range || packet[2] != ',') return kError;
  const auto [address, length] = *range;
  if (type == '0' || type == '1') {
    if (!insert) {
      if (codeBreak_ && codeBreak_->address == address) {
        codeBreak_.reset();
        if (!target_.SetIabr(0)) return kError;
      }
      return "OK";
    }
    if (codeBreak_ && codeBreak_->address != address) return kError;  // the one IABR is taken
    if (!BreakpointAddressInRange(address) || !target_.SetIabr((address & ~3u) | kIabrBits)) {
      return kError;
    }
    codeBreak_ = CodeBreak{address};
    return "OK";
  }
  if (type < '2' || type > '4') return "";
  if (!insert) {
    if (watch_ && watch_->address == address && watch_->type == type) {
      watch_.reset();
      if (!target_.SetDabr(0)) return kError;
    }
    return "OK";
  }
  // The DABR covers one aligned doubleword: a longer watch, or one across two, cannot be had.
  const bool fits = length >= 1 && length <= 8 && (address & ~7u) == ((address + length - 1) & ~7u);
  if (!fits || !BreakpointAddressInRange(address)) return kError;
  if (watch_ && (watch_->address != address || watch_->type != type)) return kError;
  const uint32_t kind = type == '2' ? kDabrWrite : type == '3' ? kDabrRead : kDabrReadWrite;
  if (!target_.SetDabr((address & ~7u) | kind)) return kError;
  watch_ = Watch{address, length, type};
  return "OK";
}

std::string GdbSession::Resume(bool step) {
  const std::optional<RegisterValues> baseline = target_.Registers();
  if (!baseline) return kError;
  block_ = *baseline;
  std::optional<uint32_t> stepTarget;
  if (step) {
    const uint32_t pc = block_[kBlockSrr0];
    std::vector<uint8_t> word;
    if (!target_.Read(pc, 4, word)) return kError;
    const FlowStep flow = ppc_flow(ReadBE32(word.data()), pc,
                                   {block_[kBlockCr], block_[kBlockCtr], block_[kBlockLr]});
    if (!BreakpointAddressInRange(flow.next) || !target_.SetIabr(flow.next | kIabrBits)) {
      return kError;
    }
    stepTarget = flow.next;
  }
  // The step borrowed the IABR; gdb's own breakpoint goes back once the step is over.
  const auto restoreIabr = [&] {
    if (step) target_.SetIabr(codeBreak_ ? ((codeBreak_->address & ~3u) | kIabrBits) : 0);
  };
  if (!target_.Unfreeze()) {
    restoreIabr();
    return kError;
  }
  char buffer[64];
  for (;;) {
    const int got = channel_.Receive(buffer, sizeof buffer, kPollMs);
    bool interrupted = false;
    if (got < 0 || (stop_ && *stop_)) {
      restoreIabr();
      ended_ = true;
      LeaveRunning();
      return "X09";
    }
    for (int i = 0; i < got; ++i) interrupted |= buffer[i] == kInterrupt;
    if (interrupted) {
      target_.Freeze();
      restoreIabr();
      // The console saves no context on a freeze: gdb sees the registers of the last hit.
      if (const auto block = target_.Registers()) block_ = *block;
      lastStop_ = Signal(kSigInt);
      return lastStop_;
    }
    const std::optional<RegisterValues> block = target_.Registers();
    if (block && *block != *baseline) {
      block_ = *block;
      restoreIabr();
      lastStop_ = StopReply(block_, stepTarget);
      return lastStop_;
    }
  }
}

std::string GdbSession::StopReply(const RegisterValues& block,
                                  std::optional<uint32_t> stepTarget) const {
  const uint32_t pc = block[kBlockSrr0];
  std::string reply = Signal(kSigTrap);
  if (stepTarget && pc == *stepTarget) return reply;
  if (codeBreak_ && pc == (codeBreak_->address & ~3u)) return reply + "hwbreak:;";
  const uint32_t dar = block[kBlockDar];
  if (watch_ && (dar & ~7u) == (watch_->address & ~7u)) {
    // The processor watches the whole doubleword; gdb is told the address it asked to watch
    // when the access fell beside it, and sorts the rest out by the value.
    const bool inside = dar >= watch_->address && dar - watch_->address < watch_->length;
    const char* kind = watch_->type == '2' ? "watch" : watch_->type == '3' ? "rwatch" : "awatch";
    return reply + kind + ":" + HexWord(inside ? dar : watch_->address) + ";";
  }
  return reply;
}

}  // namespace zemlo::gdb
