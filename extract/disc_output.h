// Where a disc dump's bytes go: one ISO (through OutputFile, flushed packet by packet), a split
// ISO or an RVZ (through the disc formats' writers). Until Finish succeeds the image counts as cut
// short: an RVZ is then removed so that nothing that looks whole is left, ISO files stay.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disc/image_file.h"
#include "extract/dump_options.h"
#include "extract/output_file.h"

namespace zemlo {

class DiscOutput {
 public:
  DiscOutput() = default;
  ~DiscOutput();
  DiscOutput(const DiscOutput&) = delete;
  DiscOutput& operator=(const DiscOutput&) = delete;

  // False when the (first) file cannot be created.
  bool Open(disc::ImageFormat format, const std::string& path, const DumpOptions& options);
  bool Write(const uint8_t* data, size_t count);
  // After a failed Write: the disc was refused, not the file (see disc::ImageWriter::Refused).
  bool Refused() const { return image_ && image_->Refused(); }
  // After the last byte; false when the image could not be completed.
  bool Finish();
  disc::ImageFormat format() const { return format_; }
  // The files written, in order.
  std::vector<std::string> Files() const;
  // The image bytes taken so far.
  uint64_t written() const { return written_; }

 private:
  disc::ImageFormat format_ = disc::ImageFormat::Iso;
  OutputFile iso_;
  std::unique_ptr<disc::ImageWriter> image_;
  bool finished_ = false;
  uint64_t written_ = 0;
};

// The detail of a stop message: which files of the cut-short image stay on disk and how much of
// the image they hold, or that an unfinished RVZ (which would look whole) is removed.
std::string KeptFileDetail(const DiscOutput& output);

// The format a dump is written in: the one chosen, else the file name's.
disc::ImageFormat DumpFormat(const DumpOptions& options, const std::string& path);
// "ISO", "split ISO", "RVZ".
const char* FormatName(disc::ImageFormat format);

}  // namespace zemlo
