#include "disc/image_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "disc/plain_file.h"
#include "disc/plain_images.h"
#include "disc/rvz.h"

namespace zemlo::disc {
namespace {

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), text.end() - static_cast<long>(tail.size()),
                    [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

}  // namespace

ImageFormat FormatFromPath(const std::string& path) {
  return EndsWithNoCase(path, ".rvz") ? ImageFormat::Rvz : ImageFormat::Iso;
}

std::string SplitPartPath(const std::string& path, unsigned part) {
  const std::string name = EndsWithNoCase(path, ".iso") ? path.substr(0, path.size() - 4) : path;
  return name + ".part" + std::to_string(part) + ".iso";
}

bool ValidRvzChunkSize(uint64_t size) {
  constexpr uint64_t kTwoMiB = 2 << 20;
  if (size >= kTwoMiB) return size % kTwoMiB == 0 && size <= (uint64_t{1} << 31);
  return size >= 0x8000 && (size & (size - 1)) == 0;
}

std::unique_ptr<ImageWriter> CreateImageWriter(const ImageTarget& target) {
  switch (target.format) {
    case ImageFormat::Iso:
      return CreateIsoWriter(target.path);
    case ImageFormat::Split:
      return CreateSplitWriter(target.path, target.splitSize);
    case ImageFormat::Rvz:
      return CreateRvzWriter(target.path, target.rvz);
  }
  return nullptr;
}

std::unique_ptr<ImageReader> OpenImage(const std::string& path, std::string& error) {
  PlainFile file;
  uint8_t magic[4] = {};
  if (!file.Open(path, "rb")) {
    error = "cannot open " + path;
    return nullptr;
  }
  const bool rvz =
      file.Read(magic, 4) && magic[0] == 'R' && magic[1] == 'V' && magic[2] == 'Z' && magic[3] == 1;
  file.Close();
  std::unique_ptr<ImageReader> reader;
  if (rvz) {
    reader = OpenRvz(path, error);
  } else if (EndsWithNoCase(path, ".part0.iso")) {
    // The later parts are the ones beside it with the next numbers.
    const std::string base = path.substr(0, path.size() - 10);
    std::vector<std::string> parts;
    for (unsigned part = 0;; ++part) {
      const std::string name = base + ".part" + std::to_string(part) + ".iso";
      std::error_code ignored;
      if (!std::filesystem::is_regular_file(name, ignored)) break;
      parts.push_back(name);
    }
    reader = OpenPlainImage(parts, ImageFormat::Split);
  } else {
    reader = OpenPlainImage({path}, ImageFormat::Iso);
  }
  if (!reader && error.empty()) error = "cannot read " + path;
  return reader;
}

}  // namespace zemlo::disc
