// One operation of a window run on a thread of its own, so that the window keeps painting while
// the console answers. The thread holds the exchange claim from start to end: the operation is
// the only conversation with the console meanwhile, as when it ran on the UI thread.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace zemlo {

class OperationThread {
 public:
  enum class Start { Started, LinkInUse, Running };

  OperationThread() = default;
  OperationThread(const OperationThread&) = delete;
  OperationThread& operator=(const OperationThread&) = delete;
  ~OperationThread() { Join(); }

  // Runs `work` on a new thread, then `finished` there once the claim is released again.
  // `finished` must not block: it tells the starting thread, which then calls Join.
  Start Begin(std::function<void()> work, std::function<void()> finished);

  // True from a successful Begin until `finished` has returned.
  bool Running() const { return running_.load(); }

  // Waits for the thread to end. What `work` wrote is visible to the caller afterwards.
  void Join();

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace zemlo
