#include "supervisor/application.h"

#include <cstdio>

#include "mainloop/event_loop.h"

namespace wardenix {

void Application::Minimize() { minimized_ = true; }

void Application::Restore() {
  minimized_ = false;
  taskbar_visible_ = true;
}

void Application::Terminate() {
  terminated_ = true;
  loop_.quit();
}

void Application::Run() {
  if (!terminated_) loop_.run();
}

void Application::ShowException(const std::exception& error) {
  const auto* own = dynamic_cast<const Exception*>(&error);
  const UString message = own ? own->Message() : from_utf8(error.what());
  if (on_error_box) {
    on_error_box(Title, message);
  } else {
    std::fprintf(stderr, "%s: %s\n", to_utf8(Title).c_str(), to_utf8(message).c_str());
  }
}

void Application::HandleEvent(const std::function<void()>& event) {
  try {
    event();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

}  // namespace wardenix
