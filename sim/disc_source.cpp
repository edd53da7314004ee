#include "sim/disc_source.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disc/disc_header.h"
#include "disc/simulated_gamecube.h"
#include "disc/simulated_wii.h"
#include "link/bytes.h"
#include "link/file_offset.h"
#include "protocol/commands.h"
#include "sim/nand_spare.h"

namespace zemlo::sim {
namespace {

// Cheap deterministic bytes: the same seed gives the same bytes on every run and machine.
void FillPattern(uint32_t seed, uint8_t* out, size_t count) {
  uint32_t state = seed * 2654435761u + 0x9E3779B9u;
  for (size_t i = 0; i < count; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    out[i] = static_cast<uint8_t>(state >> 24);
  }
}

struct DiscIdentity {
  const char* gameId;
  const char* title;
};

DiscIdentity Identity(DiscType type) {
  switch (type) {
    case DiscType::GameCube:
      return {"GZME01", "Zemlo Test Disc (GameCube)"};
    case DiscType::WiiSingle:
      return {"RZME01", "Zemlo Test Disc (Wii, single layer)"};
    case DiscType::WiiDual:
      return {"RZDE01", "Zemlo Test Disc (Wii, dual layer)"};
  }
  return {"", ""};
}

}  // namespace

GeneratedDisc::GeneratedDisc(DiscType type, uint64_t size, std::function<bool()> abandoned) {
  const DiscIdentity identity = Identity(type);
  if (type == DiscType::GameCube) {
    gamecube_ =
        std::make_unique<disc::SimulatedGameCubeDisc>(identity.gameId, identity.title, size);
  } else {
    wii_ = std::make_unique<disc::SimulatedWiiDisc>(identity.gameId, identity.title, size,
                                                    std::move(abandoned));
  }
}

GeneratedDisc::~GeneratedDisc() = default;

uint32_t GeneratedDisc::Read(uint64_t offset, uint8_t* out, uint32_t count) {
  if (gamecube_) {
    gamecube_->Read(offset, out, count);
  } else {
    wii_->Read(offset, out, count);
  }
  return ByteSum(out, static_cast<int32_t>(count));
}

std::unique_ptr<ImageDisc> ImageDisc::Open(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  auto disc = std::unique_ptr<ImageDisc>(new ImageDisc);
  disc->file_.reset(file);
  return disc;
}

uint32_t ImageDisc::Read(uint64_t offset, uint8_t* out, uint32_t count) {
  size_t got = 0;
  if (SeekFile(file_.get(), offset)) {
    got = std::fread(out, 1, count, file_.get());
  }
  std::memset(out + got, 0, count - got);
  return ByteSum(out, static_cast<int32_t>(count));
}

std::vector<uint8_t> GeneratedDiscBytes(DiscType type, uint64_t size, uint64_t offset,
                                        uint32_t count) {
  std::vector<uint8_t> bytes(count);
  GeneratedDisc(type, size).Read(offset, bytes.data(), count);
  return bytes;
}

void FillNandPage(uint32_t page, uint32_t pageSize, uint8_t* out) {
  static const std::vector<uint8_t> pattern = [] {
    std::vector<uint8_t> bytes(2048);
    FillPattern(0x4E414E44, bytes.data(), bytes.size());
    return bytes;
  }();
  // The ECC is linear in the data: each page's is the pattern's (with the stamp bytes zero) with
  // the stamp's own added, so the pattern's is computed once.
  static const std::array<std::array<uint8_t, 4>, 4> patternEcc = [] {
    std::vector<uint8_t> bytes = pattern;
    std::fill_n(bytes.begin(), 4, 0);
    std::array<std::array<uint8_t, 4>, 4> ecc{};
    for (size_t quarter = 0; quarter < 4; ++quarter) ecc[quarter] = SpareEcc(&bytes[quarter * 512]);
    return ecc;
  }();
  if (IsErasedNandPage(page)) {
    std::memset(out, 0xFF, pageSize);
    return;
  }
  std::memcpy(out, pattern.data(), 2048);
  WriteBE32(out, page);
  if (pageSize <= 2048) return;
  uint8_t* spare = out + 2048;
  std::memset(spare, 0xFF, pageSize - 2048);
  if (page % 64 == 0 && IsBadNandBlock(page / 64)) spare[0] = 0x00;
  const std::array<uint8_t, 4> stampEcc = SpareEcc(out, 4);
  for (size_t quarter = 0; quarter < 4; ++quarter) {
    for (size_t i = 0; i < 4; ++i) {
      spare[0x30 + 4 * quarter + i] =
          static_cast<uint8_t>(patternEcc[quarter][i] ^ (quarter == 0 ? stampEcc[i] : 0));
    }
  }
}

std::vector<uint8_t> RegionBytes(uint8_t command) {
  size_t size = 0;
  switch (command) {
    case CMD_DUMP_SRAM:
      size = 64;
      break;
    case CMD_DUMP_BIOS:
      size = 2'097'152;
      break;
    case CMD_DUMP_DRIVE_ROM:
      size = 65'535;
      break;
    case CMD_DUMP_DRIVE_IRAM:
      size = 32'768;
      break;
    case CMD_DUMP_DRIVE_ERAM:
      size = 262'144;
      break;
    default:
      return {};
  }
  std::vector<uint8_t> bytes(size);
  FillPattern(command, bytes.data(), size);
  return bytes;
}

}  // namespace zemlo::sim
