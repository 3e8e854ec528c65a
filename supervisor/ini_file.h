#pragma once
// Read-only access to an INI file: "[section]" headers and "key=value" lines,
// section and key names matched without regard to ASCII case.
#include <cstddef>
#include <optional>

#include "runtime/ustring.h"

namespace wardenix {

// How the text of the file was read: a byte-order mark decides; without one,
// each line is UTF-8 when it is valid UTF-8 and one character a byte
// otherwise.
enum class IniEncoding { NoMark, Utf8Mark, Utf16LE, Utf16BE };

// A value and where it came from.
struct IniLookup {
  std::optional<UString> value;  // none: the file, the section or the key is missing
  std::size_t line = 0;          // the value's line, from 1 (CR LF ends one line)
  bool file_read = false;        // the file could be opened and read
  IniEncoding encoding = IniEncoding::NoMark;
};

class IniFile {
 public:
  // Values longer than this are cut, as a 2048-character buffer would.
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit IniFile(UString path) : path_(std::move(path)) {}

  // The value of `key` in `section`, or `default_value` when the file, the
  // section or the key is missing or the file cannot be read. Surrounding
  // blanks and one pair of matching quotes are removed from the value.
  UString ReadString(UStringView section, UStringView key, UStringView default_value) const;
  // The same lookup, telling where the value came from.
  IniLookup Look(UStringView section, UStringView key) const;

 private:
  UString path_;
};

// The same lookup over the bytes of a file already in memory.
UString read_ini_value(std::string_view bytes, UStringView section, UStringView key,
                       UStringView default_value);
IniLookup look_up_ini_value(std::string_view bytes, UStringView section, UStringView key);

}  // namespace wardenix
