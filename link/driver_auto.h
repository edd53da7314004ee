// The `auto` adapter: the vendor's library first, libftdi1 when the vendor's open fails (its
// library is missing, or on Linux the ftdi_sio kernel driver holds the device, which libftdi1
// detaches itself).
#pragma once

#include <memory>

#include "link/d2xx.h"

namespace zemlo {

std::unique_ptr<D2xxDriver> MakeAutoDriver(std::unique_ptr<D2xxDriver> first,
                                           std::unique_ptr<D2xxDriver> second);

}  // namespace zemlo
