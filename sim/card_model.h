// Console state behind the memory card commands.
#pragma once

#include <cstdint>

namespace zemlo::sim {

struct CardModel {};

}  // namespace zemlo::sim
