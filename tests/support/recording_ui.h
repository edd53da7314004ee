// A UI port that remembers everything operations tell the user, for tests to inspect, and answers
// file dialogs and list selections from values the test set beforehand. Thread-safe.
#pragma once

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
  uint32_t low = 0;
  uint32_t high = 0;
};

class RecordingUi final : public UiPort {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                   MessageOwner owner, const std::string& detail) override;
  std::optional<std::string> ChooseOpenFile(const FileRequest& request) override;
  std::optional<std::string> ChooseSaveFile(const FileRequest& request) override;
  void ProgressSetRange(uint32_t low, uint32_t high) override;
  void ProgressSetStep(uint32_t step) override;
  void ProgressStep() override;
  void ListInsert(int position, const std::string& line) override;
  void ListClear() override;
  int ListSelection() override;
  void RequestQuit(int exitCode) override;

  // What the next file dialogs answer (nullopt = cancel).
  void SetOpenFile(std::optional<std::string> path);
  void SetSaveFile(std::optional<std::string> path);
  void SetSelection(int index);

  std::vector<RecordedMessage> messages();
  std::vector<ProgressEvent> progress();
  // The list box as it stands after every insert and clear.
  std::vector<std::string> list();
  // Every line in the order it was inserted.
  std::vector<std::string> insertedLines();
  // Where `line` was first inserted, or -1.
  int InsertPosition(const std::string& line);
  std::vector<FileRequest> fileRequests();
  int quitRequests();
  // Number of ProgressStep calls since the last range change.
  uint32_t progressSteps();
  void Clear();

 private:
  std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
  std::vector<ProgressEvent> progress_;
  std::vector<std::string> list_;
  std::vector<std::string> inserted_;
  std::vector<int> insertedAt_;
  std::vector<FileRequest> fileRequests_;
  std::optional<std::string> openFile_;
  std::optional<std::string> saveFile_;
  int selection_ = -1;
  int quitRequests_ = 0;
  uint32_t steps_ = 0;
};

// The texts of every message shown, in order.
std::vector<std::string> Texts(RecordingUi& ui);

}  // namespace zemlo::testing
