#include <windows.h>
// windows.h first: bcrypt.h uses its types.
#include <bcrypt.h>

#include <algorithm>

#include "protocol/message_digest.h"

namespace zemlo {

struct MessageDigest::Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ULONG length = 0;

  ~Context() { Close(); }
  void Close() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    hash = nullptr;
    algorithm = nullptr;
  }
};

MessageDigest::MessageDigest(Kind kind) : context_(std::make_unique<Context>()) {
  Context& c = *context_;
  ULONG got = 0;
  const wchar_t* name = kind == Kind::kMd5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA1_ALGORITHM;
  // The provider allocates the hash object itself (Windows 7 and later) when given no buffer.
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&c.algorithm, name, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptGetProperty(c.algorithm, BCRYPT_HASH_LENGTH,
                                        reinterpret_cast<PUCHAR>(&c.length), sizeof c.length, &got,
                                        0)) ||
      !BCRYPT_SUCCESS(BCryptCreateHash(c.algorithm, &c.hash, nullptr, 0, nullptr, 0, 0))) {
    c.Close();
  }
}

MessageDigest::~MessageDigest() = default;

void MessageDigest::Update(const uint8_t* data, size_t size) {
  // CNG takes at most 4 GiB per call.
  while (context_->hash && size > 0) {
    const ULONG part = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
    if (!BCRYPT_SUCCESS(BCryptHashData(context_->hash, const_cast<PUCHAR>(data), part, 0))) {
      context_->Close();
    }
    data += part;
    size -= part;
  }
}

std::vector<uint8_t> MessageDigest::Finish() {
  if (!context_->hash) return {};
  std::vector<uint8_t> digest(context_->length);
  if (!BCRYPT_SUCCESS(BCryptFinishHash(context_->hash, digest.data(), context_->length, 0))) {
    return {};
  }
  // A finished hash cannot take more (reusable hashes need Windows 8): a new one, on the
  // provider kept open.
  BCryptDestroyHash(context_->hash);
  context_->hash = nullptr;
  if (!BCRYPT_SUCCESS(
          BCryptCreateHash(context_->algorithm, &context_->hash, nullptr, 0, nullptr, 0, 0))) {
    context_->Close();
  }
  return digest;
}

}  // namespace zemlo
