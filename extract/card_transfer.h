// Moving whole saves between the memory card in slot A and files: download of the save selected in
// the memory card tool's list into a GCI file, and upload of a GCI or Game Shark(tm) save file as a
// new save. The caller purges the link before each (as the dialog's buttons do).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zemlo {

// Results of the transfers.
inline constexpr int kCardTransferFailed = 0;
inline constexpr int kCardTransferDone = 1;
inline constexpr int kCardTransferCancelled = 2;  // the user cancelled the file choice

inline constexpr uint32_t kCardPacketSize = 0xF800;       // 63,488 bytes, no checksum
inline constexpr uint32_t kCardDirectoryEntrySize = 64;   // heads every GCI file
inline constexpr uint64_t kCardUploadLimit = 19'910'656;  // whole file, header included
inline constexpr uint32_t kGameSharkHeaderSize = 0x110;   // 272 bytes
inline constexpr char kGameSharkMagic[] = "GCSAVE";       // first six bytes of that header

// The user chooses the GCI file to write; the list's selected position is the save's index. 1 when
// the file holds the whole save, 0 on failure (the file stays as far as written), 2 on cancel.
int DownloadCardSave();

// The user chooses a GCI or Game Shark(tm) save file; it becomes a new save on the card and the
// list is emptied. 1 when the console reports the save written, 0 on failure, 2 on cancel.
int UploadCardSave();

// What of a save file goes to the card, decided by content alone: a file that begins with
// "GCSAVE" loses its 272-byte Game Shark(tm) header, any other file goes whole. Nothing when the
// file begins with "GCSAVE" but is too short to hold that header.
std::optional<std::span<const uint8_t>> CardSaveData(std::span<const uint8_t> file);

}  // namespace zemlo
