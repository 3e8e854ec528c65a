#pragma once
// The Windows Event Log, where administrators read what a service program
// reports: the diagnostic stream's lines as events of an event source of
// this program's own in the Application log, each line's severity as the
// event's type. The source's registry key (written by the installer) names
// wardenix.exe itself as its message file: its message table
// (event_messages.mc) shows each event's line as it stands.
#include <windows.h>

#include "runtime/ustring.h"
#include "supervisor/diagnostics.h"

namespace wardenix::win32 {

// The event source the installer registers under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
inline constexpr wchar_t kEventSource[] = L"Wardenix";

// A severity as the Event Log takes it: the event's type, and the id of the
// message in the message table that shows it.
struct EventKind {
  WORD type;
  DWORD id;
};
EventKind event_kind(DiagnosticSeverity severity);

// The source, registered while this lives. A source the system refuses
// drops the lines: the debug output still has them.
class EventLogSource {
 public:
  explicit EventLogSource(const wchar_t* name);
  EventLogSource(const EventLogSource&) = delete;
  EventLogSource& operator=(const EventLogSource&) = delete;
  ~EventLogSource();

  // Any thread: one event of the line's kind, with the line as its string.
  void Report(DiagnosticSeverity severity, const UString& line) const;

 private:
  HANDLE handle_;
};

}  // namespace wardenix::win32
