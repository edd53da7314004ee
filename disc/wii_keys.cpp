#include "disc/wii_keys.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "disc/wii_cluster.h"

namespace zemlo::disc {

std::optional<AesKey> ReadCommonKey(const std::string& path, std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    error = "cannot open the keys file " + path;
    return std::nullopt;
  }
  // One byte more than the size, so that a longer file is told from one of the right size.
  std::vector<uint8_t> bytes(kKeysFileSize + 1);
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != kKeysFileSize) {
    error = "the keys file must be exactly 1024 bytes long";
    return std::nullopt;
  }
  AesKey key;
  std::copy_n(&bytes[kKeysFileCommonKey], key.size(), key.begin());
  return key;
}

bool CommonKeyOpens(const DiscReader& read, uint64_t partitionOffset, const AesKey& commonKey) {
  const std::optional<WiiPartitionHeader> header = ReadWiiPartitionHeader(read, partitionOffset);
  if (!header || header->dataSize < kClusterSize) return false;
  const std::optional<AesKey> titleKey = DecryptTitleKey(*header, commonKey);
  std::vector<uint8_t> cluster(kClusterSize);
  if (!titleKey || !read(partitionOffset + header->dataOffset, cluster.data(), cluster.size()) ||
      !DecryptCluster(*titleKey, cluster.data())) {
    return false;
  }
  return ClusterVouchesForItself(cluster.data());
}

bool ClusterVouchesForItself(const uint8_t* cluster) {
  for (uint32_t block = 0; block < kH0Count; ++block) {
    const Sha1Digest h0 = Sha1(cluster + kClusterHashSize + block * kH0BlockSize, kH0BlockSize);
    if (std::equal(h0.begin(), h0.end(), cluster + ClusterHashField::kH0 + block * 20)) {
      return true;
    }
  }
  return false;
}

}  // namespace zemlo::disc
