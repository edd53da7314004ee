#include "cli/handlers.h"
#include "disasm/disasm_file.h"
#include "disasm/symbol_map.h"
#include "protocol/hex_parse.h"

namespace zemlo::cli {

// Offline: no adapter, no message boxes. A file that cannot be read is a failure (exit 1); a
// base address that is not hexadecimal is a usage error.
int CmdDisasm(const CliArgs& args, CliUi&) {
  uint32_t base = 0x80000000u;
  if (auto it = args.options.find("--base"); it != args.options.end()) {
    const std::optional<uint32_t> parsed = ParseHexPrefix(it->second, it->second.size());
    if (!parsed) return UsageError("disasm", "--base takes a hexadecimal address");
    base = *parsed;
  }
  std::string error;
  std::optional<SymbolMap> map;
  if (auto it = args.options.find("--map"); it != args.options.end()) {
    map.emplace();
    if (!map->Load(it->second, &error)) {
      std::fprintf(stderr, "File Error: %s\n", error.c_str());
      return kExitFailure;
    }
  }
  if (!DisassembleFile(args.args.front(), base, stdout, &error, map ? &*map : nullptr)) {
    std::fprintf(stderr, "File Error: %s\n", error.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace zemlo::cli
