// ISO and split ISO writers and readers.
#pragma once

#include "disc/image_file.h"

namespace zemlo::disc {

std::unique_ptr<ImageWriter> CreateIsoWriter(const std::string& path);
std::unique_ptr<ImageWriter> CreateSplitWriter(const std::string& path, uint64_t partSize);
// `paths`: the whole ISO, or every part in order.
std::unique_ptr<ImageReader> OpenPlainImage(std::vector<std::string> paths, ImageFormat format);

}  // namespace zemlo::disc
