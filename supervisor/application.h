#pragma once
// The application object: its title, the showing of the main window, its
// minimised and taskbar state, termination and the standard error box.
#include <functional>

#include "runtime/errors.h"
#include "runtime/ustring.h"

namespace wardenix {

class EventLoop;

class Application {
 public:
  explicit Application(EventLoop& loop) : loop_(loop) {}

  UString Title;
  bool ShowMainForm = true;

  void Minimize();
  void Restore();
  bool Minimized() const { return minimized_; }
  void SetTaskbarVisible(bool visible) { taskbar_visible_ = visible; }
  bool TaskbarVisible() const { return taskbar_visible_; }

  // Ends the message loop once the running handler returns.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Runs the message loop until Terminate.
  void Run();

  // The standard error box, captioned with the title.
  void ShowException(const std::exception& error);
  // Runs a window event; a failure that escapes it goes to the error box.
  void HandleEvent(const std::function<void()>& event);
  // The front end's error box; without one the text goes to standard error.
  std::function<void(const UString& caption, const UString& message)> on_error_box;

 private:
  EventLoop& loop_;
  bool minimized_ = false;
  bool taskbar_visible_ = true;
  bool terminated_ = false;
};

}  // namespace wardenix
