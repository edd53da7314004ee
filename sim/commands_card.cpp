// The memory card commands of the console-side program: list, erase, save download and upload on
// the card in slot A.
#include <algorithm>
#include <cstring>

#include "protocol/commands.h"
#include "sim/console.h"

namespace zemlo::sim {
namespace {

// Bringing the card up, as every card command starts.
uint8_t MountStatus(const CardModel& card) {
  if (card.Fails(CardStep::Init)) return REPLY_CARD_INIT_ERROR;
  if (!card.inserted || card.Fails(CardStep::Mount)) return REPLY_CARD_MOUNT_ERROR;
  return REPLY_ACK;
}

bool ListGoesOn(uint8_t status) {
  return status < REPLY_CARD_NO_CARD || status > REPLY_CARD_ENTRY_ERROR;
}

bool IsAck(uint8_t status) {
  return status == REPLY_ACK;
}

// Sends the status meant (or the byte the test put in its place). The exchange goes on only when
// both let it, so that the console never runs on with a card it could not use.
bool SendStatus(ConsoleSession& session, uint8_t meant, const std::optional<uint8_t>& replacement,
                bool (*goesOn)(uint8_t)) {
  const uint8_t sent = replacement.value_or(meant);
  if (!session.Reply(sent)) return false;
  return goesOn(meant) && goesOn(sent);
}

void ListCard(ConsoleSession& session) {
  CardModel& card = session.model().card;
  uint8_t status = card.inserted ? MountStatus(card) : uint8_t{REPLY_CARD_NO_CARD};
  if (status == REPLY_ACK && card.saves.empty()) status = REPLY_CARD_ENTRY_ERROR;
  if (!SendStatus(session, status, card.firstStatus, ListGoesOn)) return;
  for (const CardSave& save : card.saves) {
    if (!session.Reply(REPLY_ACK)) return;
    if (!session.Write(&save.entry[CardSave::kNameOffset], CardSave::kNameSize)) return;
  }
  session.Reply(REPLY_CARD_DONE);
}

// The first status of erase and download, and the save index that follows it.
std::optional<uint8_t> OpenForIndex(ConsoleSession& session) {
  CardModel& card = session.model().card;
  uint8_t status = MountStatus(card);
  if (status == REPLY_ACK && card.saves.empty()) status = REPLY_CARD_ENTRY_ERROR;
  if (!SendStatus(session, status, card.firstStatus, IsAck)) return std::nullopt;
  uint8_t index = 0;
  if (!session.ReadByte(index)) return std::nullopt;
  return index;
}

void EraseSave(ConsoleSession& session) {
  const std::optional<uint8_t> index = OpenForIndex(session);
  if (!index) return;
  CardModel& card = session.model().card;
  uint8_t status = REPLY_CARD_DONE;
  if (*index >= card.saves.size()) {
    status = REPLY_CARD_ENTRY_ERROR;
  } else if (card.Fails(CardStep::Erase)) {
    status = REPLY_CARD_ERASE_ERROR;
  }
  if (status == REPLY_CARD_DONE) card.saves.erase(card.saves.begin() + *index);
  session.Reply(card.secondStatus.value_or(status));
}

void DownloadSave(ConsoleSession& session) {
  CardModel& card = session.model().card;
  card.answers.clear();
  const std::optional<uint8_t> index = OpenForIndex(session);
  if (!index) return;
  uint8_t status = REPLY_ACK;
  if (*index >= card.saves.size()) {
    status = REPLY_CARD_ENTRY_ERROR;
  } else if (card.sectorSize != CardModel::kBlockSize) {
    status = REPLY_CARD_SECTOR_SIZE_ERROR;
  } else if (card.Fails(CardStep::Open)) {
    status = REPLY_CARD_OPEN_ERROR;
  } else if (card.Fails(CardStep::Status)) {
    status = REPLY_CARD_STATUS_ERROR;
  }
  if (!SendStatus(session, status, card.secondStatus, IsAck)) return;

  const CardSave& save = card.saves[*index];
  if (!session.Write(save.entry.data(), save.entry.size())) return;
  const auto length = static_cast<uint32_t>(save.data.size());
  const uint8_t lengthBytes[4] = {static_cast<uint8_t>(length >> 24),
                                  static_cast<uint8_t>(length >> 16),
                                  static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  const auto lengthSent = static_cast<size_t>(std::clamp(card.lengthBytesSent, 0, 4));
  if (!session.Write(lengthBytes, lengthSent) || lengthSent < 4) return;

  const uint32_t packets = length / CardModel::kPacketSize;
  for (uint32_t packet = 0; packet < packets;) {
    size_t count = CardModel::kPacketSize;
    if (packet == card.shortPacket && card.shortPacketTimes > 0) {
      --card.shortPacketTimes;
      count = std::min(count, card.shortKeep);
    }
    if (!session.Write(&save.data[size_t{packet} * CardModel::kPacketSize], count)) return;
    uint8_t answer = 0;
    if (!session.ReadByte(answer)) return;
    card.answers.push_back(answer);
    if (answer == ACK_BLOCK) {
      ++packet;
    } else if (answer != RETRY_BLOCK) {
      return;
    }
  }
  const size_t finalPart = length % CardModel::kPacketSize;
  if (finalPart == 0) return;
  session.Write(&save.data[size_t{packets} * CardModel::kPacketSize],
                card.shortFinalPart ? finalPart / 2 : finalPart);
}

// What the card library makes of a new save.
uint8_t CreateSave(CardModel& card, const std::vector<uint8_t>& file) {
  if (!card.inserted) return REPLY_CARD_NO_CARD;
  if (const uint8_t status = MountStatus(card); status != REPLY_ACK) return status;
  if (card.sectorSize != CardModel::kBlockSize) return REPLY_CARD_SECTOR_SIZE_ERROR;
  if (file.size() <= CardSave::kEntrySize) return REPLY_CARD_CREATE_ERROR;
  CardSave save;
  std::copy_n(file.begin(), CardSave::kEntrySize, save.entry.begin());
  save.data.assign(file.begin() + CardSave::kEntrySize, file.end());
  if (std::any_of(card.saves.begin(), card.saves.end(),
                  [&](const CardSave& other) { return other.SameFile(save); })) {
    return REPLY_CARD_FILE_EXISTS;
  }
  const uint64_t blocks = (save.data.size() + CardModel::kBlockSize - 1) / CardModel::kBlockSize;
  if (card.saves.size() >= CardModel::kMaxSaves ||
      blocks + card.UsedBlocks() > card.capacityBlocks || card.Fails(CardStep::Create)) {
    return REPLY_CARD_CREATE_ERROR;
  }
  if (card.Fails(CardStep::Write)) return REPLY_CARD_WRITE_ERROR;
  if (card.Fails(CardStep::SetStatus)) return REPLY_CARD_SET_STATUS_ERROR;
  card.saves.push_back(std::move(save));
  return REPLY_ACK;
}

void UploadSave(ConsoleSession& session) {
  CardModel& card = session.model().card;
  if (!session.Reply(REPLY_ACK)) return;
  uint32_t length = 0;
  if (!session.ReadBE32(length)) return;
  card.lastUploadLength = length;
  std::vector<uint8_t> file;
  std::vector<uint8_t> packet(CardModel::kPacketSize);
  const uint32_t packets = length / CardModel::kPacketSize;
  for (uint32_t received = 0; received < packets;) {
    if (!session.Read(packet.data(), packet.size())) return;
    if (received == card.refusedPacket && card.refusedPacketTimes > 0) {
      --card.refusedPacketTimes;
      if (!session.Reply(card.refusalByte)) return;
      continue;
    }
    file.insert(file.end(), packet.begin(), packet.end());
    ++received;
    if (!session.Reply(REPLY_ACK)) return;
  }
  const size_t finalPart = length % CardModel::kPacketSize;
  if (finalPart > 0) {
    if (!session.Read(packet.data(), finalPart)) return;
    file.insert(file.end(), packet.begin(), packet.begin() + static_cast<ptrdiff_t>(finalPart));
  }
  session.Reply(card.finalStatus.value_or(CreateSave(card, file)));
}

}  // namespace

void RegisterCardCommands(CommandTable& table) {
  table.Register(CMD_CARD_LIST, ListCard);
  table.Register(CMD_CARD_DOWNLOAD_SAVE, DownloadSave);
  table.Register(CMD_CARD_ERASE, EraseSave);
  table.Register(CMD_CARD_UPLOAD_SAVE, UploadSave);
}

}  // namespace zemlo::sim
