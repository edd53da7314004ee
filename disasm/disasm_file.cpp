#include "disasm/disasm_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "disasm/asm_line.h"
#include "disasm/chunk_writer.h"
#include "disasm/piece_team.h"
#include "disasm/ppc_disasm.h"
#include "disasm/symbol_map.h"

namespace zemlo {
namespace {

// The output of a round goes out as kPieces pieces of at most kPieceBytes each; the input of a
// round is as many words as fit. Two threads format the pieces of a round side by side (the
// writer thread writes the previous round meanwhile). The sizes are fixed, so memory use does
// not grow with the file.
constexpr std::size_t kPieces = 4;
constexpr std::size_t kPieceBytes = std::size_t{512} << 10;
// A named line is cut here: symbol names come from a file and may be of any length.
constexpr std::size_t kMaxNamedLine = 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool fail(std::string* error, std::string reason) {
  if (error != nullptr) *error = std::move(reason);
  return false;
}

// Words decoded before their lines are formatted. The decoder builds its texts with many small
// stores, and format_asm_line reads them back with wide loads: straight after the decode such a
// load has to wait for the stores to drain, a stall of about as long as the decode itself. A
// batch gives the stores time to land; it stays small enough to keep its records in L1.
constexpr std::size_t kBatch = 16;

// Writes the lines of `count` big-endian words at `bytes` to `out`; returns the bytes written.
std::size_t FormatWords(const unsigned char* bytes, std::size_t count, std::uint32_t address,
                        char* out, const SymbolMap* map) {
  PpcDisasmRecord records[kBatch];
  char* p = out;
  for (std::size_t done = 0; done < count;) {
    const std::size_t batch = std::min(kBatch, count - done);
    for (std::size_t i = 0; i < batch; ++i, bytes += 4) {
      PpcDisasmRecord& record = records[i];
      record.address = address + static_cast<std::uint32_t>(i * 4);  // wraps modulo 2^32
      record.word = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                    (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
      ppc_disassemble(&record);
    }
    for (std::size_t i = 0; i < batch; ++i) {
      const PpcDisasmRecord& record = records[i];
      std::size_t length = format_asm_line(p, record);
      if (map != nullptr) {
        const std::string named = map->Annotate(
            std::string(p, length), static_cast<std::uint32_t>(record.address), record.word);
        length = std::min(named.size(), kMaxNamedLine);
        std::memcpy(p, named.data(), length);
      }
      p += length;
      *p++ = '\n';
    }
    done += batch;
    address += static_cast<std::uint32_t>(batch * 4);
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace

bool DisassembleFile(const std::string& path, uint32_t base, std::FILE* out, std::string* error,
                     const SymbolMap* map) {
  if (out == nullptr) return fail(error, "no output stream");
  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(path.c_str(), "rb"));
  if (!in) return fail(error, "cannot open " + path + ": " + std::strerror(errno));

  const std::size_t line_room =
      (map != nullptr ? std::max(kMaxAsmLine, kMaxNamedLine) : kMaxAsmLine) + 1;
  const std::size_t piece_words = kPieceBytes / line_room;
  // Not zero-filled: only what fread stored is read.
  const std::size_t input_size = kPieces * piece_words * 4;
  const auto input = std::make_unique_for_overwrite<unsigned char[]>(input_size);
  ChunkWriter writer(out, kPieces * kPieceBytes);
  std::size_t sizes[kPieces] = {};
  // What the pieces of the current round read; set before each PieceTeam::Run.
  std::size_t round_words = 0;
  std::uint32_t round_address = base;
  char* round_output = nullptr;
  const auto format_piece = [&](std::size_t piece) {
    const std::size_t first = piece * piece_words;
    const std::size_t count = first < round_words ? std::min(piece_words, round_words - first) : 0;
    sizes[piece] = FormatWords(input.get() + first * 4, count,
                               round_address + static_cast<std::uint32_t>(first * 4),
                               round_output + piece * kPieceBytes, map);
  };
  std::optional<PieceTeam> team;
  if (std::thread::hardware_concurrency() > 1) {
    try {
      team.emplace(format_piece);
    } catch (const std::system_error&) {
      // No second thread: the pieces are formatted one after another.
    }
  }

  std::size_t carried = 0;  // bytes of an incomplete word kept from the previous read
  for (;;) {
    const std::size_t got = std::fread(input.get() + carried, 1, input_size - carried, in.get());
    if (got == 0) {
      if (std::ferror(in.get()))
        return fail(error, "cannot read " + path + ": " + std::strerror(errno));
      break;
    }
    const std::size_t available = carried + got;
    round_words = available / 4;
    round_output = writer.buffer();
    if (team) {
      team->Run(kPieces);
    } else {
      for (std::size_t piece = 0; piece < kPieces; ++piece) format_piece(piece);
    }
    round_address += static_cast<std::uint32_t>(round_words * 4);
    if (!writer.submit(std::span<const std::size_t>(sizes), kPieceBytes))
      return fail(error, std::string("cannot write output: ") + std::strerror(errno));
    const std::size_t whole = round_words * 4;
    carried = available - whole;
    if (carried != 0) std::memmove(input.get(), input.get() + whole, carried);
  }
  if (!writer.finish() || std::fflush(out) != 0) {
    return fail(error, std::string("cannot write output: ") + std::strerror(errno));
  }
  return true;
}

}  // namespace zemlo
