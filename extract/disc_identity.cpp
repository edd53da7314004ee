#include "extract/disc_identity.h"

#include "link/bytes.h"

namespace zemlo {
namespace {

constexpr uint32_t kWiiMagic = 0x5D1C9EA3;       // at 0x18
constexpr uint32_t kGameCubeMagic = 0xC2339F3D;  // at 0x1C
constexpr size_t kTitleOffset = 0x20;

std::string Printable(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t byte : bytes) {
    if (byte == 0) break;
    text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
  }
  return text;
}

}  // namespace

std::optional<DiscIdentity> ReadDiscIdentity(std::span<const uint8_t> header) {
  if (header.size() < kDiscHeaderBytes) return std::nullopt;
  DiscIdentity identity;
  identity.gameId = Printable(header.subspan(0, 6));
  identity.maker = Printable(header.subspan(4, 2));
  identity.discNumber = header[6];
  identity.version = header[7];
  identity.title = Printable(header.subspan(kTitleOffset, kDiscHeaderBytes - kTitleOffset));
  if (ReadBE32(&header[0x18]) == kWiiMagic) {
    identity.system = DiscSystem::Wii;
  } else if (ReadBE32(&header[0x1C]) == kGameCubeMagic) {
    identity.system = DiscSystem::GameCube;
  }
  return identity;
}

const char* SystemName(DiscSystem system) {
  static constexpr const char* kNames[] = {"unknown", "GameCube", "Wii"};
  return kNames[static_cast<int>(system)];
}

std::optional<std::string> KindMismatchLine(DiscSystem chosen, DiscSystem found) {
  if (chosen == found) return std::nullopt;
  if (found == DiscSystem::Unknown) {
    return "Warning: the disc in the drive is neither a GameCube nor a Wii disc";
  }
  return std::string("Warning: the disc in the drive is a ") + SystemName(found) + " disc, not a " +
         SystemName(chosen) + " disc";
}

}  // namespace zemlo
