// Readable failure output for recorded message boxes.
#pragma once

#include <ostream>

#include "tests/support/recording_ui.h"

namespace zemlo::testing {

inline void PrintTo(const RecordedMessage& message, std::ostream* out) {
  *out << message.caption << ": " << message.text << " (icon " << static_cast<int>(message.icon)
       << ", owner " << static_cast<int>(message.owner) << ")";
}

}  // namespace zemlo::testing
