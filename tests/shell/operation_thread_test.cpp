// The hand-over between a window and the thread running its operation (also run under
// ThreadSanitizer): the claim is held exactly while the work runs, a second start is refused, a
// waiter for the link wakes when it is released, and what the work wrote is the caller's after
// Join.
#include "link/operation_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <vector>

#include "link/exchange_claim.h"

namespace zemlo {
namespace {

TEST(OperationThreadTest, HoldsTheClaimWhileWorkingAndHandsItsResultsOver) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<int> results;  // plain data: Join is what makes it the caller's
  std::atomic<bool> claimSeenInWork{false};
  std::atomic<bool> claimSeenWhenFinished{true};
  std::promise<void> finished;

  OperationThread thread;
  ASSERT_EQ(thread.Begin(
                [&] {
                  claimSeenInWork = LinkInUse();
                  released.wait();
                  results.assign({1, 2, 3});
                },
                [&] {
                  claimSeenWhenFinished = LinkInUse();
                  finished.set_value();
                }),
            OperationThread::Start::Started);
  EXPECT_TRUE(thread.Running());
  EXPECT_EQ(thread.Begin([] {}, {}), OperationThread::Start::Running);
  OperationThread other;
  EXPECT_EQ(other.Begin([] { ADD_FAILURE() << "a second exchange ran"; }, {}),
            OperationThread::Start::LinkInUse);
  EXPECT_FALSE(WaitUntilLinkFree(std::chrono::milliseconds(1)));
  auto waiter =
      std::async(std::launch::async, [] { return WaitUntilLinkFree(std::chrono::seconds(60)); });

  release.set_value();
  finished.get_future().wait();
  thread.Join();
  EXPECT_FALSE(thread.Running());
  EXPECT_TRUE(claimSeenInWork);
  EXPECT_FALSE(claimSeenWhenFinished);
  EXPECT_TRUE(waiter.get());
  EXPECT_EQ(results, (std::vector<int>{1, 2, 3}));

  // The link is free again for the next operation, on either thread object.
  EXPECT_EQ(other.Begin([&] { results.push_back(4); }, {}), OperationThread::Start::Started);
  other.Join();
  EXPECT_EQ(results.size(), 4u);
}

}  // namespace
}  // namespace zemlo
