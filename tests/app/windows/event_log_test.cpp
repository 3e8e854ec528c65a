// The Event Log's side of the diagnostic stream: each severity reported as
// its own event type and id, and every id one that the message table of the
// built wardenix.exe, the source's message file, shows as the line itself:
// otherwise Event Viewer says that the description cannot be found.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "app/windows/event_log.h"

namespace wardenix::win32 {
namespace {

// The text Event Viewer shows for the event `id` with `line` as its string,
// from the message table of `program`, without the message's line break;
// empty when the table has no such message.
std::wstring event_text(HMODULE program, DWORD id, const std::wstring& line) {
  const DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>(line.c_str())};
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      program, id, 0, reinterpret_cast<wchar_t*>(&text), 0,
      reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(strings)));
  std::wstring result(text ? text : L"", length);
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
  return result;
}

TEST(EventLog, EachSeverityIsAnEventTypeWhoseMessageIsTheLine) {
  const HMODULE program = LoadLibraryExW(TEST_WARDENIX_EXE, nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(program, nullptr) << "cannot load wardenix.exe: " << GetLastError();
  struct Case {
    DiagnosticSeverity severity;
    WORD type;
  };
  const Case cases[] = {
      {DiagnosticSeverity::Information, EVENTLOG_INFORMATION_TYPE},
      {DiagnosticSeverity::Warning, EVENTLOG_WARNING_TYPE},
      {DiagnosticSeverity::Error, EVENTLOG_ERROR_TYPE},
  };
  // A line with what a message would take for inserts of its own.
  const std::wstring line =
      L"2026-12-11 04:23:02 launch: C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE %2 100% started, pid 2412";
  std::vector<DWORD> ids;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.severity));
    const EventKind kind = event_kind(c.severity);
    EXPECT_EQ(kind.type, c.type);
    EXPECT_EQ(event_text(program, kind.id, line), line) << "event id " << kind.id;
    // Event Viewer filters by id: one id a severity.
    for (DWORD other : ids) EXPECT_NE(kind.id, other);
    ids.push_back(kind.id);
  }
  FreeLibrary(program);
}

}  // namespace
}  // namespace wardenix::win32
