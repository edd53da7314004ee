#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/handlers.h"
#include "cli/interrupt_stop.h"
#include "disc/rvz.h"
#include "disc/wii_keys.h"
#include "extract/dat_catalog.h"
#include "extract/disc_extractor.h"
#include "extract/dump_options.h"
#include "extract/image_convert.h"
#include "extract/lowlevel_dump.h"
#include "extract/nand_dumper.h"
#include "extract/worker.h"
#include "link/link.h"
#include "protocol/console_controls.h"

namespace zemlo::cli {
namespace {

int IndexOf(const std::vector<std::string>& names, const std::string& name) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

// Starts the worker as the dialog button does and waits for it, turning Ctrl-C into the Stop
// Extract button: purge, then StopExtraction.
int RunExtraction(WorkerStart (*start)(int, WorkerDone), int selection) {
  InterruptAsStop interrupts;
  if (start(selection, {}) != WorkerStart::Started) return kExitFromMessages;
  while (!WaitForWorkerFor(std::chrono::milliseconds(50))) {
    if (interrupts.Take()) {
      PurgeLink();
      StopExtraction();
    }
  }
  const std::optional<ExtractOutcome> outcome = WaitForWorker();
  return outcome == ExtractOutcome::Stopped ? kExitStopped : kExitFromMessages;
}

std::string Option(const CliArgs& args, const std::string& name) {
  const auto found = args.options.find(name);
  return found == args.options.end() ? std::string() : found->second;
}

std::optional<uint64_t> Number(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
      text.size() > 19) {
    return std::nullopt;
  }
  return std::stoull(text);
}

// --format, --split, --split-size, --level and --chunk-size into `options`; the reason when one is
// wrong.
std::optional<std::string> ParseImageOptions(const CliArgs& args, DumpOptions& options) {
  const std::string format = Option(args, "--format");
  if (format == "iso") {
    options.imageFormat = disc::ImageFormat::Iso;
  } else if (format == "split") {
    options.imageFormat = disc::ImageFormat::Split;
  } else if (format == "rvz") {
    options.imageFormat = disc::ImageFormat::Rvz;
  } else if (!format.empty()) {
    return "the format is iso, split or rvz";
  }
  if (args.flags.contains("--split") || args.options.contains("--split-size")) {
    if (options.imageFormat && options.imageFormat != disc::ImageFormat::Split) {
      return "--split goes with --format split only";
    }
    options.imageFormat = disc::ImageFormat::Split;
  }
  if (args.options.contains("--split-size")) {
    const std::optional<uint64_t> size = Number(Option(args, "--split-size"));
    if (!size || *size == 0) return "--split-size takes a number of bytes";
    options.splitSize = *size;
  }
  if (args.options.contains("--level")) {
    const std::string text = Option(args, "--level");
    const bool negative = text.starts_with('-');
    const std::optional<uint64_t> level = Number(negative ? text.substr(1) : text);
    if (!level || *level > 22) return "--level takes a zstd level from -22 to 22";
    options.rvz.level = negative ? -static_cast<int>(*level) : static_cast<int>(*level);
  }
  if (args.options.contains("--chunk-size")) {
    const std::optional<uint64_t> size = Number(Option(args, "--chunk-size"));
    if (!size || !disc::ValidRvzChunkSize(*size)) {
      return "--chunk-size is a power of two from 32768 to 2097152, or a multiple of 2097152";
    }
    options.rvz.chunkSize = static_cast<uint32_t>(*size);
  }
  const bool rvz =
      options.imageFormat == disc::ImageFormat::Rvz ||
      (!options.imageFormat && disc::FormatFromPath(args.output) == disc::ImageFormat::Rvz);
  if (rvz && !disc::RvzAvailable()) return "this build cannot write RVZ (no zstd)";
  return std::nullopt;
}

}  // namespace

int CmdExtractDisc(const CliArgs& args, CliUi& ui) {
  const int selection = IndexOf({"gamecube", "wii-single", "wii-dual"}, args.args.at(0));
  if (selection < 0) {
    return UsageError("extract-disc", "the disc kind is gamecube, wii-single or wii-dual");
  }
  DumpOptions options;
  if (const std::optional<std::string> wrong = ParseImageOptions(args, options)) {
    return UsageError("extract-disc", *wrong);
  }
  options.wiiKeysFile = Option(args, "--keys");
  options.datFolder = Option(args, "--dat-folder");
  options.verify = !args.flags.contains("--no-verify");
  std::istringstream dats(Option(args, "--dat"));
  for (std::string path; std::getline(dats, path);) options.datFiles.push_back(path);
  if (!kDatFilesSupported && (!options.datFiles.empty() || !options.datFolder.empty())) {
    ui.ShowMessage(
        "--dat and --dat-folder cannot be used", "zemlo-cli extract-disc", MessageIcon::Error,
        MessageOwner::None,
        std::string(kDatFilesUnsupported) + "; the dump's sums are listed all the same.");
    return kExitUsage;
  }
  SetDumpOptions(options);
  return RunExtraction(StartDiscExtraction, selection);
}

int CmdConvert(const CliArgs& args, CliUi& ui) {
  CliArgs withOutput = args;
  withOutput.output = args.args.at(1);
  DumpOptions options;
  if (const std::optional<std::string> wrong = ParseImageOptions(withOutput, options)) {
    return UsageError("convert", *wrong);
  }
  disc::ImageTarget target{options.imageFormat.value_or(disc::FormatFromPath(args.args[1])),
                           args.args[1], options.splitSize, options.rvz};
  if (const std::string keys = Option(args, "--keys"); !keys.empty()) {
    std::string error;
    target.rvz.commonKey = disc::ReadCommonKey(keys, error);
    if (!target.rvz.commonKey) {
      ui.ShowMessage("Error: Couldn't convert the image: " + error, "zemlo-cli convert",
                     MessageIcon::Error, MessageOwner::None, "");
      return kExitFailure;
    }
  }
  const ConvertResult result = ConvertImage(args.args[0], target);
  if (!result.ok) {
    ui.ShowMessage("Error: Couldn't convert the image: " + result.error, "zemlo-cli convert",
                   MessageIcon::Error, MessageOwner::None, "");
    return kExitFailure;
  }
  for (const std::string& file : result.files) ui.ListInsert(-1, file);
  return kExitOk;
}

int CmdDumpNand(const CliArgs& args, CliUi&) {
  const int selection = IndexOf({"2048", "2112"}, args.args.at(0));
  if (selection < 0) return UsageError("dump-nand", "the page size is 2048 or 2112");
  DumpOptions options;
  options.keysFile = Option(args, "--keys");
  if (!options.keysFile.empty() && selection != 1) {
    return UsageError("dump-nand", "--keys goes after a 2112 dump only");
  }
  SetDumpOptions(options);
  return RunExtraction(StartNandDump, selection);
}

int CmdLowLevel(const CliArgs& args, CliUi&) {
  const int selection =
      IndexOf({"sram", "bios", "drive-rom", "drive-iram", "drive-eram"}, args.args.at(0));
  if (selection < 0) {
    return UsageError("lowlevel", "the region is sram, bios, drive-rom, drive-iram or drive-eram");
  }
  ExecuteLowLevel(selection);
  return kExitFromMessages;
}

}  // namespace zemlo::cli
