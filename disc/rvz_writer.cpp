#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "disc/big_endian.h"
#include "disc/disc_header.h"
#include "disc/junk.h"
#include "disc/plain_file.h"
#include "disc/rvz.h"
#include "disc/rvz_compressor.h"
#include "disc/rvz_layout.h"
#include "protocol/message_digest.h"

namespace zemlo::disc {
namespace {

std::vector<uint8_t> Sha1(const uint8_t* data, size_t size) {
  MessageDigest digest(MessageDigest::Kind::kSha1);
  digest.Update(data, size);
  return digest.Finish();
}

struct ContextFree {
  void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
using CompressContext = std::unique_ptr<ZSTD_CCtx, ContextFree>;

// The disc is taken in order and cut into groups as they fill. A pool of the writer's own packs
// and compresses them on every core and appends them in order (see RvzCompressor), so that the
// dump's reading goes on meanwhile; memory holds a few groups whatever the disc's size. Where
// padding may start is learnt from the disc itself: block starts, and the ends of the system
// files and of every file the FST lists (the FST lies before the files it lists).
class RvzWriter final : public ImageWriter {
 public:
  RvzWriter(std::string path, const RvzSettings& settings)
      : path_(std::move(path)), settings_(settings) {}
  ~RvzWriter() override { StopPacker(true); }

  bool Open() {
    const size_t workers = RvzWorkerCount();
    for (size_t i = 0; i < workers; ++i) {
      contexts_.emplace_back(ZSTD_createCCtx());
      if (!contexts_.back()) return false;
    }
    group_.reserve(settings_.chunkSize);
    // Head, disc struct and the (empty) partition table, filled in at the end.
    dataEnd_ = rvz::kHeadSize + rvz::kDiscSize;
    if (!file_.Open(path_, "wb") || !file_.Write(std::vector<uint8_t>(dataEnd_).data(), dataEnd_)) {
      return false;
    }
    // A group waits with its compressed copy beside it: two chunks each.
    const size_t limit = std::max(2 * workers, kQueueBytes / (2 * settings_.chunkSize));
    packer_ = std::make_unique<RvzCompressor>(
        workers, limit,
        [this](RvzGroup& group, size_t worker) { return EncodeGroup(group, worker); },
        [this](const RvzGroup& group) { return EmitGroup(group); });
    return true;
  }

  bool Write(const uint8_t* data, size_t count) override {
    while (count > 0) {
      const size_t part = std::min(count, settings_.chunkSize - group_.size());
      Capture(received_, data, part);
      // Wii partitions are stored decrypted, which needs keys this writer does not take: a Wii
      // disc is refused rather than written as a GameCube image.
      if (system_.size() >= kBootHeaderSize &&
          ReadBE32(&system_[BootHeaderField::kWiiMagic]) == kWiiMagic) {
        return false;
      }
      group_.insert(group_.end(), data, data + part);
      received_ += part;
      data += part;
      count -= part;
      if (group_.size() == settings_.chunkSize && !Submit()) return false;
    }
    return true;
  }

  bool Finish() override {
    if (!group_.empty() && !Submit()) return false;
    if (!StopPacker(false)) return false;
    return WriteTables() && file_.Close();
  }

  void Abandon() override {
    StopPacker(true);
    file_.Close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

  std::vector<std::string> Files() const override { return {path_}; }

 private:
  static constexpr size_t kQueueBytes = 32 << 20;

  // Hands the filled group to the packer, waiting while it is behind; false once it failed.
  bool Submit() {
    RvzGroup group = packer_->Recycled();
    group.start = received_ - group_.size();
    const uint64_t end = received_;
    group.ends.clear();
    for (auto it = ends_.upper_bound(group.start); it != ends_.end() && *it < end; ++it) {
      group.ends.push_back(*it);
    }
    group.bytes.swap(group_);
    group_.clear();
    group_.reserve(settings_.chunkSize);
    return packer_->Submit(std::move(group));
  }

  // Lets the packer finish its groups (or drop them), then ends it; false when a group failed.
  bool StopPacker(bool abandon) {
    if (!packer_) return false;  // stopped before
    const bool ok = packer_->Stop(abandon);
    packer_.reset();
    return ok;
  }

  // Keeps the system area (boot header to the end of the FST) for finding the files.
  void Capture(uint64_t at, const uint8_t* data, size_t count) {
    constexpr uint64_t kSystemLimit = 64 << 20;
    for (;;) {
      const uint64_t wanted = systemEnd_ != 0 ? systemEnd_ : kBootHeaderSize;
      const uint64_t from = system_.size();
      if (from >= wanted || from < at || from >= at + count) break;
      const uint64_t upto = std::min(at + count, wanted);
      system_.insert(system_.end(), data + (from - at), data + (upto - at));
      if (systemEnd_ != 0 || system_.size() < kBootHeaderSize) break;
      const uint64_t fstEnd = uint64_t{ReadBE32(&system_[BootHeaderField::kFstOffset])} +
                              ReadBE32(&system_[BootHeaderField::kFstSize]);
      systemEnd_ = std::clamp<uint64_t>(fstEnd, kBootHeaderSize, kSystemLimit);
    }
    if (!learnt_ && systemEnd_ != 0 && system_.size() >= systemEnd_) {
      LearnEnds();
      learnt_ = true;
    }
  }

  void LearnEnds() {
    const auto field = [&](uint64_t at) {
      return at + 4 <= system_.size() ? ReadBE32(&system_[at]) : 0u;
    };
    ends_.insert(kBootHeaderSize);
    ends_.insert(kBi2Offset + kBi2Size);
    ends_.insert(kApploaderOffset + 0x20 + uint64_t{field(kApploaderOffset + 0x14)} +
                 field(kApploaderOffset + 0x18));
    const uint64_t dol = field(BootHeaderField::kDolOffset);
    for (uint32_t section = 0; section < 18; ++section) {
      const uint32_t size = field(dol + 0x90 + section * 4);
      if (size != 0) ends_.insert(dol + field(dol + section * 4) + size);
    }
    const uint64_t fst = field(BootHeaderField::kFstOffset);
    ends_.insert(systemEnd_);
    if (fst < system_.size()) {
      for (const FstFile& file : ParseFst({&system_[fst], system_.size() - fst})) {
        ends_.insert(file.offset + file.size);
      }
    }
  }

  static void AppendRaw(std::vector<uint8_t>& packed, const uint8_t* data, size_t size) {
    if (size == 0) return;
    const size_t at = packed.size();
    packed.resize(at + 4 + size);
    WriteBE32(&packed[at], static_cast<uint32_t>(size));
    std::memcpy(&packed[at + 4], data, size);
  }

  // The group as RVZ packing: runs of stored bytes and runs of padding kept as their seed.
  // Empty when no padding was found (the group is then stored as it is).
  static std::vector<uint8_t> Pack(const RvzGroup& job) {
    const std::vector<uint8_t>& bytes = job.bytes;
    const uint64_t start = job.start;
    std::vector<uint8_t> packed;
    const uint64_t end = start + bytes.size();
    uint64_t stored = start;  // bytes before this are in `packed`
    bool found = false;
    for (uint64_t block = start / kJunkBlockSize * kJunkBlockSize; block < end;
         block += kJunkBlockSize) {
      const uint64_t blockEnd = std::min(block + kJunkBlockSize, end);
      std::vector<uint64_t> candidates{std::max(block, start)};
      for (uint64_t fileEnd : job.ends) {
        if (fileEnd > block && fileEnd < blockEnd) candidates.push_back((fileEnd + 3) / 4 * 4);
      }
      for (uint64_t at : candidates) {
        if (at < stored || at >= blockEnd) continue;
        JunkSeed seed;
        const size_t length = FindJunkSeed(&bytes[at - start], blockEnd - at,
                                           static_cast<uint32_t>(at % kJunkBlockSize), seed);
        if (length == 0) continue;
        AppendRaw(packed, &bytes[stored - start], at - stored);
        const size_t entry = packed.size();
        packed.resize(entry + 4 + 4 * kJunkSeedWords);
        WriteBE32(&packed[entry], static_cast<uint32_t>(length) | rvz::kJunkFlag);
        for (size_t i = 0; i < kJunkSeedWords; ++i) WriteBE32(&packed[entry + 4 + 4 * i], seed[i]);
        stored = at + length;
        found = true;
      }
    }
    if (!found) return {};
    AppendRaw(packed, &bytes[stored - start], end - stored);
    return packed;
  }

  // On one of the packer's threads: what the group is stored as.
  bool EncodeGroup(RvzGroup& group, size_t worker) {
    group.stored.clear();
    group.sizeWord = 0;  // all zeros: nothing stored
    group.packedSize = 0;
    if (std::all_of(group.bytes.begin(), group.bytes.end(),
                    [](uint8_t byte) { return byte == 0; })) {
      return true;
    }
    const std::vector<uint8_t> packed = Pack(group);
    const std::vector<uint8_t>& plain = packed.empty() ? group.bytes : packed;
    group.stored.resize(ZSTD_compressBound(plain.size()));
    const size_t size =
        ZSTD_compressCCtx(contexts_[worker].get(), group.stored.data(), group.stored.size(),
                          plain.data(), plain.size(), settings_.level);
    const bool compress = !ZSTD_isError(size) && size < plain.size();
    if (compress) {
      group.stored.resize(size);
    } else {
      group.stored.assign(plain.begin(), plain.end());
    }
    group.sizeWord =
        static_cast<uint32_t>(group.stored.size()) | (compress ? rvz::kCompressedFlag : 0);
    group.packedSize = static_cast<uint32_t>(packed.size());
    return true;
  }

  // In disc order, one group at a time.
  bool EmitGroup(const RvzGroup& group) {
    uint8_t entry[rvz::kGroupEntrySize] = {};
    WriteBE32(entry, static_cast<uint32_t>(dataEnd_ / 4));
    WriteBE32(entry + 4, group.sizeWord);
    WriteBE32(entry + 8, group.packedSize);
    groups_.insert(groups_.end(), entry, entry + sizeof entry);
    return Append(group.stored.data(), group.stored.size());
  }

  // Appends at the end of the data, keeping every start a multiple of 4.
  bool Append(const uint8_t* data, size_t size) {
    static constexpr uint8_t kPadding[3] = {};
    const size_t padding = (4 - size % 4) % 4;
    if (!file_.Write(data, size) || !file_.Write(kPadding, padding)) return false;
    dataEnd_ += size + padding;
    return true;
  }

  std::vector<uint8_t> Compress(const std::vector<uint8_t>& table) {
    std::vector<uint8_t> out(ZSTD_compressBound(table.size()));
    const size_t size = ZSTD_compressCCtx(contexts_[0].get(), out.data(), out.size(), table.data(),
                                          table.size(), settings_.level);
    if (ZSTD_isError(size)) return {};
    out.resize(size);
    return out;
  }

  bool WriteTables() {
    std::vector<uint8_t> raw(rvz::kRawEntrySize);
    WriteBE64(&raw[0], rvz::kDiscHeadSize);
    WriteBE64(&raw[8], received_ - rvz::kDiscHeadSize);
    WriteBE32(&raw[16], 0);
    const uint32_t groupCount = static_cast<uint32_t>(groups_.size() / rvz::kGroupEntrySize);
    WriteBE32(&raw[20], groupCount);
    const std::vector<uint8_t> rawPacked = Compress(raw);
    const std::vector<uint8_t> groupsPacked = Compress(groups_);
    if (rawPacked.empty() || groupsPacked.empty()) return false;
    const uint64_t rawAt = dataEnd_;
    if (!Append(rawPacked.data(), rawPacked.size())) return false;
    const uint64_t groupsAt = dataEnd_;
    if (!Append(groupsPacked.data(), groupsPacked.size())) return false;

    std::vector<uint8_t> header(rvz::kHeadSize + rvz::kDiscSize);
    uint8_t* disc = &header[rvz::kHeadSize];
    WriteBE32(disc + rvz::DiscField::kDiscType, rvz::kDiscTypeGameCube);
    WriteBE32(disc + rvz::DiscField::kCompression, rvz::kCompressionZstd);
    WriteBE32(disc + rvz::DiscField::kLevel, static_cast<uint32_t>(settings_.level));
    WriteBE32(disc + rvz::DiscField::kChunkSize, settings_.chunkSize);
    std::memcpy(disc + rvz::DiscField::kDiscHead, system_.data(),
                std::min<size_t>(system_.size(), rvz::kDiscHeadSize));
    WriteBE32(disc + rvz::DiscField::kPartEntrySize, rvz::kPartEntrySize);
    WriteBE64(disc + rvz::DiscField::kPartOffset, rvz::kHeadSize + rvz::kDiscSize);
    const std::vector<uint8_t> noPartitions = Sha1(nullptr, 0);
    std::copy(noPartitions.begin(), noPartitions.end(), disc + rvz::DiscField::kPartHash);
    WriteBE32(disc + rvz::DiscField::kRawCount, 1);
    WriteBE64(disc + rvz::DiscField::kRawOffset, rawAt);
    WriteBE32(disc + rvz::DiscField::kRawSize, static_cast<uint32_t>(rawPacked.size()));
    WriteBE32(disc + rvz::DiscField::kGroupCount, groupCount);
    WriteBE64(disc + rvz::DiscField::kGroupOffset, groupsAt);
    WriteBE32(disc + rvz::DiscField::kGroupSize, static_cast<uint32_t>(groupsPacked.size()));

    std::memcpy(header.data(), rvz::kMagic, 4);
    WriteBE32(&header[4], rvz::kVersion);
    WriteBE32(&header[8], rvz::kVersionCompatible);
    WriteBE32(&header[rvz::HeadField::kDiscSize], rvz::kDiscSize);
    const std::vector<uint8_t> discHash = Sha1(disc, rvz::kDiscSize);
    std::copy(discHash.begin(), discHash.end(), &header[rvz::HeadField::kDiscHash]);
    WriteBE64(&header[rvz::HeadField::kIsoSize], received_);
    WriteBE64(&header[rvz::HeadField::kFileSize], dataEnd_);
    const std::vector<uint8_t> headHash = Sha1(header.data(), rvz::kHeadHashedSize);
    std::copy(headHash.begin(), headHash.end(), &header[rvz::HeadField::kHeadHash]);
    return file_.Seek(0) && file_.Write(header.data(), header.size());
  }

  std::string path_;
  RvzSettings settings_;
  PlainFile file_;
  std::vector<CompressContext> contexts_;  // one for each of the packer's threads
  std::vector<uint8_t> group_;
  std::vector<uint8_t> groups_;  // the group table, as stored
  uint64_t received_ = 0;
  uint64_t dataEnd_ = 0;
  std::vector<uint8_t> system_;
  uint64_t systemEnd_ = 0;
  std::set<uint64_t> ends_;
  bool learnt_ = false;
  std::unique_ptr<RvzCompressor> packer_;  // last: its threads use the above
};

}  // namespace

bool RvzAvailable() {
  return true;
}

std::unique_ptr<ImageWriter> CreateRvzWriter(const std::string& path, const RvzSettings& settings) {
  if (!ValidRvzChunkSize(settings.chunkSize)) return nullptr;
  auto writer = std::make_unique<RvzWriter>(path, settings);
  if (!writer->Open()) return nullptr;
  return writer;
}

}  // namespace zemlo::disc
