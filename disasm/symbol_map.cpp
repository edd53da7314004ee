#include "disasm/symbol_map.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace zemlo {
namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    at = line.find_first_not_of(" \t\r", at);
    if (at == std::string_view::npos) break;
    const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

template <typename T>
std::optional<T> Number(std::string_view text, int base) {
  T value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool IsCodeSection(std::string_view section) {
  return section == ".init" || section.substr(0, 5) == ".text";
}

// The loaded map is replaced whole, so a reader on another thread keeps the one it took.
std::shared_ptr<const SymbolMap>& Loaded() {
  static std::shared_ptr<const SymbolMap> loaded;
  return loaded;
}
std::mutex& LoadedMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

bool SymbolMap::Parse(std::string_view text) {
  symbols_.clear();
  std::string section;  // empty outside a section layout
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    const std::vector<std::string_view> words = Words(line);
    if (words.size() >= 3 && words[1] == "section" && words[2] == "layout") {
      section = std::string(words[0]);
      continue;
    }
    if (words.size() == 2 && words[0] == "Memory" && words[1] == "map:") {
      section.clear();  // the section table that follows names no symbols
      continue;
    }
    if (section.empty() || words.size() < 4) continue;
    // "offset size virtual-address [alignment] name [object...]": UNUSED lines and headings
    // do not parse as numbers and are passed over.
    const auto size = Number<uint32_t>(words[1], 16);
    const auto address = Number<uint32_t>(words[2], 16);
    if (!Number<uint32_t>(words[0], 16) || !size || !address) continue;
    const bool aligned = words.size() >= 5 && Number<uint32_t>(words[3], 10).has_value();
    const std::string_view name = words[aligned ? 4 : 3];
    // Entries named after a section mark where an object file's part begins, not a symbol.
    if (name.empty() || name.front() == '.') continue;
    symbols_.push_back({*address, *size, std::string(name), IsCodeSection(section)});
  }
  std::stable_sort(symbols_.begin(), symbols_.end(),
                   [](const Symbol& a, const Symbol& b) { return a.address < b.address; });
  return !symbols_.empty();
}

bool SymbolMap::Load(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  if (!Parse(text.str())) {
    if (error) *error = path + " holds no symbols in a section layout";
    return false;
  }
  return true;
}

std::optional<std::string> SymbolMap::Describe(uint32_t address) const {
  auto it =
      std::upper_bound(symbols_.begin(), symbols_.end(), address,
                       [](uint32_t value, const Symbol& symbol) { return value < symbol.address; });
  if (it == symbols_.begin()) return std::nullopt;
  --it;
  const uint32_t offset = address - it->address;
  if (offset == 0) return it->name;
  if (offset >= it->size) return std::nullopt;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "+0x%X", offset);
  return it->name + suffix;
}

const Symbol* SymbolMap::Named(std::string_view name) const {
  for (const Symbol& symbol : symbols_) {
    if (symbol.name == name) return &symbol;
  }
  return nullptr;
}

const Symbol* SymbolMap::FunctionAt(uint32_t address) const {
  auto it =
      std::lower_bound(symbols_.begin(), symbols_.end(), address,
                       [](const Symbol& symbol, uint32_t value) { return symbol.address < value; });
  for (; it != symbols_.end() && it->address == address; ++it) {
    if (it->function) return &*it;
  }
  return nullptr;
}

std::string SymbolMap::Annotate(std::string line, uint32_t address, uint32_t word) const {
  if (const auto target = BranchTarget(address, word)) {
    // Only where the line shows the target: an undecodable word shows none.
    char shown[12];
    std::snprintf(shown, sizeof shown, "0x%08X", *target);
    const auto name = Describe(*target);
    if (name && line.size() > 24 && line.compare(line.size() - 10, 10, shown) == 0) {
      line += " <" + *name + ">";
    }
  }
  if (const Symbol* function = FunctionAt(address)) line += "  ; " + function->name + ":";
  return line;
}

std::optional<uint32_t> BranchTarget(uint32_t address, uint32_t word) {
  const uint32_t opcode = word >> 26;
  const bool absolute = (word & 2) != 0;
  int32_t displacement = 0;
  if (opcode == 18) {
    displacement = static_cast<int32_t>((word & 0x03FFFFFCu) << 6) >> 6;
  } else if (opcode == 16) {
    displacement = static_cast<int16_t>(word & 0xFFFCu);
  } else {
    return std::nullopt;
  }
  return absolute ? static_cast<uint32_t>(displacement)
                  : address + static_cast<uint32_t>(displacement);
}

std::shared_ptr<const SymbolMap> LoadedSymbolMap() {
  std::lock_guard lock(LoadedMutex());
  return Loaded();
}

void SetLoadedSymbolMap(std::optional<SymbolMap> map) {
  std::lock_guard lock(LoadedMutex());
  Loaded() = map ? std::make_shared<const SymbolMap>(std::move(*map)) : nullptr;
}

}  // namespace zemlo
