#include "protocol/file_sha1.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "protocol/message_digest.h"

namespace zemlo {

std::string FileSha1Hex(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return {};
  MessageDigest sha1(MessageDigest::Kind::kSha1);
  std::vector<unsigned char> chunk(1 << 20);
  size_t got = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
    sha1.Update(chunk.data(), got);
  }
  if (std::ferror(file.get())) return {};
  const std::vector<uint8_t> digest = sha1.Finish();
  std::string text;
  char pair[3];
  for (uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

std::string WrittenFileDetail(const std::string& path) {
  const std::string sha1 = FileSha1Hex(path);
  return sha1.empty() ? std::string() : "SHA-1: " + sha1;
}

}  // namespace zemlo
