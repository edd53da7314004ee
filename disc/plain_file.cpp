#include "disc/plain_file.h"

#include "link/file_offset.h"

namespace zemlo::disc {

bool PlainFile::Open(const std::string& path, const char* mode) {
  file_.reset(std::fopen(path.c_str(), mode));
  return file_ != nullptr;
}

// An empty piece may come with no buffer at all, which fwrite and fread must not be given.
bool PlainFile::Write(const void* data, size_t count) {
  return file_ && (count == 0 || std::fwrite(data, 1, count, file_.get()) == count);
}

bool PlainFile::Read(void* out, size_t count) {
  return file_ && (count == 0 || std::fread(out, 1, count, file_.get()) == count);
}

bool PlainFile::Seek(uint64_t offset) {
  return file_ && SeekFile(file_.get(), offset);
}

bool PlainFile::Flush() {
  return file_ && std::fflush(file_.get()) == 0;
}

bool PlainFile::Close() {
  if (!file_) return false;
  const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
  return std::fclose(file_.release()) == 0 && flushed;
}

uint64_t PlainFile::Size() {
  if (!file_) return 0;
  return FileSizeFromStart(file_.get()).value_or(0);
}

}  // namespace zemlo::disc
