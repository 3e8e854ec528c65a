#pragma once
// Read-only access to an INI file: "[section]" headers and "key=value" lines,
// section and key names matched without regard to ASCII case.
#include <cstddef>

#include "runtime/ustring.h"

namespace wardenix {

class IniFile {
 public:
  // Values longer than this are cut, as a 2048-character buffer would.
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit IniFile(UString path) : path_(std::move(path)) {}

  // The value of `key` in `section`, or `default_value` when the file, the
  // section or the key is missing or the file cannot be read. Surrounding
  // blanks and one pair of matching quotes are removed from the value.
  UString ReadString(UStringView section, UStringView key, UStringView default_value) const;

 private:
  UString path_;
};

// The same lookup over the bytes of a file already in memory.
UString read_ini_value(std::string_view bytes, UStringView section, UStringView key,
                       UStringView default_value);

}  // namespace wardenix
