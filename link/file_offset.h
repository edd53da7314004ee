// Seeking and sizing files past 2 GiB: `long` is 32 bits on Windows and MinGW's off_t too, so
// fseek/ftell and fseeko there would wrap.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace zemlo {

inline bool SeekFile(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The size of a seekable file, leaving it positioned at the start; nothing for a stream that
// cannot tell (a directory, a pipe).
inline std::optional<uint64_t> FileSizeFromStart(std::FILE* file) {
#ifdef _WIN32
  const bool atEnd = _fseeki64(file, 0, SEEK_END) == 0;
  const __int64 end = atEnd ? _ftelli64(file) : -1;
#else
  const bool atEnd = fseeko(file, 0, SEEK_END) == 0;
  const off_t end = atEnd ? ftello(file) : -1;
#endif
  if (end < 0 || !SeekFile(file, 0)) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace zemlo
