// The save chosen in the memory card tool's list, as the one index byte the console takes.
#pragma once

#include <cstdint>
#include <optional>

namespace zemlo {

inline constexpr char kCaptionMemcardError[] = "Memcard Error";
inline constexpr char kMsgNoSaveSelected[] = "No Game Save selected";

// The list's selected position. Nothing, after "No Game Save selected", when no line is selected
// or the position does not fit the one byte that carries it: sending only its low 8 bits would
// name a different save.
std::optional<uint8_t> SelectedSaveIndex();

}  // namespace zemlo
