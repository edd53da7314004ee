#include "extract/output_file.h"

namespace zemlo {

bool OutputFile::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  written_ = 0;
  path_ = path;
  if (!file_) return false;
  // Every write is flushed by its caller at once, so a stream buffer would only split each
  // packet into two system calls and an extra copy.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  return true;
}

bool OutputFile::Write(const void* data, size_t count) {
  if (!file_) return false;
  written_ += std::fwrite(data, 1, count, file_.get());
  return std::ferror(file_.get()) == 0;
}

bool OutputFile::Flush() {
  return file_ && std::fflush(file_.get()) == 0;
}

}  // namespace zemlo
