// Who a disc is, from the header at the start of its first packet: game ID, maker, disc number,
// version, title, and whether the magic words make it a GameCube or a Wii disc.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zemlo {

enum class DiscSystem { Unknown, GameCube, Wii };

struct DiscIdentity {
  std::string gameId;  // 6 characters
  std::string maker;   // the last 2 of them
  unsigned discNumber = 0;
  unsigned version = 0;
  std::string title;
  DiscSystem system = DiscSystem::Unknown;
};

inline constexpr size_t kDiscHeaderBytes = 0x400;

// Nothing when fewer than kDiscHeaderBytes bytes are given. Unprintable bytes in the ID and the
// title become '.', so that a damaged header cannot garble a report.
std::optional<DiscIdentity> ReadDiscIdentity(std::span<const uint8_t> header);

// "GameCube", "Wii" or "unknown".
const char* SystemName(DiscSystem system);

// The list line that warns when the chosen kind is not the disc's (the run goes on), or nothing.
std::optional<std::string> KindMismatchLine(DiscSystem chosen, DiscSystem found);

}  // namespace zemlo
