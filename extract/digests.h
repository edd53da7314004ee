// CRC-32, MD5 and SHA-1 of a dump, the three checksums dump databases list for each image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zemlo {

struct Digests {
  uint64_t size = 0;
  uint32_t crc32 = 0;
  std::array<uint8_t, 16> md5{};
  std::array<uint8_t, 20> sha1{};

  // Lower-case hexadecimal, as dump databases write them.
  std::string Crc32Hex() const;
  std::string Md5Hex() const;
  std::string Sha1Hex() const;
};

// The three checksums over bytes given in order, computed on the calling thread.
class DigestState {
 public:
  // Which of the three this state computes; a hashing thread may take a subset.
  enum Parts : unsigned { kCrc32 = 1, kMd5 = 2, kSha1 = 4, kAll = 7 };

  explicit DigestState(unsigned parts = kAll);
  ~DigestState();
  DigestState(const DigestState&) = delete;
  DigestState& operator=(const DigestState&) = delete;

  void Update(const uint8_t* data, size_t size);
  // Fills the parts this state computes into `out`; call once.
  void Finish(Digests& out);

 private:
  struct Contexts;
  unsigned parts_;
  uint64_t size_ = 0;
  uint32_t crc_ = 0;
  std::unique_ptr<Contexts> contexts_;
};

}  // namespace zemlo
