#include <windows.h>
// windows.h first: bcrypt.h uses its types.
#include <bcrypt.h>

#include "disc/wii_crypto.h"

namespace zemlo::disc {
namespace {

struct Algorithm {
  BCRYPT_ALG_HANDLE handle = nullptr;
  explicit Algorithm(const wchar_t* name) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) handle = nullptr;
  }
  ~Algorithm() {
    if (handle) BCryptCloseAlgorithmProvider(handle, 0);
  }
};

struct Key {
  BCRYPT_KEY_HANDLE handle = nullptr;
  ~Key() {
    if (handle) BCryptDestroyKey(handle);
  }
};

bool AesCbc(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count, bool encrypt) {
  Algorithm aes(BCRYPT_AES_ALGORITHM);
  Key handle;
  wchar_t mode[] = BCRYPT_CHAIN_MODE_CBC;
  if (!aes.handle ||
      !BCRYPT_SUCCESS(BCryptSetProperty(aes.handle, BCRYPT_CHAINING_MODE,
                                        reinterpret_cast<PUCHAR>(mode), sizeof mode, 0)) ||
      !BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(aes.handle, &handle.handle, nullptr, 0,
                                                 const_cast<PUCHAR>(key.data()),
                                                 static_cast<ULONG>(key.size()), 0))) {
    return false;
  }
  AesIv chain = iv;  // CNG updates the IV it is given
  ULONG done = 0;
  const ULONG size = static_cast<ULONG>(count);
  const NTSTATUS status =
      encrypt ? BCryptEncrypt(handle.handle, data, size, nullptr, chain.data(),
                              static_cast<ULONG>(chain.size()), data, size, &done, 0)
              : BCryptDecrypt(handle.handle, data, size, nullptr, chain.data(),
                              static_cast<ULONG>(chain.size()), data, size, &done, 0);
  return BCRYPT_SUCCESS(status) && done == size;
}

}  // namespace

bool AesCbcEncrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count) {
  return AesCbc(key, iv, data, count, true);
}

bool AesCbcDecrypt(const AesKey& key, const AesIv& iv, uint8_t* data, size_t count) {
  return AesCbc(key, iv, data, count, false);
}

}  // namespace zemlo::disc
