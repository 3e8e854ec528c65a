#include <windows.h>

#include <vector>

#include "sysops/host_info.h"

namespace wardenix {
namespace {

std::wstring to_wide(UStringView text) { return std::wstring(text.begin(), text.end()); }

UString from_wide(const wchar_t* text) {
  UString out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(*text));
  return out;
}

UString locale_text(LCTYPE type, const wchar_t* fallback) {
  wchar_t buffer[100] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 100) <= 0) return from_wide(fallback);
  return from_wide(buffer);
}

// Turns a locale date or time picture (d, M, y, H, h, m, s, t) into the
// program's pattern language; quoted text stays quoted.
UString convert_picture(UStringView picture) {
  UString out;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    const char16_t c = picture[i];
    if (c == u'\'') {
      const auto end = picture.find(u'\'', i + 1);
      const auto stop = end == UStringView::npos ? picture.size() : end;
      out += u'"';
      out.append(picture.substr(i + 1, stop - i - 1));
      out += u'"';
      i = stop;
      continue;
    }
    std::size_t n = 1;
    while (i + n < picture.size() && picture[i + n] == c) ++n;
    switch (c) {
      case u'd': out.append(n >= 2 ? u"dd" : u"d"); break;
      case u'M': out.append(n >= 2 ? u"mm" : u"m"); break;
      case u'y': out.append(n >= 3 ? u"yyyy" : u"yy"); break;
      case u'H': case u'h': out.append(n >= 2 ? u"hh" : u"h"); break;
      case u'm': out.append(n >= 2 ? u"nn" : u"n"); break;
      case u's': out.append(n >= 2 ? u"ss" : u"s"); break;
      case u't': out.append(u"ampm"); break;
      case u'g': break;
      default: out.append(picture.substr(i, n)); break;
    }
    i += n - 1;
  }
  return out;
}

class WindowsHostInfo final : public HostInfo {
 public:
  UString executable_path() override {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
      const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return {};
      if (n < buffer.size()) return from_wide(buffer.data());
      buffer.resize(buffer.size() * 2);
    }
  }

  std::optional<DateTimeParts> file_date(UStringView path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(to_wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::nullopt;
    }
    FILETIME local{};
    WORD dos_date = 0;
    WORD dos_time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &dos_date, &dos_time)) {
      return std::nullopt;
    }
    return DateTimeParts{1980 + (dos_date >> 9), (dos_date >> 5) & 15, dos_date & 31,
                         dos_time >> 11,         (dos_time >> 5) & 63, (dos_time & 31) * 2, 0};
  }

  std::optional<UString> executable_version() override {
    const std::wstring path = to_wide(executable_path());
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT info_size = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &info_size) ||
        info == nullptr) {
      return std::nullopt;
    }
    return to_ustring(HIWORD(info->dwFileVersionMS)) + u"." +
           to_ustring(LOWORD(info->dwFileVersionMS)) + u"." +
           to_ustring(HIWORD(info->dwFileVersionLS)) + u"." +
           to_ustring(LOWORD(info->dwFileVersionLS));
  }

  FormatSettings format_settings() override {
    FormatSettings fs;
    fs.short_date_format = convert_picture(locale_text(LOCALE_SSHORTDATE, L"dd/MM/yyyy"));
    fs.long_time_format = convert_picture(locale_text(LOCALE_STIMEFORMAT, L"HH:mm:ss"));
    const UString date_sep = locale_text(LOCALE_SDATE, L"/");
    const UString time_sep = locale_text(LOCALE_STIME, L":");
    if (!date_sep.empty()) fs.date_separator = date_sep[0];
    if (!time_sep.empty()) fs.time_separator = time_sep[0];
    fs.time_am = locale_text(LOCALE_S1159, L"AM");
    fs.time_pm = locale_text(LOCALE_S2359, L"PM");
    return fs;
  }
};

}  // namespace

std::unique_ptr<HostInfo> make_platform_host_info() { return std::make_unique<WindowsHostInfo>(); }

}  // namespace wardenix
