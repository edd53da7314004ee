// Every command byte the client sends and every reply byte the console answers, named once.
#pragma once

#include <cstdint>
#include <span>

namespace zemlo {

enum Command : uint8_t {
  CMD_HOOK_PAD_READ = 0x01,
  CMD_POKE = 0x03,
  CMD_DUMP_MEMORY = 0x04,
  CMD_FREEZE = 0x06,
  CMD_UNFREEZE = 0x07,
  CMD_SET_DABR = 0x09,
  CMD_SET_IABR = 0x10,
  CMD_GRAB_SCREEN = 0x11,
  CMD_HOOK_VBLANK_WAIT = 0x13,
  CMD_UPLOAD_DOL = 0x14,
  CMD_CARD_LIST = 0x15,
  CMD_CARD_DOWNLOAD_SAVE = 0x16,
  CMD_CARD_ERASE = 0x17,
  CMD_FLASH_FIRMWARE = 0x18,
  CMD_DUMP_BIOS = 0x19,
  CMD_DUMP_DRIVE_ROM = 0x21,
  CMD_DVD_GAMECUBE = 0x22,
  CMD_UPLOAD_ELF = 0x24,
  CMD_DUMP_DRIVE_IRAM = 0x25,
  CMD_DUMP_DRIVE_ERAM = 0x26,
  CMD_DUMP_SRAM = 0x27,
  CMD_UPLOAD_MOD = 0x28,
  CMD_UPLOAD_MP3 = 0x29,
  CMD_READ_REGISTERS = 0x30,
  CMD_READ_MEMORY = 0x31,
  CMD_CARD_UPLOAD_SAVE = 0x32,
  CMD_HOOK_VBLANK_SET_NEXT = 0x33,
  CMD_HOOK_NONE = 0x34,
  CMD_FILL_MEMORY = 0x35,
  CMD_NAND_DUMP_2048 = 0x37,
  CMD_NAND_DUMP_2112 = 0x38,
  CMD_DVD_WII_DUAL = 0x40,
  CMD_UPLOAD_CODE = 0x41,
  CMD_HOOK_WII = 0x42,
  CMD_DVD_WII_SINGLE = 0x63,
  CMD_STOP = 0xBA,
};

// The client's answer to each block of a download.
enum BlockAnswer : uint8_t {
  ACK_BLOCK = 0xAA,    // stored; send the next
  RETRY_BLOCK = 0xBB,  // short or bad checksum; send the same again
};

enum Reply : uint8_t {
  REPLY_ACK = 0xAA,
  REPLY_READY = 0xCC,
  REPLY_WII_DETECTED = 0xDD,
  REPLY_FAIL = 0xFF,
  REPLY_CARD_NO_CARD = 0xFA,
  REPLY_CARD_INIT_ERROR = 0xFB,
  REPLY_CARD_MOUNT_ERROR = 0xFC,
  REPLY_CARD_ENTRY_ERROR = 0xFD,
  REPLY_CARD_SECTOR_SIZE_ERROR = 0xFE,
  REPLY_CARD_OPEN_ERROR = 0xEF,
  REPLY_CARD_STATUS_ERROR = 0xED,
  REPLY_CARD_DONE = 0xEE,
  REPLY_CARD_ERASE_ERROR = 0xEB,
  REPLY_CARD_FILE_EXISTS = 0xEA,
  REPLY_CARD_CREATE_ERROR = 0xE9,
  REPLY_CARD_WRITE_ERROR = 0xE8,
  REPLY_CARD_SET_STATUS_ERROR = 0xE7,
};

struct CommandInfo {
  Command command;
  const char* name;
  const char* purpose;
};

// The command table, in byte order, for tools that list or describe commands.
std::span<const CommandInfo> AllCommands();
const CommandInfo* FindCommand(uint8_t byte);

}  // namespace zemlo
