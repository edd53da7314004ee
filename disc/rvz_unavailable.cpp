// A build without zstd: images are ISO or split ISO only.
#include "disc/rvz.h"

namespace zemlo::disc {

bool RvzAvailable() {
  return false;
}

std::unique_ptr<ImageWriter> CreateRvzWriter(const std::string&, const RvzSettings&) {
  return nullptr;
}

std::unique_ptr<ImageReader> OpenRvz(const std::string&, std::string& error) {
  error = "this build cannot read RVZ images (no zstd)";
  return nullptr;
}

}  // namespace zemlo::disc
