#include "cli/man_commands.h"

namespace zemlo::cli {
namespace {

// Text as roff shows it literally: backslashes and minus signs escaped, and no line that starts
// with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

}  // namespace

std::string ManCommandsSection(const std::vector<CliCommand>& table) {
  std::string out = "[COMMANDS]\n";
  for (const CliCommand& command : table) {
    out += ".TP\n\\fB" + Roff(command.name) + "\\fR";
    if (*command.usage) out += " \\fI" + Roff(command.usage) + "\\fR";
    out += "\n" + Roff(command.help) + "\n";
  }
  return out;
}

}  // namespace zemlo::cli
