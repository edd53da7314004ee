// A D2XX driver over libftdi1, for machines without the vendor's library: the adapter is found
// by its serial number among FTDI devices and driven with the same semantics.
#pragma once

#include <memory>

#include "link/d2xx.h"

namespace zemlo {

std::unique_ptr<D2xxDriver> MakeFtdiDriver();

}  // namespace zemlo
