#include "debugger/memory_view.h"

#include <array>
#include <bit>
#include <cstdio>

#include "debugger/memory_ops.h"
#include "disasm/asm_line.h"
#include "disasm/symbol_map.h"
#include "link/bytes.h"
#include "protocol/commands.h"
#include "protocol/messages.h"
#include "protocol/steps.h"

namespace zemlo {

MemoryView g_memoryView;
PokeInputs g_pokeInputs;

namespace {

using Page = std::array<uint8_t, kMemoryPageSize>;

// Reads the page at g_memoryView.pageAddress. Nothing after a message.
std::optional<Page> ReadPage() {
  if (!RequireConnected(MessageOwner::Dialog)) return std::nullopt;
  if (g_memoryView.addressTextLength != 8) {
    ShowError(kMsgMemoryAddressSize, kCaptionRangeError);
    return std::nullopt;
  }
  if (!SendCommand(CMD_READ_MEMORY)) return std::nullopt;
  if (SendHeader({g_memoryView.pageAddress}) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgSendMemoryAddress);
    return std::nullopt;
  }
  Page page{};
  if (ReadExact(page.data(), kMemoryPageSize) != TRANSFER_COMPLETE) {
    ShowUsbError(kMsgReceivePacket);
    return std::nullopt;
  }
  return page;
}

uint32_t PagingStep() {
  return g_memoryView.mode == kModeHex ? kHexPageStep : kAsmPageStep;
}

int ShowPageOfMode() {
  return g_memoryView.mode == kModeHex ? ShowHexPage() : ShowAsmPage();
}

// "ASM" and "HEX": the goto text becomes the address when it holds a number, even if its length
// then makes the page display refuse it.
int GotoAndShow(int mode, std::string_view gotoText) {
  g_memoryView.mode = mode;
  HexInput input{0, g_memoryView.pageAddress};
  input.Take(gotoText);
  g_memoryView.addressTextLength = input.CheckedLength();
  g_memoryView.pageAddress = input.value;
  g_memoryView.windowAddress = g_memoryView.pageAddress;
  return ShowPageOfMode();
}

int PageBy(bool down) {
  g_memoryView.addressTextLength = 8;
  // Unsigned arithmetic: paging past either end wraps around modulo 2^32.
  g_memoryView.windowAddress += down ? PagingStep() : 0u - PagingStep();
  g_memoryView.pageAddress = g_memoryView.windowAddress;
  return ShowPageOfMode();
}

}  // namespace

std::string FormatHexLine(uint32_t address, const uint8_t* bytes) {
  char line[64];
  std::snprintf(line, sizeof line,
                "0x%08X %02X %02X %02X %02X %02X %02X %02X %02X %c%c%c%c%c%c%c%c", address,
                bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                PrintableChar(bytes[0]), PrintableChar(bytes[1]), PrintableChar(bytes[2]),
                PrintableChar(bytes[3]), PrintableChar(bytes[4]), PrintableChar(bytes[5]),
                PrintableChar(bytes[6]), PrintableChar(bytes[7]));
  return line;
}

std::string FormatAsmLine(uint32_t address, uint32_t word) {
  return asm_line(address, word);
}

namespace {

float WordAsFloat(const uint8_t* bytes) {
  return std::bit_cast<float>(ReadBE32(bytes));
}

std::string FormatTypedHexLine(uint32_t address, const uint8_t* bytes) {
  char line[96];
  if (g_memoryView.hexColumns == kColumnsU32) {
    std::snprintf(line, sizeof line, "0x%08X %08X %08X %c%c%c%c%c%c%c%c", address, ReadBE32(bytes),
                  ReadBE32(bytes + 4), PrintableChar(bytes[0]), PrintableChar(bytes[1]),
                  PrintableChar(bytes[2]), PrintableChar(bytes[3]), PrintableChar(bytes[4]),
                  PrintableChar(bytes[5]), PrintableChar(bytes[6]), PrintableChar(bytes[7]));
  } else {
    std::snprintf(line, sizeof line, "0x%08X %15.7g %15.7g", address, WordAsFloat(bytes),
                  WordAsFloat(bytes + 4));
  }
  return line;
}

std::string AsmPageLine(const uint8_t* page, int line) {
  PpcDisasmRecord record;
  char text[kMaxAsmLine];
  const uint32_t offset = 4u * static_cast<uint32_t>(line);
  record.address = g_memoryView.pageAddress + offset;
  record.word = ReadBE32(page + offset);
  ppc_disassemble(&record);
  std::string shown(text, format_asm_line(text, record));
  if (const std::shared_ptr<const SymbolMap> map = LoadedSymbolMap()) {
    shown = map->Annotate(std::move(shown), record.address, record.word);
  }
  return shown;
}

std::string LineOfView(int mode, const uint8_t* page, int line) {
  if (mode != kModeHex) return AsmPageLine(page, line);
  const uint32_t offset = 8u * static_cast<uint32_t>(line);
  const uint32_t address = g_memoryView.pageAddress + offset;
  return g_memoryView.hexColumns == kColumnsBytes ? FormatHexLine(address, page + offset)
                                                  : FormatTypedHexLine(address, page + offset);
}

int ShowPage(int mode, const Page& page) {
  g_memoryView.page = page;
  g_memoryView.pageShown = true;
  Ui().ListClear();
  for (int i = 0; i < kMemoryPageLines; ++i) Ui().ListInsert(i, LineOfView(mode, page.data(), i));
  return 1;
}

}  // namespace

std::string PageLine(const uint8_t* page, int line) {
  return LineOfView(g_memoryView.mode, page, line);
}

LineUnits PageLineUnits() {
  // Columns as the formats above lay them out behind "0x%08X ".
  static constexpr LineUnits kHex[] = {{1, 8, 11, 3, 2}, {4, 2, 11, 9, 8}, {4, 2, 11, 16, 15}};
  if (g_memoryView.mode != kModeHex) return {4, 1, 0, 0, -1};
  return kHex[g_memoryView.hexColumns == kColumnsU32 || g_memoryView.hexColumns == kColumnsF32
                  ? g_memoryView.hexColumns
                  : kColumnsBytes];
}

int ShowHexPage() {
  const std::optional<Page> page = ReadPage();
  return page ? ShowPage(kModeHex, *page) : 0;
}

int ShowAsmPage() {
  const std::optional<Page> page = ReadPage();
  return page ? ShowPage(kModeAsm, *page) : 0;
}

int OnAsmPressed(std::string_view gotoText) {
  return GotoAndShow(kModeAsm, gotoText);
}
int OnHexPressed(std::string_view gotoText) {
  return GotoAndShow(kModeHex, gotoText);
}
int OnPageDown() {
  return PageBy(true);
}
int OnPageUp() {
  return PageBy(false);
}

int OnPokePressed(std::string_view addressText, std::string_view valueText) {
  g_pokeInputs.address.Take(addressText);
  g_pokeInputs.value.Take(valueText);
  return PokeMemory(g_pokeInputs.address.CheckedLength(), g_pokeInputs.address.value,
                    g_pokeInputs.value.textLength, g_pokeInputs.value.value);
}

}  // namespace zemlo
