#pragma once
// The activity log: time-stamped lines, appended at the end or cleared all at
// once, shown wrapped at the log's width.
#include <functional>
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

// How wide text is on screen, so that wrapped lines can be counted as the
// window shows them.
struct TextMetrics {
  std::function<int(char16_t)> char_width;
  int line_width = 0;
};

// The metrics of the window's log: Tahoma 8 point in a 225-pixel memo.
TextMetrics default_log_metrics();

class ActivityLog {
 public:
  explicit ActivityLog(TextMetrics metrics = default_log_metrics());

  void Add(UString line);
  void Clear();
  const std::vector<UString>& Lines() const { return lines_; }
  // Displayed lines: an entry that wraps counts once per line it takes.
  std::size_t displayed_line_count() const { return displayed_; }
  void set_metrics(TextMetrics metrics);

  // Called after each change, on the thread that made it.
  std::function<void(const UString& line)> on_added;
  std::function<void()> on_cleared;

 private:
  std::size_t wrapped_lines(UStringView text) const;

  TextMetrics metrics_;
  std::vector<UString> lines_;
  std::size_t displayed_ = 0;
};

}  // namespace wardenix
