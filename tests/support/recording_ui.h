// A UI port that remembers everything operations tell the user, for tests to inspect, and answers
// file dialogs and list selections from values the test set beforehand. Thread-safe.
#pragma once

#include <algorithm>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
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
  uint32_t low = 0;
  uint32_t high = 0;
};

class RecordingUi final : public UiPort {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                   MessageOwner owner, const std::string& detail) override {
    Locked([&] { messages_.push_back({text, caption, icon, owner, detail}); });
  }
  std::optional<std::string> ChooseOpenFile(const FileRequest& request) override {
    return Locked([&] {
      fileRequests_.push_back(request);
      return openFile_;
    });
  }
  std::optional<std::string> ChooseSaveFile(const FileRequest& request) override {
    return Locked([&] {
      fileRequests_.push_back(request);
      return saveFile_;
    });
  }
  void ProgressSetRange(uint32_t low, uint32_t high) override {
    Locked([&] {
      progress_.push_back({ProgressEvent::Range, low, high});
      steps_ = 0;
    });
  }
  void ProgressSetStep(uint32_t step) override {
    Locked([&] { progress_.push_back({ProgressEvent::Step, step, step}); });
  }
  void ProgressStep() override {
    Locked([&] {
      progress_.push_back({ProgressEvent::Advance});
      ++steps_;
    });
  }
  void ListInsert(int position, const std::string& line) override {
    Locked([&] {
      const bool atEnd = position < 0 || static_cast<size_t>(position) > list_.size();
      list_.insert(atEnd ? list_.end() : list_.begin() + position, line);
      inserted_.push_back({line, position});
    });
  }
  void ListClear() override {
    Locked([&] { list_.clear(); });
  }
  int ListSelection() override { return Get(selection_); }
  void RequestQuit(int) override {
    Locked([&] { ++quitRequests_; });
  }

  // What the next file dialogs answer (nullopt = cancel).
  void SetOpenFile(std::optional<std::string> path) {
    Locked([&] { openFile_ = std::move(path); });
  }
  void SetSaveFile(std::optional<std::string> path) {
    Locked([&] { saveFile_ = std::move(path); });
  }
  void SetSelection(int index) {
    Locked([&] { selection_ = index; });
  }

  std::vector<RecordedMessage> messages() { return Get(messages_); }
  std::vector<ProgressEvent> progress() { return Get(progress_); }
  // The list box as it stands after every insert and clear.
  std::vector<std::string> list() { return Get(list_); }
  // Every line in the order it was inserted.
  std::vector<std::string> insertedLines() {
    return Locked([&] {
      std::vector<std::string> lines;
      for (const auto& insert : inserted_) lines.push_back(insert.line);
      return lines;
    });
  }
  // Where `line` was first inserted, or -1.
  int InsertPosition(const std::string& line) {
    return Locked([&] {
      const auto found = std::find_if(inserted_.begin(), inserted_.end(),
                                      [&](const Insert& insert) { return insert.line == line; });
      return found == inserted_.end() ? -1 : found->position;
    });
  }
  std::vector<FileRequest> fileRequests() { return Get(fileRequests_); }
  int quitRequests() { return Get(quitRequests_); }
  // Number of ProgressStep calls since the last range change.
  uint32_t progressSteps() { return Get(steps_); }
  void Clear() {
    Locked([&] {
      messages_.clear();
      progress_.clear();
      list_.clear();
      inserted_.clear();
      fileRequests_.clear();
      quitRequests_ = 0;
      steps_ = 0;
    });
  }

 private:
  struct Insert {
    std::string line;
    int position;
  };
  template <typename Fn>
  std::invoke_result_t<Fn> Locked(Fn fn) {
    std::lock_guard lock(mutex_);
    return fn();
  }
  template <typename T>
  T Get(const T& value) {
    std::lock_guard lock(mutex_);
    return value;
  }

  std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
  std::vector<ProgressEvent> progress_;
  std::vector<std::string> list_;
  std::vector<Insert> inserted_;
  std::vector<FileRequest> fileRequests_;
  std::optional<std::string> openFile_;
  std::optional<std::string> saveFile_;
  int selection_ = -1;
  int quitRequests_ = 0;
  uint32_t steps_ = 0;
};

// The texts of every message shown, in order.
inline std::vector<std::string> Texts(RecordingUi& ui) {
  std::vector<std::string> texts;
  for (const auto& message : ui.messages()) texts.push_back(message.text);
  return texts;
}

}  // namespace zemlo::testing
