#include "live/pointer_session.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "link/exchange_claim.h"
#include "protocol/file_buffer.h"

namespace zemlo::live {
namespace {

constexpr char kMagic[8] = {'Z', 'L', 'P', 'T', 'R', 'S', '0', '1'};
constexpr uint32_t kMem1Start = 0x80000000u;
constexpr uint32_t kMem1Size = 24u << 20;
constexpr uint64_t kMaxStoredChains = 10'000'000;

bool PutBytes(std::FILE* file, const void* data, size_t size) {
  return size == 0 || std::fwrite(data, 1, size, file) == size;
}
bool GetBytes(std::FILE* file, void* data, size_t size) {
  return size == 0 || std::fread(data, 1, size, file) == size;
}
template <typename T>
bool Put(std::FILE* file, T value) {
  return PutBytes(file, &value, sizeof value);
}
template <typename T>
bool Get(std::FILE* file, T& value) {
  return GetBytes(file, &value, sizeof value);
}

}  // namespace

bool PointerSession::Rescan(const LevelProgress& progress) {
  // A later snapshot only has to check the chains kept so far, unless they were cut short.
  if (snapshots.size() > 2 && !truncated) {
    const PointerSnapshot& latest = snapshots.back();
    std::erase_if(chains, [&](const PointerChain& chain) {
      return FollowChain(chain, latest) != latest.target;
    });
    return true;
  }
  PointerScanResult result = ScanPointers(snapshots, options, progress);
  if (result.stopped) return false;
  chains = std::move(result.chains);
  truncated = result.truncated;
  return true;
}

bool PointerSession::Save(const std::string& path, std::string& error) const {
  // Refused before the file is opened, so the session already there is kept.
  if (snapshots.size() > kMaxPointerSnapshots) {
    error = "a session keeps at most " + std::to_string(kMaxPointerSnapshots) + " snapshots";
    return false;
  }
  FilePtr file(std::fopen(path.c_str(), "wb"));
  std::FILE* f = file.get();
  bool ok = f && PutBytes(f, kMagic, sizeof kMagic) && Put(f, int32_t{options.depth}) &&
            Put(f, options.maxOffset) && Put(f, uint8_t{options.negativeOffsets}) &&
            Put(f, uint8_t{truncated}) && Put(f, uint64_t{snapshots.size()});
  for (const PointerSnapshot& snapshot : snapshots) {
    ok = ok && Put(f, snapshot.start) && Put(f, snapshot.target) &&
         Put(f, uint64_t{snapshot.memory.size()}) &&
         PutBytes(f, snapshot.memory.data(), snapshot.memory.size());
  }
  ok = ok && Put(f, uint64_t{chains.size()});
  for (const PointerChain& chain : chains) {
    ok = ok && Put(f, chain.base) && Put(f, uint8_t(chain.offsets.size())) &&
         PutBytes(f, chain.offsets.data(), chain.offsets.size() * sizeof(int32_t));
  }
  ok = ok && std::fflush(f) == 0;
  if (!ok) error = "cannot write " + path;
  return ok;
}

bool PointerSession::Load(const std::string& path, std::string& error) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  error = path + " is not a pointer scan session";
  std::FILE* f = file.get();
  PointerSession loaded;
  char magic[sizeof kMagic];
  int32_t depth = 0;
  uint8_t negative = 0, truncatedFlag = 0;
  uint64_t count = 0;
  if (!GetBytes(f, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
      !Get(f, depth) || !Get(f, loaded.options.maxOffset) || !Get(f, negative) ||
      !Get(f, truncatedFlag) || !Get(f, count) || depth < 1 || depth > kMaxPointerDepth ||
      count > kMaxPointerSnapshots || loaded.options.maxOffset > INT32_MAX) {
    return false;
  }
  loaded.options.depth = depth;
  loaded.options.negativeOffsets = negative != 0;
  loaded.truncated = truncatedFlag != 0;
  for (uint64_t i = 0; i < count; ++i) {
    PointerSnapshot snapshot;
    uint64_t size = 0;
    if (!Get(f, snapshot.start) || !Get(f, snapshot.target) || !Get(f, size) || size > kMem1Size ||
        snapshot.start + size > 0x100000000ull) {
      return false;
    }
    snapshot.memory.resize(size);
    if (!GetBytes(f, snapshot.memory.data(), size)) return false;
    loaded.snapshots.push_back(std::move(snapshot));
  }
  if (!Get(f, count) || count > kMaxStoredChains) return false;
  for (uint64_t i = 0; i < count; ++i) {
    PointerChain chain;
    uint8_t steps = 0;
    if (!Get(f, chain.base) || !Get(f, steps) || steps < 1 || steps > kMaxPointerDepth)
      return false;
    chain.offsets.resize(steps);
    if (!GetBytes(f, chain.offsets.data(), steps * sizeof(int32_t))) return false;
    loaded.chains.push_back(std::move(chain));
  }
  *this = std::move(loaded);
  error.clear();
  return true;
}

WatchEntry ChainEntry(const PointerChain& chain) {
  WatchEntry entry;
  char label[24];
  std::snprintf(label, sizeof label, "pointer %08X", chain.base);
  entry.label = label;
  entry.address = chain.base;
  entry.type = ValueType::U32;
  entry.base = DisplayBase::Hex;
  for (int32_t offset : chain.offsets)
    entry.pointerOffsets.push_back(static_cast<uint32_t>(offset));
  return entry;
}

std::string TakeSnapshot(uint32_t target, PointerSnapshot& out, const ScanProgress& progress) {
  const ExchangeClaim claim = ExchangeClaim::TryClaim();
  return claim.held() ? TakeSnapshotClaimed(target, out, progress) : "the link is in use";
}

std::string TakeSnapshotClaimed(uint32_t target, PointerSnapshot& out,
                                const ScanProgress& progress) {
  out.start = kMem1Start;
  out.target = target;
  return ReadInChunksClaimed(kMem1Start, kMem1Start + kMem1Size, true, out.memory, progress);
}

bool LoadSnapshotFile(const std::string& path, uint32_t target, PointerSnapshot& out,
                      std::string& error) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  out.start = kMem1Start;
  out.target = target;
  out.memory.assign(kMem1Size, 0);
  const size_t read = std::fread(out.memory.data(), 1, kMem1Size, file.get());
  if (read < 4) {
    error = path + " is not a MEM1 dump";
    return false;
  }
  out.memory.resize(read);
  return true;
}

}  // namespace zemlo::live
