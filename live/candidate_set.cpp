#include "live/candidate_set.h"

#include <algorithm>
#include <bit>

namespace zemlo::live {

CandidateSet CandidateSet::All(uint32_t rangeSize, uint32_t valueSize, uint32_t step) {
  CandidateSet set;
  set.dense_ = true;
  set.bits_.assign((uint64_t{rangeSize} + 63) / 64, 0);
  if (valueSize == 0 || valueSize > rangeSize) return set;
  for (uint64_t offset = 0; offset + valueSize <= rangeSize; offset += step) {
    set.bits_[offset / 64] |= uint64_t{1} << (offset % 64);
    ++set.count_;
  }
  return set;
}

void CandidateSet::ForEach(const std::function<void(uint32_t offset)>& visit) const {
  if (!dense_) {
    for (uint32_t offset : list_) visit(offset);
    return;
  }
  for (size_t word = 0; word < bits_.size(); ++word) {
    for (uint64_t bits = bits_[word]; bits != 0; bits &= bits - 1) {
      visit(static_cast<uint32_t>(word * 64 + static_cast<unsigned>(std::countr_zero(bits))));
    }
  }
}

CandidateSet CandidateSet::Filter(uint32_t rangeSize,
                                  const std::function<bool(uint32_t offset)>& keep) const {
  std::vector<uint32_t> kept;
  // A list costs 4 bytes a candidate, the bitmap an eighth of a byte per byte of the range.
  const uint64_t listLimit = uint64_t{rangeSize} / 32;
  std::vector<uint64_t> bits;
  uint64_t count = 0;
  ForEach([&](uint32_t offset) {
    if (!keep(offset)) return;
    ++count;
    if (bits.empty() && kept.size() < listLimit) {
      kept.push_back(offset);
      return;
    }
    if (bits.empty()) {
      bits.assign((uint64_t{rangeSize} + 63) / 64, 0);
      for (uint32_t earlier : kept) bits[earlier / 64] |= uint64_t{1} << (earlier % 64);
      kept.clear();
      kept.shrink_to_fit();
    }
    bits[offset / 64] |= uint64_t{1} << (offset % 64);
  });
  CandidateSet set = bits.empty() ? FromList(std::move(kept)) : FromBits(std::move(bits));
  set.count_ = count;
  return set;
}

bool CandidateSet::Contains(uint32_t offset) const {
  if (dense_) return offset / 64 < bits_.size() && (bits_[offset / 64] >> (offset % 64)) & 1;
  return std::binary_search(list_.begin(), list_.end(), offset);
}

int64_t CandidateSet::IndexOf(uint32_t offset) const {
  const auto it = std::lower_bound(list_.begin(), list_.end(), offset);
  return it != list_.end() && *it == offset ? it - list_.begin() : -1;
}

CandidateSet CandidateSet::FromBits(std::vector<uint64_t> bits) {
  CandidateSet set;
  set.dense_ = true;
  set.bits_ = std::move(bits);
  for (uint64_t word : set.bits_) set.count_ += static_cast<uint64_t>(std::popcount(word));
  return set;
}

CandidateSet CandidateSet::FromList(std::vector<uint32_t> list) {
  CandidateSet set;
  set.list_ = std::move(list);
  set.count_ = set.list_.size();
  return set;
}

}  // namespace zemlo::live
