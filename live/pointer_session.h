// A pointer scan kept in a file between invocations: the snapshots taken so far (each with
// where the object was), the scan's limits and the chains that held in all of them.
#pragma once

#include <string>
#include <vector>

#include "live/pointer_scan.h"
#include "live/value_search.h"
#include "live/watch_list.h"

namespace zemlo::live {

// The most snapshots a session file holds: each is MEM1 whole, 24 MiB.
inline constexpr size_t kMaxPointerSnapshots = 16;
inline constexpr char kSessionFull[] =
    "The session holds 16 snapshots, the most it keeps: start again with a new scan";

struct PointerSession {
  PointerScanOptions options;
  std::vector<PointerSnapshot> snapshots;
  std::vector<PointerChain> chains;
  bool truncated = false;

  // Another snapshot would make a session that could not be read back.
  bool full() const { return snapshots.size() >= kMaxPointerSnapshots; }

  // Scans all snapshots anew; with one more snapshot this only ever drops chains. False when
  // `progress` stopped it, the chains then as they were.
  bool Rescan(const LevelProgress& progress = {});

  bool Save(const std::string& path, std::string& error) const;
  bool Load(const std::string& path, std::string& error);
};

// A u32 watch entry that follows `chain`.
WatchEntry ChainEntry(const PointerChain& chain);

// MEM1 as it is now, read with the game held still. An empty string on success, kScanStopped
// when `progress` stopped the reading between two chunks.
std::string TakeSnapshot(uint32_t target, PointerSnapshot& out, const ScanProgress& progress = {});
// The same, for a caller that already holds the exchange claim.
std::string TakeSnapshotClaimed(uint32_t target, PointerSnapshot& out,
                                const ScanProgress& progress = {});
// A MEM1 dump file (24 MiB, as the dump command writes it).
bool LoadSnapshotFile(const std::string& path, uint32_t target, PointerSnapshot& out,
                      std::string& error);

}  // namespace zemlo::live
