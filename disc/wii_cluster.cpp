#include "disc/wii_cluster.h"

#include <algorithm>

namespace zemlo::disc {

bool EncryptCluster(const AesKey& titleKey, uint8_t* cluster) {
  if (!AesCbcEncrypt(titleKey, AesIv{}, cluster, kClusterHashSize)) return false;
  AesIv dataIv;
  std::copy_n(cluster + ClusterHashField::kDataIv, dataIv.size(), dataIv.begin());
  return AesCbcEncrypt(titleKey, dataIv, cluster + kClusterHashSize, kClusterDataSize);
}

bool DecryptCluster(const AesKey& titleKey, uint8_t* cluster) {
  // The data's IV is read before the hash block it sits in is decrypted.
  AesIv dataIv;
  std::copy_n(cluster + ClusterHashField::kDataIv, dataIv.size(), dataIv.begin());
  return AesCbcDecrypt(titleKey, dataIv, cluster + kClusterHashSize, kClusterDataSize) &&
         AesCbcDecrypt(titleKey, AesIv{}, cluster, kClusterHashSize);
}

}  // namespace zemlo::disc
