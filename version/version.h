// What every program prints for --version: the release, the commit it was built from and the
// licence. The commit is read from git at build time, so a rebuild after a commit tells the truth.
#pragma once

#include <string>

namespace zemlo {

// The project's release, e.g. "1.0".
const char* ProjectVersion();
// The abbreviated commit, with "-dirty" when the tree had uncommitted changes; "unknown" outside
// a git checkout.
const char* BuildCommit();
// "PROGRAM VERSION" on the first line (what help2man reads), then the commit and the licence; no
// trailing newline.
std::string VersionText(const char* program);

}  // namespace zemlo
