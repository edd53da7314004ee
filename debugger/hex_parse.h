// The hexadecimal box parser lives with the protocol layer, since the code upload reads an
// address box too; the debugger tools include it from here.
#pragma once

#include "protocol/hex_parse.h"
