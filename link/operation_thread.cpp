#include "link/operation_thread.h"

#include <utility>

#include "link/exchange_claim.h"

namespace zemlo {

OperationThread::Start OperationThread::Begin(std::function<void()> work,
                                              std::function<void()> finished) {
  if (running_.load()) return Start::Running;
  Join();  // the previous run has finished; collect its thread
  ExchangeClaim claim = ExchangeClaim::TryClaim();
  if (!claim.held()) return Start::LinkInUse;
  running_ = true;
  thread_ = std::thread([this, claim = std::move(claim), work = std::move(work),
                         finished = std::move(finished)]() mutable {
    work();
    // Released before the starter hears of the end, so that its next press finds the link free.
    { ExchangeClaim released = std::move(claim); }
    running_ = false;
    if (finished) finished();
  });
  return Start::Started;
}

void OperationThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace zemlo
