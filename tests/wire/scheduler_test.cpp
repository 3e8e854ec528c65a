#include "wire/scheduler.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "mainloop/virtual_clock.h"
#include "runtime/errors.h"

namespace wardenix {
namespace {

struct SchedulerFixture : ::testing::Test {
  ~SchedulerFixture() override {
    scheduler.reset();
    clock.wait_for_threads(Millis(60000));
  }
  VirtualClock clock;
  std::unique_ptr<TDBXScheduler> scheduler = std::make_unique<TDBXScheduler>(clock);
  std::mutex mutex;
  std::vector<std::pair<int, Millis>> runs;

  std::function<void()> record(int id) {
    return [this, id] {
      std::lock_guard lock(mutex);
      runs.emplace_back(id, clock.now());
    };
  }
};

TEST_F(SchedulerFixture, RunsEventsInDueOrderAndEndsItsWorker) {
  int a = 0, b = 0, c = 0;
  scheduler->AddEvent(&a, Millis(300), record(1));
  scheduler->AddEvent(&b, Millis(100), record(2));
  scheduler->AddEvent(&c, Millis(200), record(3));
  EXPECT_TRUE(scheduler->WorkerRunning());
  clock.sleep_for(Millis(1000));
  ASSERT_TRUE(clock.wait_for_threads(Millis(1000)));
  EXPECT_FALSE(scheduler->WorkerRunning()) << "the worker ends once the list is empty";
  const std::vector<std::pair<int, Millis>> expected = {
      {2, Millis(100)}, {3, Millis(200)}, {1, Millis(300)}};
  EXPECT_EQ(runs, expected);
}

TEST_F(SchedulerFixture, CancelledEventsDoNotRun) {
  int a = 0, b = 0;
  scheduler->AddEvent(&a, Millis(100), record(1));
  scheduler->AddEvent(&b, Millis(150), record(2));
  scheduler->AddEvent(&a, Millis(200), record(3));
  scheduler->CancelEvent(&a);
  clock.sleep_for(Millis(1000));
  const std::vector<std::pair<int, Millis>> expected = {{2, Millis(150)}};
  EXPECT_EQ(runs, expected);
}

TEST_F(SchedulerFixture, FailuresOfActionsAreRememberedNotPropagated) {
  int a = 0;
  scheduler->AddEvent(&a, Millis(10), [] { throw TDBXError(0, u"boom"); });
  scheduler->AddEvent(&a, Millis(20), record(1));
  clock.sleep_for(Millis(100));
  EXPECT_EQ(scheduler->LastError(), u"boom");
  EXPECT_EQ(runs.size(), 1u);
  // A new event after the worker ended starts it again.
  ASSERT_TRUE(clock.wait_for_threads(Millis(1000)));
  scheduler->AddEvent(&a, Millis(10), record(2));
  clock.sleep_for(Millis(100));
  EXPECT_EQ(runs.size(), 2u);
}

}  // namespace
}  // namespace wardenix
