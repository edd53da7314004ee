#include "link/ui_port.h"

#include <atomic>
#include <cstdio>

namespace zemlo {
namespace {

// Used only until a real port is installed: says everything on standard error and answers every
// question with "cancel", so nothing can block on a missing user interface.
class NullUi final : public UiPort {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon, MessageOwner,
                   const std::string& detail) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (!detail.empty()) std::fprintf(stderr, "detail: %s\n", detail.c_str());
  }
  std::optional<std::string> ChooseOpenFile(const FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(const FileRequest&) override { return std::nullopt; }
  void ProgressSetRange(uint32_t, uint32_t) override {}
  void ProgressSetStep(uint32_t) override {}
  void ProgressStep() override {}
  void ListInsert(int, const std::string&) override {}
  void ListClear() override {}
  int ListSelection() override { return -1; }
  void RequestQuit(int) override {}
};

NullUi g_nullUi;
std::atomic<UiPort*> g_ui{&g_nullUi};

}  // namespace

UiPort& Ui() {
  return *g_ui.load();
}

void InstallUi(UiPort* port) {
  g_ui.store(port ? port : &g_nullUi);
}

}  // namespace zemlo
