#include "extract/digests.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>

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

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

MdContext StartDigest(const EVP_MD* type) {
  MdContext context(EVP_MD_CTX_new());
  if (context && EVP_DigestInit_ex(context.get(), type, nullptr) != 1) context.reset();
  return context;
}

template <size_t N>
void FinishDigest(const MdContext& context, std::array<uint8_t, N>& out) {
  unsigned length = 0;
  if (context) EVP_DigestFinal_ex(context.get(), out.data(), &length);
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
  MdContext md5;
  MdContext sha1;
};

DigestState::DigestState(unsigned parts) : parts_(parts), contexts_(std::make_unique<Contexts>()) {
  crc_ = static_cast<uint32_t>(::crc32_z(0, nullptr, 0));
  if (parts_ & kMd5) contexts_->md5 = StartDigest(EVP_md5());
  if (parts_ & kSha1) contexts_->sha1 = StartDigest(EVP_sha1());
}

DigestState::~DigestState() = default;

void DigestState::Update(const uint8_t* data, size_t size) {
  size_ += size;
  if (parts_ & kCrc32) crc_ = static_cast<uint32_t>(::crc32_z(crc_, data, size));
  if (contexts_->md5) EVP_DigestUpdate(contexts_->md5.get(), data, size);
  if (contexts_->sha1) EVP_DigestUpdate(contexts_->sha1.get(), data, size);
}

void DigestState::Finish(Digests& out) {
  out.size = size_;
  if (parts_ & kCrc32) out.crc32 = crc_;
  if (parts_ & kMd5) FinishDigest(contexts_->md5, out.md5);
  if (parts_ & kSha1) FinishDigest(contexts_->sha1, out.sha1);
}

}  // namespace zemlo
