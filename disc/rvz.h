// RVZ as Dolphin's documentation (docs/WiaAndRvz.md) lays it out: a file head and a disc struct
// with their SHA-1s, then the disc in groups of `chunkSize` bytes, each compressed with zstd
// (or stored when that does not shrink it) after "RVZ packing", which keeps padding as the 68
// bytes of its seed; the raw-data and group tables, compressed too, go at the end.
#pragma once

#include <memory>
#include <string>

#include "disc/image_file.h"

namespace zemlo::disc {

// False in a build without zstd (the Windows cross build).
bool RvzAvailable();

// Null when the file cannot be created or the settings are not ones RVZ allows.
std::unique_ptr<ImageWriter> CreateRvzWriter(const std::string& path, const RvzSettings& settings);
// Checks every header, table and group as it goes; null with `error` set when it cannot.
std::unique_ptr<ImageReader> OpenRvz(const std::string& path, std::string& error);

}  // namespace zemlo::disc
