// Console state behind the memory card commands: the card in slot A with its saves, the card
// library failures the console-side program can run into, and switches that make the console
// misbehave inside a card exchange where the generic faults cannot reach.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zemlo::sim {

// One save: its 64-byte directory entry and its data.
struct CardSave {
  static constexpr size_t kEntrySize = 64;
  static constexpr size_t kGameCodeSize = 6;  // game code and maker code, at offset 0
  static constexpr size_t kNameOffset = 8;
  static constexpr size_t kNameSize = 32;
  static constexpr size_t kBlockCountOffset = 0x38;

  std::array<uint8_t, kEntrySize> entry{};
  std::vector<uint8_t> data;

  // A save with a deterministic entry and data of `dataSize` bytes drawn from `seed`.
  static CardSave Make(const std::string& gameCode, const std::string& name, size_t dataSize,
                       uint8_t seed);
  // The name field up to its first zero byte.
  std::string Name() const;
  // True when both entries name the same file: same game, maker and file name.
  bool SameFile(const CardSave& other) const;
};

// Steps of the card library that can be told to fail.
enum class CardStep : uint8_t { Init, Mount, Open, Status, Erase, Create, Write, SetStatus };
inline constexpr size_t kCardSteps = 8;

struct CardModel {
  static constexpr uint32_t kBlockSize = 8192;
  static constexpr uint32_t kPacketSize = 0xF800;
  static constexpr size_t kMaxSaves = 127;

  // A card of 251 blocks holding three saves.
  CardModel();

  bool inserted = true;
  uint32_t sectorSize = kBlockSize;  // any other size: the card library refuses the save
  uint32_t capacityBlocks = 251;
  std::vector<CardSave> saves;
  std::array<bool, kCardSteps> failing{};

  void Fail(CardStep step, bool fail = true) { failing[static_cast<size_t>(step)] = fail; }
  bool Fails(CardStep step) const { return failing[static_cast<size_t>(step)]; }
  uint32_t UsedBlocks() const;

  // The byte the console sends instead of the status it means, at each status point. The exchange
  // goes on only when both the status meant and the status sent let it.
  std::optional<uint8_t> firstStatus;   // list, erase, download: after the command byte
  std::optional<uint8_t> secondStatus;  // erase, download: after the index
  std::optional<uint8_t> finalStatus;   // upload: after the data

  // Download: only this many of the four length bytes go out, then the console gives up.
  int lengthBytesSent = 4;
  // Download: packet `shortPacket` (0-based) goes out with only `shortKeep` bytes for its first
  // `shortPacketTimes` attempts.
  uint32_t shortPacket = 0;
  uint32_t shortPacketTimes = 0;
  size_t shortKeep = 1000;
  // Download: the final part goes out with only its first half, then the console gives up.
  bool shortFinalPart = false;
  // Upload: packet `refusedPacket` (0-based) is answered with `refusalByte` its first
  // `refusedPacketTimes` times.
  uint32_t refusedPacket = 0;
  uint32_t refusedPacketTimes = 0;
  uint8_t refusalByte = 0xFF;

  // What the console saw of the card exchanges, for tests.
  std::vector<uint8_t> answers;  // ACK/RETRY bytes received during the last download
  uint32_t lastUploadLength = 0;
};

}  // namespace zemlo::sim
