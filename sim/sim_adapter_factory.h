// Offers the in-process simulated console as `--adapter sim`.
#pragma once

namespace zemlo::sim {

// Registers ProcessSimAdapter() as the driver behind `sim`. Called once by the programs' mains.
void RegisterProcessSimAdapter();

}  // namespace zemlo::sim
