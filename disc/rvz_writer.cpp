#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>

#include "disc/big_endian.h"
#include "disc/disc_header.h"
#include "disc/junk.h"
#include "disc/plain_file.h"
#include "disc/rvz.h"
#include "disc/rvz_compressor.h"
#include "disc/rvz_layout.h"
#include "disc/rvz_wii.h"
#include "disc/wii_cluster.h"
#include "disc/wii_hash_tree.h"
#include "disc/wii_keys.h"

namespace zemlo::disc {
namespace {

struct ContextFree {
  void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
using CompressContext = std::unique_ptr<ZSTD_CCtx, ContextFree>;

class PaddingHints {
 public:
  explicit PaddingHints(unsigned shift = 0) : shift_(shift) {}

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
      const uint64_t fstEnd =
          Offset(BootHeaderField::kFstOffset) + Offset(BootHeaderField::kFstSize);
      systemEnd_ = std::clamp<uint64_t>(fstEnd, kBootHeaderSize, kSystemLimit);
    }
    if (!learnt_ && systemEnd_ != 0 && system_.size() >= systemEnd_) {
      LearnEnds();
      learnt_ = true;
    }
  }

  const std::vector<uint8_t>& system() const { return system_; }

  // The ends that fall within [start, end).
  std::vector<uint64_t> Ends(uint64_t start, uint64_t end) const {
    std::vector<uint64_t> within;
    for (auto it = ends_.upper_bound(start); it != ends_.end() && *it < end; ++it) {
      within.push_back(*it);
    }
    return within;
  }

 private:
  uint32_t Field(uint64_t at) const {
    return at + 4 <= system_.size() ? ReadBE32(&system_[at]) : 0u;
  }
  uint64_t Offset(uint64_t at) const { return uint64_t{Field(at)} << shift_; }

  void LearnEnds() {
    ends_.insert(kBootHeaderSize);
    ends_.insert(kBi2Offset + kBi2Size);
    ends_.insert(kApploaderOffset + 0x20 + uint64_t{Field(kApploaderOffset + 0x14)} +
                 Field(kApploaderOffset + 0x18));
    const uint64_t dol = Offset(BootHeaderField::kDolOffset);
    for (uint32_t section = 0; section < 18; ++section) {
      const uint32_t size = Field(dol + 0x90 + section * 4);
      if (size != 0) ends_.insert(dol + Field(dol + section * 4) + size);
    }
    const uint64_t fst = Offset(BootHeaderField::kFstOffset);
    ends_.insert(systemEnd_);
    if (fst < system_.size()) {
      for (const FstFile& file : ParseFst({&system_[fst], system_.size() - fst}, shift_)) {
        ends_.insert(file.offset + file.size);
      }
    }
  }

  unsigned shift_;
  std::vector<uint8_t> system_;
  uint64_t systemEnd_ = 0;
  std::set<uint64_t> ends_;
  bool learnt_ = false;
};

// A run of the disc the tables list: plain disc bytes, or a Wii partition's clusters.
struct Span {
  uint64_t start = 0;
  uint64_t end = 0;
  uint32_t firstGroup = 0;
  uint32_t groups = 0;
  const rvz::PartitionPlan* partition = nullptr;
};

// The disc is taken in order and cut into groups as they fill. A pool of the writer's own packs
// and compresses them on every core and appends them in order (see RvzCompressor), so that the
// dump's reading goes on meanwhile; memory holds a few groups whatever the disc's size. A Wii
// disc's partitions are taken a Wii group (64 clusters) at a time, decrypted, and stored as RVZ
// keeps them.
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
      if (refused_) return false;
      const size_t part = static_cast<size_t>(std::min<uint64_t>(count, Room()));
      if (!wii_) hints_.Capture(received_, data, part);
      const std::vector<uint8_t>& system = hints_.system();
      if (!wii_ && system.size() >= kBootHeaderSize &&
          ReadBE32(&system[BootHeaderField::kWiiMagic]) == kWiiMagic) {
        // Wii partitions are stored decrypted: without the common key the disc is refused rather
        // than written as a GameCube image.
        if (!settings_.commonKey) {
          refused_ = true;
          return false;
        }
        wii_.emplace(*settings_.commonKey);
        wii_->Feed(0, system.data(), system.size());
      } else if (wii_) {
        wii_->Feed(received_, data, part);
      }
      if (!Take(data, part)) return false;
      data += part;
      count -= part;
    }
    return true;
  }

  bool Finish() override {
    if (span_.partition) {
      // The disc ends within a partition: its whole clusters stay one, the rest is plain bytes.
      if (!wiiGroup_.empty() && !SplitGroup()) return false;
      std::vector<uint8_t> rest;
      rest.swap(partial_);
      const uint64_t end = received_ - rest.size();
      if (!EndSpan(end)) return false;
      group_ = std::move(rest);
    }
    if (!group_.empty() && !Submit()) return false;
    if (!EndSpan(received_)) return false;
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
  bool Refused() const override { return refused_; }

 private:
  static constexpr size_t kQueueBytes = 32 << 20;

  // How many bytes may be taken before the group fills, the span ends or more of a Wii disc must
  // be known.
  uint64_t Room() const {
    if (!wii_ && hints_.system().size() < kBootHeaderSize) return kBootHeaderSize - received_;
    uint64_t limit = received_ + (span_.partition ? kGroupSize - wiiGroup_.size()
                                                  : settings_.chunkSize - group_.size());
    if (wii_) limit = std::min({limit, wii_->KnownUpTo(), SpanEnd()});
    return limit - received_;
  }

  uint64_t SpanEnd() const {
    if (span_.partition) return span_.partition->dataEnd;
    const rvz::PartitionPlan* next = wii_ ? wii_->NextPartition(span_.start) : nullptr;
    return next ? next->dataStart : UINT64_MAX;
  }

  bool Take(const uint8_t* data, size_t part) {
    std::vector<uint8_t>& into = span_.partition ? wiiGroup_ : group_;
    into.insert(into.end(), data, data + part);
    received_ += part;
    if (span_.partition) {
      if ((wiiGroup_.size() == kGroupSize || received_ == SpanEnd()) && !SplitGroup()) {
        return false;
      }
    } else if (group_.size() == settings_.chunkSize || received_ == SpanEnd()) {
      if (!Submit()) return false;
    }
    if (received_ != SpanEnd()) return true;
    const rvz::PartitionPlan* next = span_.partition ? nullptr : wii_->NextPartition(span_.start);
    if (!EndSpan(received_)) return false;
    span_.partition = next;
    return true;
  }

  // Closes the span at `end` (after its last group) and opens the next there.
  bool EndSpan(uint64_t end) {
    if (span_.partition && !pending_.bytes.empty() && !Enqueue(std::move(pending_), true)) {
      return false;
    }
    pending_ = {};
    span_.end = end;
    span_.groups = submitted_ - span_.firstGroup;
    if (span_.end > span_.start) spans_.push_back(span_);
    span_ = {.start = end, .end = end, .firstGroup = submitted_};
    return true;
  }

  // A Wii group of clusters, decrypted into the groups RVZ stores: a group of the chunk size holds
  // part of a Wii group, or several whole ones.
  bool SplitGroup() {
    const rvz::PartitionPlan& partition = *span_.partition;
    const uint32_t clusters = static_cast<uint32_t>(wiiGroup_.size() / kClusterSize);
    partial_.assign(wiiGroup_.begin() + static_cast<long>(size_t{clusters} * kClusterSize),
                    wiiGroup_.end());
    const uint64_t first = (received_ - partial_.size() - partition.dataStart) / kClusterSize -
                           clusters;  // the group's first cluster within the partition
    const uint32_t perChunk = settings_.chunkSize / kClusterSize;
    const uint32_t perList = std::min(perChunk, kClustersPerGroup);
    std::vector<uint8_t> data;
    std::vector<std::vector<uint8_t>> lists;
    if (!rvz::SplitWiiGroup(partition.titleKey, wiiGroup_.data(), clusters, perList, data, lists)) {
      return false;
    }
    if (first == 0 && clusters > 0 && !ClusterVouchesForItself(wiiGroup_.data())) {
      refused_ = true;  // the title key, so the common key, is not this disc's
      return false;
    }
    wiiGroup_.clear();
    if (first == 0) partitionHints_ = PaddingHints(2);
    partitionHints_.Capture(first * kClusterDataSize, data.data(), data.size());
    for (uint32_t c = 0, list = 0; c < clusters; c += perList, ++list) {
      const size_t from = size_t{c} * kClusterDataSize;
      const size_t size = std::min<size_t>(size_t{perList} * kClusterDataSize, data.size() - from);
      if (pending_.bytes.empty()) {
        // Buffers of a written group, so that the pool's spares do not pile up.
        pending_ = packer_->Recycled();
        pending_.bytes.clear();
        pending_.exceptions.clear();
        pending_.start = (first + c) * kClusterDataSize;
      }
      pending_.bytes.insert(pending_.bytes.end(), data.begin() + static_cast<long>(from),
                            data.begin() + static_cast<long>(from + size));
      pending_.exceptions.insert(pending_.exceptions.end(), lists[list].begin(), lists[list].end());
      const bool full = pending_.bytes.size() == size_t{perChunk} * kClusterDataSize;
      if (full && !Enqueue(std::move(pending_), true)) return false;
      if (full) pending_ = {};
    }
    return true;
  }

  // Hands the filled group to the packer, waiting while it is behind; false once it failed.
  bool Submit() {
    RvzGroup group = packer_->Recycled();
    group.start = received_ - group_.size();
    group.ends = wii_ ? std::vector<uint64_t>{} : hints_.Ends(group.start, received_);
    group.exceptions.clear();
    group.bytes.swap(group_);
    group_.clear();
    group_.reserve(settings_.chunkSize);
    return Enqueue(std::move(group), false);
  }

  bool Enqueue(RvzGroup job, bool partition) {
    if (partition) {
      // A group of fewer Wii groups than the chunk holds still carries a list for each.
      const uint32_t lists = std::max<uint32_t>(1, settings_.chunkSize / kGroupSize);
      size_t used = 0;
      uint32_t have = 0;
      while (used + 2 <= job.exceptions.size()) {
        used += 2 + size_t{ReadBE16(&job.exceptions[used])} * rvz::kExceptionSize;
        ++have;
      }
      job.exceptions.resize(job.exceptions.size() + 2 * (lists - std::min(lists, have)));
      job.ends = partitionHints_.Ends(job.start, job.start + job.bytes.size());
    }
    ++submitted_;
    return packer_->Submit(std::move(job));
  }

  // Lets the packer finish its groups (or drop them), then ends it; false when a group failed.
  bool StopPacker(bool abandon) {
    if (!packer_) return false;  // stopped before
    const bool ok = packer_->Stop(abandon);
    packer_.reset();
    return ok;
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
    const auto zero = [](const std::vector<uint8_t>& bytes) {
      return std::all_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte == 0; });
    };
    group.stored.clear();
    group.sizeWord = 0;  // all zeros, and no hash exceptions (their lists all counts of 0)
    group.packedSize = 0;
    if (zero(group.bytes) && zero(group.exceptions)) return true;
    const std::vector<uint8_t> packed = Pack(group);
    const std::vector<uint8_t>& data = packed.empty() ? group.bytes : packed;
    // A Wii partition's exception lists go before the data: compressed along with it, or stored
    // as they are and padded to 4 bytes.
    std::vector<uint8_t> plain = group.exceptions;
    const size_t listsStored = (group.exceptions.size() + 3) / 4 * 4;
    plain.insert(plain.end(), data.begin(), data.end());
    group.stored.resize(ZSTD_compressBound(plain.size()));
    const size_t size =
        ZSTD_compressCCtx(contexts_[worker].get(), group.stored.data(), group.stored.size(),
                          plain.data(), plain.size(), settings_.level);
    const bool compress = !ZSTD_isError(size) && size < listsStored + data.size();
    if (compress) {
      group.stored.resize(size);
    } else {
      plain.insert(plain.begin() + static_cast<long>(group.exceptions.size()),
                   listsStored - group.exceptions.size(), 0);
      group.stored = std::move(plain);
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
    std::vector<uint8_t> raw;
    std::vector<uint8_t> partitions;
    for (const Span& span : spans_) {
      if (span.partition) {
        const size_t at = partitions.size();
        partitions.resize(at + rvz::kPartEntrySize);
        uint8_t* entry = &partitions[at];
        std::copy(span.partition->titleKey.begin(), span.partition->titleKey.end(),
                  entry + rvz::kPartitionKey);
        const uint32_t firstCluster = static_cast<uint32_t>(span.start / kClusterSize);
        const uint32_t clusters = static_cast<uint32_t>((span.end - span.start) / kClusterSize);
        uint8_t* run = entry + rvz::kPartitionRuns;
        WriteBE32(run, firstCluster);
        WriteBE32(run + 4, clusters);
        WriteBE32(run + 8, span.firstGroup);
        WriteBE32(run + 12, span.groups);
        // The second run, which other writers start after the file system, is left empty.
        run += rvz::kPartitionRunSize;
        WriteBE32(run, firstCluster + clusters);
        WriteBE32(run + 8, span.firstGroup + span.groups);
        continue;
      }
      // The disc's first bytes are in the disc struct: the first entry starts after them.
      const uint64_t start = std::max<uint64_t>(span.start, rvz::kDiscHeadSize);
      if (span.end <= start) continue;
      const size_t at = raw.size();
      raw.resize(at + rvz::kRawEntrySize);
      WriteBE64(&raw[at], start);
      WriteBE64(&raw[at + 8], span.end - start);
      WriteBE32(&raw[at + 16], span.firstGroup);
      WriteBE32(&raw[at + 20], span.groups);
    }
    const uint32_t rawCount = static_cast<uint32_t>(raw.size() / rvz::kRawEntrySize);
    const uint32_t groupCount = static_cast<uint32_t>(groups_.size() / rvz::kGroupEntrySize);
    const std::vector<uint8_t> rawPacked = Compress(raw);
    const std::vector<uint8_t> groupsPacked = Compress(groups_);
    if (rawPacked.empty() || groupsPacked.empty()) return false;
    const uint64_t rawAt = dataEnd_;
    if (!Append(rawPacked.data(), rawPacked.size())) return false;
    const uint64_t groupsAt = dataEnd_;
    if (!Append(groupsPacked.data(), groupsPacked.size())) return false;
    // The partition entries are stored as they are.
    const uint64_t partitionsAt = dataEnd_;
    if (!Append(partitions.data(), partitions.size())) return false;

    std::vector<uint8_t> header(rvz::kHeadSize + rvz::kDiscSize);
    uint8_t* disc = &header[rvz::kHeadSize];
    WriteBE32(disc + rvz::DiscField::kDiscType, wii_ ? rvz::kDiscTypeWii : rvz::kDiscTypeGameCube);
    WriteBE32(disc + rvz::DiscField::kCompression, rvz::kCompressionZstd);
    WriteBE32(disc + rvz::DiscField::kLevel, static_cast<uint32_t>(settings_.level));
    WriteBE32(disc + rvz::DiscField::kChunkSize, settings_.chunkSize);
    std::memcpy(disc + rvz::DiscField::kDiscHead, hints_.system().data(),
                std::min<size_t>(hints_.system().size(), rvz::kDiscHeadSize));
    WriteBE32(disc + rvz::DiscField::kPartEntrySize, rvz::kPartEntrySize);
    WriteBE32(disc + rvz::DiscField::kPartCount,
              static_cast<uint32_t>(partitions.size() / rvz::kPartEntrySize));
    WriteBE64(disc + rvz::DiscField::kPartOffset, partitionsAt);
    const Sha1Digest partitionsHash = Sha1(partitions.data(), partitions.size());
    std::copy(partitionsHash.begin(), partitionsHash.end(), disc + rvz::DiscField::kPartHash);
    WriteBE32(disc + rvz::DiscField::kRawCount, rawCount);
    WriteBE64(disc + rvz::DiscField::kRawOffset, rawAt);
    WriteBE32(disc + rvz::DiscField::kRawSize, static_cast<uint32_t>(rawPacked.size()));
    WriteBE32(disc + rvz::DiscField::kGroupCount, groupCount);
    WriteBE64(disc + rvz::DiscField::kGroupOffset, groupsAt);
    WriteBE32(disc + rvz::DiscField::kGroupSize, static_cast<uint32_t>(groupsPacked.size()));

    std::memcpy(header.data(), rvz::kMagic, 4);
    WriteBE32(&header[4], rvz::kVersion);
    WriteBE32(&header[8], rvz::kVersionCompatible);
    WriteBE32(&header[rvz::HeadField::kDiscSize], rvz::kDiscSize);
    const Sha1Digest discHash = Sha1(disc, rvz::kDiscSize);
    std::copy(discHash.begin(), discHash.end(), &header[rvz::HeadField::kDiscHash]);
    WriteBE64(&header[rvz::HeadField::kIsoSize], received_);
    WriteBE64(&header[rvz::HeadField::kFileSize], dataEnd_);
    const Sha1Digest headHash = Sha1(header.data(), rvz::kHeadHashedSize);
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
  PaddingHints hints_;
  bool refused_ = false;
  // A Wii disc's: what is known of its layout, the spans cut so far and the one being filled, the
  // Wii group being gathered (a stored group is made of a part of it, or of several), the
  // partition's own padding hints.
  std::optional<rvz::WiiDiscMap> wii_;
  std::vector<Span> spans_;
  Span span_;
  uint32_t submitted_ = 0;
  std::vector<uint8_t> wiiGroup_;
  std::vector<uint8_t> partial_;  // a cluster cut short by the disc's end
  RvzGroup pending_;
  PaddingHints partitionHints_{2};

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
