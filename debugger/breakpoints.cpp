#include "debugger/breakpoints.h"

#include <cstdio>

#include "debugger/hex_parse.h"
#include "link/bytes.h"
#include "link/link.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {
namespace {

constexpr char kMsgDabrRange[] =
    "DABR Address is out of range\nCached memory is 0x80000000 to 0x817fffff\nUncached memory is "
    "0xC0000000 to 0xC17fffff\nHardware Registers are 0xCC000000 to 0xCC008000";
constexpr char kMsgIabrRange[] =
    "IABR Address is out of range\nCached memory is 0x80000000 to 0x817fffff\nUncached memory is "
    "0xC0000000 to 0xC17fffff\nHardware Registers are 0xCC000000 to 0xCC008000";
constexpr char kMsgSelectType[] = "Please select which type of breakpoint for the address";
constexpr char kMsgDabrNotSent[] = "Error sending DABR Address";
constexpr char kMsgIabrNotSent[] = "Error sending IABR Address";
constexpr char kMsgBreakpointSet[] = "Breakpoint Set, Once hit the game will freeze";

struct AddressRange {
  uint32_t first;
  uint32_t last;  // inclusive
};

constexpr AddressRange kBreakpointRanges[] = {
    {0x80000000u, 0x817FFFFFu},  // cached main memory
    {0xC0000000u, 0xC17FFFFFu},  // uncached main memory
    {0xCC000000u, 0xCC008000u},  // hardware registers, up to and including the last address
};

// The address a box holds, or nothing when its text is not 8 characters or lies outside every
// range. The number starts from 0 on every press, so a text without one gives 0 (refused).
std::optional<uint32_t> BreakpointAddress(std::string_view text) {
  if (TextLength(text) != 8) return std::nullopt;
  const uint32_t address = ParseHexPrefix(text).value_or(0);
  if (!BreakpointAddressInRange(address)) return std::nullopt;
  return address;
}

// The command byte and then the word; the console answers neither.
bool SendBreakpoint(uint8_t command, uint32_t word, const char* notSentText) {
  if (!SendCommand(command)) return false;
  if (SendHeader({word}) != TRANSFER_COMPLETE) {
    ShowUsbError(notSentText);
    return false;
  }
  ShowDone(kMsgBreakpointSet);
  return true;
}

}  // namespace

bool BreakpointAddressInRange(uint32_t address) {
  for (const AddressRange& range : kBreakpointRanges) {
    if (address >= range.first && address <= range.last) return true;
  }
  return false;
}

namespace {

bool SendWordQuietly(uint8_t command, uint32_t word) {
  if (!g_connected) return false;
  uint8_t request[5] = {command};
  WriteBE32(request + 1, word);
  return WriteExact(request, sizeof request) == TRANSFER_COMPLETE;
}

RegisterValues DecodeBlock(const uint8_t* block) {
  RegisterValues values{};
  for (int i = 0; i < kRegisterCount; ++i) values[i] = ReadBE32(block + 4 * i);
  return values;
}

}  // namespace

bool SendDataBreakpointWord(uint32_t word) {
  return SendWordQuietly(CMD_SET_DABR, word);
}

bool SendInstructionBreakpointWord(uint32_t word) {
  return SendWordQuietly(CMD_SET_IABR, word);
}

int SetDataBreakpoint(std::string_view addressText, bool read, bool write) {
  PurgeLink();
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const std::optional<uint32_t> address = BreakpointAddress(addressText);
  if (!address) {
    ShowError(kMsgDabrRange, kCaptionRangeError);
    return 0;
  }
  if (!read && !write) {
    ShowError(kMsgSelectType, kCaptionRangeError);
    return 0;
  }
  // The address's own low bits are kept: the console takes the word as it comes.
  const uint32_t type = read && write ? kDabrReadWrite : read ? kDabrRead : kDabrWrite;
  return SendBreakpoint(CMD_SET_DABR, *address | type, kMsgDabrNotSent) ? 1 : 0;
}

int SetInstructionBreakpoint(std::string_view addressText) {
  PurgeLink();
  if (!RequireConnected(MessageOwner::Dialog)) return 0;
  const std::optional<uint32_t> address = BreakpointAddress(addressText);
  if (!address) {
    ShowError(kMsgIabrRange, kCaptionRangeError);
    return 0;
  }
  return SendBreakpoint(CMD_SET_IABR, *address | kIabrBits, kMsgIabrNotSent) ? 1 : 0;
}

RegisterReadout RetrieveRegisters() {
  PurgeLink();
  if (!RequireConnected(MessageOwner::Dialog)) return {};
  if (!SendCommand(CMD_READ_REGISTERS)) return {};
  uint8_t block[kRegisterCount * 4];
  switch (ReadExact(block, sizeof block)) {
    case TRANSFER_FAILED:
      ShowUsbError(kMsgUsbTransmit);
      return {};
    case TRANSFER_SHORT:
      // A partial block says nothing reliable about any register; the values shown stay.
      return {1, std::nullopt};
    case TRANSFER_COMPLETE:
      break;
  }
  return {1, DecodeBlock(block)};
}

std::optional<RegisterValues> ReadRegisterBlock() {
  if (!g_connected) return std::nullopt;
  constexpr uint8_t kCommand = CMD_READ_REGISTERS;
  uint8_t block[kRegisterCount * 4];
  if (WriteExact(&kCommand, 1) != TRANSFER_COMPLETE ||
      ReadExact(block, sizeof block) != TRANSFER_COMPLETE) {
    PurgeLink();
    return std::nullopt;
  }
  return DecodeBlock(block);
}

std::string FormatRegisterValue(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string RegisterLine(const RegisterValues& values, int index) {
  return std::string(kRegisterFields[index].label) + " " + FormatRegisterValue(values[index]);
}

}  // namespace zemlo
