// The breakpoint tool's operations: the data (DABR) and instruction (IABR) hardware breakpoints
// of the console's processor, and the register block the console-side program reports once a
// breakpoint has frozen the game. A dialog (or the command line) gathers the inputs and calls one
// of these; each drops stale adapter bytes first, as the tool's buttons do, and shows its own
// outcome through Ui().
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zemlo {

// Type bits OR-ed into a breakpoint address to form the word the console loads into the register.
inline constexpr uint32_t kDabrRead = 5;       // translation enable 4, read 1
inline constexpr uint32_t kDabrWrite = 6;      // translation enable 4, write 2
inline constexpr uint32_t kDabrReadWrite = 7;  // both
inline constexpr uint32_t kIabrBits = 3;       // breakpoint enable 2, translation enable 1

// True when `address` lies in cached or uncached main memory or in the hardware registers, the
// only places a breakpoint may be set.
bool BreakpointAddressInRange(uint32_t address);

// `addressText` is the edit box text (exactly 8 hexadecimal characters are accepted). Result 1
// when the breakpoint was sent, 0 after a message saying why not.
int SetDataBreakpoint(std::string_view addressText, bool read, bool write);
int SetInstructionBreakpoint(std::string_view addressText);

// Load a word into the DABR or IABR as it is (0 clears either), with no message and no purge:
// for a caller that keeps the breakpoints itself. False when the word did not go out whole.
bool SendDataBreakpointWord(uint32_t word);
bool SendInstructionBreakpointWord(uint32_t word);

inline constexpr int kRegisterCount = 40;

// One word of the register block, in the order the console sends them: the label the tool shows
// beside the value and the id of the tool's control that holds the value.
struct RegisterField {
  const char* label;
  int controlId;
};

inline constexpr std::array<RegisterField, kRegisterCount> kRegisterFields{{
    {"CR:", 1067},   {"XER:", 1071},  {"CTR:", 1072}, {"DSISR:", 1068},   {"DAR:", 1073},
    {"SRR0:", 1069}, {"SRR1:", 1070}, {"R0:", 1035},  {"(SP) R1:", 1036}, {"R2:", 1037},
    {"R3:", 1038},   {"R4:", 1039},   {"R5:", 1040},  {"R6:", 1041},      {"R7:", 1042},
    {"R8:", 1043},   {"R9:", 1044},   {"R10:", 1045}, {"R11:", 1046},     {"R12:", 1047},
    {"R13:", 1048},  {"R14:", 1049},  {"R15:", 1050}, {"R16:", 1051},     {"R17:", 1052},
    {"R18:", 1053},  {"R19:", 1054},  {"R20:", 1055}, {"R21:", 1056},     {"R22:", 1057},
    {"R23:", 1058},  {"R24:", 1059},  {"R25:", 1060}, {"R26:", 1061},     {"R27:", 1062},
    {"R28:", 1063},  {"R29:", 1064},  {"R30:", 1065}, {"R31:", 1066},     {"LR:", 1076},
}};

using RegisterValues = std::array<uint32_t, kRegisterCount>;

struct RegisterReadout {
  int result = 0;  // 1 unless a message was shown
  // Set only when the whole block arrived; otherwise the shown values are to stay as they were.
  std::optional<RegisterValues> values;
};

RegisterReadout RetrieveRegisters();
// The register block with no purge and no message, for a caller that polls it: a purge would
// drop a command the console has not read yet. Nothing when it did not arrive whole (the link
// is then purged, so that a late remainder cannot pass for the next answer).
std::optional<RegisterValues> ReadRegisterBlock();

// The text shown for one register value: 8 upper-case hexadecimal digits.
std::string FormatRegisterValue(uint32_t value);

// "LABEL VALUE" for word `index` of `values`, e.g. "CR: 22000084".
std::string RegisterLine(const RegisterValues& values, int index);

}  // namespace zemlo
