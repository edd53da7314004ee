#include "sim/card_model.h"

#include <algorithm>
#include <cstring>

namespace zemlo::sim {

CardSave CardSave::Make(const std::string& gameCode, const std::string& name, size_t dataSize,
                        uint8_t seed) {
  CardSave save;
  save.entry.fill(0);
  std::memcpy(save.entry.data(), gameCode.data(), std::min(gameCode.size(), kGameCodeSize));
  save.entry[6] = 0xFF;
  std::memcpy(&save.entry[kNameOffset], name.data(), std::min(name.size(), kNameSize));
  const size_t blocks = (dataSize + CardModel::kBlockSize - 1) / CardModel::kBlockSize;
  save.entry[kBlockCountOffset] = static_cast<uint8_t>(blocks >> 8);
  save.entry[kBlockCountOffset + 1] = static_cast<uint8_t>(blocks);
  save.data.resize(dataSize);
  for (size_t i = 0; i < dataSize; ++i) {
    save.data[i] = static_cast<uint8_t>(seed * 31u + i * 7u + (i >> 9));
  }
  return save;
}

std::string CardSave::Name() const {
  const auto* name = reinterpret_cast<const char*>(&entry[kNameOffset]);
  return std::string(name, strnlen(name, kNameSize));
}

bool CardSave::SameFile(const CardSave& other) const {
  return std::equal(entry.begin(), entry.begin() + kGameCodeSize, other.entry.begin()) &&
         std::equal(entry.begin() + kNameOffset, entry.begin() + kNameOffset + kNameSize,
                    other.entry.begin() + kNameOffset);
}

CardModel::CardModel() {
  saves.push_back(CardSave::Make("ZRCE01", "zemlo-racer", 1 * kBlockSize, 1));
  saves.push_back(CardSave::Make("ZPZE01", "puzzle_progress.dat", 3 * kBlockSize, 2));
  // A name that fills its field, with no terminator, and data of more than one packet.
  saves.push_back(CardSave::Make("ZADE8P", "ADVENTURE_SAVE_SLOT_0123456789AB", 8 * kBlockSize, 3));
}

uint32_t CardModel::UsedBlocks() const {
  uint32_t used = 0;
  for (const CardSave& save : saves) {
    used += static_cast<uint32_t>((save.data.size() + kBlockSize - 1) / kBlockSize);
  }
  return used;
}

}  // namespace zemlo::sim
