#include "gdbstub/console_target.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/bytes.h"
#include "link/exchange_claim.h"
#include "live/live_link.h"
#include "protocol/console_controls.h"

namespace zemlo::gdb {
namespace {

// Another tool of the desktop client may hold the link for a moment (a refresh); the stub waits
// for it rather than fail gdb's request.
ExchangeClaim Claim() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    ExchangeClaim claim = ExchangeClaim::TryClaim();
    if (claim.held() || std::chrono::steady_clock::now() >= until) return claim;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The console answers nothing to a poke, a freeze or a breakpoint word, and the next purge by
// anyone would drop such a command still on its way. An exchange that has an answer, sent after
// it, proves the console has taken it: it serves commands in order.
bool Confirmed(bool sent) {
  return sent && ReadRegisterBlock().has_value();
}

}  // namespace

std::optional<MemoryRegion> RegionOf(uint32_t address, uint32_t count) {
  for (const MemoryRegion& region : kMemoryRegions) {
    if (address >= region.first && address <= region.last &&
        count <= uint64_t{region.last} - address + 1) {
      return region;
    }
  }
  return std::nullopt;
}

bool ConsoleTarget::Read(uint32_t address, uint32_t count, std::vector<uint8_t>& out) {
  out.clear();
  if (count == 0) return true;
  const std::optional<MemoryRegion> region = RegionOf(address, count);
  if (!region) return false;
  std::optional<ExchangeClaim> claim;
  if (!ClaimFor(claim)) return false;
  uint8_t window[live::kWindowSize];
  while (out.size() < count) {
    const uint32_t at = address + static_cast<uint32_t>(out.size());
    // A window never reaches past its region: the console answers for its own memory only.
    const uint64_t latest = uint64_t{region->last} + 1 - live::kWindowSize;
    const uint32_t start = static_cast<uint32_t>(std::min<uint64_t>(at, latest));
    if (!live::ReadWindow(start, window)) return false;
    const uint32_t skip = at - start;
    const uint32_t take =
        std::min<uint32_t>(live::kWindowSize - skip, count - static_cast<uint32_t>(out.size()));
    out.insert(out.end(), window + skip, window + skip + take);
  }
  return true;
}

bool ConsoleTarget::Write(uint32_t address, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return true;
  const uint32_t first = address & ~3u;
  const uint32_t end = address + static_cast<uint32_t>(bytes.size());
  const uint32_t length = ((end + 3) & ~3u) - first;
  if (!RegionOf(first, length)) return false;
  std::vector<uint8_t> words;
  // Only the partly written words at either end need their other bytes.
  if (first != address || (end & 3u) != 0) {
    if (!Read(first, length, words)) return false;
  } else {
    words.assign(length, 0);
  }
  std::copy(bytes.begin(), bytes.end(), words.begin() + (address - first));
  std::optional<ExchangeClaim> claim;
  if (!ClaimFor(claim)) return false;
  bool sent = true;
  for (uint32_t offset = 0; sent && offset < length; offset += 4) {
    sent = live::PokeWord(first + offset, ReadBE32(&words[offset]));
  }
  return Confirmed(sent);
}

bool ConsoleTarget::Freeze() {
  std::optional<ExchangeClaim> claim;
  return ClaimFor(claim) && Confirmed(FreezeConsole() == 1);
}

bool ConsoleTarget::Unfreeze() {
  std::optional<ExchangeClaim> claim;
  return ClaimFor(claim) && Confirmed(UnfreezeConsole() == 1);
}

bool ConsoleTarget::SetIabr(uint32_t word) {
  std::optional<ExchangeClaim> claim;
  return ClaimFor(claim) && Confirmed(SendInstructionBreakpointWord(word));
}

bool ConsoleTarget::SetDabr(uint32_t word) {
  std::optional<ExchangeClaim> claim;
  return ClaimFor(claim) && Confirmed(SendDataBreakpointWord(word));
}

std::optional<RegisterValues> ConsoleTarget::Registers() {
  std::optional<ExchangeClaim> claim;
  if (!ClaimFor(claim)) return std::nullopt;
  return ReadRegisterBlock();
}

bool ConsoleTarget::Hold() {
  if (!held_) held_.emplace(Claim());
  if (!held_->held()) held_.reset();
  return held_.has_value();
}

bool ConsoleTarget::ClaimFor(std::optional<ExchangeClaim>& claim) {
  if (held_) return true;
  claim.emplace(Claim());
  return claim->held();
}

}  // namespace zemlo::gdb
