#include "live/watch_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace zemlo::live {
namespace {

using nlohmann::json;

// Longest string or byte array an entry may ask for: a file must not make a refresh read
// megabytes, and a window holds 200 bytes anyway. Arrays are bounded alike.
constexpr uint32_t kMaxEntryLength = 4096;
constexpr uint32_t kMaxArrayCount = 4096;

// Structs and arrays, in the form the other memory tools write them:
// - "typeIndex" 7 is a struct, "structName" its type; 10 is an array of "containerCount"
//   elements, each of the form of the entry in "containerEntry" (its "address" unused), laid
//   back to back: a struct's length apart, 4 bytes when the element has pointer offsets.
// - The types sit beside "watchList" in "structDefs": {"rootNode": [...]}, each item a group
//   {"groupName", "expanded", "groupChildren": [...]} or a type {"structName", "struct":
//   {"label", "length", "fieldList": [{"offset", "length", "entry": {...}}]}}. A field without
//   "entry" is padding. A type inside groups is named by their names and its own joined by "::".
// - Any "pointerOffsets", even an empty list, makes an entry a pointer there (and 4 bytes long
//   inside a struct), so it is written only when there are offsets.
// - "typeIndex" 8 is a PowerPC instruction and 9 an 8-byte integer: shown here as a
//   hexadecimal u32 and as 8 bytes, and written back as they came.
// Ours alone, which they pass over: "countField" (the array's count is that field's value, and
// "containerCount" bounds it) and "lock".
constexpr int kStructTypeIndex = 7;
constexpr int kArrayTypeIndex = 10;
constexpr int kInstructionTypeIndex = 8;
constexpr int kDoublewordTypeIndex = 9;

// typeIndex of the file: byte, 2 bytes, 4 bytes, float, double, string, byte array; the
// integer ones split by "unsigned".
struct FileType {
  ValueType unsignedType;
  ValueType signedType;
};
constexpr FileType kFileTypes[] = {
    {ValueType::U8, ValueType::S8},       {ValueType::U16, ValueType::S16},
    {ValueType::U32, ValueType::S32},     {ValueType::F32, ValueType::F32},
    {ValueType::F64, ValueType::F64},     {ValueType::String, ValueType::String},
    {ValueType::Bytes, ValueType::Bytes},
};
constexpr DisplayBase kFileBases[] = {DisplayBase::Dec, DisplayBase::Hex, DisplayBase::Oct,
                                      DisplayBase::Bin};

std::optional<uint32_t> HexNumber(const json& value) {
  if (value.is_number_unsigned()) {
    const uint64_t number = value.get<uint64_t>();
    if (number > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(number);
  }
  if (!value.is_string()) return std::nullopt;
  std::string_view text = value.get_ref<const std::string&>();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, 16);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

std::string Hex(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

json Field(const json& item, const char* key, json fallback) {
  const auto it = item.find(key);
  return it == item.end() ? fallback : *it;
}

// A struct's or an array's own keys. `depth` bounds arrays of arrays in a hostile file.
std::string ParseContainer(const json& item, int typeIndex, WatchEntry& entry, int depth);

// `placed`: a field or an element, whose address comes from the struct or array holding it.
std::string ParseEntry(const json& item, const std::string& group, WatchEntry& entry,
                       bool placed = false, int depth = 0) {
  if (!item.is_object()) return "is not an object";
  entry.group = group;
  if (auto it = item.find("label"); it != item.end() && it->is_string()) entry.label = *it;
  if (auto it = item.find("symbol"); it != item.end() && it->is_string()) entry.symbol = *it;
  const auto address = item.contains("address") ? HexNumber(item["address"]) : std::nullopt;
  if (!address && entry.symbol.empty() && !placed)
    return "has no hexadecimal \"address\" and no \"symbol\"";
  entry.address = address.value_or(0);
  const json typeIndex = Field(item, "typeIndex", 2);
  if (typeIndex == kStructTypeIndex || typeIndex == kArrayTypeIndex) {
    if (std::string error = ParseContainer(item, typeIndex.get<int>(), entry, depth);
        !error.empty()) {
      return error;
    }
  } else if (typeIndex == kInstructionTypeIndex || typeIndex == kDoublewordTypeIndex) {
    entry.type = typeIndex == kInstructionTypeIndex ? ValueType::U32 : ValueType::Bytes;
    entry.fileTypeIndex = typeIndex.get<int>();
  } else if (!typeIndex.is_number_integer() || typeIndex.get<int64_t>() < 0 ||
             typeIndex.get<int64_t>() >= static_cast<int64_t>(std::size(kFileTypes))) {
    return "has an unknown \"typeIndex\"";
  } else {
    const json unsignedField = Field(item, "unsigned", true);
    const bool isUnsigned = !unsignedField.is_boolean() || unsignedField.get<bool>();
    const FileType& type = kFileTypes[typeIndex.get<size_t>()];
    entry.type = isUnsigned ? type.unsignedType : type.signedType;
  }
  const json baseIndex = Field(item, "baseIndex", 0);
  if (!baseIndex.is_number_integer() || baseIndex.get<int64_t>() < 0 ||
      baseIndex.get<int64_t>() >= static_cast<int64_t>(std::size(kFileBases))) {
    return "has an unknown \"baseIndex\"";
  }
  entry.base = kFileBases[baseIndex.get<size_t>()];
  const json length = Field(item, "length", 1);
  if (!length.is_number_integer() || length.get<int64_t>() < 0)
    return "has a \"length\" that is not a count";
  if (!IsNumeric(entry.type)) {
    if (length.get<uint64_t>() < 1 || length.get<uint64_t>() > kMaxEntryLength) {
      return "has a \"length\" outside 1.." + std::to_string(kMaxEntryLength);
    }
    entry.length = entry.fileTypeIndex == kDoublewordTypeIndex ? 8 : length.get<uint32_t>();
  } else {
    entry.length = TypeSize(entry.type, 0);
  }
  if (auto it = item.find("pointerOffsets"); it != item.end() && !it->is_null()) {
    if (!it->is_array()) return "has \"pointerOffsets\" that are not a list";
    for (const json& offset : *it) {
      // A pointer scan writes an offset back from the pointer as "-1C".
      const bool back = offset.is_string() && offset.get_ref<const std::string&>().starts_with('-');
      const auto number = HexNumber(back ? json(offset.get<std::string>().substr(1)) : offset);
      if (!number) return "has a pointer offset that is not hexadecimal";
      entry.pointerOffsets.push_back(back ? 0u - *number : *number);
    }
  }
  // Ours alone: the value a lock holds, so that a saved list keeps its locks.
  if (auto it = item.find("lock");
      it != item.end() && !it->is_null() && !placed && entry.kind == EntryKind::Value) {
    const auto bytes =
        it->is_string() ? ParseValue(entry.type, entry.base, it->get<std::string>(), entry.length)
                        : std::nullopt;
    if (!bytes) return "has a \"lock\" that is not a value of its type";
    entry.locked = true;
    entry.lockedBytes = *bytes;
  }
  return {};
}

std::string ParseContainer(const json& item, int typeIndex, WatchEntry& entry, int depth) {
  if (typeIndex == kStructTypeIndex) {
    const auto name = item.find("structName");
    if (name == item.end() || !name->is_string() || name->get_ref<const std::string&>().empty())
      return "is a struct without a \"structName\"";
    entry.kind = EntryKind::Struct;
    entry.structName = *name;
    return {};
  }
  const json count = Field(item, "containerCount", nullptr);
  const auto element = item.find("containerEntry");
  if (!count.is_number_integer() || count.get<int64_t>() < 0 ||
      count.get<int64_t>() > kMaxArrayCount) {
    return "is an array without a \"containerCount\" of 0.." + std::to_string(kMaxArrayCount);
  }
  if (element == item.end() || depth >= 8) return "is an array without a \"containerEntry\"";
  entry.kind = EntryKind::Array;
  entry.count = count.get<uint32_t>();
  if (auto it = item.find("countField"); it != item.end() && it->is_string())
    entry.countField = *it;
  entry.element.resize(1);
  if (std::string error = ParseEntry(*element, "", entry.element[0], true, depth + 1);
      !error.empty()) {
    return "has an element that " + error;
  }
  return {};
}

// The struct types of "structDefs", named with their groups' names before their own.
std::string ParseStructNodes(const json& items, const std::string& prefix, StructTypes& types) {
  if (!items.is_array()) return "a list of struct types that is not a list";
  for (const json& item : items) {
    if (!item.is_object()) return "a struct type that is not an object";
    if (auto group = item.find("groupName"); group != item.end() && group->is_string()) {
      const std::string inner = prefix + group->get<std::string>() + "::";
      if (std::string error =
              ParseStructNodes(Field(item, "groupChildren", json::array()), inner, types);
          !error.empty()) {
        return error;
      }
      continue;
    }
    const json body = Field(item, "struct", json::object());
    json label = Field(body, "label", Field(item, "structName", ""));
    if (!body.is_object() || !label.is_string() || label.get_ref<const std::string&>().empty())
      return "a struct type without a name";
    StructType type{.name = prefix + label.get<std::string>()};
    const json length = Field(body, "length", 0);
    if (!length.is_number_integer() || length.get<int64_t>() < 0 ||
        length.get<int64_t>() > 0x100000)
      return "struct " + type.name + " has a \"length\" that is not a size";
    type.length = length.get<uint32_t>();
    for (const json& field : Field(body, "fieldList", json::array())) {
      const json offset = Field(field, "offset", nullptr);
      if (!offset.is_number_integer() || offset.get<int64_t>() < 0 ||
          offset.get<int64_t>() > 0x100000) {
        return "struct " + type.name + " has a field without an \"offset\"";
      }
      if (!field.contains("entry")) continue;  // padding: the offsets say as much
      StructField parsed{.offset = offset.get<uint32_t>()};
      if (std::string error = ParseEntry(field["entry"], "", parsed.entry, true); !error.empty())
        return "struct " + type.name + " has a field that " + error;
      type.fields.push_back(std::move(parsed));
    }
    if (!FindStruct(types, type.name)) types.push_back(std::move(type));
  }
  return {};
}

std::string ParseItems(const json& items, const std::string& group, std::vector<WatchEntry>& out) {
  for (size_t i = 0; i < items.size(); ++i) {
    const json& item = items[i];
    const std::string where =
        (group.empty() ? "" : "group \"" + group + "\" ") + "item " + std::to_string(i + 1);
    if (item.is_object() && item.contains("groupEntries")) {
      const json& inner = item["groupEntries"];
      if (!inner.is_array()) return where + ": \"groupEntries\" is not a list";
      const json nameField = Field(item, "groupName", "");
      std::string name = nameField.is_string() ? nameField.get<std::string>() : "";
      if (!group.empty()) name = group + "/" + name;
      if (std::string error = ParseItems(inner, name, out); !error.empty()) return error;
      continue;
    }
    WatchEntry entry;
    if (std::string error = ParseEntry(item, group, entry); !error.empty())
      return where + " " + error;
    out.push_back(std::move(entry));
  }
  return {};
}

json EntryJson(const WatchEntry& entry) {
  json offsets = json::array();
  for (uint32_t offset : entry.pointerOffsets) offsets.push_back(Hex(offset));
  const bool isSigned =
      entry.type == ValueType::S8 || entry.type == ValueType::S16 || entry.type == ValueType::S32;
  json item{{"label", entry.label},
            {"address", Hex(entry.address)},
            {"unsigned", !isSigned},
            {"baseIndex", static_cast<int>(entry.base)}};
  if (entry.kind == EntryKind::Struct) {
    item["typeIndex"] = kStructTypeIndex;
    item["structName"] = entry.structName;
  } else if (entry.kind == EntryKind::Array) {
    item["typeIndex"] = kArrayTypeIndex;
    item["containerCount"] = entry.count;
    item["containerEntry"] = entry.element.empty() ? json::object() : EntryJson(entry.element[0]);
    if (!entry.countField.empty()) item["countField"] = entry.countField;
  } else {
    size_t typeIndex = 0;
    while (kFileTypes[typeIndex].unsignedType != entry.type &&
           kFileTypes[typeIndex].signedType != entry.type) {
      ++typeIndex;
    }
    item["typeIndex"] =
        entry.fileTypeIndex >= 0 ? entry.fileTypeIndex : static_cast<int>(typeIndex);
    item["length"] = entry.size();
  }
  if (!offsets.empty()) item["pointerOffsets"] = offsets;
  if (!entry.symbol.empty()) item["symbol"] = entry.symbol;
  if (entry.locked && entry.lockedBytes.size() == entry.size())
    item["lock"] = FormatValue(entry.type, entry.base, entry.lockedBytes.data(), entry.length);
  return item;
}

// The types as a tree of groups, a group for each name before a "::".
json StructDefsJson(const StructTypes& types) {
  json root = json::array();
  for (const StructType& type : types) {
    json* level = &root;
    std::string_view rest = type.name;
    for (size_t cut; (cut = rest.find("::")) != std::string_view::npos;
         rest.remove_prefix(cut + 2)) {
      const std::string group(rest.substr(0, cut));
      auto it = std::find_if(level->begin(), level->end(), [&](const json& item) {
        return item.contains("groupName") && item["groupName"] == group;
      });
      if (it == level->end()) {
        level->push_back(
            {{"groupName", group}, {"expanded", false}, {"groupChildren", json::array()}});
        it = level->end() - 1;
      }
      level = &(*it)["groupChildren"];
    }
    json fields = json::array();
    for (const StructField& field : type.fields) {
      fields.push_back({{"offset", field.offset},
                        {"length", EntrySize(field.entry, types)},
                        {"entry", EntryJson(field.entry)}});
    }
    level->push_back(
        {{"structName", std::string(rest)},
         {"struct",
          {{"label", std::string(rest)}, {"length", type.length}, {"fieldList", fields}}}});
  }
  return {{"rootNode", root}};
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

bool ParseWatchJson(const std::string& text, std::vector<WatchEntry>& out, StructTypes& structs,
                    std::string& error) {
  out.clear();
  structs.clear();
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    error = "not a JSON document";
    return false;
  }
  if (!document.is_object() || !document.contains("watchList") ||
      !document["watchList"].is_array()) {
    error = "no \"watchList\" list";
    return false;
  }
  error = ParseItems(document["watchList"], "", out);
  if (const auto defs = document.find("structDefs"); error.empty() && defs != document.end())
    error = ParseStructNodes(Field(*defs, "rootNode", json::array()), "", structs);
  if (error.empty()) {
    // A length short of the fields would let a field read past its struct.
    for (StructType& type : structs) {
      for (const StructField& field : type.fields)
        type.length = std::max(type.length, field.offset + EntrySize(field.entry, structs));
    }
    return true;
  }
  out.clear();
  structs.clear();
  return false;
}

bool LoadWatchFile(const std::string& path, std::vector<WatchEntry>& out, StructTypes& structs,
                   std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  if (!ParseWatchJson(text.str(), out, structs, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::string EntryFields(const WatchEntry& entry) {
  const std::string object = EntryJson(entry).dump();
  return object.substr(1, object.size() - 2);
}

bool ParseEntryFields(const std::string& text, WatchEntry& entry, std::string& error) {
  const json item = json::parse("{" + text + "}", nullptr, false);
  if (item.is_discarded()) {
    error = "not the fields of an entry";
    return false;
  }
  WatchEntry parsed;
  if (error = ParseEntry(item, "", parsed); !error.empty()) {
    error = "the entry " + error;
    return false;
  }
  entry = std::move(parsed);
  return true;
}

std::string WatchJson(const std::vector<WatchEntry>& entries, const StructTypes& structs) {
  json list = json::array();
  std::vector<std::string> groups;
  for (const WatchEntry& entry : entries) {
    if (entry.group.empty()) {
      list.push_back(EntryJson(entry));
    } else if (std::find(groups.begin(), groups.end(), entry.group) == groups.end()) {
      groups.push_back(entry.group);
      json members = json::array();
      for (const WatchEntry& member : entries) {
        if (member.group == entry.group) members.push_back(EntryJson(member));
      }
      list.push_back(json{{"groupName", entry.group}, {"groupEntries", members}});
    }
  }
  json document{{"watchList", list}};
  if (!structs.empty()) document["structDefs"] = StructDefsJson(structs);
  return document.dump(2) + "\n";
}

bool SaveWatchFile(const std::string& path, const std::vector<WatchEntry>& entries,
                   const StructTypes& structs, std::string& error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << WatchJson(entries, structs);
  file.flush();
  if (!file) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::string WatchCsv(const WatchList& list) {
  std::string csv = "group,label,address,type,base,pointer offsets,resolved,value\n";
  for (size_t i = 0; i < list.entries().size(); ++i) {
    const WatchEntry& entry = list.entries()[i];
    std::string offsets;
    for (uint32_t offset : entry.pointerOffsets)
      offsets += (offsets.empty() ? "" : " ") + Hex(offset);
    std::string resolved, value;
    if (i < list.readings().size()) {
      const WatchReading& reading = list.readings()[i];
      if (reading.valid) {
        resolved = Hex(reading.resolved);
        if (entry.kind == EntryKind::Value)
          value = FormatValue(entry.type, entry.base, reading.bytes.data(), entry.length);
      } else {
        value = reading.error;
      }
    }
    csv += CsvField(entry.group) + "," + CsvField(entry.label) + "," + Hex(entry.address) + "," +
           EntryTypeName(entry) + "," + BaseName(entry.base) + "," + offsets + "," + resolved +
           "," + CsvField(value) + "\n";
  }
  return csv;
}

}  // namespace zemlo::live
