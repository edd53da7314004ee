// The memory tool window below its widgets: the view state kept for the whole run, the page
// displays (25 list lines of hex or disassembly read with one 0x31 exchange), and the window's
// buttons. The window (and the command line) only hands over box texts and calls these.
#pragma once

#include <array>
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

// What a hex line shows after its address: the bytes (the line as it always was), or the same
// 8 bytes as two big-endian words or two floats.
enum HexColumns : int { kColumnsBytes = 0, kColumnsU32 = 1, kColumnsF32 = 2 };

// Created once per run; neither opening nor closing the window resets it.
struct MemoryView {
  int mode = kModeAsm;
  uint32_t windowAddress = kDefaultWindowAddress;  // base of the paging buttons, wraps mod 2^32
  uint32_t pageAddress = 0;                        // what the next page display reads
  int addressTextLength = 0;                       // goto text length at the last ASM/HEX
  int hexColumns = kColumnsBytes;
  // The page the list shows (valid once one was shown), so that a live refresh can tell what
  // changed and a new column choice or symbol map can redraw it without reading again.
  bool pageShown = false;
  std::array<uint8_t, 200> page{};
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

// List line `line` of `page` (read at g_memoryView.pageAddress) in the view and columns chosen.
std::string PageLine(const uint8_t* page, int line);

// The characters of a list line that show one unit of it: a byte or a word in the hex view, the
// line's word in the assembler view (length -1: the whole line).
struct LineUnits {
  uint32_t unitSize;  // bytes per unit
  int count;          // units per line
  int first;          // column of the first unit
  int stride;         // columns from one unit to the next
  int width;
};
LineUnits PageLineUnits();

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
