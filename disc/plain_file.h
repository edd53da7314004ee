// A binary file for the image writers and readers: opened, read or written at any offset
// (beyond 4 GiB on every platform), closed on every exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace zemlo::disc {

class PlainFile {
 public:
  // mode: "rb" or "wb" (created or truncated)
  bool Open(const std::string& path, const char* mode);
  bool is_open() const { return file_ != nullptr; }
  bool Write(const void* data, size_t count);
  bool Read(void* out, size_t count);
  bool Seek(uint64_t offset);
  bool Flush();
  // Closes; false when the last bytes could not be written.
  bool Close();
  uint64_t Size();

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace zemlo::disc
