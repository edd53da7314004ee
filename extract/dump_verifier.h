// What every disc and NAND dump gathers for its verification: the checksums of the accepted
// bytes (on the hashing threads), the dump databases, the retries and the time taken; and what it
// tells at the end: the list lines and the report beside the file.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "extract/dat_catalog.h"
#include "extract/dump_report.h"
#include "extract/stream_hasher.h"

namespace zemlo {

class DumpVerifier {
 public:
  DumpVerifier();

  // Reads the DATs the options name. One that cannot be read is listed as an error; the dump
  // goes on without it.
  void LoadDats();

  // False when the options turned verification off: nothing is hashed, listed or reported.
  bool enabled() const { return hasher_ != nullptr; }
  void Feed(const uint8_t* data, size_t size) {
    if (hasher_) hasher_->Feed(data, size);
  }
  void NoteRetry() { ++retries_; }

  // Ends the hashing. Call once, after the last byte and only for a finished dump.
  const Digests& Finish();
  DatVerdict Verdict() const { return Verify(dats_, digests_); }

  // "CRC32: ...", "MD5: ...", "SHA-1: ...".
  std::vector<std::string> HashLines() const;
  // File, size, the three sums, duration, date, program and retries, for the report.
  ReportFields CommonFields(const std::string& path) const;

 private:
  std::unique_ptr<StreamHasher> hasher_;
  std::vector<DatFile> dats_;
  Digests digests_;
  unsigned retries_ = 0;
  std::chrono::steady_clock::time_point start_;
  double seconds_ = 0;
};

// Appends a line at the end of the list, below the run's own lines.
void AppendLine(const std::string& line);

}  // namespace zemlo
