// A taskkill.exe that a search for the tool would find before the system's
// own: it ends nothing and only leaves the file "decoy-ran" beside itself.
#include <windows.h>

#include <string>

int main() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring marker(path, length);
  marker = marker.substr(0, marker.find_last_of(L"\\/") + 1) + L"decoy-ran";
  const HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(file);
  return 0;
}
