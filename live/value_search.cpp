#include "live/value_search.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/exchange_claim.h"
#include "link/link.h"
#include "live/live_link.h"
#include "live/lock_keeper.h"
#include "live/window_plan.h"
#include "protocol/console_controls.h"
#include "protocol/file_buffer.h"

namespace zemlo::live {
namespace {

// The largest range one search covers: MEM2, the larger of the two memories.
constexpr uint32_t kMaxScanRange = 64u << 20;
// A round trip through the adapter's chip expressed as bytes at its rate (about 1 ms at 1 MB/s):
// what each exchange costs on top of the bytes it moves.
constexpr uint64_t kExchangeOverheadBytes = 1000;
constexpr uint32_t kDumpPacket = 0xF800;
constexpr char kMagic[8] = {'Z', 'L', 'S', 'C', 'A', 'N', '0', '1'};

struct CompareInfo {
  Compare compare;
  const char* name;
  int operands;
  bool withPrevious;
};

constexpr std::array<CompareInfo, 12> kCompares{{
    {Compare::Exact, "exact", 1, false},
    {Compare::NotEqual, "not-equal", 1, false},
    {Compare::Greater, "greater", 1, false},
    {Compare::Less, "less", 1, false},
    {Compare::Between, "between", 2, false},
    {Compare::Unknown, "unknown", 0, false},
    {Compare::Increased, "increased", 0, true},
    {Compare::Decreased, "decreased", 0, true},
    {Compare::IncreasedBy, "increased-by", 1, true},
    {Compare::DecreasedBy, "decreased-by", 1, true},
    {Compare::Changed, "changed", 0, true},
    {Compare::Unchanged, "unchanged", 0, true},
}};

const CompareInfo& Info(Compare compare) {
  return kCompares[static_cast<size_t>(compare)];
}

// A difference between floats that came from the same rounding is not a real difference.
bool Near(double a, double b) {
  return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
}

bool Matches(const ScanRequest& request, double current, double previous) {
  switch (request.compare) {
    case Compare::Exact:
      return current == request.a;
    case Compare::NotEqual:
      return current != request.a;
    case Compare::Greater:
      return current > request.a;
    case Compare::Less:
      return current < request.a;
    case Compare::Between:
      return current >= std::min(request.a, request.b) && current <= std::max(request.a, request.b);
    case Compare::Unknown:
      return true;
    case Compare::Increased:
      return current > previous;
    case Compare::Decreased:
      return current < previous;
    case Compare::IncreasedBy:
      return Near(current - previous, request.a);
    case Compare::DecreasedBy:
      return Near(previous - current, request.a);
    case Compare::Changed:
      return current != previous;
    case Compare::Unchanged:
      return current == previous;
  }
  return false;
}

// Operands in the precision of the type, so that "exact 0.1" finds a float holding 0.1.
ScanRequest Rounded(ScanRequest request, ValueType type) {
  if (type == ValueType::F32) {
    request.a = static_cast<float>(request.a);
    request.b = static_cast<float>(request.b);
  }
  return request;
}

// After a chunk the caller hears the count; a stop takes effect here, between two chunks.
std::string AfterChunk(const ScanProgress& progress, uint64_t done, uint64_t total) {
  return !progress || progress(done, total) ? "" : kScanStopped;
}

}  // namespace

std::string ReadInChunksClaimed(uint32_t start, uint32_t end, bool freeze,
                                std::vector<uint8_t>& out, const ScanProgress& progress) {
  PurgeLink();
  if (freeze && !FreezeConsole()) return "the console could not be frozen";
  const uint32_t total = end - start;
  out.clear();
  out.reserve(total);
  std::string error;
  std::vector<uint8_t> chunk;
  for (uint32_t done = 0; done < total && error.empty();) {
    const uint32_t size = std::min(total - done, ValueSearch::kChunkBytes);
    // The locks get their turn before every chunk, the first one included.
    LockKeeper::Instance().KeepDue();
    if (!DumpRange(start + done, size, chunk)) {
      error = "the range could not be read";
      break;
    }
    out.insert(out.end(), chunk.begin(), chunk.end());
    done += size;
    error = AfterChunk(progress, done, total);
  }
  if (freeze) UnfreezeConsole();
  return error;
}

namespace {

template <typename T>
bool Put(std::FILE* file, const T& value) {
  return std::fwrite(&value, sizeof value, 1, file) == 1;
}
template <typename T>
bool Get(std::FILE* file, T& value) {
  return std::fread(&value, sizeof value, 1, file) == 1;
}
template <typename T>
bool PutVector(std::FILE* file, const std::vector<T>& items) {
  return Put(file, uint64_t{items.size()}) &&
         (items.empty() ||  // an empty vector may have no storage to write from
          std::fwrite(items.data(), sizeof(T), items.size(), file) == items.size());
}
template <typename T>
bool GetVector(std::FILE* file, std::vector<T>& items, uint64_t limit) {
  uint64_t count = 0;
  if (!Get(file, count) || count > limit) return false;
  items.resize(count);
  return count == 0 || std::fread(items.data(), sizeof(T), count, file) == count;
}

}  // namespace

const char* CompareName(Compare compare) {
  return Info(compare).name;
}

std::optional<Compare> CompareNamed(std::string_view name) {
  for (const CompareInfo& info : kCompares) {
    if (name == info.name) return info.compare;
  }
  return std::nullopt;
}

int CompareOperands(Compare compare) {
  return Info(compare).operands;
}

bool ComparesWithPrevious(Compare compare) {
  return Info(compare).withPrevious;
}

const uint8_t* ValueSearch::ValueAt(const Level& level, uint32_t offset) const {
  if (level.snapshot) return level.values.data() + offset;
  const int64_t index = level.candidates.IndexOf(offset);
  return index < 0 ? nullptr : level.values.data() + static_cast<size_t>(index) * valueSize();
}

std::string ValueSearch::Push(CandidateSet candidates, const std::vector<uint8_t>& snapshot,
                              const std::vector<uint32_t>* readOffsets,
                              const std::vector<uint8_t>* readValues) {
  Level level;
  level.snapshot = candidates.dense();
  if (level.snapshot) {
    level.values = snapshot;
  } else {
    const uint32_t size = valueSize();
    level.values.reserve(candidates.count() * size);
    size_t read = 0;
    candidates.ForEach([&](uint32_t offset) {
      if (readOffsets) {
        // Both lists ascend, so the read values are found by walking forward.
        while ((*readOffsets)[read] != offset) ++read;
        level.values.insert(level.values.end(), readValues->begin() + read * size,
                            readValues->begin() + (read + 1) * size);
      } else {
        level.values.insert(level.values.end(), snapshot.begin() + offset,
                            snapshot.begin() + offset + size);
      }
    });
  }
  level.candidates = std::move(candidates);
  levels_.push_back(std::move(level));
  if (levels_.size() > kMaxLevels) levels_.erase(levels_.begin());
  return {};
}

std::string ValueSearch::First(const ScanRange& range, const ScanRequest& request, bool freeze,
                               const ScanProgress& progress) {
  const ExchangeClaim claim = ExchangeClaim::TryClaim();
  return claim.held() ? FirstClaimed(range, request, freeze, progress) : "the link is in use";
}

std::string ValueSearch::Next(const ScanRequest& request, const ScanProgress& progress) {
  const ExchangeClaim claim = ExchangeClaim::TryClaim();
  return claim.held() ? NextClaimed(request, progress) : "the link is in use";
}

std::string ValueSearch::FirstClaimed(const ScanRange& range, const ScanRequest& rawRequest,
                                      bool freeze, const ScanProgress& progress) {
  if (!IsNumeric(range.type)) return "a search takes a numeric type";
  if (range.end <= range.start || range.end - range.start > kMaxScanRange) {
    return "the range must be 1 byte to 64 MiB long";
  }
  if (ComparesWithPrevious(rawRequest.compare)) return "a first scan has no earlier value";
  const ScanRequest request = Rounded(rawRequest, range.type);
  std::vector<uint8_t> snapshot;
  const ScanRange previousRange = range_;
  range_ = range;
  if (std::string error = ReadInChunksClaimed(range.start, range.end, freeze, snapshot, progress);
      !error.empty()) {
    range_ = previousRange;
    return error;
  }
  const uint32_t size = valueSize();
  CandidateSet all = CandidateSet::All(rangeSize(), size, range.aligned ? size : 1);
  CandidateSet found =
      request.compare == Compare::Unknown
          ? std::move(all)
          : all.Filter(rangeSize(), [&](uint32_t offset) {
              return Matches(request, DecodeNumber(range.type, &snapshot[offset]), 0);
            });
  levels_.clear();
  return Push(std::move(found), snapshot, nullptr, nullptr);
}

ReadPlan ValueSearch::NextPlan(uint64_t* windowBytes, uint64_t* dumpBytes) const {
  const uint64_t packets = rangeSize() / kDumpPacket + 1;
  const uint64_t dump = rangeSize() + packets * (1 + kExchangeOverheadBytes);
  uint64_t windows = UINT64_MAX;
  if (!levels_.empty() && !levels_.back().candidates.dense()) {
    std::vector<Span> spans;
    levels_.back().candidates.ForEach([&](uint32_t offset) {
      spans.push_back({range_.start + offset, valueSize()});
    });
    windows = PlanWindows(std::move(spans)).size() * (5 + kWindowSize + kExchangeOverheadBytes);
  }
  if (windowBytes) *windowBytes = windows;
  if (dumpBytes) *dumpBytes = dump;
  return windows < dump ? ReadPlan::Windows : ReadPlan::Dump;
}

std::string ValueSearch::NextClaimed(const ScanRequest& rawRequest, const ScanProgress& progress) {
  if (levels_.empty()) return "no search has been started";
  if (rawRequest.compare == Compare::Unknown) return "\"unknown\" only starts a search";
  const ScanRequest request = Rounded(rawRequest, range_.type);
  const Level& before = levels_.back();
  const uint32_t size = valueSize();
  std::vector<uint8_t> snapshot;
  std::vector<uint32_t> readOffsets;
  std::vector<uint8_t> readValues;
  if (NextPlan() == ReadPlan::Windows) {
    std::vector<Span> spans;
    before.candidates.ForEach([&](uint32_t offset) {
      spans.push_back({range_.start + offset, size});
      readOffsets.push_back(offset);
    });
    WindowSnapshot held;
    const std::vector<uint32_t> windows = PlanWindows(spans);
    for (size_t done = 0; done < windows.size();) {
      const size_t count = std::min(windows.size() - done, kChunkWindows);
      const auto first = windows.begin() + static_cast<ptrdiff_t>(done);
      LockKeeper::Instance().KeepDue();
      if (!held.ReadAll({first, first + static_cast<ptrdiff_t>(count)}))
        return "the console did not answer";
      done += count;
      if (std::string error =
              AfterChunk(progress, done * kWindowSize, windows.size() * uint64_t{kWindowSize});
          !error.empty()) {
        return error;
      }
    }
    readValues.resize(readOffsets.size() * size);
    for (size_t i = 0; i < readOffsets.size(); ++i) {
      held.Fetch(range_.start + readOffsets[i], size, &readValues[i * size]);
    }
  } else if (std::string error =
                 ReadInChunksClaimed(range_.start, range_.end, false, snapshot, progress);
             !error.empty()) {
    return error;
  }
  size_t index = 0;
  CandidateSet found = before.candidates.Filter(rangeSize(), [&](uint32_t offset) {
    const uint8_t* now = nullptr;
    if (snapshot.empty()) {
      while (readOffsets[index] != offset) ++index;
      now = &readValues[index * size];
    } else {
      now = &snapshot[offset];
    }
    return Matches(request, DecodeNumber(range_.type, now),
                   DecodeNumber(range_.type, ValueAt(before, offset)));
  });
  return Push(std::move(found), snapshot, snapshot.empty() ? &readOffsets : nullptr,
              snapshot.empty() ? &readValues : nullptr);
}

bool ValueSearch::Undo() {
  if (levels_.size() < 2) return false;
  levels_.pop_back();
  return true;
}

std::vector<ScanResult> ValueSearch::Results(size_t limit) const {
  std::vector<ScanResult> results;
  if (levels_.empty()) return results;
  const Level& now = levels_.back();
  const Level* before = levels_.size() > 1 ? &levels_[levels_.size() - 2] : nullptr;
  now.candidates.ForEach([&](uint32_t offset) {
    if (results.size() >= limit) return;
    ScanResult result;
    result.address = range_.start + offset;
    result.current = DecodeNumber(range_.type, ValueAt(now, offset));
    if (before) {
      if (const uint8_t* old = ValueAt(*before, offset))
        result.previous = DecodeNumber(range_.type, old);
    }
    results.push_back(result);
  });
  return results;
}

bool ValueSearch::Save(const std::string& path, std::string& error) const {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  bool ok = file && std::fwrite(kMagic, 1, sizeof kMagic, file.get()) == sizeof kMagic &&
            Put(file.get(), range_.start) && Put(file.get(), range_.end) &&
            Put(file.get(), static_cast<uint32_t>(range_.type)) &&
            Put(file.get(), uint8_t{range_.aligned}) && Put(file.get(), uint64_t{levels_.size()});
  for (const Level& level : levels_) {
    ok = ok && Put(file.get(), uint8_t{level.candidates.dense()}) &&
         PutVector(file.get(), level.candidates.bits()) &&
         PutVector(file.get(), level.candidates.list()) && PutVector(file.get(), level.values);
  }
  ok = ok && std::fflush(file.get()) == 0;
  if (!ok) error = "cannot write " + path;
  return ok;
}

bool ValueSearch::Load(const std::string& path, std::string& error) {
  error = path + " is not a search session";
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  char magic[sizeof kMagic];
  ScanRange range;
  uint32_t type = 0;
  uint8_t aligned = 0;
  uint64_t count = 0;
  if (std::fread(magic, 1, sizeof magic, file.get()) != sizeof magic ||
      std::memcmp(magic, kMagic, sizeof magic) != 0 || !Get(file.get(), range.start) ||
      !Get(file.get(), range.end) || !Get(file.get(), type) || !Get(file.get(), aligned) ||
      !Get(file.get(), count)) {
    return false;
  }
  range.type = static_cast<ValueType>(type);
  range.aligned = aligned != 0;
  // Everything in the file is checked before it is trusted as an index.
  if (type > static_cast<uint32_t>(ValueType::F64) || range.end <= range.start ||
      range.end - range.start > kMaxScanRange || count == 0 || count > kMaxLevels) {
    return false;
  }
  const uint32_t rangeBytes = range.end - range.start;
  const uint32_t size = TypeSize(range.type, 0);
  std::vector<Level> levels;
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t dense = 0;
    std::vector<uint64_t> bits;
    std::vector<uint32_t> list;
    Level level;
    if (!Get(file.get(), dense) || !GetVector(file.get(), bits, (uint64_t{rangeBytes} + 63) / 64) ||
        !GetVector(file.get(), list, rangeBytes) ||
        !GetVector(file.get(), level.values, rangeBytes)) {
      return false;
    }
    for (size_t j = 0; j < list.size(); ++j) {
      if (list[j] > rangeBytes - std::min(rangeBytes, size) || (j > 0 && list[j] <= list[j - 1]))
        return false;
    }
    if (dense && bits.size() != (uint64_t{rangeBytes} + 63) / 64) return false;
    level.candidates =
        dense ? CandidateSet::FromBits(std::move(bits)) : CandidateSet::FromList(std::move(list));
    level.snapshot = dense != 0;
    const uint64_t expected = dense ? rangeBytes : level.candidates.count() * size;
    if (level.values.size() != expected) return false;
    if (dense) {
      // A set bit whose value would run past the range would read past the snapshot.
      bool inside = true;
      level.candidates.ForEach(
          [&](uint32_t offset) { inside &= offset + uint64_t{size} <= rangeBytes; });
      if (!inside) return false;
    }
    levels.push_back(std::move(level));
  }
  range_ = range;
  levels_ = std::move(levels);
  error.clear();
  return true;
}

}  // namespace zemlo::live
