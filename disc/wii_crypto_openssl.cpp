#include <openssl/evp.h>

#include <memory>

#include "disc/wii_crypto.h"

namespace zemlo::disc {
namespace {

// A partition takes millions of these calls: the algorithms are fetched once and each thread
// keeps its contexts, rather than paying for a lookup and an allocation every time.
template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;

const EVP_MD* Sha1Algorithm() {
  static const std::unique_ptr<EVP_MD, Deleter<EVP_MD, EVP_MD_free>> algorithm{
      EVP_MD_fetch(nullptr, "SHA1", nullptr)};
  return algorithm.get();
}

const EVP_CIPHER* AesAlgorithm() {
  static const std::unique_ptr<EVP_CIPHER, Deleter<EVP_CIPHER, EVP_CIPHER_free>> algorithm{
      EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr)};
  return algorithm.get();
}

bool AesCbc(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count, bool encrypt) {
  thread_local const CipherContext context{EVP_CIPHER_CTX_new()};
  int written = 0;
  int tail = 0;
  return context && AesAlgorithm() &&
         EVP_CipherInit_ex2(context.get(), AesAlgorithm(), key.data(), iv.data(), encrypt ? 1 : 0,
                            nullptr) == 1 &&
         EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
         EVP_CipherUpdate(context.get(), data, &written, data, static_cast<int>(count)) == 1 &&
         EVP_CipherFinal_ex(context.get(), data + written, &tail) == 1 &&
         static_cast<size_t>(written + tail) == count;
}

}  // namespace

Sha1Digest Sha1(const uint8_t* data, size_t count) {
  thread_local const DigestContext context{EVP_MD_CTX_new()};
  Sha1Digest digest{};
  unsigned length = 0;
  if (context && Sha1Algorithm() &&
      EVP_DigestInit_ex2(context.get(), Sha1Algorithm(), nullptr) == 1 &&
      EVP_DigestUpdate(context.get(), data, count) == 1) {
    EVP_DigestFinal_ex(context.get(), digest.data(), &length);
  }
  return digest;
}

bool AesCbcEncrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count) {
  return AesCbc(key, iv, data, count, true);
}

bool AesCbcDecrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count) {
  return AesCbc(key, iv, data, count, false);
}

}  // namespace zemlo::disc
