#include "disc/wii_crypto.h"

#include <algorithm>

#include "protocol/message_digest.h"

namespace zemlo::disc {

Sha1Digest Sha1(const uint8_t* data, size_t count) {
  // A partition takes millions of these: each thread keeps one digest object.
  thread_local MessageDigest digest(MessageDigest::Kind::kSha1);
  digest.Update(data, count);
  const std::vector<uint8_t> result = digest.Finish();
  Sha1Digest out{};
  if (result.size() == out.size()) std::copy(result.begin(), result.end(), out.begin());
  return out;
}

}  // namespace zemlo::disc
