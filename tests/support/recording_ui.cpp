#include "tests/support/recording_ui.h"

#include <algorithm>

namespace zemlo::testing {

void RecordingUi::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                              MessageOwner owner, const std::string& detail) {
  std::lock_guard lock(mutex_);
  messages_.push_back({text, caption, icon, owner, detail});
}

std::optional<std::string> RecordingUi::ChooseOpenFile(const FileRequest& request) {
  std::lock_guard lock(mutex_);
  fileRequests_.push_back(request);
  return openFile_;
}

std::optional<std::string> RecordingUi::ChooseSaveFile(const FileRequest& request) {
  std::lock_guard lock(mutex_);
  fileRequests_.push_back(request);
  return saveFile_;
}

void RecordingUi::ProgressSetRange(uint32_t low, uint32_t high) {
  std::lock_guard lock(mutex_);
  progress_.push_back({ProgressEvent::Range, low, high});
  steps_ = 0;
}

void RecordingUi::ProgressSetStep(uint32_t step) {
  std::lock_guard lock(mutex_);
  progress_.push_back({ProgressEvent::Step, step, step});
}

void RecordingUi::ProgressStep() {
  std::lock_guard lock(mutex_);
  progress_.push_back({ProgressEvent::Advance});
  ++steps_;
}

void RecordingUi::ListInsert(int position, const std::string& line) {
  std::lock_guard lock(mutex_);
  const auto at = position < 0 || static_cast<size_t>(position) > list_.size()
                      ? list_.end()
                      : list_.begin() + position;
  list_.insert(at, line);
  inserted_.push_back(line);
  insertedAt_.push_back(position);
}

void RecordingUi::ListClear() {
  std::lock_guard lock(mutex_);
  list_.clear();
}

int RecordingUi::ListSelection() {
  std::lock_guard lock(mutex_);
  return selection_;
}

void RecordingUi::RequestQuit(int) {
  std::lock_guard lock(mutex_);
  ++quitRequests_;
}

void RecordingUi::SetOpenFile(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  openFile_ = std::move(path);
}

void RecordingUi::SetSaveFile(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  saveFile_ = std::move(path);
}

void RecordingUi::SetSelection(int index) {
  std::lock_guard lock(mutex_);
  selection_ = index;
}

std::vector<RecordedMessage> RecordingUi::messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<ProgressEvent> RecordingUi::progress() {
  std::lock_guard lock(mutex_);
  return progress_;
}

std::vector<std::string> RecordingUi::list() {
  std::lock_guard lock(mutex_);
  return list_;
}

std::vector<std::string> RecordingUi::insertedLines() {
  std::lock_guard lock(mutex_);
  return inserted_;
}

int RecordingUi::InsertPosition(const std::string& line) {
  std::lock_guard lock(mutex_);
  const auto found = std::find(inserted_.begin(), inserted_.end(), line);
  return found == inserted_.end() ? -1
                                  : insertedAt_[static_cast<size_t>(found - inserted_.begin())];
}

std::vector<FileRequest> RecordingUi::fileRequests() {
  std::lock_guard lock(mutex_);
  return fileRequests_;
}

int RecordingUi::quitRequests() {
  std::lock_guard lock(mutex_);
  return quitRequests_;
}

uint32_t RecordingUi::progressSteps() {
  std::lock_guard lock(mutex_);
  return steps_;
}

void RecordingUi::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
  progress_.clear();
  list_.clear();
  inserted_.clear();
  insertedAt_.clear();
  fileRequests_.clear();
  quitRequests_ = 0;
  steps_ = 0;
}

std::vector<std::string> Texts(RecordingUi& ui) {
  std::vector<std::string> texts;
  for (const auto& message : ui.messages()) texts.push_back(message.text);
  return texts;
}

}  // namespace zemlo::testing
