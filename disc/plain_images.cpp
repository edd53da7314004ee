#include "disc/plain_images.h"

#include <algorithm>

#include "disc/plain_file.h"

namespace zemlo::disc {
namespace {

// Parts of at most `partSize` bytes (the whole image in one part for an ISO).
class PartsWriter final : public ImageWriter {
 public:
  PartsWriter(std::string path, uint64_t partSize, bool split)
      : path_(std::move(path)), partSize_(partSize), split_(split) {}

  bool OpenNext() {
    const std::string name =
        split_ ? SplitPartPath(path_, static_cast<unsigned>(files_.size())) : path_;
    if (file_.is_open() && !file_.Close()) return false;
    if (!file_.Open(name, "wb")) return false;
    files_.push_back(name);
    inPart_ = 0;
    return true;
  }

  bool Write(const uint8_t* data, size_t count) override {
    while (count > 0) {
      if (inPart_ == partSize_ && !OpenNext()) return false;
      const size_t part = static_cast<size_t>(std::min<uint64_t>(count, partSize_ - inPart_));
      if (!file_.Write(data, part)) return false;
      inPart_ += part;
      data += part;
      count -= part;
    }
    // Flushed as they come, so that a failing disk shows at the packet that hit it.
    return file_.Flush();
  }

  bool Finish() override { return file_.Close(); }
  void Abandon() override { file_.Close(); }
  std::vector<std::string> Files() const override { return files_; }

 private:
  std::string path_;
  uint64_t partSize_;
  bool split_;
  PlainFile file_;
  uint64_t inPart_ = 0;
  std::vector<std::string> files_;
};

class PlainReader final : public ImageReader {
 public:
  PlainReader(std::vector<PlainFile> files, std::vector<uint64_t> sizes, ImageFormat format)
      : files_(std::move(files)), sizes_(std::move(sizes)), format_(format) {
    for (uint64_t size : sizes_) size_ += size;
  }
  uint64_t size() const override { return size_; }
  ImageFormat format() const override { return format_; }

  bool Read(uint64_t offset, uint8_t* out, size_t count) override {
    size_t part = 0;
    for (; part < files_.size() && offset >= sizes_[part]; ++part) offset -= sizes_[part];
    while (count > 0) {
      if (part >= files_.size()) return false;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(count, sizes_[part] - offset));
      if (!files_[part].Seek(offset) || !files_[part].Read(out, take)) return false;
      out += take;
      count -= take;
      offset = 0;
      ++part;
    }
    return true;
  }

 private:
  std::vector<PlainFile> files_;
  std::vector<uint64_t> sizes_;
  uint64_t size_ = 0;
  ImageFormat format_;
};

}  // namespace

std::unique_ptr<ImageWriter> CreateIsoWriter(const std::string& path) {
  auto writer = std::make_unique<PartsWriter>(path, UINT64_MAX, false);
  if (!writer->OpenNext()) return nullptr;
  return writer;
}

std::unique_ptr<ImageWriter> CreateSplitWriter(const std::string& path, uint64_t partSize) {
  auto writer = std::make_unique<PartsWriter>(path, partSize, true);
  if (partSize == 0 || !writer->OpenNext()) return nullptr;
  return writer;
}

std::unique_ptr<ImageReader> OpenPlainImage(std::vector<std::string> paths, ImageFormat format) {
  std::vector<PlainFile> files(paths.size());
  std::vector<uint64_t> sizes;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!files[i].Open(paths[i], "rb")) return nullptr;
    sizes.push_back(files[i].Size());
  }
  return std::make_unique<PlainReader>(std::move(files), std::move(sizes), format);
}

}  // namespace zemlo::disc
