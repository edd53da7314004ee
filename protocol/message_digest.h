// MD5 or SHA-1 over bytes given in order: OpenSSL's libcrypto, or on Windows the system's own
// CNG provider, for which no library has to be shipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zemlo {

class MessageDigest {
 public:
  enum class Kind { kMd5, kSha1 };

  explicit MessageDigest(Kind kind);
  ~MessageDigest();
  MessageDigest(const MessageDigest&) = delete;
  MessageDigest& operator=(const MessageDigest&) = delete;

  void Update(const uint8_t* data, size_t size);
  // The digest (16 or 20 bytes); empty when the provider failed. The object then starts over, so
  // one object serves any number of messages (a Wii hash tree takes millions).
  std::vector<uint8_t> Finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace zemlo
