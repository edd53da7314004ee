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
  const bool written =
      image_ ? image_->Write(data, count) : iso_.Write(data, count) && iso_.Flush();
  if (written) written_ += count;
  return written;
}

bool DiscOutput::Finish() {
  finished_ = !image_ || image_->Finish();
  return finished_;
}

std::vector<std::string> DiscOutput::Files() const {
  return image_ ? image_->Files() : std::vector<std::string>{iso_.path()};
}

std::string KeptFileDetail(const DiscOutput& output) {
  const std::vector<std::string> files = output.Files();
  if (output.format() == disc::ImageFormat::Rvz) {
    return "Removed the unfinished file " + (files.empty() ? std::string() : files.front());
  }
  std::string names;
  for (const std::string& file : files) names += (names.empty() ? "" : ", ") + file;
  return std::string(files.size() > 1 ? "Kept the partial files " : "Kept the partial file ") +
         names + " (" + std::to_string(output.written()) + " bytes)";
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
