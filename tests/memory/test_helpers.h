// Small helpers shared by the upload and memory tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "tests/support/recording_ui.h"

namespace zemlo::testing {

inline void PrintTo(const RecordedMessage& message, std::ostream* out) {
  *out << message.caption << ": " << message.text << " (icon " << static_cast<int>(message.icon)
       << ", owner " << static_cast<int>(message.owner) << ")";
}

inline std::vector<std::string> Texts(RecordingUi& ui) {
  std::vector<std::string> texts;
  for (const auto& message : ui.messages()) texts.push_back(message.text);
  return texts;
}

inline RecordedMessage Box(const std::string& text, const std::string& caption,
                           MessageIcon icon = MessageIcon::Error,
                           MessageOwner owner = MessageOwner::None) {
  return {text, caption, icon, owner};
}

// `command`, then each field big-endian.
inline std::vector<uint8_t> Wire(uint8_t command, std::initializer_list<uint32_t> fields) {
  std::vector<uint8_t> bytes{command};
  for (uint32_t field : fields) {
    bytes.resize(bytes.size() + 4);
    WriteBE32(&bytes[bytes.size() - 4], field);
  }
  return bytes;
}

// Zero bytes mean nothing to the console should a broken exchange leave it reading commands.
inline std::vector<uint8_t> Pattern(size_t size, bool zeros = false) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size && !zeros; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

}  // namespace zemlo::testing
