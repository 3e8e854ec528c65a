#pragma once
// The plain controls of the main window, as state that the front ends show.
#include <vector>

#include "runtime/mutex.h"
#include "runtime/ustring.h"

namespace wardenix {

// A text field. Its text is published for other threads: a reader never
// waits for the main thread.
class TextField {
 public:
  explicit TextField(UString text = {}, bool visible = true)
      : text_(std::move(text)), visible_(visible) {}

  UString Text() const EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    return text_;
  }
  void SetText(UString text) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    text_ = std::move(text);
  }
  bool Visible() const { return visible_; }

 private:
  mutable Mutex mutex_;
  UString text_ GUARDED_BY(mutex_);
  bool visible_;
};

struct Button {
  UString caption;
  bool enabled = true;
};

struct StatusPanel {
  UString text;
  int width = 0;
};

struct MenuItem {
  UString name;
  UString caption;  // "-" is a separator
};

struct TrayIcon {
  bool visible = true;
  UString hint;
};

}  // namespace wardenix
