// Watch lists on disk: the JSON other memory tools read and write ({"watchList": [...]} with
// groups and entries, and "structDefs" with the struct types), and a CSV export of what the last
// refresh showed.
#pragma once

#include <string>
#include <vector>

#include "live/watch_list.h"

namespace zemlo::live {

// Entries of the file, in file order, each carrying its group's name, and its struct types. On
// failure both are empty and `error` says what is wrong and where.
bool LoadWatchFile(const std::string& path, std::vector<WatchEntry>& out, StructTypes& structs,
                   std::string& error);
bool ParseWatchJson(const std::string& text, std::vector<WatchEntry>& out, StructTypes& structs,
                    std::string& error);

std::string WatchJson(const std::vector<WatchEntry>& entries, const StructTypes& structs);

// One entry's fields as the file writes them, without the braces ("label": ..., "address": ...,
// "lock": ...): the text a user edits by hand. The group is not among them.
std::string EntryFields(const WatchEntry& entry);
// Such text read back into `entry`, as the file's items are read; `error` says what is wrong.
bool ParseEntryFields(const std::string& text, WatchEntry& entry, std::string& error);
bool SaveWatchFile(const std::string& path, const std::vector<WatchEntry>& entries,
                   const StructTypes& structs, std::string& error);

// One line per entry: group, label, address, type, base, pointer offsets, resolved address and
// value as shown.
std::string WatchCsv(const WatchList& list);

}  // namespace zemlo::live
