// Writes what is generated from zemlo-cli's command table at build time:
//   zemlo-cli-docs completion FILE    the bash completion script
//   zemlo-cli-docs man-commands FILE  the manual's COMMANDS section (a help2man include)
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/bash_completion.h"
#include "cli/man_commands.h"

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  std::string text;
  if (what == "completion") {
    text = zemlo::cli::BashCompletionScript(zemlo::cli::CommandTable());
  } else if (what == "man-commands") {
    text = zemlo::cli::ManCommandsSection(zemlo::cli::CommandTable());
  } else {
    std::fputs("usage: zemlo-cli-docs completion|man-commands FILE\n", stderr);
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << text;
  return out.flush() ? 0 : 1;
}
