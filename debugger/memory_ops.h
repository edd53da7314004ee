// Poke one word, fill a range, dump a range to a file: the memory operations of the running,
// hooked game. Addresses and values arrive with the length of the text they were typed as;
// only texts of exactly 8 characters are accepted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "debugger/hex_parse.h"
#include "link/ui_port.h"

namespace zemlo {

inline constexpr uint32_t kDumpPacketSize = 0xF800;  // 63,488 bytes
inline constexpr uint32_t kDumpTimeoutMs = 20000;    // set once the range is out; left so

inline constexpr char kMsgMemoryAddressSize[] = "Memory address is incorrect size";
inline constexpr char kMsgPokeValueSize[] = "Poke Value is not DWORD size";
inline constexpr char kMsgPokeSendAddress[] = "Error: Couldn't send memory address";
inline constexpr char kMsgEndBelowStart[] = "End address should be higher than the Start address";
inline constexpr char kMsgFillNotHooked[] = "Couldn't Fill Memory. Make sure game is hooked";
inline constexpr char kMsgDumpNotHooked[] = "Couldn't Dump Memory. Make sure game is hooked";
inline constexpr char kMsgWriteToFile[] = "Error: Couldn't write to file";
inline constexpr char kMsgDumpLastPart[] = "Error: Couldn't send the last packet bytes";
inline constexpr char kMsgDumpFinished[] = "Finished dumping Memory to file";

// The dump's save-file dialog.
const FileRequest& DumpFileRequest();

// 1 when the command and the 8 bytes went out; 0 after a message. No purge, no reply.
int PokeMemory(int addressTextLength, uint32_t address, int valueTextLength, uint32_t value);

// 1 when the console took the range; 0 after a message.
int FillMemory(int startTextLength, uint32_t start, int endTextLength, uint32_t end);

// Asks for the output file, then dumps [start, end) into it. 1 on success, 2 when no file was
// chosen (nothing shown), 0 after a message.
int DumpMemory(int startTextLength, uint32_t start, int endTextLength, uint32_t end);
// The part after the file choice, for a path given directly (same checks, same results).
int DumpMemoryToPath(const std::string& path, uint32_t start, uint32_t end);

// The boxes of the fill and dump dialogs, kept for the run.
struct RangeInputs {
  HexInput start;
  HexInput end;
};
extern RangeInputs g_fillInputs;
extern RangeInputs g_dumpInputs;

// "Fill Memory" and "Dump Memory": take both texts, purge, run the operation.
int OnFillMemoryPressed(std::string_view startText, std::string_view endText);
int OnDumpMemoryPressed(std::string_view startText, std::string_view endText);

}  // namespace zemlo
