#include "live/pointer_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "link/bytes.h"

namespace zemlo::live {
namespace {

// Bounds the work of one level: a single snapshot of noisy memory can otherwise hold millions
// of places that lead on to the target.
constexpr size_t kMaxNodesPerLevel = 8'000'000;

// Every aligned word of a snapshot that points back into it, as (value << 32 | place), sorted
// so that the words pointing into a range are found by binary search.
std::vector<uint64_t> PointerIndex(const PointerSnapshot& snapshot) {
  std::vector<uint64_t> index;
  const uint64_t end = snapshot.start + uint64_t{snapshot.memory.size()};
  for (size_t at = 0; at + 4 <= snapshot.memory.size(); at += 4) {
    const uint32_t value = ReadBE32(&snapshot.memory[at]);
    if (value >= snapshot.start && value < end)
      index.push_back(uint64_t{value} << 32 | (snapshot.start + static_cast<uint32_t>(at)));
  }
  std::sort(index.begin(), index.end());
  return index;
}

std::pair<size_t, size_t> ValuesIn(const std::vector<uint64_t>& index, int64_t low, int64_t high) {
  low = std::max<int64_t>(low, 0);
  high = std::min<int64_t>(high, UINT32_MAX);
  if (low > high) return {0, 0};
  const auto first = std::lower_bound(index.begin(), index.end(), uint64_t(low) << 32);
  const auto last = std::upper_bound(first, index.end(), uint64_t(high) << 32 | UINT32_MAX);
  return {static_cast<size_t>(first - index.begin()), static_cast<size_t>(last - index.begin())};
}

// One level of the backward walk: places (a pair: the first snapshot's and the second's) from
// which one more pointer read and `offset` lead to a node of the level below.
struct Edge {
  uint64_t pair;
  uint32_t child;  // index into the level below
  int32_t offset;
};

struct Level {
  std::vector<uint64_t> pairs;      // sorted, unique
  std::vector<uint32_t> firstEdge;  // edges of pairs[i]: [firstEdge[i], firstEdge[i + 1])
  std::vector<Edge> edges;
};

uint32_t First(uint64_t pair) {
  return static_cast<uint32_t>(pair >> 32);
}
uint32_t Second(uint64_t pair) {
  return static_cast<uint32_t>(pair);
}

uint64_t OffsetSize(const PointerChain& chain, bool sum) {
  uint64_t size = 0;
  for (int32_t offset : chain.offsets) {
    const uint64_t magnitude = static_cast<uint64_t>(std::llabs(offset));
    size = sum ? size + magnitude : std::max(size, magnitude);
  }
  return size;
}

}  // namespace

bool ChainBefore(const PointerChain& a, const PointerChain& b) {
  if (a.offsets.size() != b.offsets.size()) return a.offsets.size() < b.offsets.size();
  const uint64_t largestA = OffsetSize(a, false), largestB = OffsetSize(b, false);
  if (largestA != largestB) return largestA < largestB;
  const uint64_t sumA = OffsetSize(a, true), sumB = OffsetSize(b, true);
  if (sumA != sumB) return sumA < sumB;
  if (a.base != b.base) return a.base < b.base;
  return a.offsets < b.offsets;
}

std::optional<uint32_t> FollowChain(const PointerChain& chain, const PointerSnapshot& snapshot) {
  uint64_t at = chain.base;
  for (int32_t offset : chain.offsets) {
    if (at < snapshot.start || at - snapshot.start + 4 > snapshot.memory.size())
      return std::nullopt;
    const int64_t next = int64_t{ReadBE32(&snapshot.memory[at - snapshot.start])} + offset;
    if (next < 0 || next > UINT32_MAX) return std::nullopt;
    at = static_cast<uint64_t>(next);
  }
  return static_cast<uint32_t>(at);
}

PointerScanResult ScanPointers(const std::vector<PointerSnapshot>& snapshots,
                               const PointerScanOptions& options, const LevelProgress& progress) {
  PointerScanResult result;
  if (snapshots.empty() || options.depth < 1 || options.depth > kMaxPointerDepth) return result;
  // The walk pairs the first two snapshots, which is where nearly all false paths die; the
  // others check the chains it finds.
  const bool single = snapshots.size() == 1;
  const std::vector<uint64_t> first = PointerIndex(snapshots[0]);
  const std::vector<uint64_t> second =
      single ? std::vector<uint64_t>() : PointerIndex(snapshots[1]);
  const int64_t below = options.maxOffset;
  const int64_t above = options.negativeOffsets ? options.maxOffset : 0;

  std::vector<Level> levels(1);
  levels[0].pairs = {uint64_t{snapshots[0].target} << 32 |
                     (single ? snapshots[0].target : snapshots[1].target)};
  levels[0].firstEdge = {0, 0};
  std::vector<PointerChain> chains;
  for (int depth = 1; depth <= options.depth; ++depth) {
    const Level& child = levels.back();
    std::vector<Edge> raw;
    for (uint32_t c = 0; c < child.pairs.size(); ++c) {
      const int64_t a1 = First(child.pairs[c]), a2 = Second(child.pairs[c]);
      const auto [from, to] = ValuesIn(first, a1 - below, a1 + above);
      for (size_t i = from; i < to && raw.size() < kMaxNodesPerLevel; ++i) {
        const int64_t offset = a1 - int64_t{First(first[i])};
        const uint32_t place1 = Second(first[i]);
        if (single) {
          raw.push_back({uint64_t{place1} << 32 | place1, c, static_cast<int32_t>(offset)});
          continue;
        }
        const auto [from2, to2] = ValuesIn(second, a2 - offset, a2 - offset);
        for (size_t j = from2; j < to2; ++j) {
          raw.push_back(
              {uint64_t{place1} << 32 | Second(second[j]), c, static_cast<int32_t>(offset)});
        }
      }
    }
    if (raw.size() >= kMaxNodesPerLevel) result.truncated = true;
    std::sort(raw.begin(), raw.end(), [](const Edge& a, const Edge& b) { return a.pair < b.pair; });
    Level level;
    level.edges = std::move(raw);
    for (uint32_t i = 0; i < level.edges.size(); ++i) {
      if (i == 0 || level.edges[i].pair != level.edges[i - 1].pair) {
        level.pairs.push_back(level.edges[i].pair);
        level.firstEdge.push_back(i);
      }
    }
    level.firstEdge.push_back(static_cast<uint32_t>(level.edges.size()));
    levels.push_back(std::move(level));

    // A place that is the same in both snapshots is a base: every path from it down to the
    // target is a chain.
    std::vector<PointerChain> found;
    const Level& top = levels.back();
    std::vector<int32_t> path;
    const std::function<void(size_t, uint32_t)> walk = [&](size_t levelIndex, uint32_t node) {
      if (levelIndex == 0) {
        found.back().offsets = path;
        found.push_back(found.back());
        return;
      }
      const Level& at = levels[levelIndex];
      for (uint32_t e = at.firstEdge[node];
           e < at.firstEdge[node + 1] && found.size() <= 4 * options.maxChains; ++e) {
        path.push_back(at.edges[e].offset);
        walk(levelIndex - 1, at.edges[e].child);
        path.pop_back();
      }
    };
    for (uint32_t node = 0; node < top.pairs.size(); ++node) {
      if (First(top.pairs[node]) != Second(top.pairs[node])) continue;
      found.push_back({First(top.pairs[node]), {}});
      walk(levels.size() - 1, node);
      found.pop_back();
    }
    for (PointerChain& chain : found) {
      bool holds = true;
      for (size_t s = 2; s < snapshots.size() && holds; ++s)
        holds = FollowChain(chain, snapshots[s]) == snapshots[s].target;
      if (holds) chains.push_back(std::move(chain));
    }
    if (found.size() > 4 * options.maxChains) result.truncated = true;
    if (progress && !progress(depth)) return {{}, false, true};
    if (chains.size() >= options.maxChains) break;
  }
  std::sort(chains.begin(), chains.end(), ChainBefore);
  if (chains.size() > options.maxChains) {
    chains.resize(options.maxChains);
    result.truncated = true;
  }
  result.chains = std::move(chains);
  return result;
}

std::string ChainJson(const PointerChain& chain) {
  char text[32];
  std::snprintf(text, sizeof text, "%08X", chain.base);
  std::string json = "\"address\": \"" + std::string(text) + "\", \"pointerOffsets\": [";
  for (size_t i = 0; i < chain.offsets.size(); ++i) {
    const int32_t offset = chain.offsets[i];
    std::snprintf(text, sizeof text, "%s\"%s%X\"", i ? ", " : "", offset < 0 ? "-" : "",
                  static_cast<uint32_t>(std::llabs(offset)));
    json += text;
  }
  return json + "]";
}

}  // namespace zemlo::live
