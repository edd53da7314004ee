#pragma once

// Name tables of the decoder. Each is data the families index directly.

#include <array>
#include <cstdint>
#include <string_view>

#include "disasm/fixed_text.h"

namespace zemlo {

// General-purpose register names; 1, 2 and 13 always print by their ABI role.
inline constexpr std::array<std::string_view, 32> gpr_names = {
    "r0",  "sp",  "sd2", "r3",  "r4",  "r5",  "r6",  "r7",  "r8",  "r9",  "r10",
    "r11", "r12", "sd1", "r14", "r15", "r16", "r17", "r18", "r19", "r20", "r21",
    "r22", "r23", "r24", "r25", "r26", "r27", "r28", "r29", "r30", "r31"};

// The register names again, padded for the appenders: every operand has one or more.
template <std::size_t Count>
constexpr std::array<PaddedText, Count> numbered_names(std::string_view prefix) {
  std::array<PaddedText, Count> names{};
  for (std::size_t i = 0; i < Count; ++i) {
    char text[8] = {};
    std::size_t n = 0;
    for (char c : prefix) text[n++] = c;
    if (i >= 10) text[n++] = static_cast<char>('0' + i / 10);
    text[n++] = static_cast<char>('0' + i % 10);
    names[i] = padded(std::string_view(text, n));
  }
  return names;
}

inline constexpr auto kGprNames = [] {
  std::array<PaddedText, 32> names{};
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = padded(gpr_names[i]);
  return names;
}();
inline constexpr auto kFprNames = numbered_names<32>("fr");
inline constexpr auto kCrfNames = numbered_names<8>("cr");
inline constexpr PaddedText kSeparator = padded(", ");

// Trap condition by TO; an empty name means the generic "tw TO, ..." form.
inline constexpr std::array<std::string_view, 32> trap_conditions = {
    "",   "lgt", "llt", "", "eq", "lge", "lle", "", "gt", "", "", "", "ge", "", "", "",
    "lt", "",    "",    "", "le", "",    "",    "", "ne", "", "", "", "",   "", "", ""};

// Condition of a conditional branch, by ((BO >> 1) & 4) | (BI & 3).
inline constexpr std::array<std::string_view, 8> branch_conditions = {"ge", "le", "ne", "ns",
                                                                      "lt", "gt", "eq", "so"};

// Count-register condition by BO >> 1; an empty name means the generic "bc" form.
inline constexpr std::array<std::string_view, 16> ctr_conditions = {
    "dnzf", "dzf", "", "", "dnzt", "dzt", "", "", "dnz", "dz", "", "", "", "", "", ""};

// Branch mnemonic suffix by LK | AA << 1.
inline constexpr std::array<std::string_view, 4> branch_suffixes = {"", "l", "a", "la"};

// Paired-single compare suffix by bits 6-7.
inline constexpr std::array<std::string_view, 4> ps_compare_suffixes = {"u0", "o0", "u1", "o1"};

// Register lists of the floating-point builder: the bit positions of the fields printed, in
// order. Form 0 is unused.
struct FloatForm {
  std::uint8_t count;
  std::array<std::uint8_t, 4> shifts;
};
inline constexpr std::array<FloatForm, 6> float_forms = {{
    {0, {}},
    {3, {21, 16, 11}},     // 1: frD, frA, frB
    {2, {21, 11}},         // 2: frD, frB
    {3, {21, 16, 6}},      // 3: frD, frA, frC
    {4, {21, 16, 6, 11}},  // 4: frD, frA, frC, frB
    {1, {21}},             // 5: frD
}};

struct SprName {
  std::uint16_t number;
  std::string_view name;
};
inline constexpr SprName spr_names[] = {
    {18, "DSISR"},   {19, "DAR"},     {22, "DEC"},     {25, "SDR1"},    {26, "SRR0"},
    {27, "SRR1"},    {272, "SPRG0"},  {273, "SPRG1"},  {274, "SPRG2"},  {275, "SPRG3"},
    {282, "EAR"},    {284, "TBL"},    {285, "TBU"},    {287, "PVR"},    {528, "IBAT0U"},
    {529, "IBAT0L"}, {530, "IBAT1U"}, {531, "IBAT1L"}, {532, "IBAT2U"}, {533, "IBAT2L"},
    {534, "IBAT3U"}, {535, "IBAT3L"}, {536, "DBAT0U"}, {537, "DBAT0L"}, {538, "DBAT1U"},
    {539, "DBAT1L"}, {540, "DBAT2U"}, {541, "DBAT2L"}, {542, "DBAT3U"}, {543, "DBAT3L"},
    {912, "GQR0"},   {913, "GQR1"},   {914, "GQR2"},   {915, "GQR3"},   {916, "GQR4"},
    {917, "GQR5"},   {918, "GQR6"},   {919, "GQR7"},   {920, "HID2"},   {921, "WPAR"},
    {922, "DMAU"},   {923, "DMAL"},   {936, "UMMCR0"}, {937, "UPMC1"},  {938, "UPMC2"},
    {939, "USIA"},   {940, "UMMCR1"}, {941, "UPMC3"},  {942, "UPMC4"},  {943, "USDA"},
    {952, "MMCR0"},  {953, "PMC1"},   {954, "PMC2"},   {955, "SIA"},    {956, "MMCR1"},
    {957, "PMC3"},   {958, "PMC4"},   {959, "SDA"},    {1008, "HID0"},  {1009, "HID1"},
    {1010, "IABR"},  {1013, "DABR"},  {1017, "L2CR"},  {1019, "ICTC"},  {1020, "THRM1"},
    {1021, "THRM2"}, {1022, "THRM3"},
};

// Name of special register `spr` (0-1023), or empty when it has none.
std::string_view spr_name(std::uint32_t spr);

}  // namespace zemlo
