#include "extract/digests.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "protocol/message_digest.h"

namespace zemlo {
namespace {

template <size_t N>
std::string Hex(const std::array<uint8_t, N>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * N);
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

template <size_t N>
void FinishDigest(const std::unique_ptr<MessageDigest>& digest, std::array<uint8_t, N>& out) {
  if (!digest) return;
  const std::vector<uint8_t> bytes = digest->Finish();
  if (bytes.size() == N) std::copy(bytes.begin(), bytes.end(), out.begin());
}

}  // namespace

std::string Digests::Crc32Hex() const {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", crc32);
  return text;
}

std::string Digests::Md5Hex() const {
  return Hex(md5);
}

std::string Digests::Sha1Hex() const {
  return Hex(sha1);
}

struct DigestState::Contexts {
  std::unique_ptr<MessageDigest> md5;
  std::unique_ptr<MessageDigest> sha1;
};

DigestState::DigestState(unsigned parts) : parts_(parts), contexts_(std::make_unique<Contexts>()) {
  crc_ = static_cast<uint32_t>(::crc32_z(0, nullptr, 0));
  if (parts_ & kMd5) contexts_->md5 = std::make_unique<MessageDigest>(MessageDigest::Kind::kMd5);
  if (parts_ & kSha1) contexts_->sha1 = std::make_unique<MessageDigest>(MessageDigest::Kind::kSha1);
}

DigestState::~DigestState() = default;

void DigestState::Update(const uint8_t* data, size_t size) {
  size_ += size;
  if (parts_ & kCrc32) crc_ = static_cast<uint32_t>(::crc32_z(crc_, data, size));
  if (contexts_->md5) contexts_->md5->Update(data, size);
  if (contexts_->sha1) contexts_->sha1->Update(data, size);
}

void DigestState::Finish(Digests& out) {
  out.size = size_;
  if (parts_ & kCrc32) out.crc32 = crc_;
  if (parts_ & kMd5) FinishDigest(contexts_->md5, out.md5);
  if (parts_ & kSha1) FinishDigest(contexts_->sha1, out.sha1);
}

}  // namespace zemlo
