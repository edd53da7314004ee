// Listing and erasing the saves of the memory card in slot A. Both work on the list of the memory
// card tool through the UI port: a line's position in the list is the save's index on the console.
// The caller purges the link before each (as the dialog's buttons do).
#pragma once

namespace zemlo {

// Fills the list with one "Game Save: NAME" line per save, in the order the console sends them.
// Always returns 0, also after a complete listing.
int ListCard();

// Erases the save at the list's selected position and empties the list. 1 when the console said
// it is erased, 0 otherwise.
int EraseCardSave();

}  // namespace zemlo
