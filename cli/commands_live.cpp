#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "cli/handlers.h"
#include "cli/interrupt_stop.h"
#include "live/gecko_codes.h"
#include "live/lock_keeper.h"
#include "live/pointer_session.h"
#include "live/value_search.h"
#include "live/watch_file.h"
#include "live/watch_list.h"

// The live tools from a terminal: a watch list refreshed on an interval, and a value search kept
// in a session file between invocations.
namespace zemlo::cli {
namespace {

std::optional<uint64_t> Count(const CliArgs& args, const std::string& name, uint64_t fallback) {
  const auto it = args.options.find(name);
  if (it == args.options.end()) return fallback;
  uint64_t value = 0;
  const auto [end, error] =
      std::from_chars(it->second.data(), it->second.data() + it->second.size(), value);
  if (error != std::errc() || end != it->second.data() + it->second.size()) return std::nullopt;
  return value;
}

std::optional<uint32_t> Address(const CliArgs& args, const std::string& name, uint32_t fallback) {
  const auto it = args.options.find(name);
  if (it == args.options.end()) return fallback;
  uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(it->second.data(), it->second.data() + it->second.size(), value, 16);
  if (it->second.empty() || error != std::errc() || end != it->second.data() + it->second.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> Operand(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') return std::nullopt;
  return value;
}

std::string Number(live::ValueType type, double value) {
  char text[40];
  std::snprintf(text, sizeof text, live::IsFloat(type) ? "%.9g" : "%.0f", value);
  return text;
}

// "scan new TYPE COMPARE [A [B]]" and "scan next COMPARE [A [B]]": the comparison and its values.
std::optional<live::ScanRequest> Request(const std::vector<std::string>& words, size_t first) {
  if (words.size() <= first) return std::nullopt;
  const auto compare = live::CompareNamed(words[first]);
  if (!compare || words.size() != first + 1 + live::CompareOperands(*compare)) return std::nullopt;
  live::ScanRequest request{*compare};
  for (int i = 0; i < live::CompareOperands(*compare); ++i) {
    const auto value = Operand(words[first + 1 + i]);
    if (!value) return std::nullopt;
    (i == 0 ? request.a : request.b) = *value;
  }
  return request;
}

// "--lock FILE": every entry of the watch list FILE held during the scan, at its "lock" value
// from the file or else at the value it has when the scan starts.
std::string HoldLocks(const std::string& path) {
  live::WatchList list;
  std::string error;
  if (!live::LoadWatchFile(path, list.entries(), list.structs(), error)) return error;
  if (list.Refresh() == live::RefreshOutcome::Failed) return "the locked entries could not be read";
  for (size_t i = 0; i < list.entries().size(); ++i) {
    // A struct or an array is there for its fields to be watched; its values stay free.
    if (list.entries()[i].locked || list.entries()[i].kind != live::EntryKind::Value) continue;
    if (error = list.Lock(i, true); !error.empty()) return list.entries()[i].label + ": " + error;
  }
  live::LockKeeper::Instance().Publish(list);
  return {};
}

std::string Plural(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A scan as the other long commands run: the progress display on standard error, and Ctrl-C as
// Stop, which ends the scan at its next chunk or level and leaves the session file as it was.
class LongScan {
 public:
  explicit LongScan(CliUi& ui) : ui_(ui) { ui_.HoldProgress(true); }
  ~LongScan() {
    Finish();
    ui_.HoldProgress(false);
  }
  LongScan(const LongScan&) = delete;
  LongScan& operator=(const LongScan&) = delete;

  live::ScanProgress Bytes() {
    return [this](uint64_t done, uint64_t total) {
      Show(done, total);
      return !stop_.Requested();
    };
  }
  live::LevelProgress Levels(int depth) {
    Show(0, static_cast<uint64_t>(depth));
    return [this, depth](int level) {
      Show(static_cast<uint64_t>(level), static_cast<uint64_t>(depth));
      return !stop_.Requested();
    };
  }

  // Ends the progress line, before the results go to standard output.
  void Finish() { ui_.HeldProgressRange(0); }

  // The stopped extraction's kind of message and status.
  int Stopped(const std::string& what, const std::string& session) {
    ui_.ShowMessage(what + " operation stopped", what + " Stopped", MessageIcon::None,
                    MessageOwner::None, "nothing was written to " + session);
    return kExitStopped;
  }

 private:
  void Show(uint64_t done, uint64_t total) {
    // The display counts in 32 bits; a re-read of many windows may count more bytes.
    while (total > UINT32_MAX) {
      total >>= 1;
      done >>= 1;
    }
    if (total != total_) {
      ui_.HeldProgressRange(static_cast<uint32_t>(total));
      total_ = total;
      done_ = 0;
    }
    if (done <= done_) return;
    ui_.HeldProgressAdvance(static_cast<uint32_t>(done - done_));
    done_ = done;
  }

  CliUi& ui_;
  InterruptAsStop stop_;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
};

void PrintResults(const live::ValueSearch& search, size_t limit) {
  for (const live::ScanResult& result : search.Results(limit)) {
    std::printf("%08X %s %s\n", result.address, Number(search.range().type, result.current).c_str(),
                result.previous ? Number(search.range().type, *result.previous).c_str() : "-");
  }
}

}  // namespace

int CmdWatch(const CliArgs& args, CliUi&) {
  const auto interval = Count(args, "--interval", 100);
  const auto count = Count(args, "--count", 0);
  if (!interval || !count) return UsageError("watch", "--interval and --count take a number");
  live::WatchList list;
  std::string error;
  if (!live::LoadWatchFile(args.args[0], list.entries(), list.structs(), error)) {
    std::fprintf(stderr, "File Error: %s\n", error.c_str());
    return kExitFailure;
  }
  auto next = std::chrono::steady_clock::now();
  for (uint64_t done = 0; *count == 0 || done < *count; ++done) {
    if (done > 0) std::this_thread::sleep_until(next);
    next += std::chrono::milliseconds(*interval);
    if (list.Refresh() == live::RefreshOutcome::Failed) {
      std::fprintf(stderr, "USB Error: the console did not answer the refresh\n");
      return kExitFailure;
    }
    for (size_t i = 0; i < list.entries().size(); ++i) std::printf("%s\n", list.Line(i).c_str());
    std::fflush(stdout);
  }
  return kExitOk;
}

int CmdScan(const CliArgs& args, CliUi& ui) {
  const auto session = args.options.find("--session");
  if (session == args.options.end()) return UsageError("scan", "--session FILE is required");
  const std::string& action = args.args[0];
  const auto limit = Count(args, "--limit", 20);
  if (!limit) return UsageError("scan", "--limit takes a number");
  live::ValueSearch search;
  std::string error;
  LongScan scan(ui);
  if (action != "new" && !search.Load(session->second, error)) {
    std::fprintf(stderr, "File Error: %s\n", error.c_str());
    return kExitFailure;
  }
  if (action == "new") {
    const live::ValueType type =
        live::TypeNamed(args.args.size() > 1 ? args.args[1] : "").value_or(live::ValueType::String);
    const auto request = Request(args.args, 2);
    const auto start = Address(args, "--start", 0x80000000u);
    const auto end = Address(args, "--end", 0x81800000u);
    if (!live::IsNumeric(type)) return UsageError("scan", "TYPE must be u8 ... f64");
    if (!request || !start || !end) return UsageError("scan", "expected COMPARE [A [B]]");
    live::ScanRange range{*start, *end, type, !args.flags.count("--unaligned")};
    if (const auto locks = args.options.find("--lock"); locks != args.options.end())
      error = HoldLocks(locks->second);
    if (error.empty())
      error = search.First(range, *request, args.flags.count("--freeze") > 0, scan.Bytes());
  } else if (action == "next") {
    const auto request = Request(args.args, 1);
    if (!request) return UsageError("scan", "expected COMPARE [A [B]]");
    if (const auto locks = args.options.find("--lock"); locks != args.options.end())
      error = HoldLocks(locks->second);
    if (error.empty()) error = search.Next(*request, scan.Bytes());
  } else if (action == "undo") {
    if (!search.Undo()) error = "nothing to undo";
  } else if (action != "list") {
    return UsageError("scan", "the action must be new, next, undo or list");
  }
  if (error == live::kScanStopped) return scan.Stopped("Scan", session->second);
  scan.Finish();
  if (!error.empty()) {
    // The operation's own message box (a USB error) has said more when there was one.
    if (!ui.failureShown()) std::fprintf(stderr, "Error: %s\n", error.c_str());
    return kExitFailure;
  }
  if (action != "list" && !search.Save(session->second, error)) {
    std::fprintf(stderr, "File Error: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("%s\n", Plural(search.count(), "candidate", "candidates").c_str());
  PrintResults(search, *limit);
  return kExitOk;
}

int CmdCodes(const CliArgs& args, CliUi&) {
  std::vector<live::WatchEntry> entries;
  live::StructTypes structs;
  std::string error;
  if (!live::LoadWatchFile(args.args[0], entries, structs, error)) {
    std::fprintf(stderr, "File Error: %s\n", error.c_str());
    return kExitFailure;
  }
  std::vector<std::string> skipped;
  std::printf("%s", live::GeckoSection(entries, skipped).c_str());
  for (const std::string& entry : skipped) std::fprintf(stderr, "Error: %s\n", entry.c_str());
  return skipped.empty() ? kExitOk : kExitFailure;
}

int CmdPointers(const CliArgs& args, CliUi& ui) {
  const auto session = args.options.find("--session");
  if (session == args.options.end()) return UsageError("pointers", "--session FILE is required");
  const std::string& action = args.args[0];
  const auto limit = Count(args, "--limit", 20);
  const auto depth = Count(args, "--depth", 3);
  const auto maxOffset = Address(args, "--max-offset", 0x1000);
  if (!limit || !depth || *depth < 1 || *depth > live::kMaxPointerDepth)
    return UsageError("pointers", "--depth takes 1 to 4, --limit a number");
  if (!maxOffset || *maxOffset > 0x1000000)
    return UsageError("pointers", "--max-offset takes a hexadecimal number up to 1000000");
  const bool snapshot = action == "new" || action == "add";
  if (!snapshot && action != "list")
    return UsageError("pointers", "the action must be new, add or list");
  if (snapshot != (args.args.size() == 2))
    return UsageError("pointers", snapshot ? "expected TARGET" : "list takes no TARGET");
  live::PointerSession pointers;
  std::string error;
  if (action != "new" && !pointers.Load(session->second, error)) {
    std::fprintf(stderr, "File Error: %s\n", error.c_str());
    return kExitFailure;
  }
  if (snapshot) {
    uint32_t target = 0;
    const std::string& text = args.args[1];
    const auto [end, bad] = std::from_chars(text.data(), text.data() + text.size(), target, 16);
    if (text.empty() || bad != std::errc() || end != text.data() + text.size())
      return UsageError("pointers", "TARGET is a hexadecimal address");
    if (action == "new") {
      pointers = {};
      pointers.options.depth = static_cast<int>(*depth);
      pointers.options.maxOffset = *maxOffset;
      pointers.options.negativeOffsets = args.flags.count("--signed") > 0;
    }
    if (action == "add" && pointers.full()) {
      std::fprintf(stderr, "Error: %s\n", live::kSessionFull);
      return kExitFailure;
    }
    LongScan scan(ui);
    live::PointerSnapshot taken;
    if (const auto dump = args.options.find("--dump"); dump != args.options.end()) {
      if (!live::LoadSnapshotFile(dump->second, target, taken, error)) {
        std::fprintf(stderr, "File Error: %s\n", error.c_str());
        return kExitFailure;
      }
    } else if (error = live::TakeSnapshot(target, taken, scan.Bytes()); !error.empty()) {
      if (error == live::kScanStopped) return scan.Stopped("Pointer Scan", session->second);
      if (!ui.failureShown()) std::fprintf(stderr, "Error: %s\n", error.c_str());
      return kExitFailure;
    }
    pointers.snapshots.push_back(std::move(taken));
    if (!pointers.Rescan(scan.Levels(pointers.options.depth)))
      return scan.Stopped("Pointer Scan", session->second);
    if (!pointers.Save(session->second, error)) {
      std::fprintf(stderr, "File Error: %s\n", error.c_str());
      return kExitFailure;
    }
  }
  std::printf("%s%s\n", Plural(pointers.chains.size(), "chain", "chains").c_str(),
              pointers.truncated ? " (the best kept; more exist)" : "");
  const size_t shown = std::min<size_t>(*limit, pointers.chains.size());
  for (size_t i = 0; i < shown; ++i)
    std::printf("%s\n", live::ChainJson(pointers.chains[i]).c_str());
  if (const auto watch = args.options.find("--to-watch"); watch != args.options.end()) {
    std::vector<live::WatchEntry> entries;
    live::StructTypes structs;  // kept as the file has them
    if (FILE* existing = std::fopen(watch->second.c_str(), "rb")) {
      std::fclose(existing);
      if (!live::LoadWatchFile(watch->second, entries, structs, error)) {
        std::fprintf(stderr, "File Error: %s\n", error.c_str());
        return kExitFailure;
      }
    }
    for (size_t i = 0; i < shown; ++i) entries.push_back(live::ChainEntry(pointers.chains[i]));
    if (!live::SaveWatchFile(watch->second, entries, structs, error)) {
      std::fprintf(stderr, "File Error: %s\n", error.c_str());
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace zemlo::cli
