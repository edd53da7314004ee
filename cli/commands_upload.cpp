#include <charconv>
#include <cstdio>
#include <string>

#include "cli/handlers.h"
#include "debugger/hook_launcher.h"
#include "debugger/memory_ops.h"
#include "debugger/memory_view.h"
#include "disasm/symbol_map.h"
#include "protocol/firmware.h"
#include "protocol/upload.h"

// Each handler presses the dialog button the command stands for; the button does its own purge
// where the dialog purges (uploads, flash, fill, dump) and none where it does not (memory window,
// poke, hook launcher).
namespace zemlo::cli {

int CmdUpload(const CliArgs& args, CliUi& ui) {
  const std::optional<UploadKind> kind = UploadKindNamed(args.args[0]);
  if (!kind) return UsageError("upload", "the kind must be dol, elf, mod or mp3");
  ui.SetOpenFile(args.args[1]);
  OnLoadPressed(*kind);
  return kExitFromMessages;
}

int CmdUploadCode(const CliArgs& args, CliUi& ui) {
  ui.SetOpenFile(args.args[1]);
  OnUploadCodeOpenPressed(args.args[0]);
  return kExitFromMessages;
}

int CmdFlashFirmware(const CliArgs& args, CliUi& ui) {
  ui.SetOpenFile(args.args[0]);
  OnLoadFirmwarePressed();
  return kExitFromMessages;
}

int CmdHook(const CliArgs& args, CliUi& ui) {
  const std::string& text = args.args[0];
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  const int count = static_cast<int>(HookTypes().size());
  if (error != std::errc() || end != text.data() + text.size() || number < 1 || number > count) {
    return UsageError("hook", "N must be a number from 1 to 5");
  }
  ui.SetSelection(number - 1);
  LaunchGameWithHook();
  return kExitFromMessages;
}

int CmdMemory(const CliArgs& args, CliUi&) {
  const std::string& view = args.args[0];
  if (auto it = args.options.find("--map"); it != args.options.end()) {
    SymbolMap map;
    std::string error;
    if (!map.Load(it->second, &error)) {
      std::fprintf(stderr, "File Error: %s\n", error.c_str());
      return kExitFailure;
    }
    SetLoadedSymbolMap(std::move(map));
  }
  if (view == "hex") {
    OnHexPressed(args.args[1]);
  } else if (view == "asm") {
    OnAsmPressed(args.args[1]);
  } else {
    return UsageError("memory", "the view must be hex or asm");
  }
  return kExitFromMessages;
}

int CmdPoke(const CliArgs& args, CliUi&) {
  OnPokePressed(args.args[0], args.args[1]);
  return kExitFromMessages;
}

int CmdFill(const CliArgs& args, CliUi&) {
  OnFillMemoryPressed(args.args[0], args.args[1]);
  return kExitFromMessages;
}

int CmdDumpMemory(const CliArgs& args, CliUi& ui) {
  ui.SetSaveFile(args.output);
  OnDumpMemoryPressed(args.args[0], args.args[1]);
  return kExitFromMessages;
}

}  // namespace zemlo::cli
