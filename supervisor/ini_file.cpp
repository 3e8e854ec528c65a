#include "supervisor/ini_file.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace wardenix {
namespace {

// Lines longer than this keep only their start: enough for any key and the
// longest value that can be returned.
constexpr std::size_t kMaxLineLength = 64 * 1024;

// Finds the value while lines arrive one by one, so that a file of any size
// is read in one pass with bounded memory.
class LookUp {
 public:
  LookUp(UStringView section, UStringView key) : section_(section), key_(key) {}

  // Returns false once the value has been found. `number` counts from 1.
  bool line(UStringView raw, std::size_t number) {
    const UString text = trim(raw);
    if (text.empty()) return true;
    if (text[0] == u'[') {
      const auto close = text.find(u']');
      const UString name = trim(UStringView(text).substr(1, close == UString::npos
                                                                ? UString::npos
                                                                : close - 1));
      in_section_ = equals_ascii_ci(name, section_);
      return true;
    }
    if (!in_section_ || text[0] == u';') return true;
    const auto equals = text.find(u'=');
    const UString name = trim(UStringView(text).substr(0, equals));
    if (!equals_ascii_ci(name, key_)) return true;
    UString value = equals == UString::npos ? UString() : trim(UStringView(text).substr(equals + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > IniFile::kMaxValueLength) value.resize(IniFile::kMaxValueLength);
    found_ = std::move(value);
    found_line_ = number;
    return false;
  }

  const std::optional<UString>& found() const { return found_; }
  std::size_t found_line() const { return found_line_; }

 private:
  UStringView section_;
  UStringView key_;
  bool in_section_ = false;
  std::optional<UString> found_;
  std::size_t found_line_ = 0;
};

// Cuts a byte stream into decoded lines. Without a byte-order mark a line is
// taken as UTF-8 when it is valid UTF-8 and byte for byte otherwise.
class LineSplitter {
 public:
  explicit LineSplitter(LookUp& lookup) : lookup_(lookup) {}

  // Returns false once the lookup is done.
  bool feed(std::string_view bytes) {
    std::size_t i = 0;
    if (!encoding_) {
      pending_.append(bytes);
      if (pending_.size() < 3 && !bytes.empty()) return true;
      detect_encoding();
      std::string start = std::move(pending_);
      pending_.clear();
      return feed_bytes(start, i);
    }
    return feed_bytes(bytes, i);
  }

  void finish() {
    if (!encoding_) {
      detect_encoding();
      std::string start = std::move(pending_);
      pending_.clear();
      std::size_t i = 0;
      if (!feed_bytes(start, i)) return;
    }
    end_line();
  }

  IniEncoding encoding() const { return encoding_.value_or(IniEncoding::NoMark); }

 private:
  void detect_encoding() {
    const auto starts = [&](std::string_view mark) { return pending_.starts_with(mark); };
    if (starts("\xEF\xBB\xBF")) {
      encoding_ = IniEncoding::Utf8Mark;
      pending_.erase(0, 3);
    } else if (starts("\xFF\xFE")) {
      encoding_ = IniEncoding::Utf16LE;
      pending_.erase(0, 2);
    } else if (starts("\xFE\xFF")) {
      encoding_ = IniEncoding::Utf16BE;
      pending_.erase(0, 2);
    } else {
      encoding_ = IniEncoding::NoMark;
    }
  }

  bool feed_bytes(std::string_view bytes, std::size_t& i) {
    const bool wide = *encoding_ == IniEncoding::Utf16LE || *encoding_ == IniEncoding::Utf16BE;
    for (; i < bytes.size(); ++i) {
      if (wide) {
        if (!half_) {
          half_ = static_cast<unsigned char>(bytes[i]);
          continue;
        }
        const unsigned first = *half_;
        const unsigned second = static_cast<unsigned char>(bytes[i]);
        half_.reset();
        const auto c = static_cast<char16_t>(*encoding_ == IniEncoding::Utf16LE
                                                 ? first | (second << 8)
                                                 : (first << 8) | second);
        if (!take(c)) return false;
      } else if (!take(static_cast<char16_t>(static_cast<unsigned char>(bytes[i])))) {
        return false;
      }
    }
    return true;
  }

  // For byte encodings each char16_t holds one raw byte until the line ends.
  bool take(char16_t c) {
    const bool after_cr = after_cr_;
    after_cr_ = c == u'\r';
    if (c == u'\n' && after_cr) return true;  // the end of a CR LF line
    if (c == u'\n' || c == u'\r') return end_line();
    if (line_.size() < kMaxLineLength) line_.push_back(c);
    return true;
  }

  bool end_line() {
    ++number_;
    bool more = true;
    if (!line_.empty()) {
      if (*encoding_ == IniEncoding::NoMark || *encoding_ == IniEncoding::Utf8Mark) {
        std::string raw(line_.size(), '\0');
        for (std::size_t k = 0; k < line_.size(); ++k) raw[k] = static_cast<char>(line_[k]);
        const UString text = is_valid_utf8(raw) ? from_utf8(raw) : from_latin1(raw);
        more = lookup_.line(text, number_);
      } else {
        more = lookup_.line(line_, number_);
      }
    }
    line_.clear();
    return more;
  }

  LookUp& lookup_;
  std::optional<IniEncoding> encoding_;
  std::size_t number_ = 0;
  bool after_cr_ = false;
  std::string pending_;
  std::optional<unsigned> half_;
  UString line_;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::unique_ptr<std::FILE, FileCloser> open_for_reading(const UString& path) {
#ifdef _WIN32
  const std::wstring wide(path.begin(), path.end());
  return std::unique_ptr<std::FILE, FileCloser>(_wfopen(wide.c_str(), L"rb"));
#else
  return std::unique_ptr<std::FILE, FileCloser>(std::fopen(to_utf8(path).c_str(), "rb"));
#endif
}

}  // namespace

IniLookup look_up_ini_value(std::string_view bytes, UStringView section, UStringView key) {
  LookUp lookup(section, key);
  LineSplitter splitter(lookup);
  if (splitter.feed(bytes)) splitter.finish();
  return {lookup.found(), lookup.found_line(), true, splitter.encoding()};
}

UString read_ini_value(std::string_view bytes, UStringView section, UStringView key,
                       UStringView default_value) {
  return look_up_ini_value(bytes, section, key).value.value_or(UString(default_value));
}

IniLookup IniFile::Look(UStringView section, UStringView key) const {
  const auto file = open_for_reading(path_);
  if (!file) return {};
  LookUp lookup(section, key);
  LineSplitter splitter(lookup);
  char buffer[64 * 1024];
  bool more = true;
  while (more) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    if (n == 0) break;
    more = splitter.feed(std::string_view(buffer, n));
  }
  if (more && std::ferror(file.get())) return {};
  if (more) splitter.finish();
  return {lookup.found(), lookup.found_line(), true, splitter.encoding()};
}

UString IniFile::ReadString(UStringView section, UStringView key,
                            UStringView default_value) const {
  return Look(section, key).value.value_or(UString(default_value));
}

}  // namespace wardenix
