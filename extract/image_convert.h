// Converts a disc image between ISO, split ISO and RVZ offline, reading any of the three: the
// bytes go through in order, so any format can be written in one pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "disc/image_file.h"

namespace zemlo {

struct ConvertResult {
  bool ok = false;
  std::string error;  // when not ok
  std::vector<std::string> files;
  uint64_t discSize = 0;
};

// `progress` gets the bytes done so far, now and then.
ConvertResult ConvertImage(const std::string& in, const disc::ImageTarget& out,
                           const std::function<void(uint64_t done, uint64_t total)>& progress = {});

}  // namespace zemlo
