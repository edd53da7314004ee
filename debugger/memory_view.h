// The memory tool window below its widgets: the view state kept for the whole run, the page
// displays (25 list lines of hex or disassembly read with one 0x31 exchange), and the window's
// buttons. The window (and the command line) only hands over box texts and calls these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "debugger/hex_parse.h"
#include "debugger/memory_ops.h"

namespace zemlo {

enum MemoryViewMode : int { kModeAsm = 0, kModeHex = 1 };

inline constexpr uint32_t kMemoryPageSize = 200;
inline constexpr int kMemoryPageLines = 25;
inline constexpr uint32_t kHexPageStep = 200;  // 25 lines of 8 bytes
inline constexpr uint32_t kAsmPageStep = 100;  // 25 words; the second half of a page goes unseen
inline constexpr uint32_t kDefaultWindowAddress = 0x80003100;

// What the edit boxes hold when the window opens.
inline constexpr char kDefaultGotoText[] = "80003100";
inline constexpr char kDefaultPokeAddressText[] = "80003100";
inline constexpr char kDefaultPokeValueText[] = "00000000";

inline constexpr char kMsgSendMemoryAddress[] =
    "Error sending memory address. Please check connection and retry";
inline constexpr char kMsgReceivePacket[] = "Error: Couldn't Receive packet";

// Created once per run; neither opening nor closing the window resets it.
struct MemoryView {
  int mode = kModeAsm;
  uint32_t windowAddress = kDefaultWindowAddress;  // base of the paging buttons, wraps mod 2^32
  uint32_t pageAddress = 0;                        // what the next page display reads
  int addressTextLength = 0;                       // goto text length at the last ASM/HEX
};
extern MemoryView g_memoryView;

// The poke boxes' last lengths and numbers (each number kept when a text holds none).
struct PokeInputs {
  HexInput address;
  HexInput value;
};
extern PokeInputs g_pokeInputs;

// One list line of each view. `bytes` holds the line's 8 bytes in memory order.
std::string FormatHexLine(uint32_t address, const uint8_t* bytes);
std::string FormatAsmLine(uint32_t address, uint32_t word);

// Reads the page at g_memoryView.pageAddress and shows it in the list box. 1 when shown; 0
// after a message (the list then keeps its lines).
int ShowHexPage();
int ShowAsmPage();

// The window's buttons. Each returns what the page display or the poke returned.
int OnAsmPressed(std::string_view gotoText);
int OnHexPressed(std::string_view gotoText);
int OnPageDown();
int OnPageUp();
int OnPokePressed(std::string_view addressText, std::string_view valueText);

}  // namespace zemlo
