#include "extract/dump_report.h"

#include <cstdio>
#include <ctime>
#include <memory>

namespace zemlo {

bool WriteDumpReport(const std::string& dumpPath, const ReportFields& fields) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen((dumpPath + ".txt").c_str(), "w"),
                                                       std::fclose);
  if (!file) return false;
  for (const auto& [name, value] : fields) {
    std::fprintf(file.get(), "%s: %s\n", name.c_str(), value.c_str());
  }
  return std::fflush(file.get()) == 0 && !std::ferror(file.get());
}

std::string FormatDuration(double seconds) {
  const long total = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

std::string ReportDate() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

std::string ProgramVersion() {
  return std::string("zemlo ") + ZEMLO_VERSION;
}

}  // namespace zemlo
