#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "sysops/host_info.h"

namespace wardenix {
namespace {

// Turns a strftime date or time format into the program's pattern language:
// the first separator becomes the date ("/") or time (":") separator, other
// literal text is quoted.
UString convert_strftime(std::string_view fmt, char16_t separator_mark, char16_t& separator) {
  UString out;
  bool separator_found = false;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    const char c = fmt[i];
    if (c == '%' && i + 1 < fmt.size()) {
      char conversion = fmt[++i];
      if ((conversion == 'E' || conversion == 'O') && i + 1 < fmt.size()) conversion = fmt[++i];
      switch (conversion) {
        case 'd': out += u"dd"; break;
        case 'e': out += u"d"; break;
        case 'm': out += u"mm"; break;
        case 'y': out += u"yy"; break;
        case 'Y': case 'G': out += u"yyyy"; break;
        case 'H': out += u"hh"; break;
        case 'k': out += u"h"; break;
        case 'I': out += u"hh"; break;
        case 'l': out += u"h"; break;
        case 'M': out += u"nn"; break;
        case 'S': out += u"ss"; break;
        case 'p': case 'P': out += u"ampm"; break;
        case 'D': out += u"mm/dd/yy"; break;
        case 'F': out += u"yyyy'-'mm'-'dd"; break;
        case 'T': out += u"hh:nn:ss"; break;
        case 'R': out += u"hh:nn"; break;
        case 'r': out += u"hh:nn:ss ampm"; break;
        case '%': out += u"'%'"; break;
        default: break;  // names of days and months, time zones: left out
      }
      continue;
    }
    const char16_t ch = static_cast<unsigned char>(c);
    if (!separator_found && ch != u' ') {
      separator_found = true;
      separator = ch;
      out.push_back(separator_mark);
    } else if (separator_found && ch == separator) {
      out.push_back(separator_mark);
    } else {
      out += u"'";
      out.push_back(ch);
      out += u"'";
    }
  }
  return out;
}

class PosixHostInfo final : public HostInfo {
 public:
  UString executable_path() override {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return from_utf8(buffer);
  }

  std::optional<DateTimeParts> file_date(UStringView path) override {
    struct stat st {};
    if (::stat(to_utf8(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return to_file_system_date(local_parts_from_unix(st.st_mtime, 0));
  }

  std::optional<UString> executable_version() override {
    // No version resource on this platform: the version compiled in.
    return from_utf8(WARDENIX_VERSION_TEXT);
  }

  FormatSettings format_settings() override {
    FormatSettings fs;
    locale_t loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) {
      loc = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    if (loc == static_cast<locale_t>(nullptr)) return fs;
    fs.short_date_format = convert_strftime(::nl_langinfo_l(D_FMT, loc), u'/', fs.date_separator);
    fs.long_time_format = convert_strftime(::nl_langinfo_l(T_FMT, loc), u':', fs.time_separator);
    const UString am = from_utf8(::nl_langinfo_l(AM_STR, loc));
    const UString pm = from_utf8(::nl_langinfo_l(PM_STR, loc));
    if (!am.empty()) fs.time_am = am;
    if (!pm.empty()) fs.time_pm = pm;
    ::freelocale(loc);
    return fs;
  }
};

}  // namespace

std::unique_ptr<HostInfo> make_platform_host_info() { return std::make_unique<PosixHostInfo>(); }

}  // namespace wardenix
