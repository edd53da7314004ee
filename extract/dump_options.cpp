#include "extract/dump_options.h"

#include <mutex>

#include "extract/dat_catalog.h"

namespace zemlo {
namespace {

std::mutex g_mutex;
DumpOptions g_options;

}  // namespace

void SetDumpOptions(DumpOptions options) {
  std::lock_guard lock(g_mutex);
  g_options = std::move(options);
}

DumpOptions CurrentDumpOptions() {
  std::lock_guard lock(g_mutex);
  return g_options;
}

std::vector<std::string> DatPaths(const DumpOptions& options) {
  std::vector<std::string> paths = options.datFiles;
  if (!options.datFolder.empty()) {
    for (std::string& path : DatFilesIn(options.datFolder)) paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace zemlo
