// Files the uploads send: opened for binary reading, read whole into one buffer they own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace zemlo {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct FileBuffer {
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
};

// The texts that differ between the operations that read a file whole.
struct FileBufferTexts {
  std::optional<uint32_t> sizeLimit;  // a file above it is refused; none for no limit
  const char* tooBigText = nullptr;
  const char* readText = nullptr;  // the file could not be read whole
};

// Opens `path` with "rb", checks the size, allocates and reads the whole file. Nothing after
// its message ("File Error" or "Malloc Error") was shown; the file is closed either way.
std::optional<FileBuffer> ReadWholeFile(const std::string& path, const FileBufferTexts& texts);

}  // namespace zemlo
