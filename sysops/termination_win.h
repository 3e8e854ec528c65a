#pragma once
// How the forced termination ends the server on Windows: the system's
// task-ending tool, started from the system directory with a hidden window
// and not waited for. Windows only: included by termination_win.cpp and the
// Windows tests.
#include <string>

namespace wardenix {

inline constexpr char kForcedTerminationCommand[] = "taskkill -im DAZEVAVIZ.EXE /f /t";
inline constexpr wchar_t kTaskEndingTool[] = L"taskkill.exe";

// The path of the system's own `file_name`, in the system directory; empty
// when that directory cannot be known.
std::wstring SystemToolPath(const wchar_t* file_name);

// Starts the system's own `tool` with `command_line` (which names the tool
// first, as the tool expects), its window hidden; true when it was started.
// A program of the same name in this program's or the current directory, or
// on the search path, is never the one started.
bool StartSystemTool(const wchar_t* tool, const char* command_line);

}  // namespace wardenix
