// Symbol maps as games and decompilation projects ship them: section layouts with lines
// "address size virtual-address alignment name" (the emulator-style map has one ".text section
// layout"; a linker map has several and a "Memory map:" section). They name branch targets and
// mark where functions start in assembler lines.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zemlo {

struct Symbol {
  uint32_t address = 0;
  uint32_t size = 0;
  std::string name;
  bool function = false;  // in a code section (.init, .text)
};

class SymbolMap {
 public:
  // False when the text holds no symbol line in a section layout.
  bool Parse(std::string_view text);
  bool Load(const std::string& path, std::string* error);

  const std::vector<Symbol>& symbols() const { return symbols_; }
  // "name" or "name+0x1C" for an address inside a symbol; nothing outside every symbol.
  std::optional<std::string> Describe(uint32_t address) const;
  // The function that starts exactly at `address`.
  const Symbol* FunctionAt(uint32_t address) const;
  // The first symbol of that name, code or data.
  const Symbol* Named(std::string_view name) const;

  // `line` with " <name>" after a branch target and "  ; name:" where a function starts.
  std::string Annotate(std::string line, uint32_t address, uint32_t word) const;

 private:
  std::vector<Symbol> symbols_;  // by address
};

// The target of a relative or absolute branch (b, bl, bc and their forms), as the assembler
// line shows it; nothing for other instructions.
std::optional<uint32_t> BranchTarget(uint32_t address, uint32_t word);

// The map the memory window's assembler view uses; null when none is loaded.
std::shared_ptr<const SymbolMap> LoadedSymbolMap();
void SetLoadedSymbolMap(std::optional<SymbolMap> map);

}  // namespace zemlo
