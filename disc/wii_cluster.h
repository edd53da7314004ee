// A Wii partition's data comes in clusters of 0x8000 bytes: a 0x400-byte block of hashes, then
// 0x7C00 bytes of data, each part AES-128-CBC encrypted with the title key on its own. The hash
// block's IV is zero; the data's is the encrypted hash block's bytes 0x3D0..0x3DF.
#pragma once

#include <cstdint>

#include "disc/wii_crypto.h"

namespace zemlo::disc {

inline constexpr uint32_t kClusterSize = 0x8000;
inline constexpr uint32_t kClusterHashSize = 0x400;
inline constexpr uint32_t kClusterDataSize = kClusterSize - kClusterHashSize;

// Where the hash block keeps its tables (each table a run of SHA-1s).
struct ClusterHashField {
  static constexpr uint32_t kH0 = 0x000;  // 31: one per 0x400 bytes of the cluster's data
  static constexpr uint32_t kH1 = 0x280;  // 8: the H0 tables of the clusters of its subgroup
  static constexpr uint32_t kH2 = 0x340;  // 8: the H1 tables of the subgroups of its group
  static constexpr uint32_t kDataIv = 0x3D0;
};
inline constexpr uint32_t kH0Count = 31;
inline constexpr uint32_t kH0TableSize = kH0Count * 20;
inline constexpr uint32_t kH1TableSize = 8 * 20;
inline constexpr uint32_t kH2TableSize = 8 * 20;
inline constexpr uint32_t kH0BlockSize = kClusterDataSize / kH0Count;

// In place; false when the provider failed.
bool EncryptCluster(const AesKey& titleKey, uint8_t* cluster);
bool DecryptCluster(const AesKey& titleKey, uint8_t* cluster);

}  // namespace zemlo::disc
