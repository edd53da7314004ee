// Help as a newcomer reads it: a sub-command's own usage line with its named arguments, instead
// of the parser's generic "args TEXT x 2" entry.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace zemlo::cli {

class CommandHelpFormatter final : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override;
  std::string make_positionals(const CLI::App* app) const override;
};

}  // namespace zemlo::cli
