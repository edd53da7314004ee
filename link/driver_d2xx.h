// A D2XX driver that forwards to the vendor's library, loaded at run time so that the program
// starts (and can use the other back ends) on machines without it. The library is looked up at
// `libraryPath` when given, else at the path in ZEMLO_D2XX_LIBRARY, else under its usual names.
// When it cannot be loaded, FT_OpenEx reports that no device was found.
#pragma once

#include <memory>
#include <string>

#include "link/d2xx.h"

namespace zemlo {

inline constexpr char kD2xxLibraryVariable[] = "ZEMLO_D2XX_LIBRARY";

std::unique_ptr<D2xxDriver> MakeD2xxDriver(std::string libraryPath = "");

// True when the library can be loaded (from ZEMLO_D2XX_LIBRARY or the usual names).
bool D2xxLibraryAvailable();

}  // namespace zemlo
