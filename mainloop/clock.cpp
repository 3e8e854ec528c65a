#include "mainloop/clock.h"

#include <condition_variable>
#include <ctime>
#include <thread>

#include "runtime/mutex.h"

namespace wardenix {

void Clock::sleep_for(Millis duration) {
  const auto signal = make_signal();
  const Millis start = now();
  signal->wait_until(duration >= kNoDeadline - start ? kNoDeadline : start + duration);
}

namespace {

using Steady = std::chrono::steady_clock;

class SystemSignal final : public WakeSignal {
 public:
  SystemSignal(Steady::time_point start, double scale) : start_(start), scale_(scale) {}

  void set() override {
    {
      MutexLock lock(mutex_);
      signalled_ = true;
    }
    cv_.notify_all();
  }

  bool wait_until(Millis deadline) override {
    MutexLock lock(mutex_);
    if (deadline == kNoDeadline) {
      while (!signalled_) cv_.wait(lock);
    } else {
      const auto real = start_ + std::chrono::duration_cast<Steady::duration>(
                                     std::chrono::duration<double, std::milli>(
                                         static_cast<double>(deadline.count()) / scale_));
      while (!signalled_ && cv_.wait_until(lock, real) == std::cv_status::no_timeout) {
      }
    }
    const bool was = signalled_;
    signalled_ = false;
    return was;
  }

 private:
  Steady::time_point start_;
  double scale_;
  Mutex mutex_;
  std::condition_variable_any cv_;
  bool signalled_ GUARDED_BY(mutex_) = false;
};

class SystemClock final : public Clock {
 public:
  explicit SystemClock(double scale)
      : scale_(scale > 0 ? scale : 1.0),
        start_(Steady::now()),
        wall_start_(std::chrono::system_clock::now()) {}

  Millis now() override {
    const std::chrono::duration<double, std::milli> real = Steady::now() - start_;
    return Millis(static_cast<std::int64_t>(real.count() * scale_));
  }

  TDateTime local_time() override {
    // At a scale the wall clock runs as fast as the timers, so that log stamps
    // show the rhythm of the cycle.
    auto wall = std::chrono::system_clock::now();
    if (scale_ != 1.0) wall = wall_start_ + std::chrono::duration_cast<
                                                std::chrono::system_clock::duration>(now());
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count();
    const std::int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    return encode_date_time(
        local_parts_from_unix(seconds, static_cast<int>(ms - seconds * 1000)));
  }

  std::unique_ptr<WakeSignal> make_signal() override {
    return std::make_unique<SystemSignal>(start_, scale_);
  }

  void start_thread(std::function<void()> body) override {
    {
      MutexLock lock(threads_->mutex);
      ++threads_->live;
    }
    // The count is shared with the thread, which may outlive the clock.
    std::thread([threads = threads_, body = std::move(body)] {
      try {
        body();
      } catch (...) {
        // A thread ends silently on failure.
      }
      MutexLock lock(threads->mutex);
      --threads->live;
      threads->ended.notify_all();
    }).detach();
  }

  bool wait_for_threads(Millis timeout) override {
    MutexLock lock(threads_->mutex);
    if (timeout == kNoDeadline) {
      while (threads_->live != 0) threads_->ended.wait(lock);
      return true;
    }
    const auto until = Steady::now() + std::chrono::duration_cast<Steady::duration>(
                                           std::chrono::duration<double, std::milli>(
                                               static_cast<double>(timeout.count()) / scale_));
    while (threads_->live != 0 &&
           threads_->ended.wait_until(lock, until) == std::cv_status::no_timeout) {
    }
    return threads_->live == 0;
  }

 private:
  struct LiveThreads {
    Mutex mutex;
    std::condition_variable_any ended;
    int live GUARDED_BY(mutex) = 0;
  };

  double scale_;
  Steady::time_point start_;
  std::chrono::system_clock::time_point wall_start_;
  std::shared_ptr<LiveThreads> threads_ = std::make_shared<LiveThreads>();
};

}  // namespace

std::unique_ptr<Clock> make_system_clock(double scale) {
  return std::make_unique<SystemClock>(scale);
}

}  // namespace wardenix
