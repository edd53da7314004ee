// The SHA-1 of a file the client has written, for the finished message's detail, so that the
// user can tell later that the file is still the one that was received.
#pragma once

#include <string>

namespace zemlo {

// Lower-case hexadecimal; empty when the file cannot be read.
std::string FileSha1Hex(const std::string& path);

// "SHA-1: <hex>", or empty when the file cannot be read.
std::string WrittenFileDetail(const std::string& path);

}  // namespace zemlo
