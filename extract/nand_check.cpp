#include "extract/nand_check.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace zemlo {
namespace {

constexpr uint32_t kEccOffset = 0x30;
constexpr uint32_t kQuarterBytes = 512;

uint32_t Parity(uint32_t value) {
  return static_cast<uint32_t>(std::popcount(value) & 1);
}

// The 12-bit halves a0 and a1 of a stored or computed ECC.
struct EccWords {
  uint32_t a0, a1;
};

EccWords Words(const uint8_t* ecc) {
  return {ecc[0] | (ecc[1] & 0x0Fu) << 8, ecc[2] | (ecc[3] & 0x0Fu) << 8};
}

}  // namespace

// Every pair A[j] holds the parity of a set of data bits, and only parities matter: A[3+j][1]
// is the parity of the bytes whose index has bit j set, which is bit j of the XOR of the indices
// of the odd-parity bytes; A[3+j][0] is the rest of the whole parity. A[0..2] split the XOR of
// all bytes by bit position.
std::array<uint8_t, 4> NandEcc(const uint8_t* data) {
  uint32_t all = 0;
  uint32_t oddIndices = 0;
  for (uint32_t i = 0; i < kQuarterBytes; ++i) {
    all ^= data[i];
    if (Parity(data[i])) oddIndices ^= i;
  }
  const uint32_t whole = Parity(all);
  uint32_t a0 = 0;
  uint32_t a1 = 0;
  const uint32_t masks[3][2] = {{0x55, 0xAA}, {0x33, 0xCC}, {0x0F, 0xF0}};
  for (uint32_t j = 0; j < 3; ++j) {
    a0 |= Parity(all & masks[j][0]) << j;
    a1 |= Parity(all & masks[j][1]) << j;
  }
  for (uint32_t j = 0; j < 9; ++j) {
    const uint32_t set = (oddIndices >> j) & 1;
    a0 |= (whole ^ set) << (3 + j);
    a1 |= set << (3 + j);
  }
  return {static_cast<uint8_t>(a0), static_cast<uint8_t>(a0 >> 8), static_cast<uint8_t>(a1),
          static_cast<uint8_t>(a1 >> 8)};
}

void NandPageCheck::Check(uint32_t index, const uint8_t* page) {
  const uint8_t* spare = page + kNandDataBytes;
  if (index % kNandPagesPerBlock == 0 && spare[0] != 0xFF) ++badBlocks_;
  const uint8_t* stored = spare + kEccOffset;
  if (std::all_of(stored, stored + 16, [](uint8_t byte) { return byte == 0xFF; })) {
    ++erasedPages_;
    return;
  }
  bool correctable = false;
  bool uncorrectable = false;
  for (uint32_t quarter = 0; quarter < 4; ++quarter) {
    const EccWords want = Words(stored + 4 * quarter);
    const std::array<uint8_t, 4> computed = NandEcc(page + quarter * kQuarterBytes);
    const EccWords got = Words(computed.data());
    const uint32_t s0 = want.a0 ^ got.a0;
    const uint32_t s1 = want.a1 ^ got.a1;
    if (s0 == 0 && s1 == 0) continue;
    char line[96];
    if ((s0 ^ s1) == 0xFFF) {
      // One flipped data bit flips one of each pair: a1 then names its byte and bit.
      correctable = true;
      std::snprintf(line, sizeof line, "Page %x: correctable, bit %u of byte %u", index, s1 & 7,
                    quarter * kQuarterBytes + (s1 >> 3));
    } else if (std::popcount(s0) + std::popcount(s1) == 1) {
      correctable = true;
      std::snprintf(line, sizeof line, "Page %x: correctable, one bit of the ECC of quarter %u",
                    index, quarter);
    } else {
      uncorrectable = true;
      std::snprintf(line, sizeof line, "Page %x: uncorrectable, quarter %u", index, quarter);
    }
    findings_.push_back(line);
  }
  if (uncorrectable) {
    ++uncorrectablePages_;
  } else if (correctable) {
    ++correctablePages_;
  }
}

ReportFields NandPageCheck::Fields() const {
  ReportFields fields{{"Bad blocks", std::to_string(badBlocks_)},
                      {"Erased pages", std::to_string(erasedPages_)},
                      {"Correctable pages", std::to_string(correctablePages_)},
                      {"Uncorrectable pages", std::to_string(uncorrectablePages_)}};
  for (const std::string& finding : findings_) fields.emplace_back("ECC", finding);
  return fields;
}

}  // namespace zemlo
