#include <openssl/evp.h>

#include "protocol/message_digest.h"

namespace zemlo {
namespace {

struct AlgorithmFree {
  void operator()(EVP_MD* algorithm) const { EVP_MD_free(algorithm); }
};

// Fetched once rather than looked up at every start, which would cost more than hashing a
// cluster's block.
const EVP_MD* Algorithm(MessageDigest::Kind kind) {
  static const std::unique_ptr<EVP_MD, AlgorithmFree> md5{EVP_MD_fetch(nullptr, "MD5", nullptr)};
  static const std::unique_ptr<EVP_MD, AlgorithmFree> sha1{EVP_MD_fetch(nullptr, "SHA1", nullptr)};
  return kind == MessageDigest::Kind::kMd5 ? md5.get() : sha1.get();
}

}  // namespace

struct MessageDigest::Context {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> md{EVP_MD_CTX_new(), EVP_MD_CTX_free};
  const EVP_MD* type = nullptr;

  // Once the provider failed, the object stays failed.
  void Start() {
    if (md && (!type || EVP_DigestInit_ex2(md.get(), type, nullptr) != 1)) md.reset();
  }
};

MessageDigest::MessageDigest(Kind kind) : context_(std::make_unique<Context>()) {
  context_->type = Algorithm(kind);
  context_->Start();
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
  context_->Start();
  return digest;
}

}  // namespace zemlo
