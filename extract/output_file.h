// The output file of a dump: created or truncated in binary mode, written sequentially, closed on
// every exit. Write errors are taken from the stream's error indicator after each write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace zemlo {

class OutputFile {
 public:
  // False when the file cannot be created.
  bool Open(const std::string& path);
  // False when the stream reports an error after writing all `count` bytes.
  bool Write(const void* data, size_t count);
  // False when the flush failed: the bytes did not reach the file.
  bool Flush();
  uint64_t written() const { return written_; }
  const std::string& path() const { return path_; }

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  uint64_t written_ = 0;
  std::string path_;
};

}  // namespace zemlo
