// A UI port that remembers everything operations tell the user, for tests to inspect, and answers
// file dialogs and list selections from values the test set beforehand. Thread-safe.
#pragma once

#include <algorithm>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/ui_port.h"

namespace zemlo::testing {

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageIcon icon;
  MessageOwner owner;
  std::string detail = {};
  bool operator==(const RecordedMessage&) const = default;
};

inline RecordedMessage Box(const std::string& text, const std::string& caption,
                           MessageIcon icon = MessageIcon::Error,
                           MessageOwner owner = MessageOwner::None) {
  return {text, caption, icon, owner};
}

inline void PrintTo(const RecordedMessage& message, std::ostream* out) {
  *out << '"' << message.caption << ": " << message.text << "\" icon "
       << static_cast<int>(message.icon) << " owner " << static_cast<int>(message.owner);
}

struct ProgressEvent {
  enum Kind { Range, Step, Advance } kind;
  uint32_t high = 0;  // the range's top, or the step
};

class RecordingUi final : public UiPort {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                   MessageOwner owner, const std::string& detail) override {
    Locked([&] { seen_.messages.push_back({text, caption, icon, owner, detail}); });
  }
  std::optional<std::string> ChooseOpenFile(const FileRequest& request) override {
    return Choose(request, openFile_);
  }
  std::optional<std::string> ChooseSaveFile(const FileRequest& request) override {
    return Choose(request, saveFile_);
  }
  void ProgressSetRange(uint32_t, uint32_t high) override { Note({ProgressEvent::Range, high}); }
  void ProgressSetStep(uint32_t step) override { Note({ProgressEvent::Step, step}); }
  void ProgressStep() override { Note({ProgressEvent::Advance}); }
  void ListInsert(int position, const std::string& line) override {
    std::lock_guard lock(mutex_);
    std::vector<std::string>& list = seen_.list;
    const bool atEnd = position < 0 || static_cast<size_t>(position) > list.size();
    list.insert(atEnd ? list.end() : list.begin() + position, line);
    seen_.inserted.push_back(line);
    seen_.positions.push_back(position);
  }
  void ListClear() override { Set(seen_.list, {}); }
  int ListSelection() override { return Get(selection_); }
  void RequestQuit(int) override {
    Locked([&] { ++seen_.quitRequests; });
  }

  // What the next file dialogs answer (nullopt = cancel).
  void SetOpenFile(std::optional<std::string> path) { Set(openFile_, std::move(path)); }
  void SetSaveFile(std::optional<std::string> path) { Set(saveFile_, std::move(path)); }
  void SetSelection(int index) { Set(selection_, index); }

  std::vector<RecordedMessage> messages() { return Get(seen_.messages); }
  std::vector<ProgressEvent> progress() { return Get(seen_.progress); }
  // The list box as it stands after every insert and clear.
  std::vector<std::string> list() { return Get(seen_.list); }
  // Every line in the order it was inserted.
  std::vector<std::string> insertedLines() { return Get(seen_.inserted); }
  // Where `line` was first inserted, or -1.
  int InsertPosition(const std::string& line) {
    std::lock_guard lock(mutex_);
    const auto found = std::find(seen_.inserted.begin(), seen_.inserted.end(), line);
    return found == seen_.inserted.end() ? -1 : seen_.positions[found - seen_.inserted.begin()];
  }
  std::vector<FileRequest> fileRequests() { return Get(seen_.fileRequests); }
  int quitRequests() { return Get(seen_.quitRequests); }
  // Forgets what was seen; the answers set beforehand stay.
  void Clear() { Set(seen_, {}); }

 private:
  struct Seen {
    std::vector<RecordedMessage> messages;
    std::vector<ProgressEvent> progress;
    std::vector<std::string> list;
    std::vector<std::string> inserted;
    std::vector<int> positions;  // of each inserted line
    std::vector<FileRequest> fileRequests;
    int quitRequests = 0;
  };
  template <typename Fn>
  void Locked(Fn fn) {
    std::lock_guard lock(mutex_);
    fn();
  }
  template <typename T>
  T Get(const T& value) {
    std::lock_guard lock(mutex_);
    return value;
  }
  void Note(ProgressEvent event) {
    Locked([&] { seen_.progress.push_back(event); });
  }
  template <typename T>
  void Set(T& target, T value) {
    std::lock_guard lock(mutex_);
    target = std::move(value);
  }
  std::optional<std::string> Choose(const FileRequest& request,
                                    const std::optional<std::string>& answer) {
    std::lock_guard lock(mutex_);
    seen_.fileRequests.push_back(request);
    return answer;
  }

  std::mutex mutex_;
  Seen seen_;
  std::optional<std::string> openFile_;
  std::optional<std::string> saveFile_;
  int selection_ = -1;
};

// The texts of every message shown, in order.
inline std::vector<std::string> Texts(RecordingUi& ui) {
  std::vector<std::string> texts;
  for (const auto& message : ui.messages()) texts.push_back(message.text);
  return texts;
}

// Whether the progress bar is left empty: never set up, or set back to nothing last.
inline bool BarEmpty(RecordingUi& ui) {
  const std::vector<ProgressEvent> events = ui.progress();
  return events.empty() || (events.back().kind == ProgressEvent::Range && events.back().high == 0);
}

}  // namespace zemlo::testing
