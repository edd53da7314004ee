#include "protocol/file_sha1.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace zemlo {

std::string FileSha1Hex(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1) return {};
  std::vector<unsigned char> chunk(1 << 20);
  size_t got = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
    EVP_DigestUpdate(context.get(), chunk.data(), got);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (std::ferror(file.get()) || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
  std::string text;
  char pair[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += pair;
  }
  return text;
}

std::string WrittenFileDetail(const std::string& path) {
  const std::string sha1 = FileSha1Hex(path);
  return sha1.empty() ? std::string() : "SHA-1: " + sha1;
}

}  // namespace zemlo
