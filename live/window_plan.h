// Which 200-byte windows to read so that every wanted span is covered, and the bytes they held.
// Starting each window at the lowest byte not yet covered gives the fewest windows, so spans
// close together share one.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace zemlo::live {

struct Span {
  uint32_t address = 0;
  uint32_t size = 0;
};

// Window start addresses, ascending. Spans may overlap and come in any order.
std::vector<uint32_t> PlanWindows(std::vector<Span> spans);

// The windows read so far in one refresh.
class WindowSnapshot {
 public:
  // Reads the planned windows not already held. False when a read failed (the windows read
  // before it are kept).
  bool ReadAll(const std::vector<uint32_t>& starts);
  // Copies [address, address + size) when held whole.
  bool Fetch(uint32_t address, uint32_t size, uint8_t* out) const;
  std::optional<uint32_t> Word(uint32_t address) const;
  void Clear() { windows_.clear(); }
  size_t windowCount() const { return windows_.size(); }

 private:
  std::map<uint32_t, std::vector<uint8_t>> windows_;
};

}  // namespace zemlo::live
