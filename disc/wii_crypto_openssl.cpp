#include <openssl/evp.h>

#include <memory>

#include "disc/wii_crypto.h"

namespace zemlo::disc {
namespace {

// A partition takes millions of these calls: the algorithm is fetched once and each thread
// keeps its context, rather than paying for a lookup and an allocation every time.
template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;

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

bool AesCbcEncrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count) {
  return AesCbc(key, iv, data, count, true);
}

bool AesCbcDecrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count) {
  return AesCbc(key, iv, data, count, false);
}

}  // namespace zemlo::disc
