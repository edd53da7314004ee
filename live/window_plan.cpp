#include "live/window_plan.h"

#include <algorithm>

#include "link/bytes.h"
#include "live/live_link.h"

namespace zemlo::live {

std::vector<uint32_t> PlanWindows(std::vector<Span> spans) {
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.address < b.address; });
  std::vector<uint32_t> starts;
  uint64_t coveredEnd = 0;  // 64-bit: a window near the top of the address space ends past it
  for (const Span& span : spans) {
    const uint64_t end = uint64_t{span.address} + span.size;
    for (uint64_t from = std::max<uint64_t>(span.address, coveredEnd); from < end;) {
      starts.push_back(static_cast<uint32_t>(from));
      coveredEnd = from + kWindowSize;
      from = coveredEnd;
    }
  }
  return starts;
}

bool WindowSnapshot::ReadAll(const std::vector<uint32_t>& starts) {
  for (uint32_t start : starts) {
    if (windows_.count(start)) continue;
    std::vector<uint8_t> bytes(kWindowSize);
    if (!ReadWindow(start, bytes.data())) return false;
    windows_.emplace(start, std::move(bytes));
  }
  return true;
}

bool WindowSnapshot::Fetch(uint32_t address, uint32_t size, uint8_t* out) const {
  // Byte by byte from whichever held window covers it: a span may straddle two windows.
  for (uint32_t i = 0; i < size; ++i) {
    const uint64_t at = uint64_t{address} + i;
    auto it = windows_.upper_bound(static_cast<uint32_t>(std::min<uint64_t>(at, UINT32_MAX)));
    if (at > UINT32_MAX || it == windows_.begin()) return false;
    --it;
    if (at - it->first >= kWindowSize) return false;
    out[i] = it->second[at - it->first];
  }
  return true;
}

std::optional<uint32_t> WindowSnapshot::Word(uint32_t address) const {
  uint8_t bytes[4];
  if (!Fetch(address, 4, bytes)) return std::nullopt;
  return ReadBE32(bytes);
}

}  // namespace zemlo::live
