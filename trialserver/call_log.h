#pragma once
// The call log of --call-log: one line per server method the server runs,
// appended to the file and flushed at once, so that a trial can follow the
// calls while the server runs. Sessions run on threads of their own; each
// line is written whole.
#include <string>
#include <string_view>

namespace wardenix::trial {

// Opens `path` (UTF-8) for appending; false when it cannot be opened.
bool OpenCallLog(const std::string& path);
// Appends `line` and a line end; nothing while no log is open.
void LogCall(std::string_view line);

}  // namespace wardenix::trial
