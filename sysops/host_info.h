#pragma once
// Facts about the running program and the machine that the main window shows:
// where the executable lives, file dates, the version resource and the
// system's date and time formats.
#include <memory>
#include <optional>

#include "runtime/datetime.h"
#include "runtime/ustring.h"

namespace wardenix {

class HostInfo {
 public:
  virtual ~HostInfo() = default;
  // Full path of the running executable.
  virtual UString executable_path() = 0;
  // Last-write time of a file in local time at the file system's date
  // resolution (two seconds, years 1980 to 2107); none for a missing file, a
  // directory or a time outside that range.
  virtual std::optional<DateTimeParts> file_date(UStringView path) = 0;
  // The running executable's file version as four numbers joined by "."; none
  // when it carries no version information.
  virtual std::optional<UString> executable_version() = 0;
  // The user's short date and long time formats and separators.
  virtual FormatSettings format_settings() = 0;
};

std::unique_ptr<HostInfo> make_platform_host_info();

// The directory part of a path, with its trailing separator ("\" or "/").
UString directory_of(UStringView path);

// Reduces a time to the file system's two-second date; none outside 1980-2107.
std::optional<DateTimeParts> to_file_system_date(DateTimeParts local);

}  // namespace wardenix
