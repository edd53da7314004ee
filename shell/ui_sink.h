// A seam for tests and scripted runs: when a sink is set, the Qt UI port hands message boxes and
// file choices to it instead of showing them.
#pragma once

#include <optional>
#include <string>

#include "link/ui_port.h"

namespace zemlo::shell {

class UiSink {
 public:
  virtual ~UiSink() = default;
  virtual void Message(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageOwner owner, const std::string& detail) = 0;
  virtual std::optional<std::string> OpenFile(const FileRequest& request) = 0;
  virtual std::optional<std::string> SaveFile(const FileRequest& request) = 0;
  // True when the sink took the quit request; false lets the application end.
  virtual bool Quit(int /*exitCode*/) { return false; }
};

}  // namespace zemlo::shell
