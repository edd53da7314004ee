#include <algorithm>
#include <cstring>

#include "protocol/commands.h"
#include "sim/console.h"

namespace zemlo::sim {
namespace {

constexpr uint32_t kUploadPacket = 0xF80;
constexpr uint32_t kFlashPacket = 0xF800;
constexpr uint32_t kDumpPacket = 0xF800;
constexpr uint32_t kPageSize = 200;

// Copies `count` bytes of console memory from `address` on; bytes outside main memory read 0.
void CopyFromMemory(const ConsoleModel& model, uint32_t address, uint8_t* out, uint32_t count) {
  if (auto offset = model.MemoryOffset(address, count)) {
    std::memcpy(out, model.memory.data() + *offset, count);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const auto byte = model.MemoryOffset(address + i, 1);
    out[i] = byte ? model.memory[*byte] : 0;
  }
}

// Receives `size` bytes in acknowledged packets of `packetSize` and a last unacknowledged
// remainder. False when the link closed.
bool ReceivePackets(ConsoleSession& session, uint32_t size, uint32_t packetSize,
                    std::vector<uint8_t>& data) {
  UploadModel& uploads = session.model().uploads;
  std::vector<uint8_t> packet(packetSize);
  const auto keep = [&](uint32_t count) {
    const size_t room =
        UploadModel::kUploadKeepLimit - std::min(data.size(), UploadModel::kUploadKeepLimit);
    data.insert(data.end(), packet.begin(), packet.begin() + std::min<size_t>(count, room));
  };
  for (uint32_t accepted = 0; accepted < size / packetSize;) {
    if (!session.Read(packet.data(), packetSize)) return false;
    if (uploads.refusePackets > 0) {
      --uploads.refusePackets;
      if (uploads.refusalReply && !session.Reply(*uploads.refusalReply)) return false;
      continue;
    }
    keep(packetSize);
    ++accepted;
    if (!session.Reply(REPLY_ACK)) return false;
  }
  const uint32_t last = size % packetSize;
  if (!session.Read(packet.data(), last)) return false;
  keep(last);
  return true;
}

void ServeUpload(ConsoleSession& session, uint8_t command, bool withAddress) {
  if (!session.Reply(REPLY_ACK)) return;
  UploadRecord record;
  record.command = command;
  uint32_t address = 0;
  uint32_t size = 0;
  if (withAddress && !session.ReadBE32(address)) return;
  if (!session.ReadBE32(size)) return;
  if (withAddress) record.header.push_back(address);
  record.header.push_back(size);
  if (!ReceivePackets(session, size, kUploadPacket, record.data)) return;
  ConsoleModel& model = session.model();
  // The code blob is placed where it was sent; a blob that does not fit in memory is dropped.
  if (withAddress && record.data.size() == size) {
    if (auto offset = model.MemoryOffset(address, size)) {
      std::copy(record.data.begin(), record.data.end(), model.memory.begin() + *offset);
    }
  }
  model.uploads.uploads.push_back(std::move(record));
}

void UploadDol(ConsoleSession& session) {
  ServeUpload(session, CMD_UPLOAD_DOL, false);
}
void UploadElf(ConsoleSession& session) {
  ServeUpload(session, CMD_UPLOAD_ELF, false);
}
void UploadMod(ConsoleSession& session) {
  ServeUpload(session, CMD_UPLOAD_MOD, false);
}
void UploadMp3(ConsoleSession& session) {
  ServeUpload(session, CMD_UPLOAD_MP3, false);
}
void UploadCode(ConsoleSession& session) {
  ServeUpload(session, CMD_UPLOAD_CODE, true);
}

void FlashFirmware(ConsoleSession& session) {
  UploadModel& uploads = session.model().uploads;
  if (uploads.refuseFirmware) {
    session.Reply(REPLY_FAIL);
    return;
  }
  if (!session.Reply(REPLY_ACK)) return;
  uint32_t size = 0;
  if (!session.ReadBE32(size)) return;
  std::vector<uint8_t> image;
  if (!ReceivePackets(session, size, kFlashPacket, image)) return;
  uploads.firmwareImages.push_back(std::move(image));
}

void Poke(ConsoleSession& session) {
  PokeRecord poke;
  if (!session.ReadBE32(poke.address) || !session.ReadBE32(poke.value)) return;
  ConsoleModel& model = session.model();
  if (auto offset = model.MemoryOffset(poke.address, 4)) {
    for (int i = 0; i < 4; ++i) {
      model.memory[*offset + static_cast<size_t>(i)] =
          static_cast<uint8_t>(poke.value >> (24 - 8 * i));
    }
  }
  model.uploads.pokes.push_back(poke);
}

// Reads the range of a fill or dump after the console agreed to serve it.
bool AcceptRange(ConsoleSession& session, RangeRecord& range) {
  if (!session.model().uploads.hooked) {
    session.Reply(REPLY_FAIL);
    return false;
  }
  return session.Reply(REPLY_ACK) && session.ReadBE32(range.start) && session.ReadBE32(range.end);
}

void Fill(ConsoleSession& session) {
  RangeRecord range;
  if (!AcceptRange(session, range)) return;
  ConsoleModel& model = session.model();
  model.uploads.fills.push_back(range);
  if (range.end <= range.start) return;
  // Fills the part of [start, end) that lies in either mirror of main memory.
  for (uint32_t base : {ConsoleModel::kMemoryBase, ConsoleModel::kUncachedBase}) {
    const uint64_t from = std::max<uint64_t>(range.start, base);
    const uint64_t to = std::min<uint64_t>(range.end, uint64_t{base} + ConsoleModel::kMemorySize);
    if (from < to) {
      std::fill(model.memory.begin() + static_cast<ptrdiff_t>(from - base),
                model.memory.begin() + static_cast<ptrdiff_t>(to - base), model.uploads.fillByte);
    }
  }
}

void Dump(ConsoleSession& session) {
  RangeRecord range;
  if (!AcceptRange(session, range)) return;
  ConsoleModel& model = session.model();
  model.uploads.dumps.push_back(range);
  const uint32_t count = range.end >= range.start ? range.end - range.start : 0;
  std::vector<uint8_t> packet(kDumpPacket);
  uint32_t address = range.start;
  for (uint32_t sent = 0; sent < count / kDumpPacket;) {
    CopyFromMemory(model, address, packet.data(), kDumpPacket);
    if (!session.Write(packet.data(), kDumpPacket)) return;
    uint8_t answer = 0;
    if (!session.ReadByte(answer)) return;
    model.uploads.dumpAnswers.push_back(answer);
    if (answer == ACK_BLOCK) {
      ++sent;
      address += kDumpPacket;
    } else if (answer != RETRY_BLOCK) {
      return;  // the client has given up on the stream
    }
  }
  const uint32_t last = count % kDumpPacket;
  if (last == 0) return;
  CopyFromMemory(model, address, packet.data(), last);
  session.Write(packet.data(), last);
}

void ReadMemory(ConsoleSession& session) {
  uint32_t address = 0;
  if (!session.ReadBE32(address)) return;
  session.model().uploads.memoryReads.push_back(address);
  uint8_t page[kPageSize];
  CopyFromMemory(session.model(), address, page, kPageSize);
  session.Write(page, kPageSize);
}

template <uint8_t kHook>
void Hook(ConsoleSession& session) {
  UploadModel& uploads = session.model().uploads;
  uploads.hooks.push_back(kHook);
  uploads.hooked = kHook != CMD_HOOK_NONE;
}

}  // namespace

void RegisterUploadCommands(CommandTable& table) {
  table.Register(CMD_UPLOAD_DOL, UploadDol);
  table.Register(CMD_UPLOAD_ELF, UploadElf);
  table.Register(CMD_UPLOAD_MOD, UploadMod);
  table.Register(CMD_UPLOAD_MP3, UploadMp3);
  table.Register(CMD_UPLOAD_CODE, UploadCode);
  table.Register(CMD_FLASH_FIRMWARE, FlashFirmware);
  table.Register(CMD_POKE, Poke);
  table.Register(CMD_FILL_MEMORY, Fill);
  table.Register(CMD_DUMP_MEMORY, Dump);
  table.Register(CMD_READ_MEMORY, ReadMemory);
  table.Register(CMD_HOOK_PAD_READ, Hook<CMD_HOOK_PAD_READ>);
  table.Register(CMD_HOOK_VBLANK_WAIT, Hook<CMD_HOOK_VBLANK_WAIT>);
  table.Register(CMD_HOOK_VBLANK_SET_NEXT, Hook<CMD_HOOK_VBLANK_SET_NEXT>);
  table.Register(CMD_HOOK_NONE, Hook<CMD_HOOK_NONE>);
  table.Register(CMD_HOOK_WII, Hook<CMD_HOOK_WII>);
}

}  // namespace zemlo::sim
