// A GameCube disc made up for the simulated console, as real discs are laid out: boot header,
// bi2, apploader, main DOL and file system table, then folders of files (some compressible, some
// as random as compressed audio and video, a few large), and the padding generator's bytes in
// every unused area. Its layout scales with its size, so that a small test disc is whole too; the
// bytes of any range are computed on demand, so a full-size disc costs no memory. A Wii
// partition's plain data is laid out the same way, with the Wii magic word and its offsets in
// 4-byte words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc/disc_header.h"

namespace zemlo::disc {

enum class SimulatedLayout { GameCubeDisc, WiiPartition };

class SimulatedGameCubeDisc {
 public:
  SimulatedGameCubeDisc(std::string gameId, std::string title, uint64_t size,
                        SimulatedLayout layout = SimulatedLayout::GameCubeDisc);

  void Read(uint64_t offset, uint8_t* out, size_t count) const;

  uint64_t size() const { return size_; }
  // Where the last file ends: only padding follows.
  uint64_t contentEnd() const {
    return extents_.empty() ? system_.size() : extents_.back().offset + extents_.back().size;
  }
  const std::vector<FstFile>& files() const { return files_; }

 private:
  enum class Content : uint8_t { Compressible, Random };
  struct Extent {
    uint64_t offset;
    uint64_t size;
    Content content;
    uint64_t seed;
  };

  static void FillContent(const Extent& extent, uint64_t within, uint8_t* out, size_t count);

  std::string gameId_;
  uint64_t size_;
  std::vector<uint8_t> system_;  // the disc from offset 0 to the end of the FST
  std::vector<Extent> extents_;  // the files, by offset
  std::vector<FstFile> files_;
};

}  // namespace zemlo::disc
