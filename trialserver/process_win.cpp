#include <windows.h>
#include <shellapi.h>

#include "trialserver/process.h"

namespace wardenix::trial {
namespace {

std::string narrow(const wchar_t* text, int length) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring widen(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
  return out;
}

// Quotes one argument so that the usual command-line rules give it back.
void append_quoted(std::wstring& line, const std::wstring& argument) {
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

}  // namespace

std::vector<std::string> program_arguments(int, char**) {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 1; arguments && i < count; ++i) out.push_back(narrow(arguments[i], -1));
  for (auto& argument : out) {
    if (!argument.empty() && argument.back() == '\0') argument.pop_back();
  }
  ::LocalFree(arguments);
  return out;
}

std::string own_executable_path() {
  std::wstring path(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  return narrow(path.data(), static_cast<int>(length));
}

bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 ChildStyle style) {
  if (style != ChildStyle::Plain) return false;
  const std::wstring application = widen(program);
  std::wstring line;
  append_quoted(line, application);
  for (const std::string& argument : arguments) {
    line += L' ';
    append_quoted(line, widen(argument));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &created)) {
    return false;
  }
  ::CloseHandle(created.hThread);
  ::CloseHandle(created.hProcess);
  return true;
}

}  // namespace wardenix::trial
