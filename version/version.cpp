#include "version/version.h"

#include "version/build_commit.h"

namespace zemlo {

const char* ProjectVersion() {
  return kProjectVersion;
}

const char* BuildCommit() {
  return kBuildCommit;
}

std::string VersionText(const char* program) {
  return std::string(program) + " " + kProjectVersion + "\ncommit " + kBuildCommit +
         "\n\nCopyright (C) 2026 the zemlo developers.\n"
         "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.";
}

}  // namespace zemlo
