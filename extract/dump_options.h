// What the front-ends choose for the dumps beyond the dialog's combo box: where the dump
// databases are, which keys file goes after a NAND dump and which opens Wii discs, and how a disc
// image is written. Set before a worker starts, read by it; guarded, because the desktop client
// may change them while a worker runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "disc/image_file.h"

namespace zemlo {

struct DumpOptions {
  std::vector<std::string> datFiles;  // --dat FILE, each
  std::string datFolder;              // every DAT in it is used too
  std::string keysFile;               // NAND dumps: appended after a 2,112-byte dump
  std::string wiiKeysFile;            // disc dumps: its common key opens Wii partitions for RVZ
  bool verify = true;                 // false: no sums, verdict or report (for measuring)
  // Disc dumps: the image format (unset: from the file name), split part size, RVZ settings.
  std::optional<disc::ImageFormat> imageFormat;
  uint64_t splitSize = disc::kDefaultSplitSize;
  disc::RvzSettings rvz;
};

void SetDumpOptions(DumpOptions options);
DumpOptions CurrentDumpOptions();

// The DAT files to use: the ones given, then the folder's.
std::vector<std::string> DatPaths(const DumpOptions& options);

}  // namespace zemlo
