// The page check of a NAND dump with spare areas (2,112-byte pages): bad blocks from the block
// marker, erased pages, and each 512-byte quarter against the ECC stored in the spare area.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "extract/dump_report.h"

namespace zemlo {

inline constexpr uint32_t kNandDataBytes = 2048;
inline constexpr uint32_t kNandSpareBytes = 64;
inline constexpr uint32_t kNandPagesPerBlock = 64;

// The 4 ECC bytes the flash controller stores for 512 data bytes.
std::array<uint8_t, 4> NandEcc(const uint8_t* data);

class NandPageCheck {
 public:
  // `page` holds kNandDataBytes + kNandSpareBytes bytes.
  void Check(uint32_t index, const uint8_t* page);

  uint32_t badBlocks() const { return badBlocks_; }
  uint32_t erasedPages() const { return erasedPages_; }
  uint32_t correctablePages() const { return correctablePages_; }
  uint32_t uncorrectablePages() const { return uncorrectablePages_; }
  // One line per page with an ECC mismatch, saying where.
  const std::vector<std::string>& findings() const { return findings_; }

  // The counts, then the findings, for the report.
  ReportFields Fields() const;

 private:
  uint32_t badBlocks_ = 0;
  uint32_t erasedPages_ = 0;
  uint32_t correctablePages_ = 0;
  uint32_t uncorrectablePages_ = 0;
  std::vector<std::string> findings_;
};

}  // namespace zemlo
