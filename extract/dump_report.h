// The report written beside a dump (`<dump>.txt`): one "Name: value" a line, with the field names
// dump reports in this field use, so that other tools can read it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zemlo {

using ReportFields = std::vector<std::pair<std::string, std::string>>;

// False when the report file cannot be written.
bool WriteDumpReport(const std::string& dumpPath, const ReportFields& fields);

// "1:02:03" for 3,723 seconds.
std::string FormatDuration(double seconds);
// The current time, "2026-12-06 17:30:00 UTC".
std::string ReportDate();
// "zemlo 1.0".
std::string ProgramVersion();

}  // namespace zemlo
