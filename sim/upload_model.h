// Console state behind the uploads, firmware, memory and hook commands.
#pragma once

#include <cstdint>

namespace zemlo::sim {

struct UploadModel {};

}  // namespace zemlo::sim
