#include "disasm/disasm_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "disasm/asm_line.h"
#include "disasm/chunk_writer.h"
#include "disasm/ppc_disasm.h"
#include "disasm/symbol_map.h"

namespace zemlo {
namespace {

// Large enough that fread/fwrite cost disappears next to decoding; fixed so memory use does not
// grow with the file.
constexpr std::size_t kInputBytes = std::size_t{1} << 20;
constexpr std::size_t kOutputBytes = std::size_t{1} << 20;
// A named line is cut here: symbol names come from a file and may be of any length.
constexpr std::size_t kMaxNamedLine = 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool fail(std::string* error, std::string reason) {
  if (error != nullptr) *error = std::move(reason);
  return false;
}

}  // namespace

bool DisassembleFile(const std::string& path, uint32_t base, std::FILE* out, std::string* error,
                     const SymbolMap* map) {
  if (out == nullptr) return fail(error, "no output stream");
  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(path.c_str(), "rb"));
  if (!in) return fail(error, "cannot open " + path + ": " + std::strerror(errno));

  std::vector<unsigned char> input(kInputBytes);
  ChunkWriter writer(out, kOutputBytes);
  char* output = writer.buffer();
  const std::size_t flush_at = kOutputBytes - (std::max(kMaxAsmLine, kMaxNamedLine) + 1);
  std::size_t used = 0;
  std::size_t carried = 0;  // bytes of an incomplete word kept from the previous read
  std::uint32_t address = base;
  PpcDisasmRecord record;

  auto flush = [&]() {
    const bool ok = writer.submit(used);
    output = writer.buffer();
    used = 0;
    return ok;
  };

  for (;;) {
    const std::size_t got = std::fread(input.data() + carried, 1, input.size() - carried, in.get());
    if (got == 0) {
      if (std::ferror(in.get()))
        return fail(error, "cannot read " + path + ": " + std::strerror(errno));
      break;
    }
    const std::size_t available = carried + got;
    const std::size_t whole = available & ~std::size_t{3};
    for (std::size_t i = 0; i < whole; i += 4) {
      const unsigned char* b = input.data() + i;
      record.address = address;
      record.word = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                    (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
      ppc_disassemble(&record);
      const std::size_t length = format_asm_line(output + used, record);
      if (map != nullptr) {
        const std::string named =
            map->Annotate(std::string(output + used, length), address, record.word);
        const std::size_t kept = std::min(named.size(), kMaxNamedLine);
        std::memcpy(output + used, named.data(), kept);
        used += kept;
      } else {
        used += length;
      }
      output[used++] = '\n';
      address += 4;  // wraps modulo 2^32
      if (used >= flush_at && !flush())
        return fail(error, std::string("cannot write output: ") + std::strerror(errno));
    }
    carried = available - whole;
    if (carried != 0) std::memmove(input.data(), input.data() + whole, carried);
  }
  if (!flush() || !writer.finish() || std::fflush(out) != 0) {
    return fail(error, std::string("cannot write output: ") + std::strerror(errno));
  }
  return true;
}

}  // namespace zemlo
