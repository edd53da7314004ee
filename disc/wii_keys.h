// The keys file a console's NAND backup carries (1,024 bytes, also the footer of a 2,112-byte NAND
// dump): 256 bytes of text naming the console, then the console's OTP, whose common key opens the
// title keys of every disc partition. The offsets are those wiibrew.org's "BackupMii" page lists
// under "Console Keys and keys.bin" (common key, AES: 0x114, 16 bytes).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "disc/wii_crypto.h"
#include "disc/wii_partition.h"

namespace zemlo::disc {

inline constexpr size_t kKeysFileSize = 1024;
inline constexpr size_t kKeysFileCommonKey = 0x114;

// Nullopt with `error` set when the file cannot be read or is not of the keys file's size.
std::optional<AesKey> ReadCommonKey(const std::string& path, std::string& error);

// Whether a decrypted cluster's data is what its own H0 table vouches for, in one block at least
// (a dump with a damaged block still counts).
bool ClusterVouchesForItself(const uint8_t* cluster);

// Whether `commonKey` opens the partition: its title key decrypts the first cluster into data
// that its own H0 table vouches for. A wrong key leaves no block matching its hash.
bool CommonKeyOpens(const DiscReader& read, uint64_t partitionOffset, const AesKey& commonKey);

}  // namespace zemlo::disc
