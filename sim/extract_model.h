// Console state behind the disc, NAND and low-level dump commands.
#pragma once

#include <cstdint>

namespace zemlo::sim {

struct ExtractModel {};

}  // namespace zemlo::sim
