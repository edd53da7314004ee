#pragma once

// The memory window's assembler line: "0x%08X  0x%08X  %s %s" (address, word, mnemonic,
// operands). An undecodable word ends the line in three blanks after the word.

#include <cstddef>
#include <cstdint>
#include <string>

#include "disasm/ppc_disasm.h"

namespace zemlo {

// Room format_asm_line needs at `out`. The line itself is at most 103 characters, but the texts
// are copied whole (all 16 and 64 bytes) so that their varying lengths cost no branches.
inline constexpr std::size_t kMaxAsmLine = 2 + 8 + 4 + 8 + 2 + 16 + 1 + 64;

// Writes the line of an already decoded record (address = its low 32 bits) without a newline
// or terminator into `out`, which must hold kMaxAsmLine bytes; returns the length.
std::size_t format_asm_line(char* out, const PpcDisasmRecord& record);

// Decodes `word` at `address` and returns its line.
std::string asm_line(std::uint32_t address, std::uint32_t word);

}  // namespace zemlo
