#include "supervisor/activity_log.h"

#include <utility>

namespace wardenix {

TextMetrics default_log_metrics() {
  // Advance widths of Tahoma at 8 point on a 96-dpi screen (11-pixel em).
  static constexpr unsigned char kAscii[95] = {
      3, 4, 5, 9, 6, 12, 7, 3, 4, 4, 6, 9, 3, 4, 3, 4,   // space to /
      6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 4, 4, 9, 9, 9, 5,   // 0 to ?
      10, 6, 6, 7, 7, 6, 6, 7, 7, 4, 5, 6, 5, 8, 7, 7,  // @ to O
      6, 7, 7, 6, 6, 7, 6, 10, 6, 6, 6, 4, 4, 4, 9, 6,  // P to _
      6, 5, 6, 5, 6, 6, 3, 6, 6, 2, 3, 5, 2, 8, 6, 6,   // ` to o
      6, 6, 4, 5, 4, 6, 5, 8, 5, 5, 5, 5, 4, 5, 9};     // p to ~
  TextMetrics m;
  m.char_width = [](char16_t c) -> int {
    if (c >= 0x20 && c < 0x7F) return kAscii[c - 0x20];
    // Accented Latin letters take the width of their base letter closely enough.
    return 6;
  };
  // 225 pixels less the sunken border and the edit margins.
  m.line_width = 217;
  return m;
}

ActivityLog::ActivityLog(TextMetrics metrics) : metrics_(std::move(metrics)) {}

void ActivityLog::Add(UString line) {
  displayed_ += wrapped_lines(line);
  lines_.push_back(std::move(line));
  if (on_added) on_added(lines_.back());
}

void ActivityLog::Clear() {
  lines_.clear();
  displayed_ = 0;
  if (on_cleared) on_cleared();
}

void ActivityLog::set_metrics(TextMetrics metrics) {
  metrics_ = std::move(metrics);
  displayed_ = 0;
  for (const auto& line : lines_) displayed_ += wrapped_lines(line);
}

std::size_t ActivityLog::wrapped_lines(UStringView text) const {
  if (!metrics_.char_width || metrics_.line_width <= 0 || text.empty()) return 1;
  std::size_t lines = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    int width = 0;
    std::size_t i = pos;
    std::size_t last_blank = UStringView::npos;
    while (i < text.size()) {
      const int w = metrics_.char_width(text[i]);
      if (width + w > metrics_.line_width) break;
      width += w;
      if (text[i] == u' ') last_blank = i;
      ++i;
    }
    ++lines;
    if (i == text.size()) break;
    // Break after the last blank that fits; a word wider than the line is cut.
    pos = (last_blank != UStringView::npos && last_blank >= pos) ? last_blank + 1
                                                                : (i > pos ? i : pos + 1);
    while (pos < text.size() && text[pos] == u' ') ++pos;
  }
  return lines;
}

}  // namespace wardenix
