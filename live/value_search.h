// A value search over a range of console memory: a first scan from one dump, next scans that
// compare with the value each candidate had before, and undo back through the earlier results.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "live/candidate_set.h"
#include "live/value_type.h"

namespace zemlo::live {

enum class Compare {
  Exact,
  NotEqual,
  Greater,
  Less,
  Between,
  Unknown,
  Increased,
  Decreased,
  IncreasedBy,
  DecreasedBy,
  Changed,
  Unchanged,
};

// "exact", "not-equal", ..., "unchanged": the names the command line uses.
const char* CompareName(Compare compare);
std::optional<Compare> CompareNamed(std::string_view name);
// How many values the comparison takes (0, 1 or 2).
int CompareOperands(Compare compare);
// True for the comparisons that need the value before (next scans only).
bool ComparesWithPrevious(Compare compare);

struct ScanRange {
  uint32_t start = 0x80000000u;
  uint32_t end = 0x81800000u;  // MEM1
  ValueType type = ValueType::U32;
  bool aligned = true;
};

struct ScanRequest {
  Compare compare = Compare::Exact;
  double a = 0;
  double b = 0;
};

struct ScanResult {
  uint32_t address = 0;
  double current = 0;
  std::optional<double> previous;  // none after the first scan
};

// Told after each chunk of a scan, with the link still held, how many bytes of how many are
// read; false stops the scan, which then leaves the search as it was.
using ScanProgress = std::function<bool(uint64_t done, uint64_t total)>;

// What a stopped scan returns.
inline constexpr char kScanStopped[] = "the scan was stopped";

// Reads [start, end) in chunks, the caller holding the exchange claim, the game held still
// throughout when `freeze`; locks and `progress` get their turn between chunks. Empty on
// success.
std::string ReadInChunksClaimed(uint32_t start, uint32_t end, bool freeze,
                                std::vector<uint8_t>& out, const ScanProgress& progress = {});

// How a next scan re-reads: the candidates' windows, or the whole range in one dump.
enum class ReadPlan { Windows, Dump };

class ValueSearch {
 public:
  // An empty string on success, otherwise why the scan did not run. `freeze` holds the game
  // still for the dump so that the snapshot is one frame. Memory is read in chunks; between
  // two chunks the locks are written (LockKeeper) and `progress` is told.
  std::string First(const ScanRange& range, const ScanRequest& request, bool freeze = false,
                    const ScanProgress& progress = {});
  std::string Next(const ScanRequest& request, const ScanProgress& progress = {});
  // The same, for a caller that already holds the exchange claim.
  std::string FirstClaimed(const ScanRange& range, const ScanRequest& request, bool freeze,
                           const ScanProgress& progress);
  std::string NextClaimed(const ScanRequest& request, const ScanProgress& progress);
  bool Undo();

  bool started() const { return !levels_.empty(); }
  const ScanRange& range() const { return range_; }
  uint64_t count() const { return levels_.empty() ? 0 : levels_.back().candidates.count(); }
  std::vector<ScanResult> Results(size_t limit) const;
  // The plan and its byte cost the next scan would use.
  ReadPlan NextPlan(uint64_t* windowBytes = nullptr, uint64_t* dumpBytes = nullptr) const;
  size_t undoDepth() const { return levels_.empty() ? 0 : levels_.size() - 1; }

  // The whole search in a file, so that the command line can continue it.
  bool Save(const std::string& path, std::string& error) const;
  bool Load(const std::string& path, std::string& error);

  // Results and earlier levels kept for undo; older ones are dropped.
  static constexpr size_t kMaxLevels = 6;
  // Two dump packets: about 60 ms of the link at its usual rate, short enough for a lock.
  static constexpr uint32_t kChunkBytes = 2 * 0xF800;
  static constexpr size_t kChunkWindows = 300;

 private:
  struct Level {
    CandidateSet candidates;
    // Dense levels keep the range as read; list levels one value per candidate, in order.
    std::vector<uint8_t> values;
    bool snapshot = false;
  };
  uint32_t rangeSize() const { return range_.end - range_.start; }
  uint32_t valueSize() const { return TypeSize(range_.type, 0); }
  const uint8_t* ValueAt(const Level& level, uint32_t offset) const;
  std::string Push(CandidateSet candidates, const std::vector<uint8_t>& snapshot,
                   const std::vector<uint32_t>* readOffsets,
                   const std::vector<uint8_t>* readValues);

  ScanRange range_;
  std::vector<Level> levels_;
};

}  // namespace zemlo::live
