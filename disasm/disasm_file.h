#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zemlo {
class SymbolMap;

// Writes every big-endian 4-byte word of the file at `path` as a memory-window assembler line
// ("0x%08X  0x%08X  %s %s\n": address, word, mnemonic, operands), addresses starting at `base`
// and wrapping modulo 2^32. Streams with a fixed-size buffer. A trailing partial word (file size
// not a multiple of 4) is ignored. On failure returns false and sets *error to a one-line reason.
// With a symbol map, branch targets and function starts are named (see SymbolMap::Annotate).
bool DisassembleFile(const std::string& path, uint32_t base, std::FILE* out, std::string* error,
                     const SymbolMap* map = nullptr);
}  // namespace zemlo
