#include <zstd.h>

#include <algorithm>
#include <cstring>

#include "disc/big_endian.h"
#include "disc/junk.h"
#include "disc/plain_file.h"
#include "disc/rvz.h"
#include "disc/rvz_layout.h"
#include "protocol/message_digest.h"

namespace zemlo::disc {
namespace {

bool Sha1Matches(const uint8_t* data, size_t size, const uint8_t* expected) {
  MessageDigest digest(MessageDigest::Kind::kSha1);
  digest.Update(data, size);
  const std::vector<uint8_t> sum = digest.Finish();
  return sum.size() == 20 && std::equal(sum.begin(), sum.end(), expected);
}

std::vector<uint8_t> Decompress(const uint8_t* data, size_t size, size_t expected) {
  std::vector<uint8_t> out(expected);
  const size_t got = ZSTD_decompress(out.data(), out.size(), data, size);
  if (ZSTD_isError(got) || got != expected) return {};
  return out;
}

constexpr uint64_t kLargestDisc = uint64_t{16} << 30;
constexpr uint32_t kMostRawEntries = 0x10000;

struct Group {
  uint64_t discOffset;  // of its first byte
  uint32_t size;        // disc bytes it holds
  uint32_t fileOffset;  // / 4
  uint32_t storedSize;  // with the compressed flag
  uint32_t packedSize;
};

class RvzReader final : public ImageReader {
 public:
  bool Open(const std::string& path, std::string& error) {
    uint8_t header[rvz::kHeadSize + rvz::kDiscSize];
    if (!file_.Open(path, "rb") || !file_.Read(header, sizeof header)) {
      error = "cannot read the RVZ header";
      return false;
    }
    const uint8_t* disc = header + rvz::kHeadSize;
    if (!Sha1Matches(header, rvz::kHeadHashedSize, header + rvz::HeadField::kHeadHash) ||
        ReadBE32(header + rvz::HeadField::kDiscSize) != rvz::kDiscSize ||
        !Sha1Matches(disc, rvz::kDiscSize, header + rvz::HeadField::kDiscHash)) {
      error = "the RVZ header's SHA-1 is wrong";
      return false;
    }
    if (ReadBE32(disc + rvz::DiscField::kCompression) != rvz::kCompressionZstd ||
        ReadBE32(disc + rvz::DiscField::kPartCount) != 0) {
      error = "only zstd-compressed RVZ images without Wii partitions can be read";
      return false;
    }
    size_ = ReadBE64(header + rvz::HeadField::kIsoSize);
    chunk_ = ReadBE32(disc + rvz::DiscField::kChunkSize);
    if (!ValidRvzChunkSize(chunk_) ||
        file_.Size() != ReadBE64(header + rvz::HeadField::kFileSize)) {
      error = "the RVZ file is cut short or damaged";
      return false;
    }
    const uint32_t rawCount = ReadBE32(disc + rvz::DiscField::kRawCount);
    const uint32_t groupCount = ReadBE32(disc + rvz::DiscField::kGroupCount);
    // The counts and sizes come from the file: bounded by what the disc can need before anything
    // is allocated for them.
    if (size_ > kLargestDisc || rawCount > kMostRawEntries ||
        groupCount > size_ / chunk_ + 1 + rawCount) {
      error = "the RVZ tables are larger than any disc needs";
      return false;
    }
    const std::vector<uint8_t> raw =
        Table(ReadBE64(disc + rvz::DiscField::kRawOffset),
              ReadBE32(disc + rvz::DiscField::kRawSize), size_t{rawCount} * rvz::kRawEntrySize);
    const std::vector<uint8_t> groups = Table(ReadBE64(disc + rvz::DiscField::kGroupOffset),
                                              ReadBE32(disc + rvz::DiscField::kGroupSize),
                                              size_t{groupCount} * rvz::kGroupEntrySize);
    if ((rawCount != 0 && raw.empty()) || (groupCount != 0 && groups.empty())) {
      error = "the RVZ tables cannot be read";
      return false;
    }
    for (uint32_t i = 0; i < rawCount; ++i) {
      const uint8_t* entry = &raw[size_t{i} * rvz::kRawEntrySize];
      const uint64_t end = ReadBE64(entry) + ReadBE64(entry + 8);
      // An entry starts at a 32 KiB boundary whatever its offset says (the first one says 0x80).
      uint64_t at = ReadBE64(entry) / 0x8000 * 0x8000;
      const uint32_t first = ReadBE32(entry + 16), count = ReadBE32(entry + 20);
      if (uint64_t{first} + count > groupCount) {
        error = "the RVZ group table is too short";
        return false;
      }
      for (uint32_t g = first; g < first + count && at < end; ++g, at += chunk_) {
        const uint8_t* item = &groups[size_t{g} * rvz::kGroupEntrySize];
        groups_.push_back({at, static_cast<uint32_t>(std::min<uint64_t>(chunk_, end - at)),
                           ReadBE32(item), ReadBE32(item + 4), ReadBE32(item + 8)});
      }
    }
    std::sort(groups_.begin(), groups_.end(),
              [](const Group& a, const Group& b) { return a.discOffset < b.discOffset; });
    return true;
  }

  uint64_t size() const override { return size_; }
  ImageFormat format() const override { return ImageFormat::Rvz; }

  bool Read(uint64_t offset, uint8_t* out, size_t count) override {
    while (count > 0) {
      auto next = std::upper_bound(groups_.begin(), groups_.end(), offset,
                                   [](uint64_t at, const Group& g) { return at < g.discOffset; });
      if (next == groups_.begin()) return false;
      const Group& group = *std::prev(next);
      if (offset >= group.discOffset + group.size) return false;
      const size_t index = static_cast<size_t>(std::prev(next) - groups_.begin());
      if (index != cachedGroup_ && !Load(group, index)) return false;
      const size_t within = static_cast<size_t>(offset - group.discOffset);
      const size_t part = std::min(count, cache_.size() - within);
      std::memcpy(out, &cache_[within], part);
      out += part;
      offset += part;
      count -= part;
    }
    return true;
  }

 private:
  std::vector<uint8_t> Table(uint64_t at, uint32_t storedSize, size_t size) {
    std::vector<uint8_t> stored(storedSize);
    if (!file_.Seek(at) || !file_.Read(stored.data(), stored.size())) return {};
    return Decompress(stored.data(), stored.size(), size);
  }

  bool Load(const Group& group, size_t index) {
    cachedGroup_ = SIZE_MAX;
    const uint32_t storedSize = group.storedSize & ~rvz::kCompressedFlag;
    // Packing adds a word per run and 68 bytes per padding run, a little over the group at most.
    const size_t largest = size_t{chunk_} * 2 + 0x1000;
    if (storedSize > largest || group.packedSize > largest) return false;
    if (storedSize == 0) {
      cache_.assign(group.size, 0);
      cachedGroup_ = index;
      return true;
    }
    std::vector<uint8_t> stored(storedSize);
    if (!file_.Seek(uint64_t{group.fileOffset} * 4) || !file_.Read(stored.data(), stored.size())) {
      return false;
    }
    const size_t plainSize = group.packedSize != 0 ? group.packedSize : group.size;
    std::vector<uint8_t> plain = (group.storedSize & rvz::kCompressedFlag)
                                     ? Decompress(stored.data(), stored.size(), plainSize)
                                     : std::move(stored);
    if (plain.size() != plainSize) return false;
    if (group.packedSize == 0) {
      cache_ = std::move(plain);
    } else if (!Unpack(plain, group.discOffset, group.size)) {
      return false;
    }
    cachedGroup_ = index;
    return true;
  }

  bool Unpack(const std::vector<uint8_t>& packed, uint64_t discOffset, uint32_t size) {
    cache_.clear();
    size_t at = 0;
    while (at + 4 <= packed.size()) {
      const uint32_t word = ReadBE32(&packed[at]);
      const uint32_t length = word & ~rvz::kJunkFlag;
      at += 4;
      if (cache_.size() + length > size) return false;
      if (word & rvz::kJunkFlag) {
        if (at + 4 * kJunkSeedWords > packed.size()) return false;
        JunkSeed seed;
        for (size_t i = 0; i < kJunkSeedWords; ++i) seed[i] = ReadBE32(&packed[at + 4 * i]);
        at += 4 * kJunkSeedWords;
        const size_t from = cache_.size();
        cache_.resize(from + length);
        JunkGenerator generator;
        generator.Start(seed, static_cast<uint32_t>((discOffset + from) % kJunkBlockSize));
        generator.Fill(&cache_[from], length);
      } else {
        if (at + length > packed.size()) return false;
        cache_.insert(cache_.end(), packed.begin() + static_cast<long>(at),
                      packed.begin() + static_cast<long>(at + length));
        at += length;
      }
    }
    return at == packed.size() && cache_.size() == size;
  }

  PlainFile file_;
  uint64_t size_ = 0;
  uint32_t chunk_ = 0;
  std::vector<Group> groups_;
  std::vector<uint8_t> cache_;
  size_t cachedGroup_ = SIZE_MAX;
};

}  // namespace

std::unique_ptr<ImageReader> OpenRvz(const std::string& path, std::string& error) {
  auto reader = std::make_unique<RvzReader>();
  if (!reader->Open(path, error)) return nullptr;
  return reader;
}

}  // namespace zemlo::disc
