#include "extract/output_file.h"

namespace zemlo {

bool OutputFile::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  written_ = 0;
  return file_ != nullptr;
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
