// The disc, NAND and low-level dump commands of the simulated console. Every stream waits for the
// client's answer after each packet: 0xAA for the next, 0xBB for the same again, and 0xBA (or
// anything else) to leave the stream and wait for a command.
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "link/bytes.h"
#include "protocol/commands.h"
#include "sim/console.h"
#include "sim/disc_source.h"

namespace zemlo::sim {
namespace {

constexpr uint32_t kDiscPacketData = 61440;
constexpr uint32_t kRegionPacket = 0xF800;

enum class Answer { Next, Again, Leave };

Answer Counted(ConsoleSession& session, uint8_t answer) {
  ExtractModel& model = session.model().extract;
  switch (answer) {
    case ACK_BLOCK:
      ++model.packetsAccepted;
      return Answer::Next;
    case RETRY_BLOCK:
      ++model.resendsServed;
      return Answer::Again;
    case CMD_STOP:
      ++session.model().stopCount;
      ++model.streamsStopped;
      return Answer::Leave;
    default:
      return Answer::Leave;
  }
}

Answer AwaitAnswer(ConsoleSession& session) {
  uint8_t answer = 0;
  if (!session.ReadByte(answer)) return Answer::Leave;
  return Counted(session, answer);
}

// Sends `count` bytes of `data` until the client accepts them; false when it left the stream.
bool SendUntilAccepted(ConsoleSession& session, const uint8_t* data, size_t count) {
  for (;;) {
    if (!session.Write(data, count)) return false;
    switch (AwaitAnswer(session)) {
      case Answer::Next:
        return true;
      case Answer::Again:
        continue;
      case Answer::Leave:
        return false;
    }
  }
}

void SendStrayBytes(ConsoleSession& session) {
  const std::vector<uint8_t> stray(session.model().extract.bytesAfterStream, 0x5A);
  if (!stray.empty()) session.Write(stray.data(), stray.size());
}

void ServeDisc(ConsoleSession& session, DiscType type) {
  ExtractModel& model = session.model().extract;
  const DiscLayout layout = model.layout(type);
  std::unique_ptr<DiscSource> source;
  if (model.discImage.empty()) {
    source = std::make_unique<GeneratedDisc>(type, layout.size(),
                                             [&session] { return session.LinkGone(); });
  } else {
    source = ImageDisc::Open(model.discImage);
  }
  if (!source) {
    session.Reply(REPLY_FAIL);  // no disc that can be read
    return;
  }
  // Accepted, then (once the drive has spun up) ready to stream.
  if (!session.Reply(REPLY_ACK)) return;
  if (model.discSpinUpMs != 0) session.Pause(std::chrono::milliseconds(model.discSpinUpMs));
  if (!model.discReadyReply) return;
  if (!session.Reply(*model.discReadyReply) || *model.discReadyReply != REPLY_ACK) return;
  // The packets after the current one are read from the disc while the client stores it, as a
  // drive reads ahead, and posted where the link can send them on the client's answers by itself;
  // the stream itself still waits for each answer. Packet i lives in slot i % kSlots: the current
  // one (kept for a resend) and those posted after it.
  constexpr uint32_t kSlots = 16;
  const size_t bufferSize = std::max<size_t>(kDiscPacketData + 4, layout.finalPart);
  std::vector<std::vector<uint8_t>> slots(kSlots, std::vector<uint8_t>(bufferSize));
  std::array<uint32_t, kSlots> sums{};
  const auto slot = [&](uint32_t index) -> std::vector<uint8_t>& { return slots[index % kSlots]; };
  const auto readPacket = [&](uint32_t index) {
    sums[index % kSlots] =
        index < layout.fullPackets
            ? source->Read(uint64_t{index} * kDiscPacketData, slot(index).data(), kDiscPacketData)
            : source->Read(uint64_t{index} * kDiscPacketData, slot(index).data(), layout.finalPart);
  };
  // Seals packet `index` with its checksum (wrong when it is to arrive damaged).
  const auto seal = [&](uint32_t index, bool damaged) {
    const uint32_t sum = sums[index % kSlots];
    WriteBE32(&slot(index)[kDiscPacketData], damaged ? sum + 1 : sum);
  };
  if (layout.fullPackets > 0) readPacket(0);
  uint32_t prepared = 0;     // packets after `index` already read into their slots
  uint32_t posted = 0;       // of those, posted on the link
  bool alreadySent = false;  // the packet went out the moment the client accepted the one before
  bool damageDue = model.damagedPacket == 0;
  for (uint32_t index = 0; index < layout.fullPackets;) {
    if (!alreadySent) {
      seal(index, session.faults().TakeChecksumCorruption() || damageDue);
      if (!session.Write(slot(index).data(), kDiscPacketData + 4)) return;
    }
    damageDue = false;
    alreadySent = false;
    const bool last = index + 1 == layout.fullPackets;
    while (index + posted + 1 < layout.fullPackets && posted + 1 < kSlots) {
      const uint32_t next = index + posted + 1;
      if (prepared == posted) {
        readPacket(next);
        ++prepared;
      }
      seal(next, model.damagedPacket == int64_t{next});
      if (!session.Post(ACK_BLOCK, slot(next).data(), kDiscPacketData + 4)) break;
      ++posted;
    }
    if (prepared == 0 && (!last || layout.finalPart != 0)) {
      readPacket(index + 1);
      prepared = 1;
    }
    Answer answer;
    uint8_t byte = 0;
    if (posted > 0) {
      if (!session.Settle(byte, alreadySent)) return;
      if (alreadySent) {
        --posted;
      } else {
        posted = 0;  // dropped, though still read into their slots
      }
      answer = Counted(session, byte);
    } else if (!last) {
      seal(index + 1, model.damagedPacket == int64_t{index} + 1);
      if (!session.ReadThenWrite(byte, ACK_BLOCK, slot(index + 1).data(), kDiscPacketData + 4,
                                 alreadySent)) {
        return;
      }
      answer = Counted(session, byte);
    } else {
      answer = AwaitAnswer(session);
    }
    if (answer == Answer::Leave) return;
    if (answer == Answer::Next) {
      ++index;
      prepared -= prepared > 0 ? 1 : 0;
      damageDue = model.damagedPacket == int64_t{index};
    }
  }
  if (layout.finalPart != 0) {
    if (layout.fullPackets == 0) readPacket(0);
    if (!session.Write(slot(layout.fullPackets).data(), layout.finalPart)) return;
  }
  SendStrayBytes(session);
  ++model.streamsCompleted;
}

void ServeNand(ConsoleSession& session, uint32_t pageSize) {
  ExtractModel& model = session.model().extract;
  if (!session.Reply(REPLY_ACK)) return;
  std::array<uint8_t, 2112> page{};
  for (uint32_t index = 0; index < model.nandPages; ++index) {
    FillNandPage(index, pageSize, page.data());
    for (const auto& [flipPage, bit] : model.nandBitFlips) {
      if (flipPage == index && bit / 8 < pageSize)
        page[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    }
    if (!SendUntilAccepted(session, page.data(), pageSize)) return;
  }
  SendStrayBytes(session);
  ++model.streamsCompleted;
}

void ServeSram(ConsoleSession& session) {
  if (session.model().extract.sramUnreadable) {
    session.Reply(REPLY_FAIL);
    return;
  }
  if (!session.Reply(REPLY_ACK)) return;
  const std::vector<uint8_t> sram = RegionBytes(CMD_DUMP_SRAM);
  session.Write(sram.data(), sram.size());
}

template <uint8_t kCommand>
void ServeRegion(ConsoleSession& session) {
  ConsoleModel& model = session.model();
  if (model.isWii) {
    session.Reply(REPLY_WII_DETECTED);
    return;
  }
  if (kCommand == CMD_DUMP_BIOS && model.extract.biosAllocationFails) {
    session.Reply(REPLY_FAIL);
    return;
  }
  const uint8_t ready = model.extract.regionReadyReply;
  if (!session.Reply(REPLY_ACK) || !session.Reply(ready) || ready != REPLY_READY) return;
  const std::vector<uint8_t> region = RegionBytes(kCommand);
  const size_t packets = region.size() / kRegionPacket;
  for (size_t index = 0; index < packets; ++index) {
    if (!SendUntilAccepted(session, &region[index * kRegionPacket], kRegionPacket)) return;
  }
  const size_t finalPart = region.size() % kRegionPacket;
  if (!session.Write(&region[packets * kRegionPacket], finalPart)) return;
  ++model.extract.streamsCompleted;
}

}  // namespace

void RegisterExtractCommands(CommandTable& table) {
  table.Register(CMD_DVD_GAMECUBE, [](ConsoleSession& s) { ServeDisc(s, DiscType::GameCube); });
  table.Register(CMD_DVD_WII_SINGLE, [](ConsoleSession& s) { ServeDisc(s, DiscType::WiiSingle); });
  table.Register(CMD_DVD_WII_DUAL, [](ConsoleSession& s) { ServeDisc(s, DiscType::WiiDual); });
  table.Register(CMD_NAND_DUMP_2048, [](ConsoleSession& s) { ServeNand(s, 0x800); });
  table.Register(CMD_NAND_DUMP_2112, [](ConsoleSession& s) { ServeNand(s, 0x840); });
  table.Register(CMD_DUMP_SRAM, ServeSram);
  table.Register(CMD_DUMP_BIOS, ServeRegion<CMD_DUMP_BIOS>);
  table.Register(CMD_DUMP_DRIVE_ROM, ServeRegion<CMD_DUMP_DRIVE_ROM>);
  table.Register(CMD_DUMP_DRIVE_IRAM, ServeRegion<CMD_DUMP_DRIVE_IRAM>);
  table.Register(CMD_DUMP_DRIVE_ERAM, ServeRegion<CMD_DUMP_DRIVE_ERAM>);
}

}  // namespace zemlo::sim
