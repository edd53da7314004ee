#include "protocol/commands.h"

#include <algorithm>
#include <array>

namespace zemlo {
namespace {

constexpr std::array kCommands{
    CommandInfo{CMD_HOOK_PAD_READ, "CMD_HOOK_PAD_READ", "start the game with the pad read hook"},
    CommandInfo{CMD_POKE, "CMD_POKE", "write one word of memory"},
    CommandInfo{CMD_DUMP_MEMORY, "CMD_DUMP_MEMORY", "dump an address range"},
    CommandInfo{CMD_FREEZE, "CMD_FREEZE", "freeze the running game"},
    CommandInfo{CMD_UNFREEZE, "CMD_UNFREEZE", "let the frozen game run on"},
    CommandInfo{CMD_SET_DABR, "CMD_SET_DABR", "set the data breakpoint"},
    CommandInfo{CMD_SET_IABR, "CMD_SET_IABR", "set the instruction breakpoint"},
    CommandInfo{CMD_GRAB_SCREEN, "CMD_GRAB_SCREEN", "grab the frame buffer"},
    CommandInfo{CMD_HOOK_VBLANK_WAIT, "CMD_HOOK_VBLANK_WAIT", "start with the vblank wait hook"},
    CommandInfo{CMD_UPLOAD_DOL, "CMD_UPLOAD_DOL", "upload a DOL executable"},
    CommandInfo{CMD_CARD_LIST, "CMD_CARD_LIST", "list the memory card saves"},
    CommandInfo{CMD_CARD_DOWNLOAD_SAVE, "CMD_CARD_DOWNLOAD_SAVE", "download a save as GCI"},
    CommandInfo{CMD_CARD_ERASE, "CMD_CARD_ERASE", "erase a save"},
    CommandInfo{CMD_FLASH_FIRMWARE, "CMD_FLASH_FIRMWARE", "flash adapter firmware"},
    CommandInfo{CMD_DUMP_BIOS, "CMD_DUMP_BIOS", "dump the BIOS"},
    CommandInfo{CMD_DUMP_DRIVE_ROM, "CMD_DUMP_DRIVE_ROM", "dump the drive firmware"},
    CommandInfo{CMD_DVD_GAMECUBE, "CMD_DVD_GAMECUBE", "extract a GameCube disc"},
    CommandInfo{CMD_UPLOAD_ELF, "CMD_UPLOAD_ELF", "upload an ELF executable"},
    CommandInfo{CMD_DUMP_DRIVE_IRAM, "CMD_DUMP_DRIVE_IRAM", "dump the drive IRAM"},
    CommandInfo{CMD_DUMP_DRIVE_ERAM, "CMD_DUMP_DRIVE_ERAM", "dump the drive ERAM"},
    CommandInfo{CMD_DUMP_SRAM, "CMD_DUMP_SRAM", "dump the SRAM"},
    CommandInfo{CMD_UPLOAD_MOD, "CMD_UPLOAD_MOD", "upload a MOD to play"},
    CommandInfo{CMD_UPLOAD_MP3, "CMD_UPLOAD_MP3", "upload an MP3 to play"},
    CommandInfo{CMD_READ_REGISTERS, "CMD_READ_REGISTERS", "fetch the register block"},
    CommandInfo{CMD_READ_MEMORY, "CMD_READ_MEMORY", "fetch a 200-byte memory page"},
    CommandInfo{CMD_CARD_UPLOAD_SAVE, "CMD_CARD_UPLOAD_SAVE", "write a save onto the card"},
    CommandInfo{CMD_HOOK_VBLANK_SET_NEXT, "CMD_HOOK_VBLANK_SET_NEXT",
                "start with the vblank set next hook"},
    CommandInfo{CMD_HOOK_NONE, "CMD_HOOK_NONE", "start with no hooks"},
    CommandInfo{CMD_FILL_MEMORY, "CMD_FILL_MEMORY", "fill an address range"},
    CommandInfo{CMD_NAND_DUMP_2048, "CMD_NAND_DUMP_2048", "dump the NAND, 2048-byte pages"},
    CommandInfo{CMD_NAND_DUMP_2112, "CMD_NAND_DUMP_2112", "dump the NAND with ECC data"},
    CommandInfo{CMD_DVD_WII_DUAL, "CMD_DVD_WII_DUAL", "extract a dual-layer Wii disc"},
    CommandInfo{CMD_UPLOAD_CODE, "CMD_UPLOAD_CODE", "upload code to an address"},
    CommandInfo{CMD_HOOK_WII, "CMD_HOOK_WII", "start with the Wii game hooks"},
    CommandInfo{CMD_DVD_WII_SINGLE, "CMD_DVD_WII_SINGLE", "extract a single-layer Wii disc"},
    CommandInfo{CMD_STOP, "CMD_STOP", "stop a running extraction"},
};

}  // namespace

std::span<const CommandInfo> AllCommands() {
  return kCommands;
}

const CommandInfo* FindCommand(uint8_t byte) {
  auto it = std::find_if(kCommands.begin(), kCommands.end(),
                         [byte](const CommandInfo& info) { return info.command == byte; });
  return it == kCommands.end() ? nullptr : &*it;
}

}  // namespace zemlo
