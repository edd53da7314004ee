#include "disc/disc_header.h"

#include <map>

#include "link/bytes.h"

namespace zemlo::disc {
namespace {

constexpr size_t kEntrySize = 12;

void PutEntry(std::vector<uint8_t>& table, size_t index, bool folder, uint32_t nameOffset,
              uint32_t second, uint32_t third) {
  uint8_t* entry = &table[index * kEntrySize];
  WriteBE32(entry, (folder ? 0x01000000u : 0u) | nameOffset);
  WriteBE32(entry + 4, second);
  WriteBE32(entry + 8, third);
}

}  // namespace

std::vector<uint8_t> BuildFst(std::span<const FstFile> files, unsigned offsetShift) {
  // Entries in the order a depth-first walk meets them: a folder's entry, then everything in it.
  struct Node {
    std::map<std::string, Node> folders;
    std::vector<const FstFile*> files;
  };
  Node root;
  for (const FstFile& file : files) {
    Node* node = &root;
    size_t start = 0;
    for (size_t slash; (slash = file.path.find('/', start)) != std::string::npos;
         start = slash + 1) {
      node = &node->folders[file.path.substr(start, slash - start)];
    }
    node->files.push_back(&file);
  }
  struct Entry {
    bool folder;
    std::string name;
    uint32_t parent;
    const FstFile* file;
    size_t end = 0;
  };
  std::vector<Entry> entries{{true, "", 0, nullptr}};
  auto walk = [&](auto& self, const Node& node, uint32_t parent) -> void {
    for (const FstFile* file : node.files) {
      entries.push_back({false, file->path.substr(file->path.rfind('/') + 1), parent, file});
    }
    for (const auto& [name, child] : node.folders) {
      const size_t index = entries.size();
      entries.push_back({true, name, parent, nullptr});
      self(self, child, static_cast<uint32_t>(index));
      entries[index].end = entries.size();
    }
  };
  walk(walk, root, 0);
  entries[0].end = entries.size();

  std::vector<uint8_t> table(entries.size() * kEntrySize);
  std::string names;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    const uint32_t nameOffset = static_cast<uint32_t>(names.size());
    if (i != 0) names.append(entry.name).push_back('\0');
    if (entry.folder) {
      PutEntry(table, i, true, i == 0 ? 0 : nameOffset, entry.parent,
               static_cast<uint32_t>(entry.end));
    } else {
      PutEntry(table, i, false, nameOffset,
               static_cast<uint32_t>(entry.file->offset >> offsetShift), entry.file->size);
    }
  }
  table.insert(table.end(), names.begin(), names.end());
  return table;
}

std::vector<FstFile> ParseFst(std::span<const uint8_t> fst, unsigned offsetShift) {
  if (fst.size() < kEntrySize) return {};
  const size_t count = ReadBE32(&fst[8]);
  if (count == 0 || count > fst.size() / kEntrySize) return {};
  const size_t namesAt = count * kEntrySize;
  auto name = [&](uint32_t offset) {
    std::string text;
    for (size_t at = namesAt + offset; at < fst.size() && fst[at] != 0; ++at) {
      text.push_back(static_cast<char>(fst[at]));
    }
    return text;
  };
  std::vector<FstFile> files;
  // Open folders as (end index, path prefix).
  std::vector<std::pair<size_t, std::string>> folders{{count, ""}};
  for (size_t i = 1; i < count; ++i) {
    while (folders.size() > 1 && i >= folders.back().first) folders.pop_back();
    const uint8_t* entry = &fst[i * kEntrySize];
    const uint32_t first = ReadBE32(entry);
    const std::string path = folders.back().second + name(first & 0xFFFFFF);
    if (first >> 24) {
      const size_t end = ReadBE32(entry + 8);
      if (end <= i || end > count) return {};
      folders.emplace_back(end, path + "/");
    } else {
      files.push_back({path, uint64_t{ReadBE32(entry + 4)} << offsetShift, ReadBE32(entry + 8)});
    }
  }
  return files;
}

}  // namespace zemlo::disc
