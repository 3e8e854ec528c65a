#pragma once
// Lets a window system's message loop drive the EventLoop. A helper thread
// waits, through the clock, for the next timer or posted work and then asks
// the window system to call `run_due` on the loop's thread.
//
// In virtual time the window system's loop takes part in the clock as the
// loop's thread does: time stands still while model code runs, while the
// window system handles messages (between `awoken` and `about_to_block`) and
// while a message waits in its queue. Model code runs alone: the helper
// leaves its wait while `run` runs.
#include <condition_variable>
#include <functional>
#include <thread>

#include "mainloop/event_loop.h"
#include "runtime/mutex.h"

namespace wardenix {

class LoopPacer {
 public:
  // `wake` runs on the helper thread and must only post a message to the
  // window system's loop, whose handler calls `run_due`. `on_quit` runs on the
  // loop's thread once the EventLoop has been told to quit.
  LoopPacer(EventLoop& loop, std::function<void()> wake, std::function<void()> on_quit);
  LoopPacer(const LoopPacer&) = delete;
  LoopPacer& operator=(const LoopPacer&) = delete;
  ~LoopPacer();

  // Loop's thread: runs model code (a window event), then lets the helper
  // wait for what is due next. Nested calls (a window event that model code
  // causes) wait for the outermost to end.
  void run(const std::function<void()>& model_code) EXCLUDES(mutex_);
  // Loop's thread: the handler of the wake message.
  void run_due() EXCLUDES(mutex_);
  // Loop's thread, inside model code: runs a modal loop (a message box)
  // during which timers and posted work go on. A modal loop that reports
  // neither `about_to_block` nor `awoken` is taken to wait whenever no model
  // code runs in it.
  void modal(const std::function<void()>& modal_loop) EXCLUDES(mutex_);
  // Loop's thread: lets the helper wait for what is due next (once at start).
  void arm() EXCLUDES(mutex_);

  // Loop's thread, from the window system: its loop is about to wait for
  // messages, with none left to handle; it has stopped waiting.
  void about_to_block() EXCLUDES(mutex_);
  void awoken() EXCLUDES(mutex_);
  // For messages that others post to the window system while time is
  // virtual: any thread, once one is posted; the loop's thread, as its loop
  // takes one from the queue to handle it. Until then the loop counts as busy.
  void message_posted() EXCLUDES(mutex_);
  void message_taken() EXCLUDES(mutex_);

 private:
  enum class State { Idle, Armed, Waiting, Stopping };
  void pace() EXCLUDES(mutex_);
  // Takes the helper out of its wait, so that model code runs alone.
  void hold() EXCLUDES(mutex_);
  // Holds or releases the clock's time as the loop's thread is busy or not.
  void update_time_hold() REQUIRES(mutex_);

  EventLoop& loop_;
  std::function<void()> wake_;
  std::function<void()> on_quit_;
  Mutex mutex_;
  std::condition_variable_any changed_;
  State state_ GUARDED_BY(mutex_) = State::Idle;
  Millis deadline_ GUARDED_BY(mutex_) = kNoDeadline;
  bool quit_reported_ = false;  // the loop's thread only
  bool interrupted_ GUARDED_BY(mutex_) = false;  // the helper's wait was ended by `hold`
  int depth_ GUARDED_BY(mutex_) = 0;  // model code running on the loop's thread
  // The depth at which the innermost modal loop runs.
  int modal_depth_ GUARDED_BY(mutex_) = 0;
  // The window system's loop handles messages.
  bool loop_awake_ GUARDED_BY(mutex_) = true;
  // A wake message posted and not yet answered.
  bool wake_pending_ GUARDED_BY(mutex_) = false;
  // Others' messages posted and not yet taken.
  int messages_pending_ GUARDED_BY(mutex_) = 0;
  // The loop's thread's share of the clock.
  bool holding_time_ GUARDED_BY(mutex_) = true;
  std::thread helper_;
};

}  // namespace wardenix
