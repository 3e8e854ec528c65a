#include <windows.h>

#include <string>

#include "sysops/system_error.h"

namespace wardenix {

UString SystemErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  UString result;
  if (length > 0 && text) result.assign(reinterpret_cast<const char16_t*>(text), length);
  if (text) ::LocalFree(text);
  // The system's texts end in a full stop and a line break.
  while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n' ||
                             result.back() == u' ' || result.back() == u'.')) {
    result.pop_back();
  }
  if (result.empty()) {
    const std::string number = std::to_string(code);
    result = u"error ";
    result.append(number.begin(), number.end());
  }
  return result;
}

}  // namespace wardenix
