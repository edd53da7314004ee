#include <openssl/evp.h>

#include "protocol/message_digest.h"

namespace zemlo {

struct MessageDigest::Context {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> md{EVP_MD_CTX_new(), EVP_MD_CTX_free};
};

MessageDigest::MessageDigest(Kind kind) : context_(std::make_unique<Context>()) {
  const EVP_MD* type = kind == Kind::kMd5 ? EVP_md5() : EVP_sha1();
  if (context_->md && EVP_DigestInit_ex(context_->md.get(), type, nullptr) != 1) {
    context_->md.reset();
  }
}

MessageDigest::~MessageDigest() = default;

void MessageDigest::Update(const uint8_t* data, size_t size) {
  if (context_->md) EVP_DigestUpdate(context_->md.get(), data, size);
}

std::vector<uint8_t> MessageDigest::Finish() {
  std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  if (!context_->md || EVP_DigestFinal_ex(context_->md.get(), digest.data(), &length) != 1) {
    return {};
  }
  digest.resize(length);
  return digest;
}

}  // namespace zemlo
