#include "disasm/asm_line.h"

#include <cstring>

namespace zemlo {

std::size_t format_asm_line(char* out, const PpcDisasmRecord& record) {
  char* p = out;
  std::memcpy(p, "0x", 2);
  p = put_hex32(p + 2, static_cast<std::uint32_t>(record.address));
  std::memcpy(p, "  0x", 4);
  p = put_hex32(p + 4, record.word);
  std::memcpy(p, "  ", 2);
  p += 2;
  std::memcpy(p, record.mnemonic.c_str(), sizeof record.mnemonic.storage());
  p += record.mnemonic.size();
  *p++ = ' ';
  std::memcpy(p, record.operands.c_str(), sizeof record.operands.storage());
  p += record.operands.size();
  return static_cast<std::size_t>(p - out);
}

std::string asm_line(std::uint32_t address, std::uint32_t word) {
  PpcDisasmRecord record;
  record.address = address;
  record.word = word;
  ppc_disassemble(&record);
  char line[kMaxAsmLine];
  return std::string(line, format_asm_line(line, record));
}

}  // namespace zemlo
