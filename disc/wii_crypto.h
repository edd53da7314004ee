// The two primitives Wii partitions are built from: SHA-1 for the hash tree (the dump sums' own
// digest) and AES-128-CBC for title keys and clusters (OpenSSL's libcrypto, or on Windows the
// system's CNG provider, as for the sums).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zemlo::disc {

using AesKey = std::array<uint8_t, 16>;
using AesIv = std::array<uint8_t, 16>;
using Sha1Digest = std::array<uint8_t, 20>;

Sha1Digest Sha1(const uint8_t* data, size_t count);

// In place, without padding: `count` is a multiple of 16. False when the provider failed.
bool AesCbcEncrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count);
bool AesCbcDecrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count);

}  // namespace zemlo::disc
