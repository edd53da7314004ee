// The addresses a value search still considers, as offsets into its range: a bitmap while they
// are many (one bit per byte of the range, 3 MiB for all of MEM1), a sorted list once they are few.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zemlo::live {

class CandidateSet {
 public:
  // Every offset in [0, rangeSize - valueSize] that is a multiple of `step`.
  static CandidateSet All(uint32_t rangeSize, uint32_t valueSize, uint32_t step);

  uint64_t count() const { return count_; }
  bool dense() const { return dense_; }
  void ForEach(const std::function<void(uint32_t offset)>& visit) const;
  // The offsets kept by `keep`, in the cheaper of the two forms.
  CandidateSet Filter(uint32_t rangeSize, const std::function<bool(uint32_t offset)>& keep) const;
  bool Contains(uint32_t offset) const;
  // Index of `offset` in ascending order; only for the list form.
  int64_t IndexOf(uint32_t offset) const;

  // The raw storage, for saving and loading a search.
  const std::vector<uint64_t>& bits() const { return bits_; }
  const std::vector<uint32_t>& list() const { return list_; }
  static CandidateSet FromBits(std::vector<uint64_t> bits);
  static CandidateSet FromList(std::vector<uint32_t> list);

 private:
  bool dense_ = false;
  uint64_t count_ = 0;
  std::vector<uint64_t> bits_;
  std::vector<uint32_t> list_;
};

}  // namespace zemlo::live
