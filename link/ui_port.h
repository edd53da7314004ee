// The one way operations reach the user. Operations never touch a toolkit: the desktop client,
// the command line and the tests each provide a UiPort. Every call may come from the UI thread or
// from an extraction worker; an implementation marshals to its own UI thread where it must.
// MessageBox and the file choosers block the calling thread until the user has answered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zemlo {

enum class MessageIcon { None, Information, Warning, Error };

// Who owns a message box: most have none; a few are owned by the dialog that raised them.
enum class MessageOwner { None, MainWindow, Dialog };

struct FileFilter {
  std::string description;  // "DOL Files (*.dol)"
  std::string pattern;      // "*.DOL"
};

struct FileRequest {
  // Names the operation: each keeps its own last chosen path from one run to the next.
  std::string key;
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // without the dot; empty for none
};

class UiPort {
 public:
  virtual ~UiPort() = default;

  // `detail` is extra help for the user beyond the fixed text (the cause of a failure, a
  // verdict, a hash): the desktop client shows it as the box's detailed text, the command line
  // as "detail: " lines after the message. Empty for none.
  virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                           MessageOwner owner, const std::string& detail = {}) = 0;

  // Empty when the user cancelled. A save choice of an existing file has been confirmed.
  virtual std::optional<std::string> ChooseOpenFile(const FileRequest& request) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const FileRequest& request) = 0;

  // The progress bar of the dialog opened last that has one. Ranges are 32-bit so the disc
  // extractor's packet count fits; the other operations stay within 16 bits.
  virtual void ProgressSetRange(uint32_t low, uint32_t high) = 0;
  virtual void ProgressSetStep(uint32_t step) = 0;
  virtual void ProgressStep() = 0;
  // How many bytes one step stands for (0: unknown), told before the range; lets the bar show
  // bytes, rate and time left.
  virtual void ProgressSetStepBytes(uint32_t /*bytes*/) {}

  // The list box of the dialog the operation runs in.
  virtual void ListInsert(int position, const std::string& line) = 0;
  virtual void ListClear() = 0;
  virtual int ListSelection() = 0;  // -1 when nothing is selected

  // Ends the application with the given exit code once the current operation has returned.
  virtual void RequestQuit(int exitCode) = 0;
};

// The port operations use. Installed once at start-up; tests install their own.
UiPort& Ui();
void InstallUi(UiPort* port);

}  // namespace zemlo
