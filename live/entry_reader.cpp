#include "live/entry_reader.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "disasm/symbol_map.h"
#include "live/live_link.h"

namespace zemlo::live {
namespace {

std::string InvalidPointer(size_t step, uint32_t pointer) {
  char text[64];
  std::snprintf(text, sizeof text, "invalid pointer at step %zu (0x%08X)", step + 1, pointer);
  return text;
}

// One entry, field or element being read. Nodes are only ever appended, and a node's reading
// lives in its parent's `fields`, sized once when the parent's children are made.
struct Node {
  const WatchEntry* entry = nullptr;
  WatchReading* reading = nullptr;
  std::optional<size_t> parent;  // whose address this one's offset is from
  uint32_t offset = 0;
  size_t siblingsBegin = 0, siblingsEnd = 0;  // where a count field is looked up
  int depth = 0;
  bool placed = false;
  uint32_t at = 0;
  size_t step = 0;
  std::optional<Span> needs;  // memory this node waits for
};

class Reader {
 public:
  Reader(const StructTypes& types, WindowSnapshot& held) : types_(types), held_(held) {}

  bool Read(const std::vector<WatchEntry>& entries, const std::vector<WatchReading>& before,
            std::vector<WatchReading>& out) {
    out.assign(entries.size(), {});
    const std::shared_ptr<const SymbolMap> map = LoadedSymbolMap();
    for (size_t i = 0; i < entries.size(); ++i) {
      Node node{.entry = &entries[i],
                .reading = &out[i],
                .siblingsEnd = entries.size(),
                .placed = true,
                .at = entries[i].address};
      if (!entries[i].symbol.empty()) {
        const Symbol* symbol = map ? map->Named(entries[i].symbol) : nullptr;
        if (symbol) {
          node.at = symbol->address;
        } else {
          out[i].error = "no symbol " + entries[i].symbol + " in the loaded map";
        }
      }
      nodes_.push_back(node);
    }
    for (;;) {
      for (bool progress = true; progress;) {
        progress = false;
        // Indexed: advancing a struct appends its fields.
        for (size_t i = 0; i < nodes_.size(); ++i) progress |= Advance(i);
      }
      std::vector<Span> wanted;
      for (const Node& node : nodes_)
        if (node.needs) wanted.push_back(*node.needs);
      if (wanted.empty()) break;
      const size_t had = held_.windowCount();
      if (!held_.ReadAll(PlanWindows(wanted))) return false;
      // Nothing new read (a value running past the top of memory): what is missing never comes.
      if (held_.windowCount() == had) break;
    }
    for (Node& node : nodes_) {
      if (!Done(node)) node.reading->error = "not read";
    }
    for (size_t i = 0; i < out.size(); ++i)
      MarkChanged(out[i], i < before.size() ? &before[i] : nullptr);
    return true;
  }

 private:
  static bool Done(const Node& node) { return node.reading->valid || !node.reading->error.empty(); }

  bool Fail(Node& node, std::string error) {
    node.reading->error = std::move(error);
    return true;
  }

  // Moves the node on as far as the windows held allow; true when it moved.
  bool Advance(size_t index) {
    Node& node = nodes_[index];
    node.needs.reset();
    if (Done(node)) return false;
    bool moved = false;
    if (!node.placed) {
      const Node& parent = nodes_[*node.parent];
      if (!parent.reading->valid) return false;
      node.at = parent.reading->resolved + node.offset;
      node.placed = moved = true;
    }
    const WatchEntry& entry = *node.entry;
    while (node.step < entry.pointerOffsets.size()) {
      const std::optional<uint32_t> pointer = held_.Word(node.at);
      if (!pointer) {
        node.needs = Span{node.at, 4};
        return moved;
      }
      if (!IsConsolePointer(*pointer)) return Fail(node, InvalidPointer(node.step, *pointer));
      node.at = *pointer + entry.pointerOffsets[node.step++];
      moved = true;
    }
    WatchReading& reading = *node.reading;
    reading.resolved = node.at;
    switch (entry.kind) {
      case EntryKind::Value: {
        const Span words = WordSpan(node.at, entry.size());
        std::vector<uint8_t> probe(words.size);
        if (!held_.Fetch(words.address, words.size, probe.data())) {
          node.needs = words;
          return moved;
        }
        reading.bytes.assign(probe.begin() + (node.at - words.address),
                             probe.begin() + (node.at - words.address) + entry.size());
        reading.valid = true;
        return true;
      }
      case EntryKind::Struct: {
        const StructType* type = FindStruct(types_, entry.structName);
        if (!type) return Fail(node, "no struct type " + entry.structName);
        std::vector<std::pair<uint32_t, const WatchEntry*>> fields;
        for (const StructField& field : type->fields)
          fields.emplace_back(field.offset, &field.entry);
        return Expand(index, fields);
      }
      case EntryKind::Array: {
        if (entry.element.empty()) return Fail(node, "an array without an element");
        uint32_t count = entry.count;
        if (!entry.countField.empty()) {
          const Node* counter = nullptr;
          for (size_t i = node.siblingsBegin; i < node.siblingsEnd; ++i) {
            if (i != index && nodes_[i].entry->label == entry.countField) counter = &nodes_[i];
          }
          if (!counter || counter->entry->kind != EntryKind::Value ||
              !IsNumeric(counter->entry->type))
            return Fail(node, "no count field " + entry.countField);
          if (!Done(*counter)) return moved;
          if (!counter->reading->valid)
            return Fail(node, "count field " + entry.countField + " not read");
          const double value = DecodeNumber(counter->entry->type, counter->reading->bytes.data());
          count = value <= 0 ? 0 : static_cast<uint32_t>(std::min<double>(value, count));
        }
        const uint32_t stride = EntrySize(entry.element[0], types_);
        std::vector<std::pair<uint32_t, const WatchEntry*>> elements;
        for (uint32_t i = 0; i < count; ++i) elements.emplace_back(i * stride, &entry.element[0]);
        return Expand(index, elements);
      }
    }
    return moved;
  }

  // Gives a struct or an array node its children, which are read from its address on.
  bool Expand(size_t index, const std::vector<std::pair<uint32_t, const WatchEntry*>>& children) {
    Node& node = nodes_[index];
    if (node.depth >= kMaxNesting) return Fail(node, "nested too deep");
    if (nodes_.size() + children.size() > kMaxReadNodes) return Fail(node, "too many fields");
    node.reading->fields.resize(children.size());
    node.reading->valid = true;
    // Copied out: appending to the nodes moves them.
    WatchReading* const reading = node.reading;
    const int depth = node.depth + 1;
    const size_t first = nodes_.size();
    for (size_t i = 0; i < children.size(); ++i) {
      nodes_.push_back(Node{.entry = children[i].second,
                            .reading = &reading->fields[i],
                            .parent = index,
                            .offset = children[i].first,
                            .siblingsBegin = first,
                            .siblingsEnd = first + children.size(),
                            .depth = depth});
    }
    return true;
  }

  static void MarkChanged(WatchReading& reading, const WatchReading* before) {
    if (!before || !before->valid || !reading.valid) return;
    reading.changed = before->resolved != reading.resolved || before->bytes != reading.bytes ||
                      before->fields.size() != reading.fields.size();
    for (size_t i = 0; i < reading.fields.size(); ++i) {
      MarkChanged(reading.fields[i], i < before->fields.size() ? &before->fields[i] : nullptr);
      reading.changed |= reading.fields[i].changed;
    }
  }

  const StructTypes& types_;
  WindowSnapshot& held_;
  std::vector<Node> nodes_;
};

}  // namespace

Span WordSpan(uint32_t address, uint32_t size) {
  const uint32_t start = address & ~3u;
  const uint64_t end = (uint64_t{address} + size + 3) & ~uint64_t{3};
  return {start, static_cast<uint32_t>(end - start)};
}

bool ReadEntries(const std::vector<WatchEntry>& entries, const StructTypes& types,
                 const std::vector<WatchReading>& before, std::vector<WatchReading>& out,
                 WindowSnapshot& held) {
  return Reader(types, held).Read(entries, before, out);
}

const StructType* FindStruct(const StructTypes& types, const std::string& name) {
  const auto it = std::find_if(types.begin(), types.end(),
                               [&](const StructType& type) { return type.name == name; });
  return it == types.end() ? nullptr : &*it;
}

uint32_t EntrySize(const WatchEntry& entry, const StructTypes& types) {
  if (!entry.pointerOffsets.empty()) return 4;
  switch (entry.kind) {
    case EntryKind::Value:
      return entry.size();
    case EntryKind::Struct: {
      const StructType* type = FindStruct(types, entry.structName);
      return type ? type->length : 0;
    }
    case EntryKind::Array: {
      const uint64_t size =
          entry.element.empty() ? 0 : uint64_t{entry.count} * EntrySize(entry.element[0], types);
      return static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
    }
  }
  return 0;
}

}  // namespace zemlo::live
