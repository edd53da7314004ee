#include "extract/disc_output.h"

namespace zemlo {

DiscOutput::~DiscOutput() {
  if (image_ && !finished_) image_->Abandon();
}

bool DiscOutput::Open(disc::ImageFormat format, const std::string& path,
                      const DumpOptions& options) {
  format_ = format;
  if (format == disc::ImageFormat::Iso) return iso_.Open(path);
  image_ = disc::CreateImageWriter({format, path, options.splitSize, options.rvz});
  return image_ != nullptr;
}

bool DiscOutput::Write(const uint8_t* data, size_t count) {
  if (image_) return image_->Write(data, count);
  return iso_.Write(data, count) && iso_.Flush();
}

bool DiscOutput::Finish() {
  finished_ = !image_ || image_->Finish();
  return finished_;
}

std::vector<std::string> DiscOutput::Files() const {
  return image_ ? image_->Files() : std::vector<std::string>{iso_.path()};
}

disc::ImageFormat DumpFormat(const DumpOptions& options, const std::string& path) {
  return options.imageFormat.value_or(disc::FormatFromPath(path));
}

const char* FormatName(disc::ImageFormat format) {
  switch (format) {
    case disc::ImageFormat::Iso:
      return "ISO";
    case disc::ImageFormat::Split:
      return "split ISO";
    case disc::ImageFormat::Rvz:
      return "RVZ";
  }
  return "";
}

}  // namespace zemlo
