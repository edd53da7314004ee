#include "extract/dump_verifier.h"

#include <filesystem>

#include "extract/dump_options.h"
#include "link/ui_port.h"

namespace zemlo {

void AppendLine(const std::string& line) {
  Ui().ListInsert(-1, line);
}

DumpVerifier::DumpVerifier() : start_(std::chrono::steady_clock::now()) {
  if (CurrentDumpOptions().verify) hasher_ = std::make_unique<StreamHasher>();
}

void DumpVerifier::LoadDats() {
  if (!enabled()) return;
  for (const std::string& path : DatPaths(CurrentDumpOptions())) {
    std::string error;
    if (std::optional<DatFile> dat = LoadDat(path, error)) {
      dats_.push_back(std::move(*dat));
    } else {
      AppendLine("DAT error: " + error);
    }
  }
}

const Digests& DumpVerifier::Finish() {
  if (hasher_) digests_ = hasher_->Finish();
  seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  return digests_;
}

std::vector<std::string> DumpVerifier::HashLines() const {
  return {"CRC32: " + digests_.Crc32Hex(), "MD5: " + digests_.Md5Hex(),
          "SHA-1: " + digests_.Sha1Hex()};
}

ReportFields DumpVerifier::CommonFields(const std::string& path) const {
  return {
      {"File", std::filesystem::path(path).filename().string()},
      {"Size", std::to_string(digests_.size)},
      {"CRC32", digests_.Crc32Hex()},
      {"MD5", digests_.Md5Hex()},
      {"SHA-1", digests_.Sha1Hex()},
      {"Duration", FormatDuration(seconds_)},
      {"Date", ReportDate()},
      {"Program", ProgramVersion()},
      {"Retries", std::to_string(retries_)},
  };
}

}  // namespace zemlo
