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
#include <mutex>
#include <thread>

#include "mainloop/event_loop.h"

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
  void run(const std::function<void()>& model_code);
  // Loop's thread: the handler of the wake message.
  void run_due();
  // Loop's thread, inside model code: runs a modal loop (a message box)
  // during which timers and posted work go on. A modal loop that reports
  // neither `about_to_block` nor `awoken` is taken to wait whenever no model
  // code runs in it.
  void modal(const std::function<void()>& modal_loop);
  // Loop's thread: lets the helper wait for what is due next (once at start).
  void arm();

  // Loop's thread, from the window system: its loop is about to wait for
  // messages, with none left to handle; it has stopped waiting.
  void about_to_block();
  void awoken();
  // For messages that others post to the window system while time is
  // virtual: any thread, once one is posted; the loop's thread, as its loop
  // takes one from the queue to handle it. Until then the loop counts as busy.
  void message_posted();
  void message_taken();

 private:
  enum class State { Idle, Armed, Waiting, Stopping };
  void pace();
  // Takes the helper out of its wait, so that model code runs alone.
  void hold();
  // With the lock held: holds or releases the clock's time as the loop's
  // thread is busy or not.
  void update_time_hold();

  EventLoop& loop_;
  std::function<void()> wake_;
  std::function<void()> on_quit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::Idle;
  Millis deadline_ = kNoDeadline;
  bool quit_reported_ = false;
  bool interrupted_ = false;  // the helper's wait was ended by `hold`
  int depth_ = 0;        // model code running on the loop's thread
  int modal_depth_ = 0;  // the depth at which the innermost modal loop runs
  bool loop_awake_ = true;   // the window system's loop handles messages
  bool wake_pending_ = false;  // a wake message posted and not yet answered
  int messages_pending_ = 0;  // others' messages posted and not yet taken
  bool holding_time_ = true;  // the loop's thread's share of the clock
  std::thread helper_;
};

}  // namespace wardenix
