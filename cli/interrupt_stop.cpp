#include "cli/interrupt_stop.h"

#include <atomic>

namespace zemlo::cli {
namespace {

// A signal handler may do no more than this; the purge or the stop is the command's own work.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt() {
  g_interrupted = true;
}

}  // namespace

InterruptAsStop::InterruptAsStop() : guard_(OnInterrupt, false) {
  g_interrupted = false;
}

bool InterruptAsStop::Requested() const {
  return g_interrupted.load();
}

bool InterruptAsStop::Take() {
  return g_interrupted.exchange(false);
}

}  // namespace zemlo::cli
