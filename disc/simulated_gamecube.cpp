#include "disc/simulated_gamecube.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disc/junk.h"
#include "link/bytes.h"

namespace zemlo::disc {
namespace {

constexpr uint32_t kUnit = 4096;  // file contents are generated a unit at a time

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct FileRecipe {
  const char* path;
  uint32_t permille;  // of the space files take; 0: a fixed size
  uint32_t fixedSize;
  bool random;
  uint32_t alignment;
};

// In the order the FST lists them, which is the order they lie on the disc.
constexpr std::array kFiles{
    FileRecipe{"opening.bnr", 0, 0x1960, false, 32},
    FileRecipe{"audio/bgm_field.adp", 120, 0, true, 0x8000},
    FileRecipe{"audio/bgm_title.adp", 70, 0, true, 0x8000},
    FileRecipe{"audio/se/system.aw", 20, 0, true, 32},
    FileRecipe{"data/enemies.bin", 15, 0, false, 32},
    FileRecipe{"data/items.bin", 8, 0, false, 32},
    FileRecipe{"data/text_en.msg", 5, 0, false, 32},
    FileRecipe{"fonts/ascii.bfn", 3, 0, false, 32},
    FileRecipe{"maps/dungeon.arc", 60, 0, false, 0x8000},
    FileRecipe{"maps/field01.arc", 110, 0, false, 0x8000},
    FileRecipe{"maps/field02.arc", 90, 0, false, 0x8000},
    FileRecipe{"movies/ending.thp", 150, 0, true, 0x8000},
    FileRecipe{"movies/intro.thp", 250, 0, true, 0x8000},
};

uint64_t Mix(uint64_t value) {
  value ^= value >> 33;
  value *= 0xFF51AFD7ED558CCDull;
  value ^= value >> 33;
  value *= 0xC4CEB9FE1A85EC53ull;
  return value ^ (value >> 33);
}

struct Random64 {
  uint64_t state;
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
};

// Code-like words: a few dozen instruction patterns with small varying fields, as compressible
// as real code is.
void FillCode(uint64_t seed, uint8_t* out, size_t count) {
  static constexpr std::array<uint32_t, 8> kPatterns{0x38600000, 0x80010000, 0x90010000,
                                                     0x7C0802A6, 0x4E800020, 0x48000001,
                                                     0x3C608000, 0x60000000};
  Random64 random{Mix(seed) | 1};
  for (size_t at = 0; at + 4 <= count; at += 4) {
    const uint64_t r = random.Next();
    WriteBE32(out + at, kPatterns[r & 7] | static_cast<uint32_t>((r >> 8) & 0x3C));
  }
  std::memset(out + count / 4 * 4, 0, count % 4);
}

void PutText(std::vector<uint8_t>& bytes, size_t at, const std::string& text) {
  std::memcpy(&bytes[at], text.data(), text.size());
}

}  // namespace

SimulatedGameCubeDisc::SimulatedGameCubeDisc(std::string gameId, std::string title, uint64_t size,
                                             SimulatedLayout layout)
    : gameId_(std::move(gameId)), size_(size) {
  const unsigned shift = layout == SimulatedLayout::WiiPartition ? 2 : 0;
  // Apploader and DOL grow with the disc, up to what real ones measure.
  const uint32_t apploaderCode = 0x1C00;
  const uint32_t apploaderEnd = kApploaderOffset + 0x20 + apploaderCode;
  const uint32_t dolOffset = static_cast<uint32_t>(AlignUp(apploaderEnd, 0x100));
  const uint32_t text =
      static_cast<uint32_t>(std::clamp<uint64_t>(size / 512 / 32 * 32, 0x2000, 0x180000));
  const uint32_t data = text / 4;
  const uint32_t dolSize = 0x100 + text + data;
  const uint32_t fstOffset = static_cast<uint32_t>(AlignUp(dolOffset + dolSize, 0x100));

  // The FST's size does not depend on the offsets in it: build it once to learn where files go.
  for (const FileRecipe& recipe : kFiles) files_.push_back({recipe.path, 0, 0});
  const uint32_t fstSize = static_cast<uint32_t>(BuildFst(files_, shift).size());
  const uint64_t filesStart = AlignUp(fstOffset + fstSize, 0x8000);
  const uint64_t budget = size > filesStart ? (size - filesStart) / 100 * 55 : 0;
  uint64_t at = filesStart;
  for (size_t i = 0; i < kFiles.size(); ++i) {
    const FileRecipe& recipe = kFiles[i];
    const uint64_t fileSize =
        recipe.permille == 0 ? recipe.fixedSize : budget * recipe.permille / 1000 + i * 7;
    at = AlignUp(at, recipe.alignment);
    files_[i].offset = at;
    files_[i].size = static_cast<uint32_t>(fileSize);
    extents_.push_back({at, fileSize, recipe.random ? Content::Random : Content::Compressible,
                        Mix(i + 1) ^ Mix(size)});
    // Real discs leave a little padding after most files.
    at += fileSize + (i % 3) * 0x2000;
  }
  const std::vector<uint8_t> fst = BuildFst(files_, shift);

  // A Wii FST's size is counted in words too; its last one is padded.
  const uint32_t fstSizeField = static_cast<uint32_t>(AlignUp(fst.size(), 1u << shift) >> shift);
  system_.assign(fstOffset + (uint64_t{fstSizeField} << shift), 0);
  PutText(system_, BootHeaderField::kGameId, gameId_.substr(0, 6));
  if (shift == 0) {
    WriteBE32(&system_[BootHeaderField::kGameCubeMagic], kGameCubeMagic);
  } else {
    WriteBE32(&system_[BootHeaderField::kWiiMagic], kWiiMagic);
  }
  PutText(system_, BootHeaderField::kTitle, title.substr(0, 0x3DF));
  WriteBE32(&system_[BootHeaderField::kDolOffset], dolOffset >> shift);
  WriteBE32(&system_[BootHeaderField::kFstOffset], fstOffset >> shift);
  WriteBE32(&system_[BootHeaderField::kFstSize], fstSizeField);
  WriteBE32(&system_[BootHeaderField::kFstMaxSize], fstSizeField);

  uint8_t* bi2 = &system_[kBi2Offset];
  WriteBE32(bi2 + 0x04, 0x01800000);                                       // simulated memory size
  WriteBE32(bi2 + 0x18, gameId_.size() > 3 && gameId_[3] == 'J' ? 0 : 1);  // region
  WriteBE32(bi2 + 0x24, 1);                                                // long file names

  uint8_t* apploader = &system_[kApploaderOffset];
  std::memcpy(apploader, "2026/12/07", 10);
  WriteBE32(apploader + 0x10, 0x81200000);  // entry point
  WriteBE32(apploader + 0x14, apploaderCode);
  FillCode(1, apploader + 0x20, apploaderCode);

  uint8_t* dol = &system_[dolOffset];
  constexpr uint32_t kLoadAddress = 0x80003100;
  WriteBE32(dol + 0x00, 0x100);         // text section 0: file offset
  WriteBE32(dol + 0x1C, 0x100 + text);  // data section 0
  WriteBE32(dol + 0x48, kLoadAddress);  // their load addresses
  WriteBE32(dol + 0x64, kLoadAddress + text);
  WriteBE32(dol + 0x90, text);  // their sizes
  WriteBE32(dol + 0xAC, data);
  WriteBE32(dol + 0xD8, kLoadAddress + text + data);  // bss
  WriteBE32(dol + 0xDC, 0x20000);
  WriteBE32(dol + 0xE0, kLoadAddress);  // entry point
  FillCode(2, dol + 0x100, text);
  FillContent({0, data, Content::Compressible, 3}, 0, dol + 0x100 + text, data);

  std::memcpy(&system_[fstOffset], fst.data(), fst.size());
}

namespace {

uint64_t XorShift(uint64_t state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

// A unit's next eight bytes from its generator's next output: the output itself (random content)
// or, three times in four, a word of the vocabulary.
template <bool kRandom>
uint64_t ContentWord(uint64_t r, const uint64_t* vocabulary) {
  if constexpr (kRandom) {
    return r;
  } else {
    return (r & 3) == 0 ? r : vocabulary[(r >> 2) & 31];
  }
}

// Units [index, index + 4) whole. Each unit's generator is a long chain of dependent steps; four
// chains side by side keep the processor busy where one would leave it waiting.
template <bool kRandom>
void FillFourUnits(uint64_t seed, uint64_t index, const uint64_t* vocabulary, uint8_t* out) {
  uint64_t a = Mix(seed ^ Mix(index)) | 1;
  uint64_t b = Mix(seed ^ Mix(index + 1)) | 1;
  uint64_t c = Mix(seed ^ Mix(index + 2)) | 1;
  uint64_t d = Mix(seed ^ Mix(index + 3)) | 1;
  for (size_t at = 0; at < kUnit; at += 8) {
    a = XorShift(a);
    b = XorShift(b);
    c = XorShift(c);
    d = XorShift(d);
    const uint64_t words[4] = {
        ContentWord<kRandom>(a, vocabulary), ContentWord<kRandom>(b, vocabulary),
        ContentWord<kRandom>(c, vocabulary), ContentWord<kRandom>(d, vocabulary)};
    for (size_t unit = 0; unit < 4; ++unit) std::memcpy(out + unit * kUnit + at, &words[unit], 8);
  }
}

template <bool kRandom>
void FillUnit(uint64_t seed, uint64_t index, const uint64_t* vocabulary, uint8_t* out) {
  uint64_t state = Mix(seed ^ Mix(index)) | 1;
  for (size_t at = 0; at < kUnit; at += 8) {
    state = XorShift(state);
    const uint64_t word = ContentWord<kRandom>(state, vocabulary);
    std::memcpy(out + at, &word, 8);
  }
}

}  // namespace

void SimulatedGameCubeDisc::FillContent(const Extent& extent, uint64_t within, uint8_t* out,
                                        size_t count) {
  // Records from a small vocabulary with a random value now and then: about as compressible as
  // game data archives.
  uint64_t vocabulary[32];
  Random64 words{Mix(extent.seed) | 1};
  for (uint64_t& word : vocabulary) word = words.Next() & 0x00FF00FF7F7F0000ull;
  const bool random = extent.content == Content::Random;
  std::array<uint8_t, kUnit> unit;
  while (count > 0) {
    const uint64_t index = within / kUnit;
    const size_t skip = static_cast<size_t>(within % kUnit);
    if (skip == 0 && count >= 4 * kUnit) {
      (random ? FillFourUnits<true> : FillFourUnits<false>)(extent.seed, index, vocabulary, out);
      out += 4 * kUnit;
      within += 4 * kUnit;
      count -= 4 * kUnit;
      continue;
    }
    const size_t part = std::min<size_t>(count, kUnit - skip);
    uint8_t* target = skip == 0 && part == kUnit ? out : unit.data();
    (random ? FillUnit<true> : FillUnit<false>)(extent.seed, index, vocabulary, target);
    if (target != out) std::memcpy(out, unit.data() + skip, part);
    out += part;
    within += part;
    count -= part;
  }
}

void SimulatedGameCubeDisc::Read(uint64_t offset, uint8_t* out, size_t count) const {
  while (count > 0) {
    size_t part = 0;
    if (offset < system_.size()) {
      part = static_cast<size_t>(std::min<uint64_t>(count, system_.size() - offset));
      std::memcpy(out, &system_[offset], part);
    } else {
      auto next = std::upper_bound(extents_.begin(), extents_.end(), offset,
                                   [](uint64_t at, const Extent& e) { return at < e.offset; });
      if (next != extents_.begin() && offset < std::prev(next)->offset + std::prev(next)->size) {
        const Extent& file = *std::prev(next);
        part = static_cast<size_t>(std::min<uint64_t>(count, file.offset + file.size - offset));
        FillContent(file, offset - file.offset, out, part);
      } else {
        const uint64_t end = next == extents_.end() ? UINT64_MAX : next->offset;
        part = static_cast<size_t>(std::min<uint64_t>(count, end - offset));
        FillSimulatedJunk(gameId_, 0, offset, out, part);
      }
    }
    out += part;
    offset += part;
    count -= part;
  }
}

}  // namespace zemlo::disc
